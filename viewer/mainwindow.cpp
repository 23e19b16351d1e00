#include "mainwindow.h"

#include "framemarkedtrace.h"
#include "imageview.h"
#include "timelineview.h"

#include "kelcpp/camera.h"
#include "plugin/tabextensioninterface.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QEvent>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QLibrary>
#include <QPluginLoader>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// How often the rate and the acquisition state are brought up to date; the
// frame counter follows each frame shown.
constexpr int CountersIntervalMs = 250;

// Hands frames to the image view. Runs on the camera's stream thread; the
// view takes them from any thread and paints the newest on the GUI thread.
class FrameForwarder : public KelCPP::IFrameObserver
{
public:
    FrameForwarder(ImageView* view, std::shared_ptr<FrameMarkedTrace> marks) : view(view), marks(std::move(marks)) {}
    void FrameReceived(const KelCPP::FramePtr& frame) override
    {
        if (marks)
            marks->AddFrame(frame->timestampNs);
        view->setFrame(frame);
    }

private:
    ImageView* view; // outlives the stream: the window stops it first
    std::shared_ptr<FrameMarkedTrace> marks; // null when the camera records its exposures itself
};

QLabel* StatusField(QWidget* parent, const char* name)
{
    auto* field = new QLabel(parent);
    field->setObjectName(QLatin1String(name));
    field->setContentsMargins(6, 0, 6, 0);
    field->setFrameShape(QFrame::StyledPanel);
    return field;
}

} // namespace

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
    toolbar->setObjectName(QStringLiteral("acquisitionToolBar"));
    toolbar->setMovable(false);
    acquisition = toolbar->addAction(tr("Start acquisition"));
    acquisition->setCheckable(true);
    connect(acquisition, &QAction::toggled, this, &MainWindow::setStreaming);

    // The picture and the signals that made it, one above the other.
    auto* centre = new QSplitter(Qt::Vertical, this);
    centre->setObjectName(QStringLiteral("imageAndTimeline"));
    image = new ImageView(centre);
    timeline = new TimelineView(centre);
    centre->addWidget(image);
    centre->addWidget(timeline);
    centre->setStretchFactor(0, 1);
    centre->setStretchFactor(1, 0);
    // Most of the height for the picture; the strip's rows close up to fit.
    centre->setSizes({440, 460});
    setCentralWidget(centre);

    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* identity = new QLabel(tr("<b>%1</b> &nbsp; Model: %2 &nbsp; Serial number: %3")
                                    .arg(vendor.toHtmlEscaped(), model.toHtmlEscaped(), serial.toHtmlEscaped()),
                                panel);
    identity->setObjectName(QStringLiteral("cameraIdentity"));
    layout->addWidget(identity);
    lostBanner = new QLabel(panel);
    lostBanner->setObjectName(QStringLiteral("cameraLost"));
    lostBanner->setWordWrap(true);
    lostBanner->setStyleSheet(QStringLiteral("QLabel { background: #fde2e1; color: #8a1f11; padding: 6px; }"));
    lostBanner->hide();
    layout->addWidget(lostBanner);
    tabs = new QTabWidget(panel);
    layout->addWidget(tabs, 1);
    sidePanel = new QDockWidget(tr("Camera settings"), this);
    sidePanel->setObjectName(QStringLiteral("sidePanel"));
    sidePanel->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    sidePanel->setWidget(panel);
    addDockWidget(Qt::RightDockWidgetArea, sidePanel);

    framesField = StatusField(this, "framesReceived");
    rateField = StatusField(this, "frameRate");
    missedField = StatusField(this, "missedTriggers");
    incompleteField = StatusField(this, "incompleteFrames");
    stateField = StatusField(this, "acquisitionState");
    for (QLabel* field : {stateField, framesField, rateField, missedField, incompleteField})
        statusBar()->addPermanentWidget(field);
    statusBar()->showMessage(tr("Camera opened."));
    resize(1400, 960);

    // A camera that only lets its lines be sampled shows its frames on the
    // timeline from their timestamps.
    std::shared_ptr<KelCPP::SignalTrace> trace = camera->GetSignalTrace();
    std::shared_ptr<FrameMarkedTrace> marks;
    if (trace && trace->IsSampled()) {
        marks = std::make_shared<FrameMarkedTrace>(trace);
        trace = marks;
    }
    // Frames flow whenever the camera acquires, whoever started it: the tab's
    // presets and commands too.
    hasStream = camera->StartStream(std::make_shared<FrameForwarder>(image, marks)) == KelCPP::KelError::Success;
    if (!hasStream)
        image->setPlaceholderText(tr("This camera delivers no images to the viewer."));
    timeline->setTrace(trace);
    connect(image, &ImageView::frameShown, this, &MainWindow::updateCounters);
    rateClock.start();
    auto* counters = new QTimer(this);
    connect(counters, &QTimer::timeout, this, &MainWindow::updateCounters);
    counters->start(CountersIntervalMs);
    updateCounters();

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
    // No frame may reach the image view once it is gone.
    camera->StopStream();
    // Pages go before the camera they hold features of.
    delete tabs;
}

void MainWindow::updateCounters()
{
    KelCPP::StreamStatistics stats;
    if (!hasStream || camera->GetStreamStatistics(stats) != KelCPP::KelError::Success)
        stats = {};
    // The rate over at least a second, so that a triggered camera's few
    // frames do not make it jump.
    const qint64 now = rateClock.elapsed();
    if (now - rateSince >= 1000) {
        frameRate = (stats.framesDelivered - std::min(rateFrames, stats.framesDelivered)) * 1000.0 / (now - rateSince);
        rateFrames = stats.framesDelivered;
        rateSince = now;
    }
    framesField->setText(tr("Frames: %1").arg(stats.framesDelivered));
    rateField->setText(tr("%1 fps").arg(frameRate, 0, 'f', 1));
    missedField->setText(stats.missedTriggersKnown ? tr("Missed triggers: %1").arg(stats.missedTriggers)
                                                   : tr("Missed triggers: unknown"));
    incompleteField->setText(tr("Incomplete: %1").arg(stats.framesIncomplete));
    stateField->setText(acquisitionState());
}

QString MainWindow::acquisitionState() const
{
    const auto trace = timeline->trace();
    if (trace && !trace->IsSampled()) {
        // What the camera does this very moment, where it tells.
        std::vector<KelCPP::SignalInfo> signalList;
        KelCPP::SignalTraceData data;
        std::int64_t now = 0;
        if (trace->GetSignals(signalList) == KelCPP::KelError::Success && trace->GetNowNs(now) == KelCPP::KelError::Success
            && trace->Read(now, now, data) == KelCPP::KelError::Success) {
            auto high = [&](const char* name) {
                for (std::size_t i = 0; i < signalList.size() && i < data.initial.size(); ++i) {
                    if (signalList[i].name == name)
                        return data.initial[i] != 0;
                }
                return false;
            };
            if (high("ExposureActive"))
                return tr("Exposing");
            if (high("FrameTriggerWait"))
                return tr("Waiting for trigger");
        }
    }
    return streaming ? tr("Acquiring") : tr("Idle");
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
            // Not an empty page: what the plug-in serves, and what it missed.
            report.refusal = tab->property("refusalReason").toString();
            delete tab;
            auto* page = new QLabel(tabs);
            page->setObjectName(QStringLiteral("refusalPage"));
            page->setWordWrap(true);
            page->setAlignment(Qt::AlignTop | Qt::AlignLeft);
            page->setMargin(12);
            page->setText(tr("<p><b>%1 does not serve this camera</b> (code %2).</p><p>%3</p>")
                              .arg(file.toHtmlEscaped())
                              .arg(report.result)
                              .arg(report.refusal.isEmpty() ? tr("It gave no reason.") : report.refusal.toHtmlEscaped()));
            QString title = QFileInfo(file).baseName();
            if (title.startsWith(QLatin1String("lib")))
                title.remove(0, 3);
            tabs->addTab(page, title);
            declined << tr("%1 declined this camera (code %2)").arg(file).arg(report.result);
        }
        reports.append(report);
    }
    fitSidePanel();
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
    updateCounters();
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

void MainWindow::fitSidePanel()
{
    // As wide as the widest page wants to be, in whatever language it
    // speaks now; the image takes what is left. A page that scrolls asks
    // for its content's width: a scroll area alone asks for little.
    int width = 0;
    for (int i = 0; i < tabs->count(); ++i) {
        QWidget* page = tabs->widget(i);
        int wanted = page->sizeHint().width();
        for (const QScrollArea* area : page->findChildren<QScrollArea*>()) {
            if (area->widget() && area->isVisibleTo(page))
                wanted = std::max(wanted, area->widget()->sizeHint().width() + 2 * area->frameWidth()
                                              + area->verticalScrollBar()->sizeHint().width() + 24);
        }
        width = std::max(width, wanted);
    }
    if (width > 0)
        resizeDocks({sidePanel}, {std::min(width, this->width() / 2 + 100)}, Qt::Horizontal);
}

void MainWindow::refreshTabTitles()
{
    for (int i = 0; i < tabs->count(); ++i) {
        const QString name = tabs->widget(i)->accessibleName();
        if (!name.isEmpty())
            tabs->setTabText(i, name);
    }
    fitSidePanel();
}
