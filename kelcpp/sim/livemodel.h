#ifndef KELCPP_SIM_LIVEMODEL_H
#define KELCPP_SIM_LIVEMODEL_H

// The parts of the camera that change by themselves: lines, timers,
// counters, acquisition and PTP. Event-driven: time jumps from one change
// to the next, so a slow description stays cheap and a fast timer exact.
// Everything here runs with the core's mutex held.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace KelCPP {
namespace Sim {

class SimCore;
struct InputSignal;

class LiveModel {
public:
    explicit LiveModel(SimCore& core);

    // Reads the description and settles the power-up state.
    void Init();
    // Runs simulated time forward to `timeUs`.
    void AdvanceTo(std::int64_t timeUs);
    // After a write of feature `f`: react at the current time.
    void OnWrite(int f);
    // Runs the built-in behaviour of a command; false for other commands.
    bool OnCommand(int f);

    bool ForceLine(const std::string& line, std::optional<bool> level);
    bool Action(std::uint32_t deviceKey, std::uint32_t groupKey, std::uint32_t groupMask);
    bool StartAcquisition();
    bool StopAcquisition();
    bool Acquiring() const { return acquiring; }
    std::uint64_t Frames() const { return frames; }
    std::vector<std::string> Lines() const;

private:
    struct Line {
        std::string name;
        int bit = 0;
        std::optional<bool> forced;
        bool stable = false;    // debounced electrical level
        bool candidate = false; // last raw level seen
        std::int64_t candidateSince = 0;
        std::int64_t settleAt = INT64_MAX; // when a pending level passes the debounce window
    };
    struct Timer {
        enum class Phase { Idle, Wait, Delay, Active };
        std::string name, active, end;
        Phase phase = Phase::Idle;
        bool completed = false;
        std::int64_t phaseStart = 0, phaseEnd = 0;
    };
    struct Counter {
        enum class State { Idle, TriggerWait, Active, Completed };
        std::string name, active, end;
        State state = State::Idle;
    };
    enum class Ptp { Disabled, Initializing, Listening, Master, Slave };
    struct Edges {
        std::set<std::string> rising, falling, events;
        const std::map<std::string, bool>* levels = nullptr;
        bool Any() const { return !rising.empty() || !falling.empty() || !events.empty(); }
    };

    // One instant: due transitions, levels, edges and reactions until stable.
    void Evaluate();
    std::int64_t NextEventTime();
    bool FrameTriggerOn();
    bool AdvanceDue();
    std::map<std::string, bool> ComputeLevels();
    bool ReactTimers(const Edges& edges);
    bool ReactCounters(const Edges& edges);
    bool ReactTriggers(const Edges& edges);
    void Publish();
    bool Fires(const std::string& source, const std::string& activation, const Edges& edges) const;
    void StartTimer(Timer& timer);
    bool SelfRetriggering(const Timer& timer);
    void ResetCounter(Counter& counter);
    void BeginRun();
    void EndRun();
    void BeginExposure();
    void PtpStep();
    void PtpEnter(Ptp state);

    // Value access by feature index, -1 meaning "the camera lacks it".
    std::string Text(int f, const std::string& key);
    double Number(int f, const std::string& key);
    void SetLive(int f, const std::string& key, std::int64_t value);
    void SetLive(int f, const std::string& key, double value);
    void SetLiveBool(int f, const std::string& key, bool value);
    void SetLiveEntry(int f, const std::string& key, const std::string& entry);
    void SetQuiet(int f, const std::string& key, std::int64_t value);
    std::vector<std::string> EntriesOf(int selector) const;
    bool IsOutput(const Line& line);
    std::int64_t TimestampNs() const;

    SimCore& core;
    // Feature indices by role, resolved once in Init().
    std::map<std::string, int> f;
    int F(const char* name) const;

    std::vector<Line> lines;
    std::vector<Timer> timers;
    std::vector<Counter> counters;
    std::map<std::string, bool> prevLevels;
    std::set<std::string> events;       // fired at the current instant, not yet seen
    std::string softwareTrigger;        // TriggerSelector entry whose TriggerSoftware ran
    bool acquiring = false;
    bool waitingForAcquisitionTrigger = false;
    std::uint64_t frames = 0;
    std::uint64_t framesThisRun = 0;
    std::int64_t nextFreeRunFrame = INT64_MAX;
    std::int64_t exposureEnd = INT64_MAX;
    std::deque<std::int64_t> pendingFrames;
    std::int64_t timestampBaseNs = 0;
    Ptp ptp = Ptp::Disabled;
    std::int64_t ptpSince = 0;
    std::int64_t nextSlowUpdate = 0; // PTP servo and temperature, once a second
    double ptpOffsetNs = 0.0;
    double temperature = 40.0;
    std::mt19937_64 random;
};

} // namespace Sim
} // namespace KelCPP

#endif
