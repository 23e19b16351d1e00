// The viewer as a user starts it, from a folder other than its own.

#include "testsupport.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestViewer : public QObject
{
    Q_OBJECT

    // Runs the viewer in `folder`; its standard output, or why it failed.
    static QString RunViewer(const QStringList& arguments, const QString& folder)
    {
        QProcess viewer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        viewer.setProcessEnvironment(environment);
        viewer.setWorkingDirectory(folder);
        viewer.start(qEnvironmentVariable("KEL_RUNTIME_DIR") + "/camera-viewer", arguments);
        if (!viewer.waitForFinished(120000) || viewer.exitStatus() != QProcess::NormalExit || viewer.exitCode() != 0)
            return "failed: " + QString::fromLocal8Bit(viewer.readAllStandardError());
        return QString::fromLocal8Bit(viewer.readAllStandardOutput());
    }

private slots:
    void check_data()
    {
        QTest::addColumn<QString>("camera");
        QTest::addColumn<bool>("relative"); // given relative to the caller's folder
        QTest::addColumn<int>("result");
        QTest::newRow("full camera") << "full.json" << false << 0;
        QTest::newRow("basic camera") << "basic.json" << false << 0;
        QTest::newRow("other vendor") << "othervendor.json" << false << 4;
        QTest::newRow("no LineMode") << "nolinemode.json" << false << 4;
        // Not the default camera, which the plug-in would accept.
        QTest::newRow("relative path, other vendor") << "othervendor.json" << true << 4;
    }

    void check()
    {
        QFETCH(QString, camera);
        QFETCH(bool, relative);
        QFETCH(int, result);
        QTemporaryDir caller;
        QString path = TestSupport::CameraPath(camera);
        if (relative) {
            QVERIFY(QFile::copy(path, caller.filePath("mine.json")));
            path = "mine.json";
        }
        const QString out = RunViewer({ "--check", "--camera", path }, caller.path());
        QVERIFY2(out.startsWith("libtabextensionadvtrigger.so TabExtensionPlugin"), qPrintable(out));
        QVERIFY2(out.endsWith(QString("result %1\n").arg(result)) && out.count('\n') == 1, qPrintable(out));
    }

    void screenshot()
    {
        QTemporaryDir caller;
        const QString out = RunViewer({ "--screenshot", "shot.png" }, caller.path());
        QVERIFY2(!out.startsWith("failed"), qPrintable(out));
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
