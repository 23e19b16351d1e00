// The camera descriptions shipped in data/cameras: they load, and each one
// has (or lacks) what the plug-in and the viewer rely on.

#include "testsupport.h"

using namespace KelCPP;
using namespace KelCPP::Sim;

namespace {

QString Text(const SimCamera& camera, const char* name)
{
    return TestSupport::ValueText(TestSupport::FindFeature(camera, name));
}

} // namespace

class TestBundledCameras : public QObject {
    Q_OBJECT

private slots:
    void loads_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("minimumFeatures");
        QTest::addColumn<bool>("ourVendor");
        QTest::addColumn<bool>("hasLineMode");
        QTest::newRow("the full camera") << "full.json" << 300 << true << true;
        QTest::newRow("the basic camera") << "basic.json" << 50 << true << true;
        QTest::newRow("another vendor's camera") << "othervendor.json" << 30 << false << true;
        QTest::newRow("a camera without LineMode") << "nolinemode.json" << 30 << true << false;
    }

    // Every readable feature can also be read without error.
    void loads()
    {
        QFETCH(QString, file);
        QFETCH(int, minimumFeatures);
        QFETCH(bool, hasLineMode);
        const auto camera = TestSupport::OpenCamera(file);
        QVERIFY(camera);
        QVERIFY2(camera->FeatureCount() >= std::size_t(minimumFeatures), qPrintable(QString::number(camera->FeatureCount())));
        QTEST(Text(*camera, "DeviceVendorName").startsWith("Brennix"), "ourVendor");
        for (const char* name : { "DeviceModelName", "DeviceSerialNumber" })
            QVERIFY2(!Text(*camera, name).isEmpty() && Text(*camera, name) != "unreadable", name);
        QVERIFY(TestSupport::FindFeature(*camera, "TriggerSelector") && TestSupport::FindFeature(*camera, "LineSelector"));
        QCOMPARE(bool(TestSupport::FindFeature(*camera, "LineMode")), hasLineMode);
        QVERIFY(camera->LineNames().size() >= 4);

        const CameraFeatureList features = TestSupport::CameraFeatures(*camera);
        for (const FeaturePtr& feature : *features) {
            bool readable = false;
            KelFeatureDataType type;
            std::string name;
            feature->GetName(name);
            QVERIFY2(feature->GetDataType(type) == KelError::Success && feature->IsReadable(readable) == KelError::Success, name.c_str());
            if (readable && type != KelFeatureDataCommand)
                QVERIFY2(TestSupport::ValueText(feature) != "unreadable", name.c_str());
        }
    }

    // By type (KelFeatureDataType) and access at power-up; "" for commands.
    void fullCameraHasEveryFeatureTheViewsUse_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("access");
        const struct { int type; const char* access; const char* names; } groups[] = {
            { 1, "RW", "AcquisitionFrameCount ActionSelector ActionGroupKey ActionGroupMask CounterDuration CounterValue" },
            { 1, "RO", "ActionQueueSize PtpClockID PtpOffsetFromMaster PtpGrandmasterClockID PtpParentClockID "
                       "TimestampLatchValue CounterValueAtReset" },
            { 1, "WO", "ActionDeviceKey" },
            { 2, "RW", "TriggerDelay LineDebounceDuration TimerDelay TimerDuration" },
            { 3, "RW", "TriggerSelector TriggerMode TriggerSource TriggerActivation LineSelector LineDebounceMode "
                       "AcquisitionMode ExposureMode PtpOperationMode SoftwareSignalSelector CounterSelector "
                       "CounterEventSource CounterEventActivation CounterTriggerSource CounterResetSource "
                       "CounterTriggerActivation CounterResetActivation TimerSelector TimerTriggerSource "
                       "TimerTriggerActivation" },
            { 3, "RO", "LineMode LineSource PtpClockAccuracy PtpServoStatus PtpStatus CounterStatus TimerStatus" },
            { 4, "RO", "DeviceVendorName DeviceFamilyName DeviceModelName DeviceSerialNumber" },
            { 5, "RW", "LineInverter PtpEnable" },
            { 5, "RO", "LineStatus" },
            { 6, "", "TriggerSoftware PtpDataSetLatch TimestampLatch SoftwareSignalPulse CounterReset TimerReset" },
        };
        for (const auto& group : groups) {
            for (const QString& name : QString(group.names).split(' '))
                QTest::newRow(qPrintable(name)) << name << group.type << group.access;
        }
    }

    void fullCameraHasEveryFeatureTheViewsUse()
    {
        QFETCH(QString, name);
        QFETCH(QString, access);
        static const auto camera = TestSupport::OpenCamera("full.json");
        QVERIFY(camera);
        const FeaturePtr feature = TestSupport::FindFeature(*camera, qPrintable(name));
        QVERIFY(feature);
        KelFeatureDataType type = KelFeatureDataUnknown;
        feature->GetDataType(type);
        QTEST(int(type), "type");
        bool readable = false, writable = false;
        feature->IsReadable(readable);
        feature->IsWritable(writable);
        if (!access.isEmpty())
            QCOMPARE(QString(readable && writable ? "RW" : readable ? "RO" : writable ? "WO" : "NA"), access);
        // Keys and clock identities are shown in hexadecimal.
        std::string representation;
        feature->GetRepresentation(representation);
        QCOMPARE(representation == "HexNumber", name.contains("Key") || name.contains("Mask") || name.contains("ClockID"));
    }

    void basicCameraLacksAdvancedGroups()
    {
        const auto camera = TestSupport::OpenCamera("basic.json");
        QVERIFY(camera);
        for (const char* name : { "LineInverter", "LineDebounceMode", "LineDebounceDuration", "CounterSelector",
                                  "TimerSelector", "ActionSelector", "SoftwareSignalSelector", "PtpEnable" })
            QVERIFY2(!TestSupport::FindFeature(*camera, name), name);
    }

    void fullCameraLinesAndSelectors()
    {
        const auto camera = TestSupport::OpenCamera("full.json");
        QVERIFY(camera);
        QVERIFY(Text(*camera, "DeviceFamilyName").contains(' '));

        const FeaturePtr selector = TestSupport::FindFeature(*camera, "LineSelector");
        const FeaturePtr mode = TestSupport::FindFeature(*camera, "LineMode");
        QSet<QString> kinds;
        for (const auto& line : camera->LineNames()) {
            QCOMPARE(selector->SetValue(line.c_str()), KelError::Success);
            bool input = false, output = false, writable = false;
            mode->IsValueAvailable("Input", input);
            mode->IsValueAvailable("Output", output);
            mode->IsWritable(writable);
            kinds << (writable && input && output ? "bidirectional" : output ? "output" : "input");
        }
        QCOMPARE(kinds, QSet<QString>({ "input", "output", "bidirectional" }));

        // Several trigger selectors, and timers that can trigger on each other.
        std::vector<std::string> triggers, timerSources;
        std::vector<FeaturePtr> selected;
        TestSupport::FindFeature(*camera, "TriggerSelector")->GetValues(triggers);
        TestSupport::FindFeature(*camera, "TriggerSelector")->GetSelectedFeatures(selected);
        TestSupport::FindFeature(*camera, "TimerTriggerSource")->GetValues(timerSources);
        QVERIFY(triggers.size() >= 3 && selected.size() >= 5);
        QCOMPARE(std::count(timerSources.begin(), timerSources.end(), "Timer0Active"), 1);
        QCOMPARE(std::count(timerSources.begin(), timerSources.end(), "Timer1Active"), 1);
    }

    void fullCameraPwmDrivesAnOutputLine()
    {
        const auto camera = TestSupport::OpenCamera("full.json");
        QVERIFY(camera);
        const auto set = [&](const char* name, auto value) {
            QCOMPARE(TestSupport::FindFeature(*camera, name)->SetValue(value), KelError::Success);
        };
        set("TimerDelay", 500000.0);
        set("TimerDuration", 500000.0);
        set("TimerTriggerActivation", "FallingEdge");
        set("TimerTriggerSource", "Timer0Active");
        set("LineSelector", "Line2");
        set("LineSource", "Timer0Active");
        QString pattern;
        for (int i = 0; i < 4; ++i) {
            camera->Step(std::chrono::milliseconds(500));
            bool status = false;
            TestSupport::FindFeature(*camera, "LineStatus")->GetValue(status);
            pattern += status ? '1' : '0';
        }
        QCOMPARE(pattern, QString("1010"));
    }
};

QTEST_GUILESS_MAIN(TestBundledCameras)
#include "tst_bundledcameras.moc"
