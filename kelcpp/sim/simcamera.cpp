#include "simcamera.h"

#include "simcore.h"
#include "simfeature.h"

namespace KelCPP {
namespace Sim {

const char* OpName(Op op)
{
    static const char* const names[OpCount] = {
        "GetValue", "SetValue", "GetRange", "HasIncrement", "GetIncrement", "GetValues",
        "GetEntry", "GetEntries", "IsValueAvailable", "GetAvailableValues", "GetValidValueSet", "RunCommand",
        "IsCommandDone", "IsReadable", "IsWritable", "GetDataType", "GetFlags", "GetVisibility",
        "GetName", "GetDisplayName", "GetCategory", "GetUnit", "GetRepresentation", "GetToolTip",
        "GetDescription", "GetSelectedFeatures", "RegisterObserver", "UnregisterObserver",
    };
    const int i = static_cast<int>(op);
    return i >= 0 && i < OpCount ? names[i] : "?";
}

bool IsDeviceAccess(Op op)
{
    switch (op) {
    case Op::GetValue:
    case Op::SetValue:
    case Op::GetRange:
    case Op::GetIncrement:
    case Op::IsValueAvailable:
    case Op::GetAvailableValues:
    case Op::GetValidValueSet:
    case Op::RunCommand:
    case Op::IsCommandDone:
    case Op::IsReadable:
    case Op::IsWritable:
        return true;
    default:
        return false;
    }
}

Fault Fault::Once(KelErrorType code)
{
    Fault f;
    f.mode = Mode::Once;
    f.code = code;
    return f;
}

Fault Fault::Always(KelErrorType code)
{
    Fault f;
    f.code = code;
    return f;
}

Fault Fault::Random(KelErrorType code, double probability, std::uint64_t seed)
{
    Fault f;
    f.mode = Mode::Random;
    f.code = code;
    f.probability = probability;
    f.seed = seed;
    return f;
}

Fault Fault::ZeroLength()
{
    Fault f;
    f.kind = Kind::ZeroLength;
    return f;
}

Fault Fault::EmbeddedNul(std::string tail)
{
    Fault f;
    f.kind = Kind::EmbeddedNul;
    f.tail = std::move(tail);
    return f;
}

std::shared_ptr<SimCamera> SimCamera::FromFile(const std::string& path, std::string* error,
                                               SimOptions options)
{
    std::string text;
    std::string reason;
    if (!ReadDescriptionFile(path, text, reason)) {
        if (error)
            *error = path + ": " + reason;
        return nullptr;
    }
    auto camera = FromJson(text, &reason, options);
    if (!camera && error)
        *error = path + ": " + reason;
    return camera;
}

std::shared_ptr<SimCamera> SimCamera::FromJson(const std::string& json, std::string* error,
                                               SimOptions options)
{
    Description description;
    std::string reason;
    if (!ParseDescription(json, description, reason)) {
        if (error)
            *error = reason;
        return nullptr;
    }
    auto core = std::make_shared<SimCore>(std::move(description), options);
    core->Start();
    return std::shared_ptr<SimCamera>(new SimCamera(std::move(core)));
}

SimCamera::SimCamera(std::shared_ptr<SimCore> c)
    : core(std::move(c))
{
}

SimCamera::~SimCamera()
{
    core->Close();
}

KelErrorType SimCamera::GetFeatures(FeaturePtrVector& out) const
{
    FeaturePtrVector list(core->Features().begin(), core->Features().end());
    out.swap(list);
    return KelError::Success;
}

KelErrorType SimCamera::GetFeatureByName(const char* name, FeaturePtr& out) const
{
    if (!name)
        return KelError::BadParameter;
    const int f = core->Desc().Find(name);
    if (f < 0)
        return KelError::NotFound;
    out = core->Features()[f];
    return KelError::Success;
}

std::size_t SimCamera::FeatureCount() const { return core->Features().size(); }

KelErrorType SimCamera::StartStream(const std::shared_ptr<IFrameObserver>& observer)
{
    return core->StartStream(observer);
}

KelErrorType SimCamera::StopStream() { return core->StopStream(); }

KelErrorType SimCamera::GetStreamStatistics(StreamStatistics& statistics) const
{
    return core->GetStreamStatistics(statistics);
}

std::shared_ptr<SignalTrace> SimCamera::GetSignalTrace() const { return core->Trace(); }

void SimCamera::Pause() { core->Pause(true); }
void SimCamera::Resume() { core->Pause(false); }
bool SimCamera::IsPaused() const { return core->IsPaused(); }
void SimCamera::Step(std::chrono::microseconds duration) { core->Step(duration.count()); }
std::int64_t SimCamera::NowUs() const { return core->Now(); }

KelErrorType SimCamera::SetLineLevel(const std::string& line, bool level)
{
    return core->ForceLine(line, false, level);
}

KelErrorType SimCamera::ReleaseLineLevel(const std::string& line)
{
    return core->ForceLine(line, true, false);
}

bool SimCamera::SendActionCommand(std::uint32_t deviceKey, std::uint32_t groupKey,
                                  std::uint32_t groupMask)
{
    return core->SendAction(deviceKey, groupKey, groupMask);
}

KelErrorType SimCamera::StartAcquisition() { return core->Acquire(true); }
KelErrorType SimCamera::StopAcquisition() { return core->Acquire(false); }
bool SimCamera::IsAcquiring() const { return core->Acquiring(); }
std::uint64_t SimCamera::FramesAcquired() const { return core->Frames(); }

void SimCamera::InjectFault(const std::string& feature, Op op, const Fault& fault)
{
    core->InjectFault(feature, op, fault);
}

void SimCamera::ClearFault(const std::string& feature, Op op) { core->ClearFault(feature, op); }
void SimCamera::ClearFaults() { core->ClearFaults(); }

std::uint64_t SimCamera::CallCount(const std::string& feature, Op op) const
{
    return core->CallCount(feature, op);
}

std::uint64_t SimCamera::CallCount(Op op) const { return core->CallCount(op); }
std::uint64_t SimCamera::TotalCallCount() const { return core->TotalCallCount(); }
std::uint64_t SimCamera::DeviceAccessCount() const { return core->CallCount(true); }
std::uint64_t SimCamera::LocalCallCount() const { return core->CallCount(false); }
void SimCamera::ResetCallCounts() { core->ResetCallCounts(); }
void SimCamera::SetCallLogEnabled(bool enabled) { core->SetCallLogEnabled(enabled); }
std::vector<CallRecord> SimCamera::CallLog() const { return core->CallLog(); }
void SimCamera::ClearCallLog() { core->ClearCallLog(); }

void SimCamera::SetAccessLatency(std::chrono::microseconds latency)
{
    core->SetAccessLatency(latency.count());
}

void SimCamera::WaitForNotifications() const { core->WaitForNotifications(); }
std::uint64_t SimCamera::NotificationCount() const { return core->NotificationCount(); }
std::vector<std::string> SimCamera::LineNames() const { return core->Lines(); }

} // namespace Sim
} // namespace KelCPP
