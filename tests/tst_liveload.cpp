// Signals too fast to follow edge by edge: what simulating them costs, what
// stays exact (checked against following every edge), extreme values, and
// camera calls getting through while the simulation works.

#include "kelcpp/featureobserver.h"
#include "kelcpp/sim/simcore.h"
#include "kelcpp/sim/simfeature.h"

#include <QScopeGuard>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace KelCPP;
using namespace KelCPP::Sim;

namespace {

constexpr qint64 Max64 = std::numeric_limits<qint64>::max();
constexpr qint64 Min64 = std::numeric_limits<qint64>::min();

const char* const Activations = R"(["RisingEdge", "FallingEdge", "AnyEdge", "LevelHigh", "LevelLow"])";

// Lines 0 and 1 are inputs with the signals a test gives; 2 and 3 outputs.
QByteArray CameraJson(const QByteArray& inputs)
{
    return QByteArray(R"({ "format": 1, "features": [
    { "name": "LineSelector", "type": "Enumeration", "entries": ["Line0", "Line1", "Line2", "Line3"] },
    { "name": "LineMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": ["Input", "Output"],
      "values": { "Line2": "Output", "Line3": "Output" } },
    { "name": "LineInverter", "type": "Boolean", "selectedBy": "LineSelector" },
    { "name": "LineSource", "type": "Enumeration", "selectedBy": "LineSelector", "entries": ["Off", "Line0", "Timer0Active"] },
    { "name": "LineStatus", "type": "Boolean", "selectedBy": "LineSelector", "access": "RO" },
    { "name": "LineStatusAll", "type": "Integer", "access": "RO" },
    { "name": "Timestamp", "type": "Integer", "access": "RO" },
    { "name": "LineDebounceMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": ["Off", "On"] },
    { "name": "LineDebounceDuration", "type": "Float", "selectedBy": "LineSelector" },
    { "name": "AcquisitionStart", "type": "Command" }, { "name": "ExposureTime", "type": "Float", "value": 100 },
    { "name": "TriggerSelector", "type": "Enumeration", "entries": ["FrameStart"] },
    { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": ["Off", "On"] },
    { "name": "TriggerSource", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": ["Software", "Line0", "Timer0End"] },
    { "name": "TriggerActivation", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": %A },
    { "name": "TriggerDelay", "type": "Float", "selectedBy": "TriggerSelector" },
    { "name": "CounterSelector", "type": "Enumeration", "entries": ["Counter0", "Counter1"] },
    { "name": "CounterEventSource", "type": "Enumeration", "selectedBy": "CounterSelector",
      "entries": ["Off", "Line0", "Line2", "Line3", "Timer0Active", "Timer0End", "Timer1Active"] },
    { "name": "CounterEventActivation", "type": "Enumeration", "selectedBy": "CounterSelector", "entries": %A },
    { "name": "CounterDuration", "type": "Integer", "selectedBy": "CounterSelector" },
    { "name": "CounterValue", "type": "Integer", "selectedBy": "CounterSelector", "min": -9223372036854775808 },
    { "name": "CounterValueAtReset", "type": "Integer", "selectedBy": "CounterSelector", "access": "RO" },
    { "name": "CounterStatus", "type": "Enumeration", "selectedBy": "CounterSelector", "access": "RO",
      "entries": ["CounterIdle", "CounterTriggerWait", "CounterActive", "CounterCompleted"] },
    { "name": "CounterTriggerSource", "type": "Enumeration", "selectedBy": "CounterSelector", "entries": ["Off", "Line1"] },
    { "name": "CounterTriggerActivation", "type": "Enumeration", "selectedBy": "CounterSelector", "entries": %A },
    { "name": "CounterResetSource", "type": "Enumeration", "selectedBy": "CounterSelector",
      "entries": ["Off", "Line1", "Counter0End", "Counter1End"] },
    { "name": "CounterResetActivation", "type": "Enumeration", "selectedBy": "CounterSelector", "entries": %A },
    { "name": "CounterReset", "type": "Command", "selectedBy": "CounterSelector" },
    { "name": "TimerSelector", "type": "Enumeration", "entries": ["Timer0", "Timer1"] },
    { "name": "TimerTriggerSource", "type": "Enumeration", "selectedBy": "TimerSelector",
      "entries": ["Off", "Line0", "Timer0Active", "Timer0End", "Timer1Active", "Counter0End"] },
    { "name": "TimerTriggerActivation", "type": "Enumeration", "selectedBy": "TimerSelector", "entries": %A },
    { "name": "TimerDelay", "type": "Float", "selectedBy": "TimerSelector" },
    { "name": "TimerDuration", "type": "Float", "selectedBy": "TimerSelector" },
    { "name": "TimerStatus", "type": "Enumeration", "selectedBy": "TimerSelector", "access": "RO",
      "entries": ["TimerIdle", "TimerTriggerWait", "TimerActive", "TimerCompleted"] },
    { "name": "TimerValue", "type": "Float", "selectedBy": "TimerSelector", "access": "RO" },
    { "name": "TimerReset", "type": "Command", "selectedBy": "TimerSelector" }
  ],
  "simulation": { "inputSignals": %S }
})").replace("%A", Activations).replace("%S", inputs);
}

// A simulated camera's core, driven directly so that a test can count the
// instants the live model evaluates and switch dense signals off.
struct Rig {
    std::shared_ptr<SimCore> core;

    explicit Rig(const QByteArray& inputs, bool live = false, Description description = {})
    {
        std::string error;
        if (description.features.empty() && !ParseDescription(CameraJson(inputs).toStdString(), description, error))
            qWarning("%s", error.c_str());
        SimOptions options;
        options.live = live;
        core = std::make_shared<SimCore>(std::move(description), options);
        core->Start();
    }
    ~Rig() { core->Close(); }

    FeaturePtr Get(const QString& name) const { return core->Features()[core->Desc().Find(name.toStdString())]; }
    KelFeatureDataType Type(const QString& name) const
    {
        return core->Def(core->Desc().Find(name.toStdString())).type;
    }
    std::int64_t Int(const char* name) const { std::int64_t v = -1; Get(name)->GetValue(v); return v; }
    QString Text(const char* name) const
    {
        std::string s;
        double d = 0;
        bool b = false;
        switch (Type(name)) {
        case KelFeatureDataInt: return QString::number(Int(name));
        case KelFeatureDataFloat: Get(name)->GetValue(d); return QString::number(d, 'f', 0);
        case KelFeatureDataBool: Get(name)->GetValue(b); return b ? "1" : "0";
        default: Get(name)->GetValue(s); return QString::fromStdString(s);
        }
    }
    // Steps apart by ", ": "Feature=value" writes in the feature's type;
    // "Command!" runs one; "Line0^1" forces a line high, "Line0^" releases
    // it; "+100" steps 100 µs. Returns the first step that failed, or "".
    QString Apply(const QString& script)
    {
        for (const QString& step : script.split(", ", Qt::SkipEmptyParts)) {
            const QString name = step.section(QRegExp("[=!^]"), 0, 0), value = step.section(QRegExp("[=^]"), 1);
            KelErrorType result = KelError::Success;
            if (step.startsWith('+'))
                core->Step(step.mid(1).toLongLong());
            else if (step.contains('^'))
                result = core->ForceLine(name.toStdString(), value.isEmpty(), value == "1");
            else if (core->Desc().Find(name.toStdString()) < 0)
                return step;
            else if (Type(name) == KelFeatureDataCommand)
                result = Get(name)->RunCommand();
            else if (Type(name) == KelFeatureDataInt)
                result = Get(name)->SetValue(std::int64_t(value.toLongLong()));
            else if (Type(name) == KelFeatureDataFloat)
                result = Get(name)->SetValue(value.toDouble());
            else if (Type(name) == KelFeatureDataBool)
                result = Get(name)->SetValue(value == "true");
            else
                result = Get(name)->SetValue(value.toUtf8().constData());
            if (result != KelError::Success)
                return step;
        }
        return {};
    }
    // Everything a host can see of the live parts, per line, timer and counter.
    QString Snapshot()
    {
        QStringList parts;
        for (const char* line : {"Line0", "Line1", "Line2", "Line3"})
            parts << (Apply(QString("LineSelector=") + line) + Text("LineStatus"));
        for (const char* timer : {"Timer0", "Timer1"})
            parts << (Apply(QString("TimerSelector=") + timer) + Text("TimerStatus")) << Text("TimerValue");
        for (const char* counter : {"Counter0", "Counter1"}) {
            parts << (Apply(QString("CounterSelector=") + counter) + Text("CounterValue"))
                  << Text("CounterValueAtReset") << Text("CounterStatus");
        }
        return parts.join(' ') + QString(" frames %1 all %2").arg(core->Frames()).arg(Int("LineStatusAll"));
    }
};

// A self-retriggering timer: a PWM of `delay` low and `duration` high.
QString Pwm(const QString& delay, const QString& duration)
{
    return "TimerDelay=" + delay + ", TimerDuration=" + duration
           + ", TimerTriggerActivation=FallingEdge, TimerTriggerSource=Timer0Active";
}

struct CountingObserver : IFeatureObserver {
    std::atomic<int> calls{0};
    void NotifyFeatureChanged(const std::shared_ptr<Feature>&) override { ++calls; }
};

} // namespace

class TestLiveLoad : public QObject {
    Q_OBJECT

private slots:
    void denseSignalsCostOneInstantPerStep_data()
    {
        QTest::addColumn<QByteArray>("inputs");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<qint64>("counted");   // by Counter0 over 10 s
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("status");      // of that line at 10 s
        QTest::addColumn<QString>("timer");    // TimerStatus of Timer0 at 10 s

        const QByteArray line10kHz = R"({ "Line0": { "periodUs": 100, "highUs": 50 } })";
        // Rising at 100, 200, ... 10 s; the one at 0 came before the counter.
        QTest::newRow("rising edges of a 10 kHz line")
            << line10kHz << "CounterEventSource=Line0" << qint64(100000) << "Line0" << true
            << "TimerIdle";
        QTest::newRow("a level activation: the edges into the level count")
            << line10kHz << "CounterEventSource=Line0, CounterEventActivation=LevelHigh"
            << qint64(100000) << "Line0" << true << "TimerIdle";
        // Active from 5 µs into each 10 µs cycle; at 10 s a cycle has just begun.
        QTest::newRow("a 100 kHz PWM on an output line, its rising edges counted")
            << line10kHz
            << Pwm("5", "5") + ", LineSelector=Line2, LineSource=Timer0Active, CounterEventSource=Line2"
            << qint64(1000000) << "Line2" << false << "TimerActive";
        // The dialog's 1 MHz: 0.5 µs each, which the timer runs in whole µs.
        QTest::newRow("the end events of a PWM of 0.5 µs delay and duration, inverted on a line")
            << line10kHz
            << Pwm("0.5", "0.5")
                   + ", LineSelector=Line3, LineSource=Timer0Active, LineInverter=true, "
                     "CounterEventSource=Timer0End"
            << qint64(5000000) << "Line3" << true << "TimerActive";
        // High was already stable when the filter came on: the first edge
        // through it rises at 100 + 20 µs, the last at 10 s - 80 µs.
        QTest::newRow("a 10 kHz line late by its 20 µs debounce window")
            << QByteArray(R"({ "Line0": { "periodUs": 100, "highUs": 60 } })")
            << "LineDebounceMode=On, LineDebounceDuration=20, CounterEventSource=Line0"
            << qint64(99999) << "Line0" << false << "TimerIdle";
    }

    void denseSignalsCostOneInstantPerStep()
    {
        QFETCH(QByteArray, inputs);
        QFETCH(QString, setup);
        QFETCH(qint64, counted);
        QFETCH(QString, line);
        QFETCH(bool, status);
        QFETCH(QString, timer);
        Rig rig(inputs);
        QCOMPARE(rig.Apply(setup), QString());
        const std::uint64_t before = rig.core->EvaluationCount();
        for (int tick = 0; tick < 500; ++tick)
            rig.core->Step(20000); // 10 s in the live thread's ticks
        // Following every edge would take 200 000 instants and more.
        QVERIFY2(rig.core->EvaluationCount() - before <= 1000,
                 qPrintable(QString::number(rig.core->EvaluationCount() - before)));
        QCOMPARE(rig.Int("CounterValue"), counted);
        QCOMPARE(rig.Apply("LineSelector=" + line), QString());
        QCOMPARE(rig.Text("LineStatus"), status ? "1" : "0");
        QCOMPARE(rig.Text("TimerStatus"), timer);
    }

    void denseModelAgreesWithFollowingEveryEdge_data()
    {
        QTest::addColumn<QByteArray>("inputs");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("midway");

        const QByteArray lines = R"({ "Line0": { "periodUs": 300, "highUs": 100, "phaseUs": 17 },
                                      "Line1": { "periodUs": 7000, "highUs": 2500, "phaseUs": 400 } })";
        QTest::newRow("a line's rising edges up to a counter duration, then a reset")
            << lines << "CounterEventSource=Line0, CounterDuration=777"
            << "CounterSelector=Counter0, CounterReset!";
        // Counting end events in threes makes instants on the cycle ends,
        // where a PWM without delay falls and rises again at once.
        QTest::newRow("edges of a PWM without delay, on its cycle ends too, and its duration changed")
            << lines
            << Pwm("0", "150") + ", LineSelector=Line2, LineSource=Timer0Active, CounterEventSource=Timer0End, "
                                 "CounterDuration=3, CounterResetSource=Counter0End, CounterSelector=Counter1, "
                                 "CounterEventSource=Line2"
            << "TimerSelector=Timer0, TimerDuration=90, CounterSelector=Counter1, "
               "CounterEventActivation=AnyEdge";
        QTest::newRow("a PWM taken off its own edge and put back while active")
            << lines << Pwm("40", "260") + ", CounterEventSource=Timer0Active"
            << "+10, TimerSelector=Timer0, TimerTriggerActivation=RisingEdge, "
               "TimerTriggerActivation=FallingEdge, +10";
        QTest::newRow("an inverted output of a PWM without delay, on its cycle ends too, and the PWM reset")
            << lines
            << Pwm("0", "200")
                   + ", LineSelector=Line3, LineSource=Timer0Active, LineInverter=true, "
                     "CounterEventSource=Line3, CounterEventActivation=FallingEdge, CounterSelector=Counter1, "
                     "CounterEventSource=Timer0End, CounterDuration=2, CounterResetSource=Counter1End"
            << "TimerSelector=Timer0, TimerReset!, CounterSelector=Counter0, CounterEventActivation=AnyEdge";
        QTest::newRow("a debounced line, late by its window, then dropping its pulses")
            << QByteArray(R"({ "Line0": { "periodUs": 400, "highUs": 150 } })")
            << "LineDebounceMode=On, LineDebounceDuration=30, CounterEventSource=Line0, "
               "CounterEventActivation=AnyEdge"
            << "LineSelector=Line0, LineDebounceDuration=200";
        // Forced low, released 10 µs into a pulse: it passes the window 30 µs
        // after the release, not after the edge.
        QTest::newRow("a debounced line released from a forced level in the middle of a pulse")
            << QByteArray(R"({ "Line0": { "periodUs": 400, "highUs": 150 } })")
            << "LineDebounceMode=On, LineDebounceDuration=30, Line0^0, +410, Line0^, TimerTriggerSource=Line0, "
               "TimerDuration=1e6, CounterEventSource=Line0"
            << "Line0^1, +5, Line0^";
        QTest::newRow("a timer started when a counter of a line reaches its duration")
            << lines
            << "CounterEventSource=Line0, CounterDuration=7, CounterResetSource=Counter0End, "
               "TimerTriggerSource=Counter0End, TimerDelay=100, TimerDuration=1000"
            << "CounterSelector=Counter0, CounterDuration=3";
        QTest::newRow("frames triggered by a line's rising, then falling edges")
            << QByteArray(R"({ "Line0": { "periodUs": 500, "highUs": 300 } })")
            << "TriggerMode=On, TriggerSource=Line0, TriggerDelay=20, AcquisitionStart!"
            << "TriggerActivation=FallingEdge, ExposureTime=150";
    }

    void denseModelAgreesWithFollowingEveryEdge()
    {
        QFETCH(QByteArray, inputs);
        QFETCH(QString, setup);
        QFETCH(QString, midway);
        Rig dense(inputs), edges(inputs);
        dense.core->SetDenseBelowUs(10000); // the periods here would be followed edge by edge by default
        edges.core->SetDenseBelowUs(0);
        QCOMPARE(dense.Apply(setup), QString());
        QCOMPARE(edges.Apply(setup), QString());
        std::uint32_t lcg = 12345; // uneven steps, the same for both
        for (int step = 0; step < 60; ++step) {
            if (step == 30) {
                QCOMPARE(dense.Apply(midway), QString());
                QCOMPARE(edges.Apply(midway), QString());
            }
            lcg = lcg * 1103515245u + 12345u;
            const std::int64_t us = 1 + (lcg >> 8) % 15000;
            dense.core->Step(us);
            edges.core->Step(us);
            QCOMPARE(dense.Snapshot(), edges.Snapshot());
        }
        QVERIFY(dense.core->EvaluationCount() < edges.core->EvaluationCount());
    }

    void aDenseTriggerIsTakenOnlyWhileTheCameraWaits()
    {
        Rig rig(R"({ "Line0": { "periodUs": 100, "highUs": 50 } })");
        QCOMPARE(rig.Apply("TriggerMode=On, TriggerSource=Line0, ExposureTime=5000, AcquisitionStart!"), QString());
        rig.core->Step(1000000);
        // Back to back from the first edge at 100 µs: each exposure ends on an
        // edge, which starts the next.
        QCOMPARE(rig.core->Frames(), std::uint64_t(199));
        QVERIFY(rig.core->EvaluationCount() < 2000);
        // The edges that came while it was busy left nothing queued.
        QCOMPARE(rig.Apply("TriggerSource=Software"), QString());
        rig.core->Step(1000000);
        QCOMPARE(rig.core->Frames(), std::uint64_t(200));
    }

    void extremeValuesStayInRange_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("timer");
        QTest::addColumn<qint64>("counter");   // Counter0's value at the end of time

        QTest::newRow("a timer of near 2^63 µs started by a dense line")
            << "TimerTriggerSource=Line0, TimerDelay=9.2e18, TimerDuration=9.2e18"
            << "TimerActive" << qint64(0);
        QTest::newRow("a PWM of 0.4 µs delay and duration: no length in whole µs, so it waits")
            << Pwm("0.4", "0.4") << "TimerTriggerWait" << qint64(0);
        QTest::newRow("a counter near the top of int64 counting a dense PWM stops there")
            << Pwm("1", "1") + QString(", CounterEventSource=Timer0End, CounterValue=%1").arg(Max64 - 5)
            << "TimerActive" << Max64;
        QTest::newRow("frames of endless exposure and trigger delay from a dense line")
            << "TriggerMode=On, TriggerSource=Line0, TriggerDelay=1e300, ExposureTime=1e300, "
               "AcquisitionStart!, CounterEventSource=Line0"
            << "TimerIdle" << qint64(Max64 / 100); // rising at every 100 µs up to the end
    }

    void extremeValuesStayInRange()
    {
        QFETCH(QString, setup);
        QFETCH(QString, timer);
        QFETCH(qint64, counter);
        Rig rig(R"({ "Line0": { "periodUs": 100, "highUs": 50 } })");
        QCOMPARE(rig.Apply(setup), QString());
        rig.core->Step(1000);
        const std::uint64_t before = rig.core->EvaluationCount();
        for (const qint64 us : {Max64 / 2, Max64, Max64})
            rig.core->Step(us);
        QVERIFY(rig.core->EvaluationCount() - before < 100);
        QCOMPARE(rig.core->Now(), Max64 - 1); // time stops one short of "never"
        QCOMPARE(rig.Int("Timestamp"), Max64); // in ns: as far as it goes
        QCOMPARE(rig.Text("TimerStatus"), timer);
        QCOMPARE(rig.Int("CounterValue"), counter);
    }

    void extremePhasesActAsTheirRemainder_data()
    {
        QTest::addColumn<qint64>("period");
        QTest::addColumn<qint64>("phase");
        QTest::addColumn<qint64>("remainder");
        QTest::addColumn<qint64>("until"); // slow lines go edge by edge: not to the end of time
        QTest::newRow("a dense line shifted by the bottom of int64") << qint64(100) << Min64 << qint64(92) << Max64;
        QTest::newRow("a slow line shifted by the bottom of int64")
            << qint64(4000) << Min64 << qint64(192) << qint64(9000000);
    }

    void extremePhasesActAsTheirRemainder()
    {
        QFETCH(qint64, period);
        QFETCH(qint64, phase);
        QFETCH(qint64, remainder);
        QFETCH(qint64, until);
        const auto line = [&](qint64 shift) {
            return QString(R"({ "Line0": { "periodUs": %1, "highUs": %2, "phaseUs": %3 } })")
                .arg(period).arg(period - period / 3).arg(shift).toUtf8();
        };
        Rig shifted(line(phase)), plain(line(remainder));
        for (Rig* rig : {&shifted, &plain})
            QCOMPARE(rig->Apply("CounterEventSource=Line0, CounterEventActivation=AnyEdge"), QString());
        for (const qint64 us : {qint64(1), qint64(37), qint64(12345), qint64(3000000), until / 3, until}) {
            shifted.core->Step(us);
            plain.core->Step(us);
            QCOMPARE(shifted.Snapshot(), plain.Snapshot());
        }
    }

    void integerSelectorAtTheLimitsOfInt64_data()
    {
        QTest::addColumn<qint64>("min");
        QTest::addColumn<qint64>("max");
        QTest::addColumn<qint64>("inc");
        QTest::addColumn<QString>("lines");
        QTest::newRow("the top two values") << Max64 - 1 << Max64 << qint64(1)
                                            << "9223372036854775806, 9223372036854775807";
        QTest::newRow("all of int64: too many to walk") << Min64 << Max64 << qint64(1) << "";
    }

    void integerSelectorAtTheLimitsOfInt64()
    {
        QFETCH(qint64, min);
        QFETCH(qint64, max);
        QFETCH(qint64, inc);
        QFETCH(QString, lines);
        // The loader refuses such selectors; the live model must cope on its own.
        Description description;
        std::string error;
        QVERIFY2(ParseDescription(R"({ "format": 1, "features": [
            { "name": "LineSelector", "type": "Integer", "max": 3 },
            { "name": "LineStatus", "type": "Boolean", "selectedBy": "LineSelector", "access": "RO" } ] })",
                                  description, error), error.c_str());
        description.features[0].imin = min;
        description.features[0].imax = max;
        description.features[0].iinc = inc;
        Rig rig({}, false, std::move(description));
        QStringList names;
        for (const std::string& name : rig.core->Lines())
            names << QString::fromStdString(name);
        QCOMPARE(names.join(", "), lines);
        rig.core->Step(1000);
    }

    void aDenseLineIsNewsAtTheNotifyInterval()
    {
        Rig rig(R"({ "Line0": { "periodUs": 100, "highUs": 50 } })");
        auto observer = std::make_shared<CountingObserver>();
        QCOMPARE(rig.Get("LineStatus")->RegisterObserver(observer), KelError::Success);
        // Every 20 ms sample finds Line0 high, yet it toggled in between: the
        // observer hears of it once per 250 ms, as of a slow line.
        for (int tick = 0; tick < 50; ++tick) {
            rig.core->Step(20000);
            rig.core->WaitForNotifications(); // else queued ones merge
        }
        QVERIFY2(observer->calls >= 3 && observer->calls <= 5, qPrintable(QString::number(observer->calls)));
    }

    void workIsCappedWhereTheModelCannotSimplify()
    {
        // A timer of 1 µs retriggered by a 10 kHz line: three instants each
        // 100 µs, more than the 256 a slice of 10 ms may take.
        Rig rig(R"({ "Line0": { "periodUs": 100, "highUs": 50 } })");
        QCOMPARE(rig.Apply("TimerTriggerSource=Line0, TimerDelay=1, TimerDuration=1"), QString());
        const std::uint64_t before = rig.core->EvaluationCount();
        rig.core->Step(1000000);
        QVERIFY2(rig.core->EvaluationCount() - before <= 101 * 257,
                 qPrintable(QString::number(rig.core->EvaluationCount() - before)));
        QCOMPARE(rig.core->Now(), std::int64_t(1000000));
        QCOMPARE(rig.Text("TimerStatus"), "TimerActive"); // late at worst, never stuck
    }

    void aLongStepLetsOtherCallsIn()
    {
        Rig rig(R"({ "Line0": { "periodUs": 100, "highUs": 50 } })");
        rig.core->SetDenseBelowUs(0);
        QCOMPARE(rig.Apply(Pwm("1", "1")), QString());
        const std::int64_t hour = 3600LL * 1000000;
        std::thread stepper([&] { rig.core->Step(hour); }); // hours of work edge by edge
        const auto stop = qScopeGuard([&] { rig.core->Close(); if (stepper.joinable()) stepper.join(); });
        // Calls get the camera between the pieces of that one step: they see
        // its time move on.
        std::int64_t seen = 0;
        int moves = 0;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     const std::int64_t now = rig.core->Now();
                                     if (now > seen && now < hour) {
                                         seen = now;
                                         ++moves;
                                     }
                                     return moves >= 3;
                                 }()),
                                 60000);
        rig.core->Close(); // ends the step too
        stepper.join();
        QVERIFY(rig.core->Now() < hour);
    }

    void aLiveCameraAnswersWhileDenseSignalsRun_data()
    {
        QTest::addColumn<qint64>("denseBelow");
        QTest::newRow("dense signals in closed form") << qint64(1000);
        QTest::newRow("the worst case: every edge followed") << qint64(0);
    }

    void aLiveCameraAnswersWhileDenseSignalsRun()
    {
        QFETCH(qint64, denseBelow);
        Rig rig(R"({ "Line0": { "periodUs": 100, "highUs": 50 }, "Line1": { "periodUs": 70, "highUs": 30 } })",
                true);
        rig.core->SetDenseBelowUs(denseBelow);
        QCOMPARE(rig.Apply(Pwm("0.5", "0.5") + ", CounterEventSource=Timer0End"), QString());
        constexpr int reads = 200;
        std::atomic<int> done{0}, failed{0};
        std::atomic<std::int64_t> last{0};
        std::thread reader([&] {
            for (int i = 0; i < reads; ++i) {
                std::int64_t value = 0;
                if (rig.Get("CounterValue")->GetValue(value) != KelError::Success)
                    ++failed;
                last = value;
                ++done;
            }
        });
        const auto stop = qScopeGuard([&] { rig.core->Close(); reader.join(); }); // a stuck read fails, then
        QTRY_COMPARE_WITH_TIMEOUT(done.load(), reads, 60000);
        QCOMPARE(failed.load(), 0);
        // ... and the simulation went on meanwhile.
        const std::int64_t first = last;
        QTRY_VERIFY_WITH_TIMEOUT(rig.Int("CounterValue") > first, 60000);
    }
};

QTEST_GUILESS_MAIN(TestLiveLoad)
#include "tst_liveload.moc"
