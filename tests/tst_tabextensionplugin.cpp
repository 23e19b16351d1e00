// The plug-in as the viewer meets it: the real library, loaded by path.

#include "plugin/tabextensioninterface.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPluginLoader>
#include <QPushButton>
#include <QtTest>

namespace {

using Features = QSharedPointer<QVector<std::shared_ptr<KelCPP::Feature>>>;

Features CameraFeatures(const QString& file)
{
    static std::vector<std::shared_ptr<KelCPP::Sim::SimCamera>> cameras; // outlive every page
    cameras.push_back(TestSupport::OpenCamera(file));
    KelCPP::FeaturePtrVector features;
    cameras.back()->GetFeatures(features);
    return Features::create(features.begin(), features.end());
}

const QString Library = qEnvironmentVariable("KEL_RUNTIME_DIR") + "/plugins/libtabextensionadvtrigger.so";
const QMap<QString, QVariant> Options{ { "connectWidgetToSignal", QByteArray(SIGNAL(streamingChanged(bool))) } };

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

private slots:
    void initTestCase()
    {
        loader.setFileName(Library);
        plugin = qobject_cast<TabExtensionInterface*>(loader.instance());
        QVERIFY2(plugin, qPrintable(loader.errorString()));
    }

    void metadataBlock()
    {
        QFile file(Library);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const int at = bytes.indexOf("QTMETADATA !");
        QVERIFY(at >= 0);
        const QByteArray block = QByteArray("\x00\x05\x0f\x00\xbf\x02", 6) + "\x75TabExtensionInterface"
                                 + "\x03\x72TabExtensionPlugin\xff";
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
        QCOMPARE(plugin->CreateTabWidget(CameraFeatures(file), tab, withOptions ? &Options : nullptr), result);
        QVERIFY(!plugin->QueryExtension1());
        QVERIFY(!plugin->QueryExtension2());
        if (result != 0) {
            QVERIFY(!tab->layout());
            QVERIFY(tab->children().isEmpty()); // nothing of the refused page is left
            return;
        }
        // The page, and to its right the hidden hint at the top.
        auto* row = qobject_cast<QHBoxLayout*>(tab->layout());
        QVERIFY(row && row->count() == 2 && row->itemAt(1)->layout());
        QCOMPARE(row->itemAt(0)->widget()->objectName(), QStringLiteral("AdvTriggerWidget"));
        auto* hint = qobject_cast<QLabel*>(row->itemAt(1)->layout()->itemAt(0)->widget());
        QVERIFY(hint && hint->parent() == tab && hint->isHidden());
        QVERIFY(row->itemAt(1)->layout()->itemAt(1)->spacerItem());
        QCOMPARE(hint->text(), QStringLiteral("Please use the Advanced Trigger Dialog."));
        QCOMPARE(hint->alignment(), Qt::Alignment(Qt::AlignCenter));
        QCOMPARE(hint->styleSheet(), QStringLiteral("font: bold 10px;"));
        QCOMPARE(tab->accessibleName(), QStringLiteral("Trigger IO"));
    }

    void hostAndPageTalk()
    {
        Host host;
        auto* tab = new QWidget(&host);
        QCOMPARE(plugin->CreateTabWidget(CameraFeatures("full.json"), tab, &Options), 0);
        auto* page = tab->findChild<QWidget*>("AdvTriggerWidget");
        auto* hint = tab->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly).value(0);
        auto* presets = page->findChild<QComboBox*>("cmbSelectPreset");
        auto* acquiring = page->findChild<QLabel*>("lbl_notAcquireHint");
        host.show();
        for (bool on : { true, false }) {
            emit host.streamingChanged(on);
            QCOMPARE(presets->isEnabled(), !on);
            QCOMPARE(acquiring->isVisible(), on);
            QVERIFY(QMetaObject::invokeMethod(page, "dialogWindowDisplayed", Q_ARG(bool, on)));
            QCOMPARE(hint->isVisible(), on);
        }
        // The real hand-over: the page steps aside while its dialog is open.
        page->findChild<QPushButton*>("btnAdvancedDialog")->click();
        auto* dialog = page->findChild<QDialog*>();
        QVERIFY(dialog && hint->isVisible() && !page->isVisible());
        dialog->reject();
        QVERIFY(!hint->isVisible() && page->isVisible());
    }

    void rootIsRecreatedAfterDeletion()
    {
        delete loader.instance(); // a host may do this; the next request builds a new root
        plugin = qobject_cast<TabExtensionInterface*>(loader.instance());
        QVERIFY(plugin);
        QWidget tab;
        QCOMPARE(plugin->CreateTabWidget(CameraFeatures("full.json"), &tab, nullptr), 0);
    }

private:
    QPluginLoader loader;
    TabExtensionInterface* plugin = nullptr;
};

QTEST_MAIN(TestTabExtensionPlugin)
#include "tst_tabextensionplugin.moc"
