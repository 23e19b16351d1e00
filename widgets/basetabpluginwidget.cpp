#include "widgets/basetabpluginwidget.h"

#include "features/featuremanager.h"
#include "features/pluginfeatureobserver.h"
#include "kelcpp/feature.h"

#include <QDebug>
#include <QEvent>
#include <QMutex>
#include <QMutexLocker>
#include <QTimer>

#include <string>

namespace {

// Process-wide, set when the library loads.
const QString VendorName = QStringLiteral("Brennix");

// The refresh works changes off in batches, at most once per interval.
constexpr int RefreshIntervalMs = 1000;

// The camera API's "not found", reported when the camera has no features.
constexpr int NoFeaturesCode = -3;

// Grey text on disabled controls. The run of blanks is harmless to the style
// and kept so the text matches what hosts may compare against.
const char DisabledStyleSheet[] =
    "QPushButton:disabled, QLineEdit:disabled, QComboBox:disabled, QDoubleSpinBox:disabled,"
    "                                            "
    "QSpinBox:disabled, QwtSlider:disabled, QGroupBox:disabled, QLabel:disabled { color: gray }";

// The host's log stays clean of our diagnostics: every message is dropped.
void DiscardMessage(QtMsgType, const QMessageLogContext&, const QString&)
{
}

// Runs `visit` on every camera feature whose name is observed, in the
// camera's order, skipping features whose name cannot be read. Returns the
// last visit's code, or "not found" when the camera has no features.
template <typename Visit>
int WalkObserved(const CameraFeatureList& cameraFeatures, const QStringList& observed, Visit visit)
{
    const CameraFeatureList features = cameraFeatures;
    if (!features || features->isEmpty()) {
        qDebug().nospace() << "Could not get features. Error code: " << NoFeaturesCode << '\n';
        return NoFeaturesCode;
    }
    int result = KelCPP::KelError::Success;
    for (const std::shared_ptr<KelCPP::Feature>& feature : *features) {
        std::string name;
        if (!feature || feature->GetName(name) != KelCPP::KelError::Success)
            continue;
        const QString featureName = QString::fromStdString(name);
        if (observed.contains(featureName))
            result = visit(*feature, featureName);
    }
    return result;
}

} // namespace

BaseTabPluginWidget::BaseTabPluginWidget(const CameraFeatureList& features, QWidget* parent)
    : QWidget(parent, Qt::WindowFlags())
{
    qInstallMessageHandler(DiscardMessage);
    cameraFeatures = features;

    FeatureList wrappers(new QVector<KelFeatureWrapperPtr>());
    if (cameraFeatures) {
        for (const std::shared_ptr<KelCPP::Feature>& feature : *cameraFeatures)
            wrappers->append(std::make_shared<KelFeatureWrapper>(feature));
    }
    // Owned by a guard until the vendor check passed: a refusal unwinds
    // without running our destructor.
    std::unique_ptr<FeatureManager> manager(new FeatureManager(wrappers));
    featureManager = manager.get();
    if (!BaseTabPluginWidget::IsVendorSupported(featureManager)) {
        throw TENotSupported(QStringLiteral("BaseTabPluginWidget::BaseTabPluginWidget"),
                             tr("Vendor not supported for plugins, widget not created."));
    }
    manager.release();

    // Not make_shared: an allocation of its own, so that a backend keeping
    // weak references to observers does not keep this one's memory alive.
    featureObserver = std::shared_ptr<PluginFeatureObserver>(new PluginFeatureObserver());
    // The refresh reads the camera itself: the observer need not read values.
    featureObserver->SetValueTextWanted(false);
    connect(featureObserver.get(), SIGNAL(setChangedFeature(const QString &, const QString &)),
            this, SLOT(OnFeatureChanged(const QString &, const QString &)), Qt::AutoConnection);
    connect(featureObserver.get(), SIGNAL(selectorMoved(const QString &)), this,
            SLOT(OnSelectorMoved(const QString &)));
    setFocusPolicy(Qt::StrongFocus);
    setStyleSheet(QString::fromUtf8(DisabledStyleSheet));
    changeMutex = new QMutex();
    refreshTimer = new QTimer(this);
    connect(refreshTimer, SIGNAL(timeout()), this, SLOT(updateTimer()));
    changedFeatures = new QStringList();
}

BaseTabPluginWidget::~BaseTabPluginWidget()
{
    delete changedFeatures;
    delete changeMutex;
    delete featureManager;
}

QString BaseTabPluginWidget::SupportedVendor()
{
    return VendorName;
}

bool BaseTabPluginWidget::IsVendorSupported(FeatureManager* manager)
{
    return manager->GetStringValue(QStringLiteral("DeviceVendorName")).startsWith(VendorName);
}

int BaseTabPluginWidget::RegisterObservers(bool markChanged)
{
    return WalkObserved(cameraFeatures, observedFeatures,
                        [this, markChanged](KelCPP::Feature& feature, const QString& name) {
        int result = KelCPP::KelError::Success;
        if (!registered.contains(&feature)) {
            result = feature.RegisterObserver(featureObserver);
            if (result == KelCPP::KelError::Success)
                registered.insert(&feature);
            else
                qDebug().nospace() << "Could not register feature observer. Error code: " << result << '\n';
        }
        if (markChanged)
            changedFeatures->append(name);
        return result;
    });
}

int BaseTabPluginWidget::UnregisterObservers()
{
    return WalkObserved(cameraFeatures, observedFeatures, [this](KelCPP::Feature& feature, const QString&) {
        registered.remove(&feature);
        const int result = feature.UnregisterObserver(featureObserver);
        if (result != KelCPP::KelError::Success)
            qDebug().nospace() << "Could not unregister feature observer. Error code: " << result << '\n';
        return result;
    });
}

bool BaseTabPluginWidget::IsDarkPalette() const
{
    return palette().color(QPalette::Window).lightness() < 100;
}

void BaseTabPluginWidget::showEvent(QShowEvent* event)
{
    QMutexLocker lock(changeMutex);
    UpdateChangedFeatures();
    refreshTimer->start(RefreshIntervalMs);
    // Everything observed is refreshed at the first tick, so the view shows
    // the camera as it is now even if nothing changes.
    RegisterObservers(true);
    QWidget::showEvent(event);
}

void BaseTabPluginWidget::hideEvent(QHideEvent* event)
{
    refreshTimer->stop();
    UnregisterObservers();
    changedFeatures->clear();
    QWidget::hideEvent(event);
}

void BaseTabPluginWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        ApplyColorScheme();
    QWidget::changeEvent(event);
}

void BaseTabPluginWidget::updateTimer()
{
    QMutexLocker lock(changeMutex);
    UpdateChangedFeatures();
    changedFeatures->clear();
}

void BaseTabPluginWidget::OnFeatureChanged(const QString& name, const QString& /*value*/)
{
    // The value is not used: the refresh reads the camera again.
    QMutexLocker lock(changeMutex);
    if (!changedFeatures->contains(name))
        changedFeatures->append(name);
}

void BaseTabPluginWidget::OnSelectorMoved(const QString& name)
{
    // Our own walks over a selector's entries (the line table, the status
    // tree) move it back and forth; they must not come back as work.
    if (!selectorFollowers.contains(name))
        return;
    QMutexLocker lock(changeMutex);
    if (!changedFeatures->contains(name))
        changedFeatures->append(name);
}
