#ifndef PRESETS_PRESETSFILE_H
#define PRESETS_PRESETSFILE_H

#include <QList>
#include <QString>
#include <QVariantMap>

// One entry of the preset box.
struct PresetEntry {
    QString name;
    QVariantMap body;  // feature entries and "#execute"; never "#tooltip"
    QString toolTip;   // rich text: bold name, "#tooltip", the settings
};

// The presets file: "AdvTrigger_<family>_Presets.json" (the camera family
// without blanks) in the host's plugins folder, else the generic
// "AdvTrigger_Presets.json" there. A hand-written file may be broken: what
// cannot be read is logged and left out, never thrown.
namespace PresetsFile {

// Keys of the file format besides feature names.
inline const QString ExecuteKey = QStringLiteral("#execute");
inline const QString ValueKey = QStringLiteral("#value");

// Entries the preset logic knows by name: applied before every other preset,
// chosen on a manual edit, and resetting the camera by itself.
inline const QString TurnOffAllPreset = QStringLiteral("Turn Off All");
inline const QString CustomPreset = QStringLiteral("Custom");
inline const QString ResetAllPreset = QStringLiteral("Reset All");

// The file to read; only existence decides, so a broken family file is
// still the one read.
QString Locate(const QString& applicationDir, const QString& familyName);

// The presets in "#presets" order. An unreadable file or invalid JSON logs
// a warning (naming `applicationDir` for an unreadable file) and gives none.
QList<PresetEntry> Read(const QString& path, const QString& applicationDir);

// The entry's tooltip; takes "#tooltip" out of `preset`.
QString BuildPresetToolTip(const QString& presetName, QVariantMap& preset);

} // namespace PresetsFile

#endif
