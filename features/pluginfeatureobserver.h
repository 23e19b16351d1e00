#ifndef FEATURES_PLUGINFEATUREOBSERVER_H
#define FEATURES_PLUGINFEATUREOBSERVER_H

#include "kelcpp/feature.h"
#include "kelcpp/featureobserver.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

// Turns the camera's change notifications into setChangedFeature signals.
//
// The camera calls NotifyFeatureChanged on its own notification thread, so
// the signal is emitted there; receivers living on the GUI thread must use an
// automatic or queued connection to get it on their own thread. Create the
// observer on the GUI thread and own it through std::shared_ptr: the camera
// keeps a reference while it is registered.
class PluginFeatureObserver : public QObject, public KelCPP::IFeatureObserver
{
    Q_OBJECT

public:
    PluginFeatureObserver();
    ~PluginFeatureObserver() override;

    // Emits the feature's name and its current value as text. Nothing is
    // emitted for a null feature or when its name or data type cannot be
    // read; a value that cannot be read gives an empty text.
    void NotifyFeatureChanged(const std::shared_ptr<KelCPP::Feature>& feature) override;
    // A change of the feature itself goes out as setChangedFeature; a mere
    // selector move, which changes nothing the feature holds, as
    // selectorMoved, without asking the camera for the value.
    void NotifyFeatureChanges(const std::shared_ptr<KelCPP::Feature>& feature,
                              std::uint32_t changes) override;

    // Whether setChangedFeature carries the value text. Receivers that read
    // the camera themselves turn it off: the text is then empty, and a
    // notification costs the camera no access. On by default.
    void SetValueTextWanted(bool wanted);

signals:
    void setChangedFeature(QString featureName, QString sValue);
    void selectorMoved(QString featureName);

private:
    std::atomic<bool> valueTextWanted{true};
};

#endif
