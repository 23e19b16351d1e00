#ifndef VIEWER_FRAMEMARKEDTRACE_H
#define VIEWER_FRAMEMARKEDTRACE_H

#include "kelcpp/signaltrace.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// A camera's signal trace with one row more: the frames the stream
// delivered, at their camera timestamps. A camera that only lets its lines
// be sampled tells nothing of its exposures; its frames still show when
// they were taken, on the same clock.
class FrameMarkedTrace : public KelCPP::SignalTrace
{
public:
    static constexpr const char* RowName = "Frames (stream)";

    // `capacity` frames are kept, the oldest dropped first.
    explicit FrameMarkedTrace(std::shared_ptr<KelCPP::SignalTrace> base, std::size_t capacity = 20000);

    // Any thread: the stream's, as each frame arrives.
    void AddFrame(std::int64_t timestampNs);

    bool IsSampled() const override;
    KelCPP::KelErrorType GetSignals(std::vector<KelCPP::SignalInfo>& list) const override;
    KelCPP::KelErrorType GetNowNs(std::int64_t& nowNs) const override;
    KelCPP::KelErrorType Read(std::int64_t fromNs, std::int64_t toNs, KelCPP::SignalTraceData& data) const override;

private:
    std::shared_ptr<KelCPP::SignalTrace> base;
    std::size_t capacity;
    mutable std::mutex mutex; // guards frames
    std::deque<std::int64_t> frames;
};

#endif
