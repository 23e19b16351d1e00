#include "presets/presetapplier.h"

#include "presets/settingstreemodel.h"
#include "presetview.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using KelCPP::Sim::Fault;
using KelCPP::Sim::Op;
using KelCPP::Sim::SimCamera;

namespace {

// ExposureEnd cannot be chosen now, so "<all>" leaves it out.
const QByteArray description = R"json({ "format": 1, "features": [
  { "name": "DeviceVendorName", "type": "String", "access": "RO", "value": "Brennix Vision Systems" },
  { "name": "TriggerSelector", "type": "Enumeration", "value": "AcquisitionStart", "entries": [ "FrameStart",
    "AcquisitionStart", "ExposureStart", { "name": "ExposureEnd", "availableWhen": { "PtpEnable": "true" } } ] },
  { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": [ "Off", "On" ] },
  { "name": "TriggerDelay", "type": "Float", "selectedBy": "TriggerSelector", "max": 1000 },
  { "name": "TriggerSoftware", "type": "Command", "selectedBy": "TriggerSelector" },
  { "name": "ExposureTime", "type": "Float", "min": 15, "max": 100000, "value": 5000 },
  { "name": "AcquisitionFrameCount", "type": "Integer", "max": 100, "inc": 4, "value": 8 },
  { "name": "AcquisitionBurstFrameCount", "type": "Integer", "min": 1, "max": 1001, "inc": 4, "value": 5 },
  { "name": "PtpEnable", "type": "Boolean" },
  { "name": "DeviceTemperature", "type": "Float", "access": "RO", "max": 100, "value": 40 }
] })json";

const QByteArray viewPresets = R"json({ "#presets": [ "Custom", "Turn Off All", "Reset All", "Trigger On", "Wrong Case" ],
  "Custom": {}, "Turn Off All": { "TriggerMode": { "#value": "Off" } }, "Reset All": { "ExposureTime": { "#value": 4000 } },
  "Trigger On": { "TriggerMode": { "#value": "On" } }, "Wrong Case": { "TriggerMode": { "#value": "on" } } })json";

// The camera's writes and commands as "Feature=value @Selector=Entry (refused)"
// or "run Command ..."; numbers as %g, not in the simulator's shortest form (1e+02).
QStringList Log(const SimCamera& camera, const QString& leaveOut = QString())
{
    QStringList lines;
    for (const KelCPP::Sim::CallRecord& record : camera.CallLog()) {
        const QString feature = QString::fromStdString(record.feature);
        QString value = QString::fromStdString(record.value);
        bool number = false;
        const double parsed = value.toDouble(&number);
        if (feature == leaveOut)
            continue;
        QString line = record.op == Op::RunCommand ? "run " + feature
                                                   : feature + "=" + (number ? QString::number(parsed, 'g', 15) : value);
        lines << line + (record.context.empty() ? "" : " @" + QString::fromStdString(record.context))
                     + (record.result == KelCPP::KelError::Success ? "" : " (refused)");
    }
    return lines;
}

QStringList Dump(const QAbstractItemModel* model, const QModelIndex& parent = QModelIndex())
{
    QStringList lines;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        lines << model->index(row, 0, parent).data().toString() + " = " + model->index(row, 1, parent).data().toString();
        for (const QString& child : Dump(model, model->index(row, 0, parent)))
            lines << "  " + child;
    }
    return lines;
}

} // namespace

class TestPresetApplier : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void apply_data();
    void apply();
    void selectPreset_data();
    void selectPreset();
    void firstManualEditSwitchesToCustomOnce();

private:
    std::shared_ptr<SimCamera> camera;
    std::unique_ptr<FeatureManager> manager;
};

void TestPresetApplier::init()
{
    manager.reset();
    camera = TestSupport::CameraFromJson(description);
    QVERIFY(camera);
    const CameraFeatureList features = FeaturesOf(*camera);
    FeatureList wrappers(new QVector<KelFeatureWrapperPtr>());
    for (const auto& feature : *features)
        wrappers->append(std::make_shared<KelFeatureWrapper>(feature));
    manager.reset(new FeatureManager(wrappers));
}

void TestPresetApplier::apply_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("errors");
    QTest::addColumn<QString>("refuseOnce"); // a feature whose first write or run the camera refuses
    auto row = [](const QString& name, const QByteArray& body, const QStringList& log, const QString& errors = QString(),
                  const QString& refuseOnce = QString()) {
        QTest::newRow(qPrintable(name)) << body << log << errors << refuseOnce;
    };
    auto all = [](const char* value) {
        return QByteArray(R"({"TriggerSelector": {"#value": ")") + value + R"(", "TriggerMode": "On"}})";
    };
    const QString at = " @TriggerSelector=", failed = "  Failed to set %1 = %2, Current value: '%3'\n";
    const QStringList walk = {"TriggerSelector=FrameStart", "TriggerMode=On" + at + "FrameStart",
                              "TriggerSelector=AcquisitionStart", "TriggerMode=On" + at + "AcquisitionStart",
                              "TriggerSelector=ExposureStart", "TriggerMode=On" + at + "ExposureStart"};

    row("key order, #execute last", R"({"#execute": "TriggerSoftware", "TriggerDelay": {"#value": 5}, "ExposureTime": {"#value": 100}})",
        {"ExposureTime=100", "TriggerDelay=5" + at + "AcquisitionStart", "run TriggerSoftware" + at + "AcquisitionStart"});
    row("<all>: every available entry, then the earlier one back", all("<all>"), walk + QStringList{"TriggerSelector=AcquisitionStart"});
    row("<all>_X: the selector left at X", all("<all>_FrameStart"), walk + QStringList{"TriggerSelector=FrameStart"});
    row("<all>_ without a value: no restore", all("<all>_"), walk);
    row("a failing restore is not reported", all("<all>_Bogus"), walk + QStringList{"TriggerSelector=Bogus (refused)"});
    row("a refused selector value skips its dependents",
        R"({"TriggerSelector": {"#value": "Bogus", "TriggerMode": "On"}, "ExposureTime": {"#value": 20}})",
        {"ExposureTime=20", "TriggerSelector=Bogus (refused)"}, failed.arg("TriggerSelector", "Bogus", "AcquisitionStart"));
    row("<all>: only the refused entry's dependents skipped", all("<all>"),
        QStringList{"TriggerSelector=FrameStart (refused)"} + walk.mid(2) + QStringList{"TriggerSelector=AcquisitionStart"},
        failed.arg("TriggerSelector", "FrameStart", "AcquisitionStart"), "TriggerSelector");
    row("list form: in order, a refused #value skips that element only",
        R"({"TriggerSelector": [{"#value": "<all>", "TriggerMode": "On"}, {"TriggerMode": "On", "#value": "ExposureStart", "TriggerDelay": 7}]})",
        {"TriggerSelector=<all> (refused)", "TriggerSelector=ExposureStart", "TriggerDelay=7" + at + "ExposureStart",
         "TriggerMode=On" + at + "ExposureStart"},
        failed.arg("TriggerSelector", "<all>", "AcquisitionStart"));
    row("missing and read-only features skipped silently, not their dependents",
        R"({"NoSuchSelector": {"#value": "X", "ExposureTime": 20}, "DeviceTemperature": {"#value": 5, "AcquisitionFrameCount": 12}})",
        {"AcquisitionFrameCount=12", "ExposureTime=20"});
    row("an entry that is no object writes the empty text", R"({"ExposureTime": 5, "TriggerMode": "On"})",
        {"ExposureTime=15", "TriggerMode=" + at + "AcquisitionStart (refused)"}, failed.arg("TriggerMode", "", "Off"));
    row("a refused command reported after every write", R"({"#execute": "TriggerSoftware", "TriggerMode": {"#value": "on"}})",
        {"TriggerMode=on" + at + "AcquisitionStart (refused)", "run TriggerSoftware" + at + "AcquisitionStart (refused)"},
        failed.arg("TriggerMode", "on", "Off") + "  Executing 'TriggerSoftware' failed.", "TriggerSoftware");
    row("a missing command fails", R"({"#execute": "NoSuchCommand"})", {}, "  Executing 'NoSuchCommand' failed.");

    row("<max> of an integer", R"({"AcquisitionFrameCount": {"#value": "<max>"}})", {"AcquisitionFrameCount=100"});
    row("<min> of a float", R"({"ExposureTime": {"#value": "<min>"}})", {"ExposureTime=15"});
    row("clamped to the range, no failure", R"({"AcquisitionFrameCount": {"#value": 500}, "ExposureTime": {"#value": -3}})",
        {"AcquisitionFrameCount=100", "ExposureTime=15"});
    row("a number as text", R"({"ExposureTime": {"#value": "250.5"}})", {"ExposureTime=250.5"});
    row("an integer snapped to its increment", R"({"AcquisitionFrameCount": {"#value": 10}})", {"AcquisitionFrameCount=8"},
        failed.arg("AcquisitionFrameCount", "10", "8"));
    row("a refused <max> reported as <max>", R"({"AcquisitionBurstFrameCount": {"#value": "<max>"}})",
        {"AcquisitionBurstFrameCount=1000 (refused)"}, failed.arg("AcquisitionBurstFrameCount", "<max>", "5"));
    row("an enumeration entry in the wrong case", R"({"TriggerMode": {"#value": "on"}})",
        {"TriggerMode=on" + at + "AcquisitionStart (refused)"}, failed.arg("TriggerMode", "on", "Off"));
    const QList<QPair<QByteArray, bool>> booleans = {{R"("")", false}, {R"("0")", false}, {R"("FALSE")", false},
                                                     {R"("no")", true}, {"true", true}, {"0", false}, {"2", true}};
    for (const auto& [json, on] : booleans)
        row("boolean from " + json, R"({"PtpEnable": {"#value": )" + json + "}}", {on ? "PtpEnable=true" : "PtpEnable=false"});
}

void TestPresetApplier::apply()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, refuseOnce);

    for (Op op : {Op::SetValue, Op::RunCommand}) {
        if (!refuseOnce.isEmpty())
            camera->InjectFault(refuseOnce.toStdString(), op, Fault::Once(KelCPP::KelError::Other));
    }
    camera->SetCallLogEnabled(true);
    QTEST(PresetApplier(manager.get()).Apply(QJsonDocument::fromJson(body).object().toVariantMap()), "errors");
    QTEST(Log(*camera), "log");
}

void TestPresetApplier::selectPreset_data()
{
    QTest::addColumn<QString>("preset");
    QTest::addColumn<bool>("refuseFirstWrite");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QStringList>("boxes");

    const QString off = "TriggerMode=Off @TriggerSelector=AcquisitionStart";
    const QString wrongCase = "TriggerMode=on @TriggerSelector=AcquisitionStart (refused)";
    const QString box = "Error(s) on setting the preset:\n\n  Failed to set TriggerMode = %1, Current value: '%2'\n";
    QTest::newRow("Custom writes nothing") << "Custom" << false << QStringList() << QStringList();
    QTest::newRow("Reset All without Turn Off All") << "Reset All" << false << QStringList{"ExposureTime=4000"} << QStringList();
    QTest::newRow("Turn Off All once") << "Turn Off All" << false << QStringList{off} << QStringList();
    QTest::newRow("any other after Turn Off All")
        << "Trigger On" << false << QStringList{off, "TriggerMode=On @TriggerSelector=AcquisitionStart"} << QStringList();
    QTest::newRow("failures in one box") << "Wrong Case" << false << QStringList{off, wrongCase} << QStringList{box.arg("on", "Off")};
    QTest::newRow("failures of Turn Off All in a box of their own")
        << "Wrong Case" << true << QStringList{off + " (refused)", wrongCase} << QStringList{box.arg("Off", "On"), box.arg("on", "On")};
}

void TestPresetApplier::selectPreset()
{
    QFETCH(QString, preset);
    QFETCH(QStringList, boxes);

    PresetsDir dir;
    dir.Write("AdvTrigger_Presets.json", viewPresets);
    PresetView view(FeaturesOf(*camera), dir.Path());
    // Changes the view does not hear of: only a rebuilt status tree shows them.
    for (const char* entry : {"FrameStart", "AcquisitionStart"}) {
        manager->SetValue("TriggerSelector", QString(entry));
        manager->SetValue("TriggerMode", QString("On"));
    }
    QVERIFY(Dump(view.tree->model()) != Dump(SettingsTreeModel(manager.get(), nullptr).ItemModel()));

    QFETCH(bool, refuseFirstWrite);
    if (refuseFirstWrite)
        camera->InjectFault("TriggerMode", Op::SetValue, Fault::Once(KelCPP::KelError::Other));
    camera->SetCallLogEnabled(true);
    BoxCloser closer;
    view.presetBox->setCurrentText(preset);
    QTEST(Log(*camera, "TriggerSelector"), "writes");
    QCOMPARE(closer.texts, boxes);
    for (const QString& title : closer.titles)
        QCOMPARE(title, "Select preset: " + preset);
    QCOMPARE(Dump(view.tree->model()), Dump(SettingsTreeModel(manager.get(), nullptr).ItemModel()));
}

void TestPresetApplier::firstManualEditSwitchesToCustomOnce()
{
    PresetsDir dir;
    dir.Write("AdvTrigger_Presets.json", viewPresets);
    PresetView view(FeaturesOf(*camera), dir.Path());
    QSignalSpy picked(view.presetBox, qOverload<int>(&QComboBox::currentIndexChanged));
    view.presetBox->setCurrentText("Trigger On");
    QCOMPARE(view.modeBox->currentText(), QString("Off")); // the view is never refreshed here

    view.modeBox->setCurrentText("On");
    QCOMPARE(view.presetBox->currentText(), QString("Custom"));
    QCOMPARE(picked.count(), 2);
    QCOMPARE(manager->GetStringValue("TriggerMode"), QString("On")); // no Turn Off All for Custom
    view.modeBox->setCurrentText("Off");
    QCOMPARE(picked.count(), 2);
    QCOMPARE(manager->GetStringValue("TriggerMode"), QString("Off"));
}

QTEST_MAIN(TestPresetApplier)
#include "tst_presetapplier.moc"
