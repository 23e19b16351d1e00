#include "views/advtriggerwidget.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QTreeView>
#include <QtTest>

#include <cstdio>

namespace {

const char* const ProbeVariable = "TRIGGERIO_TRANSLATION_PROBE";

CameraFeatureList Features(const KelCPP::Sim::SimCamera& camera)
{
    KelCPP::FeaturePtrVector features;
    camera.GetFeatures(features);
    return CameraFeatureList::create(features.begin(), features.end());
}

void Write(KelCPP::Sim::SimCamera& camera, const char* name, const char* value)
{
    KelCPP::FeaturePtr feature;
    camera.GetFeatureByName(name, feature);
    QCOMPARE(feature->SetValue(value), KelCPP::KelError::Success);
    camera.WaitForNotifications();
    QCoreApplication::sendPostedEvents(); // the page's share of them
}

// The status tree's top level, as group/entry.
QStringList TopRows(const QAbstractItemModel* model)
{
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows << model->index(row, 0).data().toString() + '/' + model->index(row, 1).data().toString();
    return rows;
}

// Child process mode, run with the locale under test in a folder holding
// qm/: the second page is built after the first installed its translator.
int ProbeTranslation()
{
    const auto camera = TestSupport::OpenCamera("full.json");
    QWidget first, second;
    AdvTriggerWidget firstPage(Features(*camera), &first), secondPage(Features(*camera), &second);
    std::printf("%s\n%s\n", qPrintable(QLocale::system().name()), qPrintable(second.accessibleName()));
    std::fflush(stdout); // a sanitizer's report at exit would skip the flush
    return 0;
}

} // namespace

class TestAdvTriggerWidget : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        camera = TestSupport::OpenCamera("full.json");
        QVERIFY(camera);
    }

    void refusal_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        QTest::newRow("other vendor") << "othervendor.json"
            << "BaseTabPluginWidget::BaseTabPluginWidget: Vendor not supported for plugins, widget not created.";
        QTest::newRow("no LineMode") << "nolinemode.json"
            << "AdvTriggerWidget::AdvTriggerWidget: camera does not support trigger, widget not created";
    }

    void refusal()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        const auto refused = TestSupport::OpenCamera(file);
        try {
            AdvTriggerWidget page(Features(*refused), nullptr);
            QFAIL("page built");
        } catch (const TabExtensionException& refusal) {
            QCOMPARE(refusal.origin + ": " + refusal.message, reason);
            QCOMPARE(refusal.code, 4);
        }
    }

    void firstShowSetsUpThePage()
    {
        QWidget host;
        auto* page = new AdvTriggerWidget(Features(*camera), &host);
        auto* selector = page->findChild<QComboBox*>("cmbTriggerSelector");
        auto* tree = page->findChild<QTreeView*>("treeView");
        QCOMPARE(selector->count(), 0);
        QVERIFY(!tree->model());

        host.show();
        QCOMPARE(host.accessibleName() + "|" + page->accessibleName(), QStringLiteral("Trigger IO|Trigger IO"));
        QCOMPARE(selector->count(), 6);
        QCOMPARE(selector->currentText(), QStringLiteral("FrameStart"));
        QCOMPARE(page->findChild<QTableWidget*>("tableWidget")->rowCount(), int(camera->LineNames().size()));
        QVERIFY(TopRows(tree->model()).contains("Trigger/inactive"));
        // Observed from now on: another client's change reaches the page.
        Write(*camera, "TriggerActivation", "FallingEdge");
        QVERIFY(QMetaObject::invokeMethod(page, "updateTimer"));
        QCOMPARE(page->findChild<QComboBox*>("cmbTriggerActivation")->currentText(), QStringLiteral("FallingEdge"));

        // Unobserved while hidden: the next show rebuilds the tree at once.
        page->hide();
        Write(*camera, "TriggerMode", "On");
        page->show();
        QCOMPARE(TopRows(tree->model()).filter("Trigger/"), QStringList{ "Trigger/FrameStart" });
    }

    void acquisitionHint()
    {
        QWidget host;
        auto* page = new AdvTriggerWidget(Features(*camera), &host);
        auto* hint = page->findChild<QLabel*>("lbl_notAcquireHint");
        host.show();
        QVERIFY(!hint->isVisible());
        QSignalSpy told(page, SIGNAL(CamStreamingOn(bool)));
        for (bool on : { true, false }) {
            QVERIFY(QMetaObject::invokeMethod(page, "camIsStreaming", Q_ARG(bool, on)));
            QCOMPARE(page->findChild<QComboBox*>("cmbSelectPreset")->isEnabled(), !on);
            QCOMPARE(hint->isVisible(), on);
            QCOMPARE(told.size(), 1);
            QCOMPARE(told.takeFirst(), QVariantList{ on });
        }
        // The palette picks the hint's blue: the host's theme first, then the page's own.
        const char* dark = "color: rgba(56,111,251,255);";
        for (auto [target, lightness, sheet] : { std::tuple<QWidget*, int, const char*>(&host, 40, dark),
                                                 { page, 230, "color: rgba(50,95,201,255);" }, { page, 40, dark } }) {
            QPalette palette = target->palette();
            palette.setColor(QPalette::Window, QColor(lightness, lightness, lightness));
            target->setPalette(palette);
            if (target == &host)
                QEXPECT_FAIL("", "the page's style sheet keeps a shown page from inheriting the host's palette", Continue);
            QCOMPARE(hint->styleSheet(), QString(sheet));
        }
    }

    void translation_data()
    {
        QTest::addColumn<QString>("countryFile"); // qm/…_de_DE.qm: "real", "broken" or none
        QTest::addColumn<QString>("languageFile"); // qm/…_de.qm
        QTest::newRow("language file only") << QString() << "real";
        QTest::newRow("country file only") << "real" << QString();
        QTest::newRow("broken country file, language file") << "broken" << "real";
        QTest::newRow("no translation") << QString() << QString();
    }

    void translation()
    {
        QFETCH(QString, countryFile);
        QFETCH(QString, languageFile);
        const QString real = qEnvironmentVariable("KEL_RUNTIME_DIR") + "/qm/tabextensionadvtrigger_de.qm";
        QTranslator german;
        const bool translated = countryFile == "real" || languageFile == "real";
        if (translated && !german.load(real))
            QSKIP(qPrintable("no compiled German translation at " + real));

        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("qm"));
        for (auto [kind, suffix] : { std::pair(countryFile, "de_DE"), std::pair(languageFile, "de") }) {
            QFile file(dir.filePath("qm/tabextensionadvtrigger_" + QString(suffix) + ".qm"));
            if (!kind.isEmpty())
                QVERIFY(kind == "real" ? QFile::copy(real, file.fileName())
                                       : file.open(QIODevice::WriteOnly) && file.write("not a translation") > 0);
        }

        // QLocale::system() is fixed at start-up: ask a fresh process.
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "LC_ALL", "LC_MESSAGES" })
            environment.remove(name);
        environment.insert("LANG", "de_DE.UTF-8");
        environment.insert(ProbeVariable, "1");
        probe.setProcessEnvironment(environment);
        probe.setWorkingDirectory(dir.path());
        probe.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(probe.waitForFinished(120000));
        const QByteArray errors = probe.readAllStandardError();
        QVERIFY2(probe.exitStatus() == QProcess::NormalExit, errors.constData());
        const QString title = translated ? german.translate("AdvTriggerWidget", "Trigger IO") : "Trigger IO";
        QVERIFY(translated == (title != "Trigger IO"));
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()), "de_DE\n" + title + '\n');
        QVERIFY2(probe.exitCode() == 0, errors.constData()); // a sanitizer's leak report, too
    }

private:
    std::shared_ptr<KelCPP::Sim::SimCamera> camera;
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
