#ifndef FEATURES_FEATUREMANAGER_H
#define FEATURES_FEATUREMANAGER_H

#include "features/kelfeaturewrapper.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <unordered_map>

class FeatureAccessOutcome;

// Typed access to camera features by name, the only way the views reach the
// camera. Every operation asks the camera; no value is cached. Names come
// from the camera's description and never change, so they are read once,
// when the manager is made, into an index: a lookup costs the same whatever
// the number of features and never reaches the device. No operation throws
// or returns an error code: failures become the fixed defaults documented
// below.
//
// Candidate names: operations taking `name, alt1, alt2` work on the first of
// them that names an existing feature; an empty `alt1` or `alt2` is skipped.
// The shorter forms behave as the longest one with empty texts for the rest.
//
// Integer features are read and written as double, booleans as 1.0 / 0.0
// (written as value > 0.0), enumerations and strings as text.
//
// Used on the GUI thread only.
class FeatureManager
{
public:
    explicit FeatureManager(const FeatureList& features);
    virtual ~FeatureManager();

    FeatureManager(const FeatureManager&) = delete;
    FeatureManager& operator=(const FeatureManager&) = delete;

    // -1 when missing, unreadable or not a number; a boolean that cannot be
    // read gives 0.
    virtual double GetValue(const QString& name);
    virtual double GetValue(const QString& name, const QString& alt1);
    virtual double GetValue(const QString& name, const QString& alt1, const QString& alt2);

    // The enumeration's entry name or the string; empty on failure.
    virtual QString GetStringValue(const QString& name);
    virtual QString GetStringValue(const QString& name, const QString& alt1);

    virtual bool IsWritable(const QString& name);
    virtual bool IsWritable(const QString& name, const QString& alt1);
    virtual bool IsWritable(const QString& name, const QString& alt1, const QString& alt2);

    virtual bool IsReadable(const QString& name);

    // -1 when missing, unreadable or not a number.
    virtual double GetIncrement(const QString& name);
    virtual double GetIncrement(const QString& name, const QString& alt1);

    // The name, as the camera reports it, of the first candidate that exists.
    virtual QString GetFeatureName(const QStringList& candidates);

    virtual QString GetDisplayName(const QString& name);
    virtual QString GetDisplayName(const QString& name, const QString& alt1);
    virtual QString GetDisplayName(const QString& name, const QString& alt1, const QString& alt2);
    virtual QString GetDisplayName(const QStringList& candidates);

    // Limits of a number feature. `max` comes down to a whole multiple of the
    // increment (the grid is anchored at zero). An increment that cannot be
    // read or is not positive is reported as 1.0 for integers and 0.01 for
    // floats. Unreadable parts are -1. A feature of another type gives -1 for
    // every output and `writable` false. A missing feature leaves the outputs
    // untouched. Returns the current value, or -1.
    virtual double GetValueAndLimits(const QString& name, bool& writable, double& min,
                                     double& max, double& increment);
    virtual double GetValueAndLimits(const QString& name, const QString& alt1, bool& writable,
                                     double& min, double& max, double& increment);
    virtual double GetValueAndLimits(const QString& name, const QString& alt1, const QString& alt2,
                                     bool& writable, double& min, double& max, double& increment);

    // As GetValueAndLimits, without `writable`.
    virtual double GetValueRangeIncrement(const QString& name, double& min, double& max,
                                          double& increment);
    virtual double GetValueRangeIncrement(const QString& name, const QString& alt1, double& min,
                                          double& max, double& increment);
    virtual double GetValueRangeIncrement(const QString& name, const QString& alt1,
                                          const QString& alt2, double& min, double& max,
                                          double& increment);

    // As GetValueAndLimits, without `writable` and the increment; `max` is
    // still brought down to the increment's grid.
    virtual double GetValueRange(const QString& name, double& min, double& max);
    virtual double GetValueRange(const QString& name, const QString& alt1, double& min,
                                 double& max);
    virtual double GetValueRange(const QString& name, const QString& alt1, const QString& alt2,
                                 double& min, double& max);

    // Null when the feature is missing or not writable now.
    virtual QString GetWritableStringValue(const QString& name);

    // The entries that can be chosen now, in the camera's order.
    virtual QStringList GetAvailableEntries(const QString& name);
    virtual QStringList GetAvailableEntries(const QString& name, const QString& alt1);

    virtual bool HasFeature(const QString& name, const QString& alt1, const QString& alt2);
    virtual bool HasFeature(const QString& name, const QString& alt1);
    virtual bool HasFeature(const QString& name);

    // Same test as IsWritable.
    virtual bool CanWrite(const QString& name, const QString& alt1, const QString& alt2);
    virtual bool CanWrite(const QString& name, const QString& alt1);
    virtual bool CanWrite(const QString& name);

    virtual bool IsFloat(const QString& name);
    virtual bool IsFloat(const QString& name, const QString& alt1);
    virtual bool IsFloat(const QString& name, const QString& alt1, const QString& alt2);

    // Writes the entry name or string, ignoring the camera's answer, and
    // returns GetStringValue(name): the value the camera holds afterwards.
    // Null when no candidate exists.
    virtual QString SetValue(const QString& name, const QString& value);
    virtual QString SetValue(const QString& name, const QString& alt1, const QString& value);
    virtual QString SetValue(const QString& name, const QString& alt1, const QString& alt2,
                             const QString& value);

    // Writes a number to an integer, float or boolean feature and returns the
    // value the camera holds afterwards. Integers are truncated, put on the
    // increment's grid (anchored at zero) and clamped to the range; floats
    // are clamped to the range. A feature that is not writable is not
    // written. A missing feature, or one of another type, returns `value`.
    virtual double SetValue(const QString& name, double value);
    virtual double SetValue(const QString& name, const QString& alt1, double value);
    virtual double SetValue(const QString& name, const QString& alt1, const QString& alt2,
                            double value);

    // Writes the value as it is, without the range, increment and access
    // checks of SetValue and without reading it back: true when the camera
    // took it. Integers are truncated, booleans written as value > 0.0. For
    // writes nobody shows (walks over a selector's entries): on a network
    // camera every read-back costs a round trip.
    virtual bool WriteValue(const QString& name, const QString& value);
    virtual bool WriteValue(const QString& name, double value);

    // Starts the command; true when the camera accepted it. Does not wait.
    virtual bool RunCommand(const QString& name);

    virtual QString GetCategory(const QString& name);

    virtual bool IsValueAvailable(const QString& name, const QString& entry);

    // Names of the features the selector governs, in the camera's order.
    virtual QStringList GetSelectedFeatures(const QString& name);

    // Each entry's number, as the camera's description gives it (a
    // selector's number is the bit of its entry in bit-field features such
    // as LineStatusAll). Empty when missing or unreadable.
    virtual QHash<QString, qint64> GetEntryNumbers(const QString& name);

    // KelFeatureDataType as a number; 0 when missing or unreadable.
    virtual int GetDataType(const QString& name);
    // Whether the camera changes the value by itself (a counter, a line
    // level); from the description, no device access.
    bool IsVolatile(const QString& name);

    // Such as "HexNumber"; empty on failure.
    virtual QString GetRepresentation(const QString& name);

    // The feature's description as rich text for tooltips; empty when the
    // feature is missing.
    virtual QString GetInformation(const QString& name);

    // Every feature's name in the camera's order, without empty names.
    virtual QStringList GetFeatureNames();

    // An integer feature's value with all 64 bits (a double keeps 53):
    // false, `value` untouched, when missing, not an integer or unreadable.
    virtual bool GetInteger(const QString& name, qint64& value);
    // Writes an integer as SetValue does (on the increment's grid from zero,
    // within the range, only when writable) with all 64 bits, and returns
    // the value read back (-1 if unreadable); `value` for a missing feature
    // or one of another type.
    virtual qint64 SetInteger(const QString& name, qint64 value);

    // The defaults the operations return cannot tell a camera that failed
    // from one that holds -1, so every failed access is noted: the latest
    // failure of each feature (keyed by the first name the caller gave),
    // numbered in the order failures happened. A view compares the number
    // with FailureSerial() from before it read a feature, to mark what it
    // shows as not the camera's.
    struct Failure {
        enum class Action { None, Read, Write, Run };
        Action action = Action::None;
        int code = 0;         // the camera's KelErrorType; 0 when none ever failed
        quint64 serial = 0;   // 0 when none ever failed
    };
    quint64 FailureSerial() const { return failureSerial; }
    virtual Failure LastFailure(const QString& name) const;

private:
    // The first wrapper of each name, in the camera's order; a feature whose
    // name could not be read when the index was built is not in it.
    KelFeatureWrapperPtr FindFeature(const QString& name) const;
    KelFeatureWrapperPtr FindCandidate(const QString& name, const QString& alt1,
                                       const QString& alt2) const;
    // Shared by the three limit operations; `writable` and `increment` may be
    // null for the forms that do not report them.
    double ReadLimits(const QString& name, const QString& alt1, const QString& alt2,
                      bool* writable, double& min, double& max, double* increment);
    // The integer write of SetValue, in 64 bits.
    std::int64_t SetInteger(KelFeatureWrapper& feature, const QString& name, std::int64_t value);

    friend class FeatureAccessOutcome;

    FeatureList features;
    std::unordered_map<std::string, KelFeatureWrapperPtr> index;
    QStringList names; // every name read, in the camera's order, empty ones left out
    QHash<QString, Failure> failures;
    quint64 failureSerial = 0; // failures noted so far
};

#endif
