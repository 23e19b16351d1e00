#include "features/featuremanager.h"

#include "testsupport.h"

#include <QtTest>

#include <memory>

using KelCPP::Sim::Fault;
using KelCPP::Sim::Op;
using KelCPP::Sim::SimCamera;
namespace KelError = KelCPP::KelError;

namespace {

const QByteArray description = R"json({
  "format": 1,
  "features": [
    { "name": "Width", "type": "Integer", "min": 3, "max": 22, "inc": 5, "value": 3 },
    { "name": "Offset", "type": "Integer", "min": 0, "max": 22, "inc": 5, "value": 0 },
    { "name": "Shift", "type": "Integer", "min": -10, "max": 10, "inc": 5, "value": 0 },
    { "name": "Level", "type": "Integer", "min": -5, "max": 5, "value": 2 },
    { "name": "Span", "type": "Integer", "min": 0, "max": 1000, "inc": 3, "value": 0 },
    { "name": "Locked", "type": "Integer", "access": "RO", "value": 7 },
    { "name": "Exposure", "type": "Float", "min": 10, "max": 1000, "value": 100 },
    { "name": "Ratio", "type": "Float", "min": -5, "max": 5, "value": 2 },
    { "name": "Step", "type": "Float", "min": 0, "max": 10, "inc": 0.5, "value": 2 },
    { "name": "Gamma", "type": "Float", "min": 0, "max": 10.3, "inc": 0.25, "value": 1 },
    { "name": "Enable", "type": "Boolean", "value": false },
    { "name": "Frozen", "type": "Boolean", "access": "RO", "value": true },
    { "name": "Mode", "type": "Enumeration", "value": "Off",
      "entries": [ "Off", "On", { "name": "Auto", "availableWhen": { "Enable": true } } ] },
    { "name": "Label", "type": "String", "maxLength": 8, "value": "cam" },
    { "name": "Fixed", "type": "String", "access": "RO", "value": "ro" },
    { "name": "Start", "type": "Command" },
    { "name": "Address", "type": "Integer", "representation": "HexNumber" },
    { "name": "Selector", "type": "Enumeration", "entries": [ "A", "B" ] },
    { "name": "PerA", "type": "Integer", "selectedBy": "Selector" },
    { "name": "PerB", "type": "Float", "selectedBy": "Selector" }
  ]
})json";

FeatureList WrapAll(const SimCamera& camera)
{
    KelCPP::FeaturePtrVector features;
    camera.GetFeatures(features);
    FeatureList list(new QVector<KelFeatureWrapperPtr>);
    for (const KelCPP::FeaturePtr& feature : features)
        list->append(std::make_shared<KelFeatureWrapper>(feature));
    return list;
}

// Collects debug messages while alive.
class MessageCapture
{
public:
    MessageCapture() : previous(qInstallMessageHandler(&Handler)) { Messages().clear(); }
    ~MessageCapture() { qInstallMessageHandler(previous); }
    static QStringList& Messages()
    {
        static QStringList messages;
        return messages;
    }

private:
    static void Handler(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type == QtDebugMsg)
            Messages().append(text);
    }
    QtMessageHandler previous;
};

} // namespace

class TestFeatureManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstOfDuplicateNamesWins();
    void candidateNames_data();
    void candidateNames();
    void getValue_data();
    void getValue();
    void numericSetValue_data();
    void numericSetValue();
    void failedFloatWriteIsRetriedThenReported();
    void textSetValueReturnsValueReadBack_data();
    void textSetValueReturnsValueReadBack();
    void limits_data();
    void limits();
    void limitsOfMissingFeatureLeaveOutputs();
    void runCommand();
    void representationAndDataType();
    void lists();

private:
    std::shared_ptr<SimCamera> camera;
    std::unique_ptr<FeatureManager> manager;
};

void TestFeatureManager::init()
{
    camera = TestSupport::CameraFromJson(description);
    QVERIFY(camera);
    camera->SetCallLogEnabled(true);
    manager.reset(new FeatureManager(WrapAll(*camera)));
}

void TestFeatureManager::cleanup()
{
    manager.reset();
    camera.reset();
}

void TestFeatureManager::firstOfDuplicateNamesWins()
{
    const std::shared_ptr<SimCamera> other = TestSupport::CameraFromJson(description);
    QVERIFY(other);
    KelCPP::FeaturePtr mine;
    KelCPP::FeaturePtr theirs;
    QCOMPARE(camera->GetFeatureByName("Level", mine), KelError::Success);
    QCOMPARE(other->GetFeatureByName("Level", theirs), KelError::Success);
    QCOMPARE(theirs->SetValue(std::int64_t(4)), KelError::Success);

    FeatureManager duplicates(FeatureList(new QVector<KelFeatureWrapperPtr>{
        std::make_shared<KelFeatureWrapper>(theirs), std::make_shared<KelFeatureWrapper>(mine) }));
    QCOMPARE(duplicates.GetValue("Level"), 4.0);
    QCOMPARE(duplicates.SetValue("Level", -3.0), -3.0);
    QCOMPARE(manager->GetValue("Level"), 2.0);
}

void TestFeatureManager::candidateNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("alt1");
    QTest::addColumn<QString>("alt2");
    QTest::addColumn<QString>("found");

    QTest::newRow("first name exists") << "Level" << "Span" << "Width" << "Level";
    QTest::newRow("first missing, alt1 exists") << "Nope" << "Span" << "Width" << "Span";
    QTest::newRow("empty alt1 still tries alt2") << "Nope" << "" << "Width" << "Width";
    QTest::newRow("names are case-sensitive") << "level" << "SPAN" << "Width" << "Width";
    QTest::newRow("none exists") << "Nope" << "" << "Nada" << "";
}

void TestFeatureManager::candidateNames()
{
    QFETCH(QString, name);
    QFETCH(QString, alt1);
    QFETCH(QString, alt2);
    QFETCH(QString, found);

    QCOMPARE(manager->GetDisplayName(name, alt1, alt2), found);
    QCOMPARE(manager->HasFeature(name, alt1, alt2), !found.isEmpty());
    QCOMPARE(manager->GetValue(name, alt1, alt2),
             found.isEmpty() ? -1.0 : manager->GetValue(found));
    QCOMPARE(manager->GetFeatureName({ name, alt1, alt2 }), found);
}

void TestFeatureManager::getValue_data()
{
    QTest::addColumn<QString>("feature");
    QTest::addColumn<bool>("readFails");
    QTest::addColumn<double>("expected");

    QTest::newRow("integer") << "Locked" << false << 7.0;
    QTest::newRow("float") << "Exposure" << false << 100.0;
    QTest::newRow("boolean true") << "Frozen" << false << 1.0;
    QTest::newRow("boolean false") << "Enable" << false << 0.0;
    QTest::newRow("enumeration") << "Mode" << false << -1.0;
    QTest::newRow("string") << "Label" << false << -1.0;
    QTest::newRow("command") << "Start" << false << -1.0;
    QTest::newRow("missing") << "Nope" << false << -1.0;
    QTest::newRow("integer unreadable") << "Locked" << true << -1.0;
    QTest::newRow("float unreadable") << "Exposure" << true << -1.0;
    QTest::newRow("boolean unreadable") << "Frozen" << true << 0.0;
}

void TestFeatureManager::getValue()
{
    QFETCH(QString, feature);
    QFETCH(bool, readFails);
    QFETCH(double, expected);

    if (readFails)
        camera->InjectFault(feature.toStdString(), Op::GetValue, Fault::Always(KelError::IO));
    QCOMPARE(manager->GetValue(feature), expected);
}

void TestFeatureManager::numericSetValue_data()
{
    QTest::addColumn<QString>("feature");
    QTest::addColumn<bool>("limitsUnreadable");
    QTest::addColumn<double>("argument");
    QTest::addColumn<QList<double>>("written");
    QTest::addColumn<double>("result");
    QTest::addColumn<QString>("message");

    const QString intRefused = QStringLiteral("Error: FeatureManager::SetValue:Int:  \"Width\"  :  %1")
                                   .arg(KelError::InvalidValue);
    QTest::newRow("integer on grid from zero, off the camera's grid")
        << "Width" << false << 14.9 << QList<double>{ 10 } << 3.0 << intRefused;
    QTest::newRow("integer on grid from zero") << "Offset" << false << 14.9 << QList<double>{ 10 } << 10.0 << "";
    QTest::newRow("integer below min: min, off the grid") << "Width" << false << 1.0 << QList<double>{ 3 } << 3.0 << "";
    QTest::newRow("integer above max: last grid step") << "Offset" << false << 100.0 << QList<double>{ 20 } << 20.0 << "";
    QTest::newRow("negative integer toward zero") << "Shift" << false << -7.9 << QList<double>{ -5 } << -5.0 << "";
    QTest::newRow("integer without limits") << "Level" << true << 4.0 << QList<double>{ -1 } << -1.0 << "";
    QTest::newRow("integer not writable") << "Locked" << false << 3.0 << QList<double>{} << 7.0 << "";
    QTest::newRow("float below min") << "Exposure" << false << 5.0 << QList<double>{ 10 } << 10.0 << "";
    QTest::newRow("float above max") << "Exposure" << false << 5e3 << QList<double>{ 1000 } << 1000.0 << "";
    QTest::newRow("float in range") << "Exposure" << false << 123.5 << QList<double>{ 123.5 } << 123.5 << "";
    QTest::newRow("float without range") << "Ratio" << true << 3.0 << QList<double>{ -1 } << -1.0 << "";
    QTest::newRow("float refused, retried on grid") << "Step" << false << 3.3 << QList<double>{ 3.3, 2 } << 2.0 << "";
    QTest::newRow("boolean above zero") << "Enable" << false << 0.5 << QList<double>{ 1 } << 1.0 << "";
    QTest::newRow("boolean zero") << "Enable" << false << 0.0 << QList<double>{ 0 } << 0.0 << "";
    QTest::newRow("boolean not writable") << "Frozen" << false << 0.0 << QList<double>{} << 1.0 << "";
    QTest::newRow("enumeration") << "Mode" << false << 4.5 << QList<double>{} << 4.5 << "";
    QTest::newRow("string") << "Label" << false << 4.5 << QList<double>{} << 4.5 << "";
    QTest::newRow("missing") << "Nope" << false << 4.5 << QList<double>{} << 4.5 << "";
}

void TestFeatureManager::numericSetValue()
{
    QFETCH(QString, feature);
    QFETCH(bool, limitsUnreadable);
    QFETCH(double, argument);
    QFETCH(QList<double>, written);
    QFETCH(double, result);
    QFETCH(QString, message);

    const std::string name = feature.toStdString();
    if (limitsUnreadable) {
        camera->InjectFault(name, Op::GetRange, Fault::Always(KelError::InvalidAccess));
        camera->InjectFault(name, Op::GetIncrement, Fault::Always(KelError::InvalidAccess));
    }
    MessageCapture capture;
    QCOMPARE(manager->SetValue(feature, argument), result);

    QList<double> writes;
    for (const KelCPP::Sim::CallRecord& record : camera->CallLog()) {
        if (record.feature != name || record.op != Op::SetValue)
            continue;
        const QString text = QString::fromStdString(record.value);
        writes.append(text == "true" ? 1.0 : text == "false" ? 0.0 : text.toDouble());
    }
    QCOMPARE(writes, written);
    QCOMPARE(MessageCapture::Messages(), message.isEmpty() ? QStringList() : QStringList(message));
}

// A refused float write is retried once; only a second refusal is reported.
void TestFeatureManager::failedFloatWriteIsRetriedThenReported()
{
    camera->InjectFault("Exposure", Op::SetValue, Fault::Always(KelError::Timeout));
    MessageCapture capture;
    QCOMPARE(manager->SetValue("Exposure", 50.0), 100.0);
    QCOMPARE(camera->CallCount("Exposure", Op::SetValue), std::uint64_t(2));
    QCOMPARE(MessageCapture::Messages(),
             QStringList(QStringLiteral("Error: FeatureManager::SetValue:Double:  \"Exposure\"  :  %1")
                             .arg(KelError::Timeout)));
}

void TestFeatureManager::textSetValueReturnsValueReadBack_data()
{
    QTest::addColumn<QString>("feature");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("result");

    QTest::newRow("entry") << "Mode" << "On" << "On";
    QTest::newRow("unknown entry") << "Mode" << "Bogus" << "Off";
    QTest::newRow("entry not available now") << "Mode" << "Auto" << "Off";
    QTest::newRow("string") << "Label" << "hello" << "hello";
    QTest::newRow("string too long") << "Label" << "much too long" << "cam";
    QTest::newRow("missing") << "Nope" << "x" << QString();
}

void TestFeatureManager::textSetValueReturnsValueReadBack()
{
    QFETCH(QString, feature);
    QFETCH(QString, value);
    QFETCH(QString, result);

    const QString readBack = manager->SetValue(feature, value);
    QCOMPARE(readBack, result);
    QCOMPARE(readBack.isNull(), result.isNull());
}

void TestFeatureManager::limits_data()
{
    QTest::addColumn<QString>("feature");
    QTest::addColumn<int>("failingOp");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("increment");
    QTest::addColumn<bool>("writable");

    const int none = -1;
    QTest::newRow("integer max down to grid") << "Span" << none << 0.0 << 0.0 << 999.0 << 3.0 << true;
    QTest::newRow("float max down to grid") << "Gamma" << none << 1.0 << 0.0 << 10.25 << 0.25 << true;
    QTest::newRow("float without increment") << "Exposure" << none << 100.0 << 10.0 << 1000.0 << 0.01 << true;
    QTest::newRow("integer increment unreadable")
        << "Span" << int(Op::GetIncrement) << 0.0 << 0.0 << 1000.0 << 1.0 << true;
    QTest::newRow("float range unreadable")
        << "Gamma" << int(Op::GetRange) << 1.0 << -1.0 << -1.0 << 0.25 << true;
    QTest::newRow("integer value unreadable")
        << "Span" << int(Op::GetValue) << -1.0 << 0.0 << 999.0 << 3.0 << true;
    QTest::newRow("read-only") << "Level" << int(Op::IsWritable) << 2.0 << -5.0 << 5.0 << 1.0 << false;
    QTest::newRow("enumeration") << "Mode" << none << -1.0 << -1.0 << -1.0 << -1.0 << false;
}

void TestFeatureManager::limits()
{
    QFETCH(QString, feature);
    QFETCH(int, failingOp);
    QFETCH(double, value);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(double, increment);
    QFETCH(bool, writable);

    if (failingOp >= 0)
        camera->InjectFault(feature.toStdString(), Op(failingOp), Fault::Always(KelError::Other));

    bool isWritable = !writable;
    double lo = 0, hi = 0, inc = 0;
    QCOMPARE(manager->GetValueAndLimits(feature, isWritable, lo, hi, inc), value);
    QCOMPARE(isWritable, writable);
    QCOMPARE(lo, min);
    QCOMPARE(hi, max);
    QCOMPARE(inc, increment);

    lo = hi = inc = 0;
    QCOMPARE(manager->GetValueRangeIncrement(feature, lo, hi, inc), value);
    QCOMPARE(lo, min);
    QCOMPARE(hi, max);
    QCOMPARE(inc, increment);
}

void TestFeatureManager::limitsOfMissingFeatureLeaveOutputs()
{
    bool writable = true;
    double min = 123, max = 456, increment = 7;
    QCOMPARE(manager->GetValueRange("Nope", min, max), -1.0);
    QCOMPARE(manager->GetValueRangeIncrement("Nope", min, max, increment), -1.0);
    QCOMPARE(manager->GetValueAndLimits("Nope", writable, min, max, increment), -1.0);
    QCOMPARE(writable, true);
    QCOMPARE(min, 123.0);
    QCOMPARE(max, 456.0);
    QCOMPARE(increment, 7.0);
}

void TestFeatureManager::runCommand()
{
    QVERIFY(manager->RunCommand("Start"));
    QCOMPARE(camera->CallCount("Start", Op::RunCommand), std::uint64_t(1));
    QVERIFY(!manager->RunCommand("Nope"));
    camera->InjectFault("Start", Op::RunCommand, Fault::Always(KelError::Timeout));
    QVERIFY(!manager->RunCommand("Start"));
}

void TestFeatureManager::representationAndDataType()
{
    MessageCapture capture;
    QCOMPARE(manager->GetRepresentation("Address"), QString("HexNumber"));
    QCOMPARE(manager->GetDataType("Exposure"), 2);
    QCOMPARE(MessageCapture::Messages(), QStringList());

    QVERIFY(manager->GetRepresentation("Nope").isEmpty());
    QCOMPARE(manager->GetDataType("Nope"), 0);
    camera->InjectFault("Address", Op::GetRepresentation, Fault::Always(KelError::Other));
    camera->InjectFault("Exposure", Op::GetDataType, Fault::Always(KelError::Other));
    QVERIFY(manager->GetRepresentation("Address").isEmpty());
    QCOMPARE(manager->GetDataType("Exposure"), 0);

    // An unreadable data type is not reported, an unreadable representation is.
    QCOMPARE(MessageCapture::Messages(),
             QStringList({ "Error: FeatureManager::GetRepresentation() - cannot get "
                           "KelFeatureWrapperPtr for  \"Nope\"",
                           "Error: FeatureManager::GetDataType() - cannot get "
                           "KelFeatureWrapperPtr for  \"Nope\"",
                           "Error: FeatureManager::GetRepresentation() cannot get representaion "
                           "for  \"Address\"" }));
}

void TestFeatureManager::lists()
{
    QCOMPARE(manager->GetAvailableEntries("Mode"), QStringList({ "Off", "On" }));
    manager->SetValue("Enable", 1.0);
    QCOMPARE(manager->GetAvailableEntries("Mode"), QStringList({ "Off", "On", "Auto" }));
    QCOMPARE(manager->GetSelectedFeatures("Selector"), QStringList({ "PerA", "PerB" }));
    QVERIFY(manager->GetAvailableEntries("Nope").isEmpty());
    QVERIFY(manager->GetSelectedFeatures("Nope").isEmpty());

    QCOMPARE(manager->GetWritableStringValue("Label"), QString("cam"));
    QVERIFY(manager->GetWritableStringValue("Fixed").isNull());

    // A feature whose name cannot be read is neither listed nor found.
    QStringList names = manager->GetFeatureNames();
    QCOMPARE(names.size(), int(camera->FeatureCount()));
    camera->InjectFault("Span", Op::GetName, Fault::Always(KelError::Other));
    names.removeOne("Span");
    QCOMPARE(manager->GetFeatureNames(), names);
    QVERIFY(!manager->HasFeature("Span"));
}

QTEST_GUILESS_MAIN(TestFeatureManager)
#include "tst_featuremanager.moc"
