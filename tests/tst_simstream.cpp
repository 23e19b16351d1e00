// Frames of the simulated camera: when it makes them, how they are numbered,
// stamped and drawn, what a busy camera does with a trigger, and how a
// stream ends (under ASan, an observer called after it was let go shows).

#include "testsupport.h"

#include <condition_variable>
#include <mutex>

using namespace KelCPP;
using namespace KelCPP::Sim;

namespace {

// Line1 rises every 100 µs: dense.
const QByteArray StreamCamera = R"({ "format": 1, "features": [
    { "name": "Width", "type": "Integer", "min": 16, "max": 256, "value": 64 },
    { "name": "Height", "type": "Integer", "min": 16, "max": 256, "value": 48 },
    { "name": "LineSelector", "type": "Enumeration", "entries": ["Line0", "Line1"] },
    { "name": "AcquisitionStart", "type": "Command" }, { "name": "AcquisitionStop", "type": "Command" },
    { "name": "AcquisitionMode", "type": "Enumeration", "entries": ["Continuous", "SingleFrame", "MultiFrame"] },
    { "name": "AcquisitionFrameCount", "type": "Integer", "min": 1, "value": 3 },
    { "name": "AcquisitionFrameRate", "type": "Float", "min": 1, "max": 10000, "value": 100 },
    { "name": "ExposureTime", "type": "Float", "value": 1000 },
    { "name": "TriggerSelector", "type": "Enumeration", "entries": ["FrameStart"] },
    { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": ["Off", "On"] },
    { "name": "TriggerSource", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": ["Software", "Line0", "Line1"] },
    { "name": "TriggerDelay", "type": "Float", "selectedBy": "TriggerSelector" },
    { "name": "TriggerSoftware", "type": "Command", "selectedBy": "TriggerSelector" },
    { "name": "Timestamp", "type": "Integer", "access": "RO" } ],
  "simulation": { "inputSignals": { "Line1": { "periodUs": 100, "highUs": 50 } } } })";

// Keeps every frame, reading a feature of the camera in each call as a
// viewer might; stops its own stream after `stopAfter` frames.
struct Collector : IFrameObserver {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<FramePtr> frames;
    FeaturePtr timestamp;
    SimCamera* camera = nullptr;
    std::size_t stopAfter = 0;

    void FrameReceived(const FramePtr& frame) override
    {
        std::int64_t now = 0;
        if (timestamp)
            timestamp->GetValue(now); // NotOpen once the camera closes
        std::unique_lock<std::mutex> lock(mutex);
        frames.push_back(frame);
        arrived.notify_all();
        if (frames.size() == stopAfter) {
            lock.unlock();
            camera->StopStream();
        }
    }
    bool WaitFor(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(10), [&] { return frames.size() >= count; });
    }
    std::vector<FramePtr> Frames()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
};

} // namespace

class TestSimStream : public QObject {
    Q_OBJECT

    std::shared_ptr<SimCamera> camera;
    std::shared_ptr<Collector> collector;

    // Time passes in pieces of 10 ms that each wait for their frames, so
    // that none is dropped.
    QString Apply(const QString& script)
    {
        return TestSupport::ApplyScript(*camera, script, [this](std::int64_t us) {
            for (std::int64_t left = us; left > 0; left -= 10000) {
                camera->Step(std::chrono::microseconds(std::min<std::int64_t>(left, 10000)));
                if (!collector->WaitFor(camera->FramesAcquired()))
                    return false;
            }
            return true;
        });
    }
    StreamStatistics Statistics()
    {
        StreamStatistics s;
        camera->GetStreamStatistics(s);
        return s;
    }

private slots:
    void init()
    {
        QVERIFY(camera = TestSupport::CameraFromJson(StreamCamera));
        collector = std::make_shared<Collector>();
        QCOMPARE(camera->StartStream(collector), KelError::Success);
    }

    void framesComeOnePerExposure_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("count");
        QTest::addColumn<qint64>("firstUs"); // when the exposure of the first frame began, and of the last
        QTest::addColumn<qint64>("lastUs");
        QTest::newRow("none before acquisition starts") << "+100000" << 0 << qint64(0) << qint64(0);
        QTest::newRow("free run over a second at 100 Hz")
            << "AcquisitionStart!, +1000000" << 100 << qint64(0) << qint64(990000);
        QTest::newRow("free run at 250 Hz in another size, stopped after 98 ms")
            << "Width=128, AcquisitionFrameRate=250, +3000, AcquisitionStart!, +98000, AcquisitionStop!, +100000"
            << 25 << qint64(3000) << qint64(99000);
        QTest::newRow("SingleFrame takes one")
            << "AcquisitionMode=SingleFrame, AcquisitionStart!, +500000" << 1 << qint64(0) << qint64(0);
        QTest::newRow("MultiFrame takes AcquisitionFrameCount")
            << "AcquisitionMode=MultiFrame, AcquisitionFrameCount=4, AcquisitionStart!, +500000" << 4 << qint64(0)
            << qint64(30000);
        QTest::newRow("one per software trigger")
            << "TriggerMode=On, AcquisitionStart!, +1000, TriggerSoftware!, +7000, TriggerSoftware!, +50000" << 2
            << qint64(1000) << qint64(8000);
        QTest::newRow("a line trigger: exposure starts TriggerDelay after the edge")
            << "TriggerMode=On, TriggerSource=Line0, TriggerDelay=250, AcquisitionStart!, +1234, Line0^1, +50000"
            << 1 << qint64(1484) << qint64(1484);
    }

    void framesComeOnePerExposure()
    {
        QFETCH(QString, script);
        QFETCH(int, count);
        QFETCH(qint64, firstUs);
        QFETCH(qint64, lastUs);
        QCOMPARE(Apply(script), QString());
        const auto frames = collector->Frames();
        QCOMPARE(int(frames.size()), count);
        std::int64_t width = 0;
        TestSupport::FindFeature(*camera, "Width")->GetValue(width);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const Frame& frame = *frames[i];
            QCOMPARE(frame.id, i + 1);
            QCOMPARE(frame.status, KelFrameComplete);
            QCOMPARE(frame.pixelFormat, KelPixelFormatMono8);
            QCOMPARE(frame.width, std::uint32_t(width));
            QCOMPARE(frame.data.size(), std::size_t(width * 48));
            // A new picture each frame, its id in white on black over grey bars.
            QVERIFY(i == 0 || frame.data != frames[i - 1]->data);
            const auto [low, high] = std::minmax_element(frame.data.begin(), frame.data.end());
            QVERIFY(*low == 0 && *high == 255);
        }
        if (count > 0) {
            QCOMPARE(qint64(frames.front()->timestampNs / 1000), firstUs);
            QCOMPARE(qint64(frames.back()->timestampNs / 1000), lastUs);
        }
        QTRY_COMPARE(Statistics().framesDelivered, std::uint64_t(count));
        QCOMPARE(Statistics().framesDropped, std::uint64_t(0));
    }

    void aTriggerWhileBusyIsMissedNotQueued()
    {
        // Held back 2 ms, then exposing 5 ms: triggers in either are missed,
        // then the camera waits for the next one.
        QCOMPARE(Apply("TriggerMode=On, TriggerDelay=2000, ExposureTime=5000, AcquisitionStart!, TriggerSoftware!, "
                       "+1000, TriggerSoftware!, +3000, TriggerSoftware!, +50000, TriggerSoftware!, +50000"),
                 QString());
        QCOMPARE(collector->Frames().size(), std::size_t(2));
        QCOMPARE(collector->Frames().back()->timestampNs, std::int64_t(56000000));
        QVERIFY(Statistics().missedTriggersKnown);
        QCOMPARE(Statistics().missedTriggers, std::uint64_t(2));
        SignalTraceData data;
        std::vector<SignalInfo> list;
        camera->GetSignalTrace()->GetSignals(list);
        QCOMPARE(camera->GetSignalTrace()->Read(0, INT64_MAX, data), KelError::Success);
        QStringList events;
        for (const SignalEdge& e : data.edges) {
            if (list[e.signal].kind == KelSignalEvent)
                events << QString("%1@%2").arg(QString::fromStdString(list[e.signal].name)).arg(e.timeNs / 1000);
        }
        QCOMPARE(events.join(' '), "FrameTrigger@0 FrameTriggerMissed@1000 FrameTriggerMissed@4000 FrameTrigger@54000");

        // From a dense line, back to back from its next edge, 104.1 ms: each
        // exposure ends on the edge that starts the next, and misses the 49
        // in between, though the model never stops at them.
        QCOMPARE(Apply("TriggerDelay=0, TriggerSource=Line1, +100000"), QString());
        QCOMPARE(collector->Frames().size(), std::size_t(2 + 19)); // the 20th exposes until 204.1 ms
        QCOMPARE(collector->Frames().back()->timestampNs, std::int64_t(194100000));
        QCOMPARE(Statistics().missedTriggers, std::uint64_t(2 + 20 * 49));
    }

    void aStreamStartsOnceAndRestartsFromOne()
    {
        QCOMPARE(camera->StartStream(collector), KelError::InvalidAccess);
        QCOMPARE(camera->StartStream(nullptr), KelError::BadParameter);
        QCOMPARE(Apply("AcquisitionStart!, +25000"), QString());
        QCOMPARE(camera->StopStream(), KelError::Success);
        camera->Step(std::chrono::microseconds(50000)); // frames go nowhere now
        QCOMPARE(collector->Frames().size(), std::size_t(3));
        QCOMPARE(Statistics().framesDelivered, std::uint64_t(3)); // of the last stream, until the next
        QCOMPARE(camera->StopStream(), KelError::Success);

        auto second = std::make_shared<Collector>();
        QCOMPARE(camera->StartStream(second), KelError::Success);
        QCOMPARE(Statistics().framesDelivered, std::uint64_t(0));
        camera->Step(std::chrono::microseconds(10000));
        QVERIFY(second->WaitFor(1));
        QCOMPARE(second->Frames().front()->id, std::uint64_t(1));
        QCOMPARE(second->Frames().front()->timestampNs, std::int64_t(80000000));
    }

    void theObserverIsLetGoWhenTheStreamEnds_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("StopStream while frames queue") << "stop";
        QTest::newRow("the camera closed while frames queue") << "close";
        QTest::newRow("the observer stops its own stream") << "self";
    }

    void theObserverIsLetGoWhenTheStreamEnds()
    {
        QFETCH(QString, how);
        QCOMPARE(camera->StopStream(), KelError::Success);
        auto observer = std::make_shared<Collector>();
        observer->timestamp = TestSupport::FindFeature(*camera, "Timestamp");
        observer->camera = camera.get();
        observer->stopAfter = how == "self" ? 3 : 0;
        const std::weak_ptr<Collector> watch = observer;
        QCOMPARE(camera->StartStream(observer), KelError::Success);
        observer.reset(); // the stream holds the only reference
        QCOMPARE(Apply("AcquisitionFrameRate=10000, ExposureTime=50, AcquisitionStart!"), QString());
        camera->Step(std::chrono::microseconds(100000)); // 1000 frames for a queue of 8
        if (how == "stop") {
            QCOMPARE(camera->StopStream(), KelError::Success);
            QVERIFY(watch.expired());
        } else if (how == "close") {
            camera.reset();
            QVERIFY(watch.expired());
        } else {
            QTRY_VERIFY(watch.expired());
            QCOMPARE(Statistics().framesDelivered, std::uint64_t(3));
            QCOMPARE(camera->StartStream(collector), KelError::Success);
        }
    }
};

QTEST_GUILESS_MAIN(TestSimStream)
#include "tst_simstream.moc"
