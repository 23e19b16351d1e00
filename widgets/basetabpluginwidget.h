#ifndef WIDGETS_BASETABPLUGINWIDGET_H
#define WIDGETS_BASETABPLUGINWIDGET_H

#include "features/kelfeaturewrapper.h"
#include "widgets/tabextensionexception.h"

#include <QSet>
#include <QStringList>
#include <QWidget>

#include <memory>

class FeatureManager;
class PluginFeatureObserver;
class QMutex;
class QTimer;

// The base of every view over one camera's features. It refuses cameras of
// other vendors, owns the feature manager and the change observer, keeps
// the observer registered on the observed features while the view is
// visible, and once a second hands the names of the features that changed
// to UpdateChangedFeatures.
class BaseTabPluginWidget : public QWidget
{
    Q_OBJECT

public:
    // Throws TENotSupported (code 4) when the camera's DeviceVendorName does
    // not start with the supported vendor. Installs a message handler that
    // discards every Qt log message of the process.
    BaseTabPluginWidget(const CameraFeatureList& features, QWidget* parent);
    ~BaseTabPluginWidget() override;

    // Registers the observer on every camera feature named in
    // observedFeatures; with markChanged, also queues each name for the next
    // refresh (the caller then holds changeMutex). Returns the last code.
    int RegisterObservers(bool markChanged);
    int UnregisterObservers();
    // The window colour's lightness is below 100.
    bool IsDarkPalette() const;

    // Refreshes the widgets of the features in changedFeatures. Runs with
    // changeMutex held: must not lock it again.
    virtual void UpdateChangedFeatures() = 0;
    virtual bool IsVendorSupported(FeatureManager* manager);
    // The text a supported camera's DeviceVendorName starts with.
    static QString SupportedVendor();
    // Sets the style sheets that depend on a dark or light palette.
    virtual void ApplyColorScheme() = 0;

signals:
    void resetFPS();

protected slots:
    void updateTimer();

private slots:
    // Queued from the observer on the camera's thread.
    void OnFeatureChanged(const QString& name, const QString& value);
    // A selector governing the feature moved: only features in
    // selectorFollowers have something to show for that.
    void OnSelectorMoved(const QString& name);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

    FeatureManager* featureManager = nullptr;
    QStringList* changedFeatures = nullptr; // guarded by changeMutex
    QStringList observedFeatures;
    CameraFeatureList cameraFeatures;
    QTimer* refreshTimer = nullptr;
    QMutex* changeMutex = nullptr;          // not recursive
    std::shared_ptr<PluginFeatureObserver> featureObserver;
    // Observed features whose own widget shows the value of the selected
    // entry, so that a selector move alone is reason to refresh them. The
    // others (table cells show every entry at once; the status tree keeps
    // a row per entry) let selector moves pass. GUI thread only.
    QSet<QString> selectorFollowers;

private:
    // The features the observer is registered on now: registering twice is
    // an error to the camera, and showing would otherwise do it.
    QSet<const KelCPP::Feature*> registered;
};

#endif
