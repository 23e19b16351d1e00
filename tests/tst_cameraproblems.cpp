// What the page shows when the camera fails: no value the camera does not
// hold passes for one (the widget is marked and the host's status line
// says what failed), and a dialog that cannot check the camera stays
// closed with a word to the user instead of ending the program.

#include "plugin/tabextensioninterface.h"
#include "widgets/advtriggerbase.h"
#include "testsupport.h"

#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPluginLoader>
#include <QPushButton>
#include <QToolTip>
#include <QtTest>

using KelCPP::Sim::Fault;
using KelCPP::Sim::Op;

namespace {

const QString Library = qEnvironmentVariable("KEL_RUNTIME_DIR") + "/plugins/libtabextensionadvtrigger.so";

// The full camera, with DeviceVendorName readable only while Line0 is the
// selected line: the page, whose table leaves the last line selected, can
// no longer tell the vendor once it is shown.
QByteArray VendorOnlyOnLine0()
{
    QFile file(TestSupport::CameraPath("full.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QJsonObject description = QJsonDocument::fromJson(file.readAll()).object();
    QJsonArray features = description["features"].toArray();
    for (int i = 0; i < features.size(); ++i) {
        QJsonObject feature = features[i].toObject();
        if (feature["name"] == "DeviceVendorName") {
            feature["availableWhen"] = QJsonObject{{"LineSelector", "Line0"}};
            features[i] = feature;
        }
    }
    description["features"] = features;
    return QJsonDocument(description).toJson();
}

QString Mark(const QWidget* widget)
{
    return widget->property("cameraFailure").toString();
}

QString HoverText(QWidget* widget)
{
    QToolTip::hideText();
    const QPoint centre = widget->rect().center();
    QHelpEvent event(QEvent::ToolTip, centre, widget->mapToGlobal(centre));
    QApplication::sendEvent(widget, &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// A view with one line edit for a 64-bit hex key.
class KeyView : public AdvTriggerBase
{
public:
    explicit KeyView(const CameraFeatureList& features) : AdvTriggerBase(features, nullptr)
    {
        edit->setObjectName("txtBigKey");
        BindFeatureWidgets();
    }
    void UpdateChangedFeatures() override {}
    void ApplyColorScheme() override {}
    void SetCustomPreset() override {}
    QLineEdit* edit = new QLineEdit(this);
};

} // namespace

class TestCameraProblems : public QObject
{
    Q_OBJECT

    QPluginLoader loader{Library};
    TabExtensionInterface* plugin = nullptr;
    std::shared_ptr<KelCPP::Sim::SimCamera> camera;
    std::unique_ptr<TestSupport::Host> host;
    QWidget* page = nullptr;

    // The page in a host tab, through the plug-in, shown and refreshed once.
    void Open(const std::shared_ptr<KelCPP::Sim::SimCamera>& cam)
    {
        camera = cam;
        QVERIFY(camera);
        host = std::make_unique<TestSupport::Host>();
        auto* tab = new QWidget(host.get());
        const QMap<QString, QVariant> options{{"connectWidgetToSignal", QByteArray(SIGNAL(streamingChanged(bool)))},
                                              {"connectStatusToSlot", QByteArray(SLOT(showStatus(QString)))}};
        QCOMPARE(plugin->CreateTabWidget(TestSupport::CameraFeatures(*camera), tab, &options), 0);
        page = tab->findChild<QWidget*>("AdvTriggerWidget");
        QVERIFY(page);
        host->show();
        Tick();
    }
    void Tick()
    {
        camera->WaitForNotifications();
        QCoreApplication::sendPostedEvents();
        QVERIFY(QMetaObject::invokeMethod(page, "updateTimer"));
    }
    template <typename Widget>
    Widget* Find(const char* name)
    {
        auto* widget = page->findChild<Widget*>(name);
        if (!widget)
            qWarning("no widget %s", name);
        return widget;
    }

private slots:
    void initTestCase()
    {
        plugin = qobject_cast<TabExtensionInterface*>(loader.instance());
        QVERIFY2(plugin, qPrintable(loader.errorString()));
    }
    void cleanup()
    {
        host.reset();
        camera.reset();
        for (QWidget* top : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(top))
                delete top;
    }

    void dialogThatCannotCheckTheCameraStaysClosed()
    {
        Open(TestSupport::CameraFromJson(VendorOnlyOnLine0()));
        Find<QPushButton>("btnAdvancedDialog")->click();
        QVERIFY(!page->findChild<QWidget*>("AdvTriggerDialog"));
        QVERIFY(page->isVisible());
        QMessageBox* box = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            box = box ? box : qobject_cast<QMessageBox*>(top);
        QVERIFY(box && box->isVisible());
        QVERIFY2(box->text().contains("DeviceVendorName"), qPrintable(box->text()));
        QCOMPARE(host->messages.size(), 1);
        // Once the camera tells its vendor again, the dialog opens.
        TestSupport::FindFeature(*camera, "LineSelector")->SetValue("Line0");
        Find<QPushButton>("btnAdvancedDialog")->click();
        QVERIFY(page->findChild<QWidget*>("AdvTriggerDialog"));
    }

    // How a failing camera shows: the widget is marked, says why when
    // hovered (tooltips off as they start), and the host hears of it once.
    void failuresAreMarked_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QStringList>("faults"); // "Feature.Op"
        QTest::addColumn<QString>("edit");       // the user's choice, or empty for a refresh
        QTest::addColumn<int>("shownIndex");     // a combo box's index afterwards; -2 not a combo box
        QTest::addColumn<QString>("mark");
        QTest::newRow("an unreadable value")
            << "spbTriggerDelay" << QStringList{"TriggerDelay.GetValue"} << "" << -2 << "Reading TriggerDelay failed: Other (-13)";
        QTest::newRow("a refused write shows what the camera holds")
            << "cmbTriggerMode" << QStringList{"TriggerMode.SetValue"} << "On" << 0 << "Writing TriggerMode failed: Other (-13)";
        QTest::newRow("a camera that cannot answer leaves no selection")
            << "cmbTriggerMode" << QStringList{"TriggerMode.SetValue", "TriggerMode.GetValue"} << "On" << -1
            << "Writing TriggerMode failed: Other (-13)";
        QTest::newRow("a line that cannot be selected: its cell shows nothing")
            << "cmbLine4_LineMode" << QStringList{"LineSelector.SetValue"} << "Output" << -1
            << "Writing LineSelector failed: Other (-13)";
        QTest::newRow("unreadable line levels: the LEDs keep their state, marked")
            << "lblLine0_LineStatus" << QStringList{"LineStatusAll.GetValue"} << "" << -2
            << "Reading LineStatusAll failed: Other (-13)";
    }
    void failuresAreMarked()
    {
        QFETCH(QString, widget);
        QFETCH(QStringList, faults);
        QFETCH(QString, edit);
        QFETCH(int, shownIndex);
        QFETCH(QString, mark);
        Open(TestSupport::OpenCamera("full.json"));
        QWidget* target = Find<QWidget>(qPrintable(widget));
        QVERIFY(Mark(target).isEmpty() && !target->graphicsEffect());

        for (const QString& fault : faults) {
            const Op op = fault.endsWith("SetValue") ? Op::SetValue : Op::GetValue;
            camera->InjectFault(fault.section('.', 0, 0).toStdString(), op, Fault::Always(KelCPP::KelError::Other));
        }
        if (edit.isEmpty()) {
            TestSupport::FindFeature(*camera, "TriggerDelay")->SetValue(0.0); // something to refresh
            Tick();
        } else {
            qobject_cast<QComboBox*>(target)->setCurrentText(edit);
        }
        if (shownIndex != -2)
            QCOMPARE(qobject_cast<QComboBox*>(target)->currentIndex(), shownIndex);
        QCOMPARE(Mark(target), mark);
        QVERIFY(target->graphicsEffect());
        QCOMPARE(HoverText(target), mark);
        QCOMPARE(host->messages, QStringList{mark});

        // The next access that succeeds clears the mark.
        camera->ClearFaults();
        if (edit.isEmpty()) {
            TestSupport::FindFeature(*camera, "TriggerDelay")->SetValue(5.0);
            Tick();
        } else {
            qobject_cast<QComboBox*>(target)->setCurrentText(edit);
        }
        QVERIFY(Mark(target).isEmpty() && !target->graphicsEffect());
    }

    // A double holds 53 bits; a hex key shows and takes all 64.
    void hexKeysKeepEveryDigit()
    {
        camera = TestSupport::CameraFromJson(R"({ "format": 1, "features": [
            { "name": "DeviceVendorName", "type": "String", "value": "Brennix" },
            { "name": "BigKey", "type": "Integer", "representation": "HexNumber", "value": 9007199254740993 } ] })");
        QVERIFY(camera);
        KeyView view(TestSupport::CameraFeatures(*camera));
        QCOMPARE(view.edit->text(), QString("0x20000000000001"));
        view.edit->setText("0x7FFFFFFFFFFFFFFD");
        emit view.edit->editingFinished();
        QCOMPARE(TestSupport::ValueText(TestSupport::FindFeature(*camera, "BigKey")), QString("9223372036854775805"));
        QCOMPARE(view.edit->text(), QString("0x7FFFFFFFFFFFFFFD"));
    }
};

QTEST_MAIN(TestCameraProblems)
#include "tst_cameraproblems.moc"
