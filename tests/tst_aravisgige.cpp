// End to end through the GigE Vision protocol: the full simulated camera
// served by Aravis's fake GigE Vision camera on 127.0.0.1, in a process of
// its own (tests/gige/e2e.sh starts it, applies the power-up values and
// stops it), against the same camera in our simulator.

#include "bench/pagerig.h"
#include "kelcpp/aravis/araviscamera.h"
#include "presets/presetsfile.h"
#include "presetview.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>

#include <csignal>
#include <cstdio>
#include <mutex>

using namespace KelCPP;
using TestSupport::FrameRecorder;
using TestSupport::FindFeature;
using TestSupport::ValueText;

namespace {

// What a user sees of every named input widget: enabled, text, failure mark.
QMap<QString, QString> Screen(const QWidget* view)
{
    QMap<QString, QString> screen;
    for (QWidget* widget : view->findChildren<QWidget*>()) {
        const QString name = widget->objectName();
        QString text;
        if (auto* box = qobject_cast<QComboBox*>(widget))
            text = box->currentText() + " of " + QString::number(box->count());
        else if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget))
            text = spin->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(widget))
            text = edit->text();
        else if (auto* check = qobject_cast<QCheckBox*>(widget))
            text = check->isChecked() ? "checked" : "unchecked";
        else
            continue;
        if (name.isEmpty() || name.startsWith("qt_"))
            continue;
        screen.insert(name, QStringLiteral("%1 %2 %3")
                                .arg(widget->isEnabled() ? "enabled" : "disabled", text,
                                     widget->property("cameraFailure").toString()));
    }
    return screen;
}

// The differences between two screens, one line each.
QStringList Differences(const QMap<QString, QString>& simulated, const QMap<QString, QString>& real)
{
    QStringList lines;
    for (auto it = simulated.begin(); it != simulated.end(); ++it) {
        if (real.value(it.key()) != it.value())
            lines << QStringLiteral("%1: simulator '%2', Aravis '%3'").arg(it.key(), it.value(), real.value(it.key()));
    }
    return lines;
}

} // namespace

class TestAravisGige : public QObject
{
    Q_OBJECT

    std::shared_ptr<Aravis::AravisCamera> aravis;
    std::shared_ptr<Sim::SimCamera> simulated;

    std::unique_ptr<PageRig> AravisRig()
    {
        auto camera = aravis;
        return std::make_unique<PageRig>(
            aravis, [camera] { return camera->DeviceAccessCount(); }, [camera] { camera->WaitForNotifications(); });
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sameCameraOnBothBackends();
    void pageAndLineTableShowTheSame();
    void everyShippedPresetApplies_data();
    void everyShippedPresetApplies();
    void dialogAndPwm();
    void streamsTheImageItIsSetTo();
    void softwareTriggerTakesOneFrameEach();
    void vanishedCameraFailsClearly();
};

void TestAravisGige::initTestCase()
{
    const QByteArray address = qgetenv("KEL_FAKE_GIGE_ADDRESS");
    QVERIFY2(!address.isEmpty(), "run through tests/gige/e2e.sh, which starts the fake GigE Vision camera");
    std::string error;
    Aravis::AravisOptions options;
    options.pollRateHz = 0; // the simulator is paused: nothing moves on either side
    aravis = Aravis::AravisCamera::Open(address.toStdString(), &error, options);
    QVERIFY2(aravis, error.c_str());
    simulated = TestSupport::OpenCamera("full.json");
    QVERIFY(simulated);
}

void TestAravisGige::cleanupTestCase()
{
    aravis.reset();
}

// Names, order, types, texts, entries, limits, access rights and values:
// all that the description and the power-up values decide.
void TestAravisGige::sameCameraOnBothBackends()
{
    FeaturePtrVector real, sim;
    aravis->GetFeatures(real);
    simulated->GetFeatures(sim);
    QCOMPARE(real.size(), sim.size());
    QStringList differences;
    for (std::size_t i = 0; i < sim.size(); ++i) {
        const FeaturePtr& s = sim[i];
        const FeaturePtr& a = real[i];
        std::string name, otherName;
        s->GetName(name);
        a->GetName(otherName);
        QCOMPARE(otherName, name);
        auto note = [&](const char* what, const QString& simText, const QString& realText) {
            if (simText != realText)
                differences << QStringLiteral("%1 %2: %3 / %4").arg(name.c_str(), what, simText, realText);
        };
        KelFeatureDataType type{}, otherType{};
        s->GetDataType(type);
        a->GetDataType(otherType);
        note("type", QString::number(type), QString::number(otherType));
        std::string text, otherText;
        s->GetCategory(text);
        a->GetCategory(otherText);
        note("category", text.c_str(), otherText.c_str());
        s->GetDisplayName(text);
        a->GetDisplayName(otherText);
        note("display name", text.c_str(), otherText.c_str());
        bool r = false, w = false, otherR = false, otherW = false;
        s->IsReadable(r);
        s->IsWritable(w);
        a->IsReadable(otherR);
        a->IsWritable(otherW);
        KelFeatureFlagsType flags{}, otherFlags{};
        s->GetFlags(flags);
        a->GetFlags(otherFlags);
        // A GenICam command is write-only; the simulator lets one be read,
        // though there is nothing to read.
        const auto readBit = type == KelFeatureDataCommand ? 0u : unsigned(KelFeatureFlagsRead);
        note("access", QStringLiteral("%1%2").arg(r && readBit).arg(w),
             QStringLiteral("%1%2").arg(otherR && readBit).arg(otherW));
        note("flags", QString::number(flags & ~KelFeatureFlagsModifyWrite & ~(KelFeatureFlagsRead & ~readBit)),
             QString::number(otherFlags & ~(KelFeatureFlagsRead & ~readBit)));
        if (type == KelFeatureDataEnum) {
            std::vector<std::string> entries, otherEntries;
            s->GetAvailableValues(entries);
            a->GetAvailableValues(otherEntries);
            auto join = [](const std::vector<std::string>& list) {
                QStringList out;
                for (const auto& e : list)
                    out << e.c_str();
                return out.join(',');
            };
            note("available entries", join(entries), join(otherEntries));
        }
        if (type == KelFeatureDataInt && r) {
            std::int64_t min = 0, max = 0, otherMin = 0, otherMax = 0;
            s->GetRange(min, max);
            a->GetRange(otherMin, otherMax);
            note("range", QStringLiteral("%1..%2").arg(min).arg(max), QStringLiteral("%1..%2").arg(otherMin).arg(otherMax));
        }
        if (type == KelFeatureDataFloat && r) {
            double min = 0, max = 0, otherMin = 0, otherMax = 0;
            s->GetRange(min, max);
            a->GetRange(otherMin, otherMax);
            note("range", QStringLiteral("%1..%2").arg(min).arg(max), QStringLiteral("%1..%2").arg(otherMin).arg(otherMax));
        }
        // What the camera changes by itself moves on in the simulator only.
        if (!(flags & KelFeatureFlagsVolatile))
            note("value", ValueText(s), ValueText(a));
    }
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join('\n')));
}

void TestAravisGige::pageAndLineTableShowTheSame()
{
    PageRig sim(TestSupport::CameraPath("full.json").toStdString());
    sim.ShowPage();
    sim.Settle(1);
    const auto real = AravisRig();
    real->ShowPage();
    real->Settle(1);
    // The line status LEDs and counters move in the simulator only.
    auto screen = [](const QWidget* view) {
        auto shown = Screen(view);
        for (auto it = shown.begin(); it != shown.end();)
            it = it.key().contains("Status") || it.key().contains("Value") ? shown.erase(it) : std::next(it);
        return shown;
    };
    const auto simulatedScreen = screen(sim.page);
    QVERIFY(simulatedScreen.size() > 20);
    const QStringList differences = Differences(simulatedScreen, screen(real->page));
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join('\n')));
    QCOMPARE(real->boxTexts, QStringList());
}

void TestAravisGige::everyShippedPresetApplies_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("preset");
    for (const QString file : {"AdvTrigger_Presets.json", "AdvTrigger_VistaPro_Presets.json"}) {
        const QString path = TestSupport::SourceDir() + "/data/presets/" + file;
        for (const PresetEntry& preset : PresetsFile::Read(path, path))
            QTest::newRow(qPrintable(file + ": " + preset.name)) << file << preset.name;
    }
}

// Applied from the page's box, as a user does: no warning, no failure mark,
// and the camera holds what the preset wrote.
void TestAravisGige::everyShippedPresetApplies()
{
    QFETCH(QString, file);
    QFETCH(QString, preset);
    PresetsDir dir;
    QVERIFY(QFile::copy(TestSupport::SourceDir() + "/data/presets/" + file, dir.File(file)));
    const auto real = AravisRig();
    real->ShowPage();
    real->LoadPresetsFrom(dir.Path());
    real->SelectPreset(preset);
    real->Settle(1);
    QVERIFY2(real->boxTexts.isEmpty(), qPrintable(real->boxTexts.join('\n')));
    QStringList marked;
    for (QWidget* widget : real->page->findChildren<QWidget*>()) {
        if (!widget->property("cameraFailure").toString().isEmpty())
            marked << widget->objectName() + ": " + widget->property("cameraFailure").toString();
    }
    QVERIFY2(marked.isEmpty(), qPrintable(marked.join('\n')));
}

// The dialog opens on the real protocol, and its PWM calculator writes the
// timer as it does on the simulator.
void TestAravisGige::dialogAndPwm()
{
    PageRig sim(TestSupport::CameraPath("full.json").toStdString());
    const auto real = AravisRig();
    for (PageRig* rig : {&sim, real.get()}) {
        rig->ShowPage();
        rig->OpenDialog();
        auto* pwm = rig->dialogContent->findChild<QGroupBox*>("grpPWM");
        QVERIFY(pwm);
        pwm->setChecked(true);
        rig->dialogContent->findChild<QLineEdit*>("txtPWMFrequency")->setText("1000");
        auto* duty = rig->dialogContent->findChild<QLineEdit*>("txtPWMDutyCycle");
        duty->setText("25");
        QMetaObject::invokeMethod(duty, "editingFinished");
        rig->Settle(1);
    }
    for (const char* name : {"TimerSelector", "TimerTriggerSource", "TimerDelay", "TimerDuration"})
        QCOMPARE(ValueText(FindFeature(*aravis, name)), ValueText(FindFeature(*sim.device, name)));
    QCOMPARE(ValueText(FindFeature(*aravis, "TimerDuration")).toDouble()
                 + ValueText(FindFeature(*aravis, "TimerDelay")).toDouble(),
             1000.0);
    QCOMPARE(real->boxTexts, QStringList());
    real->CloseDialog();
}

// The generated description serves Width, Height, PixelFormat, the frame
// rate and acquisition from the fake camera's own registers: it streams
// what they say.
void TestAravisGige::streamsTheImageItIsSetTo()
{
    QCOMPARE(FindFeature(*aravis, "Width")->SetValue(std::int64_t(64)), KelError::Success);
    QCOMPARE(FindFeature(*aravis, "Height")->SetValue(std::int64_t(32)), KelError::Success);
    QCOMPARE(FindFeature(*aravis, "PixelFormat")->SetValue("Mono8"), KelError::Success);
    QCOMPARE(FindFeature(*aravis, "AcquisitionFrameRate")->SetValue(50.0), KelError::Success);
    auto recorder = std::make_shared<FrameRecorder>();
    QCOMPARE(aravis->StartStream(recorder), KelError::Success);
    QCOMPARE(FindFeature(*aravis, "AcquisitionStart")->RunCommand(), KelError::Success);
    QTRY_VERIFY(recorder->Frames().size() >= 5);
    QCOMPARE(FindFeature(*aravis, "AcquisitionStop")->RunCommand(), KelError::Success);
    QCOMPARE(aravis->StopStream(), KelError::Success);
    QCOMPARE(recorder.use_count(), 1L); // released: it is called no more

    const std::vector<FramePtr> frames = recorder->Frames();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        QVERIFY(i == 0 || frames[i]->id > frames[i - 1]->id);
        QVERIFY(i == 0 || frames[i]->timestampNs > frames[i - 1]->timestampNs);
        QCOMPARE(frames[i]->status, KelFrameComplete);
        QCOMPARE(frames[i]->pixelFormat, KelPixelFormatMono8);
        QCOMPARE(std::make_pair(frames[i]->width, frames[i]->height), std::make_pair(64u, 32u));
        QCOMPARE(frames[i]->data.size(), std::size_t(64 * 32));
    }
    StreamStatistics statistics;
    QCOMPARE(aravis->GetStreamStatistics(statistics), KelError::Success);
    QCOMPARE(statistics.framesDelivered, std::uint64_t(frames.size()));
}

// With the trigger on Software, the fake camera takes a frame per
// TriggerSoftware and none in between.
void TestAravisGige::softwareTriggerTakesOneFrameEach()
{
    const FeaturePtr mode = FindFeature(*aravis, "TriggerMode");
    QCOMPARE(FindFeature(*aravis, "TriggerSelector")->SetValue("FrameStart"), KelError::Success);
    QCOMPARE(FindFeature(*aravis, "TriggerSource")->SetValue("Software"), KelError::Success);
    QCOMPARE(mode->SetValue("On"), KelError::Success);
    auto recorder = std::make_shared<FrameRecorder>();
    QCOMPARE(aravis->StartStream(recorder), KelError::Success);
    QCOMPARE(FindFeature(*aravis, "AcquisitionStart")->RunCommand(), KelError::Success);
    for (std::size_t taken = 1; taken <= 3; ++taken) {
        QCOMPARE(FindFeature(*aravis, "TriggerSoftware")->RunCommand(), KelError::Success);
        QTRY_COMPARE(recorder->Frames().size(), taken);
    }
    QCOMPARE(FindFeature(*aravis, "AcquisitionStop")->RunCommand(), KelError::Success);
    QCOMPARE(aravis->StopStream(), KelError::Success);
    QCOMPARE(recorder->Frames().size(), std::size_t(3));
    QCOMPARE(mode->SetValue("Off"), KelError::Success);
}

// Last: the camera's process ends under a page that uses it, while it streams.
void TestAravisGige::vanishedCameraFailsClearly()
{
    const auto real = AravisRig();
    real->ShowPage();
    real->Settle(1);
    auto recorder = std::make_shared<FrameRecorder>();
    QCOMPARE(aravis->StartStream(recorder), KelError::Success);
    QCOMPARE(FindFeature(*aravis, "AcquisitionStart")->RunCommand(), KelError::Success);
    QTRY_VERIFY(!recorder->Frames().empty());
    const qint64 pid = qgetenv("KEL_FAKE_GIGE_PID").toLongLong();
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid_t(pid), SIGTERM), 0);

    // The first call that meets the silence fails after the transport's
    // time-out; from then on every call fails at once.
    const FeaturePtr selector = FindFeature(*aravis, "LineSelector");
    QElapsedTimer clock;
    clock.start();
    KelErrorType first = KelError::Success;
    for (int i = 0; i < 100 && first == KelError::Success; ++i) {
        std::string value;
        first = selector->GetValue(value); // cached: may still answer
        if (first == KelError::Success)
            first = selector->SetValue(i % 2 ? "Line1" : "Line0");
    }
    QVERIFY2(first == KelError::Timeout || first == KelError::IO || first == KelError::NotOpen,
             KelError::Name(first));
    // The plug-in silences Qt's log: straight to the terminal.
    std::fprintf(stderr, "the first call failed after %lld ms with %s\n", clock.elapsed(), KelError::Name(first));
    QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
    std::int64_t value = 0;
    QCOMPARE(FindFeature(*aravis, "Width")->GetValue(value), KelError::NotOpen);
    QVERIFY(!aravis->IsConnected());

    // The stream delivers nothing more, and stops without hanging on the
    // camera that does not answer.
    clock.restart();
    QCOMPARE(aravis->StopStream(), KelError::Success);
    std::fprintf(stderr, "the stream stopped after %lld ms\n", clock.elapsed());
    QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(recorder.use_count(), 1L);

    // The page says so instead of crashing.
    real->Tick();
    real->Deliver();
    QStringList marked;
    for (QWidget* widget : real->page->findChildren<QWidget*>()) {
        if (!widget->property("cameraFailure").toString().isEmpty())
            marked << widget->objectName();
    }
    QVERIFY(!marked.isEmpty());
}

QTEST_MAIN(TestAravisGige)
#include "tst_aravisgige.moc"
