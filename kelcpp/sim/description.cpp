#include "description.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>

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

std::string FeatureWhere(const std::string& name)
{
    return "feature '" + name + "'";
}

void CheckKeys(const json& object, const std::set<std::string>& allowed, const std::string& where)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!allowed.count(it.key()))
            Fail(where, "unknown key '" + it.key() + "'");
    }
}

std::string GetString(const json& object, const char* key, const std::string& where,
                      const std::string& fallback = {})
{
    const auto it = object.find(key);
    if (it == object.end())
        return fallback;
    if (!it->is_string())
        Fail(where, std::string("'") + key + "' must be a string");
    return it->get<std::string>();
}

bool GetBool(const json& object, const char* key, const std::string& where, bool fallback)
{
    const auto it = object.find(key);
    if (it == object.end())
        return fallback;
    if (!it->is_boolean())
        Fail(where, std::string("'") + key + "' must be true or false");
    return it->get<bool>();
}

// Integers may be given as JSON numbers or, for values beyond what a JSON
// number carries exactly (64-bit clock identities), as "0x..." or decimal text.
std::int64_t ToInt64(const json& value, const std::string& where)
{
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > std::uint64_t(INT64_MAX))
            Fail(where, "integer out of the 64-bit signed range");
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        if (std::trunc(d) != d || std::fabs(d) > 9.2e18)
            Fail(where, "expected an integer, got " + value.dump());
        return static_cast<std::int64_t>(d);
    }
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        errno = 0;
        char* end = nullptr;
        const unsigned long long parsed =
            hex ? std::strtoull(text.c_str() + 2, &end, 16) : 0;
        if (hex) {
            if (errno || *end || parsed > std::uint64_t(INT64_MAX))
                Fail(where, "bad hexadecimal integer '" + text + "'");
            return static_cast<std::int64_t>(parsed);
        }
        const long long signedValue = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || errno || *end)
            Fail(where, "bad integer '" + text + "'");
        return signedValue;
    }
    Fail(where, "expected an integer, got " + value.dump());
}

double ToDouble(const json& value, const std::string& where)
{
    if (!value.is_number())
        Fail(where, "expected a number, got " + value.dump());
    return value.get<double>();
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
        Fail(where, "unknown type '" + text + "'");
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
        Fail(where, "unknown visibility '" + text + "'");
    return it->second;
}

std::vector<std::uint8_t> ParseHexBytes(const std::string& text, const std::string& where)
{
    if (text.size() % 2)
        Fail(where, "raw data needs pairs of hexadecimal digits");
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        char* end = nullptr;
        const unsigned long b = std::strtoul(pair.c_str(), &end, 16);
        if (*end)
            Fail(where, "bad hexadecimal digits '" + pair + "'");
        bytes.push_back(static_cast<std::uint8_t>(b));
    }
    return bytes;
}

// Parses a JSON value of the feature's type into `out`; checks it as a write would.
void ParseValue(const FeatureDef& def, const json& value, Value& out, const std::string& where)
{
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
            Fail(where, "an enumeration value must be an entry name");
        const int entry = def.EntryIndexByName(value.get<std::string>());
        if (entry < 0)
            Fail(where, "no entry '" + value.get<std::string>() + "'");
        out.i = def.entries[entry].value;
        break;
    }
    case KelFeatureDataString:
        if (!value.is_string())
            Fail(where, "a string value must be a JSON string");
        out.s = value.get<std::string>();
        if (out.s.size() > def.maxLength)
            Fail(where, "text longer than maxLength");
        break;
    case KelFeatureDataBool:
        if (!value.is_boolean())
            Fail(where, "a boolean value must be true or false");
        out.b = value.get<bool>();
        break;
    case KelFeatureDataRaw:
        if (!value.is_string())
            Fail(where, "raw data must be a string of hexadecimal digit pairs");
        out.raw = ParseHexBytes(value.get<std::string>(), where);
        if (out.raw.size() > def.rawSize)
            Fail(where, "raw data longer than size");
        out.raw.resize(def.rawSize, 0);
        break;
    default:
        Fail(where, "a command has no value");
    }
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
    Fail(where, "a condition value must be a text, number or boolean");
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

Condition& ConditionSlot(Description& desc, const PendingCondition& pending)
{
    FeatureDef& def = desc.features[pending.feature];
    switch (pending.slot) {
    case PendingCondition::Slot::Available: return def.available;
    case PendingCondition::Slot::Writable: return def.writableWhen;
    case PendingCondition::Slot::Entry: break;
    }
    return def.entries[pending.entry].available;
}

void ResolveCondition(const PendingCondition& pending, Description& desc)
{
    const json& object = *pending.source;
    if (!object.is_object())
        Fail(pending.where, "a condition must be an object of feature names");
    Condition& target = ConditionSlot(desc, pending);
    for (auto it = object.begin(); it != object.end(); ++it) {
        Condition::Clause clause;
        clause.feature = desc.Find(it.key());
        if (clause.feature < 0)
            Fail(pending.where, "condition names unknown feature '" + it.key() + "'");
        const FeatureDef& named = desc.features[clause.feature];
        if (named.type == KelFeatureDataCommand || named.type == KelFeatureDataRaw)
            Fail(pending.where, "condition on '" + it.key() + "', which has no comparable value");
        const json* values = &*it;
        if (values->is_object()) {
            if (values->size() != 1 || !values->contains("not"))
                Fail(pending.where, "condition on '" + it.key() + "': only { \"not\": ... } is allowed");
            clause.negate = true;
            values = &(*values)["not"];
        }
        if (values->is_array()) {
            for (const auto& v : *values)
                clause.values.push_back(JsonValueText(v, pending.where));
        } else {
            clause.values.push_back(JsonValueText(*values, pending.where));
        }
        if (named.type == KelFeatureDataEnum) {
            for (const auto& v : clause.values) {
                if (named.EntryIndexByName(v) < 0)
                    Fail(pending.where, "condition on '" + it.key() + "': no entry '" + v + "'");
            }
        }
        target.clauses.push_back(std::move(clause));
    }
}

void ParseEntries(FeatureDef& def, const json& entries, const std::string& where, int featureIndex,
                  std::vector<PendingCondition>& conditions)
{
    if (!entries.is_array() || entries.empty())
        Fail(where, "an enumeration needs a non-empty 'entries' array");
    std::set<std::string> names;
    std::set<std::int64_t> values;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const json& e = entries[i];
        EntryDef entry;
        entry.value = static_cast<std::int64_t>(i);
        if (e.is_string()) {
            entry.name = e.get<std::string>();
        } else if (e.is_object()) {
            const std::string entryWhere = where + ", entry " + std::to_string(i);
            CheckKeys(e, {"name", "value", "displayName", "description", "tooltip", "visibility",
                          "availableWhen"},
                      entryWhere);
            entry.name = GetString(e, "name", entryWhere);
            if (e.contains("value"))
                entry.value = ToInt64(e["value"], entryWhere);
            entry.displayName = GetString(e, "displayName", entryWhere);
            entry.description = GetString(e, "description", entryWhere);
            entry.toolTip = GetString(e, "tooltip", entryWhere, entry.description);
            if (e.contains("visibility"))
                entry.visibility = ParseVisibility(GetString(e, "visibility", entryWhere), entryWhere);
            if (e.contains("availableWhen"))
                conditions.push_back({featureIndex, PendingCondition::Slot::Entry, static_cast<int>(i),
                                      &e["availableWhen"], where + ", entry '" + entry.name + "'"});
        } else {
            Fail(where, "an entry must be a name or an object");
        }
        if (entry.name.empty())
            Fail(where, "an entry needs a name");
        if (!names.insert(entry.name).second)
            Fail(where, "entry '" + entry.name + "' listed twice");
        if (!values.insert(entry.value).second)
            Fail(where, "entry '" + entry.name + "' repeats the value " + std::to_string(entry.value));
        def.entries.push_back(std::move(entry));
    }
}

// Things that can be checked only once every feature is known.
struct Deferred {
    std::vector<PendingCondition> conditions;
    std::map<int, std::string> selectorNames;
    std::map<int, const json*> perEntryValues;
    std::map<int, const json*> effects;
};

void ParseFeature(const json& f, Description& desc, Deferred& deferred)
{
    if (!f.is_object())
        Fail("features", "each feature must be an object");
    const std::string name = GetString(f, "name", "feature without a name");
    if (name.empty())
        Fail("features", "a feature needs a name");
    const std::string where = FeatureWhere(name);
    CheckKeys(f,
              {"name", "type", "displayName", "description", "tooltip", "category", "unit",
               "representation", "visibility", "access", "volatile", "modifyWrite", "value",
               "values", "selectedBy", "availableWhen", "writableWhen", "onExecute", "min", "max",
               "inc", "validValues", "entries", "maxLength", "size"},
              where);
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
        if (f.contains(key) && !allowed)
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
        if (f.contains("min"))
            def.imin = ToInt64(f["min"], where + ", min");
        if (f.contains("max"))
            def.imax = ToInt64(f["max"], where + ", max");
        if (f.contains("inc"))
            def.iinc = ToInt64(f["inc"], where + ", inc");
        if (def.iinc < 1)
            Fail(where, "inc must be at least 1");
        if (f.contains("validValues")) {
            if (!f["validValues"].is_array() || f["validValues"].empty())
                Fail(where, "validValues must be a non-empty array");
            for (const auto& v : f["validValues"])
                def.validValues.push_back(ToInt64(v, where + ", validValues"));
            std::sort(def.validValues.begin(), def.validValues.end());
            def.imin = def.validValues.front();
            def.imax = def.validValues.back();
        }
        if (def.imin > def.imax)
            Fail(where, "min is above max");
    } else if (def.type == KelFeatureDataFloat) {
        if (f.contains("min"))
            def.fmin = ToDouble(f["min"], where + ", min");
        if (f.contains("max"))
            def.fmax = ToDouble(f["max"], where + ", max");
        if (f.contains("inc")) {
            def.finc = ToDouble(f["inc"], where + ", inc");
            def.hasFinc = true;
            if (!(def.finc > 0.0))
                Fail(where, "inc must be above 0");
        }
        if (def.fmin > def.fmax)
            Fail(where, "min is above max");
    } else if (def.type == KelFeatureDataEnum) {
        static const json none;
        const json& entries = f.contains("entries") ? f["entries"] : none;
        ParseEntries(def, entries, where, index, deferred.conditions);
    } else if (def.type == KelFeatureDataString) {
        if (f.contains("maxLength"))
            def.maxLength = static_cast<std::size_t>(ToInt64(f["maxLength"], where + ", maxLength"));
    } else if (def.type == KelFeatureDataRaw) {
        if (f.contains("size"))
            def.rawSize = static_cast<std::size_t>(ToInt64(f["size"], where + ", size"));
    }

    if (def.type != KelFeatureDataCommand) {
        DefaultValue(def);
        if (f.contains("value"))
            ParseValue(def, f["value"], def.initial, where + ", value");
    }
    if (f.contains("selectedBy")) {
        if (!f["selectedBy"].is_string())
            Fail(where, "'selectedBy' must be a feature name");
        deferred.selectorNames[index] = f["selectedBy"].get<std::string>();
    }
    if (f.contains("values"))
        deferred.perEntryValues[index] = &f["values"];
    if (f.contains("onExecute"))
        deferred.effects[index] = &f["onExecute"];
    if (f.contains("availableWhen"))
        deferred.conditions.push_back({index, PendingCondition::Slot::Available, -1,
                                       &f["availableWhen"], where + ", availableWhen"});
    if (f.contains("writableWhen"))
        deferred.conditions.push_back({index, PendingCondition::Slot::Writable, -1,
                                       &f["writableWhen"], where + ", writableWhen"});
}

// The values a selector can take, as the texts that key per-entry values.
std::vector<std::string> SelectorKeys(const FeatureDef& selector)
{
    std::vector<std::string> keys;
    if (selector.type == KelFeatureDataEnum) {
        for (const auto& e : selector.entries)
            keys.push_back(e.name);
    } else if (!selector.validValues.empty()) {
        for (auto v : selector.validValues)
            keys.push_back(std::to_string(v));
    } else if (selector.imax - selector.imin <= 4096) {
        for (std::int64_t v = selector.imin; v <= selector.imax; v += selector.iinc)
            keys.push_back(std::to_string(v));
    }
    return keys;
}

void ResolveSelectors(Description& desc, Deferred& deferred)
{
    for (const auto& sn : deferred.selectorNames) {
        FeatureDef& def = desc.features[sn.first];
        const std::string where = FeatureWhere(def.name);
        const int selector = desc.Find(sn.second);
        if (selector < 0)
            Fail(where, "selectedBy names unknown feature '" + sn.second + "'");
        if (selector == sn.first)
            Fail(where, "a feature cannot select itself");
        const FeatureDef& sel = desc.features[selector];
        if (sel.type != KelFeatureDataEnum && sel.type != KelFeatureDataInt)
            Fail(where, "selector '" + sn.second + "' must be an Enumeration or Integer");
        if (sel.type == KelFeatureDataInt && SelectorKeys(sel).empty())
            Fail(where, "integer selector '" + sn.second + "' has too many values");
        def.selector = selector;
        desc.features[selector].selected.push_back(sn.first);
    }
    // A selector may itself be selected, but the chain must end.
    for (std::size_t i = 0; i < desc.features.size(); ++i) {
        int at = static_cast<int>(i);
        for (std::size_t hops = 0; at >= 0; ++hops) {
            if (hops > desc.features.size())
                Fail(FeatureWhere(desc.features[i].name), "its selectors select each other in a loop");
            at = desc.features[at].selector;
        }
    }
    for (const auto& pv : deferred.perEntryValues) {
        FeatureDef& def = desc.features[pv.first];
        const std::string where = FeatureWhere(def.name) + ", values";
        if (def.selector < 0)
            Fail(where, "per-entry values need 'selectedBy'");
        if (!pv.second->is_object())
            Fail(where, "'values' must map selector entries to values");
        const auto keys = SelectorKeys(desc.features[def.selector]);
        for (auto it = pv.second->begin(); it != pv.second->end(); ++it) {
            if (std::find(keys.begin(), keys.end(), it.key()) == keys.end())
                Fail(where, "'" + it.key() + "' is not a value of " + desc.features[def.selector].name);
            Value v = def.initial;
            ParseValue(def, *it, v, where + " '" + it.key() + "'");
            def.initialPerEntry[it.key()] = v;
        }
    }
}

void ResolveEffects(Description& desc, Deferred& deferred)
{
    for (const auto& fx : deferred.effects) {
        const std::string where = FeatureWhere(desc.features[fx.first].name) + ", onExecute";
        if (!fx.second->is_array())
            Fail(where, "must be an array of effects");
        std::vector<Effect> effects;
        for (const auto& e : *fx.second) {
            if (!e.is_object() || e.size() != 1 || !(e.contains("set") || e.contains("copy")))
                Fail(where, "an effect is { \"set\": {...} } or { \"copy\": {...} }");
            const bool isSet = e.contains("set");
            const json& body = isSet ? e["set"] : e["copy"];
            if (!body.is_object())
                Fail(where, "an effect names features in an object");
            for (auto it = body.begin(); it != body.end(); ++it) {
                Effect effect;
                effect.kind = isSet ? Effect::Kind::Set : Effect::Kind::Copy;
                effect.target = desc.Find(it.key());
                if (effect.target < 0 || desc.features[effect.target].type == KelFeatureDataCommand)
                    Fail(where, "cannot set '" + it.key() + "'");
                const FeatureDef& target = desc.features[effect.target];
                if (isSet) {
                    effect.value = target.initial;
                    ParseValue(target, *it, effect.value, where + " '" + it.key() + "'");
                } else {
                    if (!it->is_string())
                        Fail(where, "copy needs a source feature name");
                    effect.source = desc.Find(it->get<std::string>());
                    if (effect.source < 0 || desc.features[effect.source].type != target.type)
                        Fail(where, "cannot copy '" + it->get<std::string>() + "' into '" + it.key() + "'");
                }
                effects.push_back(effect);
            }
        }
        desc.features[fx.first].onExecute = std::move(effects);
    }
}

// Which features a write may change, so that their observers hear of it.
void ComputeAffected(Description& desc)
{
    const int n = static_cast<int>(desc.features.size());
    std::vector<std::set<int>> direct(n);
    for (int i = 0; i < n; ++i) {
        const FeatureDef& def = desc.features[i];
        for (int s : def.selected)
            direct[i].insert(s);
        auto nameIn = [&](const Condition& c) {
            for (const auto& clause : c.clauses)
                direct[clause.feature].insert(i);
        };
        nameIn(def.available);
        nameIn(def.writableWhen);
        for (const auto& e : def.entries)
            nameIn(e.available);
    }
    auto closure = [&](int start, auto edges) {
        std::set<int> seen;
        std::vector<int> todo(edges(start).begin(), edges(start).end());
        while (!todo.empty()) {
            const int next = todo.back();
            todo.pop_back();
            if (next == start || !seen.insert(next).second)
                continue;
            todo.insert(todo.end(), edges(next).begin(), edges(next).end());
        }
        return seen;
    };
    for (int i = 0; i < n; ++i) {
        const std::set<int> all = closure(i, [&](int f) -> const std::set<int>& { return direct[f]; });
        const std::set<int> governed = closure(i, [&](int f) -> const std::vector<int>& {
            return desc.features[f].selected;
        });
        FeatureDef& def = desc.features[i];
        def.affected.clear();
        def.moved.clear();
        for (int other : all)
            (governed.count(other) ? def.moved : def.affected).push_back(other);
    }
}

InputSignal ParseSignal(const json& s, const std::string& where)
{
    InputSignal signal;
    if (s.is_boolean()) {
        signal.constant = true;
        signal.level = s.get<bool>();
        return signal;
    }
    if (!s.is_object())
        Fail(where, "an input signal is true, false or { periodUs, highUs, phaseUs }");
    CheckKeys(s, {"periodUs", "highUs", "phaseUs"}, where);
    if (!s.contains("periodUs") || !s.contains("highUs"))
        Fail(where, "needs periodUs and highUs");
    signal.constant = false;
    signal.periodUs = ToInt64(s["periodUs"], where);
    signal.highUs = ToInt64(s["highUs"], where);
    signal.phaseUs = s.contains("phaseUs") ? ToInt64(s["phaseUs"], where) : 0;
    if (signal.periodUs <= 0 || signal.highUs < 0)
        Fail(where, "periodUs must be above 0 and highUs not below 0");
    if (signal.highUs == 0 || signal.highUs >= signal.periodUs) {
        signal.constant = true;
        signal.level = signal.highUs > 0;
    }
    return signal;
}

void ParseSimulation(const json& s, Description& desc)
{
    const std::string where = "simulation";
    if (!s.is_object())
        Fail(where, "must be an object");
    CheckKeys(s, {"inputSignals", "frameRateHz", "liveNotifyIntervalMs", "tickMs", "seed"}, where);
    SimulationDef& sim = desc.simulation;
    if (s.contains("inputSignals")) {
        const json& signals = s["inputSignals"];
        if (!signals.is_object())
            Fail(where, "inputSignals must map line names to signals");
        for (auto it = signals.begin(); it != signals.end(); ++it)
            sim.inputSignals[it.key()] = ParseSignal(*it, where + ", inputSignals '" + it.key() + "'");
    }
    if (s.contains("frameRateHz")) {
        sim.frameRateHz = ToDouble(s["frameRateHz"], where + ", frameRateHz");
        if (!(sim.frameRateHz > 0.0))
            Fail(where, "frameRateHz must be above 0");
    }
    if (s.contains("liveNotifyIntervalMs"))
        sim.liveNotifyIntervalUs = ToInt64(s["liveNotifyIntervalMs"], where) * 1000;
    if (s.contains("tickMs"))
        sim.tickMs = static_cast<int>(ToInt64(s["tickMs"], where));
    if (sim.tickMs < 1 || sim.liveNotifyIntervalUs < 0)
        Fail(where, "tickMs must be at least 1 and liveNotifyIntervalMs not negative");
    if (s.contains("seed"))
        sim.seed = static_cast<std::uint64_t>(ToInt64(s["seed"], where));
}

} // namespace

bool IsAllowedInt(const FeatureDef& def, std::int64_t v)
{
    if (!def.validValues.empty())
        return std::find(def.validValues.begin(), def.validValues.end(), v) != def.validValues.end();
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
    if (constant)
        return level;
    std::int64_t pos = (timeUs - phaseUs) % periodUs;
    if (pos < 0)
        pos += periodUs;
    return pos < highUs;
}

std::int64_t InputSignal::NextEdgeAfter(std::int64_t timeUs) const
{
    if (constant)
        return INT64_MAX;
    std::int64_t pos = (timeUs - phaseUs) % periodUs;
    if (pos < 0)
        pos += periodUs;
    return pos < highUs ? timeUs + (highUs - pos) : timeUs + (periodUs - pos);
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
        json root;
        try {
            root = json::parse(text);
        } catch (const json::parse_error& e) {
            Fail("", std::string("not valid JSON: ") + e.what());
        }
        if (!root.is_object())
            Fail("", "the top level must be an object");
        CheckKeys(root, {"format", "features", "simulation", "comment"}, "top level");
        if (!root.contains("format") || root["format"] != 1)
            Fail("", "'format' must be 1");
        if (!root.contains("features") || !root["features"].is_array())
            Fail("", "'features' must be an array");

        Description desc;
        Deferred deferred;
        for (const auto& f : root["features"])
            ParseFeature(f, desc, deferred);
        ResolveSelectors(desc, deferred);
        for (const auto& pending : deferred.conditions)
            ResolveCondition(pending, desc);
        ResolveEffects(desc, deferred);
        ComputeAffected(desc);
        if (root.contains("simulation"))
            ParseSimulation(root["simulation"], desc);
        out = std::move(desc);
        return true;
    } catch (const DescriptionError& e) {
        error = e.what();
    } catch (const json::exception& e) {
        error = e.what();
    }
    return false;
}

} // namespace Sim
} // namespace KelCPP
