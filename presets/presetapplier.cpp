#include "presets/presetapplier.h"

#include "features/featuremanager.h"
#include "kelcpp/kelcpptypes.h"
#include "presets/presetsfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using PresetsFile::ExecuteKey;
using PresetsFile::ValueKey;

const QString AllEntries = QStringLiteral("<all>");

// Data types that need their own conversion.
constexpr int TypeInteger = KelCPP::KelFeatureDataInt;
constexpr int TypeFloat = KelCPP::KelFeatureDataFloat;
constexpr int TypeBoolean = KelCPP::KelFeatureDataBool;

} // namespace

PresetApplier::PresetApplier(FeatureManager* manager)
    : featureManager(manager)
{
}

QString PresetApplier::SetPresetFeature(const QString& featureName, const QVariant& value)
{
    // Missing and read-only features are skipped silently: one file serves
    // cameras with fewer features.
    if (!featureManager->HasFeature(featureName) || !featureManager->IsWritable(featureName))
        return QString();

    QVariant target = value;
    QVariant readBack;
    const int type = featureManager->GetDataType(featureName);
    if (type == TypeBoolean) {
        target = QVariant(value.toBool());
        readBack = QVariant(featureManager->SetValue(featureName, value.toBool() ? 1.0 : 0.0));
    } else if (type == TypeInteger || type == TypeFloat) {
        double min = 0.0;
        double max = 0.0;
        featureManager->GetValueRange(featureName, min, max);
        const QString text = value.toString();
        if (text == QLatin1String("<max>")) {
            target = QVariant(max);
        } else if (text == QLatin1String("<min>")) {
            target = QVariant(min);
        } else {
            double number = value.toDouble(); // a text that is no number gives 0
            if (number < min)
                number = min;
            else if (number > max)
                number = max;
            target = QVariant(number);
        }
        readBack = QVariant(featureManager->SetValue(featureName, target.toDouble()));
    } else {
        readBack = QVariant(featureManager->SetValue(featureName, value.toString()));
    }

    if (readBack == target)
        return QString();
    // One arg() call: a value holding "%3" must stay as it was written.
    return QStringLiteral("  Failed to set %1 = %2, Current value: '%3'\n")
        .arg(featureName, value.toString(), readBack.toString());
}

QString PresetApplier::ApplyEntry(const QString& featureName, const QString& value, const QVariantMap& dependents)
{
    QString errors = SetPresetFeature(featureName, value);
    if (!errors.isEmpty())
        return errors; // the dependents would land on the wrong selector value
    for (auto it = dependents.cbegin(); it != dependents.cend(); ++it)
        errors += SetPresetFeature(it.key(), it.value());
    return errors;
}

QString PresetApplier::Apply(const QVariantMap& body)
{
    // Through JSON again: its objects iterate in key order, so "#execute"
    // comes first (and runs last) and upper case sorts before lower case.
    const QJsonObject preset = QJsonDocument::fromVariant(body).object();
    QString errors;
    QString command;
    for (auto it = preset.constBegin(); it != preset.constEnd(); ++it) {
        const QString& key = it.key();
        if (key == ExecuteKey) {
            command = it.value().toString();
            continue;
        }
        if (it.value().isArray()) {
            // List form: one element per value, each with its own dependents.
            for (const QJsonValue& element : it.value().toArray()) {
                QVariantMap members = element.toObject().toVariantMap();
                const QString value = members.take(ValueKey).toString();
                errors += ApplyEntry(key, value, members);
            }
            continue;
        }

        QVariantMap members = it.value().toObject().toVariantMap();
        const QString value = members.take(ValueKey).toString();
        QStringList values;
        QString restore;
        if (value.startsWith(AllEntries)) {
            values = featureManager->GetAvailableEntries(key);
            // "<all>" puts the selector back where it was; "<all>_X" leaves it at X.
            restore = value.contains(QLatin1Char('_')) ? value.split(QLatin1Char('_')).value(1)
                                                       : featureManager->GetStringValue(key);
        } else {
            values << value;
        }
        for (const QString& entry : values)
            errors += ApplyEntry(key, entry, members);
        if (!restore.isEmpty())
            SetPresetFeature(key, restore); // not a setting of the preset: never reported
    }
    if (!command.isEmpty() && !featureManager->RunCommand(command))
        errors += QStringLiteral("  Executing '%1' failed.").arg(command);
    return errors;
}
