#include "features/pluginfeatureobserver.h"

#include "testsupport.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

using KelCPP::Sim::Fault;
using KelCPP::Sim::Op;
namespace KelError = KelCPP::KelError;

namespace {

const QByteArray description = R"json({
  "format": 1,
  "features": [
    { "name": "Delay", "type": "Integer", "max": 100000, "value": 1500 },
    { "name": "Period", "type": "Float", "value": 0.000125 },
    { "name": "Duration", "type": "Float", "value": 1234567 },
    { "name": "Mode", "type": "Enumeration", "entries": [ "Off", "On" ], "value": "On" },
    { "name": "Label", "type": "String", "value": "left door" },
    { "name": "Invert", "type": "Boolean", "value": true },
    { "name": "Enable", "type": "Boolean", "value": false },
    { "name": "Start", "type": "Command" },
    { "name": "Lut", "type": "Raw" }
  ]
})json";

} // namespace

class TestPluginFeatureObserver : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valueText_data();
    void valueText();
    void nothingEmittedWithoutFeatureNameOrType();
    void cameraNotificationReachesGuiThread();

private:
    KelCPP::FeaturePtr Feature(const QString& name) const;

    std::shared_ptr<KelCPP::Sim::SimCamera> camera;
};

void TestPluginFeatureObserver::init()
{
    camera = TestSupport::CameraFromJson(description);
    QVERIFY(camera);
}

void TestPluginFeatureObserver::cleanup()
{
    camera.reset();
}

KelCPP::FeaturePtr TestPluginFeatureObserver::Feature(const QString& name) const
{
    KelCPP::FeaturePtr feature;
    camera->GetFeatureByName(name.toStdString().c_str(), feature);
    return feature;
}

void TestPluginFeatureObserver::valueText_data()
{
    QTest::addColumn<QString>("feature");
    QTest::addColumn<bool>("readFails");
    QTest::addColumn<QString>("text");

    QTest::newRow("integer") << "Delay" << false << "1500";
    QTest::newRow("small float") << "Period" << false << "0.000125";
    QTest::newRow("float of a million and more") << "Duration" << false << "1.23457e+06";
    QTest::newRow("enumeration") << "Mode" << false << "On";
    QTest::newRow("string") << "Label" << false << "left door";
    QTest::newRow("boolean true") << "Invert" << false << "true";
    QTest::newRow("boolean false") << "Enable" << false << "false";
    QTest::newRow("command") << "Start" << false << "[COMMAND]";
    QTest::newRow("raw") << "Lut" << false << "Click here to open";
    QTest::newRow("integer unreadable") << "Delay" << true << "";
    QTest::newRow("float unreadable") << "Period" << true << "";
    QTest::newRow("enumeration unreadable") << "Mode" << true << "";
    QTest::newRow("boolean unreadable") << "Invert" << true << "";
}

void TestPluginFeatureObserver::valueText()
{
    QFETCH(QString, feature);
    QFETCH(bool, readFails);
    QFETCH(QString, text);

    if (readFails)
        camera->InjectFault(feature.toStdString(), Op::GetValue, Fault::Always(KelError::InvalidAccess));
    PluginFeatureObserver observer;
    QSignalSpy spy(&observer, &PluginFeatureObserver::setChangedFeature);
    observer.NotifyFeatureChanged(Feature(feature));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0), (QVariantList{ feature, text }));
}

void TestPluginFeatureObserver::nothingEmittedWithoutFeatureNameOrType()
{
    PluginFeatureObserver observer;
    QSignalSpy spy(&observer, &PluginFeatureObserver::setChangedFeature);
    observer.NotifyFeatureChanged(nullptr);
    camera->InjectFault("Delay", Op::GetName, Fault::Always(KelError::NotOpen));
    observer.NotifyFeatureChanged(Feature("Delay"));
    camera->InjectFault("Mode", Op::GetDataType, Fault::Always(KelError::NotOpen));
    observer.NotifyFeatureChanged(Feature("Mode"));
    QCOMPARE(spy.count(), 0);
}

void TestPluginFeatureObserver::cameraNotificationReachesGuiThread()
{
    const KelCPP::FeaturePtr delay = Feature("Delay");
    QVERIFY(delay);
    const auto observer = std::make_shared<PluginFeatureObserver>();
    QCOMPARE(delay->RegisterObserver(observer), KelError::Success);

    std::atomic<QThread*> emittingThread{ nullptr };
    connect(observer.get(), &PluginFeatureObserver::setChangedFeature, observer.get(),
            [&emittingThread] { emittingThread = QThread::currentThread(); },
            Qt::DirectConnection);

    QObject receiver;
    QThread* receivingThread = nullptr;
    QStringList received;
    connect(observer.get(), &PluginFeatureObserver::setChangedFeature, &receiver,
            [&](const QString& name, const QString& value) {
                receivingThread = QThread::currentThread();
                received << name << value;
            });

    QCOMPARE(delay->SetValue(std::int64_t(2500)), KelError::Success);
    QTRY_COMPARE(received, QStringList({ "Delay", "2500" }));
    QCOMPARE(receivingThread, QThread::currentThread());
    QVERIFY(emittingThread.load() != nullptr);
    QVERIFY(emittingThread.load() != QThread::currentThread());

    QCOMPARE(delay->UnregisterObserver(observer), KelError::Success);
    camera->WaitForNotifications();
}

QTEST_GUILESS_MAIN(TestPluginFeatureObserver)
#include "tst_pluginfeatureobserver.moc"
