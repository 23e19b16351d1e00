#include "presets/presetapplier.h"

#include "features/featuremanager.h"
#include "kelcpp/kelcpptypes.h"
#include "presets/presetsfile.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

using PresetsFile::ExecuteKey;
using PresetsFile::ValueKey;

const QString AllEntries = QStringLiteral("<all>");

// Data types that need their own conversion.
constexpr int TypeInteger = KelCPP::KelFeatureDataInt;
constexpr int TypeFloat = KelCPP::KelFeatureDataFloat;
constexpr int TypeEnumeration = KelCPP::KelFeatureDataEnum;
constexpr int TypeBoolean = KelCPP::KelFeatureDataBool;
constexpr int TypeUnknown = KelCPP::KelFeatureDataUnknown;

// Levels of a dry run's lines: the entry's own value, the features it selects.
constexpr int EntryLevel = 1;
constexpr int DependentLevel = 2;

QString Indent(int level)
{
    return QString(2 * level, QLatin1Char(' '));
}

QString NumberText(double value)
{
    return QString::number(value, 'g', 15);
}

// The "<all>" value's entry to leave the selector at: the text between the
// first and the second underscore; empty when none is named.
QString AllEntriesRestore(const QString& value)
{
    return value.contains(QLatin1Char('_')) ? value.split(QLatin1Char('_')).value(1) : QString();
}

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

QString PresetApplier::Write(const QString& featureName, const QVariant& value, int level, bool selects)
{
    return report ? CheckWrite(featureName, value, level, selects) : SetPresetFeature(featureName, value);
}

QString PresetApplier::ApplyEntry(const QString& featureName, const QString& value, const QVariantMap& dependents)
{
    QString errors = Write(featureName, value, EntryLevel, !dependents.isEmpty());
    if (!errors.isEmpty()) {
        if (report && !dependents.isEmpty())
            report->append(Indent(EntryLevel)
                           + QStringLiteral("  ! so %1 would be skipped").arg(dependents.keys().join(QStringLiteral(", "))));
        return errors; // the dependents would land on the wrong selector value
    }
    // What is set for an optional selector the camera lacks is optional too.
    dependentsOptional = report && optionalFeatures.contains(featureName) && !featureManager->HasFeature(featureName);
    for (auto it = dependents.cbegin(); it != dependents.cend(); ++it) {
        const QString failure = Write(it.key(), it.value(), DependentLevel, false);
        errors += failure;
        // "Failed to set LineSource" alone does not tell which line.
        if (!failure.isEmpty() && !featureManager->GetSelectedFeatures(featureName).isEmpty())
            errors += QStringLiteral("    for %1 = %2\n").arg(featureName, value);
    }
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
        // A dry run moves selectors to look at what they select; it leaves
        // each one where it found it.
        QString before;
        const bool putBack = report && featureManager->HasFeature(key)
                             && featureManager->GetDataType(key) == TypeEnumeration
                             && !featureManager->GetSelectedFeatures(key).isEmpty();
        if (putBack)
            before = featureManager->GetStringValue(key);

        if (it.value().isArray()) {
            // List form: one element per value, each with its own dependents.
            for (const QJsonValue& element : it.value().toArray()) {
                QVariantMap members = element.toObject().toVariantMap();
                const QString value = members.take(ValueKey).toString();
                errors += ApplyEntry(key, value, members);
            }
        } else {
            QVariantMap members = it.value().toObject().toVariantMap();
            const QString value = members.take(ValueKey).toString();
            QStringList values;
            QString restore;
            if (value.startsWith(AllEntries)) {
                values = featureManager->GetAvailableEntries(key);
                // "<all>" puts the selector back where it was; "<all>_X" leaves it at X.
                restore = value.contains(QLatin1Char('_')) ? AllEntriesRestore(value) : featureManager->GetStringValue(key);
                if (report) {
                    report->append(Indent(EntryLevel) + QStringLiteral("%1 = %2: every entry available now (%3)")
                                                            .arg(key, value, values.join(QStringLiteral(", "))));
                    if (!featureManager->HasFeature(key))
                        report->append(Indent(EntryLevel) + QStringLiteral("  ! ") + MissingFeature(key, false));
                }
            } else {
                values << value;
            }
            for (const QString& entry : values)
                errors += ApplyEntry(key, entry, members);
            if (!restore.isEmpty()) {
                const int line = report ? report->size() : 0;
                Write(key, restore, EntryLevel, false); // not a setting of the preset: never reported
                if (report && line < report->size())
                    (*report)[line] += QStringLiteral(" (afterwards; a failure is not reported)");
            }
        }

        if (putBack && !before.isEmpty())
            featureManager->WriteValue(key, before);
    }
    if (!command.isEmpty() && !RunPresetCommand(command))
        errors += QStringLiteral("  Executing '%1' failed.").arg(command);
    return errors;
}

QString PresetApplier::MissingFeature(const QString& featureName, bool optional) const
{
    return optional || optionalFeatures.contains(featureName)
               ? QStringLiteral("no such feature on this camera: skipped (optional)")
               : QStringLiteral("no such feature on this camera: skipped");
}

bool PresetApplier::RunPresetCommand(const QString& command)
{
    if (!report)
        return featureManager->RunCommand(command);
    report->append(Indent(EntryLevel) + QStringLiteral("run %1").arg(command));
    if (!featureManager->HasFeature(command))
        report->append(Indent(EntryLevel) + QStringLiteral("  ! no such command on this camera: reported as failed"));
    else if (!featureManager->IsWritable(command))
        report->append(Indent(EntryLevel) + QStringLiteral("  ! cannot be run now"));
    return true;
}

QString PresetApplier::CheckWrite(const QString& featureName, const QVariant& value, int level, bool selects)
{
    const QString text = value.toString();
    QString shown = text;
    QStringList problems;
    bool refused = false; // Apply would report a failure line
    // What the camera allows now may differ once the preset's earlier
    // settings are in (an output line's source after its mode).
    const QString unlessEarlier = settingsBefore ? QStringLiteral(" (unless an earlier setting of this preset changes that)")
                                                 : QString();
    const bool present = featureManager->HasFeature(featureName);
    const int type = present ? featureManager->GetDataType(featureName) : TypeUnknown;
    if (!present) {
        problems << MissingFeature(featureName, level == DependentLevel && dependentsOptional);
    } else if (!featureManager->IsWritable(featureName)) {
        // Skipped when applied, but a wrong entry is still worth knowing.
        if (type == TypeEnumeration && !featureManager->GetEntryNumbers(featureName).contains(text))
            problems << QStringLiteral("no entry \"%1\"").arg(text);
        problems << QStringLiteral("not writable now: skipped") + unlessEarlier;
        if (selects) {
            problems << QStringLiteral("so what follows goes to the %1 selected now, %2")
                            .arg(featureName, featureManager->GetStringValue(featureName));
        }
    } else {
        if (type == TypeBoolean) {
            shown = value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
            static const QStringList words = {QString(), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("false"),
                                              QStringLiteral("true")};
            if (value.type() == QVariant::String && !words.contains(text.toLower()))
                problems << QStringLiteral("\"%1\" counts as %2").arg(text, shown);
        } else if (type == TypeInteger || type == TypeFloat) {
            double min = 0.0;
            double max = 0.0;
            featureManager->GetValueRange(featureName, min, max);
            double target = 0.0;
            if (text == QLatin1String("<max>") || text == QLatin1String("<min>")) {
                target = text == QLatin1String("<max>") ? max : min;
                shown += QStringLiteral(" (%1)").arg(NumberText(target));
            } else {
                bool number = false;
                target = value.toDouble(&number);
                if (!number) {
                    problems << QStringLiteral("\"%1\" is no number: 0 would be written").arg(text);
                    target = 0.0;
                }
                if (target < min || target > max) {
                    target = target < min ? min : max;
                    problems << QStringLiteral("outside %1 to %2: %3 would be written")
                                    .arg(NumberText(min), NumberText(max), NumberText(target));
                }
            }
            const double increment = type == TypeInteger ? featureManager->GetIncrement(featureName) : 0.0;
            if (increment > 0.0 && std::fmod(target, increment) != 0.0) {
                problems << QStringLiteral("not a multiple of the increment %1: the camera would hold another value")
                                .arg(NumberText(increment));
                refused = true;
            }
        } else if (type == TypeEnumeration) {
            if (!featureManager->GetEntryNumbers(featureName).contains(text)) {
                problems << QStringLiteral("no entry \"%1\"").arg(text);
                refused = true;
            } else if (!featureManager->GetAvailableEntries(featureName).contains(text)) {
                problems << QStringLiteral("entry \"%1\" cannot be chosen now").arg(text) + unlessEarlier;
                refused = true;
            }
        } else if (type == TypeUnknown) {
            problems << QStringLiteral("its type cannot be read");
        }

        if (selects && !refused && type == TypeEnumeration && !featureManager->GetSelectedFeatures(featureName).isEmpty()) {
            // Only a selector is moved: what follows is checked where it would go.
            if (!featureManager->WriteValue(featureName, text)) {
                problems << QStringLiteral("the camera refused it");
                refused = true;
            }
        } else {
            settingsBefore = true;
        }
    }
    report->append(Indent(level) + QStringLiteral("%1 = %2").arg(featureName, shown));
    for (const QString& problem : problems)
        report->append(Indent(level) + QStringLiteral("  ! ") + problem);
    return refused ? QStringLiteral("refused") : QString();
}

QStringList PresetApplier::Check(const QVariantMap& body, const QStringList& optional)
{
    QStringList lines;
    report = &lines;
    optionalFeatures = optional;
    settingsBefore = false;
    Apply(body); // the same walk, each write described instead of made
    report = nullptr;
    return lines;
}

QList<PresetApplier::Lack> PresetApplier::Lacks(const QVariantMap& body, const QStringList& optional)
{
    QList<Lack> lacks;
    auto add = [&lacks](const Lack& lack) {
        if (!lacks.contains(lack))
            lacks.append(lack);
    };
    // Whether the camera has the feature; notes it as lacking unless excused.
    auto has = [&](const QString& feature, bool excused) {
        if (featureManager->HasFeature(feature))
            return true;
        if (!excused && !optional.contains(feature))
            add({feature, QString(), true});
        return false;
    };
    QHash<QString, QStringList> entries; // entry lists, read once per feature
    auto needEntry = [&](const QString& feature, const QString& entry) {
        if (featureManager->GetDataType(feature) != TypeEnumeration)
            return;
        auto known = entries.find(feature);
        if (known == entries.end())
            known = entries.insert(feature, featureManager->GetEntryNumbers(feature).keys());
        if (!known->contains(entry))
            add({feature, entry, false});
    };

    const QJsonObject preset = QJsonDocument::fromVariant(body).object();
    for (auto it = preset.constBegin(); it != preset.constEnd(); ++it) {
        const QString& key = it.key();
        if (key == ExecuteKey) {
            // Never optional: Apply reports a missing command as failed.
            const QString command = it.value().toString();
            if (!command.isEmpty() && !featureManager->HasFeature(command))
                add({command, QString(), true});
            continue;
        }
        const bool listForm = it.value().isArray();
        const bool present = has(key, false);
        // What is set for an optional selector the camera lacks goes with it.
        const bool excused = !present && optional.contains(key);
        const QJsonArray elements = listForm ? it.value().toArray() : QJsonArray{it.value()};
        for (const QJsonValue& element : elements) {
            QVariantMap members = element.toObject().toVariantMap();
            QString value = members.take(ValueKey).toString();
            bool named = true;
            if (!listForm && value.startsWith(AllEntries)) {
                // The entries walked come from the camera; only the one to end on is named.
                value = AllEntriesRestore(value);
                named = !value.isEmpty();
            }
            if (present && named)
                needEntry(key, value);
            for (auto member = members.cbegin(); member != members.cend(); ++member) {
                if (has(member.key(), excused))
                    needEntry(member.key(), member.value().toString());
            }
        }
    }
    return lacks;
}
