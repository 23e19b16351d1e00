#include "features/featuremanager.h"

#include <QCoreApplication>

#include <QDebug>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using KelCPP::KelErrorType;

namespace {

// A bold label of the information text, in the language the plug-in shows
// itself in (English unless a translation is installed).
QString Label(const char* text)
{
    return QStringLiteral("<b>%1</b> ").arg(QCoreApplication::translate("FeatureInformation", text));
}


constexpr int TypeInteger = KelCPP::KelFeatureDataInt;
constexpr int TypeFloat = KelCPP::KelFeatureDataFloat;
constexpr int TypeBoolean = KelCPP::KelFeatureDataBool;

// Reported when a number feature has no usable increment, so that spin
// boxes still get a sensible step.
constexpr double DefaultIntegerIncrement = 1.0;
constexpr double DefaultFloatIncrement = 0.01;

using Action = FeatureManager::Failure::Action;

int DataTypeOf(const KelFeatureWrapper& feature)
{
    KelCPP::KelFeatureDataType type = KelCPP::KelFeatureDataUnknown;
    if (feature.GetDataType(type) != KelCPP::KelError::Success)
        return 0;
    return static_cast<int>(type);
}

} // namespace

// Notes the failed accesses of one operation as the feature's latest failure.
class FeatureAccessOutcome
{
public:
    FeatureAccessOutcome(FeatureManager& manager, const QString& name) : manager(manager), name(name) {}

    // The first failure of an operation is its cause; what fails after it
    // (the read-back of a refused write) only follows from it.
    bool Ok(KelErrorType code, Action action)
    {
        if (code == KelCPP::KelError::Success)
            return true;
        FeatureManager::Failure& failure = manager.failures[name];
        if (!noted) {
            failure.action = action;
            failure.code = code;
            noted = true;
        }
        failure.serial = ++manager.failureSerial;
        return false;
    }

private:
    FeatureManager& manager;
    const QString& name;
    bool noted = false;
};

namespace {

using Outcome = FeatureAccessOutcome;

// The type comes from the description; a camera that is gone cannot give
// even that, and the operation must not pass for one that succeeded.
int DataTypeOf(const KelFeatureWrapper& feature, Outcome& outcome)
{
    KelCPP::KelFeatureDataType type = KelCPP::KelFeatureDataUnknown;
    if (!outcome.Ok(feature.GetDataType(type), Action::Read))
        return 0;
    return static_cast<int>(type);
}

bool IsWritableNow(const KelFeatureWrapper& feature, Outcome& outcome)
{
    // What the description makes read-only never becomes writable; only the
    // rest needs the device's answer, which follows locks and conditions.
    KelCPP::KelFeatureFlagsType flags = KelCPP::KelFeatureFlagsNone;
    if (feature.GetFlags(flags) == KelCPP::KelError::Success && !(flags & KelCPP::KelFeatureFlagsWrite))
        return false;
    bool writable = false;
    return outcome.Ok(feature.IsWritable(writable), Action::Read) && writable;
}

std::int64_t ReadInt(const KelFeatureWrapper& feature, Outcome& outcome)
{
    std::int64_t value = 0;
    return outcome.Ok(feature.GetValue(value), Action::Read) ? value : -1;
}

double ReadDouble(const KelFeatureWrapper& feature, Outcome& outcome)
{
    double value = 0.0;
    return outcome.Ok(feature.GetValue(value), Action::Read) ? value : -1.0;
}

bool ReadBool(const KelFeatureWrapper& feature, Outcome& outcome)
{
    bool value = false;
    return outcome.Ok(feature.GetValue(value), Action::Read) && value;
}

QString ReadText(const KelFeatureWrapper& feature, Outcome& outcome)
{
    std::string value;
    outcome.Ok(feature.GetValue(value), Action::Read);
    return QString::fromStdString(value);
}

// A feature without an increment answers with an error: that is no failure.
std::int64_t ReadIntIncrement(const KelFeatureWrapper& feature)
{
    std::int64_t increment = 0;
    return feature.GetIncrement(increment) == KelCPP::KelError::Success ? increment : -1;
}

double ReadDoubleIncrement(const KelFeatureWrapper& feature)
{
    double increment = 0.0;
    return feature.GetIncrement(increment) == KelCPP::KelError::Success ? increment : -1.0;
}

// Truncation toward zero. Converting a double outside the int64 range is
// undefined behaviour, so such values (and NaN) are pinned first.
std::int64_t TruncateToInt64(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::max();
    if (value < -9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// The empty, not null, text that failed reads give.
QString EmptyText()
{
    return QString::fromStdString(std::string());
}

QString VisibilityWord(KelCPP::KelFeatureVisibilityType visibility)
{
    switch (visibility) {
    case KelCPP::KelFeatureVisibilityUnknown: return QStringLiteral("UNKNOWN<br/>");
    case KelCPP::KelFeatureVisibilityBeginner: return QStringLiteral("BEGINNER<br/>");
    case KelCPP::KelFeatureVisibilityExpert: return QStringLiteral("EXPERT<br/>");
    case KelCPP::KelFeatureVisibilityGuru: return QStringLiteral("GURU<br/>");
    case KelCPP::KelFeatureVisibilityInvisible: return QStringLiteral("INVISIBLE<br/>");
    }
    return QStringLiteral("N/A<br/>");
}

// Range and interval lines are only shown for numbers the user can do
// something with: readable alone, or writable / volatile / adjusted on write.
bool ShowsNumberLimits(const KelFeatureWrapper& feature)
{
    KelCPP::KelFeatureFlagsType flags = KelCPP::KelFeatureFlagsNone;
    if (feature.GetFlags(flags) != KelCPP::KelError::Success)
        return false;
    const std::uint32_t shown = KelCPP::KelFeatureFlagsWrite | KelCPP::KelFeatureFlagsVolatile
        | KelCPP::KelFeatureFlagsModifyWrite;
    return (flags & shown) != 0 || flags == KelCPP::KelFeatureFlagsRead;
}

QString TypeBlock(const KelFeatureWrapper& feature, KelCPP::KelFeatureDataType type)
{
    QString block;
    switch (type) {
    case KelCPP::KelFeatureDataInt: {
        if (!ShowsNumberLimits(feature))
            break;
        std::int64_t min = 0;
        std::int64_t max = 0;
        if (feature.GetRange(min, max) == KelCPP::KelError::Success) {
            block += Label(QT_TRANSLATE_NOOP("FeatureInformation", "Type:")) + QStringLiteral("Integer<br/>") + Label(QT_TRANSLATE_NOOP("FeatureInformation", "Minimum:"))
                + QString::number(static_cast<qlonglong>(min))
                + QStringLiteral("<br/>") + Label(QT_TRANSLATE_NOOP("FeatureInformation", "Maximum:"))
                + QString::number(static_cast<qlonglong>(max)) + QStringLiteral("<br/>");
        }
        std::int64_t increment = 0;
        if (feature.GetIncrement(increment) == KelCPP::KelError::Success && increment != 1) {
            block += Label(QT_TRANSLATE_NOOP("FeatureInformation", "Interval:"))
                + QString::number(static_cast<qlonglong>(increment)) + QStringLiteral("<br/>");
        }
        break;
    }
    case KelCPP::KelFeatureDataFloat: {
        if (!ShowsNumberLimits(feature))
            break;
        double min = 0.0;
        double max = 0.0;
        if (feature.GetRange(min, max) == KelCPP::KelError::Success) {
            block += Label(QT_TRANSLATE_NOOP("FeatureInformation", "Type:")) + QStringLiteral("Float<br/>") + Label(QT_TRANSLATE_NOOP("FeatureInformation", "Minimum:"))
                + QString::number(min, 'g', 9) + QStringLiteral("<br/>") + Label(QT_TRANSLATE_NOOP("FeatureInformation", "Maximum:"))
                + QString::number(max, 'g', 12) + QStringLiteral("<br/>");
        }
        double increment = 0.0;
        if (feature.GetIncrement(increment) == KelCPP::KelError::Success) {
            block += Label(QT_TRANSLATE_NOOP("FeatureInformation", "Interval:")) + QString::number(increment, 'f', 10)
                + QStringLiteral("<br/>");
        }
        break;
    }
    case KelCPP::KelFeatureDataEnum: block = Label(QT_TRANSLATE_NOOP("FeatureInformation", "Type:")) + QStringLiteral("Enumeration<br/>"); break;
    case KelCPP::KelFeatureDataString: block = Label(QT_TRANSLATE_NOOP("FeatureInformation", "Type:")) + QStringLiteral("String<br/>"); break;
    case KelCPP::KelFeatureDataBool: block = Label(QT_TRANSLATE_NOOP("FeatureInformation", "Type:")) + QStringLiteral("Boolean<br/>"); break;
    case KelCPP::KelFeatureDataCommand: block = Label(QT_TRANSLATE_NOOP("FeatureInformation", "Type:")) + QStringLiteral("Command<br/>"); break;
    case KelCPP::KelFeatureDataRaw: block = Label(QT_TRANSLATE_NOOP("FeatureInformation", "Type:")) + QStringLiteral("Raw<br/>"); break;
    default: break;
    }
    return block;
}

} // namespace

FeatureManager::FeatureManager(const FeatureList& features)
    : features(features)
{
    if (!features)
        return;
    for (const KelFeatureWrapperPtr& wrapper : *features) {
        std::string name;
        if (!wrapper || wrapper->GetName(name) != KelCPP::KelError::Success)
            continue;
        // The first feature of a name wins, as a walk in camera order would find it.
        index.emplace(name, wrapper);
        if (!name.empty())
            names.append(QString::fromStdString(name));
    }
}

FeatureManager::~FeatureManager() = default;

KelFeatureWrapperPtr FeatureManager::FindFeature(const QString& name) const
{
    const auto it = index.find(name.toStdString());
    return it == index.end() ? KelFeatureWrapperPtr() : it->second;
}

KelFeatureWrapperPtr FeatureManager::FindCandidate(const QString& name, const QString& alt1,
                                                   const QString& alt2) const
{
    KelFeatureWrapperPtr found = FindFeature(name);
    if (!found && !alt1.isEmpty())
        found = FindFeature(alt1);
    if (!found && !alt2.isEmpty())
        found = FindFeature(alt2);
    return found;
}

double FeatureManager::GetValue(const QString& name)
{
    return GetValue(name, QString(), QString());
}

double FeatureManager::GetValue(const QString& name, const QString& alt1)
{
    return GetValue(name, alt1, QString());
}

double FeatureManager::GetValue(const QString& name, const QString& alt1, const QString& alt2)
{
    const KelFeatureWrapperPtr feature = FindCandidate(name, alt1, alt2);
    if (!feature)
        return -1.0;
    Outcome outcome(*this, name);
    switch (DataTypeOf(*feature, outcome)) {
    case TypeInteger: return static_cast<double>(ReadInt(*feature, outcome));
    case TypeFloat: return ReadDouble(*feature, outcome);
    case TypeBoolean: return ReadBool(*feature, outcome) ? 1.0 : 0.0;
    default: return -1.0;
    }
}

QString FeatureManager::GetStringValue(const QString& name)
{
    return GetStringValue(name, QString());
}

QString FeatureManager::GetStringValue(const QString& name, const QString& alt1)
{
    const KelFeatureWrapperPtr feature = FindCandidate(name, alt1, QString());
    if (!feature)
        return EmptyText();
    Outcome outcome(*this, name);
    return ReadText(*feature, outcome);
}

bool FeatureManager::IsWritable(const QString& name)
{
    return IsWritable(name, QString(), QString());
}

bool FeatureManager::IsWritable(const QString& name, const QString& alt1)
{
    return IsWritable(name, alt1, QString());
}

bool FeatureManager::IsWritable(const QString& name, const QString& alt1, const QString& alt2)
{
    const KelFeatureWrapperPtr feature = FindCandidate(name, alt1, alt2);
    if (!feature)
        return false;
    Outcome outcome(*this, name);
    return IsWritableNow(*feature, outcome);
}

bool FeatureManager::IsReadable(const QString& name)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature)
        return false;
    Outcome outcome(*this, name);
    bool readable = false;
    return outcome.Ok(feature->IsReadable(readable), Action::Read) && readable;
}

double FeatureManager::GetIncrement(const QString& name)
{
    return GetIncrement(name, QString());
}

double FeatureManager::GetIncrement(const QString& name, const QString& alt1)
{
    const KelFeatureWrapperPtr feature = FindCandidate(name, alt1, QString());
    if (!feature)
        return -1.0;
    switch (DataTypeOf(*feature)) {
    case TypeInteger: return static_cast<double>(ReadIntIncrement(*feature));
    case TypeFloat: return ReadDoubleIncrement(*feature);
    default: return -1.0;
    }
}

QString FeatureManager::GetFeatureName(const QStringList& candidates)
{
    for (const QString& candidate : candidates) {
        const KelFeatureWrapperPtr feature = FindFeature(candidate);
        if (!feature)
            continue;
        std::string name;
        feature->GetName(name);
        return QString::fromStdString(name);
    }
    return EmptyText();
}

QString FeatureManager::GetDisplayName(const QString& name)
{
    return GetDisplayName(name, QString(), QString());
}

QString FeatureManager::GetDisplayName(const QString& name, const QString& alt1)
{
    return GetDisplayName(name, alt1, QString());
}

QString FeatureManager::GetDisplayName(const QString& name, const QString& alt1,
                                       const QString& alt2)
{
    const KelFeatureWrapperPtr feature = FindCandidate(name, alt1, alt2);
    if (!feature)
        return EmptyText();
    std::string displayName;
    feature->GetDisplayName(displayName);
    return QString::fromStdString(displayName);
}

QString FeatureManager::GetDisplayName(const QStringList& candidates)
{
    for (const QString& candidate : candidates) {
        const KelFeatureWrapperPtr feature = FindFeature(candidate);
        if (!feature)
            continue;
        std::string displayName;
        feature->GetDisplayName(displayName);
        return QString::fromStdString(displayName);
    }
    return EmptyText();
}

double FeatureManager::ReadLimits(const QString& name, const QString& alt1, const QString& alt2,
                                  bool* writable, double& min, double& max,
                                  double* increment)
{
    const KelFeatureWrapperPtr feature = FindCandidate(name, alt1, alt2);
    if (!feature)
        return -1.0;
    Outcome outcome(*this, name);
    if (writable)
        *writable = IsWritableNow(*feature, outcome);

    double value = -1.0;
    double inc = -1.0;
    const int type = DataTypeOf(*feature, outcome);
    if (type == TypeInteger) {
        value = static_cast<double>(ReadInt(*feature, outcome));
        std::int64_t intMin = 0;
        std::int64_t intMax = 0;
        if (!outcome.Ok(feature->GetRange(intMin, intMax), Action::Read))
            intMin = intMax = -1;
        min = static_cast<double>(intMin);
        max = static_cast<double>(intMax);
        inc = static_cast<double>(ReadIntIncrement(*feature));
    } else if (type == TypeFloat) {
        value = ReadDouble(*feature, outcome);
        if (!outcome.Ok(feature->GetRange(min, max), Action::Read))
            min = max = -1.0;
        inc = ReadDoubleIncrement(*feature);
    } else {
        min = max = -1.0;
        if (increment)
            *increment = -1.0;
        if (writable)
            *writable = false;
        return -1.0;
    }

    // Spin boxes step from zero, so the largest value they can reach is the
    // last whole multiple of the increment.
    if (inc > 0.0)
        max = std::trunc(max / inc) * inc;
    else
        inc = type == TypeInteger ? DefaultIntegerIncrement : DefaultFloatIncrement;
    if (increment)
        *increment = inc;
    return value;
}

double FeatureManager::GetValueAndLimits(const QString& name, bool& writable, double& min,
                                         double& max, double& increment)
{
    return GetValueAndLimits(name, QString(), QString(), writable, min, max, increment);
}

double FeatureManager::GetValueAndLimits(const QString& name, const QString& alt1,
                                         bool& writable, double& min, double& max,
                                         double& increment)
{
    return GetValueAndLimits(name, alt1, QString(), writable, min, max, increment);
}

double FeatureManager::GetValueAndLimits(const QString& name, const QString& alt1,
                                         const QString& alt2, bool& writable, double& min,
                                         double& max, double& increment)
{
    return ReadLimits(name, alt1, alt2, &writable, min, max, &increment);
}

double FeatureManager::GetValueRangeIncrement(const QString& name, double& min, double& max,
                                              double& increment)
{
    return GetValueRangeIncrement(name, QString(), QString(), min, max, increment);
}

double FeatureManager::GetValueRangeIncrement(const QString& name, const QString& alt1,
                                              double& min, double& max, double& increment)
{
    return GetValueRangeIncrement(name, alt1, QString(), min, max, increment);
}

double FeatureManager::GetValueRangeIncrement(const QString& name, const QString& alt1,
                                              const QString& alt2, double& min, double& max,
                                              double& increment)
{
    return ReadLimits(name, alt1, alt2, nullptr, min, max, &increment);
}

double FeatureManager::GetValueRange(const QString& name, double& min, double& max)
{
    return GetValueRange(name, QString(), QString(), min, max);
}

double FeatureManager::GetValueRange(const QString& name, const QString& alt1, double& min,
                                     double& max)
{
    return GetValueRange(name, alt1, QString(), min, max);
}

double FeatureManager::GetValueRange(const QString& name, const QString& alt1,
                                     const QString& alt2, double& min, double& max)
{
    return ReadLimits(name, alt1, alt2, nullptr, min, max, nullptr);
}

QString FeatureManager::GetWritableStringValue(const QString& name)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature)
        return QString();
    Outcome outcome(*this, name);
    if (!IsWritableNow(*feature, outcome))
        return QString();
    return ReadText(*feature, outcome);
}

QStringList FeatureManager::GetAvailableEntries(const QString& name)
{
    return GetAvailableEntries(name, QString());
}

QStringList FeatureManager::GetAvailableEntries(const QString& name, const QString& alt1)
{
    QStringList available;
    const KelFeatureWrapperPtr feature = FindCandidate(name, alt1, QString());
    if (!feature)
        return available;
    // One question for all entries: on a network camera each entry asked
    // alone would cost a round trip.
    Outcome outcome(*this, name);
    std::vector<std::string> entries;
    if (!outcome.Ok(feature->GetAvailableValues(entries), Action::Read))
        return available;
    for (const std::string& entry : entries)
        available.append(QString::fromStdString(entry));
    return available;
}

bool FeatureManager::HasFeature(const QString& name, const QString& alt1, const QString& alt2)
{
    return FindCandidate(name, alt1, alt2) != nullptr;
}

bool FeatureManager::HasFeature(const QString& name, const QString& alt1)
{
    return HasFeature(name, alt1, QString());
}

bool FeatureManager::HasFeature(const QString& name)
{
    return HasFeature(name, QString(), QString());
}

bool FeatureManager::CanWrite(const QString& name, const QString& alt1, const QString& alt2)
{
    return IsWritable(name, alt1, alt2);
}

bool FeatureManager::CanWrite(const QString& name, const QString& alt1)
{
    return CanWrite(name, alt1, QString());
}

bool FeatureManager::CanWrite(const QString& name)
{
    return CanWrite(name, QString(), QString());
}

bool FeatureManager::IsFloat(const QString& name)
{
    return IsFloat(name, QString(), QString());
}

bool FeatureManager::IsFloat(const QString& name, const QString& alt1)
{
    return IsFloat(name, alt1, QString());
}

bool FeatureManager::IsFloat(const QString& name, const QString& alt1, const QString& alt2)
{
    const KelFeatureWrapperPtr feature = FindCandidate(name, alt1, alt2);
    return feature && DataTypeOf(*feature) == TypeFloat;
}

QString FeatureManager::SetValue(const QString& name, const QString& value)
{
    return SetValue(name, QString(), QString(), value);
}

QString FeatureManager::SetValue(const QString& name, const QString& alt1, const QString& value)
{
    return SetValue(name, alt1, QString(), value);
}

QString FeatureManager::SetValue(const QString& name, const QString& alt1, const QString& alt2,
                                 const QString& value)
{
    const KelFeatureWrapperPtr feature = FindCandidate(name, alt1, alt2);
    if (!feature)
        return QString();
    // The answer does not change the result: the caller shows what the
    // camera holds. A refusal is still remembered as the feature's failure.
    Outcome outcome(*this, name);
    const std::string text = value.toStdString();
    outcome.Ok(feature->SetValue(text.c_str()), Action::Write);
    return ReadText(*feature, outcome);
}

double FeatureManager::SetValue(const QString& name, double value)
{
    return SetValue(name, QString(), QString(), value);
}

double FeatureManager::SetValue(const QString& name, const QString& alt1, double value)
{
    return SetValue(name, alt1, QString(), value);
}

double FeatureManager::SetValue(const QString& name, const QString& alt1, const QString& alt2,
                                double value)
{
    const KelFeatureWrapperPtr feature = FindCandidate(name, alt1, alt2);
    if (!feature)
        return value;

    int type = 0;
    {
        Outcome outcome(*this, name);
        type = DataTypeOf(*feature, outcome);
    }
    switch (type) {
    case TypeInteger: {
        const std::int64_t readBack = SetInteger(*feature, name, TruncateToInt64(value));
        return static_cast<double>(readBack);
    }
    case TypeFloat: {
        Outcome outcome(*this, name);
        double min = 0.0;
        double max = 0.0;
        if (!outcome.Ok(feature->GetRange(min, max), Action::Read))
            min = max = -1.0;
        if (min > value)
            value = min;
        else if (value > max)
            value = max;
        if (IsWritableNow(*feature, outcome)) {
            KelErrorType err = feature->SetValue(value);
            const double current = ReadDouble(*feature, outcome);
            if (err != KelCPP::KelError::Success) {
                // Cameras with a float increment refuse values off their grid;
                // retry with what the camera holds, brought onto that grid.
                const double inc = ReadDoubleIncrement(*feature);
                const double retry = inc > 0.0 ? std::trunc(current / inc) * inc : value;
                err = feature->SetValue(retry);
                if (err != KelCPP::KelError::Success)
                    qDebug() << "Error: FeatureManager::SetValue:Double: " << name << " : "
                             << err;
            }
            outcome.Ok(err, Action::Write);
        }
        return ReadDouble(*feature, outcome);
    }
    case TypeBoolean: {
        Outcome outcome(*this, name);
        if (IsWritableNow(*feature, outcome)) {
            const KelErrorType err = feature->SetValue(value > 0.0);
            if (err != KelCPP::KelError::Success)
                qDebug() << "Error: FeatureManager::SetValue:Bool: " << name << " : " << err;
            outcome.Ok(err, Action::Write);
        }
        return ReadBool(*feature, outcome) ? 1.0 : 0.0;
    }
    default:
        return value;
    }
}

std::int64_t FeatureManager::SetInteger(KelFeatureWrapper& feature, const QString& name,
                                        std::int64_t v)
{
    Outcome outcome(*this, name);
    std::int64_t min = 0;
    std::int64_t max = 0;
    if (!outcome.Ok(feature.GetRange(min, max), Action::Read))
        min = max = -1;
    const std::int64_t inc = ReadIntIncrement(feature);
    // The grid is anchored at zero, as the spin boxes step; a camera whose
    // grid starts at a minimum off that grid may refuse the write.
    if (inc > 0) {
        max = (max / inc) * inc;
        v = (v / inc) * inc;
    }
    // A value raised to the minimum stays there, on the camera's grid or not.
    if (v < min)
        v = min;
    else if (v > max)
        v = max;
    if (IsWritableNow(feature, outcome)) {
        const KelErrorType err = feature.SetValue(v);
        if (err != KelCPP::KelError::Success)
            qDebug() << "Error: FeatureManager::SetValue:Int: " << name << " : " << err;
        outcome.Ok(err, Action::Write);
    }
    return ReadInt(feature, outcome);
}

bool FeatureManager::GetInteger(const QString& name, qint64& value)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature)
        return false;
    Outcome outcome(*this, name);
    if (DataTypeOf(*feature, outcome) != TypeInteger)
        return false;
    std::int64_t read = 0;
    if (!outcome.Ok(feature->GetValue(read), Action::Read))
        return false;
    value = read;
    return true;
}

qint64 FeatureManager::SetInteger(const QString& name, qint64 value)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature)
        return value;
    {
        Outcome outcome(*this, name);
        if (DataTypeOf(*feature, outcome) != TypeInteger)
            return value;
    }
    return SetInteger(*feature, name, value);
}

bool FeatureManager::WriteValue(const QString& name, const QString& value)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature)
        return false;
    Outcome outcome(*this, name);
    const std::string text = value.toStdString();
    return outcome.Ok(feature->SetValue(text.c_str()), Action::Write);
}

bool FeatureManager::WriteValue(const QString& name, double value)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature)
        return false;
    Outcome outcome(*this, name);
    switch (DataTypeOf(*feature, outcome)) {
    case TypeInteger: return outcome.Ok(feature->SetValue(TruncateToInt64(value)), Action::Write);
    case TypeFloat: return outcome.Ok(feature->SetValue(value), Action::Write);
    case TypeBoolean: return outcome.Ok(feature->SetValue(value > 0.0), Action::Write);
    default: return false;
    }
}

bool FeatureManager::RunCommand(const QString& name)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature)
        return false;
    Outcome outcome(*this, name);
    return outcome.Ok(feature->RunCommand(), Action::Run);
}

FeatureManager::Failure FeatureManager::LastFailure(const QString& name) const
{
    return failures.value(name);
}

QString FeatureManager::GetCategory(const QString& name)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature)
        return EmptyText();
    std::string category;
    feature->GetCategory(category);
    return QString::fromStdString(category);
}

bool FeatureManager::IsValueAvailable(const QString& name, const QString& entry)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature)
        return false;
    Outcome outcome(*this, name);
    const std::string entryName = entry.toStdString();
    bool available = false;
    return outcome.Ok(feature->IsValueAvailable(entryName.c_str(), available), Action::Read) && available;
}

QStringList FeatureManager::GetSelectedFeatures(const QString& name)
{
    QStringList names;
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature)
        return names;
    std::vector<std::shared_ptr<KelCPP::Feature>> selected;
    if (feature->GetSelectedFeatures(selected) != KelCPP::KelError::Success)
        return names;
    for (const std::shared_ptr<KelCPP::Feature>& item : selected) {
        std::string itemName;
        if (item && item->GetName(itemName) == KelCPP::KelError::Success)
            names.append(QString::fromStdString(itemName));
    }
    return names;
}

QHash<QString, qint64> FeatureManager::GetEntryNumbers(const QString& name)
{
    QHash<QString, qint64> numbers;
    const KelFeatureWrapperPtr feature = FindFeature(name);
    std::vector<KelCPP::EnumEntry> entries;
    if (!feature || feature->GetEntries(entries) != KelCPP::KelError::Success)
        return numbers;
    for (const KelCPP::EnumEntry& entry : entries)
        numbers.insert(QString::fromStdString(entry.GetName()), entry.GetValue());
    return numbers;
}

int FeatureManager::GetDataType(const QString& name)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature) {
        qDebug() << "Error: FeatureManager::GetDataType() - cannot get KelFeatureWrapperPtr for "
                 << name;
        return 0;
    }
    return DataTypeOf(*feature);
}

bool FeatureManager::IsVolatile(const QString& name)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    KelCPP::KelFeatureFlagsType flags = KelCPP::KelFeatureFlagsNone;
    return feature && feature->GetFlags(flags) == KelCPP::KelError::Success
           && (flags & KelCPP::KelFeatureFlagsVolatile);
}

QString FeatureManager::GetRepresentation(const QString& name)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature) {
        qDebug()
            << "Error: FeatureManager::GetRepresentation() - cannot get KelFeatureWrapperPtr for "
            << name;
        return EmptyText();
    }
    std::string representation;
    if (feature->GetRepresentation(representation) != KelCPP::KelError::Success) {
        qDebug() << "Error: FeatureManager::GetRepresentation() cannot get representaion for "
                 << name;
        return EmptyText();
    }
    return QString::fromStdString(representation);
}

QString FeatureManager::GetInformation(const QString& name)
{
    const KelFeatureWrapperPtr feature = FindFeature(name);
    if (!feature) {
        qDebug() << "Error: FeatureManager::GetInformation() - cannot get KelFeatureWrapperPtr for "
                 << name;
        return EmptyText();
    }

    std::string descriptionText;
    feature->GetDescription(descriptionText);
    QString description = QString::fromStdString(descriptionText);
    if (description.isEmpty())
        description = QStringLiteral("N/A<br/>");
    else
        description = QStringLiteral("<br/>")
            + description.replace(QLatin1Char('.'), QStringLiteral(".<br/>"));

    std::string featureName;
    feature->GetName(featureName);
    QString information = Label(QT_TRANSLATE_NOOP("FeatureInformation", "Feature Name:"))
        + QString::fromStdString(featureName) + QStringLiteral("<br/>");

    KelCPP::KelFeatureVisibilityType visibility = KelCPP::KelFeatureVisibilityUnknown;
    feature->GetVisibility(visibility);
    information += Label(QT_TRANSLATE_NOOP("FeatureInformation", "Visibility:")) + VisibilityWord(visibility);

    KelCPP::KelFeatureDataType type = KelCPP::KelFeatureDataUnknown;
    if (feature->GetDataType(type) == KelCPP::KelError::Success)
        information += TypeBlock(*feature, type);

    std::string category;
    feature->GetCategory(category);
    information += Label(QT_TRANSLATE_NOOP("FeatureInformation", "Category:")) + QString::fromStdString(category)
        + QStringLiteral("<br/>");

    return Label(QT_TRANSLATE_NOOP("FeatureInformation", "Feature Description:")) + QStringLiteral("%1<br/>%2").arg(description).arg(information);
}

QStringList FeatureManager::GetFeatureNames()
{
    return names;
}
