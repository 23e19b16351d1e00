#include "livemodel.h"

#include "simcore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace KelCPP {
namespace Sim {

namespace {

constexpr std::int64_t Never = INT64_MAX;
constexpr std::int64_t Second = 1000000;
// Changes that cause further changes at the same instant (a timer with no
// delay starting another) settle within a few rounds; a loop of zero-length
// pulses is cut off here.
constexpr int MaxRoundsPerInstant = 16;
// A timer running at hundreds of kHz over a long step would take millions of
// events; past this many the step jumps to its end.
constexpr int MaxEventsPerAdvance = 200000;

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
    "PtpGrandmasterClockID", "PtpDataSetLatch", "DeviceTemperature", "UserSetLoad",
};

// "Timer0" -> "Timer0Active"; works for any selector entry name.
std::string Suffixed(const std::string& name, const char* suffix)
{
    return name + suffix;
}

} // namespace

LiveModel::LiveModel(SimCore& c)
    : core(c)
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
    core.NotifyLive(feature);
}

void LiveModel::SetLive(int feature, const std::string& key, double value)
{
    if (feature < 0)
        return;
    const FeatureDef& def = core.Def(feature);
    if (def.type == KelFeatureDataInt) {
        SetLive(feature, key, static_cast<std::int64_t>(std::llround(value)));
        return;
    }
    if (def.type != KelFeatureDataFloat)
        return;
    value = std::clamp(value, def.fmin, def.fmax);
    Value& slot = core.Slot(feature, key);
    if (slot.f == value)
        return;
    slot.f = value;
    core.NotifyLive(feature);
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
    core.NotifyLive(feature);
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
    core.NotifyLive(feature);
}

// Values that change continuously (clocks) are polled by hosts, not notified.
void LiveModel::SetQuiet(int feature, const std::string& key, std::int64_t value)
{
    if (feature < 0)
        return;
    Value& slot = core.Slot(feature, key);
    if (core.Def(feature).type == KelFeatureDataFloat)
        slot.f = static_cast<double>(value);
    else if (core.Def(feature).type == KelFeatureDataInt)
        slot.i = value;
}

std::vector<std::string> LiveModel::EntriesOf(int selector) const
{
    std::vector<std::string> names;
    if (selector < 0)
        return names;
    const FeatureDef& def = core.Def(selector);
    if (def.type == KelFeatureDataEnum) {
        for (const auto& e : def.entries)
            names.push_back(e.name);
    } else if (def.type == KelFeatureDataInt && def.imax - def.imin < 64) {
        for (std::int64_t v = def.imin; v <= def.imax; v += def.iinc)
            names.push_back(std::to_string(v));
    }
    return names;
}

std::int64_t LiveModel::TimestampNs() const
{
    return core.now * 1000 - timestampBaseNs;
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

    lines.clear();
    int bit = 0;
    for (const auto& name : EntriesOf(F("LineSelector")))
        lines.push_back(Line{name, bit++, std::nullopt, false, false, 0, Never});
    timers.clear();
    for (const auto& name : EntriesOf(F("TimerSelector")))
        timers.push_back(Timer{name, Suffixed(name, "Active"), Suffixed(name, "End")});
    counters.clear();
    for (const auto& name : EntriesOf(F("CounterSelector")))
        counters.push_back(Counter{name, Suffixed(name, "Active"), Suffixed(name, "End")});

    prevLevels.clear();
    events.clear();
    softwareTrigger.clear();
    acquiring = waitingForAcquisitionTrigger = false;
    framesThisRun = 0;
    nextFreeRunFrame = exposureEnd = Never;
    pendingFrames.clear();
    ptp = Ptp::Disabled;
    ptpOffsetNs = 0.0;
    temperature = F("DeviceTemperature") >= 0 ? Number(F("DeviceTemperature"), "") : 40.0;
    nextSlowUpdate = core.now + Second;
    if (Number(F("PtpEnable"), "") != 0.0)
        PtpEnter(Ptp::Initializing);
    SetLive(F("TLParamsLocked"), "", std::int64_t(0));
    Evaluate();
}

// --- time ------------------------------------------------------------------

void LiveModel::AdvanceTo(std::int64_t target)
{
    int processed = 0;
    for (;;) {
        const std::int64_t next = NextEventTime();
        if (next > target)
            break;
        core.now = next;
        Evaluate();
        if (++processed >= MaxEventsPerAdvance)
            break;
    }
    core.now = std::max(core.now, target);
    Evaluate();
    SetQuiet(F("Timestamp"), "", TimestampNs());
    for (const Timer& timer : timers) {
        const bool running = timer.phase == Timer::Phase::Delay || timer.phase == Timer::Phase::Active;
        SetQuiet(F("TimerValue"), timer.name, running ? core.now - timer.phaseStart : 0);
    }
    core.FlushLive(false);
}

std::int64_t LiveModel::NextEventTime()
{
    const std::int64_t now = core.now;
    std::int64_t next = Never;
    auto consider = [&](std::int64_t t) {
        // Something already due (cut off by the round limit) still moves
        // time on, by the smallest step.
        next = std::min(next, t <= now ? now + 1 : t);
    };
    const auto& signals = core.Desc().simulation.inputSignals;
    for (const Line& line : lines) {
        if (line.settleAt != Never)
            consider(line.settleAt);
        if (line.forced)
            continue;
        const auto it = signals.find(line.name);
        if (it != signals.end())
            consider(it->second.NextEdgeAfter(now));
    }
    for (const Timer& timer : timers) {
        if (timer.phase == Timer::Phase::Delay || timer.phase == Timer::Phase::Active)
            consider(timer.phaseEnd);
    }
    if (exposureEnd != Never)
        consider(exposureEnd);
    if (acquiring && exposureEnd == Never) {
        // A free-run schedule left over from before the trigger was switched
        // on is not an event: it would make time crawl in single steps.
        if (FrameTriggerOn()) {
            if (!pendingFrames.empty())
                consider(pendingFrames.front());
        } else if (nextFreeRunFrame != Never) {
            consider(nextFreeRunFrame);
        }
    }
    if (ptp != Ptp::Disabled || F("DeviceTemperature") >= 0)
        consider(nextSlowUpdate);
    return next;
}

void LiveModel::Evaluate()
{
    for (int round = 0; round < MaxRoundsPerInstant; ++round) {
        bool changed = AdvanceDue();
        std::map<std::string, bool> levels = ComputeLevels();
        Edges edges;
        edges.levels = &levels;
        edges.events.swap(events);
        for (const auto& level : levels) {
            const auto prev = prevLevels.find(level.first);
            const bool was = prev != prevLevels.end() && prev->second;
            if (level.second && !was)
                edges.rising.insert(level.first);
            else if (!level.second && was)
                edges.falling.insert(level.first);
        }
        prevLevels = levels;
        changed |= ReactTimers(edges);
        changed |= ReactCounters(edges);
        changed |= ReactTriggers(edges);
        softwareTrigger.clear();
        if (!changed && !edges.Any() && events.empty())
            break;
    }
    Publish();
}

// Transitions that are due by time.
bool LiveModel::AdvanceDue()
{
    const std::int64_t now = core.now;
    bool changed = false;
    for (Timer& timer : timers) {
        if (timer.phase == Timer::Phase::Delay && timer.phaseEnd <= now) {
            timer.phase = Timer::Phase::Active;
            timer.phaseStart = timer.phaseEnd;
            timer.phaseEnd = timer.phaseStart
                             + std::max<std::int64_t>(0, std::llround(Number(F("TimerDuration"), timer.name)));
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
        const std::string mode = Text(F("AcquisitionMode"), "");
        const auto count = static_cast<std::uint64_t>(std::max(1.0, Number(F("AcquisitionFrameCount"), "")));
        if ((mode == "SingleFrame" && framesThisRun >= 1) || (mode == "MultiFrame" && framesThisRun >= count))
            EndRun();
        changed = true;
    }
    if (acquiring && exposureEnd == Never) {
        if (FrameTriggerOn()) {
            if (!pendingFrames.empty() && pendingFrames.front() <= now) {
                pendingFrames.pop_front();
                BeginExposure();
                changed = true;
            }
        } else if (nextFreeRunFrame <= now) {
            BeginExposure();
            double rate = F("AcquisitionFrameRate") >= 0 ? Number(F("AcquisitionFrameRate"), "")
                                                         : core.Desc().simulation.frameRateHz;
            if (!(rate > 0.0))
                rate = core.Desc().simulation.frameRateHz;
            nextFreeRunFrame = now + std::max<std::int64_t>(1, std::llround(Second / rate));
            changed = true;
        }
    }
    if (now >= nextSlowUpdate) {
        nextSlowUpdate = now + Second;
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

std::map<std::string, bool> LiveModel::ComputeLevels()
{
    std::map<std::string, bool> levels;
    for (const Timer& timer : timers)
        levels[timer.active] = timer.phase == Timer::Phase::Active;
    for (const Counter& counter : counters)
        levels[counter.active] = counter.state == Counter::State::Active;
    const int userOutput = F("UserOutputValue");
    for (const auto& name : EntriesOf(F("UserOutputSelector")))
        levels[name] = userOutput >= 0 && core.Slot(userOutput, name).b;
    const bool exposing = exposureEnd != Never;
    const bool frameTrigger = FrameTriggerOn();
    levels["ExposureActive"] = exposing;
    levels["AcquisitionActive"] = acquiring;
    levels["FrameTriggerWait"] = acquiring && frameTrigger && !exposing && pendingFrames.empty();
    levels["AcquisitionTriggerWait"] = waitingForAcquisitionTrigger;

    const auto& signals = core.Desc().simulation.inputSignals;
    const int inverter = F("LineInverter");
    const int debounceMode = F("LineDebounceMode");
    const int debounceTime = F("LineDebounceDuration");
    for (Line& line : lines) {
        if (IsOutput(line))
            continue;
        bool raw = false;
        if (line.forced) {
            raw = *line.forced;
        } else {
            const auto it = signals.find(line.name);
            raw = it != signals.end() && it->second.LevelAt(core.now);
        }
        const bool debounced = debounceMode >= 0 && Text(debounceMode, line.name) != "Off";
        const auto window = static_cast<std::int64_t>(std::ceil(Number(debounceTime, line.name)));
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
                line.settleAt = line.candidateSince + window;
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
    // A zero period would retrigger forever within one instant.
    return Number(F("TimerDelay"), timer.name) + Number(F("TimerDuration"), timer.name) > 0.0;
}

void LiveModel::StartTimer(Timer& timer)
{
    const auto delay = std::max<std::int64_t>(0, std::llround(Number(F("TimerDelay"), timer.name)));
    timer.completed = false;
    timer.phaseStart = core.now;
    if (delay > 0) {
        timer.phase = Timer::Phase::Delay;
        timer.phaseEnd = core.now + delay;
    } else {
        timer.phase = Timer::Phase::Active;
        timer.phaseEnd = core.now
                         + std::max<std::int64_t>(0, std::llround(Number(F("TimerDuration"), timer.name)));
    }
}

bool LiveModel::ReactTimers(const Edges& edges)
{
    bool changed = false;
    for (Timer& timer : timers) {
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

// --- counters ----------------------------------------------------------

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

bool LiveModel::ReactCounters(const Edges& edges)
{
    bool changed = false;
    const int value = F("CounterValue");
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
        if (Fires(reset, Text(F("CounterResetActivation"), counter.name), edges))
            ResetCounter(counter);
        if (counter.state == Counter::State::TriggerWait
            && Fires(trigger, Text(F("CounterTriggerActivation"), counter.name), edges))
            counter.state = Counter::State::Active;
        if (counter.state == Counter::State::Active && value >= 0
            && Fires(source, Text(F("CounterEventActivation"), counter.name), edges)) {
            const std::int64_t count = core.Slot(value, counter.name).i + 1;
            SetLive(value, counter.name, count);
            const auto duration = static_cast<std::int64_t>(Number(F("CounterDuration"), counter.name));
            if (duration > 0 && count >= duration) {
                counter.state = Counter::State::Completed;
                events.insert(counter.end);
            }
        }
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
    pendingFrames.clear();
    nextFreeRunFrame = core.now;
    events.insert("AcquisitionStart");
}

void LiveModel::EndRun()
{
    acquiring = false;
    waitingForAcquisitionTrigger = false;
    pendingFrames.clear();
    nextFreeRunFrame = Never;
    events.insert("AcquisitionEnd");
}

void LiveModel::BeginExposure()
{
    const double exposure = F("ExposureTime") >= 0 ? Number(F("ExposureTime"), "") : 1000.0;
    exposureEnd = core.now + std::max<std::int64_t>(1, std::llround(exposure));
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
        const bool fired = source == "Software"
                               ? softwareTrigger == entry
                               : Fires(source, Text(F("TriggerActivation"), entry), edges);
        if (!fired)
            continue;
        if (entry == "FrameStart" && acquiring) {
            events.insert("FrameTrigger");
            const auto delay = std::max<std::int64_t>(0, std::llround(Number(F("TriggerDelay"), entry)));
            pendingFrames.push_back(core.now + delay);
            changed = true;
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
        nextSlowUpdate = core.now + Second;
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
        timestampBaseNs = core.now * 1000;
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
    if (device < 0 || static_cast<std::uint32_t>(core.Slot(device, "").i) != deviceKey)
        return false;
    bool accepted = false;
    for (const auto& action : EntriesOf(F("ActionSelector"))) {
        const auto key = static_cast<std::uint32_t>(Number(F("ActionGroupKey"), action));
        const auto mask = static_cast<std::uint32_t>(Number(F("ActionGroupMask"), action));
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
