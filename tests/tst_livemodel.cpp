// The simulated camera's live parts: lines, timers, counters, triggers,
// actions and PTP, driven with a paused clock so results are exact.

#include "testsupport.h"

#include "kelcpp/featureobserver.h"

#include <atomic>

using namespace KelCPP;
using namespace KelCPP::Sim;

namespace {

const QByteArray LiveCamera = R"({ "format": 1, "features": [
    { "name": "LineSelector", "type": "Enumeration", "entries": ["Line0", "Line1", "Line2", "Line3"] },
    { "name": "LineMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": ["Input", "Output"],
      "values": { "Line2": "Output", "Line3": "Output" } },
    { "name": "LineInverter", "type": "Boolean", "selectedBy": "LineSelector" },
    { "name": "LineSource", "type": "Enumeration", "selectedBy": "LineSelector", "entries": ["Off", "UserOutput0", "Timer0Active"] },
    { "name": "LineStatus", "type": "Boolean", "selectedBy": "LineSelector", "access": "RO" },
    { "name": "LineStatusAll", "type": "Integer", "access": "RO" },
    { "name": "LineAlarm", "type": "Boolean", "availableWhen": { "LineStatus": true } },
    { "name": "LineDebounceMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": ["Off", "On"] },
    { "name": "LineDebounceDuration", "type": "Float", "selectedBy": "LineSelector" },
    { "name": "UserOutputSelector", "type": "Enumeration", "entries": ["UserOutput0"] },
    { "name": "UserOutputValue", "type": "Boolean", "selectedBy": "UserOutputSelector" },
    { "name": "AcquisitionStart", "type": "Command" },
    { "name": "AcquisitionStop", "type": "Command" },
    { "name": "ExposureTime", "type": "Float", "value": 100 },
    { "name": "TLParamsLocked", "type": "Integer", "access": "RO" },
    { "name": "TriggerSelector", "type": "Enumeration", "entries": ["FrameStart"] },
    { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": ["Off", "On"] },
    { "name": "TriggerSource", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": ["Software", "Line0", "Action0"] },
    { "name": "TriggerDelay", "type": "Float", "selectedBy": "TriggerSelector" },
    { "name": "TriggerSoftware", "type": "Command", "selectedBy": "TriggerSelector" },
    { "name": "CounterSelector", "type": "Enumeration", "entries": ["Counter0", "Counter1"] },
    { "name": "CounterEventSource", "type": "Enumeration", "selectedBy": "CounterSelector",
      "entries": ["Off", "Line0", "Timer0Active", "SoftwareSignal0"] },
    { "name": "CounterEventActivation", "type": "Enumeration", "selectedBy": "CounterSelector", "entries": ["RisingEdge", "FallingEdge"] },
    { "name": "CounterDuration", "type": "Integer", "selectedBy": "CounterSelector" },
    { "name": "CounterValue", "type": "Integer", "selectedBy": "CounterSelector" },
    { "name": "CounterValueAtReset", "type": "Integer", "selectedBy": "CounterSelector", "access": "RO" },
    { "name": "CounterStatus", "type": "Enumeration", "selectedBy": "CounterSelector", "access": "RO",
      "entries": ["CounterIdle", "CounterTriggerWait", "CounterActive", "CounterCompleted"] },
    { "name": "CounterTriggerSource", "type": "Enumeration", "selectedBy": "CounterSelector", "entries": ["Off", "Line1"] },
    { "name": "CounterResetSource", "type": "Enumeration", "selectedBy": "CounterSelector", "entries": ["Off", "Counter0End"] },
    { "name": "CounterReset", "type": "Command", "selectedBy": "CounterSelector" },
    { "name": "TimerSelector", "type": "Enumeration", "entries": ["Timer0"] },
    { "name": "TimerTriggerSource", "type": "Enumeration", "selectedBy": "TimerSelector",
      "entries": ["Off", "Line1", "Timer0Active", "SoftwareSignal0"] },
    { "name": "TimerTriggerActivation", "type": "Enumeration", "selectedBy": "TimerSelector", "entries": ["RisingEdge", "FallingEdge"] },
    { "name": "TimerDelay", "type": "Float", "selectedBy": "TimerSelector" },
    { "name": "TimerDuration", "type": "Float", "selectedBy": "TimerSelector" },
    { "name": "TimerStatus", "type": "Enumeration", "selectedBy": "TimerSelector", "access": "RO",
      "entries": ["TimerIdle", "TimerTriggerWait", "TimerActive", "TimerCompleted"] },
    { "name": "TimerReset", "type": "Command", "selectedBy": "TimerSelector" },
    { "name": "SoftwareSignalSelector", "type": "Enumeration", "entries": ["SoftwareSignal0"] },
    { "name": "SoftwareSignalPulse", "type": "Command", "selectedBy": "SoftwareSignalSelector" },
    { "name": "ActionDeviceKey", "type": "Integer", "access": "WO" },
    { "name": "ActionSelector", "type": "Integer", "max": 1 },
    { "name": "ActionGroupKey", "type": "Integer", "selectedBy": "ActionSelector" },
    { "name": "ActionGroupMask", "type": "Integer", "selectedBy": "ActionSelector" },
    { "name": "Timestamp", "type": "Integer", "access": "RO" },
    { "name": "TimestampLatch", "type": "Command" },
    { "name": "TimestampLatchValue", "type": "Integer", "access": "RO" },
    { "name": "PtpEnable", "type": "Boolean" },
    { "name": "PtpStatus", "type": "Enumeration", "access": "RO", "entries": ["Disabled", "Initializing", "Listening", "Master", "Slave"] },
    { "name": "PtpServoStatus", "type": "Enumeration", "access": "RO", "entries": ["Unknown", "Syncing", "Locked"] },
    { "name": "PtpOffsetFromMaster", "type": "Integer", "access": "RO", "min": -1000000000 }
  ],
  "simulation": { "inputSignals": { "Line0": { "periodUs": 1000, "highUs": 250 } }, "liveNotifyIntervalMs": 250 }
})";

struct CountingObserver : IFeatureObserver {
    std::atomic<int> count{ 0 };
    void NotifyFeatureChanged(const std::shared_ptr<Feature>&) override { ++count; }
};

} // namespace

class TestLiveModel : public QObject {
    Q_OBJECT

    std::shared_ptr<SimCamera> camera;

    FeaturePtr Get(const char* name) { return TestSupport::FindFeature(*camera, name); }
    template <typename T> void Set(const char* name, T value) { QCOMPARE(Get(name)->SetValue(value), KelError::Success); }
    void Run(const char* name) { QCOMPARE(Get(name)->RunCommand(), KelError::Success); }
    void Step(std::int64_t us) { camera->Step(std::chrono::microseconds(us)); }
    // Reads; a failed one gives "unreadable", -1 or false.
    QString Text(const char* name) { return TestSupport::ValueText(Get(name)); }
    std::int64_t Int(const char* name) { std::int64_t v = -1; Get(name)->GetValue(v); return v; }
    bool Status(const char* line) { bool v = false; Set("LineSelector", line); Get("LineStatus")->GetValue(v); return v; }

private slots:
    void init()
    {
        QVERIFY(camera = TestSupport::CameraFromJson(LiveCamera));
        QVERIFY(camera->IsPaused());
    }

    void inputLineFollowsItsSignal_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<bool>("inverted");
        QTest::addColumn<bool>("status");
        // Line0: high for 250 µs of every 1000 µs.
        QTest::newRow("high at its last microsecond") << qint64(249) << false << true;
        QTest::newRow("low after the pulse") << qint64(250) << false << false;
        QTest::newRow("high again in the next period") << qint64(1100) << false << true;
        QTest::newRow("inverted: low inside the pulse") << qint64(100) << true << false;
        QTest::newRow("inverted: high outside") << qint64(600) << true << true;
    }

    void inputLineFollowsItsSignal()
    {
        QFETCH(qint64, at);
        QFETCH(bool, inverted);
        QFETCH(bool, status);
        Set("LineInverter", inverted);
        Step(at);
        QCOMPARE(Status("Line0"), status);
        QCOMPARE((Int("LineStatusAll") & 1) != 0, status);
    }

    void debounceDropsShortPulses()
    {
        // Line1 has no signal of its own; drive it by hand.
        Set("LineSelector", "Line1");
        Set("LineDebounceMode", "On");
        Set("LineDebounceDuration", 100.0);
        QCOMPARE(camera->SetLineLevel("Line1", true), KelError::Success);
        Step(50);
        QCOMPARE(camera->SetLineLevel("Line1", false), KelError::Success);
        Step(200);
        QVERIFY(!Status("Line1")); // a 50 µs pulse never got through
        camera->SetLineLevel("Line1", true);
        Step(99);
        QVERIFY(!Status("Line1"));
        Step(1);
        QVERIFY(Status("Line1")); // held for the full window
        QCOMPARE(camera->SetLineLevel("Line7", true), KelError::NotFound);
    }

    void outputFollowsSourceAndInverter()
    {
        Set("LineSelector", "Line2");
        Set("LineSource", "UserOutput0");
        QVERIFY(!Status("Line2"));
        Set("UserOutputValue", true);
        QVERIFY(Status("Line2"));
        Set("LineInverter", true);
        QVERIFY(!Status("Line2"));
        QCOMPARE(Int("LineStatusAll") & 4, std::int64_t(0));
    }

    void selfRetriggeringTimerRunsAsPwm()
    {
        // 1 kHz at 25 %: 750 µs low, 250 µs high, starting as soon as it is set up.
        Set("TimerDelay", 750.0);
        Set("TimerDuration", 250.0);
        Set("TimerTriggerActivation", "FallingEdge");
        Set("TimerTriggerSource", "Timer0Active");
        Set("LineSelector", "Line3");
        Set("LineSource", "Timer0Active");
        Set("CounterEventSource", "Timer0Active");
        QVERIFY(!Status("Line3"));
        Step(760);
        QVERIFY(Status("Line3"));
        QCOMPARE(Text("TimerStatus"), "TimerActive");
        Step(250);
        QVERIFY(!Status("Line3"));
        Step(10000 - 1010);
        QCOMPARE(Int("CounterValue"), std::int64_t(10)); // rising edges at 750, 1750, ..., 9750
    }

    void timerStartsOnTriggerAfterDelay()
    {
        Set("TimerTriggerSource", "Line1");
        Set("TimerDelay", 100.0);
        Set("TimerDuration", 50.0);
        QCOMPARE(Text("TimerStatus"), "TimerTriggerWait");
        Set("LineSelector", "Line2");
        Set("LineSource", "Timer0Active");
        camera->SetLineLevel("Line1", true);
        Step(99);
        QVERIFY(!Status("Line2"));
        Step(1);
        QVERIFY(Status("Line2"));
        Step(50);
        QVERIFY(!Status("Line2"));
        QCOMPARE(Text("TimerStatus"), "TimerCompleted");
        Step(1000); // holding the level is no new edge
        QVERIFY(!Status("Line2"));
        Set("TimerTriggerSource", "Off");
        QCOMPARE(Text("TimerStatus"), "TimerIdle");

        Set("TimerTriggerSource", "SoftwareSignal0");
        Run("SoftwareSignalPulse");
        QCOMPARE(Text("TimerStatus"), "TimerActive");
        Run("TimerReset"); // rearms it
        QCOMPARE(Text("TimerStatus"), "TimerTriggerWait");
    }

    void counterCountsCompletesAndResets()
    {
        Set("CounterEventSource", "Line0");
        Set("CounterDuration", std::int64_t(3));
        QCOMPARE(Text("CounterStatus"), "CounterActive");
        Step(2500); // rising edges at 1000 and 2000 (the one at 0 was there before counting)
        QCOMPARE(Int("CounterValue"), std::int64_t(2));
        Step(1000);
        QCOMPARE(Int("CounterValue"), std::int64_t(3));
        QCOMPARE(Text("CounterStatus"), "CounterCompleted");
        Step(5000);
        QCOMPARE(Int("CounterValue"), std::int64_t(3)); // stopped at its duration
        Run("CounterReset");
        QCOMPARE(Int("CounterValueAtReset"), std::int64_t(3));
        QCOMPARE(Int("CounterValue"), std::int64_t(0));
        QCOMPARE(Text("CounterStatus"), "CounterActive");

        // Counter1 counts the falling edges of the same line, reset by Counter0's end.
        Set("CounterSelector", "Counter1");
        Set("CounterEventSource", "Line0");
        Set("CounterEventActivation", "FallingEdge");
        Set("CounterResetSource", "Counter0End");
        Step(2000);
        QCOMPARE(Int("CounterValue"), std::int64_t(2));
        Step(1000); // Counter0 ends again at its third edge and resets Counter1
        QCOMPARE(Int("CounterValueAtReset"), std::int64_t(2));
    }

    void counterWaitsForItsTrigger()
    {
        Set("CounterTriggerSource", "Line1");
        Set("CounterEventSource", "SoftwareSignal0");
        QCOMPARE(Text("CounterStatus"), "CounterTriggerWait");
        Run("SoftwareSignalPulse");
        QCOMPARE(Int("CounterValue"), std::int64_t(0));
        camera->SetLineLevel("Line1", true);
        Run("SoftwareSignalPulse");
        Run("SoftwareSignalPulse");
        QCOMPARE(Int("CounterValue"), std::int64_t(2));
        Set("CounterEventSource", "Off");
        QCOMPARE(Text("CounterStatus"), "CounterIdle");
    }

    void frameTriggersFromLineSoftwareAndAction()
    {
        Set("TriggerMode", "On");
        Set("TriggerSource", "Line0");
        Set("TriggerDelay", 20.0);
        Run("AcquisitionStart");
        QCOMPARE(Int("TLParamsLocked"), std::int64_t(1));
        Step(5110);
        // Line0 rises at 1000..5000 (the edge at 0 came before acquisition); a
        // frame waits its 20 µs, then exposes 100 µs: the fifth is not done yet.
        QCOMPARE(camera->FramesAcquired(), std::uint64_t(4));

        Set("TriggerSource", "Software");
        Step(10); // the fifth frame done: a trigger while it exposed would be missed
        Run("TriggerSoftware");
        Step(400);
        QCOMPARE(camera->FramesAcquired(), std::uint64_t(6));

        Set("TriggerSource", "Action0");
        Set("ActionDeviceKey", std::int64_t(0x1234));
        Set("ActionGroupKey", std::int64_t(7));
        Set("ActionGroupMask", std::int64_t(0x3));
        QVERIFY(!camera->SendActionCommand(0x9999, 7, 0x1)); // wrong device key
        QVERIFY(!camera->SendActionCommand(0x1234, 7, 0x4)); // the mask misses
        QVERIFY(camera->SendActionCommand(0x1234, 7, 0x2));
        Step(200);
        QCOMPARE(camera->FramesAcquired(), std::uint64_t(7));

        Run("AcquisitionStop");
        QCOMPARE(Int("TLParamsLocked"), std::int64_t(0));
        Run("TriggerSoftware");
        Step(200);
        QCOMPARE(camera->FramesAcquired(), std::uint64_t(7));
    }

    void timestampLatch()
    {
        Step(1500);
        Run("TimestampLatch");
        QCOMPARE(Int("TimestampLatchValue"), std::int64_t(1500000));
        QCOMPARE(Int("Timestamp"), std::int64_t(1500000));
    }

    void ptpFollowsEnable()
    {
        QCOMPARE(Text("PtpStatus"), "Disabled");
        Set("PtpEnable", true);
        QCOMPARE(Text("PtpStatus"), "Initializing");
        Step(1000000);
        QCOMPARE(Text("PtpStatus"), "Listening");
        Step(2000000);
        QCOMPARE(Text("PtpStatus"), "Slave");
        QVERIFY(std::abs(Int("PtpOffsetFromMaster")) > 1000); // far off at first
        Step(10000000);
        QVERIFY(std::abs(Int("PtpOffsetFromMaster")) < 200);
        QCOMPARE(Text("PtpServoStatus"), "Locked");
        Set("PtpEnable", false);
        QCOMPARE(Text("PtpStatus"), "Disabled");
        QCOMPARE(Int("PtpOffsetFromMaster"), std::int64_t(0));
    }

    void liveNotificationsAreRateLimited()
    {
        // Line0 toggles 2000 times a second; the observers hear of it at most
        // once per 250 ms of simulated time, and so of what its level decides.
        const auto status = std::make_shared<CountingObserver>(), alarm = std::make_shared<CountingObserver>();
        QCOMPARE(Get("LineStatus")->RegisterObserver(status), KelError::Success);
        QCOMPARE(Get("LineAlarm")->RegisterObserver(alarm), KelError::Success);
        for (int i = 0; i < 1000; ++i) {
            Step(1000);
            camera->WaitForNotifications(); // nothing merged away
        }
        for (const auto& observer : { status, alarm }) {
            QVERIFY2(observer->count >= 3, qPrintable(QString::number(observer->count)));
            QVERIFY2(observer->count <= 5, qPrintable(QString::number(observer->count)));
        }
    }
};

QTEST_GUILESS_MAIN(TestLiveModel)
#include "tst_livemodel.moc"
