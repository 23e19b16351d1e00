#ifndef PRESETS_PRESETAPPLIER_H
#define PRESETS_PRESETAPPLIER_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class FeatureManager;

// Writes a preset's values to the camera and reports what did not take.
// Every write is checked by reading the value back; a failure never stops
// the rest of the preset.
class PresetApplier
{
public:
    explicit PresetApplier(FeatureManager* featureManager);

    // Writes one value, converted for the feature's type ("<min>"/"<max>"
    // for numbers, clamped to the range). Returns an empty text on success
    // or when the feature is missing or read-only, else one failure line.
    QString SetPresetFeature(const QString& featureName, const QVariant& value);

    // Applies a preset body in key order, expanding "<all>" selector values
    // and restoring the selector afterwards, then runs "#execute". Returns
    // the failure lines in the order the failures happened; a failed
    // setting of a selected feature is followed by a line naming the
    // selector value it was written for ("    for LineSelector = Line3").
    QString Apply(const QVariantMap& body);

    // Something a preset names that the camera does not have at all.
    struct Lack {
        QString feature;
        QString entry; // the missing entry of `feature`; only when `featureMissing` is false
        bool featureMissing = true;
        bool operator==(const Lack& other) const
        {
            return feature == other.feature && entry == other.entry && featureMissing == other.featureMissing;
        }
    };
    // What `body` names that the camera lacks: features and the "#execute"
    // command, and entries of enumerations it has. Features in `optional`
    // are not asked for, nor are those set for an optional selector the
    // camera lacks. Reads only the camera's description, never the device.
    QList<Lack> Lacks(const QVariantMap& body, const QStringList& optional);

    // A dry run of Apply: one line per write, in Apply's order, indented by
    // level, each followed by "! " lines for what this camera would refuse
    // or change (missing features and entries, values outside the range,
    // features not writable now). Writes nothing but selectors, which it
    // moves to look at the selected features and puts back afterwards.
    QStringList Check(const QVariantMap& body, const QStringList& optional);

private:
    // One value of a feature, then, if it took, the features it selects.
    QString ApplyEntry(const QString& featureName, const QString& value, const QVariantMap& dependents);
    // SetPresetFeature, or in a dry run its description. `selects`: the
    // features after it are written for this value.
    QString Write(const QString& featureName, const QVariant& value, int level, bool selects);
    QString CheckWrite(const QString& featureName, const QVariant& value, int level, bool selects);
    bool RunPresetCommand(const QString& command);
    // The dry run's note on a feature the camera lacks.
    QString MissingFeature(const QString& featureName, bool optional) const;

    FeatureManager* featureManager;
    // Set during a dry run: where its lines go.
    QStringList* report = nullptr;
    QStringList optionalFeatures;
    // A dry run wrote nothing yet but selectors: what it finds "now" is what
    // the preset will find.
    bool settingsBefore = false;
    // The dry run is at the settings of an optional selector the camera lacks.
    bool dependentsOptional = false;
};

#endif
