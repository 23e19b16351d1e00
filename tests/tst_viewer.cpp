// The viewer as a user starts it, from a folder other than its own.

#include "testsupport.h"

#include "viewer/imageview.h"
#include "viewer/mainwindow.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestViewer : public QObject
{
    Q_OBJECT

    QTemporaryDir caller; // the user's folder

    // Runs the viewer in the caller's folder; its standard output, or why it failed.
    QString RunViewer(const QStringList& arguments)
    {
        QProcess viewer;
        viewer.setWorkingDirectory(caller.path());
        viewer.start(qEnvironmentVariable("KEL_RUNTIME_DIR") + "/camera-viewer", arguments);
        if (!viewer.waitForFinished(120000) || viewer.exitStatus() != QProcess::NormalExit || viewer.exitCode() != 0)
            return QString("failed (%1): ").arg(viewer.exitCode()) + QString::fromLocal8Bit(viewer.readAllStandardError());
        return QString::fromLocal8Bit(viewer.readAllStandardOutput());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::copy(TestSupport::CameraPath("othervendor.json"), caller.filePath("mine.json")));
        const QByteArray typo = "{\"#presets\": [\"Trigger\"],\n"
                                "  \"Trigger\": {\"TriggerSelector\": {\"#value\": \"FrameStart\", \"TrigerMode\": \"On\"}}}";
        for (auto [name, content] : {std::pair<const char*, QByteArray>{"typo.json", typo},
                                     {"broken.json", "{\n  \"#presets\": []\n  \"A\": {}\n}"}}) {
            QFile file(caller.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        }
    }

    void check_data()
    {
        QTest::addColumn<QString>("camera"); // a bundled one, or one in the caller's folder
        QTest::addColumn<QString>("result");  // what the line ends with
        const QString vendor = "result 4: This plug-in supports cameras of vendor Brennix; this camera reports Corvid Optics.";
        QTest::newRow("full camera") << TestSupport::CameraPath("full.json") << "result 0";
        QTest::newRow("basic camera") << TestSupport::CameraPath("basic.json") << "result 0";
        QTest::newRow("other vendor") << TestSupport::CameraPath("othervendor.json") << vendor;
        QTest::newRow("no LineMode") << TestSupport::CameraPath("nolinemode.json")
                                     << "result 4: This camera has no LineMode feature.";
        // Not the default camera, which the plug-in would accept.
        QTest::newRow("path relative to the caller, other vendor") << "mine.json" << vendor;
    }

    // Which plug-in answered what, and why it declined.
    void check()
    {
        QFETCH(QString, camera);
        QFETCH(QString, result);
        const QString out = RunViewer({"--check", "--camera", camera});
        QVERIFY2(out.startsWith("libtabextensionadvtrigger.so TabExtensionPlugin") && out.endsWith(" " + result + "\n")
                     && out.count('\n') == 1, qPrintable(out));
    }

    // What the viewer refuses before it opens a window: one line, result 2.
    void refusal_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such real camera") << QStringList{"--check", "--camera", "aravis:no-such-camera"}
                                             << "camera-viewer: cannot open camera no-such-camera: ";
        QTest::newRow("poll rate not a number") << QStringList{"--check", "--poll-rate", "often"}
                                                << "camera-viewer: --poll-rate needs a number";
        QTest::newRow("no such description") << QStringList{"--check", "--camera", "nowhere.json"}
                                             << "camera-viewer: ";
    }

    void refusal()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const QString out = RunViewer(arguments);
        QVERIFY2(out.startsWith("failed (2): " + message) && out.count('\n') == 1, qPrintable(out));
    }

    void checkPresets_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expected"); // parts of the output; %1 the caller's folder, %2 the viewer's
        const QString basic = TestSupport::CameraPath("basic.json");
        QTest::newRow("the file the page loads for the camera")
            << QStringList{"--check-presets", "--camera", basic}
            << QStringList{"Presets file: %2/plugins/AdvTrigger_Presets.json\n",
                           "\n\"PWM (Timer0 on Line3)\" (after \"Turn Off All\"): not offered, this camera lacks entry \"Timer0Active\" of LineSource, TimerSelector,",
                           "\n9 presets, 2 not offered on this camera\n"};
        QTest::newRow("a misspelled feature, in a file named relative to the caller")
            << QStringList{"--camera", basic, "--check-presets", "typo.json"}
            << QStringList{"Presets file: %1/typo.json\n", "\n\"Trigger\": not offered, this camera lacks TrigerMode\n"
                           "  TriggerSelector = FrameStart\n    TrigerMode = On\n      ! no such feature on this camera: skipped\n"};
        QTest::newRow("a syntax error: where, and result 1") << QStringList{"--check-presets", "broken.json"}
                                                             << QStringList{"failed (1): camera-viewer: %1/broken.json:3:4: unterminated object\n"};
    }

    // A dry run: what each preset would write and what the camera lacks.
    void checkPresets()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        const QString out = RunViewer(arguments);
        for (const QString& part : expected)
            QVERIFY2(out.contains(QString(part).replace("%1", caller.path()).replace("%2", qEnvironmentVariable("KEL_RUNTIME_DIR"))),
                     qPrintable(out));
    }

    // The bundled simulated cameras are listed whatever Aravis finds.
    void list()
    {
        const QString out = RunViewer({"--list"});
        for (const char* file : {"basic.json", "full.json", "nolinemode.json", "othervendor.json"})
            QVERIFY2(out.contains(QString("/cameras/%1\tsimulated camera\n").arg(file)), qPrintable(out));
    }

    void screenshot_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("the page after its first refresh") << QStringList{};
        // Exits with 1 when no frame arrives: a 0 means one was shown.
        QTest::newRow("acquiring, once the first frame is in") << QStringList{"--acquire", "--delay", "0"};
    }

    void screenshot()
    {
        QFETCH(QStringList, arguments);
        const QString out = RunViewer(QStringList{"--screenshot", "shot.png"} + arguments);
        const QImage shot(caller.filePath("shot.png"));
        QVERIFY2(shot.width() >= 400 && shot.height() >= 300, qPrintable(out));
        QSet<QRgb> colours;
        for (int y = 0; y < shot.height(); y += 7)
            for (int x = 0; x < shot.width(); x += 7)
                colours.insert(shot.pixel(x, y));
        QVERIFY(colours.size() > 2); // something was drawn
    }

    // A declined camera gets a page that says why, not an empty one.
    void refusalPage_data()
    {
        QTest::addColumn<QString>("camera");
        QTest::addColumn<QString>("reason");
        QTest::newRow("other vendor") << "othervendor.json"
                                      << "This plug-in supports cameras of vendor Brennix; this camera reports Corvid Optics.";
        QTest::newRow("no LineMode") << "nolinemode.json" << "This camera has no LineMode feature.";
    }

    void refusalPage()
    {
        QFETCH(QString, camera);
        QFETCH(QString, reason);
        MainWindow window(TestSupport::OpenCamera(camera));
        const auto reports = window.loadPlugins(qEnvironmentVariable("KEL_RUNTIME_DIR") + "/plugins");
        QCOMPARE(reports.value(0).refusal, reason);
        auto* page = window.findChild<QLabel*>("refusalPage");
        QVERIFY(page);
        QVERIFY2(page->text().contains(reason), qPrintable(page->text()));
        QCOMPARE(window.findChild<QTabWidget*>()->indexOf(page), 0);
    }

    // The tab's software trigger takes a frame: the picture and the counter
    // show it.
    void softwareTriggerShowsFrame()
    {
        auto camera = TestSupport::OpenCamera("full.json");
        for (auto [name, value] : {std::pair<const char*, const char*>{"TriggerSelector", "FrameStart"},
                                   {"TriggerMode", "On"}, {"TriggerSource", "Software"}})
            QCOMPARE(TestSupport::FindFeature(*camera, name)->SetValue(value), KelCPP::KelError::Success);
        MainWindow window(camera);
        window.loadPlugins(qEnvironmentVariable("KEL_RUNTIME_DIR") + "/plugins");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setStreaming(true);
        auto* frames = window.findChild<QLabel*>("framesReceived");
        QCOMPARE(frames->text(), QString("Frames: 0"));
        QSignalSpy shown(window.imageView(), &ImageView::frameShown);

        auto* trigger = window.findChild<QPushButton*>("btnTriggerSoftware");
        QVERIFY(trigger && trigger->isEnabled());
        trigger->click();
        camera->Step(std::chrono::milliseconds(100)); // longer than the exposure
        QVERIFY(shown.wait());
        QCOMPARE(shown.first().first().toULongLong(), 1ull);
        QCOMPARE(frames->text(), QString("Frames: 1"));
        QVERIFY(window.imageView()->frame());
    }
};

QTEST_MAIN(TestViewer)
#include "tst_viewer.moc"
