#include "presets/presetapplier.h"

#include "presets/settingstreemodel.h"
#include "presetview.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using KelCPP::Sim::Fault;
using KelCPP::Sim::Op;

namespace {

// ExposureEnd cannot be chosen now, so "<all>" leaves it out.
const QByteArray description = R"json({ "format": 1, "features": [
  { "name": "DeviceVendorName", "type": "String", "value": "Brennix Vision Systems" },
  { "name": "TriggerSelector", "type": "Enumeration", "value": "AcquisitionStart", "entries": [ "FrameStart",
    "AcquisitionStart", "ExposureStart", { "name": "ExposureEnd", "availableWhen": { "PtpEnable": "true" } } ] },
  { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": [ "Off", "On" ] },
  { "name": "TriggerDelay", "type": "Float", "selectedBy": "TriggerSelector", "max": 1000 },
  { "name": "TriggerSoftware", "type": "Command", "selectedBy": "TriggerSelector" },
  { "name": "ExposureTime", "type": "Float", "min": 15, "max": 100000, "value": 5000 },
  { "name": "AcquisitionFrameCount", "type": "Integer", "max": 100, "inc": 4, "value": 8 },
  { "name": "PtpEnable", "type": "Boolean" },
  { "name": "DeviceTemperature", "type": "Float", "access": "RO", "max": 100, "value": 40 }
] })json";

const QByteArray viewPresets = R"json({ "#presets": [ "Custom", "Turn Off All", "Reset All", "Trigger On", "Wrong Case" ],
  "Custom": {}, "Turn Off All": { "TriggerMode": { "#value": "Off" } }, "Reset All": { "ExposureTime": { "#value": 4000 } },
  "Trigger On": { "TriggerMode": { "#value": "On" } }, "Wrong Case": { "TriggerMode": { "#value": "on" } } })json";

// The camera's writes and commands as "Feature=value @Selector=Entry (refused)"
// or "run Command ...".
QStringList Log(const KelCPP::Sim::SimCamera& camera, const std::string& leaveOut = "")
{
    QStringList lines;
    for (const KelCPP::Sim::CallRecord& record : camera.CallLog())
        if (record.feature != leaveOut)
            lines << QString::fromStdString((record.op == Op::RunCommand ? "run " + record.feature : record.feature + "=" + record.value)
                                            + (record.context.empty() ? "" : " @" + record.context)
                                            + (record.result == KelCPP::KelError::Success ? "" : " (refused)"));
    return lines;
}

QVariantMap Body(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object().toVariantMap();
}

// The status tree's groups as "group/entry".
QStringList TopRows(const QAbstractItemModel* model)
{
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows << model->index(row, 0).data().toString() + '/' + model->index(row, 1).data().toString();
    return rows;
}

} // namespace

class TestPresetApplier : public QObject
{
    Q_OBJECT

    std::shared_ptr<KelCPP::Sim::SimCamera> camera;
    std::unique_ptr<FeatureManager> manager;
    PresetsDir dir;

private slots:
    void initTestCase() { dir.Write("AdvTrigger_Presets.json", viewPresets); }

    void init()
    {
        camera = TestSupport::CameraFromJson(description);
        manager = std::make_unique<FeatureManager>(TestSupport::WrapFeatures(*camera));
    }

    void apply_data(); // out of line: moc cannot read the raw strings

    void apply()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, refuseOnce);
        for (Op op : {Op::SetValue, Op::RunCommand})
            if (!refuseOnce.isEmpty())
                camera->InjectFault(refuseOnce.toStdString(), op, Fault::Once(KelCPP::KelError::Other));
        camera->SetCallLogEnabled(true);
        QTEST(PresetApplier(manager.get()).Apply(QJsonDocument::fromJson(body).object().toVariantMap()), "errors");
        QTEST(Log(*camera), "log");
    }

    void selectPreset_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<bool>("refuseFirstWrite");
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("shown"); // the box's text afterwards
        const QString off = "TriggerMode=Off @TriggerSelector=AcquisitionStart";
        const QString wrongCase = "TriggerMode=on @TriggerSelector=AcquisitionStart (refused)";
        const QString box = "Error(s) on setting the preset:\n\n  Failed to set TriggerMode = %1, Current value: '%2'\n";
        QTest::newRow("Custom writes nothing") << "Custom" << false << QStringList() << QStringList() << "Custom";
        QTest::newRow("Reset All without Turn Off All") << "Reset All" << false << QStringList{"ExposureTime=4000"} << QStringList()
                                                        << "Reset All";
        QTest::newRow("failures in one box, then Custom shown") << "Wrong Case" << false << QStringList{off, wrongCase}
                                                                << QStringList{box.arg("on", "Off")} << "Custom";
        QTest::newRow("failures of Turn Off All in a box of their own")
            << "Wrong Case" << true << QStringList{off + " (refused)", wrongCase} << QStringList{box.arg("Off", "On"), box.arg("on", "On")}
            << "Custom";
        QTest::newRow("only Turn Off All failed: Custom shown all the same")
            << "Trigger On" << true << QStringList{off + " (refused)", "TriggerMode=On @TriggerSelector=AcquisitionStart"}
            << QStringList{box.arg("Off", "On")} << "Custom";
    }

    // Also that the status tree is rebuilt afterwards.
    void selectPreset()
    {
        QFETCH(QString, preset);
        QFETCH(bool, refuseFirstWrite);
        PresetView view(TestSupport::CameraFeatures(*camera), dir.Path());
        manager->SetValue("TriggerMode", QString("On")); // unheard of by the view: only a rebuilt status tree shows it
        QVERIFY(TopRows(view.tree->model()) != TopRows(SettingsTreeModel(manager.get(), nullptr).ItemModel()));
        if (refuseFirstWrite)
            camera->InjectFault("TriggerMode", Op::SetValue, Fault::Once(KelCPP::KelError::Other));
        camera->SetCallLogEnabled(true);
        BoxCloser closer;
        view.presetBox->setCurrentText(preset);
        QTEST(Log(*camera, "TriggerSelector"), "writes");
        QTEST(closer.texts, "boxes");
        for (const QString& title : closer.titles)
            QCOMPARE(title, "Select preset: " + preset);
        QTEST(view.presetBox->currentText(), "shown");
        QCOMPARE(TopRows(view.tree->model()), TopRows(SettingsTreeModel(manager.get(), nullptr).ItemModel()));
    }

    void lacks_data();

    // From the camera's description alone: no device access.
    void lacks()
    {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, optional);
        const std::uint64_t before = camera->DeviceAccessCount();
        QStringList found;
        for (const PresetApplier::Lack& lack : PresetApplier(manager.get()).Lacks(Body(body), optional))
            found << (lack.featureMissing ? lack.feature : lack.feature + '/' + lack.entry);
        QTEST(found, "lacking");
        QCOMPARE(camera->DeviceAccessCount(), before);
    }

    void check_data();

    // A dry run moves selectors only, and puts each one back.
    void check()
    {
        QFETCH(QByteArray, body);
        camera->SetCallLogEnabled(true);
        QTEST(PresetApplier(manager.get()).Check(Body(body), {"Optional"}), "report");
        QTEST(Log(*camera), "writes");
    }

    void firstManualEditSwitchesToCustomOnce()
    {
        PresetView view(TestSupport::CameraFeatures(*camera), dir.Path());
        QSignalSpy picked(view.presetBox, qOverload<int>(&QComboBox::currentIndexChanged));
        view.presetBox->setCurrentText("Trigger On");
        view.modeBox->setCurrentText("On"); // the view is never refreshed: its box still shows Off
        QCOMPARE(view.presetBox->currentText(), QString("Custom"));
        view.modeBox->setCurrentText("Off");
        QCOMPARE(picked.count(), 2);
    }
};

void TestPresetApplier::apply_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("errors");
    QTest::addColumn<QString>("refuseOnce"); // a feature whose first write or run the camera refuses
    auto row = [](const QByteArray& name, const QByteArray& body, const QStringList& log, const QString& errors = "",
                  const QString& refuseOnce = "") { QTest::newRow(name.constData()) << body << log << errors << refuseOnce; };
    auto all = [](const char* value) { return QString(R"({"TriggerSelector": {"#value": "%1", "TriggerMode": "On"}})").arg(value).toUtf8(); };
    const QString at = " @TriggerSelector=", failed = "  Failed to set %1 = %2, Current value: '%3'\n";
    QStringList walk;
    for (const char* entry : {"FrameStart", "AcquisitionStart", "ExposureStart"})
        walk << QString("TriggerSelector=") + entry << "TriggerMode=On" + at + entry;

    row("key order, #execute last", R"({"#execute": "TriggerSoftware", "TriggerDelay": {"#value": 5}, "ExposureTime": {"#value": 100}})",
        {"ExposureTime=100", "TriggerDelay=5" + at + "AcquisitionStart", "run TriggerSoftware" + at + "AcquisitionStart"});
    row("<all>: every available entry, then the earlier one back", all("<all>"), walk + QStringList{"TriggerSelector=AcquisitionStart"});
    row("<all>_X: the selector left at X, unreported if refused", all("<all>_Bogus"), walk + QStringList{"TriggerSelector=Bogus (refused)"});
    row("<all>: a refused selector value skips only its own dependents", all("<all>"),
        QStringList{"TriggerSelector=FrameStart (refused)"} + walk.mid(2) + QStringList{"TriggerSelector=AcquisitionStart"},
        failed.arg("TriggerSelector", "FrameStart", "AcquisitionStart"), "TriggerSelector");
    QStringList refusedMode = walk;
    refusedMode[1] += " (refused)";
    row("a refused selected feature names the selector value", all("<all>"), refusedMode + QStringList{"TriggerSelector=AcquisitionStart"},
        failed.arg("TriggerMode", "On", "Off") + "    for TriggerSelector = FrameStart\n", "TriggerMode");
    row("list form: in order, a refused #value skips that element only",
        R"({"TriggerSelector": [{"#value": "<all>", "TriggerMode": "On"}, {"TriggerMode": "On", "#value": "ExposureStart", "TriggerDelay": 7}]})",
        {"TriggerSelector=<all> (refused)", "TriggerSelector=ExposureStart", "TriggerDelay=7" + at + "ExposureStart",
         "TriggerMode=On" + at + "ExposureStart"},
        failed.arg("TriggerSelector", "<all>", "AcquisitionStart"));
    row("missing and read-only features skipped silently, not their dependents",
        R"({"NoSuchSelector": {"#value": "X", "ExposureTime": 20}, "DeviceTemperature": {"#value": 5, "AcquisitionFrameCount": 12}})",
        {"AcquisitionFrameCount=12", "ExposureTime=20"});
    row("a refused command reported after every write", R"({"#execute": "TriggerSoftware", "TriggerMode": {"#value": "on"}})",
        {"TriggerMode=on" + at + "AcquisitionStart (refused)", "run TriggerSoftware" + at + "AcquisitionStart (refused)"},
        failed.arg("TriggerMode", "on", "Off") + "  Executing 'TriggerSoftware' failed.", "TriggerSoftware");
    row("<max> of an integer, <min> of a float", R"({"AcquisitionFrameCount": {"#value": "<max>"}, "ExposureTime": {"#value": "<min>"}})",
        {"AcquisitionFrameCount=100", "ExposureTime=15"});
    row("clamped to the range, no failure", R"({"AcquisitionFrameCount": {"#value": 500}, "ExposureTime": {"#value": -3}})",
        {"AcquisitionFrameCount=100", "ExposureTime=15"});
    for (auto [json, on] : std::initializer_list<std::pair<QByteArray, bool>>{{R"("FALSE")", false}, {R"("no")", true}, {"0", false}, {"2", true}})
        row("boolean from " + json, R"({"PtpEnable": {"#value": )" + json + "}}", {on ? "PtpEnable=true" : "PtpEnable=false"});
}

void TestPresetApplier::lacks_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("optional");
    QTest::addColumn<QStringList>("lacking"); // "Feature", or "Feature/entry"
    auto row = [](const char* name, const QByteArray& body, const QStringList& lacking, const QStringList& optional = {}) {
        QTest::newRow(name) << body << optional << lacking;
    };
    row("misspelled features, selected or not", R"({"TrigerMode": {"#value": "On"}, "TriggerSelector": {"#value": "FrameStart", "TrigerDelay": 5}})",
        {"TrigerMode", "TrigerDelay"});
    row("entries of enumerations, as value or selected", R"({"TriggerSelector": {"#value": "FrameEnd", "TriggerMode": "on", "TriggerDelay": "x"}})",
        {"TriggerSelector/FrameEnd", "TriggerMode/on"});
    row("an entry not available now is still the camera's", R"({"TriggerSelector": {"#value": "ExposureEnd"}})", {});
    row("<all> names no entry, <all>_X names X", R"({"TriggerSelector": {"#value": "<all>_Bogus", "TriggerMode": "On"}})",
        {"TriggerSelector/Bogus"});
    row("optional features, and what is set for an optional selector the camera lacks",
        R"({"CounterSelector": {"#value": "Counter0", "CounterEventSource": "Line1"}, "LineInverter": {"#value": true}})", {},
        {"CounterSelector", "LineInverter"});
    row("optional excuses absence only", R"({"TriggerMode": {"#value": "Of"}})", {"TriggerMode/Of"}, {"TriggerMode"});
    row("a missing command, even if listed", R"({"#execute": "CounterReset"})", {"CounterReset"}, {"CounterReset"});
}

void TestPresetApplier::check_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("report");
    QTest::addColumn<QStringList>("writes");
    const QString back = "TriggerSelector=AcquisitionStart";
    QTest::newRow("in order, with what the camera would make of each value")
        << QByteArray(R"({"#execute": "NoCommand", "AcquisitionFrameCount": {"#value": 7}, "DeviceTemperature": {"#value": 5},
                         "TriggerSelector": {"#value": "FrameStart", "TriggerDelay": 5000, "TriggerMode": "on", "TrigerMode": "On"}})")
        << QStringList{"  AcquisitionFrameCount = 7",
                       "    ! not a multiple of the increment 4: the camera would hold another value",
                       "  DeviceTemperature = 5",
                       "    ! not writable now: skipped (unless an earlier setting of this preset changes that)",
                       "  TriggerSelector = FrameStart",
                       "    TrigerMode = On",
                       "      ! no such feature on this camera: skipped",
                       "    TriggerDelay = 5000",
                       "      ! outside 0 to 1000: 1000 would be written",
                       "    TriggerMode = on",
                       "      ! no entry \"on\"",
                       "  run NoCommand",
                       "    ! no such command on this camera: reported as failed"}
        << QStringList{"TriggerSelector=FrameStart", back};
    QTest::newRow("<all>: every entry, then the earlier one; a missing optional feature")
        << QByteArray(R"({"TriggerSelector": {"#value": "<all>", "TriggerMode": "On"}, "Optional": {"#value": 1}})")
        << QStringList{"  Optional = 1",
                       "    ! no such feature on this camera: skipped (optional)",
                       "  TriggerSelector = <all>: every entry available now (FrameStart, AcquisitionStart, ExposureStart)",
                       "  TriggerSelector = FrameStart", "    TriggerMode = On",
                       "  TriggerSelector = AcquisitionStart", "    TriggerMode = On",
                       "  TriggerSelector = ExposureStart", "    TriggerMode = On",
                       "  TriggerSelector = AcquisitionStart (afterwards; a failure is not reported)"}
        << QStringList{"TriggerSelector=FrameStart", back, "TriggerSelector=ExposureStart", back};
}

QTEST_MAIN(TestPresetApplier)
#include "tst_presetapplier.moc"
