#ifndef KELCPP_ENUMENTRY_H
#define KELCPP_ENUMENTRY_H

#include "kelcpptypes.h"

#include <cstdint>
#include <string>

namespace KelCPP {

// One entry of an enumeration feature, as the device describes it. A plain
// value: copying it copies a snapshot, it does not follow the device.
class EnumEntry {
public:
    EnumEntry() = default;
    EnumEntry(std::string name, std::int64_t value, std::string displayName = {},
              std::string description = {}, std::string toolTip = {},
              KelFeatureVisibilityType visibility = KelFeatureVisibilityBeginner)
        : name(std::move(name)), displayName(std::move(displayName)),
          description(std::move(description)), toolTip(std::move(toolTip)),
          value(value), visibility(visibility)
    {
    }

    const std::string& GetName() const { return name; }
    // Falls back to the name when the device gave no display name.
    const std::string& GetDisplayName() const { return displayName.empty() ? name : displayName; }
    const std::string& GetDescription() const { return description; }
    const std::string& GetToolTip() const { return toolTip; }
    std::int64_t GetValue() const { return value; }
    KelFeatureVisibilityType GetVisibility() const { return visibility; }

private:
    std::string name;
    std::string displayName;
    std::string description;
    std::string toolTip;
    std::int64_t value = 0;
    KelFeatureVisibilityType visibility = KelFeatureVisibilityBeginner;
};

} // namespace KelCPP

#endif
