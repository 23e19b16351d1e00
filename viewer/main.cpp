// camera-viewer: opens a simulated camera and shows the tabs its plug-ins
// build for it.

#include "mainwindow.h"

#include "kelcpp/sim/simcamera.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

// The page refreshes one second after it is shown; a little more lets the
// screenshot show live values.
constexpr int ScreenshotDelayMs = 1600;
const QSize DialogShotSize(1240, 1000);

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
    for (const char* name : {"--screenshot", "--check", "--help", "-h", "--help-all"})
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

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows a simulated camera and its tab plug-ins."));
    parser.addHelpOption();
    const QCommandLineOption cameraOption(QStringLiteral("camera"),
                                          QStringLiteral("Camera description to simulate (default: the full bundled camera)."),
                                          QStringLiteral("file"));
    const QCommandLineOption screenshotOption(QStringLiteral("screenshot"),
                                              QStringLiteral("Write a PNG of the window after the first refresh, then exit."),
                                              QStringLiteral("file"));
    const QCommandLineOption checkOption(QStringLiteral("check"),
                                         QStringLiteral("List the plug-ins found and what each answered for the camera, then exit."));
    const QCommandLineOption dialogOption(QStringLiteral("dialog"),
                                          QStringLiteral("Open the tab's advanced dialog first; with --screenshot, also write it to FILE-dialog.png."));
    parser.addOptions({cameraOption, screenshotOption, checkOption, dialogOption});
    parser.process(app);

    // Paths on the command line mean what they meant where the user stood;
    // after that the viewer works from its own folder, where plug-ins look
    // for their translations.
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString cameraPath = parser.isSet(cameraOption)
                                   ? QFileInfo(parser.value(cameraOption)).absoluteFilePath()
                                   : appDir + QStringLiteral("/cameras/full.json");
    const QString screenshotPath = parser.isSet(screenshotOption)
                                       ? QFileInfo(parser.value(screenshotOption)).absoluteFilePath()
                                       : QString();
    QDir::setCurrent(appDir);

    std::string error;
    auto camera = KelCPP::Sim::SimCamera::FromFile(cameraPath.toStdString(), &error);
    if (!camera) {
        Print(stderr, QStringLiteral("camera-viewer: %1").arg(QString::fromStdString(error)));
        return 2;
    }

    MainWindow window(camera);
    const auto reports = window.loadPlugins(appDir + QStringLiteral("/plugins"));

    if (parser.isSet(checkOption)) {
        for (const auto& report : reports) {
            if (report.result < 0)
                Print(stdout, QStringLiteral("%1 %2 %3 error %4").arg(report.file, report.className, report.iid, report.problem));
            else
                Print(stdout, QStringLiteral("%1 %2 %3 result %4").arg(report.file, report.className, report.iid).arg(report.result));
        }
        if (reports.isEmpty())
            Print(stdout, QStringLiteral("no plug-in in %1/plugins").arg(appDir));
        return 0;
    }

    window.show();
    if (parser.isSet(dialogOption)) {
        // The plug-in's page offers its dialog through this button.
        if (auto* open = window.findChild<QPushButton*>(QStringLiteral("btnAdvancedDialog")))
            QTimer::singleShot(0, open, &QPushButton::click);
    }
    if (!screenshotPath.isEmpty()) {
        QTimer::singleShot(ScreenshotDelayMs, &window, [&] {
            bool saved = Save(window.grab(), screenshotPath);
            if (parser.isSet(dialogOption)) {
                const QFileInfo info(screenshotPath);
                const QString dialogPath = info.dir().filePath(info.completeBaseName() + QStringLiteral("-dialog.png"));
                for (QWidget* top : QApplication::topLevelWidgets()) {
                    if (!qobject_cast<QDialog*>(top) || !top->isVisible())
                        continue;
                    // Without a display the screen is small; show the dialog
                    // at the size a user would give it.
                    top->resize(top->size().expandedTo(DialogShotSize));
                    QCoreApplication::processEvents();
                    saved = Save(top->grab(), dialogPath) && saved;
                }
            }
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
