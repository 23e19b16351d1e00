#ifndef KELCPP_SIM_LIVEMODEL_H
#define KELCPP_SIM_LIVEMODEL_H

// The parts of the camera that change by themselves: lines, timers,
// counters, acquisition and PTP. Event-driven: time jumps from one change
// to the next, so a slow description stays cheap and a fast timer exact.
// Signals too fast to follow edge by edge (see DenseWave) are computed in
// closed form instead. Each ended exposure goes to the core as a frame, and
// each edge into the signal trace (SignalRecord). Everything here runs with
// the core's mutex held.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace KelCPP {
namespace Sim {

class SimCore;

// A signal that repeats every `period` µs, known at any time without
// stepping through its edges. A Level wave rises at offset `rise` and falls
// at offset `fall` of each period, counted from the times ≡ `origin`; equal
// offsets are a pulse of no width, which falls and rises again (`spike`
// false: a timer without delay) or rises and falls again (`spike` true: the
// same, inverted). An Event wave fires once a period, at `rise`. A Constant
// wave holds `level` and has no edges.
struct DenseWave {
    enum class Kind { Level, Event, Constant };
    Kind kind = Kind::Constant;
    bool level = false;
    bool spike = false;
    std::int64_t period = 1;
    std::int64_t origin = 0; // in [0, period)
    std::int64_t rise = 0, fall = 0;

    bool operator==(const DenseWave& o) const;
    bool operator!=(const DenseWave& o) const { return !(*this == o); }
};

class LiveModel {
public:
    using Clock = std::chrono::steady_clock;

    explicit LiveModel(SimCore& core);

    // Reads the description and settles the power-up state.
    void Init();
    // Runs simulated time forward to `timeUs`. Stops early, between two
    // instants, once the real-time `deadline` has passed, so that the caller
    // can let others at the camera; continuing later gives the same result
    // as not stopping. Returns whether it got to `timeUs`.
    bool AdvanceTo(std::int64_t timeUs, Clock::time_point deadline = Clock::time_point::max());
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

    // Periodic signals with a period below this many µs are dense: computed
    // in closed form, not edge by edge. 0 turns that off; tests compare both.
    void SetDenseBelow(std::int64_t periodUs);
    // Instants evaluated since the camera was made, for tests of the work
    // an advance takes.
    std::uint64_t Evaluations() const { return evaluations; }

private:
    struct Line {
        std::string name;
        int bit = 0;
        std::optional<bool> forced;
        bool stable = false;    // debounced electrical level
        bool candidate = false; // last raw level seen
        std::int64_t candidateSince = 0;
        std::int64_t settleAt = INT64_MAX; // when a pending level passes the debounce window
        DenseWave raw;          // the input signal of the description (Constant low without one)
        bool dense = false;     // `stable` follows `stableWave`, not the edges
        DenseWave stableWave;
    };
    struct Timer {
        enum class Phase { Idle, Wait, Delay, Active };
        std::string name, active, end;
        Phase phase = Phase::Idle;
        bool completed = false;
        std::int64_t phaseStart = 0, phaseEnd = 0;
        // A dense timer retriggers itself: delay, then active for duration,
        // in cycles that start at the times ≡ origin (mod delay + duration).
        bool dense = false;
        std::int64_t delay = 0, duration = 0, origin = 0;
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
    // A dense signal by name, and what it does at the current instant.
    struct DenseSignal {
        DenseWave wave;
        bool level = false;      // settled
        bool firstLevel = false; // after the first edge of a pulse of no width
        unsigned edgesNow = 0;   // edge marks in the instant's first round
        bool eventNow = false;
    };

    // What the signal trace follows of a level signal: the level it last
    // recorded, or the wave it runs as while dense.
    struct TracedLevel {
        std::string name;
        std::uint32_t index = 0;
        bool level = false;
        bool inWave = false;
        DenseWave wave;
    };

    // One instant: due transitions, levels, edges and reactions until stable.
    void Evaluate();
    std::int64_t NextEventTime();
    bool FrameTriggerOn();
    bool FrameTriggerReady() const;
    bool AdvanceDue();
    std::map<std::string, bool> ComputeLevels(bool firstRound);
    bool ReactTimers(const Edges& edges);
    bool ReactCounters(const Edges& edges);
    bool ReactTriggers(const Edges& edges);
    void Publish();
    bool Fires(const std::string& source, const std::string& activation, const Edges& edges) const;
    void StartTimer(Timer& timer);
    bool SelfRetriggering(const Timer& timer);
    void ResetCounter(Counter& counter);
    void CountEvents(Counter& counter, std::int64_t n);
    void BeginRun();
    void EndRun();
    void BeginExposure();
    void PtpStep();
    void PtpEnter(Ptp state);
    // Width or Height for a frame: the feature's value, else `otherwise`.
    std::uint32_t FrameSide(const char* feature, std::uint32_t otherwise);
    // A frame trigger the camera was too busy for.
    void MissTrigger(const std::string& source);

    // --- signal trace ------------------------------------------------------
    void TraceInit();
    // Level changes of a round, of the signals not running as waves.
    void TraceLevels(const std::map<std::string, bool>& levels, const Edges& edges);
    // Opens and closes waves as signals become dense or leave; a new wave
    // starts at `since`, the instant from which its set-up held.
    void TraceWaves(std::int64_t since);
    void TraceEvent(std::uint32_t index);

    // --- dense signals ---------------------------------------------------
    // The wave `line.stable` would follow from now on, if the line is dense.
    bool LineDenseWave(const Line& line, DenseWave& wave);
    bool TimerDenseFits(const Timer& timer, std::int64_t& delay, std::int64_t& duration);
    // Sources whose set-up changed leave dense mode; true if any did.
    bool LeaveDense();
    // Sources whose set-up fits and whose state at the last instant agrees
    // with their wave become dense.
    void EnterDense();
    // Line and timer states at the current instant, from their waves.
    void RefreshDense();
    // Every dense signal by name, outputs following dense sources included.
    void BuildDenseSignals();
    // Levels, edges and events of the dense signals at the current instant.
    void DenseNow(bool fresh);
    // Counts the edges dense signals made since the last instant.
    void CatchUp();
    const DenseSignal* Dense(const std::string& name) const;
    // The first time after now at which `source`, dense, fires at `activation`
    // for the `n`-th time; Never when it does not.
    std::int64_t DenseFiring(const std::string& source, const std::string& activation, std::int64_t n = 1) const;

    // Value access by feature index, -1 meaning "the camera lacks it".
    std::string Text(int f, const std::string& key);
    double Number(int f, const std::string& key);
    // An Integer or Enumeration as it is; a Float rounded into range.
    std::int64_t IntValue(int f, const std::string& key);
    void SetLive(int f, const std::string& key, std::int64_t value);
    void SetLive(int f, const std::string& key, double value);
    void SetLiveBool(int f, const std::string& key, bool value);
    void SetLiveEntry(int f, const std::string& key, const std::string& entry);
    void SetQuiet(int f, const std::string& key, std::int64_t value);
    const std::vector<std::string>& EntriesOf(int selector) const;
    bool IsOutput(const Line& line);
    std::int64_t TimestampNs() const;

    SimCore& core;
    // Feature indices by role, resolved once in Init().
    std::map<std::string, int> f;
    int F(const char* name) const;
    mutable std::map<int, std::vector<std::string>> entriesCache;

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
    std::int64_t exposureStartNs = 0; // on the Timestamp clock
    // When the frame a trigger started begins, while TriggerDelay holds it
    // back (a delay to the end of time holds it for good).
    std::optional<std::int64_t> heldFrame;
    std::int64_t timestampBaseNs = 0;
    Ptp ptp = Ptp::Disabled;
    std::int64_t ptpSince = 0;
    std::int64_t nextSlowUpdate = 0; // PTP servo and temperature, once a second
    double ptpOffsetNs = 0.0;
    double temperature = 40.0;
    std::mt19937_64 random;

    std::map<std::string, DenseSignal> dense;
    std::int64_t denseBelowUs;
    std::int64_t lastEval = 0; // the last instant evaluated
    std::int64_t budgetSlice = -1; // the slice of simulated time the budget below is for
    int budgetLeft = 0;
    std::uint64_t evaluations = 0;

    std::vector<TracedLevel> tracedLevels;
    std::map<std::string, std::size_t> tracedByName;
    // Compare every level in the next round, not just those with an edge:
    // Init cleared prevLevels, so a level may have gone low without one.
    bool traceAllLevels = true;
    std::uint32_t traceFrameTrigger = 0, traceMissed = 0;
    std::vector<std::uint32_t> traceCounterEnds; // by counter
};

} // namespace Sim
} // namespace KelCPP

#endif
