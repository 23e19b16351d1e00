#include "features/featuremanager.h"

#include "testsupport.h"

using KelCPP::Sim::Op;

const QByteArray description = R"json({ "format": 1, "features": [
    { "name": "Width", "type": "Integer", "max": 100, "category": "/Image" },
    { "name": "Height", "type": "Integer", "min": 8, "max": 100, "inc": 4, "visibility": "Expert" },
    { "name": "Temperature", "type": "Integer", "access": "RO", "min": -40, "max": 90 },
    { "name": "Gain", "type": "Float", "max": 24, "inc": 1.0, "visibility": "Guru",
      "description": "Sets the gain. Applies at once." },
    { "name": "Exposure", "type": "Float", "min": 0.123456789012, "max": 123456.789012345, "inc": 0.5 },
    { "name": "Period", "type": "Float", "max": 2.5e13, "inc": 0.000125, "description": "Runs at 0.5 Hz" },
    { "name": "Mode", "type": "Enumeration", "entries": [ "Off" ], "visibility": "Invisible" },
    { "name": "Start", "type": "Command", "category": "/Control" } ] })json";

QString Info(const QString& description, const QString& name, const QString& visibility,
             const QString& typeBlock, const QString& category)
{
    return "<b>Feature Description:</b> " + description + "<br/><b>Feature Name:</b> " + name
        + "<br/><b>Visibility:</b> " + visibility + "<br/>" + typeBlock + "<b>Category:</b> " + category + "<br/>";
}

QString Limits(const QString& type, const QString& min, const QString& max, const QString& interval = {})
{
    return "<b>Type:</b> " + type + "<br/><b>Minimum:</b> " + min + "<br/><b>Maximum:</b> " + max
        + "<br/>" + (interval.isEmpty() ? "" : "<b>Interval:</b> " + interval + "<br/>");
}

class TestFeatureInformation : public QObject
{
    Q_OBJECT

private slots:
    void information_data()
    {
        QTest::addColumn<QString>("feature");
        QTest::addColumn<int>("failingOp");
        QTest::addColumn<QString>("expected");

        const int none = -1;
        const QString na = "N/A<br/>";
        const QString enumeration = "<b>Type:</b> Enumeration<br/>", command = "<b>Type:</b> Command<br/>";
        QTest::newRow("an integer with increment 1 has no interval")
            << "Width" << none << Info(na, "Width", "BEGINNER", Limits("Integer", "0", "100"), "/Image");
        QTest::newRow("an integer with an increment has one")
            << "Height" << none << Info(na, "Height", "EXPERT", Limits("Integer", "8", "100", "4"), "");
        QTest::newRow("an integer whose range is unreadable: interval only")
            << "Height" << int(Op::GetRange) << Info(na, "Height", "EXPERT", "<b>Interval:</b> 4<br/>", "");
        QTest::newRow("a read-only integer has its limits")
            << "Temperature" << none << Info(na, "Temperature", "BEGINNER", Limits("Integer", "-40", "90"), "");
        QTest::newRow("unreadable flags: no type block")
            << "Width" << int(Op::GetFlags) << Info(na, "Width", "BEGINNER", "", "/Image");
        QTest::newRow("unreadable data type: no type block")
            << "Width" << int(Op::GetDataType) << Info(na, "Width", "BEGINNER", "", "/Image");
        QTest::newRow("a float with increment 1.0 and two sentences")
            << "Gain" << none << Info("<br/>Sets the gain.<br/> Applies at once.<br/>", "Gain", "GURU",
                                      Limits("Float", "0", "24", "1.0000000000"), "");
        QTest::newRow("a float minimum with 9 digits, its maximum with 12")
            << "Exposure" << none
            << Info(na, "Exposure", "BEGINNER", Limits("Float", "0.123456789", "123456.789012", "0.5000000000"), "");
        QTest::newRow("a large float in exponent form, a break inside a number")
            << "Period" << none << Info("<br/>Runs at 0.<br/>5 Hz", "Period", "BEGINNER",
                                        Limits("Float", "0", "2.5e+13", "0.0001250000"), "");
        QTest::newRow("an enumeration") << "Mode" << none << Info(na, "Mode", "INVISIBLE", enumeration, "");
        QTest::newRow("a command") << "Start" << none << Info(na, "Start", "BEGINNER", command, "/Control");
        QTest::newRow("unreadable visibility shows as unknown")
            << "Mode" << int(Op::GetVisibility) << Info(na, "Mode", "UNKNOWN", enumeration, "");
        QTest::newRow("unreadable category shows as empty")
            << "Start" << int(Op::GetCategory) << Info(na, "Start", "BEGINNER", command, "");
        QTest::newRow("a missing feature: no text, a message") << "Nope" << none << "";
    }

    void information()
    {
        QFETCH(QString, feature);
        QFETCH(int, failingOp);

        const auto camera = TestSupport::CameraFromJson(description);
        QVERIFY(camera);
        if (failingOp >= 0)
            camera->InjectFault(feature.toStdString(), Op(failingOp), KelCPP::Sim::Fault::Always(KelCPP::KelError::Other));
        FeatureManager manager(TestSupport::WrapFeatures(*camera));
        const TestSupport::DebugMessages messages;
        QTEST(manager.GetInformation(feature), "expected");
        const QString missing = "Error: FeatureManager::GetInformation() - cannot get KelFeatureWrapperPtr for  \"Nope\"";
        QCOMPARE(messages.Messages(), feature == "Nope" ? QStringList(missing) : QStringList());
    }
};

QTEST_GUILESS_MAIN(TestFeatureInformation)
#include "tst_featureinformation.moc"
