// The simulated camera as a camera: descriptions, checked writes, selectors,
// conditions, notifications, faults and counters.

#include "testsupport.h"

#include "kelcpp/featureobserver.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

using namespace KelCPP;
using namespace KelCPP::Sim;

namespace {

// Records which features it was told about, how, and on which threads.
struct RecordingObserver : IFeatureObserver {
    std::mutex mutex;
    std::map<std::string, std::uint32_t> changes;
    std::set<std::thread::id> threads;

    void NotifyFeatureChanged(const std::shared_ptr<Feature>&) override {}
    void NotifyFeatureChanges(const std::shared_ptr<Feature>& feature, std::uint32_t how) override
    {
        std::string name;
        feature->GetName(name); // calling back in must not deadlock
        std::lock_guard<std::mutex> lock(mutex);
        changes[name] |= how;
        threads.insert(std::this_thread::get_id());
    }
    std::set<std::string> Take() // the names heard of since the last call
    {
        std::set<std::string> names;
        for (const auto& change : TakeChanges())
            names.insert(change.first);
        return names;
    }
    std::map<std::string, std::uint32_t> TakeChanges()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(changes, {});
    }
};

const QByteArray IoCamera = R"({ "format": 1, "features": [
    { "name": "Width", "type": "Integer", "min": 16, "max": 4096, "inc": 16, "value": 1024,
      "writableWhen": { "TLParamsLocked": 0 } },
    { "name": "Gain", "type": "Float", "max": 24, "value": 1.5 },
    { "name": "Step", "type": "Float", "min": 1, "max": 2, "inc": 0.25, "value": 1.25 },
    { "name": "Label", "type": "String", "maxLength": 8, "value": "cam" },
    { "name": "Mirror", "type": "Boolean" },
    { "name": "Blob", "type": "Raw", "size": 4, "value": "0a0b" },
    { "name": "Key", "type": "Integer", "access": "WO" },
    { "name": "Serial", "type": "String", "access": "RO", "value": "S-1" },
    { "name": "Binning", "type": "Integer", "validValues": [1, 2, 4] },
    { "name": "TLParamsLocked", "type": "Integer", "max": 1, "access": "RO" },
    { "name": "LineSelector", "type": "Enumeration", "entries": ["Line0", "Line1", "Line2"] },
    { "name": "LineMode", "type": "Enumeration", "selectedBy": "LineSelector",
      "writableWhen": { "LineSelector": "Line2", "TLParamsLocked": 0 },
      "entries": ["Input", { "name": "Output", "availableWhen": { "LineSelector": { "not": "Line0" } } }],
      "values": { "Line1": "Output" } },
    { "name": "LineSource", "type": "Enumeration", "selectedBy": "LineSelector", "writableWhen": { "LineMode": "Output" },
      "entries": ["Off", "UserOutput0", "Timer0Active"] },
    { "name": "LineInverter", "type": "Boolean", "selectedBy": "LineSelector" },
    { "name": "LineStatus", "type": "Boolean", "selectedBy": "LineSelector", "access": "RO", "volatile": true },
    { "name": "UserOutputSelector", "type": "Enumeration", "entries": ["UserOutput0"] },
    { "name": "UserOutputValue", "type": "Boolean", "selectedBy": "UserOutputSelector" },
    { "name": "Note", "type": "String" },
    { "name": "Pattern", "type": "Enumeration", "entries": ["Off", { "name": "Ramp", "availableWhen": { "Mirror": true } }] },
    { "name": "Alarm", "type": "Boolean", "availableWhen": { "LineStatus": true } },
    { "name": "Timestamp", "type": "Integer", "access": "RO" },
    { "name": "Since", "type": "Integer", "availableWhen": { "Timestamp": { "not": 0 } } },
    { "name": "UserSetLoad", "type": "Command" },
    { "name": "Latch", "type": "Command", "onExecute": [ { "copy": { "Note": "Label" } }, { "set": { "Mirror": true } } ] }
] })";

using CameraAction = std::function<void(SimCamera&)>;

bool Writable(const FeaturePtr& f)
{
    bool writable = false;
    return f->IsWritable(writable) == KelError::Success && writable;
}

} // namespace

Q_DECLARE_METATYPE(CameraAction)

class TestSimCamera : public QObject {
    Q_OBJECT

    std::shared_ptr<SimCamera> camera;
    FeaturePtr Get(const char* name) const { return TestSupport::FindFeature(*camera, name); }
    QString Value(const char* name) const { return TestSupport::ValueText(Get(name)); }

private slots:
    void init() { QVERIFY(camera = TestSupport::CameraFromJson(IoCamera)); }

    void refusesBrokenDescriptions_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("reason");
        const auto wrap = [](const char* features) { return QByteArray(R"({ "format": 1, "features": [)") + features + "] }"; };
        QTest::newRow("text that is not JSON") << QByteArray("{ nope") << "not valid JSON";
        QTest::newRow("another format") << QByteArray(R"({ "format": 2, "features": [] })") << "'format' must be 1";
        QTest::newRow("an unknown type") << wrap(R"({ "name": "A", "type": "Int" })") << "unknown type 'Int'";
        QTest::newRow("a name used twice")
            << wrap(R"({ "name": "A", "type": "Boolean" }, { "name": "A", "type": "Boolean" })") << "the name is used twice";
        QTest::newRow("a misspelt key") << wrap(R"({ "name": "A", "type": "Boolean", "valeu": true })") << "unknown key 'valeu'";
        QTest::newRow("a value off the increment")
            << wrap(R"({ "name": "A", "type": "Integer", "max": 10, "inc": 4, "value": 6 })") << "off the increment";
        QTest::newRow("an unknown selector")
            << wrap(R"({ "name": "A", "type": "Boolean", "selectedBy": "Nope" })") << "unknown feature 'Nope'";
        QTest::newRow("a condition on a missing entry")
            << wrap(R"({ "name": "M", "type": "Enumeration", "entries": ["On", "Off"] },
                       { "name": "A", "type": "Boolean", "writableWhen": { "M": "Of" } })") << "no entry 'Of'";
        QTest::newRow("a range on a string") << wrap(R"({ "name": "A", "type": "String", "min": 1 })") << "'min' does not apply";
    }

    void refusesBrokenDescriptions()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, reason);
        std::string error;
        QVERIFY(!SimCamera::FromJson(json.toStdString(), &error, SimOptions{ false }));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }

    void featuresKeepFileOrder()
    {
        const CameraFeatureList features = TestSupport::CameraFeatures(*camera);
        QCOMPARE(std::size_t(features->size()), camera->FeatureCount());
        QCOMPARE(features->front(), Get("Width"));
        QCOMPARE(features->back(), Get("Latch"));
        QVERIFY(!Get("width"));
    }

    void writesAreCheckedLikeACamera_data()
    {
        QTest::addColumn<QString>("feature");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("after");
        QTest::newRow("an integer on the grid") << "Width" << QVariant(qint64(640)) << 0 << "640";
        QTest::newRow("an integer off the grid") << "Width" << QVariant(qint64(650)) << -11 << "1024";
        QTest::newRow("an integer below min") << "Width" << QVariant(qint64(0)) << -11 << "1024";
        QTest::newRow("an integer above max") << "Width" << QVariant(qint64(4112)) << -11 << "1024";
        QTest::newRow("an integer in the valid set") << "Binning" << QVariant(qint64(4)) << 0 << "4";
        QTest::newRow("an integer outside the valid set") << "Binning" << QVariant(qint64(3)) << -11 << "1";
        QTest::newRow("a float in range") << "Gain" << QVariant(12.25) << 0 << "12.25";
        QTest::newRow("a float above max") << "Gain" << QVariant(24.5) << -11 << "1.5";
        QTest::newRow("a float on its increment") << "Step" << QVariant(1.75) << 0 << "1.75";
        QTest::newRow("a float off its increment") << "Step" << QVariant(1.3) << -11 << "1.25";
        QTest::newRow("text to an integer") << "Width" << QVariant("640") << -10 << "1024";
        QTest::newRow("a string within its length") << "Label" << QVariant("left") << 0 << "left";
        QTest::newRow("a string too long") << "Label" << QVariant("123456789") << -11 << "cam";
        QTest::newRow("a read-only string") << "Serial" << QVariant("S-2") << -6 << "S-1";
        QTest::newRow("an unknown entry") << "LineSelector" << QVariant("Line9") << -11 << "Line0";
        QTest::newRow("an entry by its integer value") << "LineSelector" << QVariant(qint64(2)) << 0 << "Line2";
        QTest::newRow("an entry not available now") << "Pattern" << QVariant("Ramp") << -16 << "Off";
        QTest::newRow("a feature whose condition fails") << "LineSource" << QVariant("UserOutput0") << -6 << "Off";
        QTest::newRow("a write-only integer, never read") << "Key" << QVariant(qint64(31)) << 0 << "unreadable";
    }

    void writesAreCheckedLikeACamera()
    {
        QFETCH(QString, feature);
        QFETCH(QVariant, value);
        const FeaturePtr f = Get(qPrintable(feature));
        const KelErrorType code = value.userType() == QMetaType::LongLong ? f->SetValue(std::int64_t(value.toLongLong()))
            : value.userType() == QMetaType::Double                        ? f->SetValue(value.toDouble())
                                                                           : f->SetValue(qPrintable(value.toString()));
        QTEST(int(code), "code");
        QTEST(TestSupport::ValueText(f), "after");
    }

    void readsFollowTypeAndAccess()
    {
        std::int64_t i = 0;
        double d = 0;
        std::string s;
        QCOMPARE(Get("Gain")->GetValue(i), KelError::WrongType);
        QCOMPARE(Get("Width")->GetValue(s), KelError::WrongType);
        QCOMPARE(Get("LineSelector")->SetValue("Line1"), KelError::Success);
        QCOMPARE(Get("LineSelector")->GetValue(i), KelError::Success); // entries have integers too
        QCOMPARE(i, std::int64_t(1));

        QCOMPARE(Value("Blob"), QString("0a0b0000")); // zero-filled to its size
        const std::uint8_t data[] = { 1, 2, 3, 4, 5 };
        QCOMPARE(Get("Blob")->SetValue(data, 5), KelError::InvalidValue);

        KelFeatureFlagsType flags;
        QCOMPARE(Get("LineStatus")->GetFlags(flags), KelError::Success);
        QCOMPARE(int(flags), int(KelFeatureFlagsRead | KelFeatureFlagsVolatile));
        QCOMPARE(Get("Gain")->GetIncrement(d), KelError::NotAvailable); // none described
        QCOMPARE(Get("Step")->GetIncrement(d), KelError::Success);
        QCOMPARE(d, 0.25);
    }

    void selectorsHoldOneValuePerEntry()
    {
        const auto selector = Get("LineSelector"), inverter = Get("LineInverter");
        QCOMPARE(selector->SetValue("Line1"), KelError::Success);
        QCOMPARE(inverter->SetValue(true), KelError::Success);
        QCOMPARE(Value("LineMode"), QString("Output")); // its own power-up value
        QCOMPARE(selector->SetValue("Line2"), KelError::Success);
        QCOMPARE(Value("LineInverter"), QString("false"));
        QCOMPARE(Value("LineMode"), QString("Input"));
        QCOMPARE(selector->SetValue("Line1"), KelError::Success);
        QCOMPARE(Value("LineInverter"), QString("true"));

        std::vector<FeaturePtr> selected;
        QCOMPARE(selector->GetSelectedFeatures(selected), KelError::Success);
        std::string names, name;
        for (const auto& f : selected) {
            f->GetName(name);
            names += name + " ";
        }
        QCOMPARE(names, std::string("LineMode LineSource LineInverter LineStatus "));
        QCOMPARE(inverter->GetSelectedFeatures(selected), KelError::Success);
        QVERIFY(selected.empty());
    }

    void conditionsFollowCurrentSelector()
    {
        const auto selector = Get("LineSelector"), mode = Get("LineMode"), source = Get("LineSource");
        bool available = true;

        // Line0: a fixed input that does not offer Output.
        QVERIFY(!Writable(mode));
        QCOMPARE(mode->IsValueAvailable("Output", available), KelError::Success);
        QVERIFY(!available);

        // Line2: a writable mode; the source opens once it is an output.
        QCOMPARE(selector->SetValue("Line2"), KelError::Success);
        QVERIFY(Writable(mode));
        QVERIFY(!Writable(source));
        QCOMPARE(mode->SetValue("Output"), KelError::Success);
        QCOMPARE(source->SetValue("UserOutput0"), KelError::Success);

        // Width follows TLParamsLocked, which acquisition sets.
        QCOMPARE(camera->StartAcquisition(), KelError::Success);
        QCOMPARE(Get("Width")->SetValue(std::int64_t(512)), KelError::InvalidAccess);
        camera->StopAcquisition();
        QVERIFY(Writable(Get("Width")));

        // An entry's condition is evaluated anew.
        QCOMPARE(Get("Mirror")->SetValue(true), KelError::Success);
        QCOMPARE(Get("Pattern")->SetValue("Ramp"), KelError::Success);
    }

    void textsAndLists()
    {
        std::uint32_t length = 0;
        QCOMPARE(Get("Label")->GetValue(static_cast<char*>(nullptr), length), KelError::Success);
        QCOMPARE(length, 3u);
        char small[2];
        length = sizeof small;
        QCOMPARE(Get("Label")->GetValue(small, length), KelError::MoreData);
        QCOMPARE(length, 3u);

        // A text longer than the first buffer still comes whole.
        const std::string longText(300, 'x');
        const auto wide = TestSupport::CameraFromJson(R"({ "format": 1, "features": [ { "name": "Note",
            "type": "String", "maxLength": 400, "description": ")" + QByteArray(longText.c_str()) + R"(" } ] })");
        const auto note = TestSupport::FindFeature(*wide, "Note");
        std::string text;
        QCOMPARE(note->GetDescription(text), KelError::Success);
        QCOMPARE(text, longText);
        QCOMPARE(note->SetValue(longText.c_str()), KelError::Success);
        QCOMPARE(note->GetValue(text), KelError::Success);
        QCOMPARE(text, longText);

        // The entries that can be chosen now come in one device access.
        std::vector<std::string> available;
        camera->ResetCallCounts();
        QCOMPARE(Get("LineMode")->GetAvailableValues(available), KelError::Success);
        QCOMPARE(available, std::vector<std::string>{ "Input" }); // Line0 offers no output
        QCOMPARE(camera->DeviceAccessCount(), std::uint64_t(1));
        Get("LineSelector")->SetValue("Line1");
        QCOMPARE(Get("LineMode")->GetAvailableValues(available), KelError::Success);
        QCOMPARE(available, (std::vector<std::string>{ "Input", "Output" }));
        // A backend without its own way asks entry by entry, to the same answer.
        const char* names[2] = {};
        std::uint32_t count = 2;
        QCOMPARE(Get("LineMode")->Feature::GetAvailableValues(names, count), KelError::Success);
        QCOMPARE(std::vector<std::string>(names, names + count), available);
        count = 1;
        QCOMPARE(Get("LineMode")->Feature::GetAvailableValues(names, count), KelError::MoreData);
        QCOMPARE(count, 2u);

        std::vector<EnumEntry> full;
        QCOMPARE(Get("LineSource")->GetEntries(full), KelError::Success);
        QCOMPARE(full.at(2).GetValue(), std::int64_t(2)); // entries count from 0
        std::vector<std::int64_t> valid;
        QCOMPARE(Get("Binning")->GetValidValueSet(valid), KelError::Success);
        QCOMPARE(valid, (std::vector<std::int64_t>{ 1, 2, 4 }));
    }

    void writesNotifyWrittenAndAffectedFeaturesOnTheirOwnThread()
    {
        auto observer = std::make_shared<RecordingObserver>();
        for (const char* name : { "LineSelector", "LineMode", "LineSource", "LineStatus", "Width", "Gain", "Note" })
            QCOMPARE(Get(name)->RegisterObserver(observer), KelError::Success);
        QCOMPARE(Get("Gain")->RegisterObserver(observer), KelError::BadParameter); // only once
        QCOMPARE(Get("Gain")->RegisterObserver(nullptr), KelError::BadParameter);

        QCOMPARE(Get("Width")->SetValue(std::int64_t(1)), KelError::InvalidValue); // refused: nobody hears
        camera->WaitForNotifications();
        QVERIFY(observer->Take().empty());

        // The selector's features and those whose conditions name it. They
        // only moved to another line: nothing they hold for any line changed.
        const std::uint32_t value = KelFeatureChangeValue, moved = KelFeatureChangeSelector;
        using Changes = std::map<std::string, std::uint32_t>;
        QCOMPARE(Get("LineSelector")->SetValue("Line2"), KelError::Success);
        camera->WaitForNotifications();
        QCOMPARE(observer->TakeChanges(),
                 (Changes{ { "LineSelector", value }, { "LineMode", moved }, { "LineSource", moved }, { "LineStatus", moved } }));
        QVERIFY(!observer->threads.count(std::this_thread::get_id()));

        // A line's mode decides whether that line's source may be written.
        Get("LineMode")->SetValue("Output");
        camera->WaitForNotifications();
        QCOMPARE(observer->TakeChanges(), (Changes{ { "LineMode", value }, { "LineSource", value } }));

        // Switching the source of an output changes its status at once.
        Get("LineSource")->SetValue("UserOutput0");
        camera->WaitForNotifications();
        observer->Take();
        Get("UserOutputValue")->SetValue(true);
        camera->WaitForNotifications();
        QVERIFY(observer->Take().count("LineStatus"));
        QCOMPARE(Value("LineStatus"), QString("true"));

        // A command's effects notify too.
        Get("Label")->SetValue("copied");
        QCOMPARE(Get("Latch")->RunCommand(), KelError::Success);
        QCOMPARE(Value("Note") + " " + Value("Mirror"), QString("copied true"));
        camera->WaitForNotifications();
        QVERIFY(observer->Take().count("Note"));
        QCOMPARE(Get("Gain")->RunCommand(), KelError::WrongType);

        // A removed observer hears nothing more.
        QCOMPARE(Get("Gain")->UnregisterObserver(observer), KelError::Success);
        QCOMPARE(Get("Gain")->UnregisterObserver(observer), KelError::NotFound);
        Get("Gain")->SetValue(2.0);
        camera->WaitForNotifications();
        QVERIFY(observer->Take().empty());
    }

    // Whatever changes a value, what names it in a condition hears of it.
    void everyCauseOfChangeNotifiesDependents_data()
    {
        QTest::addColumn<CameraAction>("setup");
        QTest::addColumn<CameraAction>("cause");
        QTest::addColumn<QString>("heard"); // as changed, not only moved
        QTest::addColumn<QString>("unheard");
        const auto run = [](const char* command) {
            return [=](SimCamera& c) { TestSupport::FindFeature(c, command)->RunCommand(); };
        };
        const auto level = [](const char* line) { return [=](SimCamera& c) { c.SetLineLevel(line, true); }; };
        const CameraAction start = [](SimCamera& c) { c.StartAcquisition(); };
        const QString locked = "TLParamsLocked Width LineMode LineSource"; // LineSource through LineMode
        QTest::newRow("acquisition locks") << CameraAction() << start << locked << "LineSelector Gain";
        QTest::newRow("acquisition unlocks") << start << CameraAction([](SimCamera& c) { c.StopAcquisition(); }) << locked << "";
        QTest::newRow("the selected line's level") << CameraAction() << CameraAction(level("Line0")) << "LineStatus Alarm" << "";
        QTest::newRow("another line's level") << CameraAction() << CameraAction(level("Line2")) << "LineStatus" << "Alarm";
        QTest::newRow("an output after a write")
            << CameraAction([](SimCamera& c) {
                   TestSupport::FindFeature(c, "LineSelector")->SetValue("Line1");
                   TestSupport::FindFeature(c, "LineSource")->SetValue("UserOutput0");
               })
            << CameraAction([](SimCamera& c) { TestSupport::FindFeature(c, "UserOutputValue")->SetValue(true); })
            << "LineStatus Alarm" << "";
        QTest::newRow("a clock, polled itself") << CameraAction() << CameraAction([](SimCamera& c) { c.Step(std::chrono::milliseconds(1)); })
                                                << "Since" << "Timestamp";
        QTest::newRow("a command's effect") << CameraAction() << CameraAction(run("Latch")) << "Mirror Pattern" << "";
        QTest::newRow("the user set loaded") << start << CameraAction(run("UserSetLoad")) << locked + " Alarm" << "";
    }

    void everyCauseOfChangeNotifiesDependents()
    {
        QFETCH(CameraAction, setup);
        QFETCH(CameraAction, cause);
        const auto observer = std::make_shared<RecordingObserver>();
        const CameraFeatureList features = TestSupport::CameraFeatures(*camera);
        for (const FeaturePtr& f : *features)
            QCOMPARE(f->RegisterObserver(observer), KelError::Success);
        if (setup)
            setup(*camera);
        camera->WaitForNotifications();
        observer->Take();
        cause(*camera);
        camera->WaitForNotifications();
        const auto changes = observer->TakeChanges();
        QFETCH(QString, heard);
        QFETCH(QString, unheard);
        for (const QString& name : heard.split(' ', Qt::SkipEmptyParts)) {
            const auto it = changes.find(name.toStdString());
            QVERIFY2(it != changes.end() && (it->second & KelFeatureChangeValue), qPrintable(name));
        }
        for (const QString& name : unheard.split(' ', Qt::SkipEmptyParts))
            QVERIFY2(!changes.count(name.toStdString()), qPrintable(name));
    }

    void faultsFailChosenCalls_data()
    {
        QTest::addColumn<QString>("target"); // a feature, or "*" for all
        QTest::addColumn<int>("op");
        QTest::addColumn<bool>("once");
        QTest::addColumn<QList<int>>("codes"); // of two writes
        QTest::newRow("once, then healthy") << "Gain" << int(Op::SetValue) << true << QList<int>{ -13, 0 };
        QTest::newRow("always") << "Gain" << int(Op::SetValue) << false << QList<int>{ -13, -13 };
        QTest::newRow("on every feature") << "*" << int(Op::SetValue) << false << QList<int>{ -13, -13 };
        QTest::newRow("another operation is untouched") << "Gain" << int(Op::GetRange) << false << QList<int>{ 0, 0 };
    }

    void faultsFailChosenCalls()
    {
        QFETCH(QString, target);
        QFETCH(int, op);
        QFETCH(bool, once);
        QFETCH(QList<int>, codes);
        camera->InjectFault(target.toStdString(), Op(op), once ? Fault::Once(KelError::Other) : Fault::Always(KelError::Other));
        const auto gain = Get("Gain");
        QCOMPARE(QList<int>({ gain->SetValue(3.0), gain->SetValue(4.0) }), codes);
        QCOMPARE(Value("Gain"), codes[1] == 0 ? "4" : codes[0] == 0 ? "3" : "1.5");
        camera->ClearFaults();
        QCOMPARE(gain->SetValue(5.0), KelError::Success);
    }

    void randomFaultsRepeatForASeed()
    {
        const auto pattern = [this](std::uint64_t seed) {
            camera->InjectFault("Gain", Op::GetValue, Fault::Random(KelError::Timeout, 0.5, seed));
            QString hits;
            for (int i = 0; i < 40; ++i)
                hits += Value("Gain") == "unreadable" ? 'x' : '.';
            return hits;
        };
        const QString first = pattern(7);
        QCOMPARE(pattern(7), first);
        QVERIFY(first.contains('x') && first.contains('.'));
        QVERIFY(pattern(8) != first);
    }

    void countersAndCallLog()
    {
        camera->SetCallLogEnabled(true);
        const auto gain = Get("Gain");
        std::string name;
        gain->GetName(name); // a short text fits the first call
        QCOMPARE(camera->CallCount("Gain", Op::GetName), std::uint64_t(1));
        // Names come from the description; values from the device.
        double gainValue = 0;
        gain->GetValue(gainValue);
        QCOMPARE(camera->LocalCallCount(), std::uint64_t(1));
        QCOMPARE(camera->DeviceAccessCount(), std::uint64_t(1));
        gain->SetValue(2.5);
        gain->SetValue(99.0);
        Get("LineSelector")->SetValue("Line2");
        Get("LineInverter")->SetValue(true);
        Get("Latch")->RunCommand();
        QCOMPARE(camera->CallCount("Gain", Op::SetValue), std::uint64_t(2));
        QCOMPARE(camera->CallCount(Op::SetValue), std::uint64_t(4));

        const auto log = camera->CallLog();
        QCOMPARE(log.size(), std::size_t(5));
        QCOMPARE(log[0].value + " " + log[3].feature + " " + log[3].context, std::string("2.5 LineInverter LineSelector=Line2"));
        QCOMPARE(QList<int>({ log[0].result, log[1].result }), QList<int>({ KelError::Success, KelError::InvalidValue }));
        QCOMPARE(int(log[4].op), int(Op::RunCommand));
        camera->ResetCallCounts();
        QCOMPARE(camera->TotalCallCount(), std::uint64_t(0));
    }

    void closedCameraAnswersNotOpen()
    {
        const FeaturePtr kept = Get("Gain");
        camera.reset();
        std::string name = "unchanged";
        QCOMPARE(kept->GetName(name), KelError::NotOpen);
        QCOMPARE(name, std::string("unchanged"));
    }

    void concurrentAccessFromManyThreads()
    {
        camera->Resume(); // the live thread joins in too
        const auto observer = std::make_shared<RecordingObserver>();
        QCOMPARE(Get("Gain")->RegisterObserver(observer), KelError::Success);
        std::atomic<int> failures{ 0 };
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 300; ++i) {
                    failures += Get("Gain")->SetValue(double((i + t) % 24)) != KelError::Success;
                    failures += Get("LineSelector")->SetValue(i % 2 ? "Line1" : "Line2") != KelError::Success;
                    failures += Value("Gain") == "unreadable";
                }
            });
        }
        for (auto& thread : threads)
            thread.join();
        camera->WaitForNotifications();
        QCOMPARE(failures.load(), 0);
        QVERIFY(observer->Take().count("Gain"));
    }
};

QTEST_GUILESS_MAIN(TestSimCamera)
#include "tst_simcamera.moc"
