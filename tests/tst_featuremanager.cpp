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

    void candidateNames_data()
    {
        QTest::addColumn<QStringList>("names"); // name, alt1, alt2
        QTest::addColumn<QString>("found");
        QTest::newRow("the first name when it exists") << QStringList{ "Level", "Span", "Width" } << "Level";
        QTest::newRow("alt1 when the first is missing") << QStringList{ "Nope", "Span", "Width" } << "Span";
        QTest::newRow("alt2 even after an empty alt1") << QStringList{ "Nope", "", "Width" } << "Width";
        QTest::newRow("names are case-sensitive") << QStringList{ "level", "SPAN", "Width" } << "Width";
        QTest::newRow("nothing when none exists") << QStringList{ "Nope", "", "Nada" } << "";
    }

    void candidateNames()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, found);
        QCOMPARE(manager->HasFeature(names[0], names[1], names[2]), !found.isEmpty());
        QCOMPARE(manager->GetDisplayName(names[0], names[1], names[2]), found);
        QCOMPARE(manager->GetFeatureName(names), found);
    }

    // What a write sends to the camera and what it returns: the value the
    // camera holds afterwards, which GetValue reads too. A number goes
    // through the number form, any other text through the text form, which
    // ignores the camera's answer.
    void setValue_data()
    {
        QTest::addColumn<QString>("feature");
        QTest::addColumn<QString>("fault"); // the value cannot be "read", or every "write" is refused
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QStringList>("written"); // as the camera logs them
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("message");

        using S = QStringList;
        const QString refused = "Error: FeatureManager::SetValue:%1:  \"%2\"  :  %3";
        QTest::newRow("an integer goes onto the grid from zero, off the camera's grid")
            << "Width" << "" << "14.9" << S{ "10" } << "3" << refused.arg("Int", "Width").arg(KelError::InvalidValue);
        QTest::newRow("an integer below min gets min, off the grid") << "Width" << "" << "1" << S{ "3" } << "3" << "";
        QTest::newRow("an integer above max gets the last grid step") << "Span" << "" << "2000" << S{ "999" } << "999" << "";
        QTest::newRow("a negative integer is cut toward zero") << "Shift" << "" << "-7.9" << S{ "-5" } << "-5" << "";
        QTest::newRow("an unreadable integer reads as -1") << "Level" << "read" << "4" << S{ "4" } << "-1" << "";
        QTest::newRow("a read-only integer is not written") << "Locked" << "" << "3" << S{} << "7" << "";
        QTest::newRow("a float below min gets min") << "Exposure" << "" << "5" << S{ "10" } << "10" << "";
        QTest::newRow("a float above max gets max") << "Exposure" << "" << "5000" << S{ "1000" } << "1000" << "";
        QTest::newRow("an unreadable float reads as -1") << "Ratio" << "read" << "3" << S{ "3" } << "-1" << "";
        QTest::newRow("a refused float is retried with the held value on the grid")
            << "Step" << "" << "3.3" << S{ "3.3", "2" } << "2" << "";
        QTest::newRow("a float refused twice is reported")
            << "Exposure" << "write" << "50" << S{ "50", "50" } << "100" << refused.arg("Double", "Exposure").arg(KelError::Other);
        QTest::newRow("a boolean above zero is true") << "Enable" << "" << "0.5" << S{ "true" } << "1" << "";
        QTest::newRow("a boolean of zero is false") << "Enable" << "" << "0" << S{ "false" } << "0" << "";
        QTest::newRow("an unreadable boolean reads as 0") << "Enable" << "read" << "1" << S{ "true" } << "0" << "";
        QTest::newRow("a read-only boolean is not written") << "Frozen" << "" << "0" << S{} << "1" << "";
        QTest::newRow("a string too long leaves the old one") << "Label" << "" << "much too long" << S{ "much too long" } << "cam" << "";
    }

    void setValue()
    {
        QFETCH(QString, feature);
        QFETCH(QString, fault);
        QFETCH(QString, argument);
        QFETCH(QString, message);
        if (!fault.isEmpty())
            Fail(feature, fault == "read" ? Op::GetValue : Op::SetValue);
        const TestSupport::DebugMessages messages;
        bool isNumber = false;
        const double number = argument.toDouble(&isNumber);
        const QString readBack = isNumber ? QString::number(manager->SetValue(feature, number))
                                          : manager->SetValue(feature, argument);
        QTEST(readBack, "result");
        if (isNumber)
            QCOMPARE(manager->GetValue(feature), readBack.toDouble());

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
        QTest::addColumn<QList<double>>("limits"); // writable, min, max, increment

        using L = QList<double>;
        const int none = -1;
        QTest::newRow("an integer max comes down to the grid") << "Span" << none << 0.0 << L{ 1, 0, 999, 3 };
        QTest::newRow("a float without increment steps by 0.01") << "Exposure" << none << 100.0 << L{ 1, 10, 1000, 0.01 };
        QTest::newRow("an integer with unreadable increment steps by 1") << "Span" << int(Op::GetIncrement) << 0.0 << L{ 1, 0, 1000, 1 };
        QTest::newRow("an unreadable float range is -1") << "Step" << int(Op::GetRange) << 2.0 << L{ 1, -1, -1, 0.5 };
        QTest::newRow("unreadable access is not writable") << "Level" << int(Op::IsWritable) << 2.0 << L{ 0, -5, 5, 1 };
        QTest::newRow("an enumeration has no limits, whatever its access") << "Mode" << none << -1.0 << L{ 0, -1, -1, -1 };
    }

    // The three forms agree; each sets its own outputs.
    void limits()
    {
        QFETCH(QString, feature);
        QFETCH(int, failingOp);
        QFETCH(QList<double>, limits);
        if (failingOp >= 0)
            Fail(feature, Op(failingOp));
        bool writable = !limits.at(0);
        double min = 0, max = 0, increment = 0;
        QTEST(manager->GetValueAndLimits(feature, writable, min, max, increment), "value");
        QCOMPARE(QList<double>({ double(writable), min, max, increment }), limits);
        min = max = increment = 0;
        QTEST(manager->GetValueRangeIncrement(feature, min, max, increment), "value");
        QCOMPARE(QList<double>({ min, max, increment }), limits.mid(1));
        min = max = 0;
        QTEST(manager->GetValueRange(feature, min, max), "value");
        QCOMPARE(QList<double>({ min, max }), limits.mid(1, 2));
    }

    void defaults_data()
    {
        QTest::addColumn<bool>("failing");
        QTest::addColumn<QList<double>>("outputs"); // writable, min, max, increment
        QTest::newRow("a missing feature leaves the outputs alone") << false << QList<double>{ 1, 123, 456, 7 };
        QTest::newRow("a camera failing every call but the name reads") << true << QList<double>{ 0, -1, -1, -1 };
    }

    // Nothing crashes and every query gives its documented default.
    void defaults()
    {
        QFETCH(bool, failing);
        const QStringList names = failing ? manager->GetFeatureNames() : QStringList("Nope");
        QCOMPARE(names.size(), failing ? int(camera->FeatureCount()) : 1);
        for (int op = 0; failing && op < OpCount; ++op)
            if (Op(op) != Op::GetName)
                camera->InjectFault("*", Op(op), Fault::Always(KelError::Other));
        const TestSupport::DebugMessages quiet;
        for (const QString& name : names) {
            bool writable = true;
            double min = 123, max = 456, increment = 7;
            QCOMPARE(manager->GetValueAndLimits(name, writable, min, max, increment), -1.0);
            QTEST(QList<double>({ double(writable), min, max, increment }), "outputs");
            QCOMPARE(manager->GetValue(name), -1.0);
            QCOMPARE(manager->SetValue(name, 4.5), 4.5);
            const QString text = manager->SetValue(name, QString("x"));
            QVERIFY(text.isEmpty() && text.isNull() == !failing);
            QVERIFY(!manager->RunCommand(name) && manager->GetWritableStringValue(name).isNull());
            QVERIFY(manager->GetAvailableEntries(name).isEmpty() && manager->GetSelectedFeatures(name).isEmpty());
            QVERIFY(manager->GetRepresentation(name).isEmpty());
            QCOMPARE(manager->GetDataType(name), 0);
        }
    }

    // The index answers as a walk in camera order would: the first feature
    // of a name wins, whatever comes after it.
    void firstFeatureOfANameWins()
    {
        const auto other = TestSupport::CameraFromJson(R"({ "format": 1, "features": [
            { "name": "Level", "type": "Integer", "max": 9, "value": 9 },
            { "name": "Extra", "type": "Integer", "value": 4 } ] })");
        FeatureList both = TestSupport::WrapFeatures(*camera);
        *both += *TestSupport::WrapFeatures(*other);
        FeatureManager joined(both);
        QCOMPARE(joined.GetValue("Level"), 2.0); // ours, not the other camera's 9
        QCOMPARE(joined.SetValue("Level", 4.0), 4.0);
        QCOMPARE(TestSupport::ValueText(TestSupport::FindFeature(*other, "Level")), QString("9"));
        QCOMPARE(joined.GetValue("Extra"), 4.0);
        QCOMPARE(joined.GetFeatureNames().count("Level"), 2);
        // The lookup itself never reaches the device.
        camera->ResetCallCounts();
        other->ResetCallCounts();
        QVERIFY(joined.HasFeature("Extra") && !joined.HasFeature("Nope") && !joined.HasFeature(""));
        QCOMPARE(camera->DeviceAccessCount() + other->DeviceAccessCount(), std::uint64_t(0));
    }

    void lists()
    {
        QCOMPARE(manager->GetAvailableEntries("Mode"), QStringList({ "Off", "On" })); // Auto needs Enable
        QCOMPARE(manager->GetSelectedFeatures("Selector"), QStringList({ "Label", "Fixed" }));
        QCOMPARE(manager->GetWritableStringValue("Label"), QString("cam"));
        QVERIFY(manager->GetWritableStringValue("Fixed").isNull());

        // Names are read once, when the manager is made: a feature whose name
        // cannot be read then is neither listed nor found.
        QStringList names = manager->GetFeatureNames();
        Fail("Span", Op::GetName);
        QVERIFY(manager->HasFeature("Span"));
        manager.reset(new FeatureManager(TestSupport::WrapFeatures(*camera)));
        names.removeOne("Span");
        QCOMPARE(manager->GetFeatureNames(), names);
        QVERIFY(!manager->HasFeature("Span"));
    }
};

QTEST_GUILESS_MAIN(TestFeatureManager)
#include "tst_featuremanager.moc"
