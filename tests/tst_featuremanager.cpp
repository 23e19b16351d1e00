#include "features/featuremanager.h"

#include "testsupport.h"

using namespace KelCPP;
using namespace KelCPP::Sim;

const QByteArray description = R"json({ "format": 1, "features": [
    { "name": "Width", "type": "Integer", "min": 3, "max": 22, "inc": 5 },
    { "name": "Shift", "type": "Integer", "min": -10, "max": 10, "inc": 5 },
    { "name": "Level", "type": "Integer", "min": -5, "max": 5, "value": 2 },
    { "name": "Span", "type": "Integer", "max": 1000, "inc": 3 },
    { "name": "Locked", "type": "Integer", "access": "RO", "value": 7, "representation": "HexNumber" },
    { "name": "Exposure", "type": "Float", "min": 10, "max": 1000, "value": 100 },
    { "name": "Ratio", "type": "Float", "min": -5, "max": 5, "value": 2 },
    { "name": "Step", "type": "Float", "max": 10.3, "inc": 0.5, "value": 2 },
    { "name": "Enable", "type": "Boolean" },
    { "name": "Frozen", "type": "Boolean", "access": "RO", "value": true },
    { "name": "Mode", "type": "Enumeration", "entries": [ "Off", "On", { "name": "Auto", "availableWhen": { "Enable": true } } ] },
    { "name": "Selector", "type": "Enumeration", "entries": [ "A", "B" ] },
    { "name": "Label", "type": "String", "maxLength": 8, "value": "cam", "selectedBy": "Selector" },
    { "name": "Fixed", "type": "String", "access": "RO", "selectedBy": "Selector" },
    { "name": "Start", "type": "Command" } ] })json";

class TestFeatureManager : public QObject
{
    Q_OBJECT

    std::shared_ptr<SimCamera> camera;
    std::unique_ptr<FeatureManager> manager;

    void Fail(const QString& feature, Op op) { camera->InjectFault(feature.toStdString(), op, Fault::Always(KelError::Other)); }

private slots:
    void init()
    {
        QVERIFY(camera = TestSupport::CameraFromJson(description));
        camera->SetCallLogEnabled(true);
        manager.reset(new FeatureManager(TestSupport::WrapFeatures(*camera)));
    }

    void firstOfDuplicateNamesWins()
    {
        const auto other = TestSupport::CameraFromJson(description);
        QVERIFY(other);
        const FeaturePtr theirs = TestSupport::FindFeature(*other, "Level");
        QCOMPARE(theirs->SetValue(std::int64_t(4)), KelError::Success);
        FeatureManager duplicates(FeatureList(new QVector<KelFeatureWrapperPtr>{
            std::make_shared<KelFeatureWrapper>(theirs),
            std::make_shared<KelFeatureWrapper>(TestSupport::FindFeature(*camera, "Level")) }));
        QCOMPARE(duplicates.GetValue("Level"), 4.0);
        QCOMPARE(duplicates.SetValue("Level", -3.0), -3.0);
        QCOMPARE(manager->GetValue("Level"), 2.0);
    }

    void candidateNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("alt1");
        QTest::addColumn<QString>("alt2");
        QTest::addColumn<QString>("found");
        QTest::newRow("the first name when it exists") << "Level" << "Span" << "Width" << "Level";
        QTest::newRow("alt1 when the first is missing") << "Nope" << "Span" << "Width" << "Span";
        QTest::newRow("alt2 even after an empty alt1") << "Nope" << "" << "Width" << "Width";
        QTest::newRow("names are case-sensitive") << "level" << "SPAN" << "Width" << "Width";
        QTest::newRow("nothing when none exists") << "Nope" << "" << "Nada" << "";
    }

    void candidateNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, alt1);
        QFETCH(QString, alt2);
        QFETCH(QString, found);
        QCOMPARE(manager->HasFeature(name, alt1, alt2), !found.isEmpty());
        QCOMPARE(manager->GetDisplayName(name, alt1, alt2), found);
        QCOMPARE(manager->GetFeatureName({ name, alt1, alt2 }), found);
    }

    void getValue_data()
    {
        QTest::addColumn<QString>("feature");
        QTest::addColumn<bool>("readFails");
        QTest::addColumn<double>("expected");
        QTest::newRow("an integer") << "Locked" << false << 7.0;
        QTest::newRow("a float") << "Exposure" << false << 100.0;
        QTest::newRow("a true boolean as 1") << "Frozen" << false << 1.0;
        QTest::newRow("a false boolean as 0") << "Enable" << false << 0.0;
        QTest::newRow("an enumeration as -1") << "Mode" << false << -1.0;
        QTest::newRow("a missing feature as -1") << "Nope" << false << -1.0;
        QTest::newRow("an unreadable integer as -1") << "Locked" << true << -1.0;
        QTest::newRow("an unreadable float as -1") << "Exposure" << true << -1.0;
        QTest::newRow("an unreadable boolean as 0") << "Frozen" << true << 0.0;
    }

    void getValue()
    {
        QFETCH(QString, feature);
        QFETCH(bool, readFails);
        if (readFails)
            Fail(feature, Op::GetValue);
        QTEST(manager->GetValue(feature), "expected");
    }

    // What a write sends to the camera and what it returns: the value the
    // camera holds afterwards. A number goes through the number form, any
    // other text through the text form, which ignores the camera's answer.
    void setValue_data()
    {
        QTest::addColumn<QString>("feature");
        QTest::addColumn<QString>("fault"); // "limits" unreadable, or every "write" refused
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QStringList>("written"); // as the camera logs them
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("message");

        using S = QStringList;
        const QString refused = "Error: FeatureManager::SetValue:%1:  \"%2\"  :  %3";
        QTest::newRow("an integer goes onto the grid from zero, off the camera's grid")
            << "Width" << "" << "14.9" << S{ "10" } << "3" << refused.arg("Int", "Width").arg(KelError::InvalidValue);
        QTest::newRow("an integer goes onto the grid from zero") << "Span" << "" << "14.9" << S{ "12" } << "12" << "";
        QTest::newRow("an integer below min gets min, off the grid") << "Width" << "" << "1" << S{ "3" } << "3" << "";
        QTest::newRow("an integer above max gets the last grid step") << "Span" << "" << "2000" << S{ "999" } << "999" << "";
        QTest::newRow("a negative integer is cut toward zero") << "Shift" << "" << "-7.9" << S{ "-5" } << "-5" << "";
        QTest::newRow("an integer without limits gets -1") << "Level" << "limits" << "4" << S{ "-1" } << "-1" << "";
        QTest::newRow("a read-only integer is not written") << "Locked" << "" << "3" << S{} << "7" << "";
        QTest::newRow("a float below min gets min") << "Exposure" << "" << "5" << S{ "10" } << "10" << "";
        QTest::newRow("a float above max gets max") << "Exposure" << "" << "5000" << S{ "1000" } << "1000" << "";
        QTest::newRow("a float in range as it is") << "Exposure" << "" << "123.5" << S{ "123.5" } << "123.5" << "";
        QTest::newRow("a float without range gets -1") << "Ratio" << "limits" << "3" << S{ "-1" } << "-1" << "";
        QTest::newRow("a refused float is retried with the held value on the grid")
            << "Step" << "" << "3.3" << S{ "3.3", "2" } << "2" << "";
        QTest::newRow("a float refused twice is reported")
            << "Exposure" << "write" << "50" << S{ "50", "50" } << "100" << refused.arg("Double", "Exposure").arg(KelError::Other);
        QTest::newRow("a boolean above zero is true") << "Enable" << "" << "0.5" << S{ "true" } << "1" << "";
        QTest::newRow("a boolean of zero is false") << "Enable" << "" << "0" << S{ "false" } << "0" << "";
        QTest::newRow("a read-only boolean is not written") << "Frozen" << "" << "0" << S{} << "1" << "";
        QTest::newRow("an enumeration returns the argument") << "Mode" << "" << "4.5" << S{} << "4.5" << "";
        QTest::newRow("a missing feature returns the argument") << "Nope" << "" << "4.5" << S{} << "4.5" << "";
        QTest::newRow("an entry") << "Mode" << "" << "On" << S{ "On" } << "On" << "";
        QTest::newRow("an unknown entry leaves the old one") << "Mode" << "" << "Bogus" << S{ "Bogus" } << "Off" << "";
        QTest::newRow("an entry not available now leaves the old one") << "Mode" << "" << "Auto" << S{ "Auto" } << "Off" << "";
        QTest::newRow("a string too long leaves the old one") << "Label" << "" << "much too long" << S{ "much too long" } << "cam" << "";
        QTest::newRow("a missing feature gives a null text") << "Nope" << "" << "x" << S{} << QString() << "";
    }

    void setValue()
    {
        QFETCH(QString, feature);
        QFETCH(QString, fault);
        QFETCH(QString, argument);
        QFETCH(QString, result);
        QFETCH(QString, message);
        if (fault == "limits") {
            Fail(feature, Op::GetRange);
            Fail(feature, Op::GetIncrement);
        } else if (fault == "write") {
            Fail(feature, Op::SetValue);
        }
        const TestSupport::DebugMessages messages;
        bool isNumber = false;
        const double number = argument.toDouble(&isNumber);
        const QString readBack = isNumber ? QString::number(manager->SetValue(feature, number))
                                          : manager->SetValue(feature, argument);
        QCOMPARE(readBack, result);
        QCOMPARE(readBack.isNull(), result.isNull());

        QStringList written;
        for (const CallRecord& record : camera->CallLog())
            written << QString::fromStdString(record.value);
        QTEST(written, "written");
        QCOMPARE(messages.Messages(), message.isEmpty() ? QStringList() : QStringList(message));
    }

    void limits_data()
    {
        QTest::addColumn<QString>("feature");
        QTest::addColumn<int>("failingOp");
        QTest::addColumn<double>("value");
        QTest::addColumn<QList<double>>("limits"); // min, max, increment
        QTest::addColumn<bool>("writable");

        using L = QList<double>;
        const int none = -1;
        QTest::newRow("an integer max comes down to the grid") << "Span" << none << 0.0 << L{ 0, 999, 3 } << true;
        QTest::newRow("a float max comes down to the grid") << "Step" << none << 2.0 << L{ 0, 10, 0.5 } << true;
        QTest::newRow("a float without increment steps by 0.01") << "Exposure" << none << 100.0 << L{ 10, 1000, 0.01 } << true;
        QTest::newRow("an integer with unreadable increment steps by 1")
            << "Span" << int(Op::GetIncrement) << 0.0 << L{ 0, 1000, 1 } << true;
        QTest::newRow("an unreadable float range is -1") << "Step" << int(Op::GetRange) << 2.0 << L{ -1, -1, 0.5 } << true;
        QTest::newRow("unreadable access is not writable") << "Level" << int(Op::IsWritable) << 2.0 << L{ -5, 5, 1 } << false;
        QTest::newRow("an enumeration has no limits") << "Mode" << none << -1.0 << L{ -1, -1, -1 } << false;
    }

    void limits()
    {
        QFETCH(QString, feature);
        QFETCH(int, failingOp);
        QFETCH(double, value);
        QFETCH(QList<double>, limits);
        QFETCH(bool, writable);
        if (failingOp >= 0)
            Fail(feature, Op(failingOp));

        bool isWritable = !writable;
        double min = 0, max = 0, increment = 0;
        QCOMPARE(manager->GetValueAndLimits(feature, isWritable, min, max, increment), value);
        QCOMPARE(isWritable, writable);
        QCOMPARE(QList<double>({ min, max, increment }), limits);
        min = max = increment = 0;
        QCOMPARE(manager->GetValueRangeIncrement(feature, min, max, increment), value);
        QCOMPARE(QList<double>({ min, max, increment }), limits);
        min = max = 0;
        QCOMPARE(manager->GetValueRange(feature, min, max), value);
        QCOMPARE(QList<double>({ min, max }), limits.mid(0, 2));
    }

    void missingFeatureGivesDefaultsAndLeavesOutputsAlone()
    {
        const TestSupport::DebugMessages messages;
        bool writable = true;
        double min = 123, max = 456, increment = 7;
        QCOMPARE(manager->GetValueRange("Nope", min, max), -1.0);
        QCOMPARE(manager->GetValueRangeIncrement("Nope", min, max, increment), -1.0);
        QCOMPARE(manager->GetValueAndLimits("Nope", writable, min, max, increment), -1.0);
        QVERIFY(writable);
        QCOMPARE(QList<double>({ min, max, increment }), QList<double>({ 123, 456, 7 }));
        QVERIFY(!manager->RunCommand("Nope"));
        QVERIFY(manager->GetAvailableEntries("Nope").isEmpty());
        QVERIFY(manager->GetSelectedFeatures("Nope").isEmpty());
        QVERIFY(manager->GetRepresentation("Nope").isEmpty());
        QCOMPARE(manager->GetDataType("Nope"), 0);
        QCOMPARE(messages.Messages(), QStringList({
            "Error: FeatureManager::GetRepresentation() - cannot get KelFeatureWrapperPtr for  \"Nope\"",
            "Error: FeatureManager::GetDataType() - cannot get KelFeatureWrapperPtr for  \"Nope\"" }));
    }

    void runCommandOnlyStartsIt()
    {
        QVERIFY(manager->RunCommand("Start"));
        QCOMPARE(camera->CallCount("Start", Op::RunCommand), std::uint64_t(1));
        QCOMPARE(camera->CallCount("Start", Op::IsCommandDone), std::uint64_t(0));
        Fail("Start", Op::RunCommand);
        QVERIFY(!manager->RunCommand("Start"));
    }

    // An unreadable representation is reported, an unreadable data type is not.
    void representationAndDataType()
    {
        const TestSupport::DebugMessages messages;
        QCOMPARE(manager->GetRepresentation("Locked"), QString("HexNumber"));
        QCOMPARE(manager->GetDataType("Exposure"), int(KelFeatureDataFloat));
        Fail("Locked", Op::GetRepresentation);
        Fail("Exposure", Op::GetDataType);
        QVERIFY(manager->GetRepresentation("Locked").isEmpty());
        QCOMPARE(manager->GetDataType("Exposure"), 0);
        QCOMPARE(messages.Messages(), QStringList(
            "Error: FeatureManager::GetRepresentation() cannot get representaion for  \"Locked\""));
    }

    void lists()
    {
        QCOMPARE(manager->GetAvailableEntries("Mode"), QStringList({ "Off", "On" }));
        manager->SetValue("Enable", 1.0);
        QCOMPARE(manager->GetAvailableEntries("Mode"), QStringList({ "Off", "On", "Auto" }));
        QCOMPARE(manager->GetSelectedFeatures("Selector"), QStringList({ "Label", "Fixed" }));
        QCOMPARE(manager->GetWritableStringValue("Label"), QString("cam"));
        QVERIFY(manager->GetWritableStringValue("Fixed").isNull());

        // A feature whose name cannot be read is neither listed nor found.
        QStringList names = manager->GetFeatureNames();
        QCOMPARE(names.size(), int(camera->FeatureCount()));
        Fail("Span", Op::GetName);
        names.removeOne("Span");
        QCOMPARE(manager->GetFeatureNames(), names);
        QVERIFY(!manager->HasFeature("Span"));
    }
};

QTEST_GUILESS_MAIN(TestFeatureManager)
#include "tst_featuremanager.moc"
