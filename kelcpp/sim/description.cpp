#include "description.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>

namespace KelCPP {
namespace Sim {

using nlohmann::json;

namespace {

// Every problem in a description ends the load with one of these.
struct DescriptionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what)
{
    throw DescriptionError(where.empty() ? what : where + ": " + what);
}

// A text from the file as a message may show it: on one line, and cut at a
// character boundary so that an absurd name cannot make an absurd message.
std::string Shorten(const std::string& text, std::size_t maxBytes)
{
    std::size_t cut = text.size();
    if (cut > maxBytes) {
        cut = maxBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut; // not inside a UTF-8 sequence
    }
    std::string out;
    for (std::size_t i = 0; i < cut; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (cut < text.size())
        out += "...";
    return out;
}

std::string Quote(const std::string& text)
{
    return "'" + Shorten(text, Limits::QuotedBytes) + "'";
}

// An offending JSON value for a message. Never dump() a whole value: it may
// be megabytes long, or nested deep enough to exhaust the stack.
std::string Describe(const json& value)
{
    if (value.is_string())
        return "the text " + Quote(value.get_ref<const std::string&>());
    if (value.is_array())
        return "an array";
    if (value.is_object())
        return "an object";
    return value.dump(); // a number, true, false or null: short
}

std::string FeatureWhere(const std::string& name)
{
    return "feature " + Quote(name);
}

using KeySet = std::set<std::string>;

void CheckKeys(const json& object, const KeySet& allowed, const std::string& where)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!allowed.count(it.key()))
            Fail(where, "unknown key " + Quote(it.key()));
    }
}

// The member `key` of an object, or null when it has none.
const json* Member(const json& object, const char* key)
{
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::string GetString(const json& object, const char* key, const std::string& where,
                      const std::string& fallback = {})
{
    const json* value = Member(object, key);
    if (!value)
        return fallback;
    if (!value->is_string())
        Fail(where, std::string("'") + key + "' must be a string");
    return value->get<std::string>();
}

bool GetBool(const json& object, const char* key, const std::string& where, bool fallback)
{
    const json* value = Member(object, key);
    if (!value)
        return fallback;
    if (!value->is_boolean())
        Fail(where, std::string("'") + key + "' must be true or false");
    return value->get<bool>();
}

// Integers may be given as JSON numbers or, for values beyond what a JSON
// number carries exactly (64-bit clock identities), as "0x..." or decimal text.
std::int64_t ToInt64(const json& value, const std::string& where)
{
    if (value.is_number_unsigned()) {
        if (value.get<std::uint64_t>() > std::uint64_t(INT64_MAX))
            Fail(where, "integer " + value.dump() + " out of the 64-bit signed range");
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    if (value.is_number_integer())
        return value.get<std::int64_t>();
    if (value.is_number_float()) {
        const double d = value.get<double>();
        // 2^63 is exact as a double; everything below it converts exactly.
        if (std::trunc(d) != d || !(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
            Fail(where, "expected an integer, got " + value.dump());
        return static_cast<std::int64_t>(d);
    }
    if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        errno = 0;
        char* end = nullptr;
        if (hex) {
            const unsigned long long parsed = std::strtoull(text.c_str() + 2, &end, 16);
            if (errno || *end || text[2] == '-' || text[2] == '+' || parsed > std::uint64_t(INT64_MAX))
                Fail(where, "bad hexadecimal integer " + Quote(text));
            return static_cast<std::int64_t>(parsed);
        }
        const long long parsed = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || errno || *end)
            Fail(where, "bad integer " + Quote(text));
        return parsed;
    }
    Fail(where, "expected an integer, got " + Describe(value));
}

double ToDouble(const json& value, const std::string& where)
{
    if (!value.is_number())
        Fail(where, "expected a number, got " + Describe(value));
    return value.get<double>();
}

// The integer member `key` of an object, which must lie in [min, max].
std::int64_t ToInt64In(const json& value, std::int64_t min, std::int64_t max, const std::string& where,
                       const char* key)
{
    const std::int64_t v = ToInt64(value, where + ", " + key);
    if (v < min || v > max)
        Fail(where, std::string(key) + " must be between " + std::to_string(min) + " and " + std::to_string(max)
                        + ", not " + std::to_string(v));
    return v;
}

KelFeatureDataType ParseType(const std::string& text, const std::string& where)
{
    static const std::map<std::string, KelFeatureDataType> types = {
        {"Integer", KelFeatureDataInt},   {"Float", KelFeatureDataFloat},
        {"Enumeration", KelFeatureDataEnum}, {"String", KelFeatureDataString},
        {"Boolean", KelFeatureDataBool},  {"Command", KelFeatureDataCommand},
        {"Raw", KelFeatureDataRaw},
    };
    const auto it = types.find(text);
    if (it == types.end())
        Fail(where, "unknown type " + Quote(text));
    return it->second;
}

KelFeatureVisibilityType ParseVisibility(const std::string& text, const std::string& where)
{
    static const std::map<std::string, KelFeatureVisibilityType> levels = {
        {"Unknown", KelFeatureVisibilityUnknown}, {"Beginner", KelFeatureVisibilityBeginner},
        {"Expert", KelFeatureVisibilityExpert},   {"Guru", KelFeatureVisibilityGuru},
        {"Invisible", KelFeatureVisibilityInvisible},
    };
    const auto it = levels.find(text);
    if (it == levels.end())
        Fail(where, "unknown visibility " + Quote(text));
    return it->second;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<std::uint8_t> ParseHexBytes(const std::string& text, std::size_t maxBytes, const std::string& where)
{
    if (text.size() % 2)
        Fail(where, "raw data needs pairs of hexadecimal digits");
    if (text.size() / 2 > maxBytes)
        Fail(where, "raw data longer than size");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            Fail(where, "bad hexadecimal digits " + Quote(text.substr(i, 2)));
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

void DefaultValue(FeatureDef& def)
{
    switch (def.type) {
    case KelFeatureDataInt:
        if (!def.validValues.empty())
            def.initial.i = def.validValues.front();
        else
            def.initial.i = (0 < def.imin || 0 > def.imax) ? def.imin : 0;
        break;
    case KelFeatureDataFloat:
        def.initial.f = (0.0 < def.fmin || 0.0 > def.fmax) ? def.fmin : 0.0;
        break;
    case KelFeatureDataEnum:
        def.initial.i = def.entries.front().value;
        break;
    case KelFeatureDataRaw:
        def.initial.raw.assign(def.rawSize, 0);
        break;
    default:
        break;
    }
}

std::string JsonValueText(const json& value, const std::string& where)
{
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_boolean())
        return value.get<bool>() ? "true" : "false";
    if (value.is_number_integer())
        return value.dump();
    if (value.is_number_float())
        return FloatText(value.get<double>());
    Fail(where, "a condition value must be a text, number or boolean, not " + Describe(value));
}

// How many values a selector can take, without listing them; saturates.
std::uint64_t SelectorValueCount(const FeatureDef& selector)
{
    if (selector.type == KelFeatureDataEnum)
        return selector.entries.size();
    if (!selector.validValues.empty())
        return selector.validValues.size();
    // imin <= imax, so the unsigned difference is exact.
    const std::uint64_t steps = (static_cast<std::uint64_t>(selector.imax) - static_cast<std::uint64_t>(selector.imin))
                                / static_cast<std::uint64_t>(selector.iinc);
    return steps == std::numeric_limits<std::uint64_t>::max() ? steps : steps + 1;
}

// Scans the text before the JSON parser sees it: nesting beyond a limit
// would cost the parser's and our stack, and a file of empty arrays builds a
// tree thirty times its size, so both are refused up front.
void CheckShape(const std::string& text)
{
    if (text.size() > Limits::FileBytes)
        Fail("", "larger than " + std::to_string(Limits::FileBytes >> 20) + " MiB");
    int depth = 0;
    std::size_t values = 0;
    std::size_t line = 1;
    bool inString = false;
    bool escaped = false;
    bool opened = false; // just after [ or {: the next token may be a first element
    for (const char c : text) {
        if (c == '\n')
            ++line;
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (opened && c != ']' && c != '}')
            ++values;
        opened = false;
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > Limits::Depth)
                Fail("", "nested deeper than " + std::to_string(Limits::Depth) + " levels (line "
                             + std::to_string(line) + ")");
            opened = true;
            break;
        case ']':
        case '}':
            depth = std::max(0, depth - 1); // the parser reports a stray one
            break;
        case ',':
            ++values;
            break;
        default:
            break;
        }
        if (values > Limits::JsonValues)
            Fail("", "more than " + std::to_string(Limits::JsonValues) + " JSON values (line "
                         + std::to_string(line) + ")");
    }
}

// nlohmann's message without its "[json.exception...] " tag, cut: the token
// it quotes may be a whole (long) string.
std::string JsonProblem(const json::exception& e)
{
    std::string text = e.what();
    const auto tag = text.find("] ");
    if (text.compare(0, 1, "[") == 0 && tag != std::string::npos)
        text.erase(0, tag + 2);
    return Shorten(text, 160);
}

// Conditions are resolved after every feature is known, since they may name
// features further down the file.
struct PendingCondition {
    enum class Slot { Available, Writable, Entry };
    int feature;
    Slot slot;
    int entry; // Slot::Entry only
    const json* source;
    std::string where;
};

// Builds a Description from a parsed JSON tree. Every check runs in time
// linear in the file: lookups go through indexes, never through a scan per
// use, and what a write affects is bounded per feature by the limits.
class Loader {
public:
    explicit Loader(Description& d)
        : desc(d)
    {
    }

    void Load(const json& root, const json& features)
    {
        if (features.size() > Limits::Features)
            Fail("", "more than " + std::to_string(Limits::Features) + " features");
        desc.features.reserve(features.size());
        entryIndex.resize(features.size());
        for (std::size_t i = 0; i < features.size(); ++i)
            ParseFeature(features[i], i);
        ResolveSelectors();
        for (const auto& pending : conditions)
            ResolveCondition(pending);
        ResolveEffects();
        ComputeAffected();
        if (const json* simulation = Member(root, "simulation"))
            ParseSimulation(*simulation);
    }

private:
    Description& desc;
    // Per enumeration: entry name to position. Ordered, so that no choice
    // of names can make the lookups slow, as colliding hashes could.
    std::vector<std::map<std::string, int>> entryIndex;
    // Things that can be checked only once every feature is known, in file order.
    std::vector<PendingCondition> conditions;
    std::vector<std::pair<int, std::string>> selectorNames;
    std::vector<std::pair<int, const json*>> perEntryValues;
    std::vector<std::pair<int, const json*>> effects;
    // Bytes of raw data the camera may come to hold, against Limits::RawTotal.
    std::uint64_t rawBytes = 0;

    int EntryIndex(int feature, const std::string& name) const
    {
        const auto& index = entryIndex[feature];
        const auto it = index.find(name);
        return it == index.end() ? -1 : it->second;
    }

    // Counts `copies` more copies of a Raw feature's data before they are made.
    void ChargeRaw(const FeatureDef& def, std::uint64_t copies, const std::string& where)
    {
        if (def.type != KelFeatureDataRaw)
            return;
        // rawSize <= 1 MiB and copies <= 4096 here, so nothing overflows.
        rawBytes += def.rawSize * copies;
        if (rawBytes > Limits::RawTotal)
            Fail(where, "the raw data kept for all Raw features (a copy per selector value, per-entry value "
                        "and effect) exceeds " + std::to_string(Limits::RawTotal >> 20) + " MiB");
    }

    // Parses a JSON value of the feature's type into `out`; checks it as a write would.
    void ParseValue(int feature, const json& value, Value& out, const std::string& where) const
    {
        const FeatureDef& def = desc.features[feature];
        switch (def.type) {
        case KelFeatureDataInt:
            out.i = ToInt64(value, where);
            if (!IsAllowedInt(def, out.i))
                Fail(where, "value " + std::to_string(out.i) + " outside the range or off the increment");
            break;
        case KelFeatureDataFloat:
            out.f = ToDouble(value, where);
            if (!IsAllowedFloat(def, out.f))
                Fail(where, "value " + FloatText(out.f) + " outside the range or off the increment");
            break;
        case KelFeatureDataEnum: {
            if (!value.is_string())
                Fail(where, "an enumeration value must be an entry name, not " + Describe(value));
            const int entry = EntryIndex(feature, value.get_ref<const std::string&>());
            if (entry < 0)
                Fail(where, "no entry " + Quote(value.get_ref<const std::string&>()));
            out.i = def.entries[entry].value;
            break;
        }
        case KelFeatureDataString:
            if (!value.is_string())
                Fail(where, "a string value must be a JSON string, not " + Describe(value));
            if (value.get_ref<const std::string&>().size() > def.maxLength)
                Fail(where, "text longer than maxLength");
            out.s = value.get<std::string>();
            break;
        case KelFeatureDataBool:
            if (!value.is_boolean())
                Fail(where, "a boolean value must be true or false, not " + Describe(value));
            out.b = value.get<bool>();
            break;
        case KelFeatureDataRaw:
            if (!value.is_string())
                Fail(where, "raw data must be a string of hexadecimal digit pairs, not " + Describe(value));
            out.raw = ParseHexBytes(value.get_ref<const std::string&>(), def.rawSize, where);
            out.raw.resize(def.rawSize, 0);
            break;
        default:
            Fail(where, "a command has no value");
        }
    }

    void ParseEntries(int feature, const json& entries, const std::string& where)
    {
        if (!entries.is_array() || entries.empty())
            Fail(where, "an enumeration needs a non-empty 'entries' array");
        if (entries.size() > Limits::Entries)
            Fail(where, "more than " + std::to_string(Limits::Entries) + " entries");
        static const KeySet entryKeys = {"name",        "value",      "displayName", "description",
                                         "tooltip",     "visibility", "availableWhen"};
        FeatureDef& def = desc.features[feature];
        auto& names = entryIndex[feature];
        std::set<std::int64_t> values;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const json& e = entries[i];
            EntryDef entry;
            entry.value = static_cast<std::int64_t>(i);
            if (e.is_string()) {
                entry.name = e.get<std::string>();
            } else if (e.is_object()) {
                const std::string entryWhere = where + ", entry " + std::to_string(i);
                CheckKeys(e, entryKeys, entryWhere);
                entry.name = GetString(e, "name", entryWhere);
                if (const json* value = Member(e, "value"))
                    entry.value = ToInt64(*value, entryWhere);
                entry.displayName = GetString(e, "displayName", entryWhere);
                entry.description = GetString(e, "description", entryWhere);
                entry.toolTip = GetString(e, "tooltip", entryWhere, entry.description);
                if (Member(e, "visibility"))
                    entry.visibility = ParseVisibility(GetString(e, "visibility", entryWhere), entryWhere);
                if (const json* available = Member(e, "availableWhen"))
                    conditions.push_back({feature, PendingCondition::Slot::Entry, static_cast<int>(i), available,
                                          where + ", entry " + Quote(entry.name)});
            } else {
                Fail(where, "an entry must be a name or an object, not " + Describe(e));
            }
            if (entry.name.empty())
                Fail(where, "an entry needs a name");
            if (!names.emplace(entry.name, static_cast<int>(i)).second)
                Fail(where, "entry " + Quote(entry.name) + " listed twice");
            if (!values.insert(entry.value).second)
                Fail(where, "entry " + Quote(entry.name) + " repeats the value " + std::to_string(entry.value));
            def.entries.push_back(std::move(entry));
        }
    }

    void ParseFeature(const json& f, std::size_t position)
    {
        const std::string unnamed = "features[" + std::to_string(position) + "]";
        if (!f.is_object())
            Fail(unnamed, "each feature must be an object, not " + Describe(f));
        const std::string name = GetString(f, "name", unnamed);
        if (name.empty())
            Fail(unnamed, "a feature needs a name");
        const std::string where = FeatureWhere(name);
        static const KeySet featureKeys = {
            "name",         "type",         "displayName",  "description", "tooltip",     "category",
            "unit",         "representation", "visibility", "access",      "volatile",    "modifyWrite",
            "value",        "values",       "selectedBy",   "availableWhen", "writableWhen", "onExecute",
            "min",          "max",          "inc",          "validValues", "entries",     "maxLength",
            "size"};
        CheckKeys(f, featureKeys, where);
        if (desc.index.count(name))
            Fail(where, "the name is used twice");

        const int index = static_cast<int>(desc.features.size());
        desc.features.emplace_back();
        desc.index[name] = index;
        FeatureDef& def = desc.features.back();
        def.name = name;
        def.type = ParseType(GetString(f, "type", where), where);
        def.displayName = GetString(f, "displayName", where, name);
        def.description = GetString(f, "description", where);
        def.toolTip = GetString(f, "tooltip", where, def.description);
        def.category = GetString(f, "category", where);
        def.unit = GetString(f, "unit", where);
        const bool numeric = def.type == KelFeatureDataInt || def.type == KelFeatureDataFloat;
        def.representation = GetString(f, "representation", where, numeric ? "Linear" : "");
        def.visibility = ParseVisibility(GetString(f, "visibility", where, "Beginner"), where);
        const std::string access = GetString(f, "access", where, "RW");
        if (access == "RW") {
            def.readable = def.writable = true;
        } else if (access == "RO") {
            def.readable = true;
            def.writable = false;
        } else if (access == "WO") {
            def.readable = false;
            def.writable = true;
        } else {
            Fail(where, "access must be RW, RO or WO");
        }
        def.isVolatile = GetBool(f, "volatile", where, false);
        def.modifyWrite = GetBool(f, "modifyWrite", where, false);

        auto only = [&](const char* key, bool allowed) {
            if (Member(f, key) && !allowed)
                Fail(where, std::string("'") + key + "' does not apply to this type");
        };
        only("min", numeric);
        only("max", numeric);
        only("inc", numeric);
        only("validValues", def.type == KelFeatureDataInt);
        only("entries", def.type == KelFeatureDataEnum);
        only("maxLength", def.type == KelFeatureDataString);
        only("size", def.type == KelFeatureDataRaw);
        only("onExecute", def.type == KelFeatureDataCommand);
        only("value", def.type != KelFeatureDataCommand);
        only("values", def.type != KelFeatureDataCommand);

        if (def.type == KelFeatureDataInt) {
            if (const json* min = Member(f, "min"))
                def.imin = ToInt64(*min, where + ", min");
            if (const json* max = Member(f, "max"))
                def.imax = ToInt64(*max, where + ", max");
            if (const json* inc = Member(f, "inc"))
                def.iinc = ToInt64(*inc, where + ", inc");
            if (def.iinc < 1)
                Fail(where, "inc must be at least 1");
            if (const json* valid = Member(f, "validValues")) {
                if (!valid->is_array() || valid->empty())
                    Fail(where, "validValues must be a non-empty array");
                if (valid->size() > Limits::ValidValues)
                    Fail(where, "more than " + std::to_string(Limits::ValidValues) + " validValues");
                for (const auto& v : *valid)
                    def.validValues.push_back(ToInt64(v, where + ", validValues"));
                std::sort(def.validValues.begin(), def.validValues.end());
                def.imin = def.validValues.front();
                def.imax = def.validValues.back();
            }
            if (def.imin > def.imax)
                Fail(where, "min is above max");
        } else if (def.type == KelFeatureDataFloat) {
            if (const json* min = Member(f, "min"))
                def.fmin = ToDouble(*min, where + ", min");
            if (const json* max = Member(f, "max"))
                def.fmax = ToDouble(*max, where + ", max");
            if (const json* inc = Member(f, "inc")) {
                def.finc = ToDouble(*inc, where + ", inc");
                def.hasFinc = true;
                if (!(def.finc > 0.0))
                    Fail(where, "inc must be above 0");
            }
            if (def.fmin > def.fmax)
                Fail(where, "min is above max");
        } else if (def.type == KelFeatureDataEnum) {
            static const json none;
            const json* entries = Member(f, "entries");
            ParseEntries(index, entries ? *entries : none, where);
        } else if (def.type == KelFeatureDataString) {
            if (const json* maxLength = Member(f, "maxLength"))
                def.maxLength = static_cast<std::size_t>(
                    ToInt64In(*maxLength, 0, Limits::MaxLength, where, "maxLength"));
        } else if (def.type == KelFeatureDataRaw) {
            if (const json* size = Member(f, "size"))
                def.rawSize = static_cast<std::size_t>(ToInt64In(*size, 0, Limits::RawSize, where, "size"));
            ChargeRaw(def, 1, where); // the start value
        }

        if (def.type != KelFeatureDataCommand) {
            DefaultValue(def);
            if (const json* value = Member(f, "value"))
                ParseValue(index, *value, def.initial, where + ", value");
        }
        if (const json* selectedBy = Member(f, "selectedBy")) {
            if (!selectedBy->is_string())
                Fail(where, "'selectedBy' must be a feature name");
            selectorNames.emplace_back(index, selectedBy->get<std::string>());
        }
        if (const json* values = Member(f, "values"))
            perEntryValues.emplace_back(index, values);
        if (const json* onExecute = Member(f, "onExecute"))
            effects.emplace_back(index, onExecute);
        if (const json* available = Member(f, "availableWhen"))
            conditions.push_back({index, PendingCondition::Slot::Available, -1, available, where + ", availableWhen"});
        if (const json* writable = Member(f, "writableWhen"))
            conditions.push_back({index, PendingCondition::Slot::Writable, -1, writable, where + ", writableWhen"});
    }

    // Whether `key` is the text of a value the selector can take, as per-entry
    // values name them: an entry name, or an integer in decimal.
    bool IsSelectorValue(int selector, const std::string& key) const
    {
        const FeatureDef& def = desc.features[selector];
        if (def.type == KelFeatureDataEnum)
            return EntryIndex(selector, key) >= 0;
        errno = 0;
        char* end = nullptr;
        const long long v = std::strtoll(key.c_str(), &end, 10);
        // Only the form std::to_string gives: the simulator looks values up by it.
        return !key.empty() && !errno && !*end && std::to_string(v) == key && IsAllowedInt(def, v);
    }

    void CheckSelector(int selector)
    {
        const FeatureDef& def = desc.features[selector];
        const std::string where = FeatureWhere(def.name);
        if (SelectorValueCount(def) > Limits::SelectorValues)
            Fail(where, "a selector with more than " + std::to_string(Limits::SelectorValues) + " values");
        // Stepping through the values, min + k * inc, then stays far from
        // the 64-bit limits wherever the simulator does it.
        if (def.type == KelFeatureDataInt
            && (def.imin < Limits::SelectorMin || def.imax > Limits::SelectorMax || def.iinc > Limits::SelectorMax))
            Fail(where, "a selector's min, max and inc must lie within the 32-bit range");
    }

    // Selectors may be selected themselves, but the chain must end, and soon.
    void CheckSelectorChains()
    {
        const int n = static_cast<int>(desc.features.size());
        constexpr int unknown = -1;
        constexpr int onPath = -2;
        std::vector<int> depth(n, unknown); // selectors above the feature
        std::vector<int> path;
        for (int i = 0; i < n; ++i) {
            path.clear();
            int at = i;
            while (at >= 0 && depth[at] == unknown) {
                depth[at] = onPath;
                path.push_back(at);
                at = desc.features[at].selector;
            }
            if (at >= 0 && depth[at] == onPath)
                Fail(FeatureWhere(desc.features[at].name), "its selectors select each other in a loop");
            int above = at < 0 ? -1 : depth[at];
            for (auto it = path.rbegin(); it != path.rend(); ++it) {
                depth[*it] = ++above;
                if (above > Limits::ChainLinks)
                    Fail(FeatureWhere(desc.features[*it].name),
                         "more than " + std::to_string(Limits::ChainLinks) + " selectors in a row above it");
            }
        }
    }

    void ResolveSelectors()
    {
        for (const auto& [feature, selectorName] : selectorNames) {
            FeatureDef& def = desc.features[feature];
            const std::string where = FeatureWhere(def.name);
            const int selector = desc.Find(selectorName);
            if (selector < 0)
                Fail(where, "selectedBy names unknown feature " + Quote(selectorName));
            if (selector == feature)
                Fail(where, "a feature cannot select itself");
            const FeatureDef& sel = desc.features[selector];
            if (sel.type != KelFeatureDataEnum && sel.type != KelFeatureDataInt)
                Fail(where, "selector " + Quote(selectorName) + " must be an Enumeration or Integer");
            def.selector = selector;
            desc.features[selector].selected.push_back(feature);
        }
        for (std::size_t i = 0; i < desc.features.size(); ++i) {
            if (!desc.features[i].selected.empty())
                CheckSelector(static_cast<int>(i));
        }
        CheckSelectorChains();
        // The camera keeps a copy of a feature's data per selector value.
        for (const FeatureDef& def : desc.features)
            ChargeRaw(def, def.selector < 0 ? 1 : SelectorValueCount(desc.features[def.selector]),
                      FeatureWhere(def.name));
        for (const auto& [feature, values] : perEntryValues) {
            FeatureDef& def = desc.features[feature];
            const std::string where = FeatureWhere(def.name) + ", values";
            if (def.selector < 0)
                Fail(where, "per-entry values need 'selectedBy'");
            if (!values->is_object())
                Fail(where, "'values' must map selector entries to values");
            for (auto it = values->begin(); it != values->end(); ++it) {
                if (!IsSelectorValue(def.selector, it.key()))
                    Fail(where, Quote(it.key()) + " is not a value of " + Quote(desc.features[def.selector].name));
                ChargeRaw(def, 1, where);
                Value v = def.initial;
                ParseValue(feature, *it, v, where + " " + Quote(it.key()));
                def.initialPerEntry[it.key()] = std::move(v);
            }
        }
    }

    Condition& ConditionSlot(const PendingCondition& pending)
    {
        FeatureDef& def = desc.features[pending.feature];
        switch (pending.slot) {
        case PendingCondition::Slot::Available: return def.available;
        case PendingCondition::Slot::Writable: return def.writableWhen;
        case PendingCondition::Slot::Entry: break;
        }
        return def.entries[pending.entry].available;
    }

    void ResolveCondition(const PendingCondition& pending)
    {
        const json& object = *pending.source;
        const std::string& where = pending.where;
        if (!object.is_object())
            Fail(where, "a condition must be an object of feature names");
        Condition& target = ConditionSlot(pending);
        for (auto it = object.begin(); it != object.end(); ++it) {
            Condition::Clause clause;
            clause.feature = desc.Find(it.key());
            if (clause.feature < 0)
                Fail(where, "condition names unknown feature " + Quote(it.key()));
            const FeatureDef& named = desc.features[clause.feature];
            if (named.type == KelFeatureDataCommand || named.type == KelFeatureDataRaw)
                Fail(where, "condition on " + Quote(it.key()) + ", which has no comparable value");
            const json* values = &*it;
            if (values->is_object()) {
                const json* negated = Member(*values, "not");
                if (values->size() != 1 || !negated)
                    Fail(where, "condition on " + Quote(it.key()) + ": only { \"not\": ... } is allowed");
                clause.negate = true;
                values = negated;
            }
            if (values->is_array()) {
                if (values->size() > Limits::ConditionValues)
                    Fail(where, "condition on " + Quote(it.key()) + " lists more than "
                                    + std::to_string(Limits::ConditionValues) + " values");
                for (const auto& v : *values)
                    clause.values.push_back(JsonValueText(v, where));
            } else {
                clause.values.push_back(JsonValueText(*values, where));
            }
            if (named.type == KelFeatureDataEnum) {
                for (const auto& v : clause.values) {
                    if (EntryIndex(clause.feature, v) < 0)
                        Fail(where, "condition on " + Quote(it.key()) + ": no entry " + Quote(v));
                }
            }
            target.clauses.push_back(std::move(clause));
        }
    }

    void ResolveEffects()
    {
        for (const auto& [feature, list] : effects) {
            const std::string where = FeatureWhere(desc.features[feature].name) + ", onExecute";
            if (!list->is_array())
                Fail(where, "must be an array of effects");
            std::vector<Effect> parsed;
            for (const auto& e : *list) {
                const json* set = e.is_object() ? Member(e, "set") : nullptr;
                const json* copy = e.is_object() ? Member(e, "copy") : nullptr;
                if (e.size() != 1 || !(set || copy))
                    Fail(where, "an effect is { \"set\": {...} } or { \"copy\": {...} }");
                const json& body = set ? *set : *copy;
                if (!body.is_object())
                    Fail(where, "an effect names features in an object");
                for (auto it = body.begin(); it != body.end(); ++it) {
                    Effect effect;
                    effect.kind = set ? Effect::Kind::Set : Effect::Kind::Copy;
                    effect.target = desc.Find(it.key());
                    if (effect.target < 0 || desc.features[effect.target].type == KelFeatureDataCommand)
                        Fail(where, "cannot set " + Quote(it.key()));
                    const FeatureDef& target = desc.features[effect.target];
                    if (set) {
                        ChargeRaw(target, 1, where);
                        effect.value = target.initial;
                        ParseValue(effect.target, *it, effect.value, where + " " + Quote(it.key()));
                    } else {
                        if (!it->is_string())
                            Fail(where, "copy needs a source feature name");
                        effect.source = desc.Find(it->get_ref<const std::string&>());
                        if (effect.source < 0 || desc.features[effect.source].type != target.type)
                            Fail(where, "cannot copy " + Quote(it->get_ref<const std::string&>()) + " into "
                                            + Quote(it.key()));
                    }
                    parsed.push_back(std::move(effect));
                }
            }
            desc.features[feature].onExecute = std::move(parsed);
        }
    }

    // Which features a write may change, so that their observers hear of it.
    // One breadth-first walk per feature; the limits on its depth, its size
    // and the links it follows keep each walk small, so the whole stays
    // linear in the number of features however the links are arranged.
    void ComputeAffected()
    {
        const int n = static_cast<int>(desc.features.size());
        std::vector<std::vector<int>> direct(n); // what a write to a feature touches first
        for (int i = 0; i < n; ++i) {
            const FeatureDef& def = desc.features[i];
            direct[i].insert(direct[i].end(), def.selected.begin(), def.selected.end());
            auto nameIn = [&](const Condition& c) {
                for (const auto& clause : c.clauses)
                    direct[clause.feature].push_back(i);
            };
            nameIn(def.available);
            nameIn(def.writableWhen);
            for (const auto& e : def.entries)
                nameIn(e.available);
        }
        for (auto& links : direct) {
            std::sort(links.begin(), links.end());
            links.erase(std::unique(links.begin(), links.end()), links.end());
        }

        std::vector<int> reachedFrom(n, -1); // the walk that last reached a feature
        std::vector<int> governedFrom(n, -1);
        std::vector<int> distance(n, 0);
        std::vector<int> queue;
        for (int start = 0; start < n; ++start) {
            const auto fail = [&](const std::string& what) { Fail(FeatureWhere(desc.features[start].name), what); };
            queue.assign(1, start);
            reachedFrom[start] = start;
            distance[start] = 0;
            std::size_t links = 0;
            for (std::size_t head = 0; head < queue.size(); ++head) {
                const int at = queue[head];
                links += direct[at].size();
                if (links > Limits::WriteLinks)
                    fail("a write to it follows more than " + std::to_string(Limits::WriteLinks)
                         + " selector and condition links");
                for (int next : direct[at]) {
                    if (reachedFrom[next] == start)
                        continue;
                    reachedFrom[next] = start;
                    distance[next] = distance[at] + 1;
                    if (distance[next] > Limits::ChainLinks)
                        fail("a write to it reaches " + Quote(desc.features[next].name) + " only through more than "
                             + std::to_string(Limits::ChainLinks) + " selectors and conditions in a row");
                    queue.push_back(next);
                    if (queue.size() - 1 > Limits::Affected)
                        fail("a write to it affects more than " + std::to_string(Limits::Affected) + " features");
                }
            }
            // What it selects, directly or through selected selectors: a
            // subset of the walk above, so it needs no limits of its own.
            std::vector<int> todo(desc.features[start].selected);
            while (!todo.empty()) {
                const int at = todo.back();
                todo.pop_back();
                if (at == start || governedFrom[at] == start)
                    continue;
                governedFrom[at] = start;
                const auto& selected = desc.features[at].selected;
                todo.insert(todo.end(), selected.begin(), selected.end());
            }
            std::sort(queue.begin() + 1, queue.end());
            FeatureDef& def = desc.features[start];
            def.affected.clear();
            def.moved.clear();
            for (auto it = queue.begin() + 1; it != queue.end(); ++it)
                (governedFrom[*it] == start ? def.moved : def.affected).push_back(*it);
        }
    }

    InputSignal ParseSignal(const json& s, const std::string& where) const
    {
        InputSignal signal;
        if (s.is_boolean()) {
            signal.constant = true;
            signal.level = s.get<bool>();
            return signal;
        }
        if (!s.is_object())
            Fail(where, "an input signal is true, false or { periodUs, highUs, phaseUs }");
        static const KeySet signalKeys = {"periodUs", "highUs", "phaseUs"};
        CheckKeys(s, signalKeys, where);
        const json* period = Member(s, "periodUs");
        const json* high = Member(s, "highUs");
        const json* phase = Member(s, "phaseUs");
        if (!period || !high)
            Fail(where, "needs periodUs and highUs");
        signal.constant = false;
        signal.periodUs = ToInt64(*period, where + ", periodUs");
        signal.highUs = ToInt64(*high, where + ", highUs");
        signal.phaseUs = phase ? ToInt64(*phase, where + ", phaseUs") : 0;
        if (signal.periodUs <= 0 || signal.highUs < 0)
            Fail(where, "periodUs must be above 0 and highUs not below 0");
        if (signal.highUs == 0 || signal.highUs >= signal.periodUs) {
            signal.constant = true;
            signal.level = signal.highUs > 0;
        }
        return signal;
    }

    void ParseSimulation(const json& s)
    {
        const std::string where = "simulation";
        if (!s.is_object())
            Fail(where, "must be an object");
        static const KeySet simulationKeys = {"inputSignals", "frameRateHz", "liveNotifyIntervalMs", "tickMs", "seed"};
        CheckKeys(s, simulationKeys, where);
        SimulationDef& sim = desc.simulation;
        if (const json* signals = Member(s, "inputSignals")) {
            if (!signals->is_object())
                Fail(where, "inputSignals must map line names to signals");
            for (auto it = signals->begin(); it != signals->end(); ++it)
                sim.inputSignals[it.key()] = ParseSignal(*it, where + ", inputSignals " + Quote(it.key()));
        }
        if (const json* rate = Member(s, "frameRateHz")) {
            sim.frameRateHz = ToDouble(*rate, where + ", frameRateHz");
            if (!(sim.frameRateHz >= Limits::FrameRateMinHz && sim.frameRateHz <= Limits::FrameRateMaxHz))
                Fail(where, "frameRateHz must be between " + FloatText(Limits::FrameRateMinHz) + " and "
                                + FloatText(Limits::FrameRateMaxHz));
        }
        if (const json* interval = Member(s, "liveNotifyIntervalMs"))
            sim.liveNotifyIntervalUs = 1000 * ToInt64In(*interval, 0, Limits::LiveNotifyIntervalMs, where,
                                                        "liveNotifyIntervalMs");
        if (const json* tick = Member(s, "tickMs"))
            sim.tickMs = static_cast<int>(ToInt64In(*tick, 1, Limits::TickMs, where, "tickMs"));
        if (const json* seed = Member(s, "seed"))
            sim.seed = static_cast<std::uint64_t>(ToInt64(*seed, where + ", seed"));
    }
};

// Where `timeUs` falls in a square wave's period: [0, periodUs). Taken from
// the two remainders, so that no time or phase, however extreme, overflows.
std::int64_t PositionInPeriod(std::int64_t timeUs, std::int64_t phaseUs, std::int64_t periodUs)
{
    const auto remainder = [periodUs](std::int64_t v) {
        const std::int64_t r = v % periodUs;
        return r < 0 ? r + periodUs : r;
    };
    const std::int64_t position = remainder(timeUs) - remainder(phaseUs);
    return position < 0 ? position + periodUs : position;
}

} // namespace

bool IsAllowedInt(const FeatureDef& def, std::int64_t v)
{
    if (!def.validValues.empty())
        return std::binary_search(def.validValues.begin(), def.validValues.end(), v);
    if (v < def.imin || v > def.imax)
        return false;
    // v >= imin, so the unsigned difference is exact.
    const std::uint64_t offset = static_cast<std::uint64_t>(v) - static_cast<std::uint64_t>(def.imin);
    return def.iinc <= 1 || offset % static_cast<std::uint64_t>(def.iinc) == 0;
}

bool IsAllowedFloat(const FeatureDef& def, double v)
{
    if (!(v >= def.fmin && v <= def.fmax))
        return false;
    if (!def.hasFinc)
        return true;
    // Tolerate the rounding of a value computed as min + k * inc.
    const double steps = (v - def.fmin) / def.finc;
    return std::fabs(steps - std::round(steps)) <= 1e-6 * std::max(1.0, std::fabs(steps));
}

int FeatureDef::EntryIndexByName(const std::string& entryName) const
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].name == entryName)
            return static_cast<int>(i);
    }
    return -1;
}

int FeatureDef::EntryIndexByValue(std::int64_t entryValue) const
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].value == entryValue)
            return static_cast<int>(i);
    }
    return -1;
}

bool InputSignal::LevelAt(std::int64_t timeUs) const
{
    if (constant || periodUs <= 0)
        return level;
    return PositionInPeriod(timeUs, phaseUs, periodUs) < highUs;
}

std::int64_t InputSignal::NextEdgeAfter(std::int64_t timeUs) const
{
    if (constant || periodUs <= 0)
        return INT64_MAX;
    const std::int64_t position = PositionInPeriod(timeUs, phaseUs, periodUs);
    // Both differences are positive and at most periodUs (or highUs).
    const std::int64_t wait = position < highUs ? highUs - position : periodUs - position;
    return timeUs > INT64_MAX - wait ? INT64_MAX : timeUs + wait;
}

int Description::Find(const std::string& name) const
{
    const auto it = index.find(name);
    return it == index.end() ? -1 : it->second;
}

std::string FloatText(double value)
{
    char buffer[40];
    // At least as many digits as the integer part has, so that 10 reads
    // "10" and not "1e+01".
    int first = 1;
    if (std::isfinite(value) && std::fabs(value) >= 1.0)
        first = std::min(17, static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1);
    for (int precision = first; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value)
            break;
    }
    return buffer;
}

std::string ValueText(const FeatureDef& def, const Value& value)
{
    switch (def.type) {
    case KelFeatureDataInt:
        return std::to_string(value.i);
    case KelFeatureDataFloat:
        return FloatText(value.f);
    case KelFeatureDataEnum: {
        const int entry = def.EntryIndexByValue(value.i);
        return entry < 0 ? std::string() : def.entries[entry].name;
    }
    case KelFeatureDataString:
        return value.s;
    case KelFeatureDataBool:
        return value.b ? "true" : "false";
    case KelFeatureDataRaw: {
        static const char digits[] = "0123456789abcdef";
        std::string text;
        for (auto b : value.raw) {
            text += digits[b >> 4];
            text += digits[b & 15];
        }
        return text;
    }
    default:
        return {};
    }
}

bool ParseDescription(const std::string& text, Description& out, std::string& error)
{
    try {
        CheckShape(text);
        json root;
        try {
            root = json::parse(text);
        } catch (const json::exception& e) {
            // Syntax errors, and numbers beyond a double's range.
            Fail("", "not valid JSON: " + JsonProblem(e));
        }
        if (!root.is_object())
            Fail("", "the top level must be an object");
        static const KeySet topKeys = {"format", "features", "simulation", "comment"};
        CheckKeys(root, topKeys, "top level");
        const json* format = Member(root, "format");
        if (!format || *format != 1)
            Fail("", "'format' must be 1");
        const json* features = Member(root, "features");
        if (!features || !features->is_array())
            Fail("", "'features' must be an array");

        Description desc;
        Loader(desc).Load(root, *features);
        out = std::move(desc);
        return true;
    } catch (const DescriptionError& e) {
        error = e.what();
    } catch (const json::exception& e) {
        error = JsonProblem(e);
    }
    return false;
}

bool ReadDescriptionFile(const std::string& path, std::string& text, std::string& error)
{
    const auto kind = [](mode_t mode) -> std::string {
        if (S_ISDIR(mode))
            return " (a directory)";
        if (S_ISFIFO(mode))
            return " (a FIFO)";
        if (S_ISCHR(mode) || S_ISBLK(mode))
            return " (a device)";
        if (S_ISSOCK(mode))
            return " (a socket)";
        return {};
    };
    const std::string tooLarge = "larger than " + std::to_string(Limits::FileBytes >> 20) + " MiB";
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = std::string("cannot open the file (") + std::strerror(errno) + ")";
        return false;
    }
    // Checked before opening: opening a FIFO waits for a writer.
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file" + kind(info.st_mode);
        return false;
    }
    if (static_cast<std::uint64_t>(info.st_size) > Limits::FileBytes) {
        error = tooLarge;
        return false;
    }
    // Non-blocking and checked again on the open file, in case the path
    // was replaced in between.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot open the file (") + std::strerror(errno) + ")";
        return false;
    }
    std::string content;
    bool ok = false;
    if (::fstat(fd, &info) != 0)
        error = std::string("cannot read the file (") + std::strerror(errno) + ")";
    else if (!S_ISREG(info.st_mode))
        error = "not a regular file" + kind(info.st_mode);
    else
        ok = true;
    // Read at most one byte beyond the limit: the file may have grown.
    char buffer[65536];
    while (ok) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = std::string("cannot read the file (") + std::strerror(errno) + ")";
            ok = false;
        } else if (got == 0) {
            break;
        } else if (content.size() + static_cast<std::size_t>(got) > Limits::FileBytes) {
            error = tooLarge;
            ok = false;
        } else {
            content.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    if (ok)
        text = std::move(content);
    return ok;
}

} // namespace Sim
} // namespace KelCPP
