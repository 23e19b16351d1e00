#include "aravistrace.h"

#include "araviscore.h"

#include <algorithm>
#include <chrono>

namespace KelCPP {
namespace Aravis {

AravisTrace::AravisTrace(std::weak_ptr<AravisCore> c, std::vector<SignalInfo> signals, std::int64_t offset,
                         std::size_t samplesKept)
    : core(std::move(c)), lines(std::move(signals)), offsetNs(offset), capacity(std::max<std::size_t>(samplesKept, 2))
{
}

bool AravisTrace::IsSampled() const
{
    return true;
}

KelErrorType AravisTrace::GetSignals(std::vector<SignalInfo>& list) const
{
    const auto camera = core.lock();
    if (!camera || camera->IsClosed())
        return KelError::NotOpen;
    list = lines;
    return KelError::Success;
}

KelErrorType AravisTrace::GetNowNs(std::int64_t& nowNs) const
{
    const auto camera = core.lock();
    if (!camera || camera->IsClosed())
        return KelError::NotOpen;
    nowNs = Now();
    return KelError::Success;
}

std::int64_t AravisTrace::Now() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
               .count()
           + offsetNs;
}

void AravisTrace::AddSample(std::int64_t timeNs, std::uint64_t levels)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (!samples.empty())
        timeNs = std::max(timeNs, samples.back().timeNs);
    samples.push_back({timeNs, levels});
    if (samples.size() > capacity)
        samples.pop_front();
}

KelErrorType AravisTrace::Read(std::int64_t fromNs, std::int64_t toNs, SignalTraceData& data) const
{
    const auto camera = core.lock();
    if (!camera || camera->IsClosed())
        return KelError::NotOpen;
    const std::int64_t now = Now();
    data = SignalTraceData();
    data.toNs = std::min(toNs, now);
    data.fromNs = std::min(fromNs, data.toNs);
    data.initial.assign(lines.size(), 0);

    const std::lock_guard<std::mutex> lock(mutex);
    data.oldestNs = samples.empty() ? now : samples.front().timeNs;
    if (samples.empty())
        return KelError::Success;
    auto byTime = [](const Sample& sample, std::int64_t t) { return sample.timeNs < t; };
    const auto first = std::lower_bound(samples.begin(), samples.end(), data.fromNs, byTime);
    // The levels at fromNs: the last sample up to then; before the oldest
    // nothing is known, and the oldest stands in.
    auto last = std::upper_bound(samples.begin(), samples.end(), data.fromNs,
                                 [](std::int64_t t, const Sample& sample) { return t < sample.timeNs; });
    std::uint64_t levels = last == samples.begin() ? samples.front().levels : std::prev(last)->levels;
    for (std::size_t i = 0; i < lines.size(); ++i)
        data.initial[i] = (levels >> i) & 1u;
    for (auto it = first; it != samples.end() && it->timeNs <= data.toNs; ++it) {
        data.sampleTimesNs.push_back(it->timeNs);
        if (it->timeNs == data.fromNs)
            continue; // already in `initial`
        const std::uint64_t changed = it->levels ^ levels;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if ((changed >> i) & 1u)
                data.edges.push_back({it->timeNs, static_cast<std::uint32_t>(i), ((it->levels >> i) & 1u) != 0});
        }
        levels = it->levels;
    }
    return KelError::Success;
}

} // namespace Aravis
} // namespace KelCPP
