// The notification thread every backend shares: merging of pending
// notifications, callbacks that call back in, and a camera released from
// inside a callback.

#include "testsupport.h"

#include "kelcpp/featureobserver.h"
#include "kelcpp/notificationdispatcher.h"

#include <QtTest>

#include <condition_variable>
#include <mutex>

using namespace KelCPP;

namespace {

const QByteArray TwoFeatures = R"({ "format": 1, "features": [
    { "name": "A", "type": "Integer", "max": 1000000 },
    { "name": "B", "type": "Integer", "max": 1000000 } ] })";

// Blocks in its first callback until released, so that notifications pile up.
class GateObserver : public IFeatureObserver {
public:
    void NotifyFeatureChanged(const std::shared_ptr<Feature>& feature) override
    {
        std::string name;
        feature->GetName(name);
        std::unique_lock<std::mutex> lock(mutex);
        calls.push_back(name);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
    }
    void WaitEntered()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return entered; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;
    std::vector<std::string> calls;
};

// Holds the only reference to the camera and lets go of it in a callback.
class ReleasingObserver : public IFeatureObserver {
public:
    std::shared_ptr<Sim::SimCamera> camera;
    std::mutex mutex;
    std::condition_variable done;
    bool released = false;

    void NotifyFeatureChanged(const std::shared_ptr<Feature>&) override
    {
        std::shared_ptr<Sim::SimCamera> last;
        {
            std::lock_guard<std::mutex> lock(mutex);
            last.swap(camera);
        }
        last.reset(); // closes the camera on its own notification thread
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        done.notify_all();
    }
};

} // namespace

class TestNotificationDispatcher : public QObject {
    Q_OBJECT

private slots:
    void pendingNotificationsOfOneFeatureMerge();
    void observerMayReleaseTheCamera();
};

void TestNotificationDispatcher::pendingNotificationsOfOneFeatureMerge()
{
    const auto camera = TestSupport::CameraFromJson(TwoFeatures);
    FeaturePtr a, b;
    camera->GetFeatureByName("A", a);
    camera->GetFeatureByName("B", b);
    auto gate = std::make_shared<GateObserver>();
    a->RegisterObserver(gate);
    b->RegisterObserver(gate);

    a->SetValue(std::int64_t(1));
    gate->WaitEntered(); // the thread now sits in the callback for A
    for (std::int64_t i = 2; i < 50; ++i)
        a->SetValue(i);
    b->SetValue(std::int64_t(1));
    gate->Open();
    camera->WaitForNotifications();
    // The 48 writes of A while the thread was busy arrive as one, in order
    // of first posting: A, then B.
    QCOMPARE(gate->Calls(), (std::vector<std::string>{"A", "A", "B"}));
}

void TestNotificationDispatcher::observerMayReleaseTheCamera()
{
    auto observer = std::make_shared<ReleasingObserver>();
    FeaturePtr a;
    {
        auto camera = TestSupport::CameraFromJson(TwoFeatures);
        camera->GetFeatureByName("A", a);
        observer->camera = camera;
    }
    QCOMPARE(a->RegisterObserver(observer), KelError::Success);
    QCOMPARE(a->SetValue(std::int64_t(5)), KelError::Success);
    std::unique_lock<std::mutex> lock(observer->mutex);
    QVERIFY(observer->done.wait_for(lock, std::chrono::seconds(30), [&] { return observer->released; }));
    lock.unlock();
    std::int64_t value = 0;
    QCOMPARE(a->GetValue(value), KelError::NotOpen);
}

QTEST_GUILESS_MAIN(TestNotificationDispatcher)
#include "tst_notificationdispatcher.moc"
