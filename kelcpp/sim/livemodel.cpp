#include "livemodel.h"

#include "checkedmath.h"
#include "simcore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace KelCPP {
namespace Sim {

namespace {

constexpr std::int64_t Never = INT64_MAX;
// Simulated time stops one short of Never, so that Never keeps meaning never.
constexpr std::int64_t LastInstant = Never - 1;
constexpr std::int64_t Second = 1000000;
// Changes that cause further changes at the same instant (a timer with no
// delay starting another) settle within a few rounds; a loop of zero-length
// pulses is cut off here.
constexpr int MaxRoundsPerInstant = 16;
// The work for a stretch of simulated time is capped: of the instants in one
// slice of SliceUs (aligned to simulated time, so that the result does not
// depend on how a run is split up), at most MaxEvaluationsPerSlice are taken
// one by one; whatever else falls due in the slice is taken at its last
// microsecond. Dense signals never get near this; it bounds what the model
// cannot simplify, such as a timer that a dense signal retriggers at MHz.
constexpr std::int64_t SliceUs = 10000;
constexpr int MaxEvaluationsPerSlice = 256;
// Faster than 1 kHz, nobody follows a signal edge by edge: a host sees a
// line at most every notify interval, and every tick at best.
constexpr std::int64_t DefaultDenseBelowUs = 1000;
// The wave arithmetic below stays far from overflow with periods up to this.
constexpr std::int64_t MaxDensePeriodUs = std::int64_t(1) << 40;
// Durations taken from features are capped here, so that a sum of a few of
// them cannot overflow whatever a description allows.
constexpr std::int64_t MaxDurationUs = INT64_MAX / 4;

constexpr unsigned RiseMark = 1; // a rising edge, or the event of an Event wave
constexpr unsigned FallMark = 2;

// Feature names the model drives; looked up once.
const char* const RoleNames[] = {
    "LineSelector", "LineMode", "LineInverter", "LineSource", "LineStatus", "LineStatusAll",
    "LineDebounceMode", "LineDebounceDuration", "UserOutputSelector", "UserOutputValue",
    "UserOutputValueAll", "AcquisitionStart", "AcquisitionStop", "AcquisitionMode",
    "AcquisitionFrameCount", "AcquisitionFrameRate", "AcquisitionStatusSelector",
    "AcquisitionStatus", "TLParamsLocked", "TriggerSelector", "TriggerMode", "TriggerSource",
    "TriggerActivation", "TriggerDelay", "TriggerSoftware", "ExposureTime", "CounterSelector",
    "CounterEventSource", "CounterEventActivation", "CounterDuration", "CounterValue",
    "CounterValueAtReset", "CounterStatus", "CounterTriggerSource", "CounterTriggerActivation",
    "CounterResetSource", "CounterResetActivation", "CounterReset", "TimerSelector",
    "TimerTriggerSource", "TimerTriggerActivation", "TimerDelay", "TimerDuration", "TimerStatus",
    "TimerValue", "TimerReset", "SoftwareSignalSelector", "SoftwareSignalPulse",
    "ActionDeviceKey", "ActionSelector", "ActionGroupKey", "ActionGroupMask", "Timestamp",
    "TimestampLatch", "TimestampLatchValue", "TimestampReset", "PtpEnable", "PtpOperationMode",
    "PtpStatus", "PtpServoStatus", "PtpOffsetFromMaster", "PtpClockID", "PtpParentClockID",
    "PtpGrandmasterClockID", "PtpDataSetLatch", "DeviceTemperature", "UserSetLoad", "Width", "Height",
};

// Frames of a camera without Width and Height; larger ones are cut to
// MaxFrameSide a side, so that a description cannot ask for gigabytes.
constexpr std::uint32_t DefaultFrameWidth = 640, DefaultFrameHeight = 480;
constexpr std::int64_t MaxFrameSide = 4096;

// "Timer0" -> "Timer0Active"; works for any selector entry name.
std::string Suffixed(const std::string& name, const char* suffix)
{
    return name + suffix;
}

// Floor division and the matching remainder in [0, b), for b > 0.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return a % b < 0 ? q - 1 : q;
}

std::int64_t PosMod(std::int64_t a, std::int64_t b)
{
    const std::int64_t r = a % b;
    return r < 0 ? r + b : r;
}

// A time span in whole µs from a feature value: not a number and negative
// spans are 0, huge ones MaxDurationUs.
std::int64_t Micros(double us)
{
    if (!(us > 0.0))
        return 0;
    if (us >= static_cast<double>(MaxDurationUs))
        return MaxDurationUs;
    return std::llround(us);
}

// A double rounded into the range of int64 (0 for not a number).
std::int64_t ClampedInt(double value)
{
    // 2^63 as a double; every double below it converts exactly.
    constexpr double limit = 9223372036854775808.0;
    if (std::isnan(value))
        return 0;
    if (value >= limit)
        return std::numeric_limits<std::int64_t>::max();
    if (value < -limit)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::round(value));
}

// Level activations of a dense signal act on the edge into the level: a
// count or a reset per evaluated instant would depend on when the model
// happens to look.
std::string EdgeActivation(const std::string& activation)
{
    if (activation == "LevelHigh")
        return "RisingEdge";
    if (activation == "LevelLow")
        return "FallingEdge";
    return activation;
}

// --- dense waves ------------------------------------------------------------

// Which marks of `w` an activation fires on (levels as the edge into them).
unsigned MarksFor(const DenseWave& w, const std::string& activation)
{
    const bool falling = activation == "FallingEdge" || activation == "LevelLow";
    switch (w.kind) {
    case DenseWave::Kind::Constant:
        return 0;
    case DenseWave::Kind::Event:
        return falling ? 0 : RiseMark;
    case DenseWave::Kind::Level:
        if (falling)
            return FallMark;
        return activation == "AnyEdge" ? RiseMark | FallMark : RiseMark;
    }
    return 0;
}

// Marks among `marks` at times in (a, b]. Periods are at most
// MaxDensePeriodUs here, so no term below can overflow.
std::int64_t CountMarks(const DenseWave& w, unsigned marks, std::int64_t a, std::int64_t b)
{
    if (b <= a || w.kind == DenseWave::Kind::Constant)
        return 0;
    auto at = [&](std::int64_t offset) {
        const std::int64_t base = w.origin + offset;
        return FloorDiv(b - base, w.period) - FloorDiv(a - base, w.period);
    };
    std::int64_t n = 0;
    if (marks & RiseMark)
        n = SatAdd(n, at(w.rise));
    if ((marks & FallMark) && w.kind == DenseWave::Kind::Level)
        n = SatAdd(n, at(w.fall));
    return n;
}

// The time of the n-th mark (n >= 1) among `marks` after `t`; Never if none.
std::int64_t NthMark(const DenseWave& w, unsigned marks, std::int64_t t, std::int64_t n)
{
    if (w.kind == DenseWave::Kind::Constant)
        return Never;
    std::int64_t offsets[2];
    int m = 0;
    if (marks & RiseMark)
        offsets[m++] = w.rise;
    if ((marks & FallMark) && w.kind == DenseWave::Kind::Level)
        offsets[m++] = w.fall;
    if (m == 0 || n < 1)
        return Never;
    if (m == 2 && offsets[1] < offsets[0])
        std::swap(offsets[0], offsets[1]);
    const std::int64_t x = PosMod(t - w.origin, w.period); // t - origin cannot overflow: origin >= 0
    const std::int64_t start = t - x;                       // this period began here
    int later = 0;                                          // marks of this period still to come
    for (int i = 0; i < m; ++i)
        later += offsets[i] > x;
    if (n <= later)
        return SatAdd(start, offsets[m - later + n - 1]);
    n -= later;
    const std::int64_t periods = (n - 1) / m + 1;
    const std::int64_t first = SatAdd(start, SatMul(periods, w.period));
    return SatAdd(first, offsets[(n - 1) % m]);
}

// The marks exactly at `t`.
unsigned MarksAt(const DenseWave& w, std::int64_t t)
{
    if (w.kind == DenseWave::Kind::Constant)
        return 0;
    const std::int64_t x = PosMod(t - w.origin, w.period);
    unsigned marks = 0;
    if (x == w.rise)
        marks |= RiseMark;
    if (w.kind == DenseWave::Kind::Level && x == w.fall)
        marks |= FallMark;
    return marks;
}

// The level once everything at `t` has happened.
bool LevelAt(const DenseWave& w, std::int64_t t)
{
    switch (w.kind) {
    case DenseWave::Kind::Constant:
        return w.level;
    case DenseWave::Kind::Event:
        return false;
    case DenseWave::Kind::Level:
        break;
    }
    if (w.rise == w.fall)
        return !w.spike;
    const std::int64_t x = PosMod(t - w.origin, w.period);
    return w.rise < w.fall ? (x >= w.rise && x < w.fall) : (x >= w.rise || x < w.fall);
}

// The last edge at or before `t` of a raw input wave (rising at 0, falling at `fall`).
std::int64_t LastRawEdge(const DenseWave& raw, std::int64_t t)
{
    const std::int64_t x = PosMod(t - raw.origin, raw.period);
    return x >= raw.fall ? t - (x - raw.fall) : t - x;
}

DenseWave Inverted(DenseWave w)
{
    if (w.kind == DenseWave::Kind::Constant) {
        w.level = !w.level;
    } else if (w.kind == DenseWave::Kind::Level) {
        std::swap(w.rise, w.fall);
        w.spike = !w.spike;
    }
    return w;
}

} // namespace

bool DenseWave::operator==(const DenseWave& o) const
{
    if (kind != o.kind)
        return false;
    if (kind == Kind::Constant)
        return level == o.level;
    return period == o.period && origin == o.origin && rise == o.rise
           && (kind == Kind::Event || (fall == o.fall && spike == o.spike));
}

LiveModel::LiveModel(SimCore& c)
    : core(c), denseBelowUs(DefaultDenseBelowUs)
{
}

int LiveModel::F(const char* name) const
{
    const auto it = f.find(name);
    return it == f.end() ? -1 : it->second;
}

// --- value helpers -------------------------------------------------------

std::string LiveModel::Text(int feature, const std::string& key)
{
    if (feature < 0)
        return {};
    return ValueText(core.Def(feature), core.Slot(feature, key));
}

double LiveModel::Number(int feature, const std::string& key)
{
    if (feature < 0)
        return 0.0;
    const Value& v = core.Slot(feature, key);
    switch (core.Def(feature).type) {
    case KelFeatureDataInt:
    case KelFeatureDataEnum:
        return static_cast<double>(v.i);
    case KelFeatureDataFloat:
        return v.f;
    case KelFeatureDataBool:
        return v.b ? 1.0 : 0.0;
    default:
        return 0.0;
    }
}

std::int64_t LiveModel::IntValue(int feature, const std::string& key)
{
    if (feature < 0)
        return 0;
    const Value& v = core.Slot(feature, key);
    switch (core.Def(feature).type) {
    case KelFeatureDataInt:
    case KelFeatureDataEnum:
        return v.i;
    case KelFeatureDataFloat:
        return ClampedInt(v.f);
    case KelFeatureDataBool:
        return v.b ? 1 : 0;
    default:
        return 0;
    }
}

void LiveModel::SetLive(int feature, const std::string& key, std::int64_t value)
{
    if (feature < 0 || core.Def(feature).type != KelFeatureDataInt)
        return;
    const FeatureDef& def = core.Def(feature);
    value = std::clamp(value, def.imin, def.imax);
    Value& slot = core.Slot(feature, key);
    if (slot.i == value)
        return;
    slot.i = value;
    core.LiveChanged(feature, key);
}

void LiveModel::SetLive(int feature, const std::string& key, double value)
{
    if (feature < 0)
        return;
    const FeatureDef& def = core.Def(feature);
    if (def.type == KelFeatureDataInt) {
        SetLive(feature, key, ClampedInt(value));
        return;
    }
    if (def.type != KelFeatureDataFloat)
        return;
    value = std::clamp(value, def.fmin, def.fmax);
    Value& slot = core.Slot(feature, key);
    if (slot.f == value)
        return;
    slot.f = value;
    core.LiveChanged(feature, key);
}

void LiveModel::SetLiveBool(int feature, const std::string& key, bool value)
{
    if (feature < 0)
        return;
    if (core.Def(feature).type == KelFeatureDataInt) {
        SetLive(feature, key, std::int64_t(value ? 1 : 0));
        return;
    }
    if (core.Def(feature).type != KelFeatureDataBool)
        return;
    Value& slot = core.Slot(feature, key);
    if (slot.b == value)
        return;
    slot.b = value;
    core.LiveChanged(feature, key);
}

void LiveModel::SetLiveEntry(int feature, const std::string& key, const std::string& entry)
{
    if (feature < 0 || core.Def(feature).type != KelFeatureDataEnum)
        return;
    const int i = core.Def(feature).EntryIndexByName(entry);
    if (i < 0)
        return; // the description does not offer this state; leave it alone
    Value& slot = core.Slot(feature, key);
    const std::int64_t value = core.Def(feature).entries[i].value;
    if (slot.i == value)
        return;
    slot.i = value;
    core.LiveChanged(feature, key);
}

// Values that change continuously (clocks) are polled by hosts, not notified;
// what names one in a condition still is.
void LiveModel::SetQuiet(int feature, const std::string& key, std::int64_t value)
{
    if (feature < 0)
        return;
    Value& slot = core.Slot(feature, key);
    const KelFeatureDataType type = core.Def(feature).type;
    if (type == KelFeatureDataFloat && slot.f != static_cast<double>(value))
        slot.f = static_cast<double>(value);
    else if (type == KelFeatureDataInt && slot.i != value)
        slot.i = value;
    else
        return;
    core.QuietChanged(feature, key);
}

// The entries of a selector the model walks (lines, timers, counters, ...).
// An Integer selector counts only with at most 64 values; its range may lie
// anywhere in int64, so the values are stepped through in unsigned offsets.
const std::vector<std::string>& LiveModel::EntriesOf(int selector) const
{
    static const std::vector<std::string> none;
    if (selector < 0)
        return none;
    const auto cached = entriesCache.find(selector);
    if (cached != entriesCache.end())
        return cached->second;
    std::vector<std::string>& names = entriesCache[selector];
    const FeatureDef& def = core.Def(selector);
    if (def.type == KelFeatureDataEnum) {
        for (const auto& e : def.entries)
            names.push_back(e.name);
    } else if (def.type == KelFeatureDataInt && def.imin <= def.imax) {
        constexpr std::uint64_t maxValues = 64;
        const std::uint64_t span = static_cast<std::uint64_t>(def.imax) - static_cast<std::uint64_t>(def.imin);
        const std::uint64_t step = def.iinc > 0 ? static_cast<std::uint64_t>(def.iinc) : 1;
        if (span / step < maxValues) {
            for (std::uint64_t offset = 0; offset <= span; offset += step) {
                // imin + offset <= imax: back in range, so the conversion is exact.
                const std::uint64_t value = static_cast<std::uint64_t>(def.imin) + offset;
                names.push_back(std::to_string(static_cast<std::int64_t>(value)));
                if (span - offset < step)
                    break; // the next step would pass imax (and might wrap)
            }
        }
    }
    return names;
}

std::int64_t LiveModel::TimestampNs() const
{
    return SatSub(SatMul(core.now, 1000), timestampBaseNs);
}

std::vector<std::string> LiveModel::Lines() const
{
    std::vector<std::string> names;
    for (const auto& line : lines)
        names.push_back(line.name);
    return names;
}

bool LiveModel::FrameTriggerOn()
{
    return F("TriggerMode") >= 0 && Text(F("TriggerMode"), "FrameStart") == "On";
}

// Acquiring and free: neither exposing nor holding a frame back.
bool LiveModel::FrameTriggerReady() const
{
    return acquiring && exposureEnd == Never && !heldFrame;
}

bool LiveModel::IsOutput(const Line& line)
{
    const int mode = F("LineMode");
    if (mode >= 0)
        return Text(mode, line.name) == "Output";
    // Without LineMode, a line with a source of its own is an output.
    const int source = F("LineSource");
    return source >= 0 && Text(source, line.name) != "Off" && !Text(source, line.name).empty();
}

// --- set-up --------------------------------------------------------------

void LiveModel::Init()
{
    f.clear();
    for (const char* role : RoleNames) {
        const int index = core.Desc().Find(role);
        if (index >= 0)
            f[role] = index;
    }
    random.seed(core.Desc().simulation.seed);

    const auto& signals = core.Desc().simulation.inputSignals;
    lines.clear();
    int bit = 0;
    for (const auto& name : EntriesOf(F("LineSelector"))) {
        Line line{name, bit++, std::nullopt, false, false, 0, Never, {}, false, {}};
        const auto it = signals.find(name);
        if (it != signals.end()) {
            const InputSignal& s = it->second;
            if (s.constant || s.periodUs <= 0 || s.highUs <= 0 || s.highUs >= s.periodUs) {
                line.raw.level = s.constant ? s.level : s.highUs > 0;
            } else {
                line.raw.kind = DenseWave::Kind::Level;
                line.raw.period = s.periodUs;
                line.raw.origin = PosMod(s.phaseUs, s.periodUs);
                line.raw.rise = 0;
                line.raw.fall = s.highUs;
            }
        }
        lines.push_back(line);
    }
    timers.clear();
    for (const auto& name : EntriesOf(F("TimerSelector")))
        timers.push_back(Timer{name, Suffixed(name, "Active"), Suffixed(name, "End")});
    counters.clear();
    for (const auto& name : EntriesOf(F("CounterSelector")))
        counters.push_back(Counter{name, Suffixed(name, "Active"), Suffixed(name, "End")});

    prevLevels.clear();
    events.clear();
    dense.clear();
    softwareTrigger.clear();
    acquiring = waitingForAcquisitionTrigger = false;
    framesThisRun = 0;
    nextFreeRunFrame = exposureEnd = Never;
    heldFrame.reset();
    ptp = Ptp::Disabled;
    ptpOffsetNs = 0.0;
    temperature = F("DeviceTemperature") >= 0 ? Number(F("DeviceTemperature"), "") : 40.0;
    nextSlowUpdate = SatAdd(core.now, Second);
    lastEval = core.now;
    if (Number(F("PtpEnable"), "") != 0.0)
        PtpEnter(Ptp::Initializing);
    SetLive(F("TLParamsLocked"), "", std::int64_t(0));
    TraceInit();
    Evaluate();
}

void LiveModel::SetDenseBelow(std::int64_t periodUs)
{
    denseBelowUs = std::clamp<std::int64_t>(periodUs, 0, MaxDensePeriodUs);
    // As a write would: sources that no longer fit leave dense mode now.
    Evaluate();
    core.FlushLive(true);
}

// --- time ------------------------------------------------------------------

bool LiveModel::AdvanceTo(std::int64_t target, Clock::time_point deadline)
{
    target = std::clamp(target, core.now, LastInstant);
    bool reached = true;
    for (;;) {
        const std::int64_t next = NextEventTime();
        if (next > target)
            break;
        const std::int64_t slice = next / SliceUs;
        if (slice != budgetSlice) {
            budgetSlice = slice;
            budgetLeft = MaxEvaluationsPerSlice;
        }
        if (budgetLeft > 0) {
            --budgetLeft;
            core.now = next;
        } else {
            // Out of budget: the rest of this slice happens at its end.
            const std::int64_t sliceEnd = SatAdd(slice * SliceUs, SliceUs - 1);
            if (sliceEnd >= target)
                break;
            core.now = sliceEnd;
        }
        Evaluate();
        if (Clock::now() >= deadline) {
            reached = core.now == target;
            break;
        }
    }
    if (reached && (core.now != target || lastEval != target)) {
        core.now = target;
        Evaluate();
    }
    SetQuiet(F("Timestamp"), "", TimestampNs());
    for (const Timer& timer : timers) {
        const bool running = timer.phase == Timer::Phase::Delay || timer.phase == Timer::Phase::Active;
        SetQuiet(F("TimerValue"), timer.name, running ? core.now - timer.phaseStart : 0);
    }
    core.FlushLive(false);
    return reached;
}

std::int64_t LiveModel::NextEventTime()
{
    const std::int64_t now = core.now;
    std::int64_t next = Never;
    auto consider = [&](std::int64_t t) {
        // Something already due (cut off by the round limit or the budget)
        // still moves time on, by the smallest step.
        next = std::min(next, t <= now ? SatAdd(now, 1) : t);
    };
    for (Line& line : lines) {
        if (line.dense)
            continue;
        if (line.settleAt != Never)
            consider(line.settleAt);
        if (!line.forced && line.raw.kind == DenseWave::Kind::Level && !IsOutput(line))
            consider(NthMark(line.raw, RiseMark | FallMark, now, 1));
    }
    for (const Timer& timer : timers) {
        if (timer.dense)
            continue;
        if (timer.phase == Timer::Phase::Delay || timer.phase == Timer::Phase::Active)
            consider(timer.phaseEnd);
        else if (timer.phase == Timer::Phase::Wait)
            consider(DenseFiring(Text(F("TimerTriggerSource"), timer.name),
                                 Text(F("TimerTriggerActivation"), timer.name)));
    }
    if (exposureEnd != Never)
        consider(exposureEnd);
    if (acquiring && exposureEnd == Never) {
        // A free-run schedule left over from before the trigger was switched
        // on is not an event: it would make time crawl in single steps.
        if (FrameTriggerOn()) {
            if (heldFrame)
                consider(*heldFrame);
        } else if (nextFreeRunFrame != Never) {
            consider(nextFreeRunFrame);
        }
    }
    if (ptp != Ptp::Disabled || F("DeviceTemperature") >= 0)
        consider(nextSlowUpdate);

    // The moments at which a dense signal changes something: it is not
    // followed edge by edge, so what reacts to it asks for them.
    if (!dense.empty()) {
        const int value = F("CounterValue");
        for (const Counter& counter : counters) {
            const std::string source = Text(F("CounterEventSource"), counter.name);
            if (counter.state == Counter::State::Active && value >= 0) {
                const std::int64_t duration = IntValue(F("CounterDuration"), counter.name);
                if (duration > 0) {
                    const std::int64_t left = SatSub(duration, core.Slot(value, counter.name).i);
                    consider(DenseFiring(source, EdgeActivation(Text(F("CounterEventActivation"), counter.name)),
                                         std::max<std::int64_t>(1, left)));
                }
            }
            // Resetting a counter that is as a reset leaves it changes nothing,
            // unless it counts a dense signal: that adds up between instants.
            const std::string trigger = Text(F("CounterTriggerSource"), counter.name);
            const Counter::State afterReset = (source.empty() || source == "Off") ? Counter::State::Idle
                                              : (trigger.empty() || trigger == "Off")
                                                  ? Counter::State::Active
                                                  : Counter::State::TriggerWait;
            const bool asReset = counter.state == afterReset
                                 && !(counter.state == Counter::State::Active && Dense(source))
                                 && (value < 0 || core.Slot(value, counter.name).i == 0)
                                 && (F("CounterValueAtReset") < 0
                                     || core.Slot(F("CounterValueAtReset"), counter.name).i == 0);
            if (!asReset)
                consider(DenseFiring(Text(F("CounterResetSource"), counter.name),
                                     EdgeActivation(Text(F("CounterResetActivation"), counter.name))));
            if (counter.state == Counter::State::TriggerWait)
                consider(DenseFiring(trigger, Text(F("CounterTriggerActivation"), counter.name)));
        }
        if (F("TriggerMode") >= 0) {
            for (const auto& entry : EntriesOf(F("TriggerSelector"))) {
                const bool waited = entry == "FrameStart"         ? FrameTriggerReady()
                                    : entry == "AcquisitionStart" ? waitingForAcquisitionTrigger
                                    : entry == "AcquisitionEnd"   ? acquiring
                                                                  : false;
                if (waited && Text(F("TriggerMode"), entry) == "On")
                    consider(DenseFiring(Text(F("TriggerSource"), entry), Text(F("TriggerActivation"), entry)));
            }
        }
    }
    return next;
}

void LiveModel::Evaluate()
{
    ++evaluations;
    // A new instant: time moved on since the last one. Otherwise the host
    // changed something at the instant already evaluated.
    const bool fresh = core.now > lastEval;
    if (!fresh)
        LeaveDense();
    EnterDense();
    RefreshDense();
    BuildDenseSignals();
    DenseNow(fresh);
    TraceWaves(lastEval);
    if (fresh)
        CatchUp();

    for (int round = 0; round < MaxRoundsPerInstant; ++round) {
        const bool firstRound = fresh && round == 0;
        bool changed = AdvanceDue();
        std::map<std::string, bool> levels = ComputeLevels(firstRound);
        Edges edges;
        edges.levels = &levels;
        edges.events.swap(events);
        for (const auto& level : levels) {
            if (firstRound) {
                // A dense signal may have changed any number of times since
                // the last instant; only its edges at this one count here.
                if (const DenseSignal* d = Dense(level.first)) {
                    if (d->edgesNow & RiseMark)
                        edges.rising.insert(level.first);
                    if (d->edgesNow & FallMark)
                        edges.falling.insert(level.first);
                    continue;
                }
            }
            const auto prev = prevLevels.find(level.first);
            const bool was = prev != prevLevels.end() && prev->second;
            if (level.second && !was)
                edges.rising.insert(level.first);
            else if (!level.second && was)
                edges.falling.insert(level.first);
        }
        TraceLevels(levels, edges);
        prevLevels = levels;
        changed |= ReactTimers(edges);
        changed |= ReactCounters(edges);
        changed |= ReactTriggers(edges);
        softwareTrigger.clear();
        if (!changed && !edges.Any() && events.empty())
            break;
    }
    lastEval = core.now;
    // Set-ups do not change between instants, so this finds something only
    // if one did; leaving after the instant keeps its edges counted once.
    if (fresh && LeaveDense()) {
        BuildDenseSignals();
        DenseNow(false);
    }
    TraceWaves(core.now);
    Publish();
    core.Signals().SetNow(core.now, timestampBaseNs);
}

// --- dense signals -----------------------------------------------------------

bool LiveModel::LineDenseWave(const Line& line, DenseWave& wave)
{
    if (line.forced || line.raw.kind != DenseWave::Kind::Level || line.raw.period >= denseBelowUs
        || IsOutput(line))
        return false;
    const int debounceMode = F("LineDebounceMode");
    const bool debounced = debounceMode >= 0 && Text(debounceMode, line.name) != "Off";
    const std::int64_t window =
        debounced ? Micros(std::ceil(Number(F("LineDebounceDuration"), line.name))) : 0;
    wave = line.raw;
    if (window <= 0)
        return true;
    const std::int64_t high = line.raw.fall;
    const std::int64_t low = line.raw.period - high;
    if (high > window && low > window) {
        // Both levels outlast the window: the same wave, late by the window.
        wave.rise = window;
        wave.fall = high + window;
        return true;
    }
    // The shorter level never gets through; if neither does, the line stays put.
    wave.kind = DenseWave::Kind::Constant;
    wave.level = high > window ? true : low > window ? false : line.stable;
    return true;
}

bool LiveModel::TimerDenseFits(const Timer& timer, std::int64_t& delay, std::int64_t& duration)
{
    if (!SelfRetriggering(timer))
        return false;
    delay = Micros(Number(F("TimerDelay"), timer.name));
    duration = Micros(Number(F("TimerDuration"), timer.name));
    return delay + duration < denseBelowUs; // each at most MaxDurationUs: no overflow
}

bool LiveModel::LeaveDense()
{
    bool left = false;
    for (Line& line : lines) {
        DenseWave wave;
        if (line.dense && !(LineDenseWave(line, wave) && wave == line.stableWave)) {
            line.dense = false; // its state at this instant is already set
            left = true;
        }
    }
    for (Timer& timer : timers) {
        std::int64_t delay = 0, duration = 0;
        if (timer.dense
            && !(TimerDenseFits(timer, delay, duration) && delay == timer.delay && duration == timer.duration)) {
            timer.dense = false;
            left = true;
        }
    }
    return left;
}

void LiveModel::EnterDense()
{
    // Judged on the state left by the last instant: from there on, the wave
    // must give what following every edge would.
    const std::int64_t at = lastEval;
    for (Line& line : lines) {
        DenseWave wave;
        if (line.dense || !LineDenseWave(line, wave))
            continue;
        if (line.candidate != LevelAt(line.raw, at) || line.stable != LevelAt(wave, at))
            continue;
        // A pending level must be the one the wave settles next.
        if (line.candidate != line.stable && line.candidateSince != LastRawEdge(line.raw, at))
            continue;
        line.dense = true;
        line.stableWave = wave;
    }
    for (Timer& timer : timers) {
        std::int64_t delay = 0, duration = 0;
        if (timer.dense || !TimerDenseFits(timer, delay, duration) || timer.phaseEnd <= at)
            continue;
        // The current cycle began at `start`, and runs as the wave would.
        std::int64_t start;
        if (timer.phase == Timer::Phase::Delay && timer.phaseEnd == SatAdd(timer.phaseStart, delay))
            start = timer.phaseStart;
        else if (timer.phase == Timer::Phase::Active && timer.phaseEnd == SatAdd(timer.phaseStart, duration))
            start = timer.phaseStart - delay;
        else
            continue;
        timer.dense = true;
        timer.delay = delay;
        timer.duration = duration;
        timer.origin = PosMod(start, delay + duration);
    }
}

void LiveModel::RefreshDense()
{
    const std::int64_t now = core.now;
    for (Line& line : lines) {
        if (!line.dense)
            continue;
        line.stable = LevelAt(line.stableWave, now);
        line.candidate = LevelAt(line.raw, now);
        line.candidateSince = LastRawEdge(line.raw, now);
        line.settleAt = Never;
    }
    for (Timer& timer : timers) {
        if (!timer.dense)
            continue;
        const std::int64_t period = timer.delay + timer.duration;
        const std::int64_t start = now - PosMod(now - timer.origin, period);
        timer.completed = false;
        if (now - start < timer.delay) {
            timer.phase = Timer::Phase::Delay;
            timer.phaseStart = start;
            timer.phaseEnd = SatAdd(start, timer.delay);
        } else {
            timer.phase = Timer::Phase::Active;
            timer.phaseStart = SatAdd(start, timer.delay);
            timer.phaseEnd = SatAdd(start, period);
        }
    }
}

void LiveModel::BuildDenseSignals()
{
    dense.clear();
    const int inverter = F("LineInverter");
    auto inverted = [&](const Line& line) { return inverter >= 0 && core.Slot(inverter, line.name).b; };
    for (const Line& line : lines) {
        if (line.dense)
            dense[line.name].wave = inverted(line) ? Inverted(line.stableWave) : line.stableWave;
    }
    for (const Timer& timer : timers) {
        if (!timer.dense)
            continue;
        DenseWave wave;
        wave.period = timer.delay + timer.duration;
        wave.origin = timer.origin;
        // The end event closes each cycle; the active level (none without a
        // duration) rises after the delay and falls with the end.
        wave.kind = DenseWave::Kind::Event;
        wave.rise = 0;
        dense[timer.end].wave = wave;
        if (timer.duration > 0) {
            wave.kind = DenseWave::Kind::Level;
            wave.rise = timer.delay;
            wave.fall = 0;
        } else {
            wave.kind = DenseWave::Kind::Constant;
            wave.level = false;
        }
        dense[timer.active].wave = wave;
    }
    // An output follows its source's level as it is computed: in line order.
    const int source = F("LineSource");
    for (const Line& line : lines) {
        if (!IsOutput(line))
            continue;
        const auto from = dense.find(Text(source, line.name));
        if (from == dense.end() || from->second.wave.kind == DenseWave::Kind::Event)
            continue;
        const DenseWave wave = from->second.wave;
        dense[line.name].wave = inverted(line) ? Inverted(wave) : wave;
    }
}

void LiveModel::DenseNow(bool fresh)
{
    const std::int64_t now = core.now;
    for (auto& [name, signal] : dense) {
        const DenseWave& wave = signal.wave;
        signal.level = signal.firstLevel = LevelAt(wave, now);
        signal.edgesNow = 0;
        signal.eventNow = false;
        if (!fresh)
            continue;
        const unsigned marks = MarksAt(wave, now);
        if (wave.kind == DenseWave::Kind::Event) {
            signal.eventNow = (marks & RiseMark) != 0;
            if (signal.eventNow)
                events.insert(name);
        } else if (wave.kind == DenseWave::Kind::Level && wave.rise == wave.fall && marks) {
            // A pulse of no width: its second edge comes in the next round.
            signal.edgesNow = wave.spike ? RiseMark : FallMark;
            signal.firstLevel = wave.spike;
        } else {
            signal.edgesNow = marks;
        }
    }
}

void LiveModel::CatchUp()
{
    // Edges strictly between the last instant and this one; those at this
    // instant go through the rounds with everything else that happens now.
    const std::int64_t from = lastEval, to = core.now - 1;
    for (Counter& counter : counters) {
        if (counter.state != Counter::State::Active || F("CounterValue") < 0)
            continue;
        const DenseSignal* source = Dense(Text(F("CounterEventSource"), counter.name));
        if (!source)
            continue;
        const std::string activation = EdgeActivation(Text(F("CounterEventActivation"), counter.name));
        CountEvents(counter, CountMarks(source->wave, MarksFor(source->wave, activation), from, to));
    }
    // Frame triggers a dense signal made while the camera was busy are
    // missed; a level activation makes none (see ReactTriggers).
    if (acquiring && FrameTriggerOn() && !FrameTriggerReady()) {
        const std::string activation = Text(F("TriggerActivation"), "FrameStart");
        const DenseSignal* source = Dense(Text(F("TriggerSource"), "FrameStart"));
        if (source && activation != "LevelHigh" && activation != "LevelLow") {
            const std::int64_t n = CountMarks(source->wave, MarksFor(source->wave, activation), from, to);
            if (n > 0)
                core.TriggersMissed(static_cast<std::uint64_t>(n));
        }
    }
    // A line that toggled in between is news even if it reads the same now.
    bool toggled = false;
    for (const Line& line : lines) {
        const DenseSignal* d = Dense(line.name);
        toggled = toggled || (d && CountMarks(d->wave, RiseMark | FallMark, from, core.now) > 0);
    }
    if (toggled) {
        for (const char* status : {"LineStatus", "LineStatusAll"}) {
            if (F(status) >= 0)
                core.NotifyLive(F(status));
        }
    }
}

const LiveModel::DenseSignal* LiveModel::Dense(const std::string& name) const
{
    if (dense.empty())
        return nullptr;
    const auto it = dense.find(name);
    return it == dense.end() ? nullptr : &it->second;
}

std::int64_t LiveModel::DenseFiring(const std::string& source, const std::string& activation, std::int64_t n) const
{
    const DenseSignal* d = Dense(source);
    return d ? NthMark(d->wave, MarksFor(d->wave, activation), core.now, n) : Never;
}

// Transitions that are due by time.
bool LiveModel::AdvanceDue()
{
    const std::int64_t now = core.now;
    bool changed = false;
    for (Timer& timer : timers) {
        if (timer.dense)
            continue; // its wave has it at this instant already
        if (timer.phase == Timer::Phase::Delay && timer.phaseEnd <= now) {
            timer.phase = Timer::Phase::Active;
            timer.phaseStart = timer.phaseEnd;
            timer.phaseEnd = SatAdd(timer.phaseStart, Micros(Number(F("TimerDuration"), timer.name)));
            changed = true;
        }
        if (timer.phase == Timer::Phase::Active && timer.phaseEnd <= now) {
            timer.phase = Timer::Phase::Wait;
            timer.completed = true;
            events.insert(timer.end);
            changed = true;
        }
    }
    if (exposureEnd != Never && exposureEnd <= now) {
        exposureEnd = Never;
        events.insert("ExposureEnd");
        events.insert("FrameEnd");
        ++frames;
        ++framesThisRun;
        core.FrameDone(exposureStartNs, FrameSide("Width", DefaultFrameWidth), FrameSide("Height", DefaultFrameHeight));
        const std::string mode = Text(F("AcquisitionMode"), "");
        const auto count = static_cast<std::uint64_t>(std::max<std::int64_t>(1, IntValue(F("AcquisitionFrameCount"), "")));
        if ((mode == "SingleFrame" && framesThisRun >= 1) || (mode == "MultiFrame" && framesThisRun >= count))
            EndRun();
        changed = true;
    }
    if (acquiring && exposureEnd == Never) {
        if (FrameTriggerOn()) {
            if (heldFrame && *heldFrame <= now) {
                heldFrame.reset();
                BeginExposure();
                changed = true;
            }
        } else if (nextFreeRunFrame <= now) {
            BeginExposure();
            double rate = F("AcquisitionFrameRate") >= 0 ? Number(F("AcquisitionFrameRate"), "")
                                                         : core.Desc().simulation.frameRateHz;
            if (!(rate > 0.0))
                rate = core.Desc().simulation.frameRateHz;
            nextFreeRunFrame = SatAdd(now, std::max<std::int64_t>(1, Micros(Second / rate)));
            changed = true;
        }
    }
    if (now >= nextSlowUpdate) {
        nextSlowUpdate = SatAdd(now, Second);
        PtpStep();
        if (F("DeviceTemperature") >= 0) {
            // Warms up while acquiring, with a small deterministic wobble.
            const double target = 41.0 + (acquiring ? 4.5 : 0.0);
            std::uniform_real_distribution<double> wobble(-0.05, 0.05);
            temperature += (target - temperature) * 0.05 + wobble(random);
            SetLive(F("DeviceTemperature"), "", std::round(temperature * 10.0) / 10.0);
        }
    }
    return changed;
}

// In the first round of a new instant, dense signals show their level after
// the first edge of a pulse of no width; its second edge follows a round later.
std::map<std::string, bool> LiveModel::ComputeLevels(bool firstRound)
{
    auto denseLevel = [&](const std::string& name, bool otherwise) {
        const DenseSignal* d = Dense(name);
        return d ? (firstRound ? d->firstLevel : d->level) : otherwise;
    };
    std::map<std::string, bool> levels;
    for (const Timer& timer : timers)
        levels[timer.active] = denseLevel(timer.active, timer.phase == Timer::Phase::Active);
    for (const Counter& counter : counters)
        levels[counter.active] = counter.state == Counter::State::Active;
    const int userOutput = F("UserOutputValue");
    for (const auto& name : EntriesOf(F("UserOutputSelector")))
        levels[name] = userOutput >= 0 && core.Slot(userOutput, name).b;
    const bool exposing = exposureEnd != Never;
    const bool frameTrigger = FrameTriggerOn();
    levels["ExposureActive"] = exposing;
    levels["AcquisitionActive"] = acquiring;
    levels["FrameTriggerWait"] = acquiring && frameTrigger && !exposing && !heldFrame;
    levels["AcquisitionTriggerWait"] = waitingForAcquisitionTrigger;

    const int inverter = F("LineInverter");
    const int debounceMode = F("LineDebounceMode");
    const int debounceTime = F("LineDebounceDuration");
    for (Line& line : lines) {
        if (IsOutput(line))
            continue;
        if (line.dense) {
            levels[line.name] = denseLevel(line.name, false);
            continue;
        }
        const bool raw = line.forced ? *line.forced : LevelAt(line.raw, core.now);
        const bool debounced = debounceMode >= 0 && Text(debounceMode, line.name) != "Off";
        const std::int64_t window = Micros(std::ceil(Number(debounceTime, line.name)));
        line.settleAt = Never;
        if (!debounced || window <= 0) {
            line.stable = line.candidate = raw;
        } else {
            // A level counts once it has held for the debounce window.
            if (raw != line.candidate) {
                line.candidate = raw;
                line.candidateSince = core.now;
            }
            if (line.candidate != line.stable && core.now - line.candidateSince >= window)
                line.stable = line.candidate;
            if (line.candidate != line.stable)
                line.settleAt = SatAdd(line.candidateSince, window);
        }
        const bool inverted = inverter >= 0 && core.Slot(inverter, line.name).b;
        levels[line.name] = line.stable != inverted;
    }
    const int source = F("LineSource");
    for (Line& line : lines) {
        if (!IsOutput(line))
            continue;
        const std::string from = Text(source, line.name);
        const auto it = levels.find(from);
        const bool driven = it != levels.end() && it->second;
        const bool inverted = inverter >= 0 && core.Slot(inverter, line.name).b;
        line.stable = line.candidate = driven != inverted;
        line.settleAt = Never;
        levels[line.name] = line.stable;
    }
    return levels;
}

bool LiveModel::Fires(const std::string& source, const std::string& activation,
                      const Edges& edges) const
{
    if (source.empty() || source == "Off")
        return false;
    const bool event = edges.events.count(source) > 0;
    const bool rising = edges.rising.count(source) > 0;
    const bool falling = edges.falling.count(source) > 0;
    const auto level = edges.levels->find(source);
    const bool high = level != edges.levels->end() && level->second;
    if (activation == "FallingEdge")
        return falling;
    if (activation == "AnyEdge")
        return rising || falling || event;
    if (activation == "LevelHigh")
        return high || event;
    if (activation == "LevelLow")
        return level != edges.levels->end() && !high;
    return rising || event; // RisingEdge, or no activation feature at all
}

// --- timers ----------------------------------------------------------------

bool LiveModel::SelfRetriggering(const Timer& timer)
{
    const std::string activation = Text(F("TimerTriggerActivation"), timer.name);
    if (Text(F("TimerTriggerSource"), timer.name) != timer.active
        || (activation != "FallingEdge" && activation != "AnyEdge"))
        return false;
    // In whole µs, as the timer runs: a cycle of no length would retrigger
    // forever within one instant.
    return Micros(Number(F("TimerDelay"), timer.name)) + Micros(Number(F("TimerDuration"), timer.name)) > 0;
}

void LiveModel::StartTimer(Timer& timer)
{
    const std::int64_t delay = Micros(Number(F("TimerDelay"), timer.name));
    timer.completed = false;
    timer.phaseStart = core.now;
    if (delay > 0) {
        timer.phase = Timer::Phase::Delay;
        timer.phaseEnd = SatAdd(core.now, delay);
    } else {
        timer.phase = Timer::Phase::Active;
        timer.phaseEnd = SatAdd(core.now, Micros(Number(F("TimerDuration"), timer.name)));
    }
}

bool LiveModel::ReactTimers(const Edges& edges)
{
    bool changed = false;
    for (Timer& timer : timers) {
        if (timer.dense)
            continue; // runs by its wave
        const std::string source = Text(F("TimerTriggerSource"), timer.name);
        if (source.empty() || source == "Off") {
            if (timer.phase != Timer::Phase::Idle) {
                timer.phase = Timer::Phase::Idle;
                timer.completed = false;
                changed = true;
            }
            continue;
        }
        if (timer.phase == Timer::Phase::Idle) {
            timer.phase = Timer::Phase::Wait;
            changed = true;
        }
        if (timer.phase != Timer::Phase::Wait)
            continue;
        // A timer set to retrigger on its own falling edge runs by itself,
        // as a PWM: it starts as soon as it is configured so.
        if (SelfRetriggering(timer) || Fires(source, Text(F("TimerTriggerActivation"), timer.name), edges)) {
            StartTimer(timer);
            changed = true;
        }
    }
    return changed;
}

// --- counters ----------------------------------------------------------------

void LiveModel::ResetCounter(Counter& counter)
{
    const int value = F("CounterValue");
    if (value >= 0) {
        SetLive(F("CounterValueAtReset"), counter.name, core.Slot(value, counter.name).i);
        SetLive(value, counter.name, std::int64_t(0));
    }
    const std::string source = Text(F("CounterEventSource"), counter.name);
    const std::string trigger = Text(F("CounterTriggerSource"), counter.name);
    if (source.empty() || source == "Off")
        counter.state = Counter::State::Idle;
    else
        counter.state = (trigger.empty() || trigger == "Off") ? Counter::State::Active
                                                             : Counter::State::TriggerWait;
}

// `n` events for an active counter; it stops at its duration.
void LiveModel::CountEvents(Counter& counter, std::int64_t n)
{
    const int value = F("CounterValue");
    if (n <= 0 || value < 0)
        return;
    const std::int64_t before = core.Slot(value, counter.name).i;
    const std::int64_t duration = IntValue(F("CounterDuration"), counter.name);
    if (duration > 0) {
        // The event that reaches the duration ends the count, even one that
        // starts above it (the host may set the value).
        const std::int64_t left = std::max<std::int64_t>(1, SatSub(duration, before));
        if (n >= left) {
            SetLive(value, counter.name, SatAdd(before, left));
            counter.state = Counter::State::Completed;
            events.insert(counter.end);
            TraceEvent(traceCounterEnds[&counter - counters.data()]);
            return;
        }
    }
    SetLive(value, counter.name, SatAdd(before, n));
}

bool LiveModel::ReactCounters(const Edges& edges)
{
    bool changed = false;
    for (Counter& counter : counters) {
        const std::string source = Text(F("CounterEventSource"), counter.name);
        const std::string trigger = Text(F("CounterTriggerSource"), counter.name);
        const Counter::State before = counter.state;
        if (source.empty() || source == "Off") {
            counter.state = Counter::State::Idle;
        } else if (counter.state == Counter::State::Idle) {
            counter.state = (trigger.empty() || trigger == "Off") ? Counter::State::Active
                                                                 : Counter::State::TriggerWait;
        }
        const std::string reset = Text(F("CounterResetSource"), counter.name);
        std::string resetActivation = Text(F("CounterResetActivation"), counter.name);
        if (Dense(reset))
            resetActivation = EdgeActivation(resetActivation);
        if (Fires(reset, resetActivation, edges))
            ResetCounter(counter);
        if (counter.state == Counter::State::TriggerWait
            && Fires(trigger, Text(F("CounterTriggerActivation"), counter.name), edges))
            counter.state = Counter::State::Active;
        std::string activation = Text(F("CounterEventActivation"), counter.name);
        if (Dense(source))
            activation = EdgeActivation(activation);
        if (counter.state == Counter::State::Active && Fires(source, activation, edges))
            CountEvents(counter, 1);
        changed |= counter.state != before;
    }
    return changed;
}

// --- acquisition and triggers --------------------------------------------

void LiveModel::BeginRun()
{
    acquiring = true;
    waitingForAcquisitionTrigger = false;
    framesThisRun = 0;
    heldFrame.reset();
    nextFreeRunFrame = core.now;
    events.insert("AcquisitionStart");
}

void LiveModel::EndRun()
{
    acquiring = false;
    waitingForAcquisitionTrigger = false;
    heldFrame.reset();
    nextFreeRunFrame = Never;
    events.insert("AcquisitionEnd");
}

void LiveModel::BeginExposure()
{
    const std::int64_t exposure = F("ExposureTime") >= 0 ? Micros(Number(F("ExposureTime"), "")) : 1000;
    exposureEnd = SatAdd(core.now, std::max<std::int64_t>(1, exposure));
    exposureStartNs = TimestampNs();
    events.insert("FrameStart");
    events.insert("ExposureStart");
}

bool LiveModel::StartAcquisition()
{
    if (acquiring || waitingForAcquisitionTrigger)
        return false;
    SetLive(F("TLParamsLocked"), "", std::int64_t(1));
    if (F("TriggerMode") >= 0 && Text(F("TriggerMode"), "AcquisitionStart") == "On")
        waitingForAcquisitionTrigger = true;
    else
        BeginRun();
    Evaluate();
    core.FlushLive(true);
    return true;
}

bool LiveModel::StopAcquisition()
{
    const bool was = acquiring || waitingForAcquisitionTrigger;
    if (acquiring)
        EndRun();
    waitingForAcquisitionTrigger = false;
    SetLive(F("TLParamsLocked"), "", std::int64_t(0));
    Evaluate();
    core.FlushLive(true);
    return was;
}

bool LiveModel::ReactTriggers(const Edges& edges)
{
    const int mode = F("TriggerMode");
    if (mode < 0)
        return false;
    bool changed = false;
    for (const auto& entry : EntriesOf(F("TriggerSelector"))) {
        if (Text(mode, entry) != "On")
            continue;
        const std::string source = Text(F("TriggerSource"), entry);
        const std::string activation = Text(F("TriggerActivation"), entry);
        const bool fired = source == "Software" ? softwareTrigger == entry : Fires(source, activation, edges);
        if (!fired)
            continue;
        if (entry == "FrameStart" && acquiring) {
            // A camera exposing or holding a frame back takes no trigger: it
            // is missed, not queued. A level that stays is no new trigger.
            if (FrameTriggerReady()) {
                events.insert("FrameTrigger");
                TraceEvent(traceFrameTrigger);
                heldFrame = SatAdd(core.now, Micros(Number(F("TriggerDelay"), entry)));
                changed = true;
            } else if (source == "Software" || edges.events.count(source) > 0
                       || (activation != "LevelHigh" && activation != "LevelLow")) {
                MissTrigger(source);
            }
        } else if (entry == "AcquisitionStart" && waitingForAcquisitionTrigger) {
            BeginRun();
            changed = true;
        } else if (entry == "AcquisitionEnd" && acquiring) {
            EndRun();
            changed = true;
        }
    }
    return changed;
}

void LiveModel::MissTrigger(const std::string& source)
{
    core.TriggersMissed(1);
    // A dense source may miss thousands a frame; they are counted, and the
    // trace shows the source as a wave instead.
    if (!Dense(source))
        TraceEvent(traceMissed);
}

std::uint32_t LiveModel::FrameSide(const char* feature, std::uint32_t otherwise)
{
    const int f = F(feature);
    if (f < 0)
        return otherwise;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(IntValue(f, core.CurrentKey(f)), 1, MaxFrameSide));
}

// --- signal trace ----------------------------------------------------------

void LiveModel::TraceInit()
{
    traceAllLevels = true;
    // Once: a user set loaded later runs Init again on the same signals, and
    // the trace goes on from the levels it recorded.
    if (!tracedLevels.empty())
        return;
    std::vector<SignalInfo> list;
    auto add = [&](const std::string& name, KelSignalKindType kind) {
        list.push_back(SignalInfo{name, kind});
        if (kind == KelSignalLevel) {
            tracedByName[name] = tracedLevels.size();
            TracedLevel traced;
            traced.name = name;
            traced.index = static_cast<std::uint32_t>(list.size() - 1);
            tracedLevels.push_back(traced);
        }
        return static_cast<std::uint32_t>(list.size() - 1);
    };
    for (const Line& line : lines)
        add(line.name, KelSignalLevel);
    traceFrameTrigger = add("FrameTrigger", KelSignalEvent);
    traceMissed = add("FrameTriggerMissed", KelSignalEvent);
    add("ExposureActive", KelSignalLevel);
    add("FrameTriggerWait", KelSignalLevel);
    for (const Timer& timer : timers)
        add(timer.active, KelSignalLevel);
    for (const Counter& counter : counters)
        traceCounterEnds.push_back(add(counter.end, KelSignalEvent));
    core.Signals().SetSignals(std::move(list));
}

void LiveModel::TraceLevels(const std::map<std::string, bool>& levels, const Edges& edges)
{
    // Every round: a pulse of no width (a timer without delay restarting)
    // falls and rises within one instant, and shows as two edges at it.
    auto trace = [&](TracedLevel& t) {
        const auto it = levels.find(t.name);
        const bool level = it != levels.end() && it->second;
        if (!t.inWave && level != t.level) {
            t.level = level;
            core.Signals().AddEdge(core.now, t.index, level);
        }
    };
    if (traceAllLevels) {
        for (TracedLevel& t : tracedLevels)
            trace(t);
        traceAllLevels = false;
        return;
    }
    // What the trace holds follows prevLevels, so only an edge changes it.
    for (const std::set<std::string>* changed : {&edges.rising, &edges.falling}) {
        for (const std::string& name : *changed) {
            const auto t = tracedByName.find(name);
            if (t != tracedByName.end())
                trace(tracedLevels[t->second]);
        }
    }
}

void LiveModel::TraceWaves(std::int64_t since)
{
    const std::int64_t now = core.now;
    for (TracedLevel& t : tracedLevels) {
        const DenseSignal* d = Dense(t.name);
        const bool dense = d && d->wave.kind != DenseWave::Kind::Event;
        std::int64_t from = since;
        if (t.inWave && (!dense || d->wave != t.wave)) {
            // The wave holds up to now; its edges at now follow as edges.
            core.Signals().CloseWave(t.index, now);
            const unsigned marks = MarksAt(t.wave, now);
            const DenseWave& w = t.wave;
            if (w.kind == DenseWave::Kind::Level && w.rise == w.fall && marks) {
                core.Signals().AddEdge(now, t.index, w.spike);
                core.Signals().AddEdge(now, t.index, !w.spike);
            } else if (marks) {
                core.Signals().AddEdge(now, t.index, (marks & RiseMark) != 0);
            }
            t.level = LevelAt(w, now);
            t.inWave = false;
            from = now; // a wave that follows starts here
        }
        if (!t.inWave && dense) {
            const DenseWave& w = d->wave;
            std::int64_t period = 1, origin = 0, high = w.level ? 1 : 0; // Constant
            if (w.kind == DenseWave::Kind::Level) {
                // High from the rise on, for the part of a period until the
                // fall (all of it, or none, for a pulse of no width).
                period = w.period;
                origin = PosMod(w.origin + w.rise, w.period);
                high = w.rise == w.fall ? (w.spike ? 0 : w.period) : PosMod(w.fall - w.rise, w.period);
            }
            core.Signals().OpenWave(t.index, from, period, origin, high);
            t.inWave = true;
            t.wave = w;
        }
    }
}

void LiveModel::TraceEvent(std::uint32_t index)
{
    core.Signals().AddEdge(core.now, index, true);
}

// --- PTP -------------------------------------------------------------------

void LiveModel::PtpEnter(Ptp state)
{
    ptp = state;
    ptpSince = core.now;
    static const char* const names[] = {"Disabled", "Initializing", "Listening", "Master", "Slave"};
    SetLiveEntry(F("PtpStatus"), "", names[static_cast<int>(state)]);
    const std::int64_t own = F("PtpClockID") >= 0 ? core.Slot(F("PtpClockID"), "").i : 0;
    switch (state) {
    case Ptp::Slave: {
        // Far off at first; the servo pulls it in over the next seconds.
        std::uniform_int_distribution<int> start(30000, 60000);
        ptpOffsetNs = start(random);
        SetLiveEntry(F("PtpServoStatus"), "", "Syncing");
        const std::int64_t master = (own ^ 0x5A5A5A) & std::numeric_limits<std::int64_t>::max();
        SetLive(F("PtpParentClockID"), "", master);
        SetLive(F("PtpGrandmasterClockID"), "", master);
        break;
    }
    case Ptp::Master:
        ptpOffsetNs = 0.0;
        SetLiveEntry(F("PtpServoStatus"), "", "Locked");
        SetLive(F("PtpParentClockID"), "", own);
        SetLive(F("PtpGrandmasterClockID"), "", own);
        break;
    default:
        ptpOffsetNs = 0.0;
        SetLiveEntry(F("PtpServoStatus"), "", "Unknown");
        break;
    }
    SetLive(F("PtpOffsetFromMaster"), "", static_cast<std::int64_t>(std::llround(ptpOffsetNs)));
}

void LiveModel::PtpStep()
{
    const std::int64_t since = core.now - ptpSince;
    switch (ptp) {
    case Ptp::Disabled:
    case Ptp::Master:
        return;
    case Ptp::Initializing:
        if (since >= Second)
            PtpEnter(Ptp::Listening);
        return;
    case Ptp::Listening:
        if (since >= 2 * Second)
            PtpEnter(Text(F("PtpOperationMode"), "") == "Master" ? Ptp::Master : Ptp::Slave);
        return;
    case Ptp::Slave: {
        std::normal_distribution<double> jitter(0.0, 12.0);
        ptpOffsetNs = ptpOffsetNs * 0.35 + jitter(random);
        SetLive(F("PtpOffsetFromMaster"), "", static_cast<std::int64_t>(std::llround(ptpOffsetNs)));
        if (since >= 3 * Second)
            SetLiveEntry(F("PtpServoStatus"), "", "Locked");
        return;
    }
    }
}

// --- publishing to features --------------------------------------------

void LiveModel::Publish()
{
    std::int64_t all = 0;
    for (const Line& line : lines) {
        const auto level = prevLevels.find(line.name);
        const bool high = level != prevLevels.end() && level->second;
        SetLiveBool(F("LineStatus"), line.name, high);
        if (high && line.bit < 63)
            all |= std::int64_t(1) << line.bit;
    }
    SetLive(F("LineStatusAll"), "", all);

    std::int64_t outputs = 0;
    int bit = 0;
    for (const auto& name : EntriesOf(F("UserOutputSelector"))) {
        if (F("UserOutputValue") >= 0 && core.Slot(F("UserOutputValue"), name).b && bit < 63)
            outputs |= std::int64_t(1) << bit;
        ++bit;
    }
    SetLive(F("UserOutputValueAll"), "", outputs);

    for (const Timer& timer : timers) {
        const char* status = "TimerIdle";
        if (timer.phase == Timer::Phase::Delay || timer.phase == Timer::Phase::Active)
            status = "TimerActive";
        else if (timer.phase == Timer::Phase::Wait)
            status = timer.completed ? "TimerCompleted" : "TimerTriggerWait";
        SetLiveEntry(F("TimerStatus"), timer.name, status);
    }
    for (const Counter& counter : counters) {
        static const char* const names[] = {"CounterIdle", "CounterTriggerWait", "CounterActive",
                                            "CounterCompleted"};
        SetLiveEntry(F("CounterStatus"), counter.name, names[static_cast<int>(counter.state)]);
    }
    for (const auto& name : EntriesOf(F("AcquisitionStatusSelector"))) {
        const auto level = prevLevels.find(name);
        SetLiveBool(F("AcquisitionStatus"), name, level != prevLevels.end() && level->second);
    }
}

// --- reactions to the host -----------------------------------------------

void LiveModel::OnWrite(int feature)
{
    if (feature == F("PtpEnable")) {
        const bool on = Number(feature, "") != 0.0;
        if (on && ptp == Ptp::Disabled)
            PtpEnter(Ptp::Initializing);
        else if (!on && ptp != Ptp::Disabled)
            PtpEnter(Ptp::Disabled);
        nextSlowUpdate = SatAdd(core.now, Second);
    }
    Evaluate();
    // Consequences of a write are news at once, not rate-limited live changes.
    core.FlushLive(true);
}

bool LiveModel::OnCommand(int feature)
{
    bool known = true;
    const std::string name = core.Def(feature).name;
    if (name == "TriggerSoftware") {
        softwareTrigger = F("TriggerSelector") >= 0 ? core.CurrentText(F("TriggerSelector")) : "FrameStart";
        // Consumed within this instant, before anything else can clear it.
        Evaluate();
    } else if (name == "AcquisitionStart") {
        StartAcquisition();
    } else if (name == "AcquisitionStop") {
        StopAcquisition();
    } else if (name == "TimestampLatch") {
        SetLive(F("TimestampLatchValue"), "", TimestampNs());
    } else if (name == "TimestampReset") {
        timestampBaseNs = SatMul(core.now, 1000);
    } else if (name == "CounterReset" && F("CounterSelector") >= 0) {
        const std::string selected = core.CurrentText(F("CounterSelector"));
        for (Counter& counter : counters) {
            if (counter.name == selected)
                ResetCounter(counter);
        }
    } else if (name == "TimerReset" && F("TimerSelector") >= 0) {
        const std::string selected = core.CurrentText(F("TimerSelector"));
        for (Timer& timer : timers) {
            if (timer.name == selected) {
                // Its state at this instant is set; from here it starts over.
                timer.dense = false;
                timer.phase = Timer::Phase::Wait;
                timer.completed = false;
            }
        }
    } else if (name == "SoftwareSignalPulse" && F("SoftwareSignalSelector") >= 0) {
        events.insert(core.CurrentText(F("SoftwareSignalSelector")));
    } else if (name == "PtpDataSetLatch") {
        for (const char* latched : {"PtpStatus", "PtpServoStatus", "PtpOffsetFromMaster",
                                    "PtpParentClockID", "PtpGrandmasterClockID"}) {
            if (F(latched) >= 0)
                core.NotifyNow(F(latched));
        }
    } else if (name == "UserSetLoad") {
        core.ResetValues();
    } else {
        known = false;
    }
    Evaluate();
    core.FlushLive(true);
    return known;
}

bool LiveModel::ForceLine(const std::string& name, std::optional<bool> level)
{
    for (Line& line : lines) {
        if (line.name == name) {
            line.forced = level;
            Evaluate();
            core.FlushLive(true);
            return true;
        }
    }
    return false;
}

bool LiveModel::Action(std::uint32_t deviceKey, std::uint32_t groupKey, std::uint32_t groupMask)
{
    const int device = F("ActionDeviceKey");
    if (device < 0 || static_cast<std::uint32_t>(IntValue(device, "")) != deviceKey)
        return false;
    bool accepted = false;
    for (const auto& action : EntriesOf(F("ActionSelector"))) {
        // Keys and masks are 32 bits on the wire; wider values keep their low bits.
        const auto key = static_cast<std::uint32_t>(IntValue(F("ActionGroupKey"), action));
        const auto mask = static_cast<std::uint32_t>(IntValue(F("ActionGroupMask"), action));
        if (key == groupKey && (mask & groupMask) != 0) {
            events.insert("Action" + action);
            accepted = true;
        }
    }
    Evaluate();
    core.FlushLive(true);
    return accepted;
}

} // namespace Sim
} // namespace KelCPP
