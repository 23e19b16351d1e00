// The simulated camera as a camera: descriptions, checked writes, selectors,
// conditions, notifications, faults and counters.

#include "testsupport.h"

#include "kelcpp/featureobserver.h"

#include <QtTest>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

using namespace KelCPP;
using namespace KelCPP::Sim;

namespace {

// Records which features it was told about, and on which thread.
class RecordingObserver : public IFeatureObserver {
public:
    void NotifyFeatureChanged(const std::shared_ptr<Feature>& feature) override
    {
        std::string name;
        feature->GetName(name); // calling back in must not deadlock
        std::lock_guard<std::mutex> lock(mutex);
        names.push_back(name);
        threads.insert(std::this_thread::get_id());
    }
    std::vector<std::string> Names()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return names;
    }
    bool Saw(const std::string& name)
    {
        const auto all = Names();
        return std::find(all.begin(), all.end(), name) != all.end();
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex);
        names.clear();
    }
    std::set<std::thread::id> Threads()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return threads;
    }

private:
    std::mutex mutex;
    std::vector<std::string> names;
    std::set<std::thread::id> threads;
};

const QByteArray IoCamera = R"({
  "format": 1,
  "features": [
    { "name": "Width", "type": "Integer", "min": 16, "max": 4096, "inc": 16, "value": 1024,
      "unit": "px", "representation": "Linear", "writableWhen": { "TLParamsLocked": 0 } },
    { "name": "Gain", "type": "Float", "min": 0, "max": 24, "value": 1.5 },
    { "name": "Step", "type": "Float", "min": 1, "max": 2, "inc": 0.25, "value": 1.25 },
    { "name": "Label", "type": "String", "maxLength": 8, "value": "cam" },
    { "name": "Mirror", "type": "Boolean" },
    { "name": "Blob", "type": "Raw", "size": 4, "value": "0a0b" },
    { "name": "Key", "type": "Integer", "access": "WO", "representation": "HexNumber" },
    { "name": "Serial", "type": "String", "access": "RO", "value": "S-1" },
    { "name": "Binning", "type": "Integer", "validValues": [1, 2, 4] },
    { "name": "TLParamsLocked", "type": "Integer", "min": 0, "max": 1, "access": "RO" },
    { "name": "AcquisitionStart", "type": "Command" },
    { "name": "AcquisitionStop", "type": "Command" },
    { "name": "LineSelector", "type": "Enumeration", "entries": ["Line0", "Line1", "Line2"] },
    { "name": "LineMode", "type": "Enumeration", "selectedBy": "LineSelector",
      "writableWhen": { "LineSelector": "Line2" },
      "entries": ["Input", { "name": "Output", "availableWhen": { "LineSelector": { "not": "Line0" } } }],
      "values": { "Line1": "Output" } },
    { "name": "LineSource", "type": "Enumeration", "selectedBy": "LineSelector",
      "writableWhen": { "LineMode": "Output" },
      "entries": ["Off", "UserOutput0", "Timer0Active"] },
    { "name": "LineInverter", "type": "Boolean", "selectedBy": "LineSelector" },
    { "name": "LineStatus", "type": "Boolean", "selectedBy": "LineSelector", "access": "RO", "volatile": true },
    { "name": "UserOutputSelector", "type": "Enumeration", "entries": ["UserOutput0"] },
    { "name": "UserOutputValue", "type": "Boolean", "selectedBy": "UserOutputSelector" },
    { "name": "Note", "type": "String" },
    { "name": "Pattern", "type": "Enumeration", "entries": ["Off", { "name": "Ramp", "availableWhen": { "Mirror": true } }] },
    { "name": "Latch", "type": "Command", "onExecute": [ { "copy": { "Note": "Label" } }, { "set": { "Mirror": true } } ] }
  ],
  "simulation": { "inputSignals": { "Line0": { "periodUs": 1000, "highUs": 250 } } }
})";

struct Opened {
    std::shared_ptr<SimCamera> camera;
    FeaturePtr Get(const char* name) const
    {
        FeaturePtr feature;
        camera->GetFeatureByName(name, feature);
        return feature;
    }
};

Opened Open(const QByteArray& json = IoCamera)
{
    return Opened{TestSupport::CameraFromJson(json)};
}

} // namespace

class TestSimCamera : public QObject {
    Q_OBJECT

private slots:
    void refusesBrokenDescriptions_data();
    void refusesBrokenDescriptions();
    void featuresKeepFileOrder();
    void writesAreCheckedLikeACamera_data();
    void writesAreCheckedLikeACamera();
    void readsFollowTypeAndAccess();
    void selectorsHoldOneValuePerEntry();
    void conditionsFollowCurrentSelector();
    void textsAndListsUseTwoCalls();
    void writeNotifiesWrittenAndAffectedFeaturesOnApiThread();
    void observersMayBeRemovedAndRefuseDuplicates();
    void commandsRunTheirEffects();
    void faultsFailChosenCalls_data();
    void faultsFailChosenCalls();
    void randomFaultsRepeatForASeed();
    void countersAndCallLog();
    void closedCameraAnswersNotOpen();
    void concurrentAccessFromManyThreads();
};

void TestSimCamera::refusesBrokenDescriptions_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("reason");
    auto wrap = [](const char* features) {
        return QByteArray(R"({ "format": 1, "features": [)") + features + "] }";
    };
    QTest::newRow("not json") << QByteArray("{ nope") << "not valid JSON";
    QTest::newRow("wrong format") << QByteArray(R"({ "format": 2, "features": [] })") << "'format' must be 1";
    QTest::newRow("unknown type") << wrap(R"({ "name": "A", "type": "Int" })") << "unknown type 'Int'";
    QTest::newRow("duplicate name")
        << wrap(R"({ "name": "A", "type": "Boolean" }, { "name": "A", "type": "Boolean" })")
        << "feature 'A': the name is used twice";
    QTest::newRow("misspelt key") << wrap(R"({ "name": "A", "type": "Boolean", "valeu": true })")
                                  << "unknown key 'valeu'";
    QTest::newRow("value off the increment")
        << wrap(R"({ "name": "A", "type": "Integer", "min": 0, "max": 10, "inc": 4, "value": 6 })")
        << "off the increment";
    QTest::newRow("unknown selector") << wrap(R"({ "name": "A", "type": "Boolean", "selectedBy": "Nope" })")
                                      << "unknown feature 'Nope'";
    QTest::newRow("condition on a missing entry")
        << wrap(R"({ "name": "M", "type": "Enumeration", "entries": ["On", "Off"] },
                   { "name": "A", "type": "Boolean", "writableWhen": { "M": "Of" } })")
        << "no entry 'Of'";
    QTest::newRow("per-entry value for a missing entry")
        << wrap(R"({ "name": "S", "type": "Enumeration", "entries": ["X"] },
                   { "name": "A", "type": "Boolean", "selectedBy": "S", "values": { "Y": true } })")
        << "'Y' is not a value of S";
    QTest::newRow("range on a string") << wrap(R"({ "name": "A", "type": "String", "min": 1 })")
                                       << "'min' does not apply";
}

void TestSimCamera::refusesBrokenDescriptions()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, reason);
    std::string error;
    SimOptions options;
    options.live = false;
    QVERIFY(!SimCamera::FromJson(json.toStdString(), &error, options));
    QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
}

void TestSimCamera::featuresKeepFileOrder()
{
    const auto cam = Open();
    FeaturePtrVector features;
    QCOMPARE(cam.camera->GetFeatures(features), KelError::Success);
    QCOMPARE(features.size(), cam.camera->FeatureCount());
    std::string first, last;
    features.front()->GetName(first);
    features.back()->GetName(last);
    QCOMPARE(first, std::string("Width"));
    QCOMPARE(last, std::string("Latch"));
    FeaturePtr none;
    QCOMPARE(cam.camera->GetFeatureByName("width", none), KelError::NotFound);
}

void TestSimCamera::writesAreCheckedLikeACamera_data()
{
    QTest::addColumn<QString>("feature");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("after");

    QTest::newRow("integer on the grid") << "Width" << QVariant(qint64(640)) << 0 << "640";
    QTest::newRow("integer off the grid") << "Width" << QVariant(qint64(650)) << -11 << "1024";
    QTest::newRow("integer below min") << "Width" << QVariant(qint64(0)) << -11 << "1024";
    QTest::newRow("integer above max") << "Width" << QVariant(qint64(4112)) << -11 << "1024";
    QTest::newRow("integer in valid set") << "Binning" << QVariant(qint64(4)) << 0 << "4";
    QTest::newRow("integer outside valid set") << "Binning" << QVariant(qint64(3)) << -11 << "1";
    QTest::newRow("float in range") << "Gain" << QVariant(12.25) << 0 << "12.25";
    QTest::newRow("float above max") << "Gain" << QVariant(24.5) << -11 << "1.5";
    QTest::newRow("float on its increment") << "Step" << QVariant(1.75) << 0 << "1.75";
    QTest::newRow("float off its increment") << "Step" << QVariant(1.3) << -11 << "1.25";
    QTest::newRow("text to an integer") << "Width" << QVariant(QString("640")) << -10 << "1024";
    QTest::newRow("string within length") << "Label" << QVariant(QString("left")) << 0 << "left";
    QTest::newRow("string too long") << "Label" << QVariant(QString("123456789")) << -11 << "cam";
    QTest::newRow("read-only string") << "Serial" << QVariant(QString("S-2")) << -6 << "S-1";
    QTest::newRow("unknown entry") << "LineSelector" << QVariant(QString("Line9")) << -11 << "Line0";
    QTest::newRow("entry by integer value") << "LineSelector" << QVariant(qint64(2)) << 0 << "Line2";
    QTest::newRow("boolean") << "Mirror" << QVariant(true) << 0 << "true";
}

void TestSimCamera::writesAreCheckedLikeACamera()
{
    QFETCH(QString, feature);
    QFETCH(QVariant, value);
    QFETCH(int, code);
    QFETCH(QString, after);

    const auto cam = Open();
    const FeaturePtr f = cam.Get(feature.toUtf8().constData());
    QVERIFY(f);
    KelErrorType result = KelError::Other;
    switch (value.userType()) {
    case QMetaType::LongLong: result = f->SetValue(std::int64_t(value.toLongLong())); break;
    case QMetaType::Double: result = f->SetValue(value.toDouble()); break;
    case QMetaType::Bool: result = f->SetValue(value.toBool()); break;
    default: result = f->SetValue(value.toString().toUtf8().constData()); break;
    }
    QCOMPARE(result, code);

    KelFeatureDataType type;
    QCOMPARE(f->GetDataType(type), KelError::Success);
    QString shown;
    if (type == KelFeatureDataInt) {
        std::int64_t v = 0;
        QCOMPARE(f->GetValue(v), KelError::Success);
        shown = QString::number(v);
    } else if (type == KelFeatureDataFloat) {
        double v = 0;
        QCOMPARE(f->GetValue(v), KelError::Success);
        shown = QString::number(v);
    } else if (type == KelFeatureDataBool) {
        bool v = false;
        QCOMPARE(f->GetValue(v), KelError::Success);
        shown = v ? "true" : "false";
    } else {
        std::string v;
        QCOMPARE(f->GetValue(v), KelError::Success);
        shown = QString::fromStdString(v);
    }
    QCOMPARE(shown, after);
}

void TestSimCamera::readsFollowTypeAndAccess()
{
    const auto cam = Open();
    std::int64_t i = 0;
    double d = 0;
    std::string s;
    QCOMPARE(cam.Get("Key")->GetValue(i), KelError::InvalidAccess); // write-only
    QCOMPARE(cam.Get("Key")->SetValue(std::int64_t(0x1F)), KelError::Success);
    QCOMPARE(cam.Get("Gain")->GetValue(i), KelError::WrongType);
    QCOMPARE(cam.Get("Width")->GetValue(d), KelError::WrongType);
    QCOMPARE(cam.Get("Width")->GetValue(s), KelError::WrongType);
    QCOMPARE(cam.Get("LineSelector")->GetValue(i), KelError::Success); // entries have integers too
    QCOMPARE(i, std::int64_t(0));

    std::vector<std::uint8_t> raw;
    std::uint32_t filled = 0;
    QCOMPARE(cam.Get("Blob")->GetValue(raw, filled), KelError::Success);
    QCOMPARE(raw, (std::vector<std::uint8_t>{0x0a, 0x0b, 0, 0}));
    const std::uint8_t data[] = {1, 2, 3, 4, 5};
    QCOMPARE(cam.Get("Blob")->SetValue(data, 5), KelError::InvalidValue);
    QCOMPARE(cam.Get("Blob")->SetValue(data, 0), KelError::BadParameter);

    KelFeatureFlagsType flags;
    QCOMPARE(cam.Get("LineStatus")->GetFlags(flags), KelError::Success);
    QCOMPARE(int(flags), int(KelFeatureFlagsRead | KelFeatureFlagsVolatile));
    std::string representation;
    cam.Get("Key")->GetRepresentation(representation);
    QCOMPARE(representation, std::string("HexNumber"));
    double inc = 0;
    QCOMPARE(cam.Get("Gain")->GetIncrement(inc), KelError::NotAvailable); // no increment given
    QCOMPARE(cam.Get("Step")->GetIncrement(inc), KelError::Success);
    QCOMPARE(inc, 0.25);
}

void TestSimCamera::selectorsHoldOneValuePerEntry()
{
    const auto cam = Open();
    const auto selector = cam.Get("LineSelector");
    const auto inverter = cam.Get("LineInverter");
    QCOMPARE(selector->SetValue("Line1"), KelError::Success);
    QCOMPARE(inverter->SetValue(true), KelError::Success);
    QCOMPARE(selector->SetValue("Line2"), KelError::Success);
    bool inverted = true;
    QCOMPARE(inverter->GetValue(inverted), KelError::Success);
    QVERIFY(!inverted);
    QCOMPARE(selector->SetValue("Line1"), KelError::Success);
    QCOMPARE(inverter->GetValue(inverted), KelError::Success);
    QVERIFY(inverted);

    // Per-entry power-up values.
    std::string mode;
    cam.Get("LineMode")->GetValue(mode);
    QCOMPARE(mode, std::string("Output"));

    std::vector<FeaturePtr> selected;
    QCOMPARE(selector->GetSelectedFeatures(selected), KelError::Success);
    std::vector<std::string> names;
    for (const auto& f : selected) {
        std::string name;
        f->GetName(name);
        names.push_back(name);
    }
    QCOMPARE(names, (std::vector<std::string>{"LineMode", "LineSource", "LineInverter", "LineStatus"}));
    QCOMPARE(inverter->GetSelectedFeatures(selected), KelError::Success);
    QVERIFY(selected.empty());
}

void TestSimCamera::conditionsFollowCurrentSelector()
{
    const auto cam = Open();
    const auto selector = cam.Get("LineSelector");
    const auto mode = cam.Get("LineMode");
    const auto source = cam.Get("LineSource");
    bool writable = true;
    bool available = true;

    // Line0: fixed input; Output is not offered there.
    selector->SetValue("Line0");
    mode->IsWritable(writable);
    QVERIFY(!writable);
    mode->IsValueAvailable("Output", available);
    QVERIFY(!available);
    source->IsWritable(writable);
    QVERIFY(!writable);
    QCOMPARE(source->SetValue("UserOutput0"), KelError::InvalidAccess);

    // Line2: bidirectional, writable mode; the source opens once it is an output.
    selector->SetValue("Line2");
    mode->IsWritable(writable);
    QVERIFY(writable);
    source->IsWritable(writable);
    QVERIFY(!writable);
    QCOMPARE(mode->SetValue("Output"), KelError::Success);
    source->IsWritable(writable);
    QVERIFY(writable);
    QCOMPARE(source->SetValue("UserOutput0"), KelError::Success);

    // Locking: Width follows TLParamsLocked, which acquisition sets.
    QCOMPARE(cam.camera->StartAcquisition(), KelError::Success);
    cam.Get("Width")->IsWritable(writable);
    QVERIFY(!writable);
    QCOMPARE(cam.Get("Width")->SetValue(std::int64_t(512)), KelError::InvalidAccess);
    cam.camera->StopAcquisition();
    cam.Get("Width")->IsWritable(writable);
    QVERIFY(writable);

    // An entry that exists but is unavailable now is refused with its own code.
    QCOMPARE(cam.Get("Pattern")->SetValue("Ramp"), KelError::NotAvailable);
    QCOMPARE(cam.Get("Mirror")->SetValue(true), KelError::Success);
    QCOMPARE(cam.Get("Pattern")->SetValue("Ramp"), KelError::Success);
}

void TestSimCamera::textsAndListsUseTwoCalls()
{
    const auto cam = Open();
    const auto label = cam.Get("Label");
    std::uint32_t length = 0;
    QCOMPARE(label->GetValue(static_cast<char*>(nullptr), length), KelError::Success);
    QCOMPARE(length, 3u);
    char small[2];
    std::uint32_t capacity = sizeof small;
    QCOMPARE(label->GetValue(small, capacity), KelError::MoreData);
    QCOMPARE(capacity, 3u);

    std::vector<std::string> entries;
    QCOMPARE(cam.Get("LineSource")->GetValues(entries), KelError::Success);
    QCOMPARE(entries, (std::vector<std::string>{"Off", "UserOutput0", "Timer0Active"}));
    std::vector<EnumEntry> full;
    QCOMPARE(cam.Get("LineSource")->GetEntries(full), KelError::Success);
    QCOMPARE(full.size(), std::size_t(3));
    QCOMPARE(full[2].GetValue(), std::int64_t(2));
    std::vector<std::int64_t> valid;
    QCOMPARE(cam.Get("Binning")->GetValidValueSet(valid), KelError::Success);
    QCOMPARE(valid, (std::vector<std::int64_t>{1, 2, 4}));
}

void TestSimCamera::writeNotifiesWrittenAndAffectedFeaturesOnApiThread()
{
    const auto cam = Open();
    auto observer = std::make_shared<RecordingObserver>();
    for (const char* name : {"LineSelector", "LineMode", "LineSource", "LineStatus", "Width", "Gain"})
        QCOMPARE(cam.Get(name)->RegisterObserver(observer), KelError::Success);

    // A refused write notifies nobody.
    QCOMPARE(cam.Get("Width")->SetValue(std::int64_t(1)), KelError::InvalidValue);
    cam.camera->WaitForNotifications();
    QVERIFY(observer->Names().empty());

    // The selector's features and those whose conditions name them.
    QCOMPARE(cam.Get("LineSelector")->SetValue("Line2"), KelError::Success);
    cam.camera->WaitForNotifications();
    for (const char* name : {"LineSelector", "LineMode", "LineSource", "LineStatus"})
        QVERIFY2(observer->Saw(name), name);
    QVERIFY(!observer->Saw("Gain"));
    QVERIFY(!observer->Threads().count(std::this_thread::get_id()));

    // Switching the source of an output changes its status at once.
    observer->Clear();
    cam.Get("LineMode")->SetValue("Output");
    cam.Get("LineSource")->SetValue("UserOutput0");
    cam.camera->WaitForNotifications();
    observer->Clear();
    cam.Get("UserOutputValue")->SetValue(true);
    cam.camera->WaitForNotifications();
    QVERIFY(observer->Saw("LineStatus"));
    bool status = false;
    cam.Get("LineStatus")->GetValue(status);
    QVERIFY(status);
}

void TestSimCamera::observersMayBeRemovedAndRefuseDuplicates()
{
    const auto cam = Open();
    auto observer = std::make_shared<RecordingObserver>();
    const auto gain = cam.Get("Gain");
    QCOMPARE(gain->RegisterObserver(observer), KelError::Success);
    QCOMPARE(gain->RegisterObserver(observer), KelError::BadParameter);
    QCOMPARE(gain->RegisterObserver(nullptr), KelError::BadParameter);
    QCOMPARE(gain->UnregisterObserver(observer), KelError::Success);
    QCOMPARE(gain->UnregisterObserver(observer), KelError::NotFound);
    gain->SetValue(2.0);
    cam.camera->WaitForNotifications();
    QVERIFY(observer->Names().empty());
}

void TestSimCamera::commandsRunTheirEffects()
{
    const auto cam = Open();
    auto observer = std::make_shared<RecordingObserver>();
    cam.Get("Note")->RegisterObserver(observer);
    cam.Get("Label")->SetValue("copied");
    QCOMPARE(cam.Get("Latch")->RunCommand(), KelError::Success);
    std::string note;
    cam.Get("Note")->GetValue(note);
    QCOMPARE(note, std::string("copied"));
    bool mirror = false;
    cam.Get("Mirror")->GetValue(mirror);
    QVERIFY(mirror);
    cam.camera->WaitForNotifications();
    QVERIFY(observer->Saw("Note"));
    bool done = false;
    QCOMPARE(cam.Get("Latch")->IsCommandDone(done), KelError::Success);
    QVERIFY(done);
    QCOMPARE(cam.Get("Gain")->RunCommand(), KelError::WrongType);
}

void TestSimCamera::faultsFailChosenCalls_data()
{
    QTest::addColumn<QString>("target"); // feature, or "*" for all
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("mode"); // 0 once, 1 always
    QTest::addColumn<int>("firstCode");
    QTest::addColumn<int>("secondCode");

    QTest::newRow("once, then healthy") << "Gain" << int(Op::SetValue) << 0 << -13 << 0;
    QTest::newRow("always") << "Gain" << int(Op::SetValue) << 1 << -13 << -13;
    QTest::newRow("every feature") << "*" << int(Op::SetValue) << 1 << -13 << -13;
    QTest::newRow("other operation untouched") << "Gain" << int(Op::GetRange) << 1 << 0 << 0;
}

void TestSimCamera::faultsFailChosenCalls()
{
    QFETCH(QString, target);
    QFETCH(int, op);
    QFETCH(int, mode);
    QFETCH(int, firstCode);
    QFETCH(int, secondCode);

    const auto cam = Open();
    const Fault fault = mode == 0 ? Fault::Once(KelError::Other) : Fault::Always(KelError::Other);
    cam.camera->InjectFault(target.toStdString(), static_cast<Op>(op), fault);
    const auto gain = cam.Get("Gain");
    QCOMPARE(gain->SetValue(3.0), firstCode);
    QCOMPARE(gain->SetValue(4.0), secondCode);
    double value = 0;
    gain->GetValue(value);
    QCOMPARE(value, secondCode == 0 ? 4.0 : firstCode == 0 ? 3.0 : 1.5);

    cam.camera->ClearFaults();
    QCOMPARE(gain->SetValue(5.0), KelError::Success);
}

void TestSimCamera::randomFaultsRepeatForASeed()
{
    auto pattern = [](std::uint64_t seed) {
        const auto cam = Open();
        cam.camera->InjectFault("Gain", Op::GetValue, Fault::Random(KelError::Timeout, 0.5, seed));
        QString hits;
        double v;
        for (int i = 0; i < 40; ++i)
            hits += cam.Get("Gain")->GetValue(v) == KelError::Success ? '.' : 'x';
        return hits;
    };
    const QString first = pattern(7);
    QCOMPARE(pattern(7), first);
    QVERIFY(first.contains('x') && first.contains('.'));
    QVERIFY(pattern(8) != first);
}

void TestSimCamera::countersAndCallLog()
{
    const auto cam = Open();
    cam.camera->SetCallLogEnabled(true);
    const auto gain = cam.Get("Gain");
    std::string name;
    gain->GetName(name); // two calls: size, then text
    QCOMPARE(cam.camera->CallCount("Gain", Op::GetName), std::uint64_t(2));
    gain->SetValue(2.5);
    gain->SetValue(99.0);
    cam.Get("LineSelector")->SetValue("Line2");
    cam.Get("LineInverter")->SetValue(true);
    cam.Get("Latch")->RunCommand();
    QCOMPARE(cam.camera->CallCount("Gain", Op::SetValue), std::uint64_t(2));
    QCOMPARE(cam.camera->CallCount(Op::SetValue), std::uint64_t(4));

    const auto log = cam.camera->CallLog();
    QCOMPARE(log.size(), std::size_t(5));
    QCOMPARE(log[0].value, std::string("2.5"));
    QCOMPARE(log[0].result, KelError::Success);
    QCOMPARE(log[1].result, KelError::InvalidValue);
    QCOMPARE(log[3].feature, std::string("LineInverter"));
    QCOMPARE(log[3].context, std::string("LineSelector=Line2"));
    QCOMPARE(log[4].op, Op::RunCommand);

    cam.camera->ResetCallCounts();
    QCOMPARE(cam.camera->TotalCallCount(), std::uint64_t(0));
}

void TestSimCamera::closedCameraAnswersNotOpen()
{
    FeaturePtr kept;
    {
        auto cam = Open();
        kept = cam.Get("Gain");
    }
    double v = 0;
    QCOMPARE(kept->GetValue(v), KelError::NotOpen);
    std::string name = "unchanged";
    QCOMPARE(kept->GetName(name), KelError::NotOpen);
    QCOMPARE(name, std::string("unchanged"));
}

void TestSimCamera::concurrentAccessFromManyThreads()
{
    const auto cam = Open();
    cam.camera->Resume(); // the live thread joins in too
    auto observer = std::make_shared<RecordingObserver>();
    cam.Get("Gain")->RegisterObserver(observer);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const auto gain = cam.Get("Gain");
            const auto selector = cam.Get("LineSelector");
            for (int i = 0; i < 300; ++i) {
                if (gain->SetValue(double((i + t) % 24)) != KelError::Success)
                    ++failures;
                selector->SetValue(i % 2 ? "Line1" : "Line2");
                double v;
                if (gain->GetValue(v) != KelError::Success)
                    ++failures;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    cam.camera->WaitForNotifications();
    QCOMPARE(failures.load(), 0);
    QVERIFY(!observer->Names().empty());
}

QTEST_GUILESS_MAIN(TestSimCamera)
#include "tst_simcamera.moc"
