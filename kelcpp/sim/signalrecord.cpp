#include "signalrecord.h"

#include "checkedmath.h"

#include <algorithm>
#include <limits>

namespace KelCPP {
namespace Sim {

namespace {

// Simulated time runs to the end of int64 µs; in ns it stops at the limits.
std::int64_t Ns(std::int64_t us)
{
    return SatMul(us, 1000);
}

} // namespace

bool SignalRecord::Wave::LevelAt(std::int64_t us) const
{
    // 0 <= originUs < periodUs, and us is a time of the record: no overflow.
    std::int64_t phase = (us - originUs) % periodUs;
    if (phase < 0)
        phase += periodUs;
    return phase < highUs;
}

SignalRecord::SignalRecord(std::size_t edges)
    : capacity(std::max<std::size_t>(16, edges)), checkpointEvery(std::max<std::size_t>(16, edges / 64))
{
}

void SignalRecord::SetSignals(std::vector<SignalInfo> list)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (!signals.empty() || closed)
        return;
    signals = std::move(list);
    base.assign(signals.size(), 0);
    baseSinceUs.assign(signals.size(), std::numeric_limits<std::int64_t>::min());
    latest = base;
    latestSinceUs = baseSinceUs;
}

void SignalRecord::AddEdge(std::int64_t us, std::uint32_t signal, bool level)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (closed || signal >= signals.size())
        return;
    ring.push_back(Edge{us, signal, level});
    if (signals[signal].kind == KelSignalLevel) {
        latest[signal] = level;
        latestSinceUs[signal] = us;
    }
    const std::uint64_t seq = forgotten + ring.size();
    if (seq % checkpointEvery == 0)
        checkpoints.push_back(Checkpoint{seq, us, latest, latestSinceUs});
    if (ring.size() > capacity)
        Trim();
}

void SignalRecord::OpenWave(std::uint32_t signal, std::int64_t fromUs, std::int64_t periodUs,
                            std::int64_t originUs, std::int64_t highUs)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (closed || signal >= signals.size() || periodUs <= 0)
        return;
    if (waves.size() >= MaxWaves) {
        // Forget up to the end of the oldest closed one.
        const auto first = std::find_if(waves.begin(), waves.end(), [](const Wave& w) { return w.toUs != Open; });
        if (first != waves.end())
            Trim(first->toUs);
    }
    originUs %= periodUs;
    if (originUs < 0)
        originUs += periodUs;
    waves.push_back(Wave{signal, fromUs, Open, periodUs, originUs, std::clamp<std::int64_t>(highUs, 0, periodUs)});
}

void SignalRecord::CloseWave(std::uint32_t signal, std::int64_t toUs)
{
    const std::lock_guard<std::mutex> lock(mutex);
    for (Wave& w : waves) {
        if (w.signal == signal && w.toUs == Open) {
            w.toUs = toUs;
            latest[signal] = w.LevelAt(toUs - 1);
            latestSinceUs[signal] = toUs;
        }
    }
}

void SignalRecord::SetNow(std::int64_t us, std::int64_t timestampBaseNs)
{
    const std::lock_guard<std::mutex> lock(mutex);
    nowUs = us;
    baseNs = timestampBaseNs;
}

void SignalRecord::Close()
{
    const std::lock_guard<std::mutex> lock(mutex);
    closed = true;
    std::deque<Edge>().swap(ring);
    std::deque<Wave>().swap(waves);
    checkpoints.clear();
}

void SignalRecord::Trim(std::int64_t untilUs)
{
    while (!ring.empty() && (ring.size() > capacity || ring.front().us < untilUs)) {
        const Edge& edge = ring.front();
        if (signals[edge.signal].kind == KelSignalLevel) {
            base[edge.signal] = edge.level;
            baseSinceUs[edge.signal] = edge.us;
        }
        oldestUs = std::max(oldestUs, edge.us);
        ring.pop_front();
        ++forgotten;
    }
    while (!checkpoints.empty() && checkpoints.front().seq < forgotten)
        checkpoints.pop_front();
    oldestUs = std::max(oldestUs, untilUs);
    // A wave that ended by then leaves its last level, unless an edge of
    // the signal came later (one at its end belongs after it); in the
    // checkpoints too, which every read from now on starts after its end.
    auto leave = [](const Wave& w, std::vector<std::uint8_t>& level, std::vector<std::int64_t>& since) {
        if (w.toUs > since[w.signal]) {
            level[w.signal] = w.LevelAt(w.toUs - 1);
            since[w.signal] = w.toUs;
        }
    };
    for (auto it = waves.begin(); it != waves.end();) {
        if (it->toUs == Open || it->toUs > oldestUs) {
            ++it;
            continue;
        }
        leave(*it, base, baseSinceUs);
        for (Checkpoint& c : checkpoints)
            leave(*it, c.level, c.sinceUs);
        it = waves.erase(it);
    }
}

KelErrorType SignalRecord::GetSignals(std::vector<SignalInfo>& list) const
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (closed)
        return KelError::NotOpen;
    list = signals;
    return KelError::Success;
}

KelErrorType SignalRecord::GetNowNs(std::int64_t& now) const
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (closed)
        return KelError::NotOpen;
    now = SatSub(Ns(nowUs), baseNs);
    return KelError::Success;
}

KelErrorType SignalRecord::Read(std::int64_t fromNs, std::int64_t toNs, SignalTraceData& data) const
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (closed)
        return KelError::NotOpen;
    // Compared on simulated time, in ns.
    const std::int64_t now = Ns(nowUs), oldest = Ns(oldestUs);
    const std::int64_t from = SatAdd(fromNs, baseNs), to = std::min(SatAdd(toNs, baseNs), now);
    auto clock = [this](std::int64_t ns) { return SatSub(ns, baseNs); };
    data.fromNs = fromNs;
    data.toNs = std::min(toNs, clock(now));
    data.oldestNs = clock(oldest);
    data.sampleTimesNs.clear();

    // Levels at `from` (before the edges at it): what is forgotten, or the
    // last checkpoint before it, then the edges and waves up to it, the
    // latest of each signal winning.
    const std::int64_t at = std::clamp(from, oldest, now);
    const std::int64_t atUs = at / 1000; // at >= 0
    std::vector<std::uint8_t> level = base;
    std::vector<std::int64_t> since = baseSinceUs;
    auto e = ring.begin();
    for (auto c = checkpoints.rbegin(); c != checkpoints.rend(); ++c) {
        if (Ns(c->us) < at) {
            level = c->level;
            since = c->sinceUs;
            e += static_cast<std::ptrdiff_t>(c->seq - forgotten);
            break;
        }
    }
    for (; e != ring.end() && Ns(e->us) < at; ++e) {
        if (signals[e->signal].kind == KelSignalLevel) {
            level[e->signal] = e->level;
            since[e->signal] = e->us;
        }
    }
    for (const Wave& w : waves) {
        if (Ns(w.fromUs) > at)
            break; // they opened in time order
        if (w.toUs == Open || Ns(w.toUs) > at) {
            level[w.signal] = w.LevelAt(atUs);
            since[w.signal] = Open;
        } else if (w.toUs > since[w.signal]) {
            level[w.signal] = w.LevelAt(w.toUs - 1);
            since[w.signal] = w.toUs;
        }
    }
    data.initial = std::move(level);

    data.edges.clear();
    data.waves.clear();
    if (from > to)
        return KelError::Success;
    const auto first = std::partition_point(ring.begin(), ring.end(), [&](const Edge& e) { return Ns(e.us) < from; });
    for (auto it = first; it != ring.end() && Ns(it->us) <= to; ++it)
        data.edges.push_back(SignalEdge{clock(Ns(it->us)), it->signal, it->level});

    for (const Wave& w : waves) {
        if (Ns(w.fromUs) > to)
            break;
        if (w.toUs != Open && Ns(w.toUs) <= from)
            continue;
        SignalWave out;
        out.signal = w.signal;
        out.fromNs = clock(Ns(w.fromUs));
        out.toNs = clock(w.toUs == Open ? now : Ns(w.toUs));
        out.periodNs = Ns(w.periodUs);
        out.originNs = clock(Ns(w.originUs));
        out.highNs = Ns(w.highUs);
        data.waves.push_back(out);
    }
    return KelError::Success;
}

} // namespace Sim
} // namespace KelCPP
