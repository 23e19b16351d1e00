#include "presets/presetsfile.h"

#include "presetview.h"
#include "testsupport.h"

#include <QtTest>

#include <chrono>

using KelCPP::Sim::SimCamera;
using namespace std::chrono_literals;

namespace {

const QStringList shippedFiles = {"AdvTrigger_Presets.json", "AdvTrigger_VistaPro_Presets.json"};

// What the tooltip of each shipped preset promises, checked on the full
// camera. "[Selector=Entry] Feature=Value" reads a feature (Entry * for every
// available entry); "#frames Source": no frame without a trigger, one frame
// for one trigger from Software or a line; "#level Line 0|1" while streaming;
// "#toggles Line Hz": rising edges per second while streaming; "#counts Line
// Counter": the counter starts at 0 and counts the line's rising edges.
const QStringList allOff = {
    "TriggerSelector=* TriggerMode=Off", "CounterSelector=* CounterEventSource=Off",
    "CounterSelector=* CounterTriggerSource=Off", "CounterSelector=* CounterResetSource=Off",
    "TimerSelector=* TimerTriggerSource=Off", "LineSelector=* LineSource=Off"};
const QStringList frameTrigger = {
    "ExposureMode=Timed", "TriggerSelector=FrameStart TriggerMode=On", "TriggerSelector=FrameStart TriggerActivation=RisingEdge",
    "TriggerSelector=FrameStart TriggerDivider=1", "TriggerSelector=AcquisitionStart TriggerMode=Off"};
const QMap<QString, QStringList> promises = {
    {"Custom", {"TriggerSelector=FrameStart TriggerMode=On", "LineSelector=Line4 LineSource=Timer1Active"}},
    {"Turn Off All", allOff},
    {"Reset All", {"TriggerSelector=* TriggerMode=Off", "CounterSelector=* CounterEventSource=Off",
                   "TimerSelector=* TimerTriggerSource=Off", "LineSelector=Line0 LineInverter=0",
                   "LineSelector=Line2 LineSource=ExposureActive", "LineSelector=Line3 LineSource=UserOutput0",
                   "LineSelector=Line4 LineMode=Input", "LineSelector=Line5 LineMode=Input", "ExposureMode=Timed"}},
    {"Software Trigger", frameTrigger + QStringList{"TriggerSelector=FrameStart TriggerSource=Software",
                                                    "TriggerSelector=FrameStart TriggerDelay=0", "#frames Software"}},
    {"Hardware Trigger (Line0)", frameTrigger + QStringList{
         "TriggerSelector=FrameStart TriggerSource=Line0", "TriggerSelector=FrameStart TriggerDelay=1000",
         "LineSelector=Line0 LineInverter=0", "LineSelector=Line0 LineDebounceMode=On",
         "LineSelector=Line0 LineDebounceDuration=10", "#frames Line0"}},
    {"Hardware Trigger (Line4, LVTTL)", frameTrigger + QStringList{
         "TriggerSelector=FrameStart TriggerSource=Line4", "TriggerSelector=FrameStart TriggerDelay=1000",
         "LineSelector=Line4 LineMode=Input", "LineSelector=Line4 LineInverter=0",
         "LineSelector=Line4 LineDebounceMode=On", "LineSelector=Line4 LineDebounceDuration=2", "#frames Line4"}},
    {"Exposure Strobe (Line2)", {"LineSelector=Line2 LineSource=ExposureActive", "LineSelector=Line2 LineInverter=0",
                                 "TriggerSelector=FrameStart TriggerMode=Off", "#toggles Line2 10"}},
    {"Trigger, Strobe and Ready", frameTrigger + QStringList{
         "TriggerSelector=FrameStart TriggerSource=Line0", "LineSelector=Line0 LineInverter=0",
         "LineSelector=Line2 LineSource=ExposureActive", "LineSelector=Line3 LineSource=FrameTriggerWait",
         "#frames Line0", "#level Line3 1", "#level Line2 0"}},
    {"PWM (Timer0 on Line3)", {"LineSelector=Line3 LineSource=Timer0Active", "LineSelector=Line3 LineInverter=0",
                               "TimerSelector=Timer0 TimerTriggerSource=Timer0Active",
                               "TimerSelector=Timer0 TimerTriggerActivation=FallingEdge", "TimerSelector=Timer0 TimerDelay=500",
                               "TimerSelector=Timer0 TimerDuration=500", "TimerSelector=Timer1 TimerTriggerSource=Off",
                               "#toggles Line3 1000"}},
    {"Count Pulses (Line1)", {"CounterSelector=Counter0 CounterEventSource=Line1",
                              "CounterSelector=Counter0 CounterEventActivation=RisingEdge",
                              "CounterSelector=Counter0 CounterTriggerSource=Off", "CounterSelector=Counter0 CounterResetSource=Off",
                              "CounterSelector=Counter1 CounterEventSource=Off", "LineSelector=Line1 LineInverter=0",
                              "LineSelector=Line1 LineDebounceMode=Off", "#counts Line1 Counter0"}},
};

QString Read(FeatureManager& manager, const QString& feature)
{
    const int type = manager.GetDataType(feature);
    const bool number = type == KelCPP::KelFeatureDataInt || type == KelCPP::KelFeatureDataFloat
                        || type == KelCPP::KelFeatureDataBool;
    return number ? QString::number(manager.GetValue(feature)) : manager.GetStringValue(feature);
}

void Set(FeatureManager& manager, const QString& feature, const QString& value)
{
    QCOMPARE(manager.SetValue(feature, value), value);
}

// Everything a preset might have to undo, switched on or turned around.
void Disarrange(FeatureManager& manager, SimCamera& camera)
{
    for (const QString& trigger : manager.GetAvailableEntries("TriggerSelector")) {
        Set(manager, "TriggerSelector", trigger);
        Set(manager, "TriggerMode", "On");
        Set(manager, "TriggerSource", "Line1");
        Set(manager, "TriggerActivation", "FallingEdge");
        QCOMPARE(manager.SetValue("TriggerDivider", 3.0), 3.0);
        QCOMPARE(manager.SetValue("TriggerDelay", 333.0), 333.0);
    }
    Set(manager, "TriggerSelector", "FrameStart");
    Set(manager, "ExposureMode", "TriggerWidth");
    for (const QString& counter : manager.GetAvailableEntries("CounterSelector")) {
        Set(manager, "CounterSelector", counter);
        Set(manager, "CounterEventSource", "Line0");
        if (counter != "Counter0") { // Counter0 counts from now on
            Set(manager, "CounterTriggerSource", "Line4");
            Set(manager, "CounterResetSource", "Line5");
        }
    }
    for (const QString& timer : manager.GetAvailableEntries("TimerSelector")) {
        Set(manager, "TimerSelector", timer);
        Set(manager, "TimerTriggerSource", "Line0");
    }
    const QList<QStringList> lines = {{"Line0", "", ""}, {"Line1", "", ""}, {"Line2", "", "UserOutput1"},
                                      {"Line3", "", "AcquisitionActive"}, {"Line4", "Output", "Timer1Active"},
                                      {"Line5", "Output", "Counter1Active"}};
    for (const QStringList& line : lines) {
        Set(manager, "LineSelector", line[0]);
        QCOMPARE(manager.SetValue("LineInverter", 1.0), 1.0);
        if (!line[1].isEmpty())
            Set(manager, "LineMode", line[1]);
        if (!line[2].isEmpty())
            Set(manager, "LineSource", line[2]);
        else
            Set(manager, "LineDebounceMode", "On");
    }
    camera.Step(3s);
    Set(manager, "CounterSelector", "Counter0");
    QVERIFY(manager.GetValue("CounterValue") > 0.0);
}

void CheckValue(FeatureManager& manager, const QString& promise)
{
    const QStringList parts = promise.split(' ');
    const QString feature = parts.last().section('=', 0, 0);
    const QString expected = parts.last().section('=', 1);
    const QString selector = parts.size() > 1 ? parts[0].section('=', 0, 0) : QString();
    QStringList entries{parts.size() > 1 ? parts[0].section('=', 1) : QString()};
    if (entries[0] == "*")
        entries = manager.GetAvailableEntries(selector);
    for (const QString& entry : entries) {
        if (!selector.isEmpty())
            Set(manager, selector, entry);
        const QString actual = Read(manager, feature);
        QVERIFY2(actual == expected, qPrintable(QString("%1 (%2): %3").arg(promise, entry, actual)));
    }
}

// The selected line's level, read past the feature manager: sampling a
// line thousands of times by name would take the manager's full lookups.
bool SelectedLineLevel(SimCamera& camera)
{
    KelCPP::FeaturePtr status;
    camera.GetFeatureByName("LineStatus", status);
    bool level = false;
    status->GetValue(level);
    return level;
}

void CheckBehaviour(SimCamera& camera, FeatureManager& manager, const QString& promise)
{
    const QStringList words = promise.split(' ');
    if (words[0] == "#frames") {
        camera.StartAcquisition();
        if (words[1] != "Software")
            QCOMPARE(camera.SetLineLevel(words[1].toStdString(), false), KelCPP::KelError::Success);
        // A free-running camera would have finished its first exposure
        // (5 ms) by now. Short steps: while a frame trigger waits, the
        // simulator advances in 1 µs events.
        const auto frames = camera.FramesAcquired();
        camera.Step(10ms);
        QCOMPARE(camera.FramesAcquired(), frames);
        if (words[1] == "Software") {
            Set(manager, "TriggerSelector", "FrameStart");
            QVERIFY(manager.RunCommand("TriggerSoftware"));
        } else {
            camera.SetLineLevel(words[1].toStdString(), true);
        }
        camera.Step(10ms); // delay 1 ms, exposure 5 ms
        QCOMPARE(camera.FramesAcquired(), frames + 1);
    } else if (words[0] == "#level") {
        camera.StartAcquisition();
        Set(manager, "LineSelector", words[1]);
        QCOMPARE(SelectedLineLevel(camera), words[2] == "1");
    } else if (words[0] == "#toggles") {
        camera.StartAcquisition();
        Set(manager, "LineSelector", words[1]);
        bool previous = SelectedLineLevel(camera);
        int rising = 0;
        for (int sample = 0; sample < 10000; ++sample) { // one second
            camera.Step(100us);
            const bool level = SelectedLineLevel(camera);
            rising += level && !previous;
            previous = level;
        }
        QVERIFY2(qAbs(rising - words[2].toInt()) <= 1, qPrintable(QString::number(rising)));
    } else if (words[0] == "#counts") {
        const std::string line = words[1].toStdString();
        camera.SetLineLevel(line, false);
        camera.Step(1ms);
        Set(manager, "CounterSelector", words[2]);
        QCOMPARE(manager.GetValue("CounterValue"), 0.0);
        for (int pulse = 0; pulse < 5; ++pulse) {
            camera.SetLineLevel(line, true);
            camera.Step(1ms);
            camera.SetLineLevel(line, false);
            camera.Step(1ms);
        }
        QCOMPARE(manager.GetValue("CounterValue"), 5.0);
    } else {
        QFAIL(qPrintable("unknown check " + promise));
    }
}

} // namespace

class TestShippedPresets : public QObject
{
    Q_OBJECT

private slots:
    void appliesAsPromised_data();
    void appliesAsPromised();
};

void TestShippedPresets::appliesAsPromised_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("preset");
    for (const QString& file : shippedFiles) {
        const QString path = TestSupport::SourceDir() + "/data/presets/" + file;
        const QList<PresetEntry> presets = PresetsFile::Read(path, path);
        QVERIFY2(!presets.isEmpty(), qPrintable(path));
        for (const PresetEntry& preset : presets)
            QTest::newRow(qPrintable(file + ": " + preset.name)) << file << preset.name;
    }
}

void TestShippedPresets::appliesAsPromised()
{
    QFETCH(QString, file);
    QFETCH(QString, preset);
    QVERIFY2(promises.contains(preset), "nothing here checks what this preset promises");

    PresetsDir dir;
    QVERIFY(QFile::copy(TestSupport::SourceDir() + "/data/presets/" + file, dir.File(file)));
    auto camera = TestSupport::OpenCamera("full.json");
    QVERIFY(camera);
    PresetView view(FeaturesOf(*camera), dir.Path());
    FeatureManager& manager = *view.Manager();
    const int index = view.presetBox->findText(preset);
    QVERIFY(index >= 0);
    const QString tooltip = view.presetBox->itemData(index, Qt::ToolTipRole).toString();
    QVERIFY2(tooltip.size() > QString("<b>%1</b><br>").arg(preset).size(), "no #tooltip");

    Disarrange(manager, *camera);
    if (QTest::currentTestFailed())
        return;
    BoxCloser closer;
    view.presetBox->setCurrentIndex(index);
    QCOMPARE(closer.texts, QStringList());

    for (const QString& promise : promises.value(preset)) {
        if (promise.startsWith('#'))
            CheckBehaviour(*camera, manager, promise);
        else
            CheckValue(manager, promise);
        if (QTest::currentTestFailed())
            return;
    }
}

QTEST_MAIN(TestShippedPresets)
#include "tst_shippedpresets.moc"
