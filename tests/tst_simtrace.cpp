// The simulated camera's signal trace: edges where the configured times put
// them, fast signals as waves, the bounded record, and the clock it reads on.

#include "testsupport.h"

#include <thread>

using namespace KelCPP;
using namespace KelCPP::Sim;

namespace {

// Line0 runs at 10 kHz: dense. Line2 and Line3 are outputs.
const QByteArray TraceCamera = R"({ "format": 1, "features": [
    { "name": "LineSelector", "type": "Enumeration", "entries": ["Line0", "Line1", "Line2", "Line3"] },
    { "name": "LineMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": ["Input", "Output"],
      "values": { "Line2": "Output", "Line3": "Output" } },
    { "name": "LineInverter", "type": "Boolean", "selectedBy": "LineSelector" },
    { "name": "LineSource", "type": "Enumeration", "selectedBy": "LineSelector",
      "entries": ["Off", "Timer0Active", "Timer1Active", "ExposureActive"] },
    { "name": "AcquisitionStart", "type": "Command" },
    { "name": "ExposureTime", "type": "Float", "value": 100 },
    { "name": "TriggerSelector", "type": "Enumeration", "entries": ["FrameStart"] },
    { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": ["Off", "On"] },
    { "name": "TriggerSource", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": ["Software", "Line1"] },
    { "name": "TriggerDelay", "type": "Float", "selectedBy": "TriggerSelector" },
    { "name": "TriggerSoftware", "type": "Command", "selectedBy": "TriggerSelector" },
    { "name": "CounterSelector", "type": "Enumeration", "entries": ["Counter0"] },
    { "name": "CounterEventSource", "type": "Enumeration", "selectedBy": "CounterSelector", "entries": ["Off", "Line1"] },
    { "name": "CounterDuration", "type": "Integer", "selectedBy": "CounterSelector" },
    { "name": "CounterValue", "type": "Integer", "selectedBy": "CounterSelector" },
    { "name": "TimerSelector", "type": "Enumeration", "entries": ["Timer0", "Timer1"] },
    { "name": "TimerTriggerSource", "type": "Enumeration", "selectedBy": "TimerSelector",
      "entries": ["Off", "Line1", "Timer0Active", "Timer1Active"] },
    { "name": "TimerTriggerActivation", "type": "Enumeration", "selectedBy": "TimerSelector", "entries": ["RisingEdge", "FallingEdge"] },
    { "name": "TimerDelay", "type": "Float", "selectedBy": "TimerSelector" },
    { "name": "TimerDuration", "type": "Float", "selectedBy": "TimerSelector" },
    { "name": "TimestampReset", "type": "Command" }
  ],
  "simulation": { "inputSignals": { "Line0": { "periodUs": 100, "highUs": 50 } } }
})";

// Timer0 as the dialog's PWM sets it up: low for the delay, high for the duration.
QString Pwm(int lowUs, int highUs)
{
    return QString("TimerSelector=Timer0, TimerDelay=%1, TimerDuration=%2, TimerTriggerActivation=FallingEdge, "
                   "TimerTriggerSource=Timer0Active")
        .arg(lowUs).arg(highUs);
}

} // namespace

class TestSimTrace : public QObject {
    Q_OBJECT

    std::shared_ptr<SimCamera> camera;
    std::shared_ptr<SignalTrace> trace;

    std::vector<SignalInfo> list;

    QString Apply(const QString& script) { return TestSupport::ApplyScript(*camera, script); }
    int Signal(const std::string& name)
    {
        const auto it = std::find_if(list.begin(), list.end(), [&](const SignalInfo& s) { return s.name == name; });
        return it == list.end() ? -1 : int(it - list.begin());
    }
    SignalTraceData ReadAll()
    {
        SignalTraceData data;
        [&] { QCOMPARE(trace->Read(INT64_MIN, INT64_MAX, data), KelError::Success); }();
        return data;
    }
    // One signal's edges: the time in µs, then "+", "-" or "!" (an event).
    QString Edges(const SignalTraceData& data, const std::string& name)
    {
        QStringList out;
        for (const SignalEdge& e : data.edges) {
            if (int(e.signal) == Signal(name))
                out << QString::number(e.timeNs / 1000) + (list[e.signal].kind == KelSignalEvent ? "!" : e.level ? "+" : "-");
        }
        return out.join(' ');
    }

private slots:
    void init()
    {
        QVERIFY(camera = TestSupport::CameraFromJson(TraceCamera));
        QVERIFY(trace = camera->GetSignalTrace());
        QVERIFY(!trace->IsSampled());
        QCOMPARE(trace->GetSignals(list), KelError::Success);
    }

    void signalsComeInTheirOrder()
    {
        QStringList names;
        for (const SignalInfo& s : list)
            names << QString::fromStdString(s.name) + (s.kind == KelSignalEvent ? "!" : "");
        QCOMPARE(names.join(' '), "Line0 Line1 Line2 Line3 FrameTrigger! FrameTriggerMissed! ExposureActive "
                                  "FrameTriggerWait Timer0Active Timer1Active Counter0End!");
    }

    void edgesComeAtTheirTimes_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<QString>("edges");
        const QString trigger = "TriggerMode=On, TriggerDelay=250, AcquisitionStart!, +1000, TriggerSoftware!, "
                                "+100, TriggerSoftware!, +1000";
        QTest::newRow("a line forced high and low") << "+1000, Line1^1, +5, Line1^0" << "Line1" << "1000+ 1005-";
        QTest::newRow("a timer: its delay after the trigger, then its duration")
            << "TimerTriggerSource=Line1, TimerDelay=300, TimerDuration=200, +1000, Line1^1, +2000"
            << "Timer0Active" << "1300+ 1500-";
        QTest::newRow("its output line, inverted")
            << "LineSelector=Line2, LineSource=Timer0Active, LineInverter=true, TimerTriggerSource=Line1, "
               "TimerDelay=300, TimerDuration=200, +1000, Line1^1, +2000"
            << "Line2" << "0+ 1300- 1500+";
        QTest::newRow("the frame trigger") << trigger << "FrameTrigger" << "1000!";
        QTest::newRow("exposure TriggerDelay after it") << trigger << "ExposureActive" << "1250+ 1350-";
        QTest::newRow("a trigger in the delay is missed") << trigger << "FrameTriggerMissed" << "1100!";
        QTest::newRow("waiting for a trigger until it came")
            << trigger << "FrameTriggerWait" << "0+ 1000- 1350+";
        QTest::newRow("a counter ends on the edge that reaches its duration")
            << "CounterEventSource=Line1, CounterDuration=2, +10, Line1^1, +10, Line1^0, +10, Line1^1, +10, Line1^0"
            << "Counter0End" << "30!";
        // Without delay, the timer's end and restart fall on one instant.
        QTest::newRow("a PWM without delay: a pulse of no width each period")
            << "+100, " + Pwm(0, 1500) + ", +3200" << "Timer0Active" << "100+ 1600- 1600+ 3100- 3100+";
    }

    void edgesComeAtTheirTimes()
    {
        QFETCH(QString, script);
        QFETCH(QString, signal);
        QCOMPARE(Apply(script), QString());
        QTEST(Edges(ReadAll(), signal.toStdString()), "edges");
    }

    void aKilohertzPwmReadsItsPeriodAndDuty()
    {
        // The PWM preset's set-up at 25 %: not dense, recorded edge by edge.
        QCOMPARE(Apply("LineSelector=Line3, LineSource=Timer0Active, " + Pwm(750, 250) + ", +20000"), QString());
        std::int64_t now = 0;
        QCOMPARE(trace->GetNowNs(now), KelError::Success);
        QCOMPARE(now, std::int64_t(20000000));
        SignalTraceData data;
        QCOMPARE(trace->Read(now - 10000000, now, data), KelError::Success);
        const int line = Signal("Line3");
        std::vector<std::int64_t> rises, falls;
        for (const SignalEdge& e : data.edges) {
            if (int(e.signal) == line)
                (e.level ? rises : falls).push_back(e.timeNs);
        }
        QCOMPARE(rises.size(), std::size_t(10));
        QCOMPARE(data.initial[line], std::uint8_t(falls.front() < rises.front()));
        for (std::size_t i = 1; i < rises.size(); ++i)
            QVERIFY(std::abs(rises[i] - rises[i - 1] - 1000000) <= 1000); // one simulator step
        const auto fall = std::upper_bound(falls.begin(), falls.end(), rises.front());
        QVERIFY(std::abs(*fall - rises.front() - 250000) <= 1000);
        for (const SignalWave& w : data.waves)
            QCOMPARE(int(w.signal), Signal("Line0")); // only the 10 kHz line
    }

    void aFastSignalIsAWave_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<qint64>("fromUs");
        QTest::addColumn<qint64>("periodNs");
        QTest::addColumn<qint64>("highNs");
        QTest::addColumn<QString>("end"); // what ends the wave at 5000 µs
        QTest::addColumn<bool>("after");  // the level from then on
        QTest::newRow("a 10 kHz input line") << "" << "Line0" << qint64(0) << qint64(100000) << qint64(50000)
                                             << "Line0^1" << true;
        QTest::newRow("a 20 kHz PWM on an output line")
            << "LineSelector=Line3, LineSource=Timer1Active, +1000, TimerSelector=Timer1, TimerDelay=20, "
               "TimerDuration=30, TimerTriggerActivation=FallingEdge, TimerTriggerSource=Timer1Active"
            << "Line3" << qint64(1000) << qint64(50000) << qint64(30000) << "TimerTriggerSource=Off" << false;
    }

    void aFastSignalIsAWave()
    {
        QFETCH(QString, script);
        QFETCH(QString, signal);
        QFETCH(QString, end);
        QCOMPARE(Apply(script + ", +4000"), QString());
        QCOMPARE(Apply("+" + QString::number(5000 - camera->NowUs()) + ", " + end + ", +1000"), QString());
        const SignalTraceData data = ReadAll();
        const int s = Signal(signal.toStdString());
        const auto wave = std::find_if(data.waves.begin(), data.waves.end(), [&](const SignalWave& w) { return int(w.signal) == s; });
        QVERIFY(wave != data.waves.end());
        QCOMPARE(std::count_if(wave, data.waves.end(), [&](const SignalWave& w) { return int(w.signal) == s; }), 1L);
        QTEST(qint64(wave->fromNs / 1000), "fromUs");
        QCOMPARE(wave->toNs, std::int64_t(5000000));
        QTEST(qint64(wave->periodNs), "periodNs");
        QTEST(qint64(wave->highNs), "highNs");
        // Edge by edge outside it; inside, and after it, the levels read at
        // the start of a window are the wave's and then the edges'.
        for (const SignalEdge& e : data.edges)
            QVERIFY(int(e.signal) != s || e.timeNs <= wave->fromNs || e.timeNs >= wave->toNs);
        SignalTraceData inside, after;
        QCOMPARE(trace->Read(2020000, 2030000, inside), KelError::Success);
        QCOMPARE(inside.initial[s], std::uint8_t((2020000 - wave->originNs) % wave->periodNs < wave->highNs));
        QCOMPARE(trace->Read(5500000, 6000000, after), KelError::Success);
        QTEST(bool(after.initial[s]), "after");
    }

    void theRecordKeepsItsBound()
    {
        SimOptions options;
        options.live = false;
        options.traceEdges = 64;
        std::string error;
        camera = SimCamera::FromJson(TraceCamera.toStdString(), &error, options);
        trace = camera->GetSignalTrace();
        // Timer0Active and Line3 at 1 kHz, Timer1Active at another rate, so
        // that the levels do not repeat with the record's length.
        QCOMPARE(Apply("LineSelector=Line3, LineSource=Timer0Active, " + Pwm(500, 500)
                       + ", TimerSelector=Timer1, TimerDelay=700, TimerDuration=400, "
                         "TimerTriggerActivation=FallingEdge, TimerTriggerSource=Timer1Active"),
                 QString());
        const int levels[] = { Signal("Line3"), Signal("Timer0Active"), Signal("Timer1Active") };
        std::int64_t oldest = 0;
        for (int ms : { 100, 1000 }) {
            QCOMPARE(Apply("+" + QString::number(ms * 1000)), QString());
            const SignalTraceData data = ReadAll();
            QCOMPARE(data.edges.size(), std::size_t(64));
            QVERIFY(data.oldestNs > oldest);
            oldest = data.oldestNs;
            QVERIFY(data.edges.front().timeNs >= oldest);
            // What was forgotten still sets the levels the record starts
            // from, and a read from anywhere those the edges before it left.
            std::vector<std::uint8_t> replayed = data.initial;
            for (std::size_t i = 0; i < data.edges.size(); ++i) {
                if (i > 0 && data.edges[i].timeNs != data.edges[i - 1].timeNs) {
                    SignalTraceData part;
                    QCOMPARE(trace->Read(data.edges[i].timeNs, INT64_MAX, part), KelError::Success);
                    QCOMPARE(part.edges.size(), data.edges.size() - i);
                    for (int s : levels)
                        QCOMPARE(part.initial[s], replayed[s]);
                }
                QVERIFY(replayed[data.edges[i].signal] != data.edges[i].level); // a level alternates
                replayed[data.edges[i].signal] = data.edges[i].level;
            }
        }
    }

    void theClockCanBeReset()
    {
        QCOMPARE(Apply("+1000, Line1^1, +4000, TimestampReset!, +10"), QString());
        std::int64_t now = 0;
        QCOMPARE(trace->GetNowNs(now), KelError::Success);
        QCOMPARE(now, std::int64_t(10000));
        QCOMPARE(Edges(ReadAll(), "Line1"), "-4000+");
        SignalTraceData data;
        QCOMPARE(trace->Read(-5000000, -3000000, data), KelError::Success);
        QCOMPARE(Edges(data, "Line1"), "-4000+");
        QCOMPARE(data.oldestNs, std::int64_t(-5000000));
    }

    void readsWhileTheCameraRunsAndAfterItClosed()
    {
        QCOMPARE(Apply("LineSelector=Line3, LineSource=Timer0Active, " + Pwm(500, 500)), QString());
        std::thread stepper([this] {
            for (int i = 0; i < 200; ++i)
                camera->Step(std::chrono::microseconds(1000));
        });
        bool inOrder = true;
        std::int64_t last = INT64_MIN;
        for (int i = 0; i < 200; ++i) {
            SignalTraceData data;
            trace->Read(INT64_MIN, INT64_MAX, data);
            inOrder = inOrder && data.toNs >= last
                      && std::is_sorted(data.edges.begin(), data.edges.end(),
                                        [](const SignalEdge& a, const SignalEdge& b) { return a.timeNs < b.timeNs; });
            last = data.toNs;
        }
        stepper.join();
        QVERIFY(inOrder);
        QCOMPARE(Edges(ReadAll(), "Line3").count('+'), 200);
        camera.reset();
        SignalTraceData data;
        std::int64_t now = 0;
        QCOMPARE(trace->Read(0, 1, data), KelError::NotOpen);
        QCOMPARE(trace->GetSignals(list), KelError::NotOpen);
        QCOMPARE(trace->GetNowNs(now), KelError::NotOpen);
    }
};

QTEST_GUILESS_MAIN(TestSimTrace)
#include "tst_simtrace.moc"
