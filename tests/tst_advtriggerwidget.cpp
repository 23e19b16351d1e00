// The tab page: what its first and later shows set up, streaming, and the
// translation it loads.

#include "features/featuremanager.h"
#include "views/advtriggerdialog.h"
#include "views/advtriggerwidget.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTranslator>
#include <QTreeView>

#include <cstdio>

namespace {

const char* const ProbeVariable = "TRIGGERIO_TRANSLATION_PROBE";

// Another client's write, and the page's share of the notifications.
void Write(KelCPP::Sim::SimCamera& camera, const char* name, const char* value)
{
    QCOMPARE(TestSupport::FindFeature(camera, name)->SetValue(value), KelCPP::KelError::Success);
    camera.WaitForNotifications();
    QCoreApplication::sendPostedEvents();
}

// What the status tree shows for the trigger group.
// The trigger group's entry, or what its inactive row says.
QString TriggerRow(const QTreeView* tree)
{
    const QModelIndexList groups =
        tree->model()->match(tree->model()->index(0, 0), Qt::DisplayRole, "Trigger", -1, Qt::MatchStartsWith);
    if (groups.size() != 1)
        return "no single trigger group";
    if (groups.at(0).data(Qt::UserRole).toString() == "inactive")
        return groups.at(0).siblingAtColumn(1).data().toString();
    return groups.at(0).data().toString().mid(QString("Trigger ").size());
}

// Child process mode, run with the locale under test in a folder holding
// qm/: the second page is built after the first installed its translator.
int ProbeTranslation()
{
    const auto camera = TestSupport::OpenCamera("full.json");
    QWidget first, second;
    AdvTriggerWidget firstPage(TestSupport::CameraFeatures(*camera), &first), secondPage(TestSupport::CameraFeatures(*camera), &second);
    // The first page's status tree was built before the translator came.
    first.show();
    QCoreApplication::processEvents(); // the language change the translator posted
    const QString inactive = TriggerRow(firstPage.findChild<QTreeView*>("treeView"));
    const QString information = FeatureManager(TestSupport::WrapFeatures(*camera)).GetInformation("TriggerMode");
    const QString type = information.section("<b>", 4, 4).section("</b>", 0, 0);
    std::printf("%s\n%s\n%s\n%s\n", qPrintable(QLocale::system().name()), qPrintable(second.accessibleName()),
                qPrintable(inactive), qPrintable(type));
    std::fflush(stdout); // a sanitizer's report at exit would skip the flush
    return 0;
}

} // namespace

class TestAdvTriggerWidget : public QObject
{
    Q_OBJECT

    std::shared_ptr<KelCPP::Sim::SimCamera> camera;
    std::unique_ptr<QWidget> host;
    AdvTriggerWidget* page = nullptr; // in `host`, not shown yet

private slots:
    void init()
    {
        camera = TestSupport::OpenCamera("full.json");
        host = std::make_unique<QWidget>();
        page = new AdvTriggerWidget(TestSupport::CameraFeatures(*camera), host.get());
    }
    void cleanup() { host.reset(); }

    void firstAndLaterShows()
    {
        auto* selector = page->findChild<QComboBox*>("cmbTriggerSelector");
        auto* tree = page->findChild<QTreeView*>("treeView");
        QVERIFY(selector->count() == 0 && !tree->model());
        QCOMPARE(host->accessibleName() + "|" + page->accessibleName(), QString("Trigger IO|Trigger IO"));

        host->show();
        QCOMPARE(selector->currentText(), QString("FrameStart"));
        QCOMPARE(TriggerRow(tree), QString("inactive"));
        // Observed from now on: another client's change reaches the page.
        Write(*camera, "TriggerActivation", "FallingEdge");
        QVERIFY(QMetaObject::invokeMethod(page, "updateTimer"));
        QCOMPARE(page->findChild<QComboBox*>("cmbTriggerActivation")->currentText(), QString("FallingEdge"));

        // Unobserved while hidden: the next show rebuilds the tree at once.
        page->hide();
        Write(*camera, "TriggerMode", "On");
        page->show();
        QCOMPARE(TriggerRow(tree), QString("FrameStart"));
    }

    // What the camera locks while it acquires follows it on the page, also
    // after the dialog was open in between: start, open and close the
    // dialog, stop.
    void acquisitionLocksAndUnlocksThePage()
    {
        host->show();
        auto* source = page->findChild<QComboBox*>("cmbTriggerSource");
        auto* mode = page->findChild<QComboBox*>("cmbTriggerMode");
        auto tick = [this] {
            camera->WaitForNotifications();
            QCoreApplication::processEvents();
            QVERIFY(QMetaObject::invokeMethod(page, "updateTimer"));
        };
        tick();
        QVERIFY(source->isEnabled() && mode->isEnabled());

        QCOMPARE(camera->StartAcquisition(), KelCPP::KelError::Success);
        tick();
        QVERIFY(!source->isEnabled() && !mode->isEnabled());

        page->findChild<QPushButton*>("btnAdvancedDialog")->click();
        auto* dialog = page->findChild<AdvTriggerDialog*>();
        QVERIFY(dialog);
        dialog->parentWidget()->close();
        QTRY_VERIFY(page->isVisible());
        QCOMPARE(camera->StopAcquisition(), KelCPP::KelError::Success);
        tick();
        QVERIFY(source->isEnabled() && mode->isEnabled());
    }

    // Opened while the camera streams, the dialog locks its presets at once,
    // not only at the host's next change.
    void dialogStartsInTheStreamingState()
    {
        host->show();
        QVERIFY(QMetaObject::invokeMethod(page, "camIsStreaming", Q_ARG(bool, true)));
        page->findChild<QPushButton*>("btnAdvancedDialog")->click();
        auto* dialog = page->findChild<AdvTriggerDialog*>();
        QVERIFY(dialog);
        QVERIFY(!dialog->findChild<QComboBox*>("cmbSelectPreset")->isEnabled());
        QVERIFY(dialog->findChild<QLabel*>("lbl_notAcquireHint")->isVisible());
        dialog->parentWidget()->close();
    }

    void streamingLocksThePresets()
    {
        auto* hint = page->findChild<QLabel*>("lbl_notAcquireHint");
        host->show();
        QVERIFY(!hint->isVisible());
        QSignalSpy told(page, SIGNAL(CamStreamingOn(bool)));
        for (bool on : {true, false}) {
            QVERIFY(QMetaObject::invokeMethod(page, "camIsStreaming", Q_ARG(bool, on)));
            QCOMPARE(page->findChild<QComboBox*>("cmbSelectPreset")->isEnabled(), !on);
            QCOMPARE(hint->isVisible(), on);
            QCOMPARE(told.size(), 1);
            QCOMPARE(told.takeFirst(), QVariantList{on});
        }
    }

    void translation_data()
    {
        QTest::addColumn<QStringList>("files"); // in qm/, "!": a broken one
        QTest::newRow("language file only") << QStringList{"de"};
        QTest::newRow("country file only") << QStringList{"de_DE"};
        QTest::newRow("broken country file, language file") << QStringList{"!de_DE", "de"};
        QTest::newRow("no translation") << QStringList();
    }

    void translation()
    {
        QFETCH(QStringList, files);
        const QString real = qEnvironmentVariable("KEL_RUNTIME_DIR") + "/qm/tabextensionadvtrigger_de.qm";
        QTranslator german;
        const bool translated = !files.filter(QRegularExpression("^de")).isEmpty();
        if (translated && !german.load(real))
            QSKIP(qPrintable("no compiled German translation at " + real));
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("qm"));
        for (const QString& file : files) {
            QFile qm(dir.filePath("qm/tabextensionadvtrigger_" + QString(file).remove('!') + ".qm"));
            QVERIFY(file.startsWith('!') ? qm.open(QIODevice::WriteOnly) && qm.write("not a translation") > 0 : QFile::copy(real, qm.fileName()));
        }

        // QLocale::system() is fixed at start-up: ask a fresh process.
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LC_ALL", "de_DE.UTF-8");
        environment.insert(ProbeVariable, "1");
        probe.setProcessEnvironment(environment);
        probe.setWorkingDirectory(dir.path());
        probe.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(probe.waitForFinished(120000));
        QVERIFY2(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0, probe.readAllStandardError().constData()); // a leak report, too
        // The page's title, the status tree's labels and the tooltips' labels.
        auto shown = [&](const char* context, const char* text) {
            return translated ? german.translate(context, text) : QString(text);
        };
        const QString title = shown("AdvTriggerWidget", "Trigger IO");
        QVERIFY(translated == (title != "Trigger IO"));
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()),
                 QStringList({"de_DE", title, shown("SettingsTreeModel", "inactive"), shown("FeatureInformation", "Type:")})
                         .join('\n')
                     + '\n');
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(ProbeVariable))
        return ProbeTranslation();
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestAdvTriggerWidget test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_advtriggerwidget.moc"
