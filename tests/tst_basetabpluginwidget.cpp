#include "widgets/basetabpluginwidget.h"

#include "testsupport.h"

#include <QTimer>
#include <QtTest>

using KelCPP::Sim::Op;

namespace {

const QByteArray description = R"({ "format": 1, "features": [
  { "name": "DeviceVendorName", "type": "String", "value": "Brennix" },
  { "name": "Gain", "type": "Integer", "max": 100 }, { "name": "Mode", "type": "Enumeration", "entries": [ "Off", "On" ] } ] })";

CameraFeatureList Features(const KelCPP::Sim::SimCamera& camera)
{
    KelCPP::FeaturePtrVector features;
    camera.GetFeatures(features);
    return CameraFeatureList::create(features.begin(), features.end());
}

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

    void SetGain(std::int64_t value)
    {
        KelCPP::FeaturePtr gain;
        camera->GetFeatureByName("Gain", gain);
        QCOMPARE(gain->SetValue(value), KelCPP::KelError::Success);
    }

private slots:
    void init() { QVERIFY(camera = TestSupport::CameraFromJson(description)); }

    void vendorCheck_data()
    {
        QTest::addColumn<QByteArray>("json"); // empty: the bundled camera `file`
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("accepted");
        auto feature = [](const QByteArray& name, const QByteArray& value) {
            return "{ \"format\": 1, \"features\": [ { \"type\": \"String\", \"name\": \"" + name
                + "\", \"value\": \"" + value + "\" } ] }";
        };
        QTest::newRow("exactly the vendor") << feature("DeviceVendorName", "Brennix") << QString() << true;
        QTest::newRow("full vendor name") << QByteArray() << "full.json" << true;
        QTest::newRow("other vendor") << QByteArray() << "othervendor.json" << false;
        QTest::newRow("lower case") << feature("DeviceVendorName", "brennix") << QString() << false;
        QTest::newRow("vendor not at the start") << feature("DeviceVendorName", " Brennix") << QString() << false;
        QTest::newRow("no vendor feature") << feature("DeviceModelName", "Brennix") << QString() << false;
    }
    void vendorCheck()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, file);
        QFETCH(bool, accepted);
        const auto cam = json.isEmpty() ? TestSupport::OpenCamera(file) : TestSupport::CameraFromJson(json);
        QVERIFY(cam);
        try {
            View view(Features(*cam));
            QVERIFY(accepted);
        } catch (const TabExtensionException& refusal) {
            QVERIFY(!accepted);
            QCOMPARE(refusal.code, 4);
            QCOMPARE(refusal.origin, QString("BaseTabPluginWidget::BaseTabPluginWidget"));
            QCOMPARE(refusal.message, QString("Vendor not supported for plugins, widget not created."));
        }
    }

    // The one test that lets the real timer fire.
    void visibilityDrivesObserversAndTimer()
    {
        View view(Features(*camera));
        view.show();
        // In the camera's order; an observed name the camera lacks is not marked.
        QCOMPARE(view.Changed(), QStringList({ "Gain", "Mode" }));
        QCOMPARE(view.refreshes, QList<QStringList>{ QStringList() });
        QCOMPARE(camera->CallCount(Op::RegisterObserver), std::uint64_t(2));
        QTRY_COMPARE_WITH_TIMEOUT(view.refreshes.size(), 2, 10000);
        QCOMPARE(view.refreshes.at(1), QStringList({ "Gain", "Mode" }));

        QMetaObject::invokeMethod(&view, "OnFeatureChanged", Q_ARG(QString, "Gain"), Q_ARG(QString, "1"));
        view.hide();
        QVERIFY(view.Changed().isEmpty());
        QVERIFY(!view.TimerRunning());
        QCOMPARE(camera->CallCount(Op::UnregisterObserver), std::uint64_t(2));
        SetGain(5);
        camera->WaitForNotifications();
        QCoreApplication::sendPostedEvents();
        QVERIFY(view.Changed().isEmpty());
        view.show(); // showing again repeats the set-up
        QVERIFY(view.TimerRunning());
        QCOMPARE(view.Changed(), QStringList({ "Gain", "Mode" }));
    }

    void repeatedChangesGiveOneRefresh()
    {
        View view(Features(*camera));
        view.RegisterObservers(false);
        // The camera merges notifications still queued: wait for each one, so
        // that ten of them reach the view between two ticks.
        const auto notified = camera->NotificationCount();
        for (int value = 1; value <= 10; ++value) {
            SetGain(value);
            camera->WaitForNotifications();
        }
        QCOMPARE(camera->NotificationCount() - notified, std::uint64_t(10));
        QTRY_VERIFY(view.Changed().contains("Gain"));
        QCoreApplication::sendPostedEvents();
        QMetaObject::invokeMethod(&view, "updateTimer");
        QMetaObject::invokeMethod(&view, "updateTimer");
        QCOMPARE(view.refreshes, QList<QStringList>({ QStringList{ "Gain" }, QStringList() }));
    }

    void paletteChange()
    {
        View view(Features(*camera));
        for (const auto& [lightness, dark] : { std::pair(99, true), std::pair(100, false) }) {
            QPalette palette = view.palette();
            palette.setColor(QPalette::Window, QColor(lightness, lightness, lightness));
            view.setPalette(palette);
            QCOMPARE(view.IsDarkPalette(), dark);
        }
        QCOMPARE(view.colorSchemes, 2);
    }
};

QTEST_MAIN(TestBaseTabPluginWidget)
#include "tst_basetabpluginwidget.moc"
