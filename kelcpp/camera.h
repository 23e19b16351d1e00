#ifndef KELCPP_CAMERA_H
#define KELCPP_CAMERA_H

#include "feature.h"
#include "signaltrace.h"
#include "stream.h"

namespace KelCPP {

// One opened camera of any backend. Its features stay valid while anyone
// holds them; once the camera is closed they answer every call with
// KelError::NotOpen.
class Camera {
public:
    virtual ~Camera();

    // All features, in the device's order.
    virtual KelErrorType GetFeatures(FeaturePtrVector& features) const = 0;
    virtual KelErrorType GetFeatureByName(const char* name, FeaturePtr& feature) const = 0;

    // --- Images (optional: the defaults answer NotImplemented) -------------
    // Starts delivering frames to `observer`; the backend keeps a shared
    // reference until StopStream. InvalidAccess while a stream runs already.
    virtual KelErrorType StartStream(const std::shared_ptr<IFrameObserver>& observer);
    // Returns once the observer runs no more and is released; frames still
    // queued are dropped. Success when no stream ran. Closing the camera
    // stops its stream the same way.
    virtual KelErrorType StopStream();
    virtual KelErrorType GetStreamStatistics(StreamStatistics& statistics) const;

    // --- Signals (optional) ------------------------------------------------
    // The camera's signal trace, or null when the backend has none. It stays
    // usable while held; after the camera closed it answers NotOpen.
    virtual std::shared_ptr<SignalTrace> GetSignalTrace() const;

protected:
    Camera() = default;
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;
};

} // namespace KelCPP

#endif
