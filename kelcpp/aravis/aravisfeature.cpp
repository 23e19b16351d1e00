#include "aravisfeature.h"

#include "araviscore.h"

#include <algorithm>
#include <cstring>

namespace KelCPP {
namespace Aravis {

namespace {

// The two-call pattern of feature.h over a finished list or text.
template <typename T>
KelErrorType Fill(const T* items, std::uint32_t size, T* buffer, std::uint32_t& count)
{
    if (!buffer) {
        count = size;
        return KelError::Success;
    }
    if (count < size) {
        count = size;
        return KelError::MoreData;
    }
    std::copy(items, items + size, buffer);
    count = size;
    return KelError::Success;
}

KelErrorType FillText(const std::string& text, char* buffer, std::uint32_t& length)
{
    return Fill(text.data(), static_cast<std::uint32_t>(text.size()), buffer, length);
}

template <typename T>
KelErrorType FillList(const std::vector<T>& items, T* buffer, std::uint32_t& count)
{
    return Fill(items.data(), static_cast<std::uint32_t>(items.size()), buffer, count);
}

} // namespace

AravisFeature::AravisFeature(std::weak_ptr<AravisCore> c, int i)
    : core(std::move(c)), index(i)
{
}

template <typename Body>
KelErrorType AravisFeature::Device(Body&& body) const
{
    const std::shared_ptr<AravisCore> c = core.lock();
    if (!c)
        return KelError::NotOpen;
    return c->Device([&] { return body(*c, index); });
}

template <typename Body>
KelErrorType AravisFeature::Local(Body&& body) const
{
    const std::shared_ptr<AravisCore> c = core.lock();
    if (!c)
        return KelError::NotOpen;
    return c->Local([&] { return body(c->Info(index)); });
}

KelErrorType AravisFeature::GetValue(std::int64_t& value) const
{
    return Device([&](AravisCore& c, int f) { return c.GetInt(f, value); });
}

KelErrorType AravisFeature::GetValue(double& value) const
{
    return Device([&](AravisCore& c, int f) { return c.GetFloat(f, value); });
}

KelErrorType AravisFeature::GetValue(bool& value) const
{
    return Device([&](AravisCore& c, int f) { return c.GetBool(f, value); });
}

KelErrorType AravisFeature::GetValue(char* buffer, std::uint32_t& length) const
{
    return Device([&](AravisCore& c, int f) {
        std::string text;
        const KelErrorType err = c.GetText(f, text);
        return err ? err : FillText(text, buffer, length);
    });
}

KelErrorType AravisFeature::GetValue(std::uint8_t* buffer, std::uint32_t& size,
                                     std::uint32_t& sizeFilled) const
{
    return Device([&](AravisCore& c, int f) {
        std::vector<std::uint8_t> data;
        if (const KelErrorType err = c.GetRaw(f, data))
            return err;
        const auto total = static_cast<std::uint32_t>(data.size());
        const std::uint32_t n = buffer ? std::min(size, total) : 0;
        if (n)
            std::memcpy(buffer, data.data(), n);
        size = total;
        sizeFilled = n;
        return KelError::Success;
    });
}

KelErrorType AravisFeature::SetValue(std::int64_t value)
{
    return Device([&](AravisCore& c, int f) { return c.SetInt(f, value); });
}

KelErrorType AravisFeature::SetValue(double value)
{
    return Device([&](AravisCore& c, int f) { return c.SetFloat(f, value); });
}

KelErrorType AravisFeature::SetValue(bool value)
{
    return Device([&](AravisCore& c, int f) { return c.SetBool(f, value); });
}

KelErrorType AravisFeature::SetValue(const char* value)
{
    return Device([&](AravisCore& c, int f) { return c.SetText(f, value); });
}

KelErrorType AravisFeature::SetValue(const std::uint8_t* data, std::uint32_t size)
{
    return Device([&](AravisCore& c, int f) { return c.SetRaw(f, data, size); });
}

KelErrorType AravisFeature::GetRange(std::int64_t& min, std::int64_t& max) const
{
    return Device([&](AravisCore& c, int f) { return c.GetIntRange(f, min, max); });
}

KelErrorType AravisFeature::GetRange(double& min, double& max) const
{
    return Device([&](AravisCore& c, int f) { return c.GetFloatRange(f, min, max); });
}

KelErrorType AravisFeature::HasIncrement(bool& hasIncrement) const
{
    return Local([&](const FeatureInfo& info) {
        if (info.type == KelFeatureDataInt)
            hasIncrement = true;
        else if (info.type == KelFeatureDataFloat)
            hasIncrement = info.hasFloatIncrement;
        else
            return KelError::WrongType;
        return KelError::Success;
    });
}

KelErrorType AravisFeature::GetIncrement(double& increment) const
{
    return Device([&](AravisCore& c, int f) { return c.GetFloatIncrement(f, increment); });
}

KelErrorType AravisFeature::GetIncrement(std::int64_t& increment) const
{
    return Device([&](AravisCore& c, int f) { return c.GetIntIncrement(f, increment); });
}

KelErrorType AravisFeature::GetValues(const char** names, std::uint32_t& count) const
{
    return Local([&](const FeatureInfo& info) {
        if (info.type != KelFeatureDataEnum)
            return KelError::WrongType;
        std::vector<const char*> list;
        for (const auto& e : info.entries)
            list.push_back(e.entry.GetName().c_str()); // fixed while the camera is open
        return FillList(list, names, count);
    });
}

KelErrorType AravisFeature::GetValues(std::int64_t* values, std::uint32_t& count) const
{
    return Local([&](const FeatureInfo& info) {
        if (info.type != KelFeatureDataEnum)
            return KelError::WrongType;
        std::vector<std::int64_t> list;
        for (const auto& e : info.entries)
            list.push_back(e.entry.GetValue());
        return FillList(list, values, count);
    });
}

KelErrorType AravisFeature::GetEntry(EnumEntry& entry, const char* name) const
{
    return Local([&](const FeatureInfo& info) {
        if (!name)
            return KelError::BadParameter;
        if (info.type != KelFeatureDataEnum)
            return KelError::WrongType;
        const int i = info.EntryByName(name);
        if (i < 0)
            return KelError::NotFound;
        entry = info.entries[static_cast<std::size_t>(i)].entry;
        return KelError::Success;
    });
}

KelErrorType AravisFeature::GetEntries(EnumEntry* entries, std::uint32_t& count) const
{
    return Local([&](const FeatureInfo& info) {
        if (info.type != KelFeatureDataEnum)
            return KelError::WrongType;
        std::vector<EnumEntry> list;
        for (const auto& e : info.entries)
            list.push_back(e.entry);
        return FillList(list, entries, count);
    });
}

KelErrorType AravisFeature::IsValueAvailable(const char* name, bool& available) const
{
    return Device([&](AravisCore& c, int f) {
        if (!name)
            return KelError::BadParameter;
        if (c.Info(f).type != KelFeatureDataEnum)
            return KelError::WrongType;
        const int entry = c.Info(f).EntryByName(name);
        return entry < 0 ? KelError::NotFound : c.IsEntryAvailable(f, entry, available);
    });
}

KelErrorType AravisFeature::IsValueAvailable(std::int64_t value, bool& available) const
{
    return Device([&](AravisCore& c, int f) {
        if (c.Info(f).type != KelFeatureDataEnum)
            return KelError::WrongType;
        const int entry = c.Info(f).EntryByValue(value);
        return entry < 0 ? KelError::NotFound : c.IsEntryAvailable(f, entry, available);
    });
}

KelErrorType AravisFeature::GetValidValueSet(std::int64_t* values, std::uint32_t& count) const
{
    // GenICam describes integers by range and increment only.
    return Local([&](const FeatureInfo& info) {
        if (info.type != KelFeatureDataInt)
            return KelError::WrongType;
        return FillList(std::vector<std::int64_t>(), values, count);
    });
}

KelErrorType AravisFeature::GetAvailableValues(const char** names, std::uint32_t& count) const
{
    return Device([&](AravisCore& c, int f) {
        const FeatureInfo& info = c.Info(f);
        if (info.type != KelFeatureDataEnum)
            return KelError::WrongType;
        std::vector<int> available;
        if (const KelErrorType err = c.GetAvailableEntries(f, available))
            return err;
        std::vector<const char*> list;
        for (int e : available)
            list.push_back(info.entries[static_cast<std::size_t>(e)].entry.GetName().c_str());
        return FillList(list, names, count);
    });
}

KelErrorType AravisFeature::RunCommand()
{
    return Device([&](AravisCore& c, int f) { return c.RunCommand(f); });
}

KelErrorType AravisFeature::IsCommandDone(bool& done) const
{
    return Device([&](AravisCore& c, int f) { return c.IsCommandDone(f, done); });
}

KelErrorType AravisFeature::IsReadable(bool& readable) const
{
    return Device([&](AravisCore& c, int f) { return c.IsReadable(f, readable); });
}

KelErrorType AravisFeature::IsWritable(bool& writable) const
{
    return Device([&](AravisCore& c, int f) { return c.IsWritable(f, writable); });
}

KelErrorType AravisFeature::GetDataType(KelFeatureDataType& type) const
{
    return Local([&](const FeatureInfo& info) {
        type = info.type;
        return KelError::Success;
    });
}

KelErrorType AravisFeature::GetFlags(KelFeatureFlagsType& flags) const
{
    return Local([&](const FeatureInfo& info) {
        flags = MakeFlags(info.readable, info.writable, info.isVolatile, false);
        return KelError::Success;
    });
}

KelErrorType AravisFeature::GetVisibility(KelFeatureVisibilityType& visibility) const
{
    return Local([&](const FeatureInfo& info) {
        visibility = info.visibility;
        return KelError::Success;
    });
}

KelErrorType AravisFeature::GetName(char* buffer, std::uint32_t& length) const
{
    return Local([&](const FeatureInfo& info) { return FillText(info.name, buffer, length); });
}

KelErrorType AravisFeature::GetDisplayName(char* buffer, std::uint32_t& length) const
{
    return Local([&](const FeatureInfo& info) { return FillText(info.displayName, buffer, length); });
}

KelErrorType AravisFeature::GetCategory(char* buffer, std::uint32_t& length) const
{
    return Local([&](const FeatureInfo& info) { return FillText(info.category, buffer, length); });
}

KelErrorType AravisFeature::GetUnit(char* buffer, std::uint32_t& length) const
{
    return Local([&](const FeatureInfo& info) { return FillText(info.unit, buffer, length); });
}

KelErrorType AravisFeature::GetRepresentation(char* buffer, std::uint32_t& length) const
{
    return Local([&](const FeatureInfo& info) { return FillText(info.representation, buffer, length); });
}

KelErrorType AravisFeature::GetToolTip(char* buffer, std::uint32_t& length) const
{
    return Local([&](const FeatureInfo& info) { return FillText(info.toolTip, buffer, length); });
}

KelErrorType AravisFeature::GetDescription(char* buffer, std::uint32_t& length) const
{
    return Local([&](const FeatureInfo& info) { return FillText(info.description, buffer, length); });
}

KelErrorType AravisFeature::GetSelectedFeatures(std::shared_ptr<Feature>* features,
                                                std::uint32_t& count) const
{
    const std::shared_ptr<AravisCore> c = core.lock();
    if (!c)
        return KelError::NotOpen;
    return c->Local([&] {
        std::vector<std::shared_ptr<Feature>> list;
        for (int s : c->Info(index).selected)
            list.push_back(c->Features()[static_cast<std::size_t>(s)]);
        return FillList(list, features, count);
    });
}

KelErrorType AravisFeature::RegisterObserver(const std::shared_ptr<IFeatureObserver>& observer)
{
    const std::shared_ptr<AravisCore> c = core.lock();
    if (!c)
        return KelError::NotOpen;
    return c->Local([&] { return c->Register(index, observer); });
}

KelErrorType AravisFeature::UnregisterObserver(const std::shared_ptr<IFeatureObserver>& observer)
{
    const std::shared_ptr<AravisCore> c = core.lock();
    if (!c)
        return KelError::NotOpen;
    return c->Local([&] { return c->Unregister(index, observer); });
}

} // namespace Aravis
} // namespace KelCPP
