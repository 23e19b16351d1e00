#ifndef KELCPP_SIM_SIMCAMERA_H
#define KELCPP_SIM_SIMCAMERA_H

#include "../camera.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace KelCPP {
namespace Sim {

class SimCore;

// The camera operations the simulator counts and can make fail. The
// std::string / std::vector forms of Feature call the low-level operation
// twice (size, then data); each call counts and meets the faults.
enum class Op {
    GetValue,
    SetValue,
    GetRange,
    HasIncrement,
    GetIncrement,
    GetValues,
    GetEntry,
    GetEntries,
    IsValueAvailable,
    GetAvailableValues,
    GetValidValueSet,
    RunCommand,
    IsCommandDone,
    IsReadable,
    IsWritable,
    GetDataType,
    GetFlags,
    GetVisibility,
    GetName,
    GetDisplayName,
    GetCategory,
    GetUnit,
    GetRepresentation,
    GetToolTip,
    GetDescription,
    GetSelectedFeatures,
    RegisterObserver,
    UnregisterObserver,
};
constexpr int OpCount = static_cast<int>(Op::UnregisterObserver) + 1;
const char* OpName(Op op);
// Whether an operation reaches the device, as it would on a network camera:
// values, access rights, ranges and increments, entry availability (one
// access for a whole GetAvailableValues), valid value sets and commands. Everything else (names, types, texts, entry lists,
// selector relations) comes from the camera's description, which a client
// reads once when it connects, and observers are kept by the client.
bool IsDeviceAccess(Op op);

// A fault to inject into one operation of one feature (or of every feature).
struct Fault {
    enum class Kind {
        Error,       // the operation returns `code` and changes nothing
        ZeroLength,  // a text or list operation reports length 0 (an empty result)
        EmbeddedNul, // a text operation returns its text, a NUL and `tail`
    };
    enum class Mode { Once, Always, Random };

    Kind kind = Kind::Error;
    Mode mode = Mode::Always;
    KelErrorType code = KelError::Other;
    double probability = 1.0; // Random: chance per call
    std::uint64_t seed = 0;   // Random: the sequence of hits repeats for a seed
    std::string tail = "\x01garbage";

    static Fault Once(KelErrorType code);
    static Fault Always(KelErrorType code);
    static Fault Random(KelErrorType code, double probability, std::uint64_t seed);
    static Fault ZeroLength();
    static Fault EmbeddedNul(std::string tail = "\x01garbage");
};

// One write or command, as the call log records it.
struct CallRecord {
    std::string feature;
    Op op;             // SetValue or RunCommand
    std::string value; // the value written, as text; empty for commands
    std::string context; // "Selector=Entry" for a selected feature, else empty
    KelErrorType result;
};

struct SimOptions {
    // Start with the live simulation running in real time. Tests usually
    // start paused and drive time with Step().
    bool live = true;
    // Edges the signal trace keeps (at least 16); older ones are forgotten.
    std::size_t traceEdges = std::size_t(1) << 18;
};

// A camera simulated from a JSON camera description (see
// docs/camera-description.md). Thread-safe: any thread may use the camera
// and its features at the same time. Observers are called on the camera's
// notification thread, frame observers on the stream's own thread.
class SimCamera : public Camera {
public:
    // Null on failure, with a readable reason in `error`.
    static std::shared_ptr<SimCamera> FromFile(const std::string& path, std::string* error,
                                               SimOptions options = {});
    static std::shared_ptr<SimCamera> FromJson(const std::string& json, std::string* error,
                                               SimOptions options = {});
    // Closes the camera: the live simulation stops, observers get nothing
    // more, and features still held elsewhere answer KelError::NotOpen.
    ~SimCamera() override;

    KelErrorType GetFeatures(FeaturePtrVector& features) const override;
    KelErrorType GetFeatureByName(const char* name, FeaturePtr& feature) const override;
    std::size_t FeatureCount() const;

    // One frame per exposure that ends while the stream runs (Mono8, the
    // test picture of testpicture.h). NotOpen once closed, BadParameter for
    // a null observer. StopStream from the observer's own FrameReceived
    // returns at once; the observer is released when FrameReceived returns.
    KelErrorType StartStream(const std::shared_ptr<IFrameObserver>& observer) override;
    KelErrorType StopStream() override;
    KelErrorType GetStreamStatistics(StreamStatistics& statistics) const override;
    // Every edge of the camera's signals, on the Timestamp clock.
    std::shared_ptr<SignalTrace> GetSignalTrace() const override;

    // --- Live simulation -------------------------------------------------
    void Pause();
    void Resume();
    bool IsPaused() const;
    // Advances simulated time; works while paused. Live changes reached on
    // the way are notified (each feature at most once per notify interval).
    void Step(std::chrono::microseconds duration);
    std::int64_t NowUs() const;
    // Forces the electrical level of an input line until ReleaseLineLevel;
    // NotFound for an unknown line.
    KelErrorType SetLineLevel(const std::string& line, bool level);
    KelErrorType ReleaseLineLevel(const std::string& line);
    // An action command as it would arrive over the network; returns whether
    // any action of the camera accepted it.
    bool SendActionCommand(std::uint32_t deviceKey, std::uint32_t groupKey, std::uint32_t groupMask);
    // Acquisition as the host would drive it; same as running the commands.
    KelErrorType StartAcquisition();
    KelErrorType StopAcquisition();
    bool IsAcquiring() const;
    std::uint64_t FramesAcquired() const;

    // --- Fault injection ------------------------------------------------
    // feature "" or "*" applies to every feature. A later fault for the same
    // feature and operation replaces the earlier one.
    void InjectFault(const std::string& feature, Op op, const Fault& fault);
    void ClearFault(const std::string& feature, Op op);
    void ClearFaults();

    // --- Counters and call log -------------------------------------------
    std::uint64_t CallCount(const std::string& feature, Op op) const;
    std::uint64_t CallCount(Op op) const; // over all features
    std::uint64_t TotalCallCount() const;
    // The calls that reached the device, and the ones answered locally.
    std::uint64_t DeviceAccessCount() const;
    std::uint64_t LocalCallCount() const;
    void ResetCallCounts();
    // Off by default: records every SetValue and RunCommand, refused or not.
    void SetCallLogEnabled(bool enabled);
    std::vector<CallRecord> CallLog() const;
    void ClearCallLog();

    // --- Latency ---------------------------------------------------------
    // Added to every device access (IsDeviceAccess), as a network camera
    // would; 0 by default. Local calls stay instant.
    void SetAccessLatency(std::chrono::microseconds latency);

    // --- Notifications ---------------------------------------------------
    // Blocks until every notification queued so far has been delivered.
    void WaitForNotifications() const;
    std::uint64_t NotificationCount() const;

    // Lines described, in order; used by tests and the viewer.
    std::vector<std::string> LineNames() const;

private:
    explicit SimCamera(std::shared_ptr<SimCore> core);
    std::shared_ptr<SimCore> core;
};

} // namespace Sim
} // namespace KelCPP

#endif
