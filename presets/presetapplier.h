#ifndef PRESETS_PRESETAPPLIER_H
#define PRESETS_PRESETAPPLIER_H

#include <QString>
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
    // the failure lines in the order the failures happened.
    QString Apply(const QVariantMap& body);

private:
    // One value of a feature, then, if it took, the features it selects.
    QString ApplyEntry(const QString& featureName, const QString& value, const QVariantMap& dependents);

    FeatureManager* featureManager;
};

#endif
