#include "presets/presetsfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace PresetsFile {

namespace {

const QString PresetsKey = QStringLiteral("#presets");
const QString ToolTipKey = QStringLiteral("#tooltip");

QString Escaped(QString text)
{
    return text.replace(QLatin1Char('<'), QStringLiteral("&lt;")).replace(QLatin1Char('>'), QStringLiteral("&gt;"));
}

} // namespace

QString Locate(const QString& applicationDir, const QString& familyName)
{
    QString family = familyName;
    family.remove(QLatin1Char(' '));
    const QString dir = applicationDir + QStringLiteral("/plugins/");
    const QString familyFile = dir + QStringLiteral("AdvTrigger_") + family + QStringLiteral("_Presets.json");
    return QFile::exists(familyFile) ? familyFile : dir + QStringLiteral("AdvTrigger_Presets.json");
}

QList<PresetEntry> Read(const QString& path, const QString& applicationDir)
{
    QList<PresetEntry> presets;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("WARN: Couldn't open file with presets: '%s'", applicationDir.toLatin1().constData());
        return presets;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (document.isNull() || error.error != QJsonParseError::NoError)
        qWarning("JSON parse error: '%s'", error.errorString().toLatin1().constData());
    // After a parse error the root is empty and nothing is offered.
    const QJsonObject root = document.object();
    const QJsonValue names = root.value(PresetsKey);
    if (!names.isArray())
        return presets;
    for (const QJsonValue& element : names.toArray()) {
        const QString name = element.toString();
        const QJsonValue body = root.value(name);
        if (!body.isObject())
            continue;
        QVariantMap map = body.toObject().toVariantMap();
        PresetEntry entry;
        entry.name = name;
        entry.toolTip = BuildPresetToolTip(name, map);
        map.remove(ToolTipKey);
        entry.body = map;
        presets.append(entry);
    }
    return presets;
}

QString BuildPresetToolTip(const QString& presetName, QVariantMap& preset)
{
    QString result = QStringLiteral("<b>%1</b><br>").arg(presetName);
    if (preset.contains(ToolTipKey)) {
        // Written by whoever wrote the file, markup and all.
        result += preset.value(ToolTipKey).toString();
        preset.remove(ToolTipKey);
    }
    QString settings;
    for (auto it = preset.cbegin(); it != preset.cend(); ++it) {
        if (it.key() == ExecuteKey) {
            settings += QStringLiteral("<i> %1: %2</i><br>")
                            .arg(QCoreApplication::translate("QObject", "Execute"))
                            .arg(it.value().toString());
            continue;
        }
        // A list-form entry is no map and is not described.
        const QVariantMap sub = it.value().toMap();
        for (auto member = sub.cbegin(); member != sub.cend(); ++member) {
            const QString label = member.key() == ValueKey ? QStringLiteral("<b>%1</b>").arg(it.key())
                                                            : member.key();
            settings += QStringLiteral("%1: %2<br>").arg(label).arg(Escaped(member.value().toString()));
        }
    }
    if (!settings.isEmpty()) {
        result += QStringLiteral("<br>%1:<blockquote>%2</blockquote>\n")
                      .arg(QCoreApplication::translate("QObject", "Settings"))
                      .arg(settings);
    }
    return result;
}

} // namespace PresetsFile
