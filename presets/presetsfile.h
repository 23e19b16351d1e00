#ifndef PRESETS_PRESETSFILE_H
#define PRESETS_PRESETSFILE_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// One entry of the preset box.
struct PresetEntry {
    QString name;
    QVariantMap body;     // feature entries and "#execute"; never "#tooltip" or "#optional"
    QString toolTip;      // rich text: bold name, "#tooltip", the settings
    QStringList optional; // "#optional": features the preset does without when the camera lacks them
};

// Why a presets file offers less than it lists. A hand-written file may be
// broken: the page shows these texts instead of staying silent.
struct PresetsFileProblems {
    // The file was read and is JSON (whatever its content).
    bool parsed = false;
    // Why nothing at all is offered: the file cannot be read, is no JSON
    // ("file:line:column: message"), or has no "#presets" list. Empty when
    // the file is usable.
    QString fatal;
    // Names in "#presets" that were left out, one text each.
    QStringList skipped;
};

// The presets file: "AdvTrigger_<family>_Presets.json" (the camera family
// without blanks) in the host's plugins folder, else the generic
// "AdvTrigger_Presets.json" there. What cannot be read is logged, left out
// and described in PresetsFileProblems, never thrown.
namespace PresetsFile {

// Keys of the file format besides feature names.
inline const QString ExecuteKey = QStringLiteral("#execute");
inline const QString ValueKey = QStringLiteral("#value");
inline const QString OptionalKey = QStringLiteral("#optional");

// Entries the preset logic knows by name: applied before every other preset,
// chosen on a manual edit, and resetting the camera by itself.
inline const QString TurnOffAllPreset = QStringLiteral("Turn Off All");
inline const QString CustomPreset = QStringLiteral("Custom");
inline const QString ResetAllPreset = QStringLiteral("Reset All");

// The file to read; only existence decides, so a broken family file is
// still the one read.
QString Locate(const QString& applicationDir, const QString& familyName);

// The presets in "#presets" order. An unreadable file or invalid JSON logs
// a warning (naming `applicationDir` for an unreadable file) and gives none;
// `problems`, when given, says what was wrong.
QList<PresetEntry> Read(const QString& path, const QString& applicationDir, PresetsFileProblems* problems = nullptr);

// The entry's tooltip; takes "#tooltip" out of `preset`.
QString BuildPresetToolTip(const QString& presetName, QVariantMap& preset);

} // namespace PresetsFile

#endif
