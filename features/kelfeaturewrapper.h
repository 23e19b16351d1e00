#ifndef FEATURES_KELFEATUREWRAPPER_H
#define FEATURES_KELFEATUREWRAPPER_H

#include "kelcpp/enumentry.h"
#include "kelcpp/feature.h"
#include "kelcpp/featureobserver.h"
#include "kelcpp/kelcpptypes.h"

#include <QSharedPointer>
#include <QVector>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One camera feature behind virtual operations, so that the feature manager
// can be given other implementations. Every operation forwards to the
// feature's operation of the same name and returns its code unchanged; the
// wrapper caches nothing, logs nothing and never throws. Outputs are written
// only on success unless an operation says otherwise.
//
// The feature pointer must not be null. Used on the GUI thread.
class KelFeatureWrapper
{
public:
    explicit KelFeatureWrapper(std::shared_ptr<KelCPP::Feature> feature);
    virtual ~KelFeatureWrapper();

    KelFeatureWrapper(const KelFeatureWrapper&) = delete;
    KelFeatureWrapper& operator=(const KelFeatureWrapper&) = delete;

    virtual const std::shared_ptr<KelCPP::Feature>& GetFeature() const;

    // Raw data: the vector takes the device's data size, zero-filled past
    // `sizeFilled`; a size of 0 empties it.
    virtual KelCPP::KelErrorType GetValue(std::vector<std::uint8_t>& value,
                                          std::uint32_t& sizeFilled) const;
    virtual KelCPP::KelErrorType GetValue(std::vector<std::uint8_t>& value) const;
    virtual KelCPP::KelErrorType GetValue(bool& value) const;
    // Cut at the first NUL. Always overwrites `value`: empty after a failure.
    virtual KelCPP::KelErrorType GetValue(std::string& value) const;
    virtual KelCPP::KelErrorType GetValue(double& value) const;
    virtual KelCPP::KelErrorType GetValue(std::int64_t& value) const;

    virtual KelCPP::KelErrorType GetValues(std::vector<std::string>& names) const;
    virtual KelCPP::KelErrorType GetValues(std::vector<std::int64_t>& values) const;
    virtual KelCPP::KelErrorType GetEntry(KelCPP::EnumEntry& entry, const char* name) const;
    virtual KelCPP::KelErrorType GetEntries(std::vector<KelCPP::EnumEntry>& entries) const;

    virtual KelCPP::KelErrorType GetRange(std::int64_t& min, std::int64_t& max) const;
    virtual KelCPP::KelErrorType GetRange(double& min, double& max) const;

    // An empty vector is refused with -7 (bad parameter) before the camera
    // is asked.
    virtual KelCPP::KelErrorType SetValue(const std::vector<std::uint8_t>& value);
    virtual KelCPP::KelErrorType SetValue(const char* value);
    virtual KelCPP::KelErrorType SetValue(bool value);
    virtual KelCPP::KelErrorType SetValue(double value);
    virtual KelCPP::KelErrorType SetValue(std::int64_t value);

    virtual KelCPP::KelErrorType HasIncrement(bool& hasIncrement) const;
    virtual KelCPP::KelErrorType GetIncrement(double& increment) const;
    virtual KelCPP::KelErrorType GetIncrement(std::int64_t& increment) const;

    virtual KelCPP::KelErrorType IsValueAvailable(std::int64_t value, bool& available) const;
    virtual KelCPP::KelErrorType IsValueAvailable(const char* name, bool& available) const;

    // Returns once the command has been started.
    virtual KelCPP::KelErrorType RunCommand();
    virtual KelCPP::KelErrorType IsCommandDone(bool& done) const;

    // The text getters leave their output unchanged after a failure.
    virtual KelCPP::KelErrorType GetName(std::string& name) const;
    virtual KelCPP::KelErrorType GetDisplayName(std::string& displayName) const;
    virtual KelCPP::KelErrorType GetDataType(KelCPP::KelFeatureDataType& type) const;
    virtual KelCPP::KelErrorType GetFlags(KelCPP::KelFeatureFlagsType& flags) const;
    virtual KelCPP::KelErrorType GetCategory(std::string& category) const;
    virtual KelCPP::KelErrorType GetUnit(std::string& unit) const;
    virtual KelCPP::KelErrorType GetRepresentation(std::string& representation) const;
    virtual KelCPP::KelErrorType GetVisibility(KelCPP::KelFeatureVisibilityType& visibility) const;
    virtual KelCPP::KelErrorType GetToolTip(std::string& toolTip) const;
    virtual KelCPP::KelErrorType GetDescription(std::string& description) const;

    virtual KelCPP::KelErrorType
    GetSelectedFeatures(std::vector<std::shared_ptr<KelCPP::Feature>>& features) const;
    virtual KelCPP::KelErrorType GetValidValueSet(std::vector<std::int64_t>& values) const;

    virtual KelCPP::KelErrorType IsReadable(bool& readable) const;
    virtual KelCPP::KelErrorType IsWritable(bool& writable) const;

    virtual KelCPP::KelErrorType
    RegisterObserver(const std::shared_ptr<KelCPP::IFeatureObserver>& observer);
    virtual KelCPP::KelErrorType
    UnregisterObserver(const std::shared_ptr<KelCPP::IFeatureObserver>& observer);

    // The entries IsValueAvailable would accept now, in the camera's order,
    // asked in one go.
    virtual KelCPP::KelErrorType GetAvailableValues(std::vector<std::string>& names) const;

private:
    const std::shared_ptr<KelCPP::Feature> feature;
};

// Wrappers are only ever held through this, created with std::make_shared.
using KelFeatureWrapperPtr = std::shared_ptr<KelFeatureWrapper>;
// One wrapper per camera feature, in the camera's order; shared by a view
// and its feature manager.
using FeatureList = QSharedPointer<QVector<KelFeatureWrapperPtr>>;

// The host's list of a camera's features, in the camera's order, shared
// with the host.
using CameraFeatureList = QSharedPointer<QVector<std::shared_ptr<KelCPP::Feature>>>;

#endif
