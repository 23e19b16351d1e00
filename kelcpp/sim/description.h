#ifndef KELCPP_SIM_DESCRIPTION_H
#define KELCPP_SIM_DESCRIPTION_H

// The parsed form of a camera description file (docs/camera-description.md).
// Immutable once loaded; the simulator keeps the values apart.

#include "../kelcpptypes.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace KelCPP {
namespace Sim {

// The most a description may ask for (docs/camera-description.md, "Limits").
// A real camera stays far below each; they keep a broken or hostile file
// from exhausting the loader's memory, time or stack, and the simulator's.
namespace Limits {
constexpr std::size_t FileBytes = 16u << 20;       // the file, or the text given to ParseDescription
constexpr int Depth = 64;                          // nesting of JSON arrays and objects
constexpr std::size_t JsonValues = 1000000;        // array elements and object members together
constexpr std::size_t Features = 10000;
constexpr std::size_t Entries = 4096;              // of an enumeration
constexpr std::size_t ValidValues = 4096;          // of an Integer's validValues
constexpr std::uint64_t SelectorValues = 4096;     // that a selector can take
constexpr std::int64_t SelectorMin = INT32_MIN;    // an Integer selector's min, max and inc
constexpr std::int64_t SelectorMax = INT32_MAX;
constexpr std::size_t ConditionValues = 4096;      // listed for one feature in a condition
constexpr std::int64_t MaxLength = 65536;          // a String's maxLength
constexpr std::int64_t RawSize = 1 << 20;          // a Raw feature's size
constexpr std::uint64_t RawTotal = 64u << 20;      // raw data of all copies the camera keeps
constexpr int ChainLinks = 16;                     // selectors above a feature; links a write follows in a row
constexpr std::size_t Affected = 1024;             // features one write may affect
constexpr std::size_t WriteLinks = 4096;           // links followed to find them
constexpr std::int64_t LiveNotifyIntervalMs = 3600000;
constexpr std::int64_t TickMs = 10000;
constexpr double FrameRateMinHz = 0.001;
constexpr double FrameRateMaxHz = 1e6;
constexpr std::size_t QuotedBytes = 40;            // of a name or value quoted in an error message
} // namespace Limits

// One feature value. Which member counts depends on the feature's type;
// enumerations keep the entry's integer value.
struct Value {
    std::int64_t i = 0;
    double f = 0.0;
    bool b = false;
    std::string s;
    std::vector<std::uint8_t> raw;
};

struct Condition {
    struct Clause {
        int feature = -1;
        bool negate = false;
        std::vector<std::string> values; // as value texts
    };
    std::vector<Clause> clauses;
    bool Empty() const { return clauses.empty(); }
};

struct EntryDef {
    std::string name;
    std::string displayName;
    std::string description;
    std::string toolTip;
    std::int64_t value = 0;
    KelFeatureVisibilityType visibility = KelFeatureVisibilityBeginner;
    Condition available;
};

struct Effect {
    enum class Kind { Set, Copy };
    Kind kind = Kind::Set;
    int target = -1;
    int source = -1; // Copy
    Value value;     // Set
};

struct FeatureDef {
    std::string name;
    std::string displayName;
    std::string description;
    std::string toolTip;
    std::string category;
    std::string unit;
    std::string representation;
    KelFeatureDataType type = KelFeatureDataUnknown;
    KelFeatureVisibilityType visibility = KelFeatureVisibilityBeginner;
    bool readable = true; // by access, before conditions
    bool writable = true;
    bool isVolatile = false;
    bool modifyWrite = false;

    std::int64_t imin = 0, imax = INT64_MAX, iinc = 1;
    std::vector<std::int64_t> validValues; // sorted
    double fmin = 0.0, fmax = 1e300, finc = 0.0;
    bool hasFinc = false;
    std::vector<EntryDef> entries;
    std::size_t maxLength = 256;
    std::size_t rawSize = 16;

    Value initial;
    std::map<std::string, Value> initialPerEntry; // selector value text -> value

    int selector = -1;
    std::vector<int> selected;  // features this selector governs, in file order
    Condition available;
    Condition writableWhen;
    std::vector<Effect> onExecute;
    // Features that may look different when this one is written: what it
    // selects and whatever names it in a condition, followed transitively,
    // without the feature itself. `moved` are the ones among them that this
    // feature selects, directly or through selected selectors: they only
    // answer for another entry now. `affected` are the rest, whose value,
    // access or entries may really have changed.
    std::vector<int> affected;
    std::vector<int> moved;

    int EntryIndexByName(const std::string& entryName) const;
    int EntryIndexByValue(std::int64_t entryValue) const;
};

struct InputSignal {
    bool constant = true;
    bool level = false;
    std::int64_t periodUs = 0;
    std::int64_t highUs = 0;
    std::int64_t phaseUs = 0;

    bool LevelAt(std::int64_t timeUs) const;
    // The first time after `timeUs` at which the level changes, or INT64_MAX.
    std::int64_t NextEdgeAfter(std::int64_t timeUs) const;
};

struct SimulationDef {
    std::map<std::string, InputSignal> inputSignals;
    double frameRateHz = 10.0;
    std::int64_t liveNotifyIntervalUs = 250000;
    int tickMs = 20;
    std::uint64_t seed = 1;
};

struct Description {
    std::vector<FeatureDef> features;
    std::map<std::string, int> index;
    SimulationDef simulation;

    int Find(const std::string& name) const;
};

// Parses and checks a description. On failure returns false with a one-line
// message naming the feature and the problem.
bool ParseDescription(const std::string& json, Description& out, std::string& error);

// Reads a description file: a regular file within Limits::FileBytes. On
// failure returns false with a one-line reason (without the path).
bool ReadDescriptionFile(const std::string& path, std::string& text, std::string& error);

// Whether a write of this number would be accepted: within the range and on
// the grid min + k * inc (or in the list of valid values).
bool IsAllowedInt(const FeatureDef& def, std::int64_t value);
bool IsAllowedFloat(const FeatureDef& def, double value);

// The text form of a value that conditions and the call log compare and show:
// decimal integers, entry names, "true"/"false", shortest round-trip floats.
std::string ValueText(const FeatureDef& def, const Value& value);
std::string FloatText(double value);

} // namespace Sim
} // namespace KelCPP

#endif
