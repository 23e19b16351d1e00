#include "features/featuremanager.h"

#include "testsupport.h"

#include <QtTest>

#include <memory>

using KelCPP::Sim::Fault;
using KelCPP::Sim::Op;
namespace KelError = KelCPP::KelError;

namespace {

const QByteArray description = R"json({
  "format": 1,
  "features": [
    { "name": "Width", "type": "Integer", "min": 0, "max": 100, "category": "/Image" },
    { "name": "Height", "type": "Integer", "min": 8, "max": 100, "inc": 4, "visibility": "Expert",
      "category": "/Image" },
    { "name": "Temperature", "type": "Integer", "access": "RO", "min": -40, "max": 90 },
    { "name": "Gain", "type": "Float", "min": 0, "max": 24, "inc": 1.0, "visibility": "Guru",
      "description": "Sets the gain. Applies at once." },
    { "name": "Exposure", "type": "Float", "min": 0.123456789012, "max": 123456.789012345, "inc": 0.5 },
    { "name": "Period", "type": "Float", "min": 0, "max": 2.5e13, "inc": 0.000125,
      "description": "Runs at 0.5 Hz" },
    { "name": "Mode", "type": "Enumeration", "entries": [ "Off" ], "visibility": "Invisible" },
    { "name": "Start", "type": "Command", "category": "/Control" },
    { "name": "Lut", "type": "Raw", "visibility": "Unknown" }
  ]
})json";

FeatureList WrapAll(const KelCPP::Sim::SimCamera& camera)
{
    KelCPP::FeaturePtrVector features;
    camera.GetFeatures(features);
    FeatureList list(new QVector<KelFeatureWrapperPtr>);
    for (const KelCPP::FeaturePtr& feature : features)
        list->append(std::make_shared<KelFeatureWrapper>(feature));
    return list;
}

QString Information(const QString& description, const QString& name, const QString& visibility,
                    const QString& typeBlock, const QString& category)
{
    return "<b>Feature Description:</b> " + description + "<br/><b>Feature Name:</b> " + name
        + "<br/><b>Visibility:</b> " + visibility + "<br/>" + typeBlock + "<b>Category:</b> "
        + category + "<br/>";
}

QString Limits(const QString& type, const QString& min, const QString& max)
{
    return "<b>Type:</b> " + type + "<br/><b>Minimum:</b> " + min + "<br/><b>Maximum:</b> " + max
        + "<br/>";
}

QString Interval(const QString& increment)
{
    return "<b>Interval:</b> " + increment + "<br/>";
}

QString lastMessage;

void CaptureDebug(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg)
        lastMessage = text;
}

} // namespace

class TestFeatureInformation : public QObject
{
    Q_OBJECT

private slots:
    void information_data();
    void information();
    void missingFeature();
};

void TestFeatureInformation::information_data()
{
    QTest::addColumn<QString>("feature");
    QTest::addColumn<int>("failingOp");
    QTest::addColumn<QString>("expected");

    const int none = -1;
    const QString na = "N/A<br/>";
    QTest::newRow("integer, increment 1: no interval")
        << "Width" << none
        << Information(na, "Width", "BEGINNER", Limits("Integer", "0", "100"), "/Image");
    QTest::newRow("integer with increment")
        << "Height" << none
        << Information(na, "Height", "EXPERT", Limits("Integer", "8", "100") + Interval("4"), "/Image");
    QTest::newRow("integer, range unreadable: interval only")
        << "Height" << int(Op::GetRange)
        << Information(na, "Height", "EXPERT", Interval("4"), "/Image");
    QTest::newRow("read-only integer")
        << "Temperature" << none
        << Information(na, "Temperature", "BEGINNER", Limits("Integer", "-40", "90"), "");
    QTest::newRow("flags unreadable: no type line")
        << "Width" << int(Op::GetFlags) << Information(na, "Width", "BEGINNER", "", "/Image");
    QTest::newRow("data type unreadable: no type line")
        << "Width" << int(Op::GetDataType) << Information(na, "Width", "BEGINNER", "", "/Image");
    QTest::newRow("float, increment 1.0, two sentences")
        << "Gain" << none
        << Information("<br/>Sets the gain.<br/> Applies at once.<br/>", "Gain", "GURU",
                       Limits("Float", "0", "24") + Interval("1.0000000000"), "");
    QTest::newRow("float: 9 digits for min, 12 for max")
        << "Exposure" << none
        << Information(na, "Exposure", "BEGINNER",
                       Limits("Float", "0.123456789", "123456.789012") + Interval("0.5000000000"), "");
    QTest::newRow("float: exponent form, break inside a number")
        << "Period" << none
        << Information("<br/>Runs at 0.<br/>5 Hz", "Period", "BEGINNER",
                       Limits("Float", "0", "2.5e+13") + Interval("0.0001250000"), "");
    QTest::newRow("enumeration") << "Mode" << none
        << Information(na, "Mode", "INVISIBLE", "<b>Type:</b> Enumeration<br/>", "");
    QTest::newRow("command") << "Start" << none
        << Information(na, "Start", "BEGINNER", "<b>Type:</b> Command<br/>", "/Control");
    QTest::newRow("raw") << "Lut" << none
        << Information(na, "Lut", "UNKNOWN", "<b>Type:</b> Raw<br/>", "");
    QTest::newRow("visibility unreadable") << "Mode" << int(Op::GetVisibility)
        << Information(na, "Mode", "UNKNOWN", "<b>Type:</b> Enumeration<br/>", "");
    QTest::newRow("category unreadable") << "Start" << int(Op::GetCategory)
        << Information(na, "Start", "BEGINNER", "<b>Type:</b> Command<br/>", "");
}

void TestFeatureInformation::information()
{
    QFETCH(QString, feature);
    QFETCH(int, failingOp);
    QFETCH(QString, expected);

    const auto camera = TestSupport::CameraFromJson(description);
    QVERIFY(camera);
    if (failingOp >= 0)
        camera->InjectFault(feature.toStdString(), Op(failingOp), Fault::Always(KelError::Other));
    FeatureManager manager(WrapAll(*camera));
    QCOMPARE(manager.GetInformation(feature), expected);
}

void TestFeatureInformation::missingFeature()
{
    const auto camera = TestSupport::CameraFromJson(description);
    QVERIFY(camera);
    FeatureManager manager(WrapAll(*camera));

    lastMessage.clear();
    const QtMessageHandler previous = qInstallMessageHandler(&CaptureDebug);
    const QString information = manager.GetInformation("Nope");
    qInstallMessageHandler(previous);

    QVERIFY(information.isEmpty());
    QCOMPARE(lastMessage,
             QString("Error: FeatureManager::GetInformation() - cannot get KelFeatureWrapperPtr "
                     "for  \"Nope\""));
}

QTEST_GUILESS_MAIN(TestFeatureInformation)
#include "tst_featureinformation.moc"
