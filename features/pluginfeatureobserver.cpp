#include "features/pluginfeatureobserver.h"

#include "kelcpp/kelcpptypes.h"

#include <cstdint>
#include <string>

namespace {

QString ValueText(const KelCPP::Feature& feature, KelCPP::KelFeatureDataType type)
{
    switch (type) {
    case KelCPP::KelFeatureDataInt: {
        std::int64_t value = 0;
        if (feature.GetValue(value) == KelCPP::KelError::Success)
            return QString::number(static_cast<qlonglong>(value));
        break;
    }
    case KelCPP::KelFeatureDataFloat: {
        double value = 0.0;
        if (feature.GetValue(value) == KelCPP::KelError::Success)
            return QString::number(value, 'g', 6);
        break;
    }
    case KelCPP::KelFeatureDataEnum:
    case KelCPP::KelFeatureDataString: {
        std::string value;
        if (feature.GetValue(value) == KelCPP::KelError::Success)
            return QString::fromStdString(value);
        break;
    }
    case KelCPP::KelFeatureDataBool: {
        bool value = false;
        if (feature.GetValue(value) == KelCPP::KelError::Success)
            return value ? QStringLiteral("true") : QStringLiteral("false");
        break;
    }
    case KelCPP::KelFeatureDataCommand:
        return QStringLiteral("[COMMAND]");
    case KelCPP::KelFeatureDataRaw:
        return QStringLiteral("Click here to open");
    default:
        break;
    }
    return QString();
}

} // namespace

PluginFeatureObserver::PluginFeatureObserver() = default;

PluginFeatureObserver::~PluginFeatureObserver() = default;

void PluginFeatureObserver::NotifyFeatureChanged(const std::shared_ptr<KelCPP::Feature>& feature)
{
    // Runs on the camera's notification thread: only the feature and locals
    // are touched here. The queued delivery copies both texts.
    if (!feature)
        return;
    std::string name;
    if (feature->GetName(name) != KelCPP::KelError::Success)
        return;
    const QString featureName = QString::fromStdString(name);
    KelCPP::KelFeatureDataType type = KelCPP::KelFeatureDataUnknown;
    if (feature->GetDataType(type) != KelCPP::KelError::Success)
        return;
    emit setChangedFeature(featureName, valueTextWanted ? ValueText(*feature, type) : QString(""));
}

void PluginFeatureObserver::NotifyFeatureChanges(const std::shared_ptr<KelCPP::Feature>& feature,
                                                 std::uint32_t changes)
{
    if (changes & KelCPP::KelFeatureChangeValue) {
        NotifyFeatureChanged(feature);
        return;
    }
    std::string name;
    if (feature && feature->GetName(name) == KelCPP::KelError::Success)
        emit selectorMoved(QString::fromStdString(name));
}

void PluginFeatureObserver::SetValueTextWanted(bool wanted)
{
    valueTextWanted = wanted;
}
