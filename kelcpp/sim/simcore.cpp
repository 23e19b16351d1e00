#include "simcore.h"

#include "livemodel.h"
#include "simfeature.h"

#include "../featureobserver.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>

namespace KelCPP {
namespace Sim {

namespace {

KelErrorType FillText(const SimCore::CallContext& ctx, std::string text, char* buffer,
                      std::uint32_t& length)
{
    if (ctx.fault && ctx.fault->kind == Fault::Kind::ZeroLength) {
        length = 0;
        return KelError::Success;
    }
    if (ctx.fault && ctx.fault->kind == Fault::Kind::EmbeddedNul) {
        text.push_back('\0');
        text += ctx.fault->tail;
    }
    const auto size = static_cast<std::uint32_t>(text.size());
    if (!buffer) {
        length = size;
        return KelError::Success;
    }
    if (length < size) {
        length = size;
        return KelError::MoreData;
    }
    if (size)
        std::memcpy(buffer, text.data(), size);
    length = size;
    return KelError::Success;
}

template <typename T>
KelErrorType FillList(const SimCore::CallContext& ctx, const std::vector<T>& items, T* buffer,
                      std::uint32_t& count)
{
    if (ctx.fault && ctx.fault->kind == Fault::Kind::ZeroLength) {
        count = 0;
        return KelError::Success;
    }
    const auto size = static_cast<std::uint32_t>(items.size());
    if (!buffer) {
        count = size;
        return KelError::Success;
    }
    if (count < size) {
        count = size;
        return KelError::MoreData;
    }
    std::copy(items.begin(), items.end(), buffer);
    count = size;
    return KelError::Success;
}

bool IsNumeric(KelFeatureDataType type)
{
    return type == KelFeatureDataInt || type == KelFeatureDataFloat;
}

using Clock = std::chrono::steady_clock;
// Real time one piece of an advance may hold the mutex; a camera call waits
// at most about this long (plus one instant of the model) for an advance.
constexpr auto PieceBudget = std::chrono::milliseconds(2);
// How long a pause between pieces waits for the calls queued at the mutex to
// get it; only a caller that is slow to be scheduled takes this long.
constexpr auto HandOffLimit = std::chrono::milliseconds(10);
// After a long stall (a debugger, a suspended machine), or while the model
// cannot keep up with real time, the live thread catches up by at most this
// much instead of replaying every missed event.
constexpr std::int64_t MaxBehindUs = 1000000;

// What a pending live notification carries.
enum LiveNews : unsigned {
    NewsSelf = 1,       // the feature itself
    NewsDependents = 2, // what names it in a condition, and what it selects
};

// now + us for us >= 0, stopping at the end of time.
std::int64_t Later(std::int64_t now, std::int64_t us)
{
    return us > std::numeric_limits<std::int64_t>::max() - now ? std::numeric_limits<std::int64_t>::max()
                                                               : now + us;
}

} // namespace

SimCore::SimCore(Description desc, SimOptions opts)
    : description(std::move(desc)), options(opts), signalRecord(std::make_shared<SignalRecord>(opts.traceEdges))
{
    const std::size_t n = description.features.size();
    values.resize(n);
    lastLiveNotify.assign(n, std::numeric_limits<std::int64_t>::min());
    callCounts.resize(n);
    for (auto& counts : callCounts)
        counts.fill(0);
}

SimCore::~SimCore()
{
    Close();
}

void SimCore::Start()
{
    const std::weak_ptr<SimCore> self = shared_from_this();
    for (std::size_t i = 0; i < description.features.size(); ++i)
        features.push_back(std::make_shared<SimFeature>(self, static_cast<int>(i)));
    {
        std::lock_guard<std::mutex> lock(mutex);
        model = std::make_unique<LiveModel>(*this);
        model->Init();
        paused = !options.live;
        toPost.clear(); // nobody can observe the power-up state yet
        pendingLive.clear();
    }
    liveThread = std::thread([this] { LiveLoop(); });
}

void SimCore::Close()
{
    {
        const auto lock = LockForCall();
        if (closed)
            return;
        closed = true;
    }
    liveWake.notify_all();
    if (liveThread.joinable())
        liveThread.join();
    std::shared_ptr<SimStream> last;
    {
        const auto lock = LockForCall();
        last = stream;
    }
    if (last)
        last->Stop();
    signalRecord->Close();
}

void SimCore::LiveLoop()
{
    const auto tick = std::chrono::milliseconds(description.simulation.tickMs);
    auto last = Clock::now();
    std::int64_t behind = 0; // simulated µs still owed to real time
    std::unique_lock<std::mutex> lock(mutex);
    while (!closed) {
        // Sleep only when caught up; otherwise go on after the pause that
        // let the waiting calls in.
        if (behind == 0)
            liveWake.wait_for(lock, tick);
        if (closed)
            break;
        const auto real = Clock::now();
        const std::int64_t elapsed = std::chrono::duration_cast<std::chrono::microseconds>(real - last).count();
        last = real;
        if (paused) {
            behind = 0;
            continue;
        }
        behind = std::min(behind + std::max<std::int64_t>(0, elapsed), MaxBehindUs);
        if (behind == 0)
            continue;
        const std::int64_t start = now;
        const bool reached = model->AdvanceTo(Later(start, behind), Clock::now() + PieceBudget);
        behind = reached ? 0 : std::max<std::int64_t>(0, behind - (now - start));
        LetCallsIn(lock);
    }
}

std::unique_lock<std::mutex> SimCore::LockForCall()
{
    waitingCalls.fetch_add(1, std::memory_order_relaxed);
    std::unique_lock<std::mutex> lock(mutex);
    waitingCalls.fetch_sub(1, std::memory_order_relaxed);
    return lock;
}

void SimCore::AdvanceInPieces(std::unique_lock<std::mutex>& lock, std::int64_t us)
{
    std::int64_t left = us;
    for (;;) {
        const std::int64_t start = now;
        const bool reached = model->AdvanceTo(Later(start, left), Clock::now() + PieceBudget);
        left -= now - start;
        LetCallsIn(lock);
        if (reached || left <= 0 || closed)
            return;
    }
}

void SimCore::LetCallsIn(std::unique_lock<std::mutex>& lock)
{
    std::vector<std::pair<int, std::uint32_t>> posts;
    posts.swap(toPost);
    lock.unlock();
    Post(posts);
    // A freed mutex goes to whichever thread takes it first, often the one
    // that just freed it: hold back until the waiting calls have had it.
    const auto until = Clock::now() + HandOffLimit;
    while (waitingCalls.load(std::memory_order_relaxed) > 0 && Clock::now() < until)
        std::this_thread::yield();
    lock.lock();
}

void SimCore::WaitLatency(std::int64_t us)
{
    // Sleep through most of it, then yield until the deadline.
    constexpr std::int64_t spinUs = 400;
    const auto deadline = Clock::now() + std::chrono::microseconds(us);
    if (us > spinUs)
        std::this_thread::sleep_for(std::chrono::microseconds(us - spinUs));
    while (Clock::now() < deadline)
        std::this_thread::yield();
}

void SimCore::Post(std::vector<std::pair<int, std::uint32_t>>& queued)
{
    for (const auto& [f, changes] : queued)
        dispatcher.Post(features[f], changes);
    queued.clear();
}

// --- values, access, notifications ------------------------------------

Value& SimCore::Slot(int f, const std::string& key)
{
    const FeatureDef& def = description.features[f];
    const std::string& k = def.selector < 0 ? std::string() : key;
    auto& perKey = values[f];
    auto it = perKey.find(k);
    if (it == perKey.end()) {
        const auto init = def.initialPerEntry.find(k);
        it = perKey.emplace(k, init != def.initialPerEntry.end() ? init->second : def.initial).first;
    }
    return it->second;
}

std::string SimCore::CurrentKey(int f)
{
    const int selector = description.features[f].selector;
    return selector < 0 ? std::string() : CurrentText(selector);
}

Value& SimCore::Current(int f)
{
    return Slot(f, CurrentKey(f));
}

std::string SimCore::CurrentText(int f)
{
    return ValueText(description.features[f], Current(f));
}

bool SimCore::Holds(const Condition& condition)
{
    for (const auto& clause : condition.clauses) {
        const std::string text = CurrentText(clause.feature);
        const bool listed =
            std::find(clause.values.begin(), clause.values.end(), text) != clause.values.end();
        if (listed == clause.negate)
            return false;
    }
    return true;
}

bool SimCore::Readable(int f)
{
    const FeatureDef& def = description.features[f];
    return def.readable && Holds(def.available);
}

bool SimCore::Writable(int f)
{
    const FeatureDef& def = description.features[f];
    return def.writable && Holds(def.available) && Holds(def.writableWhen);
}

void SimCore::NotifyNow(int f, std::uint32_t changes)
{
    toPost.emplace_back(f, changes);
}

void SimCore::NotifyWritten(int f)
{
    NotifyNow(f);
    NotifyDependents(f);
}

void SimCore::NotifyDependents(int f)
{
    for (int other : description.features[f].affected)
        NotifyNow(other);
    for (int other : description.features[f].moved)
        NotifyNow(other, KelFeatureChangeSelector);
}

bool SimCore::ReachesDependents(int f, const std::string& key)
{
    const FeatureDef& def = description.features[f];
    if (def.affected.empty() && def.moved.empty())
        return false;
    return def.selector < 0 || key == CurrentKey(f);
}

void SimCore::LiveChanged(int f, const std::string& key)
{
    pendingLive[f] |= NewsSelf | (ReachesDependents(f, key) ? NewsDependents : 0u);
}

void SimCore::QuietChanged(int f, const std::string& key)
{
    if (ReachesDependents(f, key))
        pendingLive[f] |= NewsDependents;
}

void SimCore::NotifyLive(int f)
{
    pendingLive[f] |= NewsSelf;
}

void SimCore::FlushLive(bool force)
{
    const std::int64_t interval = description.simulation.liveNotifyIntervalUs;
    for (auto it = pendingLive.begin(); it != pendingLive.end();) {
        const auto [f, news] = *it;
        // Compared as a difference so the "never" start value cannot overflow.
        const bool due = force || lastLiveNotify[f] == std::numeric_limits<std::int64_t>::min()
                         || now - lastLiveNotify[f] >= interval;
        if (!due) {
            ++it;
            continue;
        }
        // Dependents go with the feature, at its rate: a rare change (the
        // parameters locked) reaches them at once, a fast one (a PWM on a
        // line) cannot make the host re-read them at every edge.
        if (news & NewsSelf)
            toPost.emplace_back(f, KelFeatureChangeValue);
        if (news & NewsDependents)
            NotifyDependents(f);
        lastLiveNotify[f] = now;
        it = pendingLive.erase(it);
    }
}

void SimCore::ResetValues()
{
    for (auto& perKey : values)
        perKey.clear();
    model->Init();
    for (std::size_t i = 0; i < values.size(); ++i)
        NotifyNow(static_cast<int>(i));
    // Whatever the model changed on the way is told by the above.
    pendingLive.clear();
}

void SimCore::AfterWrite(int f)
{
    NotifyWritten(f);
    model->OnWrite(f);
}

KelErrorType SimCore::CheckWritable(int f, KelFeatureDataType expected)
{
    if (description.features[f].type != expected)
        return KelError::WrongType;
    return Writable(f) ? KelError::Success : KelError::InvalidAccess;
}

void SimCore::Record(int f, Op op, const std::string& value, KelErrorType result)
{
    if (!logEnabled)
        return;
    CallRecord record{description.features[f].name, op, value, {}, result};
    const int selector = description.features[f].selector;
    if (selector >= 0)
        record.context = description.features[selector].name + "=" + CurrentText(selector);
    callLog.push_back(std::move(record));
}

// --- reads ---------------------------------------------------------------

KelErrorType SimCore::CheckReadable(int f, KelFeatureDataType type, KelFeatureDataType alsoType)
{
    const auto actual = Def(f).type;
    if (actual != type && (alsoType == KelFeatureDataUnknown || actual != alsoType))
        return KelError::WrongType;
    return Readable(f) ? KelError::Success : KelError::InvalidAccess;
}

KelErrorType SimCore::GetInt(int f, std::int64_t& value)
{
    const KelErrorType err = CheckReadable(f, KelFeatureDataInt, KelFeatureDataEnum);
    if (err == KelError::Success)
        value = Current(f).i;
    return err;
}

KelErrorType SimCore::GetFloat(int f, double& value)
{
    const KelErrorType err = CheckReadable(f, KelFeatureDataFloat);
    if (err == KelError::Success)
        value = Current(f).f;
    return err;
}

KelErrorType SimCore::GetBool(int f, bool& value)
{
    const KelErrorType err = CheckReadable(f, KelFeatureDataBool);
    if (err == KelError::Success)
        value = Current(f).b;
    return err;
}

KelErrorType SimCore::GetText(int f, const CallContext& ctx, char* buffer, std::uint32_t& length)
{
    const KelErrorType err = CheckReadable(f, KelFeatureDataEnum, KelFeatureDataString);
    return err == KelError::Success ? FillText(ctx, CurrentText(f), buffer, length) : err;
}

KelErrorType SimCore::FillDefText(const CallContext& ctx, const std::string& text, char* buffer,
                                  std::uint32_t& length)
{
    return FillText(ctx, text, buffer, length);
}

KelErrorType SimCore::GetRaw(int f, const CallContext& ctx, std::uint8_t* buffer,
                             std::uint32_t& size, std::uint32_t& sizeFilled)
{
    if (const KelErrorType err = CheckReadable(f, KelFeatureDataRaw))
        return err;
    if (ctx.fault && ctx.fault->kind == Fault::Kind::ZeroLength) {
        size = 0;
        sizeFilled = 0;
        return KelError::Success;
    }
    const auto& data = Current(f).raw;
    const auto total = static_cast<std::uint32_t>(data.size());
    if (!buffer) {
        size = total;
        sizeFilled = 0;
        return KelError::Success;
    }
    const std::uint32_t n = std::min(size, total);
    if (n)
        std::memcpy(buffer, data.data(), n);
    size = total;
    sizeFilled = n;
    return KelError::Success;
}

// --- writes --------------------------------------------------------------

KelErrorType SimCore::SetInt(int f, std::int64_t value)
{
    const FeatureDef& def = Def(f);
    if (def.type == KelFeatureDataEnum) {
        const int entry = def.EntryIndexByValue(value);
        if (entry < 0)
            return Writable(f) ? KelError::InvalidValue : KelError::InvalidAccess;
        return SetText(f, def.entries[entry].name.c_str());
    }
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataInt))
        return err;
    if (!IsAllowedInt(def, value))
        return KelError::InvalidValue;
    Current(f).i = value;
    AfterWrite(f);
    return KelError::Success;
}

KelErrorType SimCore::SetFloat(int f, double value)
{
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataFloat))
        return err;
    if (!IsAllowedFloat(Def(f), value))
        return KelError::InvalidValue;
    Current(f).f = value;
    AfterWrite(f);
    return KelError::Success;
}

KelErrorType SimCore::SetBool(int f, bool value)
{
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataBool))
        return err;
    Current(f).b = value;
    AfterWrite(f);
    return KelError::Success;
}

KelErrorType SimCore::SetText(int f, const char* value)
{
    if (!value)
        return KelError::BadParameter;
    const FeatureDef& def = Def(f);
    if (def.type == KelFeatureDataString) {
        if (const KelErrorType err = CheckWritable(f, KelFeatureDataString))
            return err;
        if (std::strlen(value) > def.maxLength)
            return KelError::InvalidValue;
        Current(f).s = value;
        AfterWrite(f);
        return KelError::Success;
    }
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataEnum))
        return err;
    const int entry = def.EntryIndexByName(value);
    if (entry < 0)
        return KelError::InvalidValue;
    if (!Holds(def.entries[entry].available))
        return KelError::NotAvailable;
    Current(f).i = def.entries[entry].value;
    AfterWrite(f);
    return KelError::Success;
}

KelErrorType SimCore::SetRaw(int f, const std::uint8_t* data, std::uint32_t size)
{
    if (!data || size == 0)
        return KelError::BadParameter;
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataRaw))
        return err;
    if (size > Def(f).rawSize)
        return KelError::InvalidValue;
    auto& raw = Current(f).raw;
    raw.assign(data, data + size);
    raw.resize(Def(f).rawSize, 0);
    AfterWrite(f);
    return KelError::Success;
}

// --- limits and entries --------------------------------------------------

KelErrorType SimCore::GetIntRange(int f, std::int64_t& min, std::int64_t& max)
{
    const FeatureDef& def = Def(f);
    if (def.type != KelFeatureDataInt)
        return KelError::WrongType;
    if (!Holds(def.available))
        return KelError::InvalidAccess;
    min = def.imin;
    max = def.imax;
    return KelError::Success;
}

KelErrorType SimCore::GetFloatRange(int f, double& min, double& max)
{
    const FeatureDef& def = Def(f);
    if (def.type != KelFeatureDataFloat)
        return KelError::WrongType;
    if (!Holds(def.available))
        return KelError::InvalidAccess;
    min = def.fmin;
    max = def.fmax;
    return KelError::Success;
}

KelErrorType SimCore::HasIncrement(int f, bool& has)
{
    const FeatureDef& def = Def(f);
    if (!IsNumeric(def.type))
        return KelError::WrongType;
    has = def.type == KelFeatureDataInt ? def.validValues.empty() : def.hasFinc;
    return KelError::Success;
}

KelErrorType SimCore::GetIntIncrement(int f, std::int64_t& inc)
{
    const FeatureDef& def = Def(f);
    if (def.type != KelFeatureDataInt)
        return KelError::WrongType;
    inc = def.iinc;
    return KelError::Success;
}

KelErrorType SimCore::GetFloatIncrement(int f, double& inc)
{
    const FeatureDef& def = Def(f);
    if (def.type != KelFeatureDataFloat)
        return KelError::WrongType;
    if (!def.hasFinc)
        return KelError::NotAvailable;
    inc = def.finc;
    return KelError::Success;
}

KelErrorType SimCore::GetEntryNames(int f, const CallContext& ctx, const char** names,
                                    std::uint32_t& count)
{
    const FeatureDef& def = Def(f);
    if (def.type != KelFeatureDataEnum)
        return KelError::WrongType;
    std::vector<const char*> list;
    for (const auto& e : def.entries)
        list.push_back(e.name.c_str()); // the description never changes, so these stay valid
    return FillList(ctx, list, names, count);
}

KelErrorType SimCore::GetEntryValues(int f, const CallContext& ctx, std::int64_t* out,
                                     std::uint32_t& count)
{
    const FeatureDef& def = Def(f);
    if (def.type != KelFeatureDataEnum)
        return KelError::WrongType;
    std::vector<std::int64_t> list;
    for (const auto& e : def.entries)
        list.push_back(e.value);
    return FillList(ctx, list, out, count);
}

KelErrorType SimCore::GetEntry(int f, EnumEntry& entry, const char* name)
{
    const FeatureDef& def = Def(f);
    if (!name)
        return KelError::BadParameter;
    if (def.type != KelFeatureDataEnum)
        return KelError::WrongType;
    const int i = def.EntryIndexByName(name);
    if (i < 0)
        return KelError::NotFound;
    const EntryDef& e = def.entries[i];
    entry = EnumEntry(e.name, e.value, e.displayName, e.description, e.toolTip, e.visibility);
    return KelError::Success;
}

KelErrorType SimCore::GetEntries(int f, const CallContext& ctx, EnumEntry* out, std::uint32_t& count)
{
    const FeatureDef& def = Def(f);
    if (def.type != KelFeatureDataEnum)
        return KelError::WrongType;
    std::vector<EnumEntry> list;
    for (const auto& e : def.entries)
        list.emplace_back(e.name, e.value, e.displayName, e.description, e.toolTip, e.visibility);
    return FillList(ctx, list, out, count);
}

KelErrorType SimCore::IsEntryAvailable(int f, const char* name, bool& available)
{
    const FeatureDef& def = Def(f);
    if (!name)
        return KelError::BadParameter;
    if (def.type != KelFeatureDataEnum)
        return KelError::WrongType;
    const int i = def.EntryIndexByName(name);
    if (i < 0)
        return KelError::NotFound;
    available = Holds(def.available) && Holds(def.entries[i].available);
    return KelError::Success;
}

KelErrorType SimCore::IsEntryAvailable(int f, std::int64_t value, bool& available)
{
    const FeatureDef& def = Def(f);
    if (def.type != KelFeatureDataEnum)
        return KelError::WrongType;
    const int i = def.EntryIndexByValue(value);
    if (i < 0)
        return KelError::NotFound;
    return IsEntryAvailable(f, def.entries[i].name.c_str(), available);
}

KelErrorType SimCore::GetAvailableNames(int f, const CallContext& ctx, const char** names,
                                        std::uint32_t& count)
{
    const FeatureDef& def = Def(f);
    if (def.type != KelFeatureDataEnum)
        return KelError::WrongType;
    std::vector<const char*> list;
    if (Holds(def.available)) {
        for (const auto& e : def.entries) {
            if (Holds(e.available))
                list.push_back(e.name.c_str());
        }
    }
    return FillList(ctx, list, names, count);
}

KelErrorType SimCore::GetValidValueSet(int f, const CallContext& ctx, std::int64_t* out,
                                       std::uint32_t& count)
{
    const FeatureDef& def = Def(f);
    if (def.type != KelFeatureDataInt)
        return KelError::WrongType;
    return FillList(ctx, def.validValues, out, count);
}

// --- commands, access, selectors, observers ----------------------------

KelErrorType SimCore::RunCommand(int f)
{
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataCommand))
        return err;
    for (const Effect& effect : Def(f).onExecute) {
        Value& target = Current(effect.target);
        target = effect.kind == Effect::Kind::Set ? effect.value : Current(effect.source);
        NotifyWritten(effect.target);
    }
    NotifyNow(f);
    model->OnCommand(f);
    return KelError::Success;
}

KelErrorType SimCore::IsCommandDone(int f, bool& done)
{
    if (Def(f).type != KelFeatureDataCommand)
        return KelError::WrongType;
    done = true; // every simulated command finishes inside RunCommand
    return KelError::Success;
}

KelErrorType SimCore::IsReadable(int f, bool& readable)
{
    readable = Readable(f);
    return KelError::Success;
}

KelErrorType SimCore::IsWritable(int f, bool& writable)
{
    writable = Writable(f);
    return KelError::Success;
}

KelErrorType SimCore::GetFlags(int f, KelFeatureFlagsType& flags)
{
    const FeatureDef& def = Def(f);
    flags = MakeFlags(def.readable, def.writable, def.isVolatile, def.modifyWrite);
    return KelError::Success;
}

KelErrorType SimCore::GetSelected(int f, const CallContext& ctx, std::shared_ptr<Feature>* out,
                                  std::uint32_t& count)
{
    std::vector<std::shared_ptr<Feature>> list;
    for (int s : Def(f).selected)
        list.push_back(features[s]);
    return FillList(ctx, list, out, count);
}

KelErrorType SimCore::Register(int f, const std::shared_ptr<IFeatureObserver>& observer)
{
    return dispatcher.Register(features[f].get(), observer);
}

KelErrorType SimCore::Unregister(int f, const std::shared_ptr<IFeatureObserver>& observer)
{
    return dispatcher.Unregister(features[f].get(), observer);
}

// --- controls ------------------------------------------------------------

void SimCore::Pause(bool pause)
{
    const auto lock = LockForCall();
    paused = pause;
}

bool SimCore::IsPaused()
{
    const auto lock = LockForCall();
    return paused;
}

void SimCore::Step(std::int64_t us)
{
    std::unique_lock<std::mutex> lock = LockForCall();
    if (closed || us < 0)
        return;
    AdvanceInPieces(lock, us);
}

std::int64_t SimCore::Now()
{
    const auto lock = LockForCall();
    return now;
}

std::uint64_t SimCore::EvaluationCount()
{
    const auto lock = LockForCall();
    return model->Evaluations();
}

void SimCore::SetDenseBelowUs(std::int64_t periodUs)
{
    std::vector<std::pair<int, std::uint32_t>> posts;
    {
        const auto lock = LockForCall();
        if (closed)
            return;
        model->SetDenseBelow(periodUs);
        posts.swap(toPost);
    }
    Post(posts);
}

KelErrorType SimCore::ForceLine(const std::string& line, bool release, bool level)
{
    std::vector<std::pair<int, std::uint32_t>> posts;
    bool found;
    {
        const auto lock = LockForCall();
        if (closed)
            return KelError::NotOpen;
        found = model->ForceLine(line, release ? std::nullopt : std::optional<bool>(level));
        posts.swap(toPost);
    }
    Post(posts);
    return found ? KelError::Success : KelError::NotFound;
}

bool SimCore::SendAction(std::uint32_t deviceKey, std::uint32_t groupKey, std::uint32_t groupMask)
{
    std::vector<std::pair<int, std::uint32_t>> posts;
    bool accepted;
    {
        const auto lock = LockForCall();
        if (closed)
            return false;
        accepted = model->Action(deviceKey, groupKey, groupMask);
        posts.swap(toPost);
    }
    Post(posts);
    return accepted;
}

KelErrorType SimCore::Acquire(bool start)
{
    std::vector<std::pair<int, std::uint32_t>> posts;
    {
        const auto lock = LockForCall();
        if (closed)
            return KelError::NotOpen;
        if (start)
            model->StartAcquisition();
        else
            model->StopAcquisition();
        posts.swap(toPost);
    }
    Post(posts);
    return KelError::Success;
}

KelErrorType SimCore::StartStream(const std::shared_ptr<IFrameObserver>& observer)
{
    if (!observer)
        return KelError::BadParameter;
    const auto lock = LockForCall();
    if (closed)
        return KelError::NotOpen;
    if (stream && stream->Running())
        return KelError::InvalidAccess;
    stream = SimStream::Start(observer);
    return KelError::Success;
}

KelErrorType SimCore::StopStream()
{
    std::shared_ptr<SimStream> running;
    {
        const auto lock = LockForCall();
        running = stream;
    }
    if (running)
        running->Stop();
    return KelError::Success;
}

KelErrorType SimCore::GetStreamStatistics(StreamStatistics& statistics)
{
    const auto lock = LockForCall();
    if (closed)
        return KelError::NotOpen;
    statistics = stream ? stream->Statistics() : StreamStatistics{};
    statistics.missedTriggersKnown = true;
    return KelError::Success;
}

void SimCore::FrameDone(std::int64_t timestampNs, std::uint32_t width, std::uint32_t height)
{
    if (stream)
        stream->Push(timestampNs, width, height);
}

void SimCore::TriggersMissed(std::uint64_t count)
{
    if (stream && count > 0)
        stream->AddMissed(count);
}

bool SimCore::Acquiring()
{
    const auto lock = LockForCall();
    return model->Acquiring();
}

std::uint64_t SimCore::Frames()
{
    const auto lock = LockForCall();
    return model->Frames();
}

std::vector<std::string> SimCore::Lines()
{
    const auto lock = LockForCall();
    return model->Lines();
}

bool SimCore::TakeFault(int f, Op op, Fault& hit)
{
    for (int target : {f, -1}) {
        const auto it = faults.find({target, op});
        if (it == faults.end())
            continue;
        FaultState& state = it->second;
        if (state.fault.mode == Fault::Mode::Random) {
            std::uniform_real_distribution<double> chance(0.0, 1.0);
            if (chance(state.random) >= state.fault.probability)
                return false;
        }
        hit = state.fault;
        if (state.fault.mode == Fault::Mode::Once)
            faults.erase(it);
        return true;
    }
    return false;
}

void SimCore::InjectFault(const std::string& feature, Op op, const Fault& fault)
{
    const int f = (feature.empty() || feature == "*") ? -1 : description.Find(feature);
    if (f < 0 && !(feature.empty() || feature == "*"))
        return;
    const auto lock = LockForCall();
    faults[{f, op}] = FaultState{fault, std::mt19937_64(fault.seed)};
}

void SimCore::ClearFault(const std::string& feature, Op op)
{
    const int f = (feature.empty() || feature == "*") ? -1 : description.Find(feature);
    const auto lock = LockForCall();
    faults.erase({f, op});
}

void SimCore::ClearFaults()
{
    const auto lock = LockForCall();
    faults.clear();
}

std::uint64_t SimCore::CallCount(const std::string& feature, Op op)
{
    const int f = description.Find(feature);
    if (f < 0)
        return 0;
    const auto lock = LockForCall();
    return callCounts[f][static_cast<int>(op)];
}

std::uint64_t SimCore::CallCount(Op op)
{
    const auto lock = LockForCall();
    std::uint64_t total = 0;
    for (const auto& counts : callCounts)
        total += counts[static_cast<int>(op)];
    return total;
}

std::uint64_t SimCore::TotalCallCount()
{
    const auto lock = LockForCall();
    std::uint64_t total = 0;
    for (const auto& counts : callCounts) {
        for (auto c : counts)
            total += c;
    }
    return total;
}

std::uint64_t SimCore::CallCount(bool device)
{
    const auto lock = LockForCall();
    std::uint64_t total = 0;
    for (const auto& counts : callCounts) {
        for (int op = 0; op < OpCount; ++op) {
            if (IsDeviceAccess(static_cast<Op>(op)) == device)
                total += counts[op];
        }
    }
    return total;
}

void SimCore::ResetCallCounts()
{
    const auto lock = LockForCall();
    for (auto& counts : callCounts)
        counts.fill(0);
}

void SimCore::SetCallLogEnabled(bool enabled)
{
    const auto lock = LockForCall();
    logEnabled = enabled;
}

std::vector<CallRecord> SimCore::CallLog()
{
    const auto lock = LockForCall();
    return callLog;
}

void SimCore::ClearCallLog()
{
    const auto lock = LockForCall();
    callLog.clear();
}

} // namespace Sim
} // namespace KelCPP
