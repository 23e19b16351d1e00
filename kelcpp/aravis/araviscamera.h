#ifndef KELCPP_ARAVIS_ARAVISCAMERA_H
#define KELCPP_ARAVIS_ARAVISCAMERA_H

// A real GenICam camera (GigE Vision, USB3 Vision) through Aravis. Nothing of
// Aravis or GLib shows here, so that a client needs neither to build.

#include "../camera.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace KelCPP {
namespace Aravis {

class AravisCore;

// A camera as Aravis lists it.
struct CameraInfo {
    std::string id;       // what Open takes
    std::string vendor;
    std::string model;
    std::string serial;
    std::string address;  // IP address for GigE Vision, else empty
    std::string protocol; // "GigEVision", "USB3Vision", ...
};

// Searches every transport Aravis knows for cameras. A GigE Vision search
// waits about a second for answers.
std::vector<CameraInfo> ListCameras();

struct AravisOptions {
    // How often the features the camera changes by itself (line status,
    // counter values: those it does not let a client cache) are read for
    // change notifications, and LineStatusAll for the signal trace, per
    // second; 0 does not poll.
    double pollRateHz = 10.0;
    // Samples the signal trace keeps: ten minutes at the default rate.
    std::size_t traceSamples = 6000;
};

// One opened camera. Thread-safe: Aravis itself is not, so every access goes
// through one lock of this camera. Observers are called on the camera's
// notification thread.
//
// Aravis has no change notification of its own. The camera posts one after
// each successful write it made: the written feature, what it selects
// (KelFeatureChangeSelector) and every feature whose value, access or
// entries the GenICam description makes depend on it. The features the
// camera changes by itself are polled.
//
// A camera that stops answering (cable out, device off) fails the call that
// found out with KelError::Timeout or KelError::IO, and every later call with
// KelError::NotOpen.
//
// Images: the stream takes Aravis's buffers as the camera fills them and
// copies each into a Frame: the buffer's frame id (a GigE Vision camera's
// 16-bit block id counts on past 65535), its timestamp, size and pixel
// format (Mono8, or Unknown with the bytes as they came). A buffer Aravis
// did not complete is an incomplete frame; frames that found no free buffer
// count as dropped. Missed triggers are not known. Acquisition remains the
// AcquisitionStart and AcquisitionStop commands. From inside its observer,
// StartStream answers InvalidAccess, and StopStream (or closing the camera)
// stops delivery without waiting for the observer's call to return.
//
// Signals: a sampled trace of the lines (LineSelector's entries, bit i of
// LineStatusAll for the i-th), one sample per poll; see aravistrace.h.
class AravisCamera : public Camera {
public:
    // `id`: as ListCameras gives it, an IP address, or empty for the first
    // camera found. Null on failure, with a readable reason in `error`.
    static std::shared_ptr<AravisCamera> Open(const std::string& id, std::string* error,
                                              AravisOptions options = {});
    // Aravis's in-process simulated camera serving a GenICam file; for tests.
    static std::shared_ptr<AravisCamera> OpenFake(const std::string& genicamFile, std::string* error,
                                                  AravisOptions options = {});
    // Closes the camera: polling stops, observers get nothing more, and the
    // features still held elsewhere answer KelError::NotOpen.
    ~AravisCamera() override;

    KelErrorType GetFeatures(FeaturePtrVector& features) const override;
    KelErrorType GetFeatureByName(const char* name, FeaturePtr& feature) const override;
    std::size_t FeatureCount() const;

    KelErrorType StartStream(const std::shared_ptr<IFrameObserver>& observer) override;
    KelErrorType StopStream() override;
    KelErrorType GetStreamStatistics(StreamStatistics& statistics) const override;
    std::shared_ptr<SignalTrace> GetSignalTrace() const override;

    // 0 stops polling, and with it the trace's samples; takes effect at the
    // next poll.
    void SetPollRate(double hz);
    // Polls that ran to the end, for a client that waits for one.
    std::uint64_t PollCount() const;
    bool IsConnected() const;
    std::string DeviceId() const;

    // Calls that needed the device (values, access rights, limits, entry
    // availability, commands) and calls answered from the description that
    // was read when the camera opened. One device call may read several
    // registers: a condition reads the ones it names.
    std::uint64_t DeviceAccessCount() const;
    std::uint64_t LocalCallCount() const;
    void ResetCallCounts();

    // Blocks until every notification queued so far has been delivered.
    void WaitForNotifications() const;

    // Writes device memory directly, past the features and their checks, as
    // `arv-tool control R[address]=value` does; for tools and tests that set
    // what the camera would change by itself. Nobody is notified.
    KelErrorType WriteMemory(std::uint64_t address, const std::vector<std::uint8_t>& data);

private:
    explicit AravisCamera(std::shared_ptr<AravisCore> core);
    std::shared_ptr<AravisCore> core;
};

} // namespace Aravis
} // namespace KelCPP

#endif
