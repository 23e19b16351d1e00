#include "mainwindow.h"

#include "kelcpp/camera.h"
#include "plugin/tabextensioninterface.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QJsonObject>
#include <QLabel>
#include <QLibrary>
#include <QPluginLoader>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

MainWindow::MainWindow(std::shared_ptr<KelCPP::Camera> cam, ConnectionCheck check, QWidget* parent)
    : QMainWindow(parent), camera(std::move(cam)), connected(std::move(check)),
      features(new QVector<std::shared_ptr<KelCPP::Feature>>())
{
    KelCPP::FeaturePtrVector list;
    camera->GetFeatures(list);
    for (auto& feature : list)
        features->append(feature);

    const QString vendor = featureText("DeviceVendorName");
    const QString model = featureText("DeviceModelName");
    const QString serial = featureText("DeviceSerialNumber");
    setWindowTitle(tr("Camera Viewer - %1 %2").arg(vendor, model));

    auto* toolbar = addToolBar(tr("Acquisition"));
    toolbar->setMovable(false);
    acquisition = toolbar->addAction(tr("Start acquisition"));
    acquisition->setCheckable(true);
    connect(acquisition, &QAction::toggled, this, &MainWindow::setStreaming);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* identity = new QLabel(tr("<b>%1</b> &nbsp; Model: %2 &nbsp; Serial number: %3")
                              .arg(vendor.toHtmlEscaped(), model.toHtmlEscaped(), serial.toHtmlEscaped()),
                          central);
    identity->setObjectName(QStringLiteral("cameraIdentity"));
    layout->addWidget(identity);
    lostBanner = new QLabel(central);
    lostBanner->setObjectName(QStringLiteral("cameraLost"));
    lostBanner->setWordWrap(true);
    lostBanner->setStyleSheet(QStringLiteral("QLabel { background: #fde2e1; color: #8a1f11; padding: 6px; }"));
    lostBanner->hide();
    layout->addWidget(lostBanner);
    tabs = new QTabWidget(central);
    layout->addWidget(tabs, 1);
    setCentralWidget(central);
    statusBar()->showMessage(tr("Camera opened."));
    resize(760, 900);

    if (connected) {
        // Cheap: the backend already knows; this only shows it.
        auto* watch = new QTimer(this);
        connect(watch, &QTimer::timeout, this, &MainWindow::checkConnection);
        watch->start(500);
    }
}

void MainWindow::checkConnection()
{
    if (lostBanner->isVisible() || connected())
        return;
    lostBanner->setText(tr("<b>The camera stopped answering.</b> Check its cable, power and network, "
                           "then start the viewer again. Values shown are the last ones read."));
    lostBanner->show();
    acquisition->setEnabled(false);
    statusBar()->showMessage(tr("Camera lost."));
}

MainWindow::~MainWindow()
{
    // Pages go before the camera they hold features of.
    delete tabs;
}

QString MainWindow::featureText(const char* name) const
{
    KelCPP::FeaturePtr feature;
    std::string text;
    if (camera->GetFeatureByName(name, feature) == KelCPP::KelError::Success)
        feature->GetValue(text);
    return QString::fromStdString(text);
}

QList<MainWindow::PluginReport> MainWindow::loadPlugins(const QString& directory)
{
    QList<PluginReport> reports;
    const QDir dir(directory);
    QStringList declined;
    for (const QString& file : dir.entryList(QDir::Files, QDir::Name)) {
        const QString path = dir.filePath(file);
        if (!QLibrary::isLibrary(path))
            continue;
        PluginReport report;
        report.file = file;
        QPluginLoader loader(path);
        const QJsonObject meta = loader.metaData();
        report.className = meta.value(QStringLiteral("className")).toString();
        report.iid = meta.value(QStringLiteral("IID")).toString();
        QObject* root = loader.instance();
        auto* extension = qobject_cast<TabExtensionInterface*>(root);
        if (!extension) {
            report.problem = root ? tr("not a tab plug-in") : loader.errorString();
            reports.append(report);
            continue;
        }
        // The page connects to the streaming signal of its tab's parent, so
        // the tab starts out as our child and moves into the tab bar after.
        auto* tab = new QWidget(this);
        QMap<QString, QVariant> options;
        options.insert(QStringLiteral("connectWidgetToSignal"), QByteArray(SIGNAL(streamingChanged(bool))));
        options.insert(QStringLiteral("connectStatusToSlot"), QByteArray(SLOT(showPluginStatus(QString))));
        report.result = extension->CreateTabWidget(features, tab, &options);
        if (report.result == 0) {
            tabs->addTab(tab, tab->accessibleName());
        } else {
            delete tab;
            declined << tr("%1 declined this camera (code %2)").arg(file).arg(report.result);
        }
        reports.append(report);
    }
    if (!declined.isEmpty())
        statusBar()->showMessage(declined.join(QStringLiteral("; ")));
    else if (tabs->count() == 0)
        statusBar()->showMessage(tr("No plug-in found in %1").arg(QDir::toNativeSeparators(directory)));
    return reports;
}

void MainWindow::setStreaming(bool on)
{
    if (on == streaming)
        return;
    KelCPP::FeaturePtr command;
    const char* name = on ? "AcquisitionStart" : "AcquisitionStop";
    if (camera->GetFeatureByName(name, command) != KelCPP::KelError::Success
        || command->RunCommand() != KelCPP::KelError::Success) {
        statusBar()->showMessage(tr("The camera refused %1.").arg(QLatin1String(name)));
        const QSignalBlocker block(acquisition);
        acquisition->setChecked(streaming);
        return;
    }
    streaming = on;
    {
        const QSignalBlocker block(acquisition);
        acquisition->setChecked(on);
    }
    acquisition->setText(on ? tr("Stop acquisition") : tr("Start acquisition"));
    statusBar()->showMessage(on ? tr("Acquiring.") : tr("Acquisition stopped."));
    emit streamingChanged(on);
}

void MainWindow::showPluginStatus(const QString& message)
{
    // Long enough to read, short enough not to outlive a recovery unnoticed.
    constexpr int shownMs = 15000;
    statusBar()->showMessage(message, shownMs);
}

void MainWindow::changeEvent(QEvent* event)
{
    // A plug-in installing its translation renames its page after we saw
    // the event: pick the names up once the pages had theirs.
    if (event->type() == QEvent::LanguageChange)
        QTimer::singleShot(0, this, &MainWindow::refreshTabTitles);
    QMainWindow::changeEvent(event);
}

void MainWindow::refreshTabTitles()
{
    for (int i = 0; i < tabs->count(); ++i) {
        const QString name = tabs->widget(i)->accessibleName();
        if (!name.isEmpty())
            tabs->setTabText(i, name);
    }
}
