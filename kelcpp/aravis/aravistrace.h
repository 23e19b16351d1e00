#ifndef KELCPP_ARAVIS_ARAVISTRACE_H
#define KELCPP_ARAVIS_ARAVISTRACE_H

// The line levels of an Aravis camera as a sampled signal trace. GenICam
// keeps no record of edges, so the camera's polling thread reads
// LineStatusAll once per poll and adds it here; the trace keeps the newest
// samples up to its capacity.
//
// Times are the host's steady clock, moved once, when the trace is made,
// onto the camera's clock where the camera can latch its timestamp
// (TimestampLatch, GevTimestampControlLatch), else onto the host's wall
// clock, which Aravis's fake cameras stamp their frames with. Either way
// the clocks drift apart slowly (tens of ppm for a camera's oscillator).

#include "../signaltrace.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace KelCPP {
namespace Aravis {

class AravisCore;

class AravisTrace final : public SignalTrace {
public:
    // `lines`: the LineSelector entries; bit i of a sample is line i.
    // `offsetNs`: what the steady clock is moved by.
    AravisTrace(std::weak_ptr<AravisCore> core, std::vector<SignalInfo> lines, std::int64_t offsetNs,
                std::size_t capacity);

    bool IsSampled() const override;
    KelErrorType GetSignals(std::vector<SignalInfo>& list) const override;
    KelErrorType GetNowNs(std::int64_t& nowNs) const override;
    KelErrorType Read(std::int64_t fromNs, std::int64_t toNs, SignalTraceData& data) const override;

    // The trace's clock; any thread.
    std::int64_t Now() const;
    // The polling thread's sample: the levels at `timeNs`, not before the last one.
    void AddSample(std::int64_t timeNs, std::uint64_t levels);

private:
    struct Sample {
        std::int64_t timeNs;
        std::uint64_t levels;
    };

    std::weak_ptr<AravisCore> core;
    const std::vector<SignalInfo> lines;
    const std::int64_t offsetNs;
    const std::size_t capacity;

    mutable std::mutex mutex; // guards samples
    std::deque<Sample> samples; // oldest first
};

} // namespace Aravis
} // namespace KelCPP

#endif
