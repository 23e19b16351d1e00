#include "presets/presetsfile.h"

#include "presetview.h"
#include "testsupport.h"

#include <QStandardItemModel>
#include <QtTest>

#include <chrono>

using namespace std::chrono_literals;

namespace {

// What the tooltip of each shipped preset promises, proved on the full
// camera by a value or two ("Selector=Entry Feature=Value ...", Entry * for
// every available entry) or by behaviour: "#toggles Line Hz" counts rising
// edges per second while streaming, "#counts Line Counter" that the counter
// starts at 0 and counts the line's rising edges.
const QMap<QString, QStringList> promises = {
    {"Custom", {"TriggerSelector=FrameStart TriggerMode=On"}}, // left as it was
    {"Turn Off All", {"TriggerSelector=* TriggerMode=Off", "LineSelector=* LineSource=Off LineInverter=0"}},
    {"Reset All", {"LineSelector=Line3 LineSource=UserOutput0", "LineSelector=Line4 LineMode=Input"}},
    {"Software Trigger", {"TriggerSelector=FrameStart TriggerMode=On TriggerSource=Software"}},
    {"Hardware Trigger (Line0)", {"TriggerSelector=FrameStart TriggerMode=On TriggerSource=Line0"}},
    {"Hardware Trigger (Line4, LVTTL)", {"TriggerSelector=FrameStart TriggerSource=Line4", "LineSelector=Line4 LineMode=Input"}},
    {"Exposure Strobe (Line2)", {"LineSelector=Line2 LineSource=ExposureActive LineInverter=0"}},
    {"Trigger, Strobe and Ready", {"TriggerSelector=FrameStart TriggerSource=Line0", "LineSelector=Line3 LineSource=FrameTriggerWait"}},
    {"PWM (Timer0 on Line3)", {"#toggles Line3 1000"}},
    {"Count Pulses (Line1)", {"#counts Line1 Counter0"}},
};

// Everything a preset might have to undo, switched on or turned around.
const QStringList disarranged = {
    "TriggerSelector=* TriggerMode=On TriggerSource=Line1", "TimerSelector=* TimerTriggerSource=Line0",
    "CounterSelector=Counter0 CounterEventSource=Line0", "LineSelector=* LineInverter=1",
    "LineSelector=Line2 LineSource=UserOutput1", "LineSelector=Line3 LineSource=AcquisitionActive",
    "LineSelector=Line4 LineMode=Output LineSource=Timer1Active"};

// Writes the values of "Selector=Entry Feature=Value ...", or checks them.
void Walk(FeatureManager& manager, const QString& settings, bool write)
{
    QStringList parts = settings.split(' ');
    const QString selector = parts[0].section('=', 0, 0), entry = parts.takeFirst().section('=', 1);
    for (const QString& selected : entry == "*" ? manager.GetAvailableEntries(selector) : QStringList{entry}) {
        QCOMPARE(manager.SetValue(selector, selected), selected);
        for (const QString& part : parts) {
            const QString feature = part.section('=', 0, 0), value = part.section('=', 1);
            const bool text = manager.GetDataType(feature) == KelCPP::KelFeatureDataEnum;
            if (write)
                QCOMPARE(text ? manager.SetValue(feature, value) : QString::number(manager.SetValue(feature, value.toDouble())), value);
            else
                QVERIFY2((text ? manager.GetStringValue(feature) : QString::number(manager.GetValue(feature))) == value,
                         qPrintable(selected + ": " + part));
        }
    }
}

void CheckBehaviour(KelCPP::Sim::SimCamera& camera, FeatureManager& manager, const QStringList& words)
{
    if (words[0] == "#toggles") {
        camera.StartAcquisition();
        manager.SetValue("LineSelector", words[1]);
        // Read past the feature manager, whose lookups would slow thousands of samples.
        const KelCPP::FeaturePtr status = TestSupport::FindFeature(camera, "LineStatus");
        QString previous = TestSupport::ValueText(status);
        int rising = 0;
        for (int sample = 0; sample < 10000; ++sample) { // one second
            camera.Step(100us);
            const QString level = TestSupport::ValueText(status);
            rising += level == "true" && previous == "false";
            previous = level;
        }
        QVERIFY2(qAbs(rising - words[2].toInt()) <= 1, qPrintable(QString::number(rising)));
        return;
    }
    const std::string line = words[1].toStdString();
    camera.SetLineLevel(line, false);
    camera.Step(1ms);
    manager.SetValue("CounterSelector", words[2]);
    QCOMPARE(manager.GetValue("CounterValue"), 0.0);
    for (int pulse = 0; pulse < 5; ++pulse) {
        camera.SetLineLevel(line, true);
        camera.Step(1ms);
        camera.SetLineLevel(line, false);
        camera.Step(1ms);
    }
    QCOMPARE(manager.GetValue("CounterValue"), 5.0);
}

} // namespace

class TestShippedPresets : public QObject
{
    Q_OBJECT

private slots:
    void appliesAsPromised_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("preset");
        for (const QString file : {"AdvTrigger_Presets.json", "AdvTrigger_VistaPro_Presets.json"}) {
            const QString path = TestSupport::SourceDir() + "/data/presets/" + file;
            const QList<PresetEntry> presets = PresetsFile::Read(path, path);
            QVERIFY2(!presets.isEmpty(), qPrintable(path));
            for (const PresetEntry& preset : presets)
                QTest::newRow(qPrintable(file + ": " + preset.name)) << file << preset.name;
        }
    }

    // Applies with no failure line and does what its tooltip says.
    void appliesAsPromised()
    {
        QFETCH(QString, file);
        QFETCH(QString, preset);
        QVERIFY2(promises.contains(preset), "nothing here checks what this preset promises");
        PresetsDir dir;
        QVERIFY(QFile::copy(TestSupport::SourceDir() + "/data/presets/" + file, dir.File(file)));
        const auto camera = TestSupport::OpenCamera("full.json");
        PresetView view(TestSupport::CameraFeatures(*camera), dir.Path());
        FeatureManager& manager = *view.Manager();
        for (const QString& settings : disarranged)
            Walk(manager, settings, true);
        camera->Step(3s);
        manager.SetValue("CounterSelector", QString("Counter0"));
        QVERIFY(manager.GetValue("CounterValue") > 0.0);
        if (QTest::currentTestFailed())
            return;

        BoxCloser closer;
        view.presetBox->setCurrentText(preset);
        QCOMPARE(closer.texts, QStringList());
        for (const QString& promise : promises.value(preset)) {
            if (promise.startsWith('#'))
                CheckBehaviour(*camera, manager, promise.split(' '));
            else
                Walk(manager, promise, false);
            if (QTest::currentTestFailed())
                return;
        }
    }

    void outputsLowAfterTurnOffAll_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("preset");
        for (const QString file : {"AdvTrigger_Presets.json", "AdvTrigger_VistaPro_Presets.json"}) {
            QTest::newRow(qPrintable(file + ": Turn Off All")) << file << "Turn Off All";
            // Sets no inverter itself: what Turn Off All left is what stays.
            QTest::newRow(qPrintable(file + ": Software Trigger")) << file << "Software Trigger";
        }
    }

    // An inverted output with nothing driving it is high: its LED stays lit
    // unless the inverter is cleared as well.
    void outputsLowAfterTurnOffAll()
    {
        QFETCH(QString, file);
        QFETCH(QString, preset);
        PresetsDir dir;
        QVERIFY(QFile::copy(TestSupport::SourceDir() + "/data/presets/" + file, dir.File(file)));
        const auto camera = TestSupport::OpenCamera("full.json");
        PresetView view(TestSupport::CameraFeatures(*camera), dir.Path());
        FeatureManager& manager = *view.Manager();
        Walk(manager, "LineSelector=Line2 LineSource=Off LineInverter=1", true);
        camera->Step(1ms);
        QVERIFY(manager.GetValue("LineStatus") != 0.0);

        BoxCloser closer;
        view.presetBox->setCurrentText(preset);
        QCOMPARE(closer.texts, QStringList());
        camera->Step(1ms);
        for (const QString line : {"Line2", "Line3", "Line4", "Line5"})
            Walk(manager, QString("LineSelector=%1 LineStatus=0 LineInverter=0").arg(line), false);
    }

    void basicCameraOffersWhatItCanDo_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QString>("missing"); // what its tooltip names; empty: offered
        const QString path = TestSupport::SourceDir() + "/data/presets/AdvTrigger_Presets.json";
        const QMap<QString, QString> missing = {{"PWM (Timer0 on Line3)", "entry Timer0Active of LineSource, TimerSelector"},
                                                {"Count Pulses (Line1)", "CounterReset, CounterSelector"}};
        for (const PresetEntry& preset : PresetsFile::Read(path, path))
            QTest::newRow(qPrintable(preset.name)) << preset.name << missing.value(preset.name);
    }

    // The basic camera has no timers, counters, inverters or debouncing.
    // What it cannot do is greyed out with the reason; what it offers
    // applies without a failure.
    void basicCameraOffersWhatItCanDo()
    {
        QFETCH(QString, preset);
        QFETCH(QString, missing);
        PresetsDir dir;
        QVERIFY(QFile::copy(TestSupport::SourceDir() + "/data/presets/AdvTrigger_Presets.json", dir.File("AdvTrigger_Presets.json")));
        const auto camera = TestSupport::OpenCamera("basic.json");
        PresetView view(TestSupport::CameraFeatures(*camera), dir.Path());
        const int index = view.presetBox->findText(preset);
        const QStandardItem* item = qobject_cast<QStandardItemModel*>(view.presetBox->model())->item(index);
        const QString toolTip = view.presetBox->itemData(index, Qt::ToolTipRole).toString();
        if (!missing.isEmpty()) {
            QVERIFY(!item->isEnabled());
            QVERIFY2(toolTip.contains("<b>Not available on this camera, which lacks: ") && toolTip.contains(missing), qPrintable(toolTip));
            return;
        }
        QVERIFY2(item->isEnabled() && !toolTip.contains("Not available"), qPrintable(toolTip));
        BoxCloser closer;
        view.presetBox->setCurrentIndex(index);
        QCOMPARE(closer.texts, QStringList());
        QCOMPARE(view.presetBox->currentText(), preset);
    }
};

QTEST_MAIN(TestShippedPresets)
#include "tst_shippedpresets.moc"
