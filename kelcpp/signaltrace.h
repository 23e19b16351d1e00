#ifndef KELCPP_SIGNALTRACE_H
#define KELCPP_SIGNALTRACE_H

// What a camera's signals did over the last seconds, on the camera's clock:
// I/O lines (after their inverters), frame trigger, exposure, timers and
// counter ends. A backend offers it if it can (Camera::GetSignalTrace).
// Either as a record of every edge the camera made, or, where the device
// keeps none, as samples of the line levels taken at the backend's poll rate.

#include "kelcpptypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace KelCPP {

enum KelSignalKindType : std::uint32_t {
    KelSignalLevel = 0, // high or low at any time: a line, ExposureActive, Timer0Active
    KelSignalEvent = 1, // an instant with no level: FrameTrigger, Counter0End
};

struct SignalInfo {
    std::string name; // the camera's own name: "Line0", "ExposureActive", "Timer0Active", "Counter0End"
    KelSignalKindType kind = KelSignalLevel;
};

// One change of one signal: a level signal has `level` from `timeNs` on; an
// event fired at `timeNs` (`level` true).
struct SignalEdge {
    std::int64_t timeNs = 0;
    std::uint32_t signal = 0; // index into the signal list
    bool level = false;
};

// A level signal too fast to record edge by edge, known in closed form while
// it ran unchanged: in [fromNs, toNs) it is high exactly in
// [originNs + k·periodNs, originNs + k·periodNs + highNs) for every integer k.
struct SignalWave {
    std::uint32_t signal = 0;
    std::int64_t fromNs = 0, toNs = 0;
    std::int64_t periodNs = 1, originNs = 0, highNs = 0;
};

// What Read returns for a window of time.
struct SignalTraceData {
    std::int64_t fromNs = 0, toNs = 0; // the window asked for, `toNs` cut to now
    // The trace covers [oldestNs, now]: the record is bounded, older changes
    // are gone. Before oldestNs nothing is known.
    std::int64_t oldestNs = 0;
    // Each signal's level at fromNs (events: 0), by signal index.
    std::vector<std::uint8_t> initial;
    std::vector<SignalEdge> edges; // in time order; only changes (a level signal alternates)
    std::vector<SignalWave> waves; // stretches not in `edges`
    // Sampled traces only: the time of each sample. Between two samples the
    // line may have done anything; `edges` hold the sampled changes.
    std::vector<std::int64_t> sampleTimesNs;
};

class SignalTrace {
public:
    virtual ~SignalTrace();

    // True when the trace samples levels (every `edges` time is a sample
    // time), false when it records each edge when the camera made it.
    virtual bool IsSampled() const = 0;
    // The signals, in a fixed order for the life of the trace. Lines first,
    // in the camera's order.
    virtual KelErrorType GetSignals(std::vector<SignalInfo>& list) const = 0;
    // The camera's clock now, in ns, on the same clock as the edges and as
    // Frame::timestampNs.
    virtual KelErrorType GetNowNs(std::int64_t& nowNs) const = 0;
    // Everything known in [fromNs, toNs]. Any thread; a copy, so that the
    // caller may take its time with it.
    virtual KelErrorType Read(std::int64_t fromNs, std::int64_t toNs, SignalTraceData& data) const = 0;

protected:
    SignalTrace() = default;
    SignalTrace(const SignalTrace&) = delete;
    SignalTrace& operator=(const SignalTrace&) = delete;
};

} // namespace KelCPP

#endif
