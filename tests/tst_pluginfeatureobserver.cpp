#include "features/pluginfeatureobserver.h"

#include "testsupport.h"

#include <QSignalSpy>
#include <QThread>

using namespace KelCPP;
using namespace KelCPP::Sim;

const QByteArray description = R"json({ "format": 1, "features": [
    { "name": "Delay", "type": "Integer", "value": 1500 },
    { "name": "Period", "type": "Float", "value": 0.000125 },
    { "name": "Duration", "type": "Float", "value": 1234567 },
    { "name": "Mode", "type": "Enumeration", "entries": [ "Off", "On" ], "value": "On" },
    { "name": "Label", "type": "String", "value": "left door" },
    { "name": "Invert", "type": "Boolean", "value": true },
    { "name": "Enable", "type": "Boolean", "value": false },
    { "name": "Start", "type": "Command" },
    { "name": "Lut", "type": "Raw" } ] })json";

class TestPluginFeatureObserver : public QObject
{
    Q_OBJECT

private slots:
    // A null text: no signal at all.
    void signalCarriesNameAndValueText_data()
    {
        QTest::addColumn<QString>("feature");
        QTest::addColumn<int>("failingOp");
        QTest::addColumn<QString>("text");
        const int none = -1;
        QTest::newRow("an integer in decimal") << "Delay" << none << "1500";
        QTest::newRow("a small float in full") << "Period" << none << "0.000125";
        QTest::newRow("a float of a million with six digits") << "Duration" << none << "1.23457e+06";
        QTest::newRow("an enumeration as its entry") << "Mode" << none << "On";
        QTest::newRow("a string as it is") << "Label" << none << "left door";
        QTest::newRow("a boolean true") << "Invert" << none << "true";
        QTest::newRow("a boolean false") << "Enable" << none << "false";
        QTest::newRow("a command as a marker") << "Start" << none << "[COMMAND]";
        QTest::newRow("raw data as a prompt") << "Lut" << none << "Click here to open";
        QTest::newRow("an unreadable integer as empty text") << "Delay" << int(Op::GetValue) << "";
        QTest::newRow("an unreadable boolean as empty text") << "Invert" << int(Op::GetValue) << "";
        QTest::newRow("no signal when the name cannot be read") << "Delay" << int(Op::GetName) << QString();
        QTest::newRow("no signal when the type cannot be read") << "Mode" << int(Op::GetDataType) << QString();
    }

    void signalCarriesNameAndValueText()
    {
        QFETCH(QString, feature);
        QFETCH(int, failingOp);
        QFETCH(QString, text);
        const auto camera = TestSupport::CameraFromJson(description);
        QVERIFY(camera);
        if (failingOp >= 0)
            camera->InjectFault(feature.toStdString(), Op(failingOp), Fault::Always(KelError::NotOpen));
        PluginFeatureObserver observer;
        QSignalSpy spy(&observer, &PluginFeatureObserver::setChangedFeature);
        observer.NotifyFeatureChanged(TestSupport::FindFeature(*camera, qPrintable(feature)));
        observer.NotifyFeatureChanged(nullptr);
        const QList<QVariantList> expected{ { feature, text } };
        QCOMPARE(QList<QVariantList>(spy), text.isNull() ? QList<QVariantList>() : expected);
    }

    // A selector move tells only that; a receiver that reads the camera
    // itself can do without the value text, and the camera is not asked.
    void changeTypesAndValueTexts_data()
    {
        QTest::addColumn<int>("changes");
        QTest::addColumn<bool>("valueText");
        QTest::addColumn<QStringList>("changed"); // setChangedFeature's name and text
        QTest::addColumn<QStringList>("moved");
        QTest::addColumn<int>("accesses");
        const int value = KelFeatureChangeValue, moved = KelFeatureChangeSelector;
        QTest::newRow("a change, with its value") << value << true << QStringList{ "Delay", "1500" } << QStringList() << 1;
        QTest::newRow("a change, without reading the value") << value << false << QStringList{ "Delay", "" } << QStringList() << 0;
        QTest::newRow("a change and a move merged count as a change") << (value | moved) << false << QStringList{ "Delay", "" } << QStringList() << 0;
        QTest::newRow("a move alone") << moved << true << QStringList() << QStringList{ "Delay" } << 0;
    }
    void changeTypesAndValueTexts()
    {
        QFETCH(int, changes);
        QFETCH(bool, valueText);
        const auto camera = TestSupport::CameraFromJson(description);
        QVERIFY(camera);
        PluginFeatureObserver observer;
        observer.SetValueTextWanted(valueText);
        QSignalSpy changed(&observer, &PluginFeatureObserver::setChangedFeature);
        QSignalSpy moved(&observer, &PluginFeatureObserver::selectorMoved);
        observer.NotifyFeatureChanges(TestSupport::FindFeature(*camera, "Delay"), std::uint32_t(changes));
        QStringList changedArguments, movedArguments;
        for (const QVariantList& call : changed)
            changedArguments << call.at(0).toString() << call.at(1).toString();
        for (const QVariantList& call : moved)
            movedArguments << call.at(0).toString();
        QTEST(changedArguments, "changed");
        QTEST(movedArguments, "moved");
        QTEST(int(camera->DeviceAccessCount()), "accesses");
    }

    // The camera calls back on its own thread; a receiver on the GUI thread
    // gets the change there.
    void cameraNotificationReachesGuiThread()
    {
        const auto camera = TestSupport::CameraFromJson(description);
        QVERIFY(camera);
        const FeaturePtr delay = TestSupport::FindFeature(*camera, "Delay");
        const auto observer = std::make_shared<PluginFeatureObserver>();
        QCOMPARE(delay->RegisterObserver(observer), KelError::Success);
        QObject receiver;
        QStringList received;
        connect(observer.get(), &PluginFeatureObserver::setChangedFeature, &receiver,
                [&](const QString& name, const QString& value) {
                    QCOMPARE(QThread::currentThread(), receiver.thread());
                    received << name << value;
                });
        QCOMPARE(delay->SetValue(std::int64_t(2500)), KelError::Success);
        QTRY_COMPARE(received, QStringList({ "Delay", "2500" }));
    }
};

QTEST_GUILESS_MAIN(TestPluginFeatureObserver)
#include "tst_pluginfeatureobserver.moc"
