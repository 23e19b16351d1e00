// The camera descriptions shipped in data/cameras: they load, and each one
// has (or lacks) what the plug-in and the viewer rely on.

#include "testsupport.h"

#include <QtTest>

using namespace KelCPP;
using namespace KelCPP::Sim;

namespace {

std::string Text(const std::shared_ptr<SimCamera>& camera, const char* name)
{
    FeaturePtr feature;
    std::string text;
    if (camera->GetFeatureByName(name, feature) == KelError::Success)
        feature->GetValue(text);
    return text;
}

bool Has(const std::shared_ptr<SimCamera>& camera, const QString& name)
{
    FeaturePtr feature;
    return camera->GetFeatureByName(name.toUtf8().constData(), feature) == KelError::Success;
}

} // namespace

class TestBundledCameras : public QObject {
    Q_OBJECT

private slots:
    void loads_data();
    void loads();
    void fullCameraHasEveryFeatureTheViewsUse_data();
    void fullCameraHasEveryFeatureTheViewsUse();
    void basicCameraLacksAdvancedGroups_data();
    void basicCameraLacksAdvancedGroups();
    void fullCameraLinesAndSelectors();
    void fullCameraPwmDrivesAnOutputLine();
};

void TestBundledCameras::loads_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("minimumFeatures");
    QTest::addColumn<bool>("ourVendor");
    QTest::addColumn<bool>("hasLineMode");
    QTest::newRow("full") << "full.json" << 300 << true << true;
    QTest::newRow("basic") << "basic.json" << 50 << true << true;
    QTest::newRow("other vendor") << "othervendor.json" << 30 << false << true;
    QTest::newRow("no LineMode") << "nolinemode.json" << 30 << true << false;
}

void TestBundledCameras::loads()
{
    QFETCH(QString, file);
    QFETCH(int, minimumFeatures);
    QFETCH(bool, ourVendor);
    QFETCH(bool, hasLineMode);
    const auto camera = TestSupport::OpenCamera(file);
    QVERIFY(camera);
    QVERIFY2(camera->FeatureCount() >= std::size_t(minimumFeatures),
             qPrintable(QString::number(camera->FeatureCount())));
    QCOMPARE(QString::fromStdString(Text(camera, "DeviceVendorName")).startsWith("Brennix"), ourVendor);
    QVERIFY(!Text(camera, "DeviceModelName").empty());
    QVERIFY(!Text(camera, "DeviceSerialNumber").empty());
    QVERIFY(Has(camera, "TriggerSelector"));
    QVERIFY(Has(camera, "LineSelector"));
    QCOMPARE(Has(camera, "LineMode"), hasLineMode);
    QVERIFY(camera->LineNames().size() >= 4);

    // Every readable feature can be read through the API without error.
    FeaturePtrVector features;
    camera->GetFeatures(features);
    for (const auto& feature : features) {
        bool readable = false;
        KelFeatureDataType type;
        QCOMPARE(feature->GetDataType(type), KelError::Success);
        feature->IsReadable(readable);
        if (!readable || type == KelFeatureDataCommand)
            continue;
        std::string name;
        feature->GetName(name);
        KelErrorType err;
        switch (type) {
        case KelFeatureDataInt: { std::int64_t v; err = feature->GetValue(v); break; }
        case KelFeatureDataFloat: { double v; err = feature->GetValue(v); break; }
        case KelFeatureDataBool: { bool v; err = feature->GetValue(v); break; }
        case KelFeatureDataRaw: { std::vector<std::uint8_t> v; err = feature->GetValue(v); break; }
        default: { std::string v; err = feature->GetValue(v); break; }
        }
        QVERIFY2(err == KelError::Success, name.c_str());
    }
}

void TestBundledCameras::fullCameraHasEveryFeatureTheViewsUse_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("access"); // RW, RO or WO at power-up
    QTest::addColumn<QString>("representation");

    struct Row { const char* name; int type; const char* access; const char* representation; };
    const Row rows[] = {
        {"DeviceVendorName", 4, "RO", ""}, {"DeviceFamilyName", 4, "RO", ""},
        {"DeviceModelName", 4, "RO", ""}, {"DeviceSerialNumber", 4, "RO", ""},
        {"TriggerSelector", 3, "RW", ""}, {"TriggerMode", 3, "RW", ""},
        {"TriggerSource", 3, "RW", ""}, {"TriggerActivation", 3, "RW", ""},
        {"TriggerDelay", 2, "RW", ""}, {"TriggerSoftware", 6, "", ""},
        {"LineSelector", 3, "RW", ""}, {"LineMode", 3, "RO", ""}, {"LineInverter", 5, "RW", ""},
        {"LineSource", 3, "RO", ""}, {"LineStatus", 5, "RO", ""},
        {"LineDebounceMode", 3, "RW", ""}, {"LineDebounceDuration", 2, "RW", ""},
        {"AcquisitionMode", 3, "RW", ""}, {"AcquisitionFrameCount", 1, "RW", ""},
        {"ExposureMode", 3, "RW", ""},
        {"ActionDeviceKey", 1, "WO", "HexNumber"}, {"ActionSelector", 1, "RW", ""},
        {"ActionGroupKey", 1, "RW", "HexNumber"}, {"ActionGroupMask", 1, "RW", "HexNumber"},
        {"ActionQueueSize", 1, "RO", ""},
        {"PtpEnable", 5, "RW", ""}, {"PtpClockAccuracy", 3, "RO", ""},
        {"PtpOperationMode", 3, "RW", ""}, {"PtpClockID", 1, "RO", "HexNumber"},
        {"PtpOffsetFromMaster", 1, "RO", ""}, {"PtpGrandmasterClockID", 1, "RO", "HexNumber"},
        {"PtpServoStatus", 3, "RO", ""}, {"PtpParentClockID", 1, "RO", "HexNumber"},
        {"PtpStatus", 3, "RO", ""}, {"PtpDataSetLatch", 6, "", ""},
        {"TimestampLatchValue", 1, "RO", ""}, {"TimestampLatch", 6, "", ""},
        {"SoftwareSignalSelector", 3, "RW", ""}, {"SoftwareSignalPulse", 6, "", ""},
        {"CounterSelector", 3, "RW", ""}, {"CounterEventSource", 3, "RW", ""},
        {"CounterEventActivation", 3, "RW", ""}, {"CounterDuration", 1, "RW", ""},
        {"CounterValue", 1, "RW", ""}, {"CounterTriggerSource", 3, "RW", ""},
        {"CounterResetSource", 3, "RW", ""}, {"CounterTriggerActivation", 3, "RW", ""},
        {"CounterResetActivation", 3, "RW", ""}, {"CounterStatus", 3, "RO", ""},
        {"CounterValueAtReset", 1, "RO", ""}, {"CounterReset", 6, "", ""},
        {"TimerSelector", 3, "RW", ""}, {"TimerTriggerSource", 3, "RW", ""},
        {"TimerDelay", 2, "RW", ""}, {"TimerTriggerActivation", 3, "RW", ""},
        {"TimerDuration", 2, "RW", ""}, {"TimerStatus", 3, "RO", ""}, {"TimerReset", 6, "", ""},
    };
    for (const Row& row : rows)
        QTest::newRow(row.name) << row.name << row.type << row.access << row.representation;
}

void TestBundledCameras::fullCameraHasEveryFeatureTheViewsUse()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QString, access);
    QFETCH(QString, representation);
    static const auto camera = TestSupport::OpenCamera("full.json");
    QVERIFY(camera);
    FeaturePtr feature;
    QCOMPARE(camera->GetFeatureByName(name.toUtf8().constData(), feature), KelError::Success);
    KelFeatureDataType actualType;
    feature->GetDataType(actualType);
    QCOMPARE(int(actualType), type);
    if (!access.isEmpty()) {
        bool readable = false, writable = false;
        feature->IsReadable(readable);
        feature->IsWritable(writable);
        const QString actual = readable && writable ? "RW" : readable ? "RO" : writable ? "WO" : "NA";
        QCOMPARE(actual, access);
    }
    if (!representation.isEmpty()) {
        std::string actual;
        feature->GetRepresentation(actual);
        QCOMPARE(QString::fromStdString(actual), representation);
    }
}

void TestBundledCameras::basicCameraLacksAdvancedGroups_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"LineInverter", "LineDebounceMode", "LineDebounceDuration",
                             "CounterSelector", "TimerSelector", "ActionSelector",
                             "SoftwareSignalSelector", "PtpEnable"})
        QTest::newRow(name) << name;
}

void TestBundledCameras::basicCameraLacksAdvancedGroups()
{
    QFETCH(QString, name);
    static const auto camera = TestSupport::OpenCamera("basic.json");
    QVERIFY(camera);
    QVERIFY(!Has(camera, name));
}

void TestBundledCameras::fullCameraLinesAndSelectors()
{
    const auto camera = TestSupport::OpenCamera("full.json");
    QVERIFY(camera);
    QVERIFY(QString::fromStdString(Text(camera, "DeviceFamilyName")).contains(' '));

    FeaturePtr selector, mode;
    camera->GetFeatureByName("LineSelector", selector);
    camera->GetFeatureByName("LineMode", mode);
    int inputs = 0, outputs = 0, bidirectional = 0;
    for (const auto& line : camera->LineNames()) {
        QCOMPARE(selector->SetValue(line.c_str()), KelError::Success);
        bool canInput = false, canOutput = false, writable = false;
        mode->IsValueAvailable("Input", canInput);
        mode->IsValueAvailable("Output", canOutput);
        mode->IsWritable(writable);
        if (writable && canInput && canOutput)
            ++bidirectional;
        else if (canOutput)
            ++outputs;
        else
            ++inputs;
    }
    QVERIFY(inputs >= 1);
    QVERIFY(outputs >= 1);
    QVERIFY(bidirectional >= 1);

    // Several trigger selectors, and timer sources that include each other's signals.
    std::vector<std::string> triggers, timerSources;
    FeaturePtr feature;
    camera->GetFeatureByName("TriggerSelector", feature);
    feature->GetValues(triggers);
    QVERIFY(triggers.size() >= 3);
    camera->GetFeatureByName("TimerTriggerSource", feature);
    feature->GetValues(timerSources);
    QVERIFY(std::count(timerSources.begin(), timerSources.end(), "Timer0Active") == 1);
    QVERIFY(std::count(timerSources.begin(), timerSources.end(), "Timer1Active") == 1);

    std::vector<FeaturePtr> selected;
    camera->GetFeatureByName("TriggerSelector", feature);
    feature->GetSelectedFeatures(selected);
    QVERIFY(selected.size() >= 5);
}

void TestBundledCameras::fullCameraPwmDrivesAnOutputLine()
{
    const auto camera = TestSupport::OpenCamera("full.json");
    QVERIFY(camera);
    auto get = [&](const char* name) {
        FeaturePtr feature;
        camera->GetFeatureByName(name, feature);
        return feature;
    };
    QCOMPARE(get("TimerSelector")->SetValue("Timer0"), KelError::Success);
    QCOMPARE(get("TimerDelay")->SetValue(500000.0), KelError::Success);
    QCOMPARE(get("TimerDuration")->SetValue(500000.0), KelError::Success);
    QCOMPARE(get("TimerTriggerActivation")->SetValue("FallingEdge"), KelError::Success);
    QCOMPARE(get("TimerTriggerSource")->SetValue("Timer0Active"), KelError::Success);
    QCOMPARE(get("LineSelector")->SetValue("Line2"), KelError::Success);
    QCOMPARE(get("LineSource")->SetValue("Timer0Active"), KelError::Success);

    QString pattern;
    for (int i = 0; i < 4; ++i) {
        camera->Step(std::chrono::milliseconds(500));
        get("LineSelector")->SetValue("Line2");
        bool status = false;
        get("LineStatus")->GetValue(status);
        pattern += status ? '1' : '0';
    }
    QCOMPARE(pattern, QString("1010"));
}

QTEST_GUILESS_MAIN(TestBundledCameras)
#include "tst_bundledcameras.moc"
