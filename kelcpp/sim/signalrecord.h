#ifndef KELCPP_SIM_SIGNALRECORD_H
#define KELCPP_SIM_SIGNALRECORD_H

// The simulated camera's signal trace: every edge the live model makes, in a
// ring of a fixed number of edges, and the stretches in which a signal ran
// too fast to record edge by edge, as waves. Times are kept in simulated µs
// and put on the Timestamp clock when read, with the clock's base of then:
// after a TimestampReset the whole record reads on the new clock, times
// before the reset negative.

#include "../signaltrace.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace KelCPP {
namespace Sim {

class SignalRecord : public SignalTrace {
public:
    // Waves kept at most; beyond, the oldest that ended is forgotten. Each
    // takes a change of set-up by the host, so there are few.
    static constexpr std::size_t MaxWaves = 4096;

    // Keeps at most `capacity` edges (at least 16).
    explicit SignalRecord(std::size_t capacity);

    // --- Recording (the live model, in time order) ----------------------
    // The signals, once: a later list (the same camera's, after a user set
    // was loaded) is ignored.
    void SetSignals(std::vector<SignalInfo> list);
    void AddEdge(std::int64_t us, std::uint32_t signal, bool level);
    // From `fromUs` on, `signal` is high exactly in [originUs + k·periodUs,
    // originUs + k·periodUs + highUs), until CloseWave at `toUs`; the edges
    // the wave makes at `toUs` follow CloseWave as AddEdge.
    void OpenWave(std::uint32_t signal, std::int64_t fromUs, std::int64_t periodUs, std::int64_t originUs,
                  std::int64_t highUs);
    void CloseWave(std::uint32_t signal, std::int64_t toUs);
    void SetNow(std::int64_t nowUs, std::int64_t timestampBaseNs);
    // The camera closed: the record is freed, every call answers NotOpen.
    void Close();

    // --- SignalTrace ------------------------------------------------------
    bool IsSampled() const override { return false; }
    KelErrorType GetSignals(std::vector<SignalInfo>& list) const override;
    KelErrorType GetNowNs(std::int64_t& nowNs) const override;
    // `initial` holds the levels just before `fromNs` (for a signal in a
    // wave then, the wave's level at it); the edges at `fromNs` are in
    // `edges`. Waves come whole, a running one up to now.
    KelErrorType Read(std::int64_t fromNs, std::int64_t toNs, SignalTraceData& data) const override;

private:
    struct Edge {
        std::int64_t us;
        std::uint32_t signal;
        bool level;
    };
    struct Wave {
        std::uint32_t signal;
        std::int64_t fromUs, toUs; // toUs: Open while it runs
        std::int64_t periodUs, originUs, highUs;
        bool LevelAt(std::int64_t us) const;
    };
    // The levels after the first `seq` edges ever recorded: a Read starts
    // from the last one before its window instead of the oldest edge.
    struct Checkpoint {
        std::uint64_t seq;
        std::int64_t us; // of the last of those edges
        std::vector<std::uint8_t> level;
        std::vector<std::int64_t> sinceUs;
    };
    static constexpr std::int64_t Open = INT64_MAX;

    // Drops the oldest edges and waves until the record holds no more than
    // it may, or nothing before `untilUs`; what they did goes into `base`.
    void Trim(std::int64_t untilUs = INT64_MIN);

    const std::size_t capacity;
    const std::size_t checkpointEvery; // edges; some 64 checkpoints cover the ring
    mutable std::mutex mutex; // guards every member below; never held while taking another lock
    bool closed = false;
    std::vector<SignalInfo> signals;
    std::deque<Edge> ring; // in time order
    std::deque<Wave> waves; // in the order they opened
    std::uint64_t forgotten = 0; // edges dropped from the ring
    std::int64_t oldestUs = 0;
    std::vector<std::uint8_t> base;        // each signal's level at oldestUs
    std::vector<std::int64_t> baseSinceUs; // when that level was set
    std::vector<std::uint8_t> latest;      // the same after all that was recorded
    std::vector<std::int64_t> latestSinceUs;
    std::deque<Checkpoint> checkpoints;    // in order, none before the ring's first edge
    std::int64_t nowUs = 0;
    std::int64_t baseNs = 0; // the Timestamp clock's zero, in simulated ns
};

} // namespace Sim
} // namespace KelCPP

#endif
