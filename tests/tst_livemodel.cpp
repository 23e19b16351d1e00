// The simulated camera's live parts: lines, timers, counters, triggers,
// actions and PTP, driven with a paused clock so results are exact.

#include "testsupport.h"

#include "kelcpp/featureobserver.h"

#include <QtTest>

#include <mutex>

using namespace KelCPP;
using namespace KelCPP::Sim;
using std::chrono::microseconds;

namespace {

const QByteArray LiveCamera = R"({
  "format": 1,
  "features": [
    { "name": "LineSelector", "type": "Enumeration", "entries": ["Line0", "Line1", "Line2", "Line3"] },
    { "name": "LineMode", "type": "Enumeration", "selectedBy": "LineSelector",
      "entries": ["Input", "Output"], "values": { "Line2": "Output", "Line3": "Output" } },
    { "name": "LineInverter", "type": "Boolean", "selectedBy": "LineSelector" },
    { "name": "LineSource", "type": "Enumeration", "selectedBy": "LineSelector",
      "entries": ["Off", "UserOutput0", "Timer0Active", "ExposureActive"] },
    { "name": "LineStatus", "type": "Boolean", "selectedBy": "LineSelector", "access": "RO" },
    { "name": "LineStatusAll", "type": "Integer", "access": "RO" },
    { "name": "LineDebounceMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": ["Off", "On"] },
    { "name": "LineDebounceDuration", "type": "Float", "selectedBy": "LineSelector", "min": 0, "max": 100000 },
    { "name": "UserOutputSelector", "type": "Enumeration", "entries": ["UserOutput0"] },
    { "name": "UserOutputValue", "type": "Boolean", "selectedBy": "UserOutputSelector" },
    { "name": "AcquisitionStart", "type": "Command" },
    { "name": "AcquisitionStop", "type": "Command" },
    { "name": "AcquisitionMode", "type": "Enumeration", "entries": ["Continuous", "SingleFrame", "MultiFrame"] },
    { "name": "ExposureTime", "type": "Float", "min": 10, "max": 1000000, "value": 100 },
    { "name": "TLParamsLocked", "type": "Integer", "min": 0, "max": 1, "access": "RO" },
    { "name": "TriggerSelector", "type": "Enumeration", "entries": ["FrameStart", "AcquisitionStart"] },
    { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": ["Off", "On"] },
    { "name": "TriggerSource", "type": "Enumeration", "selectedBy": "TriggerSelector",
      "entries": ["Software", "Line0", "Line1", "Action0"] },
    { "name": "TriggerActivation", "type": "Enumeration", "selectedBy": "TriggerSelector",
      "entries": ["RisingEdge", "FallingEdge", "AnyEdge", "LevelHigh", "LevelLow"] },
    { "name": "TriggerDelay", "type": "Float", "selectedBy": "TriggerSelector", "min": 0, "max": 1000000 },
    { "name": "TriggerSoftware", "type": "Command", "selectedBy": "TriggerSelector" },
    { "name": "CounterSelector", "type": "Enumeration", "entries": ["Counter0", "Counter1"] },
    { "name": "CounterEventSource", "type": "Enumeration", "selectedBy": "CounterSelector",
      "entries": ["Off", "Line0", "Line1", "Timer0Active", "FrameStart", "SoftwareSignal0"] },
    { "name": "CounterEventActivation", "type": "Enumeration", "selectedBy": "CounterSelector",
      "entries": ["RisingEdge", "FallingEdge", "AnyEdge"] },
    { "name": "CounterDuration", "type": "Integer", "selectedBy": "CounterSelector", "min": 0, "max": 1000000 },
    { "name": "CounterValue", "type": "Integer", "selectedBy": "CounterSelector", "min": 0, "max": 4294967295 },
    { "name": "CounterValueAtReset", "type": "Integer", "selectedBy": "CounterSelector", "access": "RO",
      "min": 0, "max": 4294967295 },
    { "name": "CounterStatus", "type": "Enumeration", "selectedBy": "CounterSelector", "access": "RO",
      "entries": ["CounterIdle", "CounterTriggerWait", "CounterActive", "CounterCompleted"] },
    { "name": "CounterTriggerSource", "type": "Enumeration", "selectedBy": "CounterSelector",
      "entries": ["Off", "Line1"] },
    { "name": "CounterResetSource", "type": "Enumeration", "selectedBy": "CounterSelector",
      "entries": ["Off", "Line1", "Counter0End"] },
    { "name": "CounterReset", "type": "Command", "selectedBy": "CounterSelector" },
    { "name": "TimerSelector", "type": "Enumeration", "entries": ["Timer0"] },
    { "name": "TimerTriggerSource", "type": "Enumeration", "selectedBy": "TimerSelector",
      "entries": ["Off", "Line1", "Timer0Active", "SoftwareSignal0"] },
    { "name": "TimerTriggerActivation", "type": "Enumeration", "selectedBy": "TimerSelector",
      "entries": ["RisingEdge", "FallingEdge", "AnyEdge", "LevelHigh", "LevelLow"] },
    { "name": "TimerDelay", "type": "Float", "selectedBy": "TimerSelector", "min": 0, "max": 100000000 },
    { "name": "TimerDuration", "type": "Float", "selectedBy": "TimerSelector", "min": 0, "max": 100000000 },
    { "name": "TimerStatus", "type": "Enumeration", "selectedBy": "TimerSelector", "access": "RO",
      "entries": ["TimerIdle", "TimerTriggerWait", "TimerActive", "TimerCompleted"] },
    { "name": "TimerReset", "type": "Command", "selectedBy": "TimerSelector" },
    { "name": "SoftwareSignalSelector", "type": "Enumeration", "entries": ["SoftwareSignal0"] },
    { "name": "SoftwareSignalPulse", "type": "Command", "selectedBy": "SoftwareSignalSelector" },
    { "name": "ActionDeviceKey", "type": "Integer", "access": "WO", "max": 4294967295 },
    { "name": "ActionSelector", "type": "Integer", "min": 0, "max": 1 },
    { "name": "ActionGroupKey", "type": "Integer", "selectedBy": "ActionSelector", "max": 4294967295 },
    { "name": "ActionGroupMask", "type": "Integer", "selectedBy": "ActionSelector", "max": 4294967295 },
    { "name": "Timestamp", "type": "Integer", "access": "RO", "volatile": true },
    { "name": "TimestampLatch", "type": "Command" },
    { "name": "TimestampLatchValue", "type": "Integer", "access": "RO" },
    { "name": "PtpEnable", "type": "Boolean" },
    { "name": "PtpOperationMode", "type": "Enumeration", "entries": ["Auto", "Master", "Slave"] },
    { "name": "PtpStatus", "type": "Enumeration", "access": "RO",
      "entries": ["Disabled", "Initializing", "Listening", "Master", "Slave"] },
    { "name": "PtpServoStatus", "type": "Enumeration", "access": "RO", "entries": ["Unknown", "Syncing", "Locked"] },
    { "name": "PtpOffsetFromMaster", "type": "Integer", "access": "RO", "min": -1000000000, "max": 1000000000 },
    { "name": "PtpClockID", "type": "Integer", "access": "RO", "value": "0x000A35FFFE123456" }
  ],
  "simulation": {
    "inputSignals": { "Line0": { "periodUs": 1000, "highUs": 250 } },
    "liveNotifyIntervalMs": 250
  }
})";

class CountingObserver : public IFeatureObserver {
public:
    void NotifyFeatureChanged(const std::shared_ptr<Feature>&) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++count;
    }
    int Count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return count;
    }

private:
    std::mutex mutex;
    int count = 0;
};

} // namespace

class TestLiveModel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void inputLineFollowsItsSignal_data();
    void inputLineFollowsItsSignal();
    void debounceDropsShortPulses();
    void outputFollowsSourceAndInverter();
    void selfRetriggeringTimerRunsAsPwm();
    void timerStartsOnTriggerAfterDelay();
    void timerResetRearms();
    void counterCountsCompletesAndResets();
    void counterWaitsForItsTrigger();
    void frameTriggersFromLineSoftwareAndAction();
    void timestampLatch();
    void ptpFollowsEnable();
    void liveNotificationsAreRateLimited();

private:
    void Set(const char* name, const char* value) { QCOMPARE(Get(name)->SetValue(value), KelError::Success); }
    void Set(const char* name, double value) { QCOMPARE(Get(name)->SetValue(value), KelError::Success); }
    void SetInt(const char* name, std::int64_t value) { QCOMPARE(Get(name)->SetValue(value), KelError::Success); }
    void Run(const char* name) { QCOMPARE(Get(name)->RunCommand(), KelError::Success); }
    FeaturePtr Get(const char* name)
    {
        FeaturePtr feature;
        camera->GetFeatureByName(name, feature);
        return feature;
    }
    bool Status(const char* line)
    {
        Set("LineSelector", line);
        bool status = false;
        Get("LineStatus")->GetValue(status);
        return status;
    }
    std::string Text(const char* name)
    {
        std::string text;
        Get(name)->GetValue(text);
        return text;
    }
    std::int64_t Int(const char* name)
    {
        std::int64_t value = -1;
        Get(name)->GetValue(value);
        return value;
    }
    void Step(std::int64_t us) { camera->Step(microseconds(us)); }

    std::shared_ptr<SimCamera> camera;
};

void TestLiveModel::init()
{
    camera = TestSupport::CameraFromJson(LiveCamera);
    QVERIFY(camera);
    QVERIFY(camera->IsPaused());
}

void TestLiveModel::cleanup()
{
    camera.reset();
}

void TestLiveModel::inputLineFollowsItsSignal_data()
{
    QTest::addColumn<qint64>("at");
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<bool>("status");
    // Line0: high for 250 µs of every 1000 µs.
    QTest::newRow("start of the pulse") << qint64(0) << false << true;
    QTest::newRow("inside the pulse") << qint64(249) << false << true;
    QTest::newRow("after the pulse") << qint64(250) << false << false;
    QTest::newRow("next period") << qint64(1100) << false << true;
    QTest::newRow("inverted, inside") << qint64(100) << true << false;
    QTest::newRow("inverted, outside") << qint64(600) << true << true;
}

void TestLiveModel::inputLineFollowsItsSignal()
{
    QFETCH(qint64, at);
    QFETCH(bool, inverted);
    QFETCH(bool, status);
    Set("LineSelector", "Line0");
    QCOMPARE(Get("LineInverter")->SetValue(inverted), KelError::Success);
    Step(at);
    QCOMPARE(Status("Line0"), status);
    QCOMPARE((Int("LineStatusAll") & 1) != 0, status);
}

void TestLiveModel::debounceDropsShortPulses()
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

void TestLiveModel::outputFollowsSourceAndInverter()
{
    Set("LineSelector", "Line2");
    Set("LineSource", "UserOutput0");
    QVERIFY(!Status("Line2"));
    QCOMPARE(Get("UserOutputValue")->SetValue(true), KelError::Success);
    QVERIFY(Status("Line2"));
    Set("LineSelector", "Line2");
    QCOMPARE(Get("LineInverter")->SetValue(true), KelError::Success);
    QVERIFY(!Status("Line2"));
    QCOMPARE(Int("LineStatusAll") & 4, std::int64_t(0));
}

void TestLiveModel::selfRetriggeringTimerRunsAsPwm()
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
    QCOMPARE(Text("TimerStatus"), std::string("TimerActive"));
    Step(250);
    QVERIFY(!Status("Line3"));
    Step(10000 - 1010);
    // Rising edges at 750, 1750, ..., 9750.
    QCOMPARE(Int("CounterValue"), std::int64_t(10));
}

void TestLiveModel::timerStartsOnTriggerAfterDelay()
{
    Set("TimerTriggerSource", "Line1");
    Set("TimerTriggerActivation", "RisingEdge");
    Set("TimerDelay", 100.0);
    Set("TimerDuration", 50.0);
    QCOMPARE(Text("TimerStatus"), std::string("TimerTriggerWait"));
    Set("LineSelector", "Line2");
    Set("LineSource", "Timer0Active");
    camera->SetLineLevel("Line1", true);
    Step(99);
    QVERIFY(!Status("Line2"));
    Step(1);
    QVERIFY(Status("Line2"));
    Step(50);
    QVERIFY(!Status("Line2"));
    QCOMPARE(Text("TimerStatus"), std::string("TimerCompleted"));
    // Holding the level is no new edge.
    Step(1000);
    QVERIFY(!Status("Line2"));
    // Off stops it.
    Set("TimerTriggerSource", "Off");
    QCOMPARE(Text("TimerStatus"), std::string("TimerIdle"));
}

void TestLiveModel::timerResetRearms()
{
    Set("TimerTriggerSource", "SoftwareSignal0");
    Set("TimerDuration", 1000.0);
    Run("SoftwareSignalPulse");
    QCOMPARE(Text("TimerStatus"), std::string("TimerActive"));
    Run("TimerReset");
    QCOMPARE(Text("TimerStatus"), std::string("TimerTriggerWait"));
}

void TestLiveModel::counterCountsCompletesAndResets()
{
    Set("CounterSelector", "Counter0");
    Set("CounterEventSource", "Line0");
    SetInt("CounterDuration", 3);
    QCOMPARE(Text("CounterStatus"), std::string("CounterActive"));
    Step(2500); // rising edges at 1000 and 2000 (the one at 0 was there before counting)
    QCOMPARE(Int("CounterValue"), std::int64_t(2));
    Step(1000);
    QCOMPARE(Int("CounterValue"), std::int64_t(3));
    QCOMPARE(Text("CounterStatus"), std::string("CounterCompleted"));
    Step(5000);
    QCOMPARE(Int("CounterValue"), std::int64_t(3)); // stopped at its duration
    Run("CounterReset");
    QCOMPARE(Int("CounterValueAtReset"), std::int64_t(3));
    QCOMPARE(Int("CounterValue"), std::int64_t(0));
    QCOMPARE(Text("CounterStatus"), std::string("CounterActive"));

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

void TestLiveModel::counterWaitsForItsTrigger()
{
    Set("CounterSelector", "Counter0");
    Set("CounterTriggerSource", "Line1");
    Set("CounterEventSource", "SoftwareSignal0");
    QCOMPARE(Text("CounterStatus"), std::string("CounterTriggerWait"));
    Run("SoftwareSignalPulse");
    QCOMPARE(Int("CounterValue"), std::int64_t(0));
    camera->SetLineLevel("Line1", true);
    Run("SoftwareSignalPulse");
    Run("SoftwareSignalPulse");
    QCOMPARE(Int("CounterValue"), std::int64_t(2));
    Set("CounterEventSource", "Off");
    QCOMPARE(Text("CounterStatus"), std::string("CounterIdle"));
}

void TestLiveModel::frameTriggersFromLineSoftwareAndAction()
{
    Set("TriggerSelector", "FrameStart");
    Set("TriggerMode", "On");
    Set("TriggerSource", "Line0");
    Set("TriggerDelay", 20.0);
    Run("AcquisitionStart");
    QCOMPARE(Int("TLParamsLocked"), std::int64_t(1));
    Step(5000);
    // Line0 rises at 1000..5000 (the edge at 0 came before acquisition): four
    // frames done, the one triggered at 5000 waits for its delay.
    QCOMPARE(camera->FramesAcquired(), std::uint64_t(4));

    Set("TriggerSource", "Software");
    Run("TriggerSoftware");
    Step(400); // both frames wait their 20 µs delay, then expose 100 µs each in turn
    QCOMPARE(camera->FramesAcquired(), std::uint64_t(6));

    Set("TriggerSource", "Action0");
    SetInt("ActionDeviceKey", 0x1234);
    SetInt("ActionSelector", 0);
    SetInt("ActionGroupKey", 7);
    SetInt("ActionGroupMask", 0x3);
    QVERIFY(!camera->SendActionCommand(0x9999, 7, 0x1)); // wrong device key
    QVERIFY(!camera->SendActionCommand(0x1234, 7, 0x4)); // mask misses
    QVERIFY(camera->SendActionCommand(0x1234, 7, 0x2));
    Step(200);
    QCOMPARE(camera->FramesAcquired(), std::uint64_t(7));

    Run("AcquisitionStop");
    QCOMPARE(Int("TLParamsLocked"), std::int64_t(0));
    Run("TriggerSoftware");
    Step(200);
    QCOMPARE(camera->FramesAcquired(), std::uint64_t(7));
}

void TestLiveModel::timestampLatch()
{
    Step(1500);
    Run("TimestampLatch");
    QCOMPARE(Int("TimestampLatchValue"), std::int64_t(1500000));
    QCOMPARE(Int("Timestamp"), std::int64_t(1500000));
}

void TestLiveModel::ptpFollowsEnable()
{
    QCOMPARE(Text("PtpStatus"), std::string("Disabled"));
    QCOMPARE(Get("PtpEnable")->SetValue(true), KelError::Success);
    QCOMPARE(Text("PtpStatus"), std::string("Initializing"));
    Step(1000000);
    QCOMPARE(Text("PtpStatus"), std::string("Listening"));
    Step(2000000);
    QCOMPARE(Text("PtpStatus"), std::string("Slave"));
    QVERIFY(std::abs(Int("PtpOffsetFromMaster")) > 1000); // far off at first
    Step(10000000);
    QVERIFY(std::abs(Int("PtpOffsetFromMaster")) < 200);
    QCOMPARE(Text("PtpServoStatus"), std::string("Locked"));
    QCOMPARE(Get("PtpEnable")->SetValue(false), KelError::Success);
    QCOMPARE(Text("PtpStatus"), std::string("Disabled"));
    QCOMPARE(Int("PtpOffsetFromMaster"), std::int64_t(0));
}

void TestLiveModel::liveNotificationsAreRateLimited()
{
    auto observer = std::make_shared<CountingObserver>();
    QCOMPARE(Get("LineStatus")->RegisterObserver(observer), KelError::Success);
    // Line0 toggles 2000 times a second; the observer hears of it at most
    // once per 250 ms of simulated time.
    for (int i = 0; i < 10; ++i)
        Step(100000);
    camera->WaitForNotifications();
    QVERIFY(observer->Count() >= 3);
    QVERIFY(observer->Count() <= 5);
}

QTEST_GUILESS_MAIN(TestLiveModel)
#include "tst_livemodel.moc"
