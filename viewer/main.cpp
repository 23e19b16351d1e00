// camera-viewer: opens a camera, simulated or real, and shows the tabs its
// plug-ins build for it.

#include "imageview.h"
#include "mainwindow.h"

#include "kelcpp/aravis/araviscamera.h"
#include "kelcpp/sim/simcamera.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMetaObject>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The page refreshes one second after it is shown; a little more lets the
// screenshot show live values.
constexpr int ScreenshotDelayMs = 1600;
// A triggered camera may wait for its input a while; longer than this, and
// nothing triggers it.
constexpr int FrameWaitMs = 15000;
// Without a display the screen is 800 × 600, smaller than any user's: a
// dialog is shot at the size it opens at on a common laptop's screen.
const QRect ShotScreen(0, 0, 1366, 768);

bool HasArgument(int argc, char** argv, const char* name)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return true;
    }
    return false;
}

// Screenshots, checks and the help text must work without a display.
void UseOffscreenWithoutDisplay(int argc, char** argv)
{
    bool headlessJob = false;
    for (const char* name : {"--screenshot", "--check", "--check-presets", "--help", "-h", "--help-all", "--list",
                             "--version", "-v"})
        headlessJob = headlessJob || HasArgument(argc, argv, name);
    if (headlessJob && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Qt's platform code wants a private runtime folder and complains on every
// start without one (containers, CI machines).
void EnsureRuntimeDir()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QString dir = QDir::tempPath() + QStringLiteral("/camera-viewer-runtime-") + qEnvironmentVariable("USER", QStringLiteral("user"));
    if (QDir().mkpath(dir)) {
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
    }
}

// Plug-ins silence Qt's log, so the viewer talks to the terminal directly.
void Print(FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

// What --camera names: "aravis:" and "aravis:<id>" a camera through Aravis,
// anything else a description file for the simulator.
const QString AravisPrefix = QStringLiteral("aravis:");

struct OpenedCamera {
    std::shared_ptr<KelCPP::Camera> camera;
    MainWindow::ConnectionCheck connected;
    QString error;
};

OpenedCamera OpenCamera(const QString& name, double pollRate)
{
    OpenedCamera opened;
    std::string error;
    if (name.startsWith(AravisPrefix)) {
        KelCPP::Aravis::AravisOptions options;
        options.pollRateHz = pollRate;
        auto camera = KelCPP::Aravis::AravisCamera::Open(name.mid(AravisPrefix.size()).toStdString(), &error, options);
        if (camera) {
            opened.connected = [camera] { return camera->IsConnected(); };
            opened.camera = std::move(camera);
        }
    } else {
        opened.camera = KelCPP::Sim::SimCamera::FromFile(name.toStdString(), &error);
    }
    opened.error = QString::fromStdString(error);
    return opened;
}

void ListCameras(const QString& cameraDir)
{
    const auto cameras = KelCPP::Aravis::ListCameras();
    for (const auto& camera : cameras) {
        const QString where = camera.address.empty() ? QString::fromStdString(camera.protocol)
                                                     : QStringLiteral("%1 %2").arg(QString::fromStdString(camera.protocol),
                                                                                   QString::fromStdString(camera.address));
        Print(stdout, QStringLiteral("%1%2\t%3 %4, serial %5 (%6)")
                          .arg(AravisPrefix, QString::fromStdString(camera.id), QString::fromStdString(camera.vendor),
                               QString::fromStdString(camera.model), QString::fromStdString(camera.serial), where));
    }
    if (cameras.empty())
        Print(stdout, QStringLiteral("no camera reachable through Aravis (GigE Vision, USB3 Vision)"));
    for (const QFileInfo& file : QDir(cameraDir).entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Name))
        Print(stdout, QStringLiteral("%1\tsimulated camera").arg(QDir::toNativeSeparators(file.absoluteFilePath())));
}

// The page that took the camera checks the presets file: its own reading
// and the walk it applies presets with, writing nothing. Found by the
// operation it offers, so the viewer needs none of the plug-in's code.
int CheckPresets(const QWidget& window, const QString& file)
{
    for (QObject* page : window.findChildren<QObject*>()) {
        if (page->metaObject()->indexOfMethod("CheckPresets(QString)") < 0)
            continue;
        QVariantMap result;
        QMetaObject::invokeMethod(page, "CheckPresets", Qt::DirectConnection, Q_RETURN_ARG(QVariantMap, result),
                                  Q_ARG(QString, file));
        std::fputs(result.value(QStringLiteral("report")).toString().toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        if (result.value(QStringLiteral("parsed")).toBool())
            return 0;
        Print(stderr, QStringLiteral("camera-viewer: %1").arg(result.value(QStringLiteral("error")).toString()));
        return 1;
    }
    Print(stderr, QStringLiteral("camera-viewer: no plug-in took this camera, so no presets apply to it"));
    return 2;
}

// The size the dialog's content asks for on ShotScreen, found by the
// operation it offers (no plug-in code in the viewer); else its size now.
QSize DialogShotSize(const QWidget& dialog)
{
    for (QObject* content : dialog.findChildren<QObject*>()) {
        if (content->metaObject()->indexOfMethod("OpeningWindowSize(QRect)") < 0)
            continue;
        QSize size;
        if (QMetaObject::invokeMethod(content, "OpeningWindowSize", Qt::DirectConnection, Q_RETURN_ARG(QSize, size),
                                      Q_ARG(QRect, ShotScreen))
            && size.isValid())
            return size;
    }
    return dialog.size();
}

bool Save(const QPixmap& picture, const QString& path)
{
    const bool saved = picture.save(path, "PNG");
    Print(saved ? stdout : stderr, saved ? path : QStringLiteral("camera-viewer: cannot write %1").arg(path));
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    UseOffscreenWithoutDisplay(argc, argv);
    EnsureRuntimeDir();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("camera-viewer"));
    // project(VERSION), which the package carries too.
    QApplication::setApplicationVersion(QStringLiteral(KEL_VERSION));
    // Where the plug-in keeps what it remembers (the dialog's size).
    QApplication::setOrganizationName(QStringLiteral("camera-viewer"));
    // The window in the user's language; load() tries de_DE, then de.
    QTranslator translator;
    if (translator.load(QLocale::system(), QStringLiteral("camera-viewer"), QStringLiteral("_"),
                        QCoreApplication::applicationDirPath() + QStringLiteral("/qm")))
        QCoreApplication::installTranslator(&translator);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows a camera, simulated or real, and its tab plug-ins."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption cameraOption(QStringLiteral("camera"),
                                          QStringLiteral("Camera description to simulate (default: the full bundled camera), "
                                                         "or aravis: for the first camera Aravis finds, aravis:<id> for a given one."),
                                          QStringLiteral("file|aravis:[id]"));
    const QCommandLineOption listOption(QStringLiteral("list"),
                                        QStringLiteral("List the reachable cameras and the bundled simulated ones, then exit."));
    const QCommandLineOption pollOption(QStringLiteral("poll-rate"),
                                        QStringLiteral("How often a real camera's self-changing features (line status, counters) are read, per second (default 10)."),
                                        QStringLiteral("hz"), QStringLiteral("10"));
    const QCommandLineOption screenshotOption(QStringLiteral("screenshot"),
                                              QStringLiteral("Write a PNG of the window after the first refresh, then exit."),
                                              QStringLiteral("file"));
    const QCommandLineOption checkOption(QStringLiteral("check"),
                                         QStringLiteral("List the plug-ins found and what each answered for the camera, then exit."));
    const QCommandLineOption acquireOption(QStringLiteral("acquire"),
                                           QStringLiteral("Start acquisition at once; with --screenshot, wait for the first frame."));
    const QCommandLineOption delayOption(QStringLiteral("delay"),
                                         QStringLiteral("With --screenshot: wait at least this long before taking it (default 1600)."),
                                         QStringLiteral("ms"), QString::number(ScreenshotDelayMs));
    const QCommandLineOption dialogOption(QStringLiteral("dialog"),
                                          QStringLiteral("Open the tab's advanced dialog first; with --screenshot, also write it to FILE-dialog.png."));
    const QCommandLineOption checkPresetsOption(
        QStringLiteral("check-presets"),
        QStringLiteral("Check a presets file against the camera without applying anything: per preset, what it would "
                       "write, in order, and what the camera lacks or would refuse. FILE defaults to the file the page "
                       "loads for the camera. Exits with 1 when the file cannot be read or is no JSON."));
    parser.addOptions({cameraOption, listOption, pollOption, screenshotOption, acquireOption, delayOption, checkOption,
                       dialogOption, checkPresetsOption});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("With --check-presets: the presets file to check."),
                                 QStringLiteral("[FILE]"));
    parser.process(app);

    // Paths on the command line mean what they meant where the user stood;
    // after that the viewer works from its own folder, where plug-ins look
    // for their translations.
    const QString appDir = QCoreApplication::applicationDirPath();
    if (parser.isSet(listOption)) {
        ListCameras(appDir + QStringLiteral("/cameras"));
        return 0;
    }
    bool rateOk = false;
    const double pollRate = parser.value(pollOption).toDouble(&rateOk);
    if (!rateOk || pollRate < 0) {
        Print(stderr, QStringLiteral("camera-viewer: --poll-rate needs a number of reads per second, 0 or more"));
        return 2;
    }
    const QString cameraName = parser.value(cameraOption);
    const QString cameraPath = !parser.isSet(cameraOption) ? appDir + QStringLiteral("/cameras/full.json")
                               : cameraName.startsWith(AravisPrefix) ? cameraName
                                                                     : QFileInfo(cameraName).absoluteFilePath();
    const QString screenshotPath = parser.isSet(screenshotOption)
                                       ? QFileInfo(parser.value(screenshotOption)).absoluteFilePath()
                                       : QString();
    const QString presetsFile = parser.positionalArguments().isEmpty()
                                    ? QString()
                                    : QFileInfo(parser.positionalArguments().constFirst()).absoluteFilePath();
    QDir::setCurrent(appDir);

    OpenedCamera opened = OpenCamera(cameraPath, pollRate);
    if (!opened.camera) {
        Print(stderr, QStringLiteral("camera-viewer: %1").arg(opened.error));
        return 2;
    }

    MainWindow window(opened.camera, opened.connected);
    const auto reports = window.loadPlugins(appDir + QStringLiteral("/plugins"));

    if (parser.isSet(checkOption)) {
        for (const auto& report : reports) {
            if (report.result < 0)
                Print(stdout, QStringLiteral("%1 %2 %3 error %4").arg(report.file, report.className, report.iid, report.problem));
            else if (report.refusal.isEmpty())
                Print(stdout, QStringLiteral("%1 %2 %3 result %4").arg(report.file, report.className, report.iid).arg(report.result));
            else
                Print(stdout, QStringLiteral("%1 %2 %3 result %4: %5")
                                  .arg(report.file, report.className, report.iid)
                                  .arg(report.result)
                                  .arg(report.refusal));
        }
        if (reports.isEmpty())
            Print(stdout, QStringLiteral("no plug-in in %1/plugins").arg(appDir));
        return 0;
    }

    if (parser.isSet(checkPresetsOption))
        return CheckPresets(window, presetsFile);

    window.show();
    if (parser.isSet(dialogOption)) {
        // The plug-in's page offers its dialog through this button.
        if (auto* open = window.findChild<QPushButton*>(QStringLiteral("btnAdvancedDialog")))
            QTimer::singleShot(0, open, &QPushButton::click);
    }
    if (parser.isSet(acquireOption))
        window.setStreaming(true);
    // What the screenshot waits for. It lives as long as the event loop, which
    // the handlers below run in.
    struct ShotState {
        int delayMs = ScreenshotDelayMs;
        bool waitForFrame = false; // with acquisition on, a picture is worth taking once a frame is in it
        bool frameSeen = false, delayPassed = false, taken = false;
    } shot;
    const auto shoot = [&] {
        if (shot.taken || !shot.delayPassed || (shot.waitForFrame && !shot.frameSeen))
            return;
        shot.taken = true;
        bool saved = Save(window.grab(), screenshotPath);
        if (parser.isSet(dialogOption)) {
            const QFileInfo info(screenshotPath);
            const QString dialogPath = info.dir().filePath(info.completeBaseName() + QStringLiteral("-dialog.png"));
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (!qobject_cast<QDialog*>(top) || !top->isVisible())
                    continue;
                top->resize(DialogShotSize(*top));
                QCoreApplication::processEvents();
                saved = Save(top->grab(), dialogPath) && saved;
            }
        }
        QCoreApplication::exit(saved ? 0 : 1);
    };
    if (!screenshotPath.isEmpty()) {
        bool delayOk = false;
        shot.delayMs = parser.value(delayOption).toInt(&delayOk);
        if (!delayOk || shot.delayMs < 0) {
            Print(stderr, QStringLiteral("camera-viewer: --delay needs a number of milliseconds"));
            return 2;
        }
        shot.waitForFrame = parser.isSet(acquireOption);
        QObject::connect(window.imageView(), &ImageView::frameShown, &window, [&] {
            shot.frameSeen = true;
            shoot();
        });
        QTimer::singleShot(shot.delayMs, &window, [&] {
            shot.delayPassed = true;
            shoot();
        });
        if (shot.waitForFrame) {
            // A camera that sends nothing in this long is not triggered at all.
            const int giveUpMs = std::max(shot.delayMs, FrameWaitMs);
            QTimer::singleShot(giveUpMs, &window, [&shot, giveUpMs] {
                if (shot.taken)
                    return;
                Print(stderr, QStringLiteral("camera-viewer: no frame arrived within %1 s; nothing written").arg(giveUpMs / 1000));
                QCoreApplication::exit(1);
            });
        }
    }
    return app.exec();
}
