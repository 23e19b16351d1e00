// The plug-in as the viewer meets it: the real library, loaded by path.

#include "plugin/tabextensioninterface.h"
#include "testsupport.h"

#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QPluginLoader>
#include <QPushButton>
#include <QtTest>

namespace {

// The features of a bundled camera that outlives every page.
CameraFeatureList Features(const QString& file)
{
    static std::vector<std::shared_ptr<KelCPP::Sim::SimCamera>> cameras;
    cameras.push_back(TestSupport::OpenCamera(file));
    return TestSupport::CameraFeatures(*cameras.back());
}

const QString Library = qEnvironmentVariable("KEL_RUNTIME_DIR") + "/plugins/libtabextensionadvtrigger.so";
const QMap<QString, QVariant> Options{{"connectWidgetToSignal", QByteArray(SIGNAL(streamingChanged(bool)))}};

// The viewer's window, as far as a page sees it.
class Host : public QWidget
{
    Q_OBJECT
signals:
    void streamingChanged(bool streaming);
};

} // namespace

class TestTabExtensionPlugin : public QObject
{
    Q_OBJECT

    QPluginLoader loader{Library};
    TabExtensionInterface* plugin = nullptr;

private slots:
    void initTestCase()
    {
        plugin = qobject_cast<TabExtensionInterface*>(loader.instance());
        QVERIFY2(plugin, qPrintable(loader.errorString()));
    }

    // What a host reads before it loads the library: interface and class name.
    void metadataBlock()
    {
        QFile file(Library);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const int at = bytes.indexOf("QTMETADATA !");
        const QByteArray block = QByteArray("\x00\x05\x0f\x00\xbf\x02", 6) + "\x75TabExtensionInterface" + "\x03\x72TabExtensionPlugin\xff";
        QCOMPARE(bytes.mid(at + 12, block.size()).toHex(' '), block.toHex(' '));
    }

    void createTabWidget_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("hosted");
        QTest::addColumn<bool>("withOptions");
        QTest::addColumn<int>("result");
        QTest::newRow("full camera") << "full.json" << true << true << 0;
        QTest::newRow("camera without inverter or debounce") << "basic.json" << true << true << 0;
        QTest::newRow("other vendor") << "othervendor.json" << true << true << 4;
        QTest::newRow("no LineMode") << "nolinemode.json" << true << true << 4;
        QTest::newRow("null options") << "full.json" << true << false << 0;
        QTest::newRow("tab without parent") << "full.json" << false << true << 0;
    }

    void createTabWidget()
    {
        QFETCH(QString, file);
        QFETCH(bool, hosted);
        QFETCH(bool, withOptions);
        QFETCH(int, result);
        Host host;
        QWidget orphan;
        QWidget* tab = hosted ? new QWidget(&host) : &orphan;
        QCOMPARE(plugin->CreateTabWidget(Features(file), tab, withOptions ? &Options : nullptr), result);
        if (result != 0) {
            QVERIFY(!tab->layout() && tab->children().isEmpty()); // nothing of the refused page is left
            // The host can say why (the viewer's suite checks the words).
            QVERIFY(!tab->property("refusalReason").toString().isEmpty());
            return;
        }
        // The page, and beside it the hidden hint.
        QCOMPARE(tab->layout()->indexOf(tab->findChild<QWidget*>("AdvTriggerWidget")), 0);
        auto* hint = tab->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly).value(0);
        QVERIFY(hint && hint->isHidden());
        QCOMPARE(hint->text(), QString("Please use the Advanced Trigger Dialog."));
        QCOMPARE(tab->accessibleName(), QString("Trigger IO"));
    }

    void hostAndPageTalk()
    {
        Host host;
        auto* tab = new QWidget(&host);
        QCOMPARE(plugin->CreateTabWidget(Features("full.json"), tab, &Options), 0);
        auto* page = tab->findChild<QWidget*>("AdvTriggerWidget");
        auto* hint = tab->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly).value(0);
        host.show();
        QSignalSpy told(page, SIGNAL(CamStreamingOn(bool)));
        emit host.streamingChanged(true);
        QCOMPARE(told.value(0), QVariantList{true});
        // The page steps aside for its dialog, and the hint takes its place.
        page->findChild<QPushButton*>("btnAdvancedDialog")->click();
        auto* dialog = page->findChild<QDialog*>();
        QVERIFY(dialog && hint->isVisible() && !page->isVisible());
        dialog->reject();
        QVERIFY(!hint->isVisible() && page->isVisible());
    }
};

QTEST_MAIN(TestTabExtensionPlugin)
#include "tst_tabextensionplugin.moc"
