#ifndef KELCPP_CAMERA_H
#define KELCPP_CAMERA_H

#include "feature.h"

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

protected:
    Camera() = default;
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;
};

} // namespace KelCPP

#endif
