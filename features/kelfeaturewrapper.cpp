#include "features/kelfeaturewrapper.h"

#include <cstring>
#include <utility>

using KelCPP::KelErrorType;

KelFeatureWrapper::KelFeatureWrapper(std::shared_ptr<KelCPP::Feature> feature)
    : feature(std::move(feature))
{
}

KelFeatureWrapper::~KelFeatureWrapper() = default;

const std::shared_ptr<KelCPP::Feature>& KelFeatureWrapper::GetFeature() const
{
    return feature;
}

KelErrorType KelFeatureWrapper::GetValue(std::vector<std::uint8_t>& value,
                                         std::uint32_t& sizeFilled) const
{
    return feature->GetValue(value, sizeFilled);
}

KelErrorType KelFeatureWrapper::GetValue(std::vector<std::uint8_t>& value) const
{
    return feature->GetValue(value);
}

KelErrorType KelFeatureWrapper::GetValue(bool& value) const
{
    return feature->GetValue(value);
}

KelErrorType KelFeatureWrapper::GetValue(std::string& value) const
{
    std::string text;
    const KelErrorType err = feature->GetValue(text);
    // Devices pad string registers with NULs; what follows the first one is
    // not part of the value.
    value.assign(text.c_str(), std::strlen(text.c_str()));
    return err;
}

KelErrorType KelFeatureWrapper::GetValue(double& value) const
{
    return feature->GetValue(value);
}

KelErrorType KelFeatureWrapper::GetValue(std::int64_t& value) const
{
    return feature->GetValue(value);
}

KelErrorType KelFeatureWrapper::GetValues(std::vector<std::string>& names) const
{
    return feature->GetValues(names);
}

KelErrorType KelFeatureWrapper::GetValues(std::vector<std::int64_t>& values) const
{
    return feature->GetValues(values);
}

KelErrorType KelFeatureWrapper::GetEntry(KelCPP::EnumEntry& entry, const char* name) const
{
    return feature->GetEntry(entry, name);
}

KelErrorType KelFeatureWrapper::GetEntries(std::vector<KelCPP::EnumEntry>& entries) const
{
    return feature->GetEntries(entries);
}

KelErrorType KelFeatureWrapper::GetRange(std::int64_t& min, std::int64_t& max) const
{
    return feature->GetRange(min, max);
}

KelErrorType KelFeatureWrapper::GetRange(double& min, double& max) const
{
    return feature->GetRange(min, max);
}

KelErrorType KelFeatureWrapper::SetValue(const std::vector<std::uint8_t>& value)
{
    if (value.empty())
        return KelCPP::KelError::BadParameter;
    return feature->SetValue(value.data(), static_cast<std::uint32_t>(value.size()));
}

KelErrorType KelFeatureWrapper::SetValue(const char* value)
{
    return feature->SetValue(value);
}

KelErrorType KelFeatureWrapper::SetValue(bool value)
{
    return feature->SetValue(value);
}

KelErrorType KelFeatureWrapper::SetValue(double value)
{
    return feature->SetValue(value);
}

KelErrorType KelFeatureWrapper::SetValue(std::int64_t value)
{
    return feature->SetValue(value);
}

KelErrorType KelFeatureWrapper::HasIncrement(bool& hasIncrement) const
{
    return feature->HasIncrement(hasIncrement);
}

KelErrorType KelFeatureWrapper::GetIncrement(double& increment) const
{
    return feature->GetIncrement(increment);
}

KelErrorType KelFeatureWrapper::GetIncrement(std::int64_t& increment) const
{
    return feature->GetIncrement(increment);
}

KelErrorType KelFeatureWrapper::IsValueAvailable(std::int64_t value, bool& available) const
{
    return feature->IsValueAvailable(value, available);
}

KelErrorType KelFeatureWrapper::IsValueAvailable(const char* name, bool& available) const
{
    return feature->IsValueAvailable(name, available);
}

KelErrorType KelFeatureWrapper::RunCommand()
{
    return feature->RunCommand();
}

KelErrorType KelFeatureWrapper::IsCommandDone(bool& done) const
{
    return feature->IsCommandDone(done);
}

KelErrorType KelFeatureWrapper::GetName(std::string& name) const
{
    return feature->GetName(name);
}

KelErrorType KelFeatureWrapper::GetDisplayName(std::string& displayName) const
{
    return feature->GetDisplayName(displayName);
}

KelErrorType KelFeatureWrapper::GetDataType(KelCPP::KelFeatureDataType& type) const
{
    return feature->GetDataType(type);
}

KelErrorType KelFeatureWrapper::GetFlags(KelCPP::KelFeatureFlagsType& flags) const
{
    return feature->GetFlags(flags);
}

KelErrorType KelFeatureWrapper::GetCategory(std::string& category) const
{
    return feature->GetCategory(category);
}

KelErrorType KelFeatureWrapper::GetUnit(std::string& unit) const
{
    return feature->GetUnit(unit);
}

KelErrorType KelFeatureWrapper::GetRepresentation(std::string& representation) const
{
    return feature->GetRepresentation(representation);
}

KelErrorType KelFeatureWrapper::GetVisibility(KelCPP::KelFeatureVisibilityType& visibility) const
{
    return feature->GetVisibility(visibility);
}

KelErrorType KelFeatureWrapper::GetToolTip(std::string& toolTip) const
{
    return feature->GetToolTip(toolTip);
}

KelErrorType KelFeatureWrapper::GetDescription(std::string& description) const
{
    return feature->GetDescription(description);
}

KelErrorType
KelFeatureWrapper::GetSelectedFeatures(std::vector<std::shared_ptr<KelCPP::Feature>>& features) const
{
    return feature->GetSelectedFeatures(features);
}

KelErrorType KelFeatureWrapper::GetValidValueSet(std::vector<std::int64_t>& values) const
{
    return feature->GetValidValueSet(values);
}

KelErrorType KelFeatureWrapper::IsReadable(bool& readable) const
{
    return feature->IsReadable(readable);
}

KelErrorType KelFeatureWrapper::IsWritable(bool& writable) const
{
    return feature->IsWritable(writable);
}

KelErrorType
KelFeatureWrapper::RegisterObserver(const std::shared_ptr<KelCPP::IFeatureObserver>& observer)
{
    return feature->RegisterObserver(observer);
}

KelErrorType
KelFeatureWrapper::UnregisterObserver(const std::shared_ptr<KelCPP::IFeatureObserver>& observer)
{
    return feature->UnregisterObserver(observer);
}

KelCPP::KelErrorType KelFeatureWrapper::GetAvailableValues(std::vector<std::string>& names) const
{
    return feature->GetAvailableValues(names);
}
