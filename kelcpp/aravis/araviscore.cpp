#include "araviscore.h"

#include "aravisfeature.h"
#include "aravisstream.h"
#include "aravistrace.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <set>

namespace KelCPP {
namespace Aravis {

namespace {

const char* Text(const char* text)
{
    return text ? text : "";
}

std::string NameOf(ArvDomNode* node)
{
    return ARV_IS_DOM_ELEMENT(node) ? Text(arv_dom_element_get_attribute(ARV_DOM_ELEMENT(node), "Name"))
                                    : std::string();
}

KelFeatureDataType TypeOf(ArvGcFeatureNode* node)
{
    // Order matters: an IntReg is both an integer and a register, and a
    // StringReg both a string and a register.
    if (ARV_IS_GC_ENUMERATION(node))
        return KelFeatureDataEnum;
    if (ARV_IS_GC_BOOLEAN(node))
        return KelFeatureDataBool;
    if (ARV_IS_GC_COMMAND(node))
        return KelFeatureDataCommand;
    if (ARV_IS_GC_FLOAT(node))
        return KelFeatureDataFloat;
    if (ARV_IS_GC_STRING(node))
        return KelFeatureDataString;
    if (ARV_IS_GC_INTEGER(node))
        return KelFeatureDataInt;
    if (ARV_IS_GC_REGISTER(node))
        return KelFeatureDataRaw;
    return KelFeatureDataUnknown;
}

KelFeatureVisibilityType VisibilityOf(ArvGcVisibility visibility)
{
    switch (visibility) {
    case ARV_GC_VISIBILITY_INVISIBLE:
        return KelFeatureVisibilityInvisible;
    case ARV_GC_VISIBILITY_GURU:
        return KelFeatureVisibilityGuru;
    case ARV_GC_VISIBILITY_EXPERT:
        return KelFeatureVisibilityExpert;
    default: // GenICam's default is Beginner
        return KelFeatureVisibilityBeginner;
    }
}

std::string RepresentationOf(ArvGcRepresentation representation)
{
    switch (representation) {
    case ARV_GC_REPRESENTATION_LOGARITHMIC:
        return "Logarithmic";
    case ARV_GC_REPRESENTATION_BOOLEAN:
        return "Boolean";
    case ARV_GC_REPRESENTATION_PURE_NUMBER:
        return "PureNumber";
    case ARV_GC_REPRESENTATION_HEX_NUMBER:
        return "HexNumber";
    case ARV_GC_REPRESENTATION_IPV4_ADDRESS:
        return "IPV4Address";
    case ARV_GC_REPRESENTATION_MAC_ADDRESS:
        return "MACAddress";
    default:
        return "Linear";
    }
}

// The property children of a node, nested ones (an enumeration's entries,
// a register's index) included.
void ForEachProperty(ArvDomNode* node, const std::function<void(ArvGcPropertyNode*)>& visit)
{
    for (ArvDomNode* child = arv_dom_node_get_first_child(node); child;
         child = arv_dom_node_get_next_sibling(child)) {
        if (ARV_IS_GC_PROPERTY_NODE(child))
            visit(ARV_GC_PROPERTY_NODE(child));
        else if (ARV_IS_GC_NODE(child))
            ForEachProperty(child, visit);
    }
}

ArvGcPropertyNode* DirectProperty(ArvDomNode* node, ArvGcPropertyNodeType type)
{
    for (ArvDomNode* child = arv_dom_node_get_first_child(node); child;
         child = arv_dom_node_get_next_sibling(child)) {
        if (ARV_IS_GC_PROPERTY_NODE(child)
            && arv_gc_property_node_get_node_type(ARV_GC_PROPERTY_NODE(child)) == type)
            return ARV_GC_PROPERTY_NODE(child);
    }
    return nullptr;
}

// Both limits of a number, or the error that stopped them.
template <typename Node, typename T>
GError* ReadLimits(Node* node, T (*low)(Node*, GError**), T (*high)(Node*, GError**), T& min, T& max)
{
    GError* error = nullptr;
    min = low(node, &error);
    if (!error)
        max = high(node, &error);
    return error;
}

bool IsLink(ArvGcPropertyNodeType type)
{
    // Categories, ports and selections are no value dependencies.
    return type > ARV_GC_PROPERTY_NODE_TYPE_P_UNKNONW && type != ARV_GC_PROPERTY_NODE_TYPE_P_FEATURE
           && type != ARV_GC_PROPERTY_NODE_TYPE_P_PORT && type != ARV_GC_PROPERTY_NODE_TYPE_P_SELECTED;
}

} // namespace

int FeatureInfo::EntryByName(const char* entryName) const
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].entry.GetName() == entryName)
            return static_cast<int>(i);
    }
    return -1;
}

int FeatureInfo::EntryByValue(std::int64_t entryValue) const
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].entry.GetValue() == entryValue)
            return static_cast<int>(i);
    }
    return -1;
}

AravisCore::AravisCore(ArvDevice* dev, std::string deviceId, AravisOptions options)
    : device(dev), id(std::move(deviceId)), traceSamples(options.traceSamples), pollRate(options.pollRateHz)
{
}

AravisCore::~AravisCore()
{
    Close();
}

bool AravisCore::Start(std::string* error)
{
    genicam = arv_device_get_genicam(device);
    if (!genicam) {
        if (error)
            *error = "the camera gave no GenICam description";
        return false;
    }
    // Refuse what the camera would refuse, before it reaches the wire. The
    // ranges are ours to check, from each feature's own limits: Aravis would
    // also check the converters between a feature and its register, with
    // limits it derives from the register's whole signed range through the
    // converter's formula, and refuse valid writes (a frame rate that the
    // camera keeps as a frame period would have to stay below 0.001 Hz).
    arv_device_set_range_check_policy(device, ARV_RANGE_CHECK_POLICY_DISABLE);
    arv_device_set_access_check_policy(device, ARV_ACCESS_CHECK_POLICY_ENABLE);
    // Aravis 0.8's register cache keeps one value per register node, even
    // when a selector moves the register's address (pIndex): a selected
    // feature would read another entry's value. Every read goes to the
    // camera instead.
    arv_device_set_register_cache_policy(device, ARV_REGISTER_CACHE_POLICY_DISABLE);
    ReadDescription();
    if (infos.empty()) {
        if (error)
            *error = "the camera's GenICam description lists no features";
        return false;
    }
    const int status = Find("LineStatusAll"), selector = Find("LineSelector");
    if (status >= 0 && selector >= 0 && Info(status).type == KelFeatureDataInt && Info(status).readable
        && Info(selector).type == KelFeatureDataEnum && !Info(selector).entries.empty()
        && Info(selector).entries.size() <= 64) {
        lineStatusAll = status;
        lineSelector = selector;
    }
    lostHandler = g_signal_connect(device, "control-lost", G_CALLBACK(&AravisCore::OnControlLost), this);
    pollThread = std::thread([this] { PollLoop(); });
    return true;
}

void AravisCore::Close()
{
    if (closed.exchange(true))
        return;
    // Its observer may still call features: they answer NotOpen now.
    StopStream();
    {
        const std::lock_guard<std::mutex> lock(pollMutex);
        stopping = true;
    }
    pollWake.notify_all();
    if (pollThread.joinable())
        pollThread.join();
    for (const auto& feature : features)
        dispatcher.UnregisterAll(feature.get());
    // A call still under way finishes before the device goes.
    const std::lock_guard<std::mutex> lock(mutex);
    if (lostHandler)
        g_signal_handler_disconnect(device, lostHandler);
    lostHandler = 0;
    g_clear_object(&device);
    genicam = nullptr;
}

void AravisCore::OnControlLost(ArvDevice*, gpointer self)
{
    static_cast<AravisCore*>(self)->lost = true;
}

int AravisCore::Find(const char* name) const
{
    const auto it = index.find(name);
    return it == index.end() ? -1 : it->second;
}

// --- The description ------------------------------------------------------

void AravisCore::ReadDescription()
{
    ArvDomElement* root = arv_dom_document_get_document_element(ARV_DOM_DOCUMENT(genicam));
    if (!root)
        return;

    // Every named node, in document order, with the nodes it reads.
    std::vector<ArvDomNode*> nodes;
    std::unordered_map<std::string, int> byName;
    for (ArvDomNode* child = arv_dom_node_get_first_child(ARV_DOM_NODE(root)); child;
         child = arv_dom_node_get_next_sibling(child)) {
        const std::string name = NameOf(child);
        if (ARV_IS_GC_NODE(child) && !name.empty() && !byName.count(name)) {
            byName.emplace(name, static_cast<int>(nodes.size()));
            nodes.push_back(child);
        }
    }
    std::vector<std::vector<int>> links(nodes.size());  // every dependency
    std::vector<std::vector<int>> values(nodes.size()); // pValue only: where a write goes
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        ForEachProperty(nodes[n], [&](ArvGcPropertyNode* property) {
            const ArvGcPropertyNodeType type = arv_gc_property_node_get_node_type(property);
            if (!IsLink(type))
                return;
            ArvGcNode* linked = arv_gc_property_node_get_linked_node(property);
            const auto it = linked ? byName.find(NameOf(ARV_DOM_NODE(linked))) : byName.end();
            if (it == byName.end())
                return;
            links[n].push_back(it->second);
            if (type == ARV_GC_PROPERTY_NODE_TYPE_P_VALUE)
                values[n].push_back(it->second);
        });
    }
    auto reach = [&](int from, const std::vector<std::vector<int>>& edges) {
        std::vector<int> seen{from};
        std::set<int> known{from};
        for (std::size_t i = 0; i < seen.size(); ++i) {
            for (int next : edges[static_cast<std::size_t>(seen[i])]) {
                if (known.insert(next).second)
                    seen.push_back(next);
            }
        }
        return seen;
    };

    // The features are what the category tree lists; a description without
    // one shows every feature node.
    std::unordered_map<std::string, std::string> categoryOf;
    std::set<std::string> categories;
    std::function<void(ArvGcNode*, const std::string&)> walk = [&](ArvGcNode* node, const std::string& path) {
        if (!ARV_IS_GC_CATEGORY(node) || !categories.insert(NameOf(ARV_DOM_NODE(node))).second)
            return;
        for (const GSList* item = arv_gc_category_get_features(ARV_GC_CATEGORY(node)); item; item = item->next) {
            const char* name = static_cast<const char*>(item->data);
            ArvGcNode* child = arv_gc_get_node(genicam, name);
            if (!child)
                continue;
            if (ARV_IS_GC_CATEGORY(child))
                walk(child, path + "/" + name);
            else
                categoryOf.emplace(name, path);
        }
    };
    if (ArvGcNode* top = arv_gc_get_node(genicam, "Root"))
        walk(top, std::string());

    for (std::size_t n = 0; n < nodes.size(); ++n) {
        if (!ARV_IS_GC_FEATURE_NODE(nodes[n]) || ARV_IS_GC_CATEGORY(nodes[n]))
            continue;
        const std::string name = NameOf(nodes[n]);
        const auto category = categoryOf.find(name);
        if (!categoryOf.empty() && category == categoryOf.end())
            continue;
        auto* node = ARV_GC_FEATURE_NODE(nodes[n]);
        FeatureInfo info;
        info.type = TypeOf(node);
        if (info.type == KelFeatureDataUnknown)
            continue;
        info.name = name;
        info.node = node;
        info.category = category == categoryOf.end() ? std::string() : category->second;
        info.displayName = Text(arv_gc_feature_node_get_display_name(node));
        if (info.displayName.empty())
            info.displayName = name;
        info.description = Text(arv_gc_feature_node_get_description(node));
        info.toolTip = Text(arv_gc_feature_node_get_tooltip(node));
        if (info.toolTip.empty())
            info.toolTip = info.description;
        info.visibility = VisibilityOf(arv_gc_feature_node_get_visibility(node));
        const ArvGcAccessMode mode = arv_gc_feature_node_get_actual_access_mode(node);
        info.readable = mode != ARV_GC_ACCESS_MODE_WO;
        info.writable = mode != ARV_GC_ACCESS_MODE_RO;
        if (info.type == KelFeatureDataInt) {
            info.unit = Text(arv_gc_integer_get_unit(ARV_GC_INTEGER(node)));
            info.representation = RepresentationOf(arv_gc_integer_get_representation(ARV_GC_INTEGER(node)));
        } else if (info.type == KelFeatureDataFloat) {
            info.unit = Text(arv_gc_float_get_unit(ARV_GC_FLOAT(node)));
            info.representation = RepresentationOf(arv_gc_float_get_representation(ARV_GC_FLOAT(node)));
            info.hasFloatIncrement = DirectProperty(nodes[n], ARV_GC_PROPERTY_NODE_TYPE_INCREMENT)
                                     || DirectProperty(nodes[n], ARV_GC_PROPERTY_NODE_TYPE_P_INCREMENT);
        } else if (info.type == KelFeatureDataEnum) {
            // In document order: Aravis's own entry list runs the other way.
            for (ArvDomNode* child = arv_dom_node_get_first_child(nodes[n]); child;
                 child = arv_dom_node_get_next_sibling(child)) {
                if (!ARV_IS_GC_ENUM_ENTRY(child))
                    continue;
                auto* entryNode = ARV_GC_FEATURE_NODE(child);
                GError* error = nullptr;
                const std::int64_t value = arv_gc_enum_entry_get_value(ARV_GC_ENUM_ENTRY(entryNode), &error);
                if (error) {
                    g_error_free(error);
                    continue;
                }
                const char* entryName = arv_gc_feature_node_get_name(entryNode);
                const std::string entryDisplay = Text(arv_gc_feature_node_get_display_name(entryNode));
                const std::string entryDescription = Text(arv_gc_feature_node_get_description(entryNode));
                const std::string entryTip = Text(arv_gc_feature_node_get_tooltip(entryNode));
                info.entries.push_back(
                    {EnumEntry(Text(entryName), value, entryDisplay, entryDescription,
                               entryTip.empty() ? entryDescription : entryTip,
                               VisibilityOf(arv_gc_feature_node_get_visibility(entryNode))),
                     entryNode});
            }
        }
        // A value the camera does not let us cache changes by itself. (A
        // command's register is not cached either, but it holds no value.)
        for (int v : info.type == KelFeatureDataCommand ? std::vector<int>() : reach(static_cast<int>(n), values)) {
            ArvGcPropertyNode* cachable = DirectProperty(nodes[static_cast<std::size_t>(v)],
                                                         ARV_GC_PROPERTY_NODE_TYPE_CACHABLE);
            if (cachable && arv_gc_property_node_get_cachable(cachable, ARV_GC_CACHABLE_WRITE_THROUGH)
                                == ARV_GC_CACHABLE_NO_CACHE)
                info.isVolatile = true;
        }
        index.emplace(name, static_cast<int>(infos.size()));
        infos.push_back(std::move(info));
    }

    // Who reads what: a write of a feature reaches every feature that reads
    // one of the nodes its value is stored through.
    std::unordered_map<int, std::vector<int>> readers; // node -> features
    std::vector<int> nodeOf(infos.size());
    for (std::size_t f = 0; f < infos.size(); ++f) {
        nodeOf[f] = byName.at(infos[f].name);
        for (int node : reach(nodeOf[f], links))
            readers[node].push_back(static_cast<int>(f));
    }
    for (std::size_t f = 0; f < infos.size(); ++f) {
        FeatureInfo& info = infos[f];
        if (ARV_IS_GC_SELECTOR(info.node) && arv_gc_selector_is_selector(ARV_GC_SELECTOR(info.node))) {
            for (const GSList* item = arv_gc_selector_get_selected_features(ARV_GC_SELECTOR(info.node)); item;
                 item = item->next) {
                const int s = Find(arv_gc_feature_node_get_name(ARV_GC_FEATURE_NODE(item->data)));
                if (s >= 0)
                    info.selected.push_back(s);
            }
        }
    }
    for (std::size_t f = 0; f < infos.size(); ++f) {
        FeatureInfo& info = infos[f];
        std::vector<int> moved{static_cast<int>(f)};
        for (std::size_t i = 0; i < moved.size(); ++i) {
            for (int s : infos[static_cast<std::size_t>(moved[i])].selected) {
                if (std::find(moved.begin(), moved.end(), s) == moved.end())
                    moved.push_back(s);
            }
        }
        std::set<int> affected;
        for (int node : reach(nodeOf[f], values)) {
            for (int reader : readers[node])
                affected.insert(reader);
        }
        affected.erase(static_cast<int>(f));
        info.moved.assign(moved.begin() + 1, moved.end());
        for (int a : affected) {
            if (std::find(info.moved.begin(), info.moved.end(), a) == info.moved.end())
                info.affected.push_back(a);
        }
    }

    auto self = shared_from_this();
    for (std::size_t f = 0; f < infos.size(); ++f) {
        features.push_back(std::make_shared<AravisFeature>(self, static_cast<int>(f)));
        if (infos[f].isVolatile && infos[f].readable)
            polled.push_back(static_cast<int>(f));
    }
}

// --- Errors and access ------------------------------------------------------

KelErrorType AravisCore::Fail(GError* error)
{
    KelErrorType code = KelError::Other;
    if (error->domain == ARV_DEVICE_ERROR) {
        switch (error->code) {
        case ARV_DEVICE_ERROR_TIMEOUT:
            code = KelError::Timeout;
            lost = true;
            break;
        case ARV_DEVICE_ERROR_NOT_CONNECTED:
        case ARV_DEVICE_ERROR_TRANSFER_ERROR:
            code = KelError::IO;
            lost = true;
            break;
        case ARV_DEVICE_ERROR_PROTOCOL_ERROR_WRITE_PROTECT:
        case ARV_DEVICE_ERROR_PROTOCOL_ERROR_ACCESS_DENIED:
        case ARV_DEVICE_ERROR_NOT_CONTROLLER:
            code = KelError::InvalidAccess;
            break;
        case ARV_DEVICE_ERROR_WRONG_FEATURE:
            code = KelError::WrongType;
            break;
        case ARV_DEVICE_ERROR_FEATURE_NOT_FOUND:
            code = KelError::NotFound;
            break;
        default:
            code = KelError::IO;
            break;
        }
    } else if (error->domain == ARV_GC_ERROR) {
        switch (error->code) {
        case ARV_GC_ERROR_OUT_OF_RANGE:
        case ARV_GC_ERROR_ENUM_ENTRY_NOT_FOUND:
        case ARV_GC_ERROR_INVALID_LENGTH:
            code = KelError::InvalidValue;
            break;
        case ARV_GC_ERROR_READ_ONLY:
            code = KelError::InvalidAccess;
            break;
        default:
            code = KelError::Other;
            break;
        }
    } else {
        code = KelError::IO; // a socket or USB error underneath
    }
    g_error_free(error);
    return code;
}

KelErrorType AravisCore::Available(ArvGcFeatureNode* node, bool& available)
{
    GError* error = nullptr;
    available = arv_gc_feature_node_is_implemented(node, &error);
    if (!error && available)
        available = arv_gc_feature_node_is_available(node, &error);
    return error ? Fail(error) : KelError::Success;
}

KelErrorType AravisCore::Available(int f, bool& available)
{
    return Available(Info(f).node, available);
}

KelErrorType AravisCore::Access(int f, bool& readable, bool* writable)
{
    // Each question may read registers on the camera: ask only what the
    // caller needs.
    const FeatureInfo& info = Info(f);
    bool available = false;
    if (const KelErrorType err = Available(f, available))
        return err;
    readable = available && info.readable;
    if (!writable)
        return KelError::Success;
    *writable = available && info.writable;
    if (*writable) {
        GError* error = nullptr;
        const bool locked = arv_gc_feature_node_is_locked(info.node, &error);
        if (error)
            return Fail(error);
        *writable = !locked;
    }
    return KelError::Success;
}

KelErrorType AravisCore::CheckReadable(int f, KelFeatureDataType type, KelFeatureDataType alsoType)
{
    const KelFeatureDataType actual = Info(f).type;
    if (actual != type && (alsoType == KelFeatureDataUnknown || actual != alsoType))
        return KelError::WrongType;
    bool readable = false;
    if (const KelErrorType err = Access(f, readable))
        return err;
    return readable ? KelError::Success : KelError::InvalidAccess;
}

KelErrorType AravisCore::CheckWritable(int f, KelFeatureDataType type)
{
    if (Info(f).type != type)
        return KelError::WrongType;
    bool readable = false, writable = false;
    if (const KelErrorType err = Access(f, readable, &writable))
        return err;
    return writable ? KelError::Success : KelError::InvalidAccess;
}

KelErrorType AravisCore::IsReadable(int f, bool& readable)
{
    return Access(f, readable);
}

KelErrorType AravisCore::IsWritable(int f, bool& writable)
{
    bool readable = false;
    return Access(f, readable, &writable);
}

KelErrorType AravisCore::Written(int f, GError* error)
{
    if (error)
        return Fail(error);
    NotifyWritten(f);
    return KelError::Success;
}

void AravisCore::NotifyWritten(int f)
{
    const FeatureInfo& info = Info(f);
    dispatcher.Post(features[static_cast<std::size_t>(f)], KelFeatureChangeValue);
    for (int a : info.affected)
        dispatcher.Post(features[static_cast<std::size_t>(a)], KelFeatureChangeValue);
    for (int m : info.moved)
        dispatcher.Post(features[static_cast<std::size_t>(m)], KelFeatureChangeSelector);
}

// --- Reads ------------------------------------------------------------------

#define KEL_ARV_CALL(expression)                                                                   \
    GError* error = nullptr;                                                                       \
    expression;                                                                                    \
    if (error)                                                                                     \
        return Fail(error);

KelErrorType AravisCore::GetInt(int f, std::int64_t& value)
{
    if (const KelErrorType err = CheckReadable(f, KelFeatureDataInt, KelFeatureDataEnum))
        return err;
    ArvGcFeatureNode* node = Info(f).node;
    std::int64_t v = 0;
    if (Info(f).type == KelFeatureDataEnum) {
        KEL_ARV_CALL(v = arv_gc_enumeration_get_int_value(ARV_GC_ENUMERATION(node), &error))
    } else {
        KEL_ARV_CALL(v = arv_gc_integer_get_value(ARV_GC_INTEGER(node), &error))
    }
    value = v;
    return KelError::Success;
}

KelErrorType AravisCore::GetFloat(int f, double& value)
{
    if (const KelErrorType err = CheckReadable(f, KelFeatureDataFloat))
        return err;
    KEL_ARV_CALL(const double v = arv_gc_float_get_value(ARV_GC_FLOAT(Info(f).node), &error))
    value = v;
    return KelError::Success;
}

KelErrorType AravisCore::GetBool(int f, bool& value)
{
    if (const KelErrorType err = CheckReadable(f, KelFeatureDataBool))
        return err;
    KEL_ARV_CALL(const bool v = arv_gc_boolean_get_value(ARV_GC_BOOLEAN(Info(f).node), &error))
    value = v;
    return KelError::Success;
}

KelErrorType AravisCore::GetText(int f, std::string& text)
{
    if (const KelErrorType err = CheckReadable(f, KelFeatureDataEnum, KelFeatureDataString))
        return err;
    ArvGcFeatureNode* node = Info(f).node;
    const char* v = nullptr;
    if (Info(f).type == KelFeatureDataEnum) {
        KEL_ARV_CALL(v = arv_gc_enumeration_get_string_value(ARV_GC_ENUMERATION(node), &error))
    } else {
        KEL_ARV_CALL(v = arv_gc_string_get_value(ARV_GC_STRING(node), &error))
    }
    // A string register may hold no terminator within its length; Aravis
    // gives it one.
    text = Text(v);
    return KelError::Success;
}

KelErrorType AravisCore::GetRaw(int f, std::vector<std::uint8_t>& data)
{
    if (const KelErrorType err = CheckReadable(f, KelFeatureDataRaw))
        return err;
    auto* reg = ARV_GC_REGISTER(Info(f).node);
    KEL_ARV_CALL(const guint64 length = arv_gc_register_get_length(reg, &error))
    if (length > (1u << 24))
        return KelError::Resources;
    data.assign(static_cast<std::size_t>(length), 0);
    GError* readError = nullptr;
    arv_gc_register_get(reg, data.data(), length, &readError);
    if (readError)
        return Fail(readError);
    return KelError::Success;
}

// --- Writes -----------------------------------------------------------------

KelErrorType AravisCore::SetInt(int f, std::int64_t value)
{
    const FeatureInfo& info = Info(f);
    if (info.type == KelFeatureDataEnum) {
        const int entry = info.EntryByValue(value);
        if (entry >= 0)
            return SetText(f, info.entries[static_cast<std::size_t>(entry)].entry.GetName().c_str());
        bool readable = false, writable = false;
        if (const KelErrorType err = Access(f, readable, &writable))
            return err;
        return writable ? KelError::InvalidValue : KelError::InvalidAccess;
    }
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataInt))
        return err;
    auto* node = ARV_GC_INTEGER(info.node);
    std::int64_t min = 0, max = 0;
    GError* limitError = ReadLimits(node, arv_gc_integer_get_min, arv_gc_integer_get_max, min, max);
    const std::int64_t inc = limitError ? 1 : arv_gc_integer_get_inc(node, &limitError);
    if (limitError)
        return Fail(limitError);
    if (value < min || value > max)
        return KelError::InvalidValue;
    // Aravis checks the range only; the grid is ours to check. Unsigned, so
    // that a range across the whole 64 bits cannot overflow.
    const auto steps = static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(min);
    if (inc > 1 && steps % static_cast<std::uint64_t>(inc) != 0)
        return KelError::InvalidValue;
    GError* writeError = nullptr;
    arv_gc_integer_set_value(node, value, &writeError);
    return Written(f, writeError);
}

KelErrorType AravisCore::SetFloat(int f, double value)
{
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataFloat))
        return err;
    auto* node = ARV_GC_FLOAT(Info(f).node);
    double min = 0, max = 0;
    GError* limitError = ReadLimits(node, arv_gc_float_get_min, arv_gc_float_get_max, min, max);
    if (limitError)
        return Fail(limitError);
    if (!(value >= min && value <= max))
        return KelError::InvalidValue;
    if (Info(f).hasFloatIncrement) {
        const double inc = arv_gc_float_get_inc(node, &limitError);
        if (limitError)
            return Fail(limitError);
        // Tolerate the rounding of a value computed as min + k * inc.
        const double steps = inc > 0 ? (value - min) / inc : 0.0;
        if (std::fabs(steps - std::round(steps)) > 1e-6 * std::max(1.0, std::fabs(steps)))
            return KelError::InvalidValue;
    }
    GError* writeError = nullptr;
    arv_gc_float_set_value(node, value, &writeError);
    return Written(f, writeError);
}

KelErrorType AravisCore::SetBool(int f, bool value)
{
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataBool))
        return err;
    KEL_ARV_CALL(arv_gc_boolean_set_value(ARV_GC_BOOLEAN(Info(f).node), value, &error))
    NotifyWritten(f);
    return KelError::Success;
}

KelErrorType AravisCore::SetText(int f, const char* value)
{
    if (!value)
        return KelError::BadParameter;
    const FeatureInfo& info = Info(f);
    if (info.type == KelFeatureDataString) {
        if (const KelErrorType err = CheckWritable(f, KelFeatureDataString))
            return err;
        auto* node = ARV_GC_STRING(info.node);
        KEL_ARV_CALL(const std::int64_t maxLength = arv_gc_string_get_max_length(node, &error))
        if (static_cast<std::int64_t>(std::strlen(value)) > maxLength)
            return KelError::InvalidValue;
        GError* writeError = nullptr;
        arv_gc_string_set_value(node, value, &writeError);
        return Written(f, writeError);
    }
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataEnum))
        return err;
    const int entry = info.EntryByName(value);
    if (entry < 0)
        return KelError::InvalidValue;
    // Writable, so available: only the entry is left to ask.
    bool available = false;
    if (const KelErrorType err = Available(info.entries[static_cast<std::size_t>(entry)].node, available))
        return err;
    if (!available)
        return KelError::NotAvailable;
    KEL_ARV_CALL(arv_gc_enumeration_set_string_value(ARV_GC_ENUMERATION(info.node), value, &error))
    NotifyWritten(f);
    return KelError::Success;
}

KelErrorType AravisCore::SetRaw(int f, const std::uint8_t* data, std::uint32_t size)
{
    if (!data || size == 0)
        return KelError::BadParameter;
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataRaw))
        return err;
    auto* reg = ARV_GC_REGISTER(Info(f).node);
    KEL_ARV_CALL(const guint64 length = arv_gc_register_get_length(reg, &error))
    if (size > length)
        return KelError::InvalidValue;
    // The register is written whole: what the data leaves out is zero.
    std::vector<std::uint8_t> buffer(data, data + size);
    buffer.resize(static_cast<std::size_t>(length), 0);
    GError* writeError = nullptr;
    arv_gc_register_set(reg, buffer.data(), length, &writeError);
    return Written(f, writeError);
}

// --- Limits, entries, commands ----------------------------------------------

KelErrorType AravisCore::GetIntRange(int f, std::int64_t& min, std::int64_t& max)
{
    if (Info(f).type != KelFeatureDataInt)
        return KelError::WrongType;
    bool available = false;
    if (const KelErrorType err = Available(f, available))
        return err;
    if (!available)
        return KelError::InvalidAccess;
    std::int64_t low = 0, high = 0;
    if (GError* error = ReadLimits(ARV_GC_INTEGER(Info(f).node), arv_gc_integer_get_min, arv_gc_integer_get_max, low, high))
        return Fail(error);
    min = low;
    max = high;
    return KelError::Success;
}

KelErrorType AravisCore::GetFloatRange(int f, double& min, double& max)
{
    if (Info(f).type != KelFeatureDataFloat)
        return KelError::WrongType;
    bool available = false;
    if (const KelErrorType err = Available(f, available))
        return err;
    if (!available)
        return KelError::InvalidAccess;
    double low = 0, high = 0;
    if (GError* error = ReadLimits(ARV_GC_FLOAT(Info(f).node), arv_gc_float_get_min, arv_gc_float_get_max, low, high))
        return Fail(error);
    min = low;
    max = high;
    return KelError::Success;
}

KelErrorType AravisCore::GetIntIncrement(int f, std::int64_t& inc)
{
    if (Info(f).type != KelFeatureDataInt)
        return KelError::WrongType;
    KEL_ARV_CALL(const std::int64_t v = arv_gc_integer_get_inc(ARV_GC_INTEGER(Info(f).node), &error))
    inc = v;
    return KelError::Success;
}

KelErrorType AravisCore::GetFloatIncrement(int f, double& inc)
{
    if (Info(f).type != KelFeatureDataFloat)
        return KelError::WrongType;
    if (!Info(f).hasFloatIncrement)
        return KelError::NotAvailable;
    KEL_ARV_CALL(const double v = arv_gc_float_get_inc(ARV_GC_FLOAT(Info(f).node), &error))
    inc = v;
    return KelError::Success;
}

KelErrorType AravisCore::IsEntryAvailable(int f, int entry, bool& available)
{
    bool ok = false;
    if (const KelErrorType err = Available(f, ok))
        return err;
    available = false;
    return ok ? Available(Info(f).entries[static_cast<std::size_t>(entry)].node, available) : KelError::Success;
}

KelErrorType AravisCore::GetAvailableEntries(int f, std::vector<int>& entries)
{
    entries.clear();
    // The feature's own availability once, then each entry's.
    bool available = false;
    if (const KelErrorType err = Available(f, available))
        return err;
    const auto& all = Info(f).entries;
    for (std::size_t e = 0; available && e < all.size(); ++e) {
        bool entryAvailable = false;
        if (const KelErrorType err = Available(all[e].node, entryAvailable))
            return err;
        if (entryAvailable)
            entries.push_back(static_cast<int>(e));
    }
    return KelError::Success;
}

KelErrorType AravisCore::RunCommand(int f)
{
    if (const KelErrorType err = CheckWritable(f, KelFeatureDataCommand))
        return err;
    KEL_ARV_CALL(arv_gc_command_execute(ARV_GC_COMMAND(Info(f).node), &error))
    NotifyWritten(f);
    return KelError::Success;
}

KelErrorType AravisCore::IsCommandDone(int f, bool& done)
{
    if (Info(f).type != KelFeatureDataCommand)
        return KelError::WrongType;
    // A command register the camera lets us read holds the command value
    // until the command finished; a write-only one tells nothing, and the
    // command counts as done once written.
    ArvDomNode* node = ARV_DOM_NODE(Info(f).node);
    ArvGcPropertyNode* valueLink = DirectProperty(node, ARV_GC_PROPERTY_NODE_TYPE_P_VALUE);
    ArvGcPropertyNode* commandValue = DirectProperty(node, ARV_GC_PROPERTY_NODE_TYPE_COMMAND_VALUE);
    ArvGcNode* target = valueLink ? arv_gc_property_node_get_linked_node(valueLink) : nullptr;
    if (!target || !commandValue || !ARV_IS_GC_INTEGER(target) || !ARV_IS_GC_FEATURE_NODE(target)
        || arv_gc_feature_node_get_actual_access_mode(ARV_GC_FEATURE_NODE(target)) == ARV_GC_ACCESS_MODE_WO) {
        done = true;
        return KelError::Success;
    }
    KEL_ARV_CALL(const std::int64_t expected = arv_gc_property_node_get_int64(commandValue, &error))
    GError* readError = nullptr;
    const std::int64_t now = arv_gc_integer_get_value(ARV_GC_INTEGER(target), &readError);
    if (readError)
        return Fail(readError);
    done = now != expected;
    return KelError::Success;
}

#undef KEL_ARV_CALL

KelErrorType AravisCore::WriteMemory(std::uint64_t address, const std::vector<std::uint8_t>& data)
{
    if (data.empty() || data.size() > UINT32_MAX)
        return KelError::BadParameter;
    return Device([&] {
        std::vector<std::uint8_t> copy(data); // Aravis takes a mutable buffer
        GError* error = nullptr;
        arv_device_write_memory(device, address, static_cast<guint32>(copy.size()), copy.data(), &error);
        return error ? Fail(error) : KelError::Success;
    });
}

// --- Observers and polling --------------------------------------------------

KelErrorType AravisCore::Register(int f, const std::shared_ptr<IFeatureObserver>& observer)
{
    return dispatcher.Register(features[static_cast<std::size_t>(f)].get(), observer);
}

KelErrorType AravisCore::Unregister(int f, const std::shared_ptr<IFeatureObserver>& observer)
{
    return dispatcher.Unregister(features[static_cast<std::size_t>(f)].get(), observer);
}

void AravisCore::SetPollRate(double hz)
{
    {
        const std::lock_guard<std::mutex> lock(pollMutex);
        pollRate = std::isfinite(hz) && hz > 0 ? hz : 0.0;
    }
    pollWake.notify_all();
}

std::string AravisCore::PollValue(int f)
{
    // Unreadable reads as empty, so that losing access counts as a change.
    std::string text;
    switch (Info(f).type) {
    case KelFeatureDataInt:
    case KelFeatureDataEnum: {
        std::int64_t v = 0;
        if (GetInt(f, v) == KelError::Success)
            text = "i" + std::to_string(v);
        break;
    }
    case KelFeatureDataFloat: {
        double v = 0;
        if (GetFloat(f, v) == KelError::Success)
            text = "f" + std::to_string(v);
        break;
    }
    case KelFeatureDataBool: {
        bool v = false;
        if (GetBool(f, v) == KelError::Success)
            text = v ? "b1" : "b0";
        break;
    }
    case KelFeatureDataString:
        if (GetText(f, text) == KelError::Success)
            text.insert(0, "s");
        break;
    case KelFeatureDataRaw: {
        std::vector<std::uint8_t> data;
        if (GetRaw(f, data) == KelError::Success)
            text.assign("r").append(data.begin(), data.end());
        break;
    }
    default:
        break;
    }
    return text;
}

void AravisCore::PollLoop()
{
    std::vector<std::string> last(infos.size());
    std::vector<bool> known(infos.size(), false);
    auto roundStart = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(pollMutex);
            for (;;) {
                if (stopping)
                    return;
                if (pollRate <= 0) {
                    pollWake.wait(lock);
                    continue;
                }
                const auto due = roundStart
                                 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(1.0 / pollRate));
                if (std::chrono::steady_clock::now() >= due)
                    break;
                pollWake.wait_until(lock, due);
            }
        }
        roundStart = std::chrono::steady_clock::now();
        // The trace's sample comes first; a watched LineStatusAll below takes
        // its value from it rather than reading the camera twice.
        std::string sampled;
        std::shared_ptr<AravisTrace> held;
        {
            const std::lock_guard<std::mutex> lock(traceMutex);
            held = trace.lock();
        }
        if (held) {
            const std::lock_guard<std::mutex> lock(mutex);
            std::int64_t levels = 0;
            const std::int64_t before = held->Now();
            if (!closed && !lost && GetInt(lineStatusAll, levels) == KelError::Success) {
                held->AddSample(before + (held->Now() - before) / 2, static_cast<std::uint64_t>(levels));
                sampled = "i" + std::to_string(levels);
            }
        }
        for (int f : polled) {
            const auto& feature = features[static_cast<std::size_t>(f)];
            // Nobody listens: nothing to tell, and no reason to use the wire.
            if (dispatcher.ObserverCount(feature.get()) == 0) {
                known[static_cast<std::size_t>(f)] = false;
                continue;
            }
            std::string value;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (closed || lost)
                    break;
                value = f == lineStatusAll && !sampled.empty() ? sampled : PollValue(f);
                const auto i = static_cast<std::size_t>(f);
                if (known[i] && value != last[i]) {
                    dispatcher.Post(feature, KelFeatureChangeValue);
                    for (int a : Info(f).affected)
                        dispatcher.Post(features[static_cast<std::size_t>(a)], KelFeatureChangeValue);
                }
                last[i] = std::move(value);
                known[i] = true;
            }
        }
        ++polls;
    }
}

// --- Images -------------------------------------------------------------------

KelErrorType AravisCore::PayloadSize(std::size_t& size)
{
    size = 0;
    ArvGcNode* node = arv_gc_get_node(genicam, "PayloadSize");
    if (node && ARV_IS_GC_INTEGER(node)) {
        GError* error = nullptr;
        const std::int64_t bytes = arv_gc_integer_get_value(ARV_GC_INTEGER(node), &error);
        if (error)
            return Fail(error);
        size = bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
    } else if (ARV_IS_FAKE_DEVICE(device)) {
        // Aravis's in-process fake camera streams what its own registers
        // say, whatever the description it serves.
        size = arv_fake_camera_get_payload(arv_fake_device_get_fake_camera(ARV_FAKE_DEVICE(device)));
    }
    return KelError::Success;
}

KelErrorType AravisCore::StartStream(const std::shared_ptr<IFrameObserver>& observer)
{
    if (!observer)
        return KelError::BadParameter;
    // Its own observer: a stream runs, the one calling. (Waiting below could
    // wait for a StopStream that waits for this very call.)
    if (AravisStream::IsDeliveryThreadOf(this))
        return KelError::InvalidAccess;
    {
        std::unique_lock<std::mutex> lock(streamMutex);
        streamIdle.wait(lock, [this] { return !streamBusy; });
        if (stream)
            return KelError::InvalidAccess;
        streamBusy = true;
    }
    std::shared_ptr<AravisStream> started;
    const KelErrorType result = Device([&] {
        std::size_t payload = 0;
        if (const KelErrorType err = PayloadSize(payload))
            return err;
        if (payload == 0)
            return KelError::NotAvailable; // nothing tells how large a frame is
        if (payload > (std::size_t(1) << 30))
            return KelError::Resources;
        GError* error = nullptr;
        const KelErrorType err = AravisStream::Start(device, payload, observer, this, started, &error);
        return error ? Fail(error) : err;
    });
    {
        const std::lock_guard<std::mutex> lock(streamMutex);
        if (result == KelError::Success) {
            stream = started;
            lastStatistics = StreamStatistics();
        }
        streamBusy = false;
    }
    streamIdle.notify_all();
    // Closed while it started: Close found no stream to stop.
    if (result == KelError::Success && closed) {
        StopStream();
        return KelError::NotOpen;
    }
    return result;
}

KelErrorType AravisCore::StopStream()
{
    // The observer stopping its own stream does not wait for another start
    // or stop: that one may be waiting for the observer to return.
    const bool fromObserver = AravisStream::IsDeliveryThreadOf(this);
    std::shared_ptr<AravisStream> stopped;
    {
        std::unique_lock<std::mutex> lock(streamMutex);
        if (!fromObserver)
            streamIdle.wait(lock, [this] { return !streamBusy; });
        if (!stream)
            return KelError::Success;
        stopped.swap(stream);
        stopped->Statistics(lastStatistics);
        streamBusy = true;
    }
    stopped->Stop();
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (lost)
            stopped->ReleaseLater();
        else
            stopped->Release();
    }
    {
        const std::lock_guard<std::mutex> lock(streamMutex);
        stopped->Statistics(lastStatistics);
        streamBusy = false;
    }
    streamIdle.notify_all();
    return KelError::Success;
}

void AravisCore::GetStreamStatistics(StreamStatistics& statistics) const
{
    std::shared_ptr<AravisStream> running;
    {
        const std::lock_guard<std::mutex> lock(streamMutex);
        running = stream;
        statistics = lastStatistics;
    }
    if (running)
        running->Statistics(statistics);
}

// --- Signals ------------------------------------------------------------------

namespace {

std::int64_t Nanoseconds(std::chrono::nanoseconds time)
{
    return static_cast<std::int64_t>(time.count());
}

std::int64_t SteadyNs()
{
    return Nanoseconds(std::chrono::steady_clock::now().time_since_epoch());
}

} // namespace

bool AravisCore::LatchTimestamp(const char* latch, const char* value, const char* tickFrequency, std::int64_t& ns)
{
    ArvGcNode* latchNode = arv_gc_get_node(genicam, latch);
    ArvGcNode* valueNode = arv_gc_get_node(genicam, value);
    ArvGcNode* frequencyNode = tickFrequency ? arv_gc_get_node(genicam, tickFrequency) : nullptr;
    if (!latchNode || !ARV_IS_GC_COMMAND(latchNode) || !valueNode || !ARV_IS_GC_INTEGER(valueNode)
        || (tickFrequency && (!frequencyNode || !ARV_IS_GC_INTEGER(frequencyNode))))
        return false;
    GError* error = nullptr;
    std::int64_t frequency = 1000000000;
    if (frequencyNode)
        frequency = arv_gc_integer_get_value(ARV_GC_INTEGER(frequencyNode), &error);
    if (!error)
        arv_gc_command_execute(ARV_GC_COMMAND(latchNode), &error);
    const std::int64_t ticks = error ? 0 : arv_gc_integer_get_value(ARV_GC_INTEGER(valueNode), &error);
    if (error) {
        Fail(error);
        return false;
    }
    // A camera whose clock reads 0 has none that runs (Aravis's fake cameras).
    if (ticks <= 0 || frequency <= 0)
        return false;
    ns = static_cast<std::int64_t>(static_cast<long double>(ticks) * 1e9L / static_cast<long double>(frequency));
    return true;
}

std::int64_t AravisCore::TraceClockOffset()
{
    const std::int64_t before = SteadyNs();
    std::int64_t camera = 0;
    if (!closed && !lost
        && (LatchTimestamp("TimestampLatch", "TimestampLatchValue", nullptr, camera)
            || LatchTimestamp("GevTimestampControlLatch", "GevTimestampValue", "GevTimestampTickFrequency", camera)))
        return camera - (before + (SteadyNs() - before) / 2);
    return Nanoseconds(std::chrono::system_clock::now().time_since_epoch()) - SteadyNs();
}

std::shared_ptr<SignalTrace> AravisCore::GetSignalTrace()
{
    if (lineStatusAll < 0 || closed)
        return nullptr;
    const std::lock_guard<std::mutex> lock(traceMutex);
    if (auto held = trace.lock())
        return held;
    std::vector<SignalInfo> lines;
    for (const EntryInfo& entry : Info(lineSelector).entries)
        lines.push_back({entry.entry.GetName(), KelSignalLevel});
    std::int64_t offset = 0;
    {
        const std::lock_guard<std::mutex> device(mutex);
        offset = TraceClockOffset();
    }
    auto made = std::make_shared<AravisTrace>(shared_from_this(), std::move(lines), offset, traceSamples);
    trace = made;
    return made;
}

} // namespace Aravis
} // namespace KelCPP
