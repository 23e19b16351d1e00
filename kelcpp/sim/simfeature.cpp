#include "simfeature.h"

#include "simcore.h"

#include <cstring>

namespace KelCPP {
namespace Sim {

namespace {

std::string RawText(const std::uint8_t* data, std::uint32_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint32_t i = 0; data && i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

} // namespace

SimFeature::SimFeature(std::weak_ptr<SimCore> c, int i)
    : core(std::move(c)), index(i)
{
}

template <typename Body>
KelErrorType SimFeature::Call(Op op, Body&& body, const std::string* logValue) const
{
    const std::shared_ptr<SimCore> c = core.lock();
    if (!c)
        return KelError::NotOpen;
    const int f = index;
    return c->Invoke(
        f, op, [&](const SimCore::CallContext& ctx) { return body(*c, f, ctx); }, logValue);
}

using Ctx = SimCore::CallContext;

KelErrorType SimFeature::GetValue(std::int64_t& value) const
{
    return Call(Op::GetValue, [&](SimCore& c, int f, const Ctx&) { return c.GetInt(f, value); });
}

KelErrorType SimFeature::GetValue(double& value) const
{
    return Call(Op::GetValue, [&](SimCore& c, int f, const Ctx&) { return c.GetFloat(f, value); });
}

KelErrorType SimFeature::GetValue(bool& value) const
{
    return Call(Op::GetValue, [&](SimCore& c, int f, const Ctx&) { return c.GetBool(f, value); });
}

KelErrorType SimFeature::GetValue(char* buffer, std::uint32_t& length) const
{
    return Call(Op::GetValue,
                [&](SimCore& c, int f, const Ctx& ctx) { return c.GetText(f, ctx, buffer, length); });
}

KelErrorType SimFeature::GetValue(std::uint8_t* buffer, std::uint32_t& size,
                                  std::uint32_t& sizeFilled) const
{
    return Call(Op::GetValue, [&](SimCore& c, int f, const Ctx& ctx) {
        return c.GetRaw(f, ctx, buffer, size, sizeFilled);
    });
}

KelErrorType SimFeature::SetValue(std::int64_t value)
{
    const std::string text = std::to_string(value);
    return Call(
        Op::SetValue, [&](SimCore& c, int f, const Ctx&) { return c.SetInt(f, value); }, &text);
}

KelErrorType SimFeature::SetValue(double value)
{
    const std::string text = FloatText(value);
    return Call(
        Op::SetValue, [&](SimCore& c, int f, const Ctx&) { return c.SetFloat(f, value); }, &text);
}

KelErrorType SimFeature::SetValue(bool value)
{
    const std::string text = value ? "true" : "false";
    return Call(
        Op::SetValue, [&](SimCore& c, int f, const Ctx&) { return c.SetBool(f, value); }, &text);
}

KelErrorType SimFeature::SetValue(const char* value)
{
    const std::string text = value ? value : "";
    return Call(
        Op::SetValue, [&](SimCore& c, int f, const Ctx&) { return c.SetText(f, value); }, &text);
}

KelErrorType SimFeature::SetValue(const std::uint8_t* data, std::uint32_t size)
{
    const std::string text = RawText(data, size);
    return Call(
        Op::SetValue, [&](SimCore& c, int f, const Ctx&) { return c.SetRaw(f, data, size); }, &text);
}

KelErrorType SimFeature::GetRange(std::int64_t& min, std::int64_t& max) const
{
    return Call(Op::GetRange, [&](SimCore& c, int f, const Ctx&) { return c.GetIntRange(f, min, max); });
}

KelErrorType SimFeature::GetRange(double& min, double& max) const
{
    return Call(Op::GetRange,
                [&](SimCore& c, int f, const Ctx&) { return c.GetFloatRange(f, min, max); });
}

KelErrorType SimFeature::HasIncrement(bool& hasIncrement) const
{
    return Call(Op::HasIncrement,
                [&](SimCore& c, int f, const Ctx&) { return c.HasIncrement(f, hasIncrement); });
}

KelErrorType SimFeature::GetIncrement(double& increment) const
{
    return Call(Op::GetIncrement,
                [&](SimCore& c, int f, const Ctx&) { return c.GetFloatIncrement(f, increment); });
}

KelErrorType SimFeature::GetIncrement(std::int64_t& increment) const
{
    return Call(Op::GetIncrement,
                [&](SimCore& c, int f, const Ctx&) { return c.GetIntIncrement(f, increment); });
}

KelErrorType SimFeature::GetValues(const char** names, std::uint32_t& count) const
{
    return Call(Op::GetValues, [&](SimCore& c, int f, const Ctx& ctx) {
        return c.GetEntryNames(f, ctx, names, count);
    });
}

KelErrorType SimFeature::GetValues(std::int64_t* values, std::uint32_t& count) const
{
    return Call(Op::GetValues, [&](SimCore& c, int f, const Ctx& ctx) {
        return c.GetEntryValues(f, ctx, values, count);
    });
}

KelErrorType SimFeature::GetEntry(EnumEntry& entry, const char* name) const
{
    return Call(Op::GetEntry, [&](SimCore& c, int f, const Ctx&) { return c.GetEntry(f, entry, name); });
}

KelErrorType SimFeature::GetEntries(EnumEntry* entries, std::uint32_t& count) const
{
    return Call(Op::GetEntries, [&](SimCore& c, int f, const Ctx& ctx) {
        return c.GetEntries(f, ctx, entries, count);
    });
}

KelErrorType SimFeature::IsValueAvailable(const char* name, bool& available) const
{
    return Call(Op::IsValueAvailable,
                [&](SimCore& c, int f, const Ctx&) { return c.IsEntryAvailable(f, name, available); });
}

KelErrorType SimFeature::IsValueAvailable(std::int64_t value, bool& available) const
{
    return Call(Op::IsValueAvailable, [&](SimCore& c, int f, const Ctx&) {
        return c.IsEntryAvailable(f, value, available);
    });
}

KelErrorType SimFeature::GetValidValueSet(std::int64_t* values, std::uint32_t& count) const
{
    return Call(Op::GetValidValueSet, [&](SimCore& c, int f, const Ctx& ctx) {
        return c.GetValidValueSet(f, ctx, values, count);
    });
}

KelErrorType SimFeature::GetAvailableValues(const char** names, std::uint32_t& count) const
{
    return Call(Op::GetAvailableValues, [&](SimCore& c, int f, const Ctx& ctx) {
        return c.GetAvailableNames(f, ctx, names, count);
    });
}

KelErrorType SimFeature::RunCommand()
{
    static const std::string none;
    return Call(
        Op::RunCommand, [&](SimCore& c, int f, const Ctx&) { return c.RunCommand(f); }, &none);
}

KelErrorType SimFeature::IsCommandDone(bool& done) const
{
    return Call(Op::IsCommandDone, [&](SimCore& c, int f, const Ctx&) { return c.IsCommandDone(f, done); });
}

KelErrorType SimFeature::IsReadable(bool& readable) const
{
    return Call(Op::IsReadable, [&](SimCore& c, int f, const Ctx&) { return c.IsReadable(f, readable); });
}

KelErrorType SimFeature::IsWritable(bool& writable) const
{
    return Call(Op::IsWritable, [&](SimCore& c, int f, const Ctx&) { return c.IsWritable(f, writable); });
}

KelErrorType SimFeature::GetDataType(KelFeatureDataType& type) const
{
    return Call(Op::GetDataType, [&](SimCore& c, int f, const Ctx&) {
        type = c.Def(f).type;
        return KelError::Success;
    });
}

KelErrorType SimFeature::GetFlags(KelFeatureFlagsType& flags) const
{
    return Call(Op::GetFlags, [&](SimCore& c, int f, const Ctx&) { return c.GetFlags(f, flags); });
}

KelErrorType SimFeature::GetVisibility(KelFeatureVisibilityType& visibility) const
{
    return Call(Op::GetVisibility, [&](SimCore& c, int f, const Ctx&) {
        visibility = c.Def(f).visibility;
        return KelError::Success;
    });
}

#define KELCPP_SIM_TEXT(Method, Member)                                                            \
    KelErrorType SimFeature::Method(char* buffer, std::uint32_t& length) const                     \
    {                                                                                              \
        return Call(Op::Method, [&](SimCore& c, int f, const Ctx& ctx) {                           \
            return c.FillDefText(ctx, c.Def(f).Member, buffer, length);                            \
        });                                                                                        \
    }

KELCPP_SIM_TEXT(GetName, name)
KELCPP_SIM_TEXT(GetDisplayName, displayName)
KELCPP_SIM_TEXT(GetCategory, category)
KELCPP_SIM_TEXT(GetUnit, unit)
KELCPP_SIM_TEXT(GetRepresentation, representation)
KELCPP_SIM_TEXT(GetToolTip, toolTip)
KELCPP_SIM_TEXT(GetDescription, description)

#undef KELCPP_SIM_TEXT

KelErrorType SimFeature::GetSelectedFeatures(std::shared_ptr<Feature>* features,
                                             std::uint32_t& count) const
{
    return Call(Op::GetSelectedFeatures, [&](SimCore& c, int f, const Ctx& ctx) {
        return c.GetSelected(f, ctx, features, count);
    });
}

KelErrorType SimFeature::RegisterObserver(const std::shared_ptr<IFeatureObserver>& observer)
{
    return Call(Op::RegisterObserver,
                [&](SimCore& c, int f, const Ctx&) { return c.Register(f, observer); });
}

KelErrorType SimFeature::UnregisterObserver(const std::shared_ptr<IFeatureObserver>& observer)
{
    return Call(Op::UnregisterObserver,
                [&](SimCore& c, int f, const Ctx&) { return c.Unregister(f, observer); });
}

} // namespace Sim
} // namespace KelCPP
