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
            return "failed: " + QString::fromLocal8Bit(viewer.readAllStandardError());
        return QString::fromLocal8Bit(viewer.readAllStandardOutput());
    }

private slots:
    void initTestCase() { QVERIFY(QFile::copy(TestSupport::CameraPath("othervendor.json"), caller.filePath("mine.json"))); }

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
