#ifndef KELCPP_ARAVIS_ARAVISFEATURE_H
#define KELCPP_ARAVIS_ARAVISFEATURE_H

#include "../feature.h"

#include <memory>

namespace KelCPP {
namespace Aravis {

class AravisCore;

// A feature of an Aravis camera: a handle on one feature of the core. It
// holds the core weakly, so a feature kept after its camera closed answers
// KelError::NotOpen instead of keeping the camera alive.
class AravisFeature final : public Feature {
public:
    AravisFeature(std::weak_ptr<AravisCore> core, int index);

    using Feature::GetCategory;
    using Feature::GetDescription;
    using Feature::GetDisplayName;
    using Feature::GetAvailableValues;
    using Feature::GetEntries;
    using Feature::GetName;
    using Feature::GetRepresentation;
    using Feature::GetSelectedFeatures;
    using Feature::GetToolTip;
    using Feature::GetUnit;
    using Feature::GetValidValueSet;
    using Feature::GetValue;
    using Feature::GetValues;

    KelErrorType GetValue(std::int64_t& value) const override;
    KelErrorType GetValue(double& value) const override;
    KelErrorType GetValue(bool& value) const override;
    KelErrorType GetValue(char* buffer, std::uint32_t& length) const override;
    KelErrorType GetValue(std::uint8_t* buffer, std::uint32_t& size,
                          std::uint32_t& sizeFilled) const override;
    KelErrorType SetValue(std::int64_t value) override;
    KelErrorType SetValue(double value) override;
    KelErrorType SetValue(bool value) override;
    KelErrorType SetValue(const char* value) override;
    KelErrorType SetValue(const std::uint8_t* data, std::uint32_t size) override;
    KelErrorType GetRange(std::int64_t& min, std::int64_t& max) const override;
    KelErrorType GetRange(double& min, double& max) const override;
    KelErrorType HasIncrement(bool& hasIncrement) const override;
    KelErrorType GetIncrement(double& increment) const override;
    KelErrorType GetIncrement(std::int64_t& increment) const override;
    KelErrorType GetValues(const char** names, std::uint32_t& count) const override;
    KelErrorType GetValues(std::int64_t* values, std::uint32_t& count) const override;
    KelErrorType GetEntry(EnumEntry& entry, const char* name) const override;
    KelErrorType GetEntries(EnumEntry* entries, std::uint32_t& count) const override;
    KelErrorType IsValueAvailable(const char* name, bool& available) const override;
    KelErrorType IsValueAvailable(std::int64_t value, bool& available) const override;
    KelErrorType GetValidValueSet(std::int64_t* values, std::uint32_t& count) const override;
    KelErrorType GetAvailableValues(const char** names, std::uint32_t& count) const override;
    KelErrorType RunCommand() override;
    KelErrorType IsCommandDone(bool& done) const override;
    KelErrorType IsReadable(bool& readable) const override;
    KelErrorType IsWritable(bool& writable) const override;
    KelErrorType GetDataType(KelFeatureDataType& type) const override;
    KelErrorType GetFlags(KelFeatureFlagsType& flags) const override;
    KelErrorType GetVisibility(KelFeatureVisibilityType& visibility) const override;
    KelErrorType GetName(char* buffer, std::uint32_t& length) const override;
    KelErrorType GetDisplayName(char* buffer, std::uint32_t& length) const override;
    KelErrorType GetCategory(char* buffer, std::uint32_t& length) const override;
    KelErrorType GetUnit(char* buffer, std::uint32_t& length) const override;
    KelErrorType GetRepresentation(char* buffer, std::uint32_t& length) const override;
    KelErrorType GetToolTip(char* buffer, std::uint32_t& length) const override;
    KelErrorType GetDescription(char* buffer, std::uint32_t& length) const override;
    KelErrorType GetSelectedFeatures(std::shared_ptr<Feature>* features,
                                     std::uint32_t& count) const override;
    KelErrorType RegisterObserver(const std::shared_ptr<IFeatureObserver>& observer) override;
    KelErrorType UnregisterObserver(const std::shared_ptr<IFeatureObserver>& observer) override;

private:
    // A call that needs the device, and one the description answers.
    template <typename Body>
    KelErrorType Device(Body&& body) const;
    template <typename Body>
    KelErrorType Local(Body&& body) const;

    std::weak_ptr<AravisCore> core;
    int index;
};

} // namespace Aravis
} // namespace KelCPP

#endif
