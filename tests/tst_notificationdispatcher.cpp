// The notification thread every backend shares: merging of pending
// notifications, callbacks that call back in, and a camera released from
// inside a callback.

#include "testsupport.h"

#include "kelcpp/featureobserver.h"
#include "kelcpp/notificationdispatcher.h"

#include <future>

using namespace KelCPP;

namespace {

const QByteArray TwoFeatures = R"({ "format": 1, "features": [
    { "name": "A", "type": "Integer" },
    { "name": "B", "type": "Integer" } ] })";

// Blocks in its first callback until opened, so that notifications pile up.
// Only the notification thread touches `calls` until the camera is idle.
struct GateObserver : IFeatureObserver {
    std::promise<void> entered, open;
    std::shared_future<void> opened = open.get_future().share();
    std::vector<std::string> calls;
    std::vector<std::uint32_t> changes;

    void NotifyFeatureChanges(const std::shared_ptr<Feature>& feature, std::uint32_t how) override
    {
        changes.push_back(how);
        NotifyFeatureChanged(feature);
    }
    void NotifyFeatureChanged(const std::shared_ptr<Feature>& feature) override
    {
        std::string name;
        feature->GetName(name); // calling back in must not deadlock
        calls.push_back(name);
        if (calls.size() == 1) {
            entered.set_value();
            opened.wait();
        }
    }
};

// Holds the only reference to the camera and lets go of it in a callback,
// which closes the camera on its own notification thread.
struct ReleasingObserver : IFeatureObserver {
    std::shared_ptr<Sim::SimCamera> camera;
    std::promise<void> released;

    void NotifyFeatureChanged(const std::shared_ptr<Feature>&) override
    {
        if (!camera)
            return;
        camera.reset();
        released.set_value();
    }
};

} // namespace

class TestNotificationDispatcher : public QObject {
    Q_OBJECT

private slots:
    void pendingNotificationsOfOneFeatureMerge()
    {
        const auto camera = TestSupport::CameraFromJson(TwoFeatures);
        QVERIFY(camera);
        const FeaturePtr a = TestSupport::FindFeature(*camera, "A"), b = TestSupport::FindFeature(*camera, "B");
        const auto gate = std::make_shared<GateObserver>();
        QCOMPARE(a->RegisterObserver(gate), KelError::Success);
        QCOMPARE(b->RegisterObserver(gate), KelError::Success);

        a->SetValue(std::int64_t(1));
        gate->entered.get_future().wait(); // the thread now sits in the callback for A
        for (std::int64_t i = 2; i < 50; ++i)
            a->SetValue(i);
        b->SetValue(std::int64_t(1));
        gate->open.set_value();
        camera->WaitForNotifications();
        // The 48 writes of A while the thread was busy arrive as one, in the
        // order of first posting: A, then B.
        QCOMPARE(gate->calls, (std::vector<std::string>{ "A", "A", "B" }));
    }

    // A move and a change of one feature waiting together arrive as one
    // notification that carries both.
    void changeTypesMerge()
    {
        const auto camera = TestSupport::CameraFromJson(TwoFeatures);
        QVERIFY(camera);
        const FeaturePtr a = TestSupport::FindFeature(*camera, "A"), b = TestSupport::FindFeature(*camera, "B");
        NotificationDispatcher dispatcher;
        const auto gate = std::make_shared<GateObserver>();
        QCOMPARE(dispatcher.Register(a.get(), gate), KelError::Success);
        QCOMPARE(dispatcher.Register(b.get(), gate), KelError::Success);
        dispatcher.Post(a, KelFeatureChangeValue);
        gate->entered.get_future().wait();
        dispatcher.Post(a, KelFeatureChangeSelector);
        dispatcher.Post(b, KelFeatureChangeSelector);
        dispatcher.Post(a, KelFeatureChangeValue);
        dispatcher.Post(b, KelFeatureChangeNone); // nothing to tell: not queued
        gate->open.set_value();
        dispatcher.WaitIdle();
        QCOMPARE(gate->calls, (std::vector<std::string>{ "A", "A", "B" }));
        const std::uint32_t both = KelFeatureChangeValue | KelFeatureChangeSelector;
        QCOMPARE(gate->changes, (std::vector<std::uint32_t>{ KelFeatureChangeValue, both, KelFeatureChangeSelector }));
    }

    void observerMayReleaseTheCamera()
    {
        const auto observer = std::make_shared<ReleasingObserver>();
        observer->camera = TestSupport::CameraFromJson(TwoFeatures);
        QVERIFY(observer->camera);
        const FeaturePtr a = TestSupport::FindFeature(*observer->camera, "A");
        std::future<void> released = observer->released.get_future();
        QCOMPARE(a->RegisterObserver(observer), KelError::Success);
        QCOMPARE(a->SetValue(std::int64_t(5)), KelError::Success);
        QCOMPARE(released.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        std::int64_t value = 0;
        QCOMPARE(a->GetValue(value), KelError::NotOpen);
    }
};

QTEST_GUILESS_MAIN(TestNotificationDispatcher)
#include "tst_notificationdispatcher.moc"
