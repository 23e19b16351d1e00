#include "widgets/advtriggerbase.h"

#include "features/featuremanager.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QtTest>
#include <QtWidgets>

using KelCPP::Sim::Op;
using KelCPP::Sim::SimCamera;

namespace {

// userEdit's wheel inputs, instead of a key.
constexpr int wheel = -1, focusedWheel = -2;

const QByteArray description = R"({ "format": 1, "features": [
  { "name": "DeviceVendorName", "type": "String", "value": "Brennix" },
  { "name": "TriggerSelector", "type": "Enumeration", "entries": [ "FrameStart", "AcquisitionStart" ] },
  { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": [ "Off", "On" ] },
  { "name": "TriggerSource", "type": "Enumeration", "selectedBy": "TriggerSelector",
    "entries": [ "Software", "Line0", "Line1" ], "value": "Line0" },
  { "name": "TriggerDelay", "type": "Float", "selectedBy": "TriggerSelector", "max": 1000, "inc": 0.5, "value": 12 },
  { "name": "TriggerSoftware", "type": "Command", "selectedBy": "TriggerSelector" },
  { "name": "AcquisitionFrameCount", "type": "Integer", "max": 1000, "inc": 4, "value": 8 },
  { "name": "ExposureTime", "type": "Float", "max": 10000000, "inc": 1, "value": 2 },
  { "name": "ExposureMode", "type": "Enumeration", "value": "TriggerWidth",
    "entries": [ "Timed", { "name": "TriggerWidth", "availableWhen": { "PtpEnable": true } } ] },
  { "name": "ActionGroupKey", "type": "Integer", "representation": "HexNumber", "max": 4294967295 },
  { "name": "ActionDeviceKey", "type": "Integer", "representation": "HexNumber", "access": "WO", "max": 4294967295 },
  { "name": "PtpEnable", "type": "Boolean" }, { "name": "CounterDuration", "type": "Integer" },
  { "name": "DeviceTemperature", "type": "Float", "access": "RO", "min": -50, "max": 150, "value": 40.5 },
  { "name": "LineSelector", "type": "Enumeration", "entries": [ "Line0", "Line1", "Line2" ] },
  { "name": "LineMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": [ "Input", "Output" ] },
  { "name": "LineSource", "type": "Enumeration", "selectedBy": "LineSelector", "entries": [ "Off", "ExposureActive" ] },
  { "name": "LineStatus", "type": "Boolean", "access": "RO", "selectedBy": "LineSelector" } ] })";


// What a widget shows: its user property (the current text, the value, the check).
QVariant Shown(QWidget* w) { return w->metaObject()->userProperty().read(w); }

// A form as the views build theirs, in a scroll area taller than the window.
class Form : public AdvTriggerBase
{
public:
    Form(SimCamera* camera) : AdvTriggerBase(TestSupport::CameraFeatures(*camera), nullptr), camera(camera)
    {
        nonFeatureWidgets << "cmbSelectPreset" << "btnApplyPreset";
        auto* page = new QWidget;
        page->setMinimumHeight(3000);
        auto* layout = new QVBoxLayout(page);
        auto add = [layout](auto* w, const char* name) { w->setObjectName(name); layout->addWidget(w); return w; };
        for (const char* name : { "cmbTriggerSelector", "cmbTriggerMode", "cmbTriggerSource", "cmbExposureMode",
                                  "cmbTriggerActivation", "cmbSelectPreset", "cmbLine2_LineSource" })
            add(new QComboBox, name);
        for (const char* name : { "txtExposureTime", "txtActionGroupKey", "txtActionDeviceKey" })
            add(new QLineEdit, name);
        add(new QDoubleSpinBox, "spbTriggerDelay")->setSingleStep(0.25); // both off the camera's grid
        add(new QSpinBox, "spbAcquisitionFrameCount")->setSingleStep(3);
        add(new QDoubleSpinBox, "spbDeviceTemperature");
        add(new QCheckBox, "chkPtpEnable");
        for (const char* name : { "btnTriggerSoftware", "btnApplyPreset" })
            add(new QPushButton, name);
        scrollArea = new QScrollArea;
        scrollArea->setWidget(page);
        scrollArea->setWidgetResizable(true);
        (new QVBoxLayout(this))->addWidget(scrollArea);
        resize(320, 240);
    }
    void UpdateChangedFeatures() override { if (!changedFeatures->isEmpty()) RefreshFeatureWidgets(); }
    void ApplyColorScheme() override {}
    void SetCustomPreset() override { presetCalls << int(camera->CallLog().size()); }

    template <class W = QWidget> W* Widget(const QString& name) const { return findChild<W*>(name); }
    FeatureManager* Manager() { return featureManager; }
    // A change on the camera's side: the widgets learn of it at the next refresh.
    void Write(const QString& name, const QVariant& value)
    {
        QVERIFY(value.userType() == QMetaType::QString ? featureManager->SetValue(name, value.toString()) == value.toString()
                                                       : featureManager->SetValue(name, value.toDouble()) == value.toDouble());
    }
    // A refresh tick after the camera reported `changed`.
    void Refresh(const QStringList& changed)
    {
        *changedFeatures = changed;
        QMetaObject::invokeMethod(this, "updateTimer");
    }
    using BaseTabPluginWidget::observedFeatures, BaseTabPluginWidget::refreshTimer, AdvTriggerBase::ActivateTooltips;

    SimCamera* camera;
    QScrollArea* scrollArea;
    QList<int> presetCalls; // the camera's call-log length at each call
};

} // namespace

class TestAdvTriggerBase : public QObject
{
    Q_OBJECT
    std::shared_ptr<SimCamera> camera;
    std::unique_ptr<Form> form;

private slots:
    // A comma locale throughout: numbers are shown and typed with a decimal comma, as in the spin boxes.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void init()
    {
        QVERIFY(camera = TestSupport::CameraFromJson(description));
        form.reset(new Form(camera.get()));
        camera->SetCallLogEnabled(true);
        form->BindFeatureWidgets();
        QVERIFY(camera->CallLog().empty() && form->presetCalls.isEmpty()); // binding only reads
    }
    void cleanup() { QToolTip::hideText(); form.reset(); }

    void binding()
    {
        for (const char* name : { "TriggerSource", "TriggerDelay", "AcquisitionFrameCount", "PtpEnable", "ActionDeviceKey" })
            QVERIFY2(form->observedFeatures.contains(name), name);
        for (const char* name : { "TriggerActivation", "SelectPreset", "Line2_LineSource", "TriggerSoftware" })
            QVERIFY2(!form->observedFeatures.contains(name), name);
        // Missing features, a read-only one, and the software trigger while the source is Line0.
        for (const char* name : { "cmbTriggerActivation", "cmbLine2_LineSource", "spbDeviceTemperature", "btnTriggerSoftware" })
            QVERIFY2(!form->Widget(name)->isEnabled(), name);
        QVERIFY(form->Widget("cmbSelectPreset")->isEnabled() && form->Widget("btnApplyPreset")->isEnabled());
        QVERIFY(form->Widget("spbTriggerDelay")->findChild<QLineEdit*>()->isEnabled());
        QCOMPARE(Shown(form->Widget("txtActionGroupKey")), QVariant("0x0"));
        QCOMPARE(Shown(form->Widget("txtActionDeviceKey")), QVariant("")); // write-only
        // The current entry is not available now: only the others, none selected.
        QCOMPARE(form->Widget<QComboBox>("cmbExposureMode")->count(), 1);
        QCOMPARE(form->Widget<QComboBox>("cmbExposureMode")->currentIndex(), -1);
    }

    void refresh_data()
    {
        QTest::addColumn<QString>("feature");
        QTest::addColumn<QVariant>("cameraValue"); // written on the camera side first, when valid
        QTest::addColumn<QVariant>("announced");   // invalid: no FeatureChanged
        QTest::addColumn<bool>("enabled");
        QTest::newRow("combo box") << "TriggerMode" << QVariant("On") << QVariant("On") << true;
        QTest::newRow("double spin box") << "TriggerDelay" << QVariant(12.5) << QVariant(12.5) << true;
        QTest::newRow("spin box") << "AcquisitionFrameCount" << QVariant(16) << QVariant(16.0) << true;
        QTest::newRow("check box") << "PtpEnable" << QVariant(true) << QVariant(1.0) << true;
        QTest::newRow("hex line edit") << "ActionGroupKey" << QVariant(255) << QVariant("0xFF") << true;
        QTest::newRow("six digits") << "ExposureTime" << QVariant(1234567.0) << QVariant("1,23457e+06") << true;
        QTest::newRow("read-only") << "DeviceTemperature" << QVariant() << QVariant(40.5) << false;
        QTest::newRow("unreadable line edit keeps its text") << "ActionDeviceKey" << QVariant() << QVariant() << true;
        QTest::newRow("no widget: enumeration") << "LineMode" << QVariant("Output") << QVariant("Output") << true;
        QTest::newRow("no widget: integer") << "CounterDuration" << QVariant(7) << QVariant(7.0) << true;
        QTest::newRow("line status") << "LineStatus" << QVariant() << QVariant() << true;
    }
    void refresh()
    {
        QFETCH(QString, feature);
        QFETCH(QVariant, cameraValue);
        QFETCH(QVariant, announced);
        QFETCH(bool, enabled);
        if (cameraValue.isValid())
            form->Write(feature, cameraValue);
        camera->ClearCallLog();
        const auto widgets = form->findChildren<QWidget*>(QRegularExpression("^[a-z]{3}" + feature + "$"));
        for (QWidget* w : widgets) {
            w->setEnabled(!enabled);
            if (auto* edit = qobject_cast<QLineEdit*>(w))
                edit->setText("0x12");
        }
        QSignalSpy spy(form.get(), &AdvTriggerBase::FeatureChanged);
        form->Refresh({ feature });
        const QList<QVariantList> expected = announced.isValid() ? QList<QVariantList>{ { feature, announced } }
                                                                 : QList<QVariantList>();
        QCOMPARE(spy, expected);
        QVERIFY(spy.isEmpty() || spy.at(0).at(1).userType() == announced.userType()); // text or number
        for (QWidget* w : widgets) {
            QCOMPARE(w->isEnabled(), enabled);
            QCOMPARE(Shown(w), announced.isValid() ? announced : QVariant("0x12"));
        }
        QVERIFY(camera->CallLog().empty() && form->presetCalls.isEmpty());
    }

    void softwareTriggerFollowsTheSource()
    {
        auto* button = form->Widget<QPushButton>("btnTriggerSoftware");
        for (const char* source : { "Software", "Line1" }) {
            form->Write("TriggerSource", source);
            form->Refresh({ "TriggerSource" });
            QCOMPARE(button->isEnabled(), source == QLatin1String("Software"));
            camera->ClearCallLog();
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(camera->CallLog().size(), std::size_t(button->isEnabled())); // the command, nothing written
        }
        QCOMPARE(camera->CallCount("TriggerSoftware", Op::RunCommand), std::uint64_t(1));
        QVERIFY(form->presetCalls.isEmpty()); // a command is not a setting
    }

    void statusTreeFollowsATrigger()
    {
        QTreeView tree;
        form->AttachStatusTree(&tree);
        QAbstractItemModel* model = tree.model();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto group = [model] { // the one trigger row: "Trigger <entry>", or "Trigger" when inactive
            const auto rows = model->match(model->index(0, 0), Qt::DisplayRole, "Trigger", -1, Qt::MatchStartsWith);
            return rows.size() == 1 ? rows.at(0) : QModelIndex();
        };
        QCOMPARE(group().siblingAtColumn(1).data(), QVariant("inactive"));
        form->Write("TriggerSelector", "AcquisitionStart");
        form->Write("TriggerMode", "On");
        // Selectors first: the mode is shown in the group of the entry selected now.
        form->Refresh({ "TriggerMode", "TriggerSelector" });
        QCOMPARE(group().data(), QVariant("Trigger AcquisitionStart"));
        QCOMPARE(group().siblingAtColumn(1).data(), QVariant("On"));
        QVERIFY(model->rowCount(group()) > 0 && tree.isExpanded(group()));
        form->Write("TriggerMode", "Off");
        form->Refresh({ "TriggerMode" });
        QCOMPARE(group().data(), QVariant("Trigger"));
        QCOMPARE(group().siblingAtColumn(1).data(), QVariant("inactive"));
    }

    void userEdit_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("typed"); // line edits: replaces their text
        QTest::addColumn<int>("key");       // or a wheel turned down one notch over the widget
        // As the camera logs them. A refused float is written once more by the
        // feature manager, with the value read back.
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QVariant>("shown");
        const int down = Qt::Key_Down, enter = Qt::Key_Return;
        QTest::newRow("combo box") << "cmbTriggerSource" << "" << down << QStringList{ "Line1" } << QVariant("Line1");
        QTest::newRow("check box") << "chkPtpEnable" << "" << int(Qt::Key_Space) << QStringList{ "true" } << QVariant(1.0);
        QTest::newRow("integer put on the grid") << "spbAcquisitionFrameCount" << "" << down << QStringList{ "4" } << QVariant(4.0);
        QTest::newRow("double refused") << "spbTriggerDelay" << "" << down << QStringList{ "11.75", "12" } << QVariant(12.0);
        QTest::newRow("float text refused") << "txtExposureTime" << "2,5" << enter << QStringList{ "2.5", "2" } << QVariant("2");
        QTest::newRow("cleared text writes 0") << "txtExposureTime" << "" << enter << QStringList{ "0" } << QVariant("0");
        QTest::newRow("hex text") << "txtActionGroupKey" << "0x1f" << enter << QStringList{ "31" } << QVariant("0x1F");
        QTest::newRow("lone 0x is not finished") << "txtActionGroupKey" << "0x" << enter << QStringList() << QVariant("0x");
        // Scrolling the page never changes a value by accident.
        QTest::newRow("wheel on a focused spin box") << "spbAcquisitionFrameCount" << "" << focusedWheel << QStringList{ "4" } << QVariant(4.0);
        QTest::newRow("wheel over a combo box scrolls the page") << "cmbTriggerSource" << "" << wheel << QStringList() << QVariant("Line0");
        QTest::newRow("wheel over a spin box scrolls the page") << "spbAcquisitionFrameCount" << "" << wheel << QStringList() << QVariant(8.0);
        QTest::newRow("wheel over a double spin box scrolls the page") << "spbTriggerDelay" << "" << wheel << QStringList() << QVariant(12.0);
    }
    void userEdit()
    {
        QFETCH(QString, widget);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QStringList, written);
        QWidget* target = form->Widget(widget);
        if (key == wheel || key == focusedWheel) {
            form->show();
            form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(form.get()));
            form->refreshTimer->stop(); // the refreshes are left to the test
            (key == focusedWheel ? target : form->Widget("btnApplyPreset"))->setFocus();
            const QPoint pos = target->rect().center();
            QWheelEvent event(pos, target->mapToGlobal(pos), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QSpontaneKeyEvent::setSpontaneous(&event); // only the window system's wheel travels up to the parents
            qApp->notify(target, &event);
            QCOMPARE(form->scrollArea->verticalScrollBar()->value() > 0, key == wheel);
            QCOMPARE(target->hasFocus(), key == focusedWheel);
        } else if (auto* edit = qobject_cast<QLineEdit*>(target)) {
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Backspace);
            QTest::keyClicks(edit, typed);
        }
        if (key > 0)
            QTest::keyClick(target, Qt::Key(key));
        QStringList log;
        for (const KelCPP::Sim::CallRecord& record : camera->CallLog())
            log << QString::fromStdString(record.feature + "=" + record.value);
        for (QString& value : written)
            value.prepend(widget.mid(3) + "=");
        QCOMPARE(log, written);
        QCOMPARE(form->presetCalls, written.isEmpty() ? QList<int>() : QList<int>{ log.size() }); // after the write
        QTEST(Shown(target), "shown");
    }

    void tooltip_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("informationOf"); // empty: the widget's own tip
        QTest::addColumn<bool>("shown");
        QTest::newRow("off: bound widget") << false << "cmbTriggerMode" << "" << false;
        QTest::newRow("off: not even a widget's own tip") << false << "cmbSelectPreset" << "" << false;
        QTest::newRow("on: bound widget") << true << "txtActionGroupKey" << "ActionGroupKey" << true;
        QTest::newRow("on: table cell") << true << "cmbLine2_LineSource" << "LineSource" << true;
        QTest::newRow("on: non-feature widget") << true << "cmbSelectPreset" << "" << true;
        QTest::newRow("on: missing feature") << true << "cmbTriggerActivation" << "" << false;
    }
    void tooltip()
    {
        QFETCH(bool, on);
        QFETCH(QString, widget);
        QFETCH(QString, informationOf);
        QWidget* target = form->Widget(widget);
        target->setToolTip("own tip");
        form->ActivateTooltips(on ? Qt::Checked : Qt::Unchecked);
        auto hover = [target] {
            QToolTip::hideText();
            QHelpEvent event(QEvent::ToolTip, target->rect().center(), target->mapToGlobal(target->rect().center()));
            QApplication::sendEvent(target, &event);
        };
        hover();
        const auto calls = camera->TotalCallCount();
        hover(); // the information is fetched once
        QCOMPARE(camera->TotalCallCount(), calls);
        QTEST(QToolTip::isVisible(), "shown");
        if (QToolTip::isVisible())
            QCOMPARE(QToolTip::text(), informationOf.isEmpty() ? "own tip" : form->Manager()->GetInformation(informationOf));
    }
};

QTEST_MAIN(TestAdvTriggerBase)
#include "tst_advtriggerbase.moc"
