#ifndef KELCPP_SIM_SIMCORE_H
#define KELCPP_SIM_SIMCORE_H

// The shared state of one simulated camera. Everything here runs under
// `mutex`; notifications are handed to the dispatcher only after it is
// released, so that an observer calling back in never waits for us.
// Simulated time moves on in pieces of a few milliseconds of real work at
// most, with the mutex free in between: a camera call never waits for a
// long advance, however fast the simulated signals.

#include "description.h"
#include "signalrecord.h"
#include "simcamera.h"
#include "simstream.h"

#include "../notificationdispatcher.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <unordered_map>
#include <vector>

namespace KelCPP {
namespace Sim {

class LiveModel;
class SimFeature;

class SimCore : public std::enable_shared_from_this<SimCore> {
public:
    SimCore(Description description, SimOptions options);
    ~SimCore();

    // Creates the feature objects and starts the live simulation; call once
    // right after construction (the features need shared_from_this).
    void Start();
    void Close();

    // What a feature operation sees of an injected fault that does not
    // simply fail the call.
    struct CallContext {
        const Fault* fault = nullptr; // ZeroLength or EmbeddedNul, else null
    };

    // Runs one camera access of feature `f`: latency, counting, faults, the
    // body under the lock, then the notifications the body queued. With
    // `logValue` set the call is a write or command and goes to the call log.
    template <typename Body>
    KelErrorType Invoke(int f, Op op, Body&& body, const std::string* logValue = nullptr);

    // --- Feature operations (lock held; called from SimFeature) -----------
    KelErrorType GetInt(int f, std::int64_t& value);
    KelErrorType GetFloat(int f, double& value);
    KelErrorType GetBool(int f, bool& value);
    KelErrorType GetText(int f, const CallContext& ctx, char* buffer, std::uint32_t& length);
    // A descriptive text of the description (name, unit, ...), faults applied.
    KelErrorType FillDefText(const CallContext& ctx, const std::string& text, char* buffer,
                             std::uint32_t& length);
    KelErrorType GetRaw(int f, const CallContext& ctx, std::uint8_t* buffer, std::uint32_t& size,
                        std::uint32_t& sizeFilled);
    KelErrorType SetInt(int f, std::int64_t value);
    KelErrorType SetFloat(int f, double value);
    KelErrorType SetBool(int f, bool value);
    KelErrorType SetText(int f, const char* value);
    KelErrorType SetRaw(int f, const std::uint8_t* data, std::uint32_t size);
    KelErrorType GetIntRange(int f, std::int64_t& min, std::int64_t& max);
    KelErrorType GetFloatRange(int f, double& min, double& max);
    KelErrorType HasIncrement(int f, bool& has);
    KelErrorType GetIntIncrement(int f, std::int64_t& inc);
    KelErrorType GetFloatIncrement(int f, double& inc);
    KelErrorType GetEntryNames(int f, const CallContext& ctx, const char** names, std::uint32_t& count);
    KelErrorType GetEntryValues(int f, const CallContext& ctx, std::int64_t* values, std::uint32_t& count);
    KelErrorType GetEntry(int f, EnumEntry& entry, const char* name);
    KelErrorType GetEntries(int f, const CallContext& ctx, EnumEntry* entries, std::uint32_t& count);
    KelErrorType IsEntryAvailable(int f, const char* name, bool& available);
    KelErrorType IsEntryAvailable(int f, std::int64_t value, bool& available);
    KelErrorType GetAvailableNames(int f, const CallContext& ctx, const char** names, std::uint32_t& count);
    KelErrorType GetValidValueSet(int f, const CallContext& ctx, std::int64_t* values, std::uint32_t& count);
    KelErrorType RunCommand(int f);
    KelErrorType IsCommandDone(int f, bool& done);
    KelErrorType IsReadable(int f, bool& readable);
    KelErrorType IsWritable(int f, bool& writable);
    KelErrorType GetFlags(int f, KelFeatureFlagsType& flags);
    KelErrorType GetSelected(int f, const CallContext& ctx, std::shared_ptr<Feature>* features,
                             std::uint32_t& count);
    KelErrorType Register(int f, const std::shared_ptr<IFeatureObserver>& observer);
    KelErrorType Unregister(int f, const std::shared_ptr<IFeatureObserver>& observer);

    const FeatureDef& Def(int f) const { return description.features[f]; }

    // --- State shared with the live model (lock held) --------------------
    const Description& Desc() const { return description; }
    // The value of `f` for the selector value `key` ("" for unselected features).
    Value& Slot(int f, const std::string& key);
    // The value of `f` under the selectors' current values.
    Value& Current(int f);
    std::string CurrentKey(int f);
    std::string CurrentText(int f);
    bool Holds(const Condition& condition);
    bool Readable(int f);
    bool Writable(int f);
    // Queue a notification now, or at most once per live interval.
    void NotifyNow(int f, std::uint32_t changes = KelFeatureChangeValue);
    // `f` took a new value: notify it, what depends on it, and what it selects.
    void NotifyWritten(int f);
    // The live model changed `f` for the selector value `key`. It is notified
    // at most once per live interval; what depends on it or what it selects
    // comes with it, when `key` is the one selected now (otherwise every
    // condition still reads the value it read before).
    void LiveChanged(int f, const std::string& key);
    // The same for a clock, which hosts poll: only what depends on it is
    // notified, at the live rate.
    void QuietChanged(int f, const std::string& key);
    // `f` alone at the live rate: it changed and came back in between.
    void NotifyLive(int f);
    // Sends the live notifications that are due (all of them when `force`).
    void FlushLive(bool force);
    // Every value back to its power-up state; notifies every feature.
    void ResetValues();
    std::int64_t now = 0; // simulated time, µs

    // --- SimCamera's controls ------------------------------------------
    void Pause(bool pause);
    bool IsPaused();
    void Step(std::int64_t us);
    std::int64_t Now();
    // For tests: instants the live model has evaluated so far, and the
    // period below which it treats periodic signals as dense (0: never).
    std::uint64_t EvaluationCount();
    void SetDenseBelowUs(std::int64_t periodUs);
    KelErrorType ForceLine(const std::string& line, bool release, bool level);
    bool SendAction(std::uint32_t deviceKey, std::uint32_t groupKey, std::uint32_t groupMask);
    KelErrorType Acquire(bool start);
    bool Acquiring();
    std::uint64_t Frames();
    std::vector<std::string> Lines();
    void InjectFault(const std::string& feature, Op op, const Fault& fault);
    void ClearFault(const std::string& feature, Op op);
    void ClearFaults();
    std::uint64_t CallCount(const std::string& feature, Op op);
    std::uint64_t CallCount(Op op);
    std::uint64_t TotalCallCount();
    // Over all features and the operations that are (or are not) device accesses.
    std::uint64_t CallCount(bool device);
    void ResetCallCounts();
    void SetCallLogEnabled(bool enabled);
    std::vector<CallRecord> CallLog();
    void ClearCallLog();
    void SetAccessLatency(std::int64_t us) { latencyUs = us; }
    void WaitForNotifications() { dispatcher.WaitIdle(); }
    KelErrorType StartStream(const std::shared_ptr<IFrameObserver>& observer);
    // Not under the mutex while it waits for the stream's thread, which may
    // be in an observer calling the camera.
    KelErrorType StopStream();
    KelErrorType GetStreamStatistics(StreamStatistics& statistics);
    std::shared_ptr<SignalRecord> Trace() const { return signalRecord; }

    // --- What the live model reports (lock held) --------------------------
    // An exposure that began at `timestampNs` ended: a frame, if a stream runs.
    void FrameDone(std::int64_t timestampNs, std::uint32_t width, std::uint32_t height);
    void TriggersMissed(std::uint64_t count);
    SignalRecord& Signals() { return *signalRecord; }
    std::uint64_t NotificationCount() { return dispatcher.DeliveredCount(); }
    const std::vector<std::shared_ptr<SimFeature>>& Features() const { return features; }

private:
    struct FaultState {
        Fault fault;
        std::mt19937_64 random;
    };

    // Whether an injected fault hits this call; consumes a Once fault.
    bool TakeFault(int f, Op op, Fault& hit);
    // After a successful write of `f`: notify it and what depends on it, and
    // let the live model react.
    void AfterWrite(int f);
    // Notifies what names `f` in a condition, transitively, and what it selects.
    void NotifyDependents(int f);
    // Whether a change of `f` for `key` can change any of them.
    bool ReachesDependents(int f, const std::string& key);
    KelErrorType CheckWritable(int f, KelFeatureDataType expected);
    KelErrorType CheckReadable(int f, KelFeatureDataType type,
                               KelFeatureDataType alsoType = KelFeatureDataUnknown);
    void Record(int f, Op op, const std::string& value, KelErrorType result);
    // Waits `us` microseconds as exactly as the machine allows: sleeping
    // alone overshoots by tens of microseconds, by hundreds on a busy
    // machine, a tenth of a fast access or more.
    static void WaitLatency(std::int64_t us);
    // Hands the queued notifications to the dispatcher; lock not held.
    void Post(std::vector<std::pair<int, std::uint32_t>>& queued);
    void LiveLoop();
    // Takes the mutex for a camera call; while the call waits, an advance
    // in progress lets it go first at its next pause.
    std::unique_lock<std::mutex> LockForCall();
    // Simulated time forward by `us` in pieces, the mutex held by `lock`
    // during each and free between them.
    void AdvanceInPieces(std::unique_lock<std::mutex>& lock, std::int64_t us);
    // Between two pieces of an advance: posts what they queued, frees the
    // mutex until the calls waiting for it have had it, and takes it back.
    void LetCallsIn(std::unique_lock<std::mutex>& lock);

    Description description;
    SimOptions options;
    std::vector<std::shared_ptr<SimFeature>> features;
    NotificationDispatcher dispatcher;
    std::unique_ptr<LiveModel> model;
    const std::shared_ptr<SignalRecord> signalRecord; // has its own lock
    std::atomic<std::int64_t> latencyUs{0};
    std::atomic<int> waitingCalls{0};

    std::mutex mutex; // guards every member below and everything the model touches
    bool closed = false;
    bool paused = false;
    std::vector<std::unordered_map<std::string, Value>> values;
    std::vector<std::pair<int, std::uint32_t>> toPost; // feature, KelFeatureChangeType bits
    std::vector<std::int64_t> lastLiveNotify;
    std::map<int, unsigned> pendingLive; // feature, LiveNews bits
    std::map<std::pair<int, Op>, FaultState> faults; // feature -1: every feature
    std::vector<std::array<std::uint64_t, OpCount>> callCounts;
    bool logEnabled = false;
    std::vector<CallRecord> callLog;
    std::shared_ptr<SimStream> stream; // the last one started, kept for its statistics

    std::condition_variable liveWake;
    std::thread liveThread;
};

template <typename Body>
KelErrorType SimCore::Invoke(int f, Op op, Body&& body, const std::string* logValue)
{
    const std::int64_t latency = latencyUs.load(std::memory_order_relaxed);
    if (latency > 0 && IsDeviceAccess(op))
        WaitLatency(latency);
    KelErrorType result;
    std::vector<std::pair<int, std::uint32_t>> posts;
    {
        const std::unique_lock<std::mutex> lock = LockForCall();
        if (closed)
            return KelError::NotOpen;
        ++callCounts[f][static_cast<int>(op)];
        Fault fault;
        CallContext ctx;
        bool failed = false;
        if (TakeFault(f, op, fault)) {
            failed = fault.kind == Fault::Kind::Error;
            if (failed)
                result = fault.code;
            else
                ctx.fault = &fault;
        }
        if (!failed)
            result = body(ctx);
        if (logValue)
            Record(f, op, *logValue, result);
        posts.swap(toPost);
    }
    Post(posts);
    return result;
}

} // namespace Sim
} // namespace KelCPP

#endif
