#include "widgets/basetabpluginwidget.h"

#include "testsupport.h"

#include <QTimer>
#include <QtTest>

using KelCPP::Sim::Op;

namespace {

const QByteArray description = R"({ "format": 1, "features": [
  { "name": "DeviceVendorName", "type": "String", "value": "Brennix" },
  { "name": "Gain", "type": "Integer", "max": 100 },
  { "name": "Mode", "type": "Enumeration", "entries": [ "Off", "On" ] } ] })";

// The smallest view: records what each refresh is handed.
class View : public BaseTabPluginWidget
{
public:
    explicit View(const CameraFeatureList& features) : BaseTabPluginWidget(features, nullptr)
    {
        observedFeatures << "Mode" << "Missing" << "Gain";
    }
    void UpdateChangedFeatures() override { refreshes << *changedFeatures; }
    void ApplyColorScheme() override { ++colorSchemes; }
    QStringList Changed() const { return *changedFeatures; }
    bool TimerRunning() const { return refreshTimer->isActive(); }

    QList<QStringList> refreshes;
    int colorSchemes = 0;
};

} // namespace

class TestBaseTabPluginWidget : public QObject
{
    Q_OBJECT
    std::shared_ptr<KelCPP::Sim::SimCamera> camera;
    std::unique_ptr<View> view;

    // Another client's write, reported to the observers.
    void SetGain(std::int64_t value)
    {
        QCOMPARE(TestSupport::FindFeature(*camera, "Gain")->SetValue(value), KelCPP::KelError::Success);
        camera->WaitForNotifications();
        QCoreApplication::sendPostedEvents(); // the view's share of them
    }

private slots:
    void init()
    {
        QVERIFY(camera = TestSupport::CameraFromJson(description));
        view = std::make_unique<View>(TestSupport::CameraFeatures(*camera));
    }
    void cleanup() { view.reset(); }

    void vendorCheck_data()
    {
        QTest::addColumn<QByteArray>("feature"); // name and value of the camera's one text feature
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exactly the vendor") << QByteArray("DeviceVendorName Brennix") << true;
        QTest::newRow("the vendor's full name") << QByteArray("DeviceVendorName Brennix Vision Systems") << true;
        QTest::newRow("other vendor") << QByteArray("DeviceVendorName Kestrel Imaging") << false;
        QTest::newRow("lower case") << QByteArray("DeviceVendorName brennix") << false;
        QTest::newRow("vendor not at the start") << QByteArray("DeviceVendorName  Brennix") << false;
        QTest::newRow("no vendor feature") << QByteArray("DeviceModelName Brennix") << false;
    }
    void vendorCheck()
    {
        QFETCH(QByteArray, feature);
        QFETCH(bool, accepted);
        const int blank = feature.indexOf(' ');
        const auto cam = TestSupport::CameraFromJson(R"({ "format": 1, "features": [ { "type": "String", "name": ")"
            + feature.left(blank) + R"(", "value": ")" + feature.mid(blank + 1) + R"(" } ] })");
        try {
            View refused(TestSupport::CameraFeatures(*cam));
            QVERIFY(accepted);
        } catch (const TabExtensionException& refusal) {
            QVERIFY(!accepted);
            QCOMPARE(refusal.code, 4);
            QCOMPARE(refusal.message, QString("Vendor not supported for plugins, widget not created."));
        }
    }

    // The one test that lets the real timer fire.
    void visibilityDrivesObserversAndTimer()
    {
        view->show();
        // In the camera's order; an observed name the camera lacks is not marked.
        QCOMPARE(view->Changed(), QStringList({ "Gain", "Mode" }));
        QCOMPARE(camera->CallCount(Op::RegisterObserver), std::uint64_t(2));
        QTRY_COMPARE_WITH_TIMEOUT(view->refreshes.size(), 2, 10000); // the one at showing, then the first tick
        QCOMPARE(view->refreshes.at(1), QStringList({ "Gain", "Mode" }));

        SetGain(1);
        view->hide();
        QVERIFY(view->Changed().isEmpty() && !view->TimerRunning());
        QCOMPARE(camera->CallCount(Op::UnregisterObserver), std::uint64_t(2));
        SetGain(5);
        QVERIFY(view->Changed().isEmpty());
        view->show(); // showing again repeats the set-up
        QVERIFY(view->TimerRunning());
        QCOMPARE(view->Changed(), QStringList({ "Gain", "Mode" }));
    }

    void repeatedChangesGiveOneRefresh()
    {
        view->RegisterObservers(false);
        // The camera merges notifications still queued: SetGain waits for each
        // one, so that ten of them reach the view between two ticks.
        const auto notified = camera->NotificationCount();
        for (int value = 1; value <= 10; ++value)
            SetGain(value);
        QCOMPARE(camera->NotificationCount() - notified, std::uint64_t(10));
        QMetaObject::invokeMethod(view.get(), "updateTimer");
        QMetaObject::invokeMethod(view.get(), "updateTimer");
        QCOMPARE(view->refreshes, QList<QStringList>({ QStringList{ "Gain" }, QStringList() }));
    }

    void paletteChange()
    {
        for (const auto& [lightness, dark] : { std::pair(99, true), std::pair(100, false) }) {
            QPalette palette = view->palette();
            palette.setColor(QPalette::Window, QColor(lightness, lightness, lightness));
            view->setPalette(palette);
            QCOMPARE(view->IsDarkPalette(), dark);
        }
        QCOMPARE(view->colorSchemes, 2);
    }
};

QTEST_MAIN(TestBaseTabPluginWidget)
#include "tst_basetabpluginwidget.moc"
