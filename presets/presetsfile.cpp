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

// A value as the tooltip shows it: "<min>" and "<max>" are limits, not
// text, and read as such; anything else as the file has it.
QString ValueText(const QString& value)
{
    if (value == QLatin1String("<min>"))
        return QStringLiteral("<i>%1</i>").arg(QCoreApplication::translate("PresetsFile", "minimum"));
    if (value == QLatin1String("<max>"))
        return QStringLiteral("<i>%1</i>").arg(QCoreApplication::translate("PresetsFile", "maximum"));
    return Escaped(value);
}

// "file:line:column: message" for a parse error at byte `offset`; lines and
// columns count from 1, columns in characters rather than UTF-8 bytes.
QString SyntaxError(const QString& path, const QByteArray& data, int offset, const QString& message)
{
    offset = qBound(0, offset, data.size());
    const int lineStart = data.lastIndexOf('\n', offset - 1) + 1;
    const int line = data.left(lineStart).count('\n') + 1;
    const int column = QString::fromUtf8(data.mid(lineStart, offset - lineStart)).size() + 1;
    return QStringLiteral("%1:%2:%3: %4").arg(path).arg(line).arg(column).arg(message);
}

// "#optional" as a list of names; what is no name is left out.
QStringList OptionalFeatures(const QVariant& value)
{
    QStringList names;
    for (const QVariant& name : value.toList()) {
        if (name.type() == QVariant::String)
            names << name.toString();
    }
    return names;
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

QList<PresetEntry> Read(const QString& path, const QString& applicationDir, PresetsFileProblems* problems)
{
    PresetsFileProblems found;
    QList<PresetEntry> presets;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("WARN: Couldn't open file with presets: '%s'", applicationDir.toLatin1().constData());
        found.fatal = QCoreApplication::translate("PresetsFile", "%1: cannot be read: %2").arg(path, file.errorString());
        if (problems)
            *problems = found;
        return presets;
    }
    QJsonParseError error;
    const QByteArray data = file.readAll();
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    found.parsed = !document.isNull() && error.error == QJsonParseError::NoError;
    if (!found.parsed) {
        qWarning("JSON parse error: '%s'", error.errorString().toLatin1().constData());
        found.fatal = SyntaxError(path, data, error.offset, error.errorString());
    } else if (!document.isObject()) {
        found.fatal = QCoreApplication::translate("PresetsFile", "%1: the file holds no JSON object").arg(path);
    }
    // After a parse error the root is empty and nothing is offered.
    const QJsonObject root = document.object();
    const QJsonValue names = root.value(PresetsKey);
    if (!names.isArray()) {
        if (found.fatal.isEmpty())
            found.fatal = QCoreApplication::translate("PresetsFile", "%1: no \"#presets\" list").arg(path);
        if (problems)
            *problems = found;
        return presets;
    }
    for (const QJsonValue& element : names.toArray()) {
        const QString name = element.toString();
        const QJsonValue body = root.value(name);
        if (!body.isObject()) {
            found.skipped << QCoreApplication::translate("PresetsFile", "\"%1\" is listed in \"#presets\" but has no object of that name")
                                 .arg(element.toVariant().toString());
            continue;
        }
        QVariantMap map = body.toObject().toVariantMap();
        PresetEntry entry;
        entry.name = name;
        entry.toolTip = BuildPresetToolTip(name, map);
        map.remove(ToolTipKey);
        // Tells which features may be missing; nothing to write.
        entry.optional = OptionalFeatures(map.take(OptionalKey));
        entry.body = map;
        presets.append(entry);
    }
    if (problems)
        *problems = found;
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
            settings += QStringLiteral("%1: %2<br>").arg(label).arg(ValueText(member.value().toString()));
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
