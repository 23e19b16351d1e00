#ifndef KELCPP_FEATURE_H
#define KELCPP_FEATURE_H

#include "enumentry.h"
#include "kelcpptypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace KelCPP {

class IFeatureObserver;

// One named parameter of a camera. Every operation returns a KelErrorType
// and writes its outputs only on success unless stated otherwise.
//
// A backend implements the pure virtual operations. Text and list results
// come in a low-level form that follows the two-call pattern:
//   - called with a null buffer, it sets `length`/`count` to the size needed
//     (bytes of text without a terminator, or number of elements);
//   - called with a buffer whose capacity is passed in `length`/`count`, it
//     fills the buffer and sets `length`/`count` to the size it filled; when
//     the capacity is too small it returns KelError::MoreData.
// The std::string and std::vector forms are implemented once here on top of
// the low-level ones; a length of 0 empties the result and is a success.
// Texts are first fetched into a buffer of their usual size, so that a text
// costs one call unless it is longer.
// Texts are UTF-8 and may contain NUL bytes; nothing here cuts them.
//
// Every operation may be called from any thread. Observers are called on a
// thread the backend owns (see IFeatureObserver).
class Feature {
public:
    virtual ~Feature();

    // Values
    virtual KelErrorType GetValue(std::int64_t& value) const = 0;
    virtual KelErrorType GetValue(double& value) const = 0;
    virtual KelErrorType GetValue(bool& value) const = 0;
    virtual KelErrorType GetValue(char* buffer, std::uint32_t& length) const = 0;
    // Raw data: `size` is the capacity in and the device's data size out;
    // `sizeFilled` is how many bytes were copied.
    virtual KelErrorType GetValue(std::uint8_t* buffer, std::uint32_t& size,
                                  std::uint32_t& sizeFilled) const = 0;
    KelErrorType GetValue(std::string& value) const;
    // The vector takes the device's data size, zero-filled past `sizeFilled`.
    KelErrorType GetValue(std::vector<std::uint8_t>& value, std::uint32_t& sizeFilled) const;
    KelErrorType GetValue(std::vector<std::uint8_t>& value) const;

    virtual KelErrorType SetValue(std::int64_t value) = 0;
    virtual KelErrorType SetValue(double value) = 0;
    virtual KelErrorType SetValue(bool value) = 0;
    virtual KelErrorType SetValue(const char* value) = 0; // enumeration entry name or string
    virtual KelErrorType SetValue(const std::uint8_t* data, std::uint32_t size) = 0;

    // Limits: the current ones, which may depend on other features.
    virtual KelErrorType GetRange(std::int64_t& min, std::int64_t& max) const = 0;
    virtual KelErrorType GetRange(double& min, double& max) const = 0;
    virtual KelErrorType HasIncrement(bool& hasIncrement) const = 0;
    virtual KelErrorType GetIncrement(double& increment) const = 0;
    virtual KelErrorType GetIncrement(std::int64_t& increment) const = 0;

    // Enumerations. Entries come in the device's order; entry name pointers
    // stay valid as long as the feature lives.
    virtual KelErrorType GetValues(const char** names, std::uint32_t& count) const = 0;
    virtual KelErrorType GetValues(std::int64_t* values, std::uint32_t& count) const = 0;
    virtual KelErrorType GetEntry(EnumEntry& entry, const char* name) const = 0;
    virtual KelErrorType GetEntries(EnumEntry* entries, std::uint32_t& count) const = 0;
    // Whether the entry can be chosen now.
    virtual KelErrorType IsValueAvailable(const char* name, bool& available) const = 0;
    virtual KelErrorType IsValueAvailable(std::int64_t value, bool& available) const = 0;
    // Integer features with a list of permitted values rather than a grid.
    virtual KelErrorType GetValidValueSet(std::int64_t* values, std::uint32_t& count) const = 0;
    // The entries that can be chosen now, in the device's order: what
    // IsValueAvailable says of each entry, in one call. The default asks
    // entry by entry; a backend that can do better overrides it.
    virtual KelErrorType GetAvailableValues(const char** names, std::uint32_t& count) const;
    KelErrorType GetValues(std::vector<std::string>& names) const;
    // Needs one low-level call: the entry list tells the capacity.
    KelErrorType GetAvailableValues(std::vector<std::string>& names) const;
    KelErrorType GetValues(std::vector<std::int64_t>& values) const;
    KelErrorType GetEntries(std::vector<EnumEntry>& entries) const;
    KelErrorType GetValidValueSet(std::vector<std::int64_t>& values) const;

    // Commands: RunCommand returns once the command has been started.
    virtual KelErrorType RunCommand() = 0;
    virtual KelErrorType IsCommandDone(bool& done) const = 0;

    // Access: the current rights, which may depend on other features.
    virtual KelErrorType IsReadable(bool& readable) const = 0;
    virtual KelErrorType IsWritable(bool& writable) const = 0;
    virtual KelErrorType GetDataType(KelFeatureDataType& type) const = 0;
    virtual KelErrorType GetFlags(KelFeatureFlagsType& flags) const = 0;
    virtual KelErrorType GetVisibility(KelFeatureVisibilityType& visibility) const = 0;

    // Texts. GetName gives the exact name to look the feature up by.
    virtual KelErrorType GetName(char* buffer, std::uint32_t& length) const = 0;
    virtual KelErrorType GetDisplayName(char* buffer, std::uint32_t& length) const = 0;
    virtual KelErrorType GetCategory(char* buffer, std::uint32_t& length) const = 0;
    virtual KelErrorType GetUnit(char* buffer, std::uint32_t& length) const = 0;
    virtual KelErrorType GetRepresentation(char* buffer, std::uint32_t& length) const = 0;
    virtual KelErrorType GetToolTip(char* buffer, std::uint32_t& length) const = 0;
    virtual KelErrorType GetDescription(char* buffer, std::uint32_t& length) const = 0;
    KelErrorType GetName(std::string& name) const;
    KelErrorType GetDisplayName(std::string& displayName) const;
    KelErrorType GetCategory(std::string& category) const;
    KelErrorType GetUnit(std::string& unit) const;
    KelErrorType GetRepresentation(std::string& representation) const;
    KelErrorType GetToolTip(std::string& toolTip) const;
    KelErrorType GetDescription(std::string& description) const;

    // Selectors: the features whose value depends on this one's.
    virtual KelErrorType GetSelectedFeatures(std::shared_ptr<Feature>* features,
                                             std::uint32_t& count) const = 0;
    KelErrorType GetSelectedFeatures(std::vector<std::shared_ptr<Feature>>& features) const;

    // Observers: NotifyFeatureChanges is called on the backend's notification
    // thread after the feature's value, access or entries may have changed,
    // and after a selector that governs it moved (KelFeatureChangeType).
    // Registering the same observer twice is refused with KelError::BadParameter;
    // unregistering one that is not registered gives KelError::NotFound.
    // A callback already under way may still arrive after UnregisterObserver.
    virtual KelErrorType RegisterObserver(const std::shared_ptr<IFeatureObserver>& observer) = 0;
    virtual KelErrorType UnregisterObserver(const std::shared_ptr<IFeatureObserver>& observer) = 0;

protected:
    Feature() = default;
    Feature(const Feature&) = delete;
    Feature& operator=(const Feature&) = delete;
};

using FeaturePtr = std::shared_ptr<Feature>;
using FeaturePtrVector = std::vector<FeaturePtr>;

} // namespace KelCPP

#endif
