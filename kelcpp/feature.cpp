#include "feature.h"
#include "camera.h"
#include "featureobserver.h"

#include <algorithm>
#include <new>

namespace KelCPP {

namespace {

// The two-call pattern shared by every text and list result: ask for the
// size, then fetch into a buffer of that size. `fill(buffer, size)` is the
// backend's low-level call; `Out` is std::string or a std::vector.
template <typename Out, typename Fill>
KelErrorType FetchTwoCall(Out& out, Fill fill)
{
    std::uint32_t size = 0;
    KelErrorType err = fill(nullptr, size);
    if (err != KelError::Success)
        return err;
    if (size == 0) {
        out.clear();
        return KelError::Success;
    }
    try {
        Out buffer(size, typename Out::value_type());
        std::uint32_t filled = size;
        err = fill(&buffer[0], filled);
        if (err != KelError::Success)
            return err;
        // The value may have shrunk between the two calls.
        if (filled < size)
            buffer.resize(filled);
        out.swap(buffer);
        return KelError::Success;
    } catch (const std::bad_alloc&) {
        return KelError::Resources;
    }
}

// A text in one call when it fits the usual size (most names and entries
// do), else in as many as it takes to learn its length and fetch it.
template <typename Fill>
KelErrorType FetchText(std::string& out, Fill fill)
{
    char local[256];
    std::uint32_t length = sizeof(local);
    const KelErrorType err = fill(local, length);
    if (err == KelError::MoreData)
        return FetchTwoCall(out, fill);
    if (err != KelError::Success)
        return err;
    try {
        out.assign(local, std::min<std::uint32_t>(length, sizeof(local)));
        return KelError::Success;
    } catch (const std::bad_alloc&) {
        return KelError::Resources;
    }
}

} // namespace

Feature::~Feature() = default;
Camera::~Camera() = default;

KelErrorType Camera::StartStream(const std::shared_ptr<IFrameObserver>&)
{
    return KelError::NotImplemented;
}

KelErrorType Camera::StopStream()
{
    return KelError::Success;
}

KelErrorType Camera::GetStreamStatistics(StreamStatistics&) const
{
    return KelError::NotImplemented;
}

std::shared_ptr<SignalTrace> Camera::GetSignalTrace() const
{
    return nullptr;
}

IFrameObserver::~IFrameObserver() = default;
SignalTrace::~SignalTrace() = default;

IFeatureObserver::~IFeatureObserver() = default;

void IFeatureObserver::NotifyFeatureChanges(const std::shared_ptr<Feature>& feature, std::uint32_t)
{
    NotifyFeatureChanged(feature);
}

KelErrorType Feature::GetValue(std::string& value) const
{
    return FetchText(value, [this](char* b, std::uint32_t& n) { return GetValue(b, n); });
}

KelErrorType Feature::GetValue(std::vector<std::uint8_t>& value, std::uint32_t& sizeFilled) const
{
    std::uint32_t size = 0;
    std::uint32_t filled = 0;
    KelErrorType err = GetValue(static_cast<std::uint8_t*>(nullptr), size, filled);
    if (err != KelError::Success)
        return err;
    if (size == 0) {
        value.clear();
        sizeFilled = 0;
        return KelError::Success;
    }
    try {
        std::vector<std::uint8_t> buffer(size, 0);
        std::uint32_t capacity = size;
        err = GetValue(buffer.data(), capacity, filled);
        if (err != KelError::Success)
            return err;
        value.swap(buffer);
        sizeFilled = filled;
        return KelError::Success;
    } catch (const std::bad_alloc&) {
        return KelError::Resources;
    }
}

KelErrorType Feature::GetValue(std::vector<std::uint8_t>& value) const
{
    std::uint32_t filled = 0;
    return GetValue(value, filled);
}

KelErrorType Feature::GetValues(std::vector<std::string>& names) const
{
    std::vector<const char*> raw;
    const KelErrorType err = FetchTwoCall(
        raw, [this](const char** b, std::uint32_t& n) { return GetValues(b, n); });
    if (err != KelError::Success)
        return err;
    try {
        std::vector<std::string> result;
        result.reserve(raw.size());
        for (const char* name : raw)
            result.emplace_back(name ? name : "");
        names.swap(result);
        return KelError::Success;
    } catch (const std::bad_alloc&) {
        return KelError::Resources;
    }
}

KelErrorType Feature::GetAvailableValues(const char** names, std::uint32_t& count) const
{
    std::vector<const char*> all;
    KelErrorType err = FetchTwoCall(all, [this](const char** b, std::uint32_t& n) { return GetValues(b, n); });
    if (err != KelError::Success)
        return err;
    std::vector<const char*> available;
    for (const char* name : all) {
        bool ok = false;
        err = IsValueAvailable(name, ok);
        if (err != KelError::Success)
            return err;
        if (ok)
            available.push_back(name);
    }
    const auto size = static_cast<std::uint32_t>(available.size());
    if (names && count < size) {
        count = size;
        return KelError::MoreData;
    }
    if (names)
        std::copy(available.begin(), available.end(), names);
    count = size;
    return KelError::Success;
}

KelErrorType Feature::GetAvailableValues(std::vector<std::string>& names) const
{
    try {
        // As many as there are entries: the one buffer that always suffices.
        std::uint32_t capacity = 0;
        KelErrorType err = GetValues(static_cast<const char**>(nullptr), capacity);
        for (int attempt = 0; err == KelError::Success && attempt < 3; ++attempt) {
            std::vector<const char*> buffer(capacity);
            std::uint32_t count = capacity;
            err = GetAvailableValues(capacity ? buffer.data() : nullptr, count);
            if (err == KelError::MoreData) { // the entries grew meanwhile
                capacity = count;
                err = KelError::Success;
                continue;
            }
            if (err != KelError::Success)
                return err;
            std::vector<std::string> result;
            for (std::uint32_t i = 0; capacity && i < count; ++i)
                result.emplace_back(buffer[i] ? buffer[i] : "");
            names.swap(result);
            return KelError::Success;
        }
        return err == KelError::Success ? KelError::MoreData : err;
    } catch (const std::bad_alloc&) {
        return KelError::Resources;
    }
}

KelErrorType Feature::GetValues(std::vector<std::int64_t>& values) const
{
    return FetchTwoCall(values,
                        [this](std::int64_t* b, std::uint32_t& n) { return GetValues(b, n); });
}

KelErrorType Feature::GetEntries(std::vector<EnumEntry>& entries) const
{
    return FetchTwoCall(entries,
                        [this](EnumEntry* b, std::uint32_t& n) { return GetEntries(b, n); });
}

KelErrorType Feature::GetValidValueSet(std::vector<std::int64_t>& values) const
{
    return FetchTwoCall(
        values, [this](std::int64_t* b, std::uint32_t& n) { return GetValidValueSet(b, n); });
}

KelErrorType Feature::GetSelectedFeatures(std::vector<std::shared_ptr<Feature>>& features) const
{
    return FetchTwoCall(features, [this](std::shared_ptr<Feature>* b, std::uint32_t& n) {
        return GetSelectedFeatures(b, n);
    });
}

#define KELCPP_TEXT_GETTER(Op)                                                                     \
    KelErrorType Feature::Op(std::string& text) const                                              \
    {                                                                                              \
        return FetchText(text, [this](char* b, std::uint32_t& n) { return Op(b, n); });            \
    }

KELCPP_TEXT_GETTER(GetName)
KELCPP_TEXT_GETTER(GetDisplayName)
KELCPP_TEXT_GETTER(GetCategory)
KELCPP_TEXT_GETTER(GetUnit)
KELCPP_TEXT_GETTER(GetRepresentation)
KELCPP_TEXT_GETTER(GetToolTip)
KELCPP_TEXT_GETTER(GetDescription)

#undef KELCPP_TEXT_GETTER

const char* KelError::Name(KelErrorType code)
{
    switch (code) {
    case Success: return "Success";
    case Internal: return "Internal";
    case NotOpen: return "NotOpen";
    case NotFound: return "NotFound";
    case InvalidAccess: return "InvalidAccess";
    case BadParameter: return "BadParameter";
    case MoreData: return "MoreData";
    case WrongType: return "WrongType";
    case InvalidValue: return "InvalidValue";
    case Timeout: return "Timeout";
    case Other: return "Other";
    case Resources: return "Resources";
    case NotAvailable: return "NotAvailable";
    case NotImplemented: return "NotImplemented";
    case IO: return "IO";
    default: return "Unknown";
    }
}

} // namespace KelCPP
