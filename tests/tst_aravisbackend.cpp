// The Aravis backend on Aravis's in-process simulated camera, serving a
// small GenICam description made for these tests (tests/data/aravis-small.xml).

#include "kelcpp/aravis/araviscamera.h"
#include "kelcpp/featureobserver.h"

#include "testsupport.h"

#include <QtTest>

#include <limits>
#include <mutex>

using namespace KelCPP;
using TestSupport::FrameRecorder;
using TestSupport::FindFeature;
using TestSupport::ValueText;

namespace {

// Every notification, as "Feature:bits".
class Recorder : public IFeatureObserver
{
public:
    void NotifyFeatureChanged(const FeaturePtr&) override {}
    void NotifyFeatureChanges(const FeaturePtr& feature, std::uint32_t changes) override
    {
        std::string name;
        feature->GetName(name);
        const std::lock_guard<std::mutex> lock(mutex);
        seen << QStringLiteral("%1:%2").arg(QString::fromStdString(name)).arg(changes);
    }
    QStringList Seen()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        QStringList out = seen;
        out.sort();
        return out;
    }
    QStringList Take()
    {
        const QStringList out = Seen();
        const std::lock_guard<std::mutex> lock(mutex);
        seen.clear();
        return out;
    }

private:
    std::mutex mutex;
    QStringList seen;
};

std::vector<std::uint8_t> BigEndian(std::int64_t value, int size = 8)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value & 0xff);
    return bytes;
}

// Aravis's fake camera streams from registers of its own, 32 bits each.
constexpr std::uint64_t fakeWidth = 0x100, fakeHeight = 0x104, fakeFramePeriodUs = 0x138;
constexpr std::uint64_t lineStatusAll = 0x1088;

SignalTraceData ReadAll(const SignalTrace& trace)
{
    SignalTraceData data;
    trace.Read(std::numeric_limits<std::int64_t>::min() / 2, std::numeric_limits<std::int64_t>::max(), data);
    return data;
}

} // namespace

class TestAravisBackend : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void describesEachType_data();
    void describesEachType();
    void entriesInTheCamerasOrder();
    void writesAreCheckedAsTheCameraChecksThem_data();
    void writesAreCheckedAsTheCameraChecksThem();
    void accessFollowsConditionsNow();
    void selectorKeepsAValuePerEntry();
    void writesNotifyWhatDependsOnThem();
    void pollingNotifiesOnlyChanges();
    void streamDeliversTheFakeCamerasFrames();
    void traceSamplesTheLinesAtThePollRate();
    void closedCameraAnswersNotOpen();

private:
    FeaturePtr Feature(const char* name) { return FindFeature(*camera, name); }

    std::shared_ptr<Aravis::AravisCamera> camera;
};

void TestAravisBackend::init()
{
    std::string error;
    Aravis::AravisOptions options;
    options.pollRateHz = 0; // the polling test starts it
    camera = Aravis::AravisCamera::OpenFake(
        (TestSupport::SourceDir() + QStringLiteral("/tests/data/aravis-small.xml")).toStdString(), &error, options);
    QVERIFY2(camera, error.c_str());
}

void TestAravisBackend::cleanup()
{
    camera.reset();
}

void TestAravisBackend::describesEachType_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("category");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("representation");
    QTest::addColumn<int>("visibility");

    const int rw = KelFeatureFlagsRead | KelFeatureFlagsWrite;
    const int beginner = KelFeatureVisibilityBeginner;
    QTest::newRow("integer") << "Gain" << int(KelFeatureDataInt) << "/DeviceControl" << rw << "dB"
                             << "HexNumber" << int(KelFeatureVisibilityExpert);
    QTest::newRow("float") << "ExposureTime" << int(KelFeatureDataFloat) << "/DeviceControl" << rw << "us"
                           << "Linear" << beginner;
    QTest::newRow("boolean") << "Locked" << int(KelFeatureDataBool) << "/DeviceControl" << rw << "" << "" << beginner;
    QTest::newRow("command, write-only") << "Reset" << int(KelFeatureDataCommand) << "/DeviceControl"
                                         << int(KelFeatureFlagsWrite) << "" << "" << beginner;
    QTest::newRow("raw") << "Table" << int(KelFeatureDataRaw) << "/DeviceControl" << rw << "" << "" << beginner;
    QTest::newRow("string, read-only") << "DeviceVendorName" << int(KelFeatureDataString) << "/DeviceControl"
                                       << int(KelFeatureFlagsRead) << "" << "" << beginner;
    QTest::newRow("enumeration") << "LineMode" << int(KelFeatureDataEnum) << "/DigitalIOControl" << rw << "" << ""
                                 << beginner;
    QTest::newRow("changes by itself") << "LineStatus" << int(KelFeatureDataInt) << "/DigitalIOControl"
                                       << int(KelFeatureFlagsRead | KelFeatureFlagsVolatile) << "" << "Linear"
                                       << beginner;
}

void TestAravisBackend::describesEachType()
{
    QFETCH(QString, name);
    const FeaturePtr feature = Feature(name.toUtf8().constData());
    QVERIFY(feature);
    KelFeatureDataType type{};
    KelFeatureFlagsType flags{};
    KelFeatureVisibilityType visibility{};
    std::string category, unit, representation, text;
    QCOMPARE(feature->GetDataType(type), KelError::Success);
    QCOMPARE(feature->GetFlags(flags), KelError::Success);
    QCOMPARE(feature->GetVisibility(visibility), KelError::Success);
    QCOMPARE(feature->GetCategory(category), KelError::Success);
    feature->GetUnit(unit);
    feature->GetRepresentation(representation);
    QTEST(int(type), "type");
    QTEST(QString::fromStdString(category), "category");
    QTEST(int(flags), "flags");
    QTEST(QString::fromStdString(unit), "unit");
    QTEST(QString::fromStdString(representation), "representation");
    QTEST(int(visibility), "visibility");
    QCOMPARE(feature->GetName(text), KelError::Success);
    QCOMPARE(QString::fromStdString(text), name);
}

void TestAravisBackend::entriesInTheCamerasOrder()
{
    const FeaturePtr mode = Feature("Mode");
    std::vector<std::string> names;
    std::vector<std::int64_t> values;
    QCOMPARE(mode->GetValues(names), KelError::Success);
    QCOMPARE(mode->GetValues(values), KelError::Success);
    QCOMPARE(names, (std::vector<std::string>{"Off", "Fast", "Slow"}));
    QCOMPARE(values, (std::vector<std::int64_t>{0, 7, 2}));
    EnumEntry entry;
    QCOMPARE(mode->GetEntry(entry, "Fast"), KelError::Success);
    QCOMPARE(entry.GetValue(), std::int64_t(7));
    QCOMPARE(mode->GetEntry(entry, "Nope"), KelError::NotFound);

    // Writing by value picks the entry of that value, not of that position.
    QCOMPARE(mode->SetValue(std::int64_t(7)), KelError::Success);
    QCOMPARE(ValueText(mode), QStringLiteral("Fast"));
    std::int64_t raw = 0;
    QCOMPARE(mode->GetValue(raw), KelError::Success);
    QCOMPARE(raw, std::int64_t(7));
}

void TestAravisBackend::writesAreCheckedAsTheCameraChecksThem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("after");

    QTest::newRow("on the grid") << "Gain" << QVariant(qint64(8)) << int(KelError::Success) << "8";
    QTest::newRow("off the increment") << "Gain" << QVariant(qint64(6)) << int(KelError::InvalidValue) << "0";
    QTest::newRow("above the maximum") << "Gain" << QVariant(qint64(104)) << int(KelError::InvalidValue) << "0";
    QTest::newRow("below the minimum") << "Gain" << QVariant(qint64(-4)) << int(KelError::InvalidValue) << "0";
    QTest::newRow("wrong type") << "Gain" << QVariant(2.0) << int(KelError::WrongType) << "0";
    QTest::newRow("unknown entry") << "Mode" << QVariant("Nope") << int(KelError::InvalidValue) << "Off";
    QTest::newRow("entry value that no entry has") << "Mode" << QVariant(qint64(5)) << int(KelError::InvalidValue)
                                                   << "Off";
    QTest::newRow("read-only") << "DeviceVendorName" << QVariant("x") << int(KelError::InvalidAccess) << "";
    QTest::newRow("text within its length") << "DeviceUserID" << QVariant("Left camera") << int(KelError::Success)
                                            << "Left camera";
    QTest::newRow("text too long") << "DeviceUserID" << QVariant("seventeen chars!!") << int(KelError::InvalidValue)
                                   << "";
    QTest::newRow("unavailable feature") << "ExposureTime" << QVariant(20.0) << int(KelError::InvalidAccess)
                                         << "unreadable";
    QTest::newRow("raw data shorter than the register") << "Table" << QVariant(QByteArray("\x01\x02", 2))
                                                        << int(KelError::Success)
                                                        << "01020000000000000000000000000000";
    QTest::newRow("raw data too long") << "Table" << QVariant(QByteArray(17, '\x01')) << int(KelError::InvalidValue)
                                       << "00000000000000000000000000000000";
}

void TestAravisBackend::writesAreCheckedAsTheCameraChecksThem()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    const FeaturePtr feature = Feature(name.toUtf8().constData());
    KelErrorType code = KelError::Internal;
    switch (value.userType()) {
    case QMetaType::LongLong: code = feature->SetValue(std::int64_t(value.toLongLong())); break;
    case QMetaType::Double: code = feature->SetValue(value.toDouble()); break;
    case QMetaType::QByteArray: {
        const QByteArray data = value.toByteArray();
        code = feature->SetValue(reinterpret_cast<const std::uint8_t*>(data.constData()), std::uint32_t(data.size()));
        break;
    }
    default: code = feature->SetValue(value.toString().toUtf8().constData()); break;
    }
    QTEST(int(code), "code");
    QTEST(ValueText(feature), "after");
}

void TestAravisBackend::accessFollowsConditionsNow()
{
    const FeaturePtr gain = Feature("Gain"), locked = Feature("Locked"), mode = Feature("Mode");
    const FeaturePtr exposure = Feature("ExposureTime");
    bool writable = false, readable = true;

    // A lock makes a feature read-only, and takes an entry away.
    QCOMPARE(locked->SetValue(true), KelError::Success);
    QCOMPARE(gain->IsWritable(writable), KelError::Success);
    QVERIFY(!writable);
    QCOMPARE(gain->SetValue(std::int64_t(4)), KelError::InvalidAccess);
    QCOMPARE(mode->SetValue("Slow"), KelError::NotAvailable);
    std::vector<std::string> available;
    QCOMPARE(mode->GetAvailableValues(available), KelError::Success);
    QCOMPARE(available, (std::vector<std::string>{"Off", "Fast"}));

    QCOMPARE(locked->SetValue(false), KelError::Success);
    QCOMPARE(gain->IsWritable(writable), KelError::Success);
    QVERIFY(writable);
    QCOMPARE(mode->GetAvailableValues(available), KelError::Success);
    QCOMPARE(available.size(), std::size_t(3));

    // Availability: a float that exists only while Mode is not Off, with
    // its increment checked once it does.
    QCOMPARE(exposure->IsReadable(readable), KelError::Success);
    QVERIFY(!readable);
    double min = 0, max = 0;
    QCOMPARE(exposure->GetRange(min, max), KelError::InvalidAccess);
    QCOMPARE(mode->SetValue("Fast"), KelError::Success);
    QCOMPARE(exposure->IsReadable(readable), KelError::Success);
    QVERIFY(readable);
    QCOMPARE(exposure->GetRange(min, max), KelError::Success);
    QCOMPARE(min, 10.0);
    QCOMPARE(max, 1000.0);
    QCOMPARE(exposure->SetValue(10.5), KelError::Success);
    QCOMPARE(exposure->SetValue(10.25), KelError::InvalidValue);
    QCOMPARE(ValueText(exposure), QStringLiteral("10.5"));
}

void TestAravisBackend::selectorKeepsAValuePerEntry()
{
    const FeaturePtr selector = Feature("LineSelector"), lineMode = Feature("LineMode");
    const FeaturePtr inverter = Feature("LineInverter");
    std::vector<FeaturePtr> selected;
    QCOMPARE(selector->GetSelectedFeatures(selected), KelError::Success);
    QCOMPARE(selected.size(), std::size_t(2));
    QCOMPARE(selected[0], lineMode);
    QCOMPARE(selected[1], inverter);

    QCOMPARE(lineMode->SetValue("Output"), KelError::Success);
    QCOMPARE(inverter->SetValue(true), KelError::Success);
    QCOMPARE(selector->SetValue("Line1"), KelError::Success);
    QCOMPARE(ValueText(lineMode), QStringLiteral("Input"));
    QCOMPARE(ValueText(inverter), QStringLiteral("false"));
    // Line1's mode is locked; its inverter is not.
    QCOMPARE(lineMode->SetValue("Output"), KelError::InvalidAccess);
    QCOMPARE(inverter->SetValue(true), KelError::Success);
    QCOMPARE(selector->SetValue("Line0"), KelError::Success);
    QCOMPARE(ValueText(lineMode), QStringLiteral("Output"));
    QCOMPARE(ValueText(inverter), QStringLiteral("true"));
}

void TestAravisBackend::writesNotifyWhatDependsOnThem()
{
    auto recorder = std::make_shared<Recorder>();
    FeaturePtrVector all;
    camera->GetFeatures(all);
    for (const FeaturePtr& feature : all)
        QCOMPARE(feature->RegisterObserver(recorder), KelError::Success);
    QCOMPARE(all.front()->RegisterObserver(recorder), KelError::BadParameter);

    const QString value = QString::number(KelFeatureChangeValue);
    const QString moved = QString::number(KelFeatureChangeSelector);
    QCOMPARE(Feature("Locked")->SetValue(true), KelError::Success);
    camera->WaitForNotifications();
    // Gain's lock and Mode's entry read Locked's register.
    QCOMPARE(recorder->Take(), (QStringList{"Gain:" + value, "Locked:" + value, "Mode:" + value}));

    QCOMPARE(Feature("Mode")->SetValue("Fast"), KelError::Success);
    camera->WaitForNotifications();
    QCOMPARE(recorder->Take(), (QStringList{"ExposureTime:" + value, "Mode:" + value}));

    QCOMPARE(Feature("LineSelector")->SetValue("Line1"), KelError::Success);
    camera->WaitForNotifications();
    QCOMPARE(recorder->Take(), (QStringList{"LineInverter:" + moved, "LineMode:" + moved, "LineSelector:" + value}));

    // A refused write tells nobody.
    QCOMPARE(Feature("Gain")->SetValue(std::int64_t(6)), KelError::InvalidAccess);
    camera->WaitForNotifications();
    QCOMPARE(recorder->Take(), QStringList());
}

void TestAravisBackend::pollingNotifiesOnlyChanges()
{
    const FeaturePtr status = Feature("LineStatus");
    auto recorder = std::make_shared<Recorder>();
    QCOMPARE(status->RegisterObserver(recorder), KelError::Success);
    camera->SetPollRate(100);
    // The first poll only learns the value.
    QTRY_VERIFY(camera->PollCount() >= 2);
    QCOMPARE(recorder->Take(), QStringList());

    // The camera changes it by itself: past the features, in its memory.
    QCOMPARE(camera->WriteMemory(0x1080, BigEndian(2)), KelError::Success);
    QTRY_COMPARE(recorder->Seen(), QStringList{"LineStatus:" + QString::number(KelFeatureChangeValue)});
    recorder->Take();
    QCOMPARE(ValueText(status), QStringLiteral("2"));
    const std::uint64_t polls = camera->PollCount();
    QTRY_VERIFY(camera->PollCount() >= polls + 3);
    camera->WaitForNotifications();
    QCOMPARE(recorder->Take(), QStringList());
}

// The in-process fake camera streams whenever a stream takes its frames;
// its block ids start near 65535, so a fast frame rate crosses the wrap.
void TestAravisBackend::streamDeliversTheFakeCamerasFrames()
{
    QCOMPARE(camera->WriteMemory(fakeWidth, BigEndian(64, 4)), KelError::Success);
    QCOMPARE(camera->WriteMemory(fakeHeight, BigEndian(32, 4)), KelError::Success);
    QCOMPARE(camera->WriteMemory(fakeFramePeriodUs, BigEndian(1000, 4)), KelError::Success);
    auto recorder = std::make_shared<FrameRecorder>();
    QCOMPARE(camera->StartStream(recorder), KelError::Success);
    QCOMPARE(camera->StartStream(std::make_shared<FrameRecorder>()), KelError::InvalidAccess);
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->Frames().empty() && recorder->Frames().back()->id > 65536 + 3, 20000);
    QCOMPARE(camera->StopStream(), KelError::Success);
    // Stopped means released: nothing holds the observer to call it again.
    QCOMPARE(recorder.use_count(), 1L);

    const std::vector<FramePtr> frames = recorder->Frames();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& frame = *frames[i];
        QVERIFY2(i == 0 || frame.id > frames[i - 1]->id, qPrintable(QString::number(frame.id)));
        QCOMPARE(frame.pixelFormat, KelPixelFormatMono8);
        QCOMPARE(frame.status, KelFrameComplete);
        QCOMPARE(std::make_pair(frame.width, frame.height), std::make_pair(64u, 32u));
        QCOMPARE(frame.data.size(), std::size_t(64 * 32));
    }
    StreamStatistics statistics;
    QCOMPARE(camera->GetStreamStatistics(statistics), KelError::Success);
    QCOMPARE(statistics.framesDelivered, std::uint64_t(frames.size()));
    QCOMPARE(statistics.framesIncomplete, std::uint64_t(0));
    QVERIFY(!statistics.missedTriggersKnown);
    QCOMPARE(camera->StopStream(), KelError::Success);
}

void TestAravisBackend::traceSamplesTheLinesAtThePollRate()
{
    const std::shared_ptr<SignalTrace> trace = camera->GetSignalTrace();
    QVERIFY(trace);
    QVERIFY(trace->IsSampled());
    QCOMPARE(camera->GetSignalTrace(), trace);
    std::vector<SignalInfo> lines;
    QCOMPARE(trace->GetSignals(lines), KelError::Success);
    QCOMPARE(lines.size(), std::size_t(2));
    QCOMPARE(lines[1].name, std::string("Line1"));
    QCOMPARE(lines[1].kind, KelSignalLevel);

    camera->SetPollRate(100);
    QTRY_VERIFY(ReadAll(*trace).sampleTimesNs.size() >= 2);
    const std::int64_t before = ReadAll(*trace).sampleTimesNs.back();
    QCOMPARE(camera->WriteMemory(lineStatusAll, BigEndian(2)), KelError::Success);
    QTRY_VERIFY(!ReadAll(*trace).edges.empty());
    SignalTraceData data = ReadAll(*trace);
    QCOMPARE(data.edges.size(), std::size_t(1));
    const SignalEdge edge = data.edges.front();
    QCOMPARE(std::make_pair(edge.signal, edge.level), std::make_pair(1u, true));
    QVERIFY(edge.timeNs > before);
    QCOMPARE(std::count(data.sampleTimesNs.begin(), data.sampleTimesNs.end(), edge.timeNs), 1L);
    QCOMPARE(data.initial, (std::vector<std::uint8_t>{0, 0}));
    // From the edge on, Line1 starts high.
    QCOMPARE(trace->Read(edge.timeNs, std::numeric_limits<std::int64_t>::max(), data), KelError::Success);
    QCOMPARE(data.initial, (std::vector<std::uint8_t>{0, 1}));
    QVERIFY(data.edges.empty());
    std::int64_t now = 0;
    QCOMPARE(trace->GetNowNs(now), KelError::Success);
    QVERIFY(data.toNs <= now);

    // A short ring keeps the newest samples; the oldest tells the level before them.
    std::string error;
    Aravis::AravisOptions options;
    options.pollRateHz = 200;
    options.traceSamples = 8;
    camera = Aravis::AravisCamera::OpenFake(
        (TestSupport::SourceDir() + QStringLiteral("/tests/data/aravis-small.xml")).toStdString(), &error, options);
    QVERIFY2(camera, error.c_str());
    QCOMPARE(camera->WriteMemory(lineStatusAll, BigEndian(2)), KelError::Success);
    const std::shared_ptr<SignalTrace> ring = camera->GetSignalTrace();
    const std::uint64_t polls = camera->PollCount();
    QTRY_VERIFY(camera->PollCount() > polls + 10);
    data = ReadAll(*ring);
    QCOMPARE(data.sampleTimesNs.size(), std::size_t(8));
    QCOMPARE(data.oldestNs, data.sampleTimesNs.front());
    QVERIFY(std::is_sorted(data.sampleTimesNs.begin(), data.sampleTimesNs.end()));
    QCOMPARE(data.initial, (std::vector<std::uint8_t>{0, 1}));
    QVERIFY(data.edges.empty());
}

void TestAravisBackend::closedCameraAnswersNotOpen()
{
    const FeaturePtr gain = Feature("Gain");
    const std::shared_ptr<SignalTrace> trace = camera->GetSignalTrace();
    camera.reset();
    SignalTraceData data;
    QCOMPARE(trace->Read(0, 1, data), KelError::NotOpen);
    std::int64_t value = 0;
    std::string name;
    QCOMPARE(gain->GetValue(value), KelError::NotOpen);
    QCOMPARE(gain->SetValue(std::int64_t(4)), KelError::NotOpen);
    QCOMPARE(gain->GetName(name), KelError::NotOpen);
}

QTEST_GUILESS_MAIN(TestAravisBackend)
#include "tst_aravisbackend.moc"
