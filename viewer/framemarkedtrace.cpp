#include "framemarkedtrace.h"

#include <algorithm>
#include <iterator>

FrameMarkedTrace::FrameMarkedTrace(std::shared_ptr<KelCPP::SignalTrace> trace, std::size_t size)
    : base(std::move(trace)), capacity(std::max<std::size_t>(1, size))
{
}

void FrameMarkedTrace::AddFrame(std::int64_t timestampNs)
{
    const std::lock_guard<std::mutex> lock(mutex);
    // Kept in time order: a frame stamped before the newest (a camera clock
    // reset) starts the record anew.
    if (!frames.empty() && timestampNs < frames.back())
        frames.clear();
    if (frames.size() == capacity)
        frames.pop_front();
    frames.push_back(timestampNs);
}

bool FrameMarkedTrace::IsSampled() const
{
    return base->IsSampled();
}

KelCPP::KelErrorType FrameMarkedTrace::GetSignals(std::vector<KelCPP::SignalInfo>& list) const
{
    const KelCPP::KelErrorType result = base->GetSignals(list);
    if (result == KelCPP::KelError::Success)
        list.push_back({RowName, KelCPP::KelSignalEvent});
    return result;
}

KelCPP::KelErrorType FrameMarkedTrace::GetNowNs(std::int64_t& nowNs) const
{
    return base->GetNowNs(nowNs);
}

KelCPP::KelErrorType FrameMarkedTrace::Read(std::int64_t fromNs, std::int64_t toNs, KelCPP::SignalTraceData& data) const
{
    const KelCPP::KelErrorType result = base->Read(fromNs, toNs, data);
    if (result != KelCPP::KelError::Success)
        return result;
    const auto row = static_cast<std::uint32_t>(data.initial.size());
    data.initial.push_back(0);
    std::vector<KelCPP::SignalEdge> marks;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        auto first = std::lower_bound(frames.begin(), frames.end(), data.fromNs);
        auto last = std::upper_bound(first, frames.end(), data.toNs);
        marks.reserve(std::size_t(std::distance(first, last)));
        for (auto it = first; it != last; ++it)
            marks.push_back({*it, row, true});
    }
    const auto middle = data.edges.insert(data.edges.end(), marks.begin(), marks.end());
    std::inplace_merge(data.edges.begin(), middle, data.edges.end(),
                       [](const KelCPP::SignalEdge& a, const KelCPP::SignalEdge& b) { return a.timeNs < b.timeNs; });
    return result;
}
