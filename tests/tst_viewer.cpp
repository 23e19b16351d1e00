// The viewer as a user starts it, from a folder other than its own.

#include "testsupport.h"

#include <QImage>
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
        QTest::addColumn<int>("result");
        QTest::newRow("full camera") << TestSupport::CameraPath("full.json") << 0;
        QTest::newRow("basic camera") << TestSupport::CameraPath("basic.json") << 0;
        QTest::newRow("other vendor") << TestSupport::CameraPath("othervendor.json") << 4;
        QTest::newRow("no LineMode") << TestSupport::CameraPath("nolinemode.json") << 4;
        // Not the default camera, which the plug-in would accept.
        QTest::newRow("path relative to the caller, other vendor") << "mine.json" << 4;
    }

    void check()
    {
        QFETCH(QString, camera);
        QFETCH(int, result);
        const QString out = RunViewer({"--check", "--camera", camera});
        QVERIFY2(out.startsWith("libtabextensionadvtrigger.so TabExtensionPlugin") && out.endsWith(QString("result %1\n").arg(result))
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

    void screenshot()
    {
        const QString out = RunViewer({"--screenshot", "shot.png"});
        const QImage shot(caller.filePath("shot.png"));
        QVERIFY2(shot.width() >= 400 && shot.height() >= 300, qPrintable(out));
        QSet<QRgb> colours;
        for (int y = 0; y < shot.height(); y += 7)
            for (int x = 0; x < shot.width(); x += 7)
                colours.insert(shot.pixel(x, y));
        QVERIFY(colours.size() > 2); // something was drawn
    }
};

QTEST_MAIN(TestViewer)
#include "tst_viewer.moc"
