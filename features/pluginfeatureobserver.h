#ifndef FEATURES_PLUGINFEATUREOBSERVER_H
#define FEATURES_PLUGINFEATUREOBSERVER_H

#include "kelcpp/feature.h"
#include "kelcpp/featureobserver.h"

#include <QObject>
#include <QString>

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

signals:
    void setChangedFeature(QString featureName, QString sValue);
};

#endif
