#ifndef KELCPP_KELCPPTYPES_H
#define KELCPP_KELCPPTYPES_H

#include <cstdint>

namespace KelCPP {

// Result of every camera call: 0 is success, anything else a failure.
// Backends may return codes not listed here; callers must treat every
// non-zero value as a failure.
using KelErrorType = std::int32_t;

namespace KelError {
constexpr KelErrorType Success = 0;
constexpr KelErrorType Internal = -1;        // unexpected fault inside the backend
constexpr KelErrorType NotOpen = -2;         // the camera behind the feature is gone
constexpr KelErrorType NotFound = -3;        // no such feature, entry or observer
constexpr KelErrorType InvalidAccess = -6;   // not readable / not writable now
constexpr KelErrorType BadParameter = -7;    // null or empty argument
constexpr KelErrorType MoreData = -9;        // caller's buffer too small
constexpr KelErrorType WrongType = -10;      // operation does not fit the feature's type
constexpr KelErrorType InvalidValue = -11;   // out of range, off the increment, unknown entry
constexpr KelErrorType Timeout = -12;
constexpr KelErrorType Other = -13;
constexpr KelErrorType Resources = -14;      // out of memory
constexpr KelErrorType NotAvailable = -16;   // enumeration entry exists but cannot be chosen now
constexpr KelErrorType NotImplemented = -17;
constexpr KelErrorType IO = -20;             // transport failure

// A short English name for a code ("NotFound"), or "Unknown".
const char* Name(KelErrorType code);
} // namespace KelError

// Plain (unscoped) enumerations with a fixed width, so that a backend can
// pass on values a newer device reports even when they are not named here.
enum KelFeatureDataType : std::uint32_t {
    KelFeatureDataUnknown = 0,
    KelFeatureDataInt = 1,
    KelFeatureDataFloat = 2,
    KelFeatureDataEnum = 3,
    KelFeatureDataString = 4,
    KelFeatureDataBool = 5,
    KelFeatureDataCommand = 6,
    KelFeatureDataRaw = 7,
};

// Bit set.
enum KelFeatureFlagsType : std::uint32_t {
    KelFeatureFlagsNone = 0,
    KelFeatureFlagsRead = 1,
    KelFeatureFlagsWrite = 2,
    KelFeatureFlagsVolatile = 8,     // the value may change without a write
    KelFeatureFlagsModifyWrite = 16, // a write may be adjusted by the device
};

inline KelFeatureFlagsType MakeFlags(bool readable, bool writable, bool isVolatile, bool modifyWrite)
{
    return static_cast<KelFeatureFlagsType>((readable ? KelFeatureFlagsRead : KelFeatureFlagsNone) | (writable ? KelFeatureFlagsWrite : KelFeatureFlagsNone)
                                            | (isVolatile ? KelFeatureFlagsVolatile : KelFeatureFlagsNone)
                                            | (modifyWrite ? KelFeatureFlagsModifyWrite : KelFeatureFlagsNone));
}

enum KelFeatureVisibilityType : std::uint32_t {
    KelFeatureVisibilityUnknown = 0,
    KelFeatureVisibilityBeginner = 1,
    KelFeatureVisibilityExpert = 2,
    KelFeatureVisibilityGuru = 3,
    KelFeatureVisibilityInvisible = 4,
};

// Why an observer is told of a feature: bits, since one notification may
// stand for several changes merged while it waited.
enum KelFeatureChangeType : std::uint32_t {
    KelFeatureChangeNone = 0,
    // Its value, access, range or available entries may have changed.
    KelFeatureChangeValue = 1,
    // Only a selector that governs it moved: it now answers for another
    // selector entry, and nothing it holds for any entry changed. A client
    // that shows the feature entry by entry has nothing to read again.
    KelFeatureChangeSelector = 2,
};

} // namespace KelCPP

#endif
