// The description loader against hostile files: whatever a file holds, the
// load ends quickly with the camera or with one short line saying why not.
// The large inputs are generated here, just beyond (and just within) each
// limit.

#include "testsupport.h"

#include "kelcpp/sim/description.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <functional>

using namespace KelCPP::Sim;

namespace {

QByteArray Wrap(const QByteArray& features, const QByteArray& rest = {})
{
    return R"({ "format": 1, "features": [ )" + features + " ]" + rest + " }";
}

// `count` pieces appended by `piece(out, i)`, separated by commas. Built in
// a std::string, where small numbers need no allocation: the long lists
// stay cheap under AddressSanitizer.
QByteArray Join(int count, const std::function<void(std::string&, int)>& piece)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ',';
        piece(out, i);
    }
    return QByteArray::fromStdString(out);
}

QByteArray N(qint64 i) { return QByteArray::number(i); }
std::string S(int i) { return std::to_string(i); }

// A JSON string of the text (which needs no escaping). Kept out of the raw
// strings: moc loses its way in those that begin or end with a quote.
QByteArray Q(const QByteArray& text) { return "\"" + text + "\""; }
const QByteArray EscapedQuote = "\\\"";

// F0 .. Fn, each available only while the one before it is false.
QByteArray ConditionChain(int links)
{
    return Wrap(Join(links + 1, [](std::string& out, int i) {
        out += R"({ "name": "F)" + S(i) + R"(", "type": "Boolean")";
        out += i ? R"(, "availableWhen": { "F)" + S(i - 1) + R"(": false } })" : std::string(" }");
    }));
}

// S0 selects S1, which selects S2, ...: Sn has n selectors above it.
QByteArray SelectorChain(int depth)
{
    return Wrap(Join(depth + 1, [](std::string& out, int i) {
        out += R"({ "name": "S)" + S(i) + R"(", "type": "Enumeration", "entries": ["A", "B"])";
        out += i ? R"(, "selectedBy": "S)" + S(i - 1) + R"(" })" : std::string(" }");
    }));
}

// One feature whose value decides whether `count` others are writable.
QByteArray Fan(int count)
{
    return Wrap(R"({ "name": "Hub", "type": "Boolean" },)" + Join(count, [](std::string& out, int i) {
        out += R"({ "name": "F)" + S(i) + R"(", "type": "Boolean", "writableWhen": { "Hub": true } })";
    }));
}

// `count` features, each writable only while all the others are false.
QByteArray Web(int count)
{
    return Wrap(Join(count, [count](std::string& out, int i) {
        out += R"({ "name": "W)" + S(i) + R"(", "type": "Boolean", "writableWhen": {)";
        for (int j = 0; j < count; ++j) {
            if (j != i)
                out += (out.back() == '{' ? R"( "W)" : R"(, "W)") + S(j) + R"(": false)";
        }
        out += " } }";
    }));
}

// `count` JSON texts "<prefix>0", "<prefix>1", ...
QByteArray Names(int count, const char* prefix = "")
{
    return Join(count, [prefix](std::string& out, int i) { out += "\"" + (prefix + S(i)) + "\""; });
}

QByteArray Numbers(int count)
{
    return Join(count, [](std::string& out, int i) { out += S(i); });
}

// An Integer selector with the range given and a feature it selects.
QByteArray IntegerSelector(const QByteArray& range, const QByteArray& values = {})
{
    return Wrap(R"({ "name": "Index", "type": "Integer")" + (range.isEmpty() ? QByteArray() : ", " + range) + R"( },
                   { "name": "Cell", "type": "Integer", "selectedBy": "Index")" + values + " }");
}

QByteArray Nested(int depth) { return QByteArray(depth, '[') + QByteArray(depth, ']'); }

QByteArray Raw(int i, qint64 size) { return R"({ "name": "R)" + N(i) + R"(", "type": "Raw", "size": )" + N(size) + " }"; }

constexpr qint64 MiB = 1 << 20;

// What a refusal must look like: one line, short, saying what `reason` says.
void CheckRefusal(const QString& error, const QString& reason)
{
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY2(!error.contains('\n'), qPrintable(error));
    QVERIFY2(error.size() <= 240, qPrintable(error.left(400)));
}

// The level and next edge of a square wave, worked out in 128 bits.
std::pair<bool, std::int64_t> WaveOracle(const InputSignal& s, std::int64_t t)
{
    const __int128 period = s.periodUs;
    __int128 position = (__int128(t) - s.phaseUs) % period;
    if (position < 0)
        position += period;
    const __int128 next = __int128(t) + (position < s.highUs ? s.highUs - position : period - position);
    return {position < s.highUs, next > INT64_MAX ? INT64_MAX : static_cast<std::int64_t>(next)};
}

} // namespace

class TestDescriptionLimits : public QObject {
    Q_OBJECT

private slots:
    void refusesWhatNoCameraNeeds_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("reason");

        QTest::newRow("a raw size of -1") << Wrap(Raw(0, -1)) << "size must be between 0 and 1048576, not -1";
        QTest::newRow("a raw size of 1e12")
            << Wrap(R"({ "name": "R", "type": "Raw", "size": 1e12 })") << "size must be between 0 and 1048576";
        QTest::newRow("a raw size of 4e9") << Wrap(Raw(0, 4000000000)) << "not 4000000000";
        QTest::newRow("33 raw features of 1 MiB")
            << Wrap(Join(33, [](std::string& out, int i) { out += Raw(i, MiB).toStdString(); })) << "exceeds 64 MiB";
        QTest::newRow("raw digits with a sign") << Wrap(R"({ "name": "R", "type": "Raw", "value": "-1" })")
                                                << "bad hexadecimal digits '-1'";

        QTest::newRow("an integer selector at the top of the 64-bit range")
            << IntegerSelector(R"("min": 9223372036854775806, "max": 9223372036854775807)") << "within the 32-bit range";
        QTest::newRow("an integer selector with one value and an increment of 2^62")
            << IntegerSelector(R"("max": 0, "inc": 4611686018427387904)") << "within the 32-bit range";
        QTest::newRow("an integer selector over the whole 64-bit range")
            << IntegerSelector(R"("min": -9223372036854775808, "max": 9223372036854775807)") << "more than 4096 values";
        QTest::newRow("an integer selector of 4097 values") << IntegerSelector(R"("max": 4096)") << "more than 4096 values";
        QTest::newRow("a per-entry value for a selector value written with a leading zero")
            << IntegerSelector(R"("max": 8)", R"(, "values": { "03": 1 })") << "'03' is not a value of 'Index'";
        QTest::newRow("an enumeration of 4097 entries")
            << Wrap(R"({ "name": "E", "type": "Enumeration", "entries": [)" + Names(4097) + "] }")
            << "more than 4096 entries";
        QTest::newRow("a condition listing 4097 values")
            << Wrap(R"({ "name": "I", "type": "Integer" }, { "name": "B", "type": "Boolean", "availableWhen": { "I": [)"
                    + Numbers(4097) + "] } }")
            << "lists more than 4096 values";
        QTest::newRow("a maxLength of -1") << Wrap(R"({ "name": "S", "type": "String", "maxLength": -1 })")
                                           << "maxLength must be between 0 and 65536, not -1";

        QTest::newRow("a key nested 100000 deep")
            << Wrap(R"({ "name": "I", "type": "Integer", "min": )" + Nested(100000) + " }") << "nested deeper than 64 levels (line 1)";
        QTest::newRow("a key nested 65 deep")
            << Wrap(R"({ "name": "I", "type": "Integer", "min": )" + Nested(62) + " }") << "nested deeper than 64 levels (line 1)";
        QTest::newRow("an array nested a million deep") << Nested(1000000) << "nested deeper than 64 levels";
        QTest::newRow("a key nested 64 deep reaches the loader, which names it briefly")
            << Wrap(R"({ "name": "I", "type": "Integer", "min": )" + Nested(61) + " }") << "expected an integer, got an array";
        QTest::newRow("more than a million JSON values")
            << Wrap(R"({ "name": "I", "type": "Integer", "min": [)" + Numbers(1000000) + "] }")
            << "more than 1000000 JSON values";
        QTest::newRow("a text longer than 16 MiB")
            << Wrap(R"({ "name": "S", "type": "String", "description": )" + Q(QByteArray(16 * MiB, 'x')) + " }")
            << "larger than 16 MiB";
        QTest::newRow("a number beyond a double") << Wrap(R"({ "name": "F", "type": "Float", "max": 1e400 })")
                                                  << "not valid JSON: number overflow";
        QTest::newRow("an unterminated megabyte of text")
            << QByteArray(R"({ "format": 1, "comment": )") + "\"" + QByteArray(MiB, 'x') << "not valid JSON";
        QTest::newRow("a megabyte feature name, cut in the message")
            << Wrap(R"({ "name": )" + Q(QByteArray(MiB, 'n')) + R"(, "type": "Int" })") << "feature 'nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn...'";
        QTest::newRow("a line break in a name, escaped in the message")
            << Wrap(R"({ "name": "A\nB", "type": "Int" })") << R"(feature 'A\x0aB': unknown type 'Int')";
        QTest::newRow("10001 features")
            << Wrap(Join(10001, [](std::string& out, int i) { out += R"({ "name": "F)" + S(i) + R"(", "type": "Boolean" })"; }))
            << "more than 10000 features";

        QTest::newRow("a condition chain of 40000 links") << ConditionChain(40000) << "more than 10000 features";
        QTest::newRow("a condition chain of 9000 links")
            << ConditionChain(9000) << "feature 'F0': a write to it reaches 'F17' only through more than 16";
        QTest::newRow("a condition chain of 17 links") << ConditionChain(17) << "more than 16 selectors and conditions in a row";
        QTest::newRow("selectors selecting selectors 17 deep")
            << SelectorChain(17) << "feature 'S17': more than 16 selectors in a row above it";
        QTest::newRow("selectors selecting each other")
            << Wrap(R"({ "name": "A", "type": "Enumeration", "entries": ["X"], "selectedBy": "B" },
                       { "name": "B", "type": "Enumeration", "entries": ["X"], "selectedBy": "A" })")
            << "select each other in a loop";
        QTest::newRow("a write that affects 1025 features") << Fan(1025) << "feature 'Hub': a write to it affects more than 1024 features";
        QTest::newRow("70 features whose conditions all name each other")
            << Web(70) << "feature 'W0': a write to it follows more than 4096 selector and condition links";

        QTest::newRow("a live notification interval of 2^63 - 1 ms")
            << Wrap("", R"(, "simulation": { "liveNotifyIntervalMs": 9223372036854775807 })")
            << "liveNotifyIntervalMs must be between 0 and 3600000";
        QTest::newRow("a tick that does not fit an int")
            << Wrap("", R"(, "simulation": { "tickMs": 4294967297 })") << "tickMs must be between 1 and 10000";
        QTest::newRow("a frame rate of 1e-300 Hz")
            << Wrap("", R"(, "simulation": { "frameRateHz": 1e-300 })") << "frameRateHz must be between 0.001 and 1000000";
    }

    void refusesWhatNoCameraNeeds()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, reason);
        std::string error;
        QVERIFY(!SimCamera::FromJson(json.toStdString(), &error, SimOptions{false}));
        CheckRefusal(QString::fromStdString(error), reason);
    }

    void loadsWhatACameraMayNeed_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("feature");
        QTest::addColumn<QString>("value"); // as TestSupport::ValueText reads it

        QTest::newRow("an integer selector of 4096 values")
            << IntegerSelector(R"("min": 100, "max": 4195, "value": 4195)", R"(, "values": { "4195": 7 })") << QByteArray("Cell") << "7";
        QTest::newRow("an integer selector at the 32-bit limits")
            << IntegerSelector(R"("min": -2147483648, "max": 2147483647, "inc": 2147483647, "value": 2147483646)",
                               R"(, "values": { "2147483646": 5 })")
            << QByteArray("Cell") << "5";
        QTest::newRow("an enumeration of 4096 entries")
            << Wrap(R"({ "name": "E", "type": "Enumeration", "value": "4095", "entries": [)"
                    + Names(4096) + "] }")
            << QByteArray("E") << "4095";
        QTest::newRow("raw data of 1 MiB for each of 31 selector values")
            << Wrap(R"({ "name": "Sel", "type": "Enumeration", "entries": [)" + Names(31, "E")
                    + R"(] }, { "name": "R", "type": "Raw", "size": 1048576, "selectedBy": "Sel", "values": { "E0": "ff" } })")
            << QByteArray("R") << "ff" + QString(2 * MiB - 2, '0');
        QTest::newRow("a maxLength of 65536")
            << Wrap(R"({ "name": "S", "type": "String", "maxLength": 65536, "value": )" + Q(QByteArray(65536, 'x')) + " }")
            << QByteArray("S") << QString(65536, 'x');
        QTest::newRow("a condition chain of 16 links") << ConditionChain(16) << QByteArray("F16") << "false";
        QTest::newRow("selectors selecting selectors 16 deep") << SelectorChain(16) << QByteArray("S16") << "A";
        QTest::newRow("a write that affects 1024 features") << Fan(1024) << QByteArray("F1023") << "false";
        QTest::newRow("10000 features")
            << Wrap(Join(10000, [](std::string& out, int i) { out += R"({ "name": "F)" + S(i) + R"(", "type": "Integer", "value": )" + S(i) + " }"; }))
            << QByteArray("F9999") << "9999";
        QTest::newRow("brackets and escaped quotes inside a text are no nesting")
            << Wrap(R"({ "name": "I", "type": "Integer", "value": 1 })",
                    ", \"comment\": " + Q(EscapedQuote + QByteArray(100, '[') + EscapedQuote + QByteArray(100, '{')))
            << QByteArray("I") << "1";
        QTest::newRow("an input signal whose phase is the 64-bit minimum")
            << Wrap(R"({ "name": "B", "type": "Boolean" })", R"(, "simulation": { "liveNotifyIntervalMs": 3600000,
                      "inputSignals": { "Line0": { "periodUs": 9223372036854775807, "highUs": 9223372036854775806,
                                                   "phaseUs": -9223372036854775808 } } })")
            << QByteArray("B") << "false";
    }

    void loadsWhatACameraMayNeed()
    {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, feature);
        QFETCH(QString, value);
        std::string error;
        const auto camera = SimCamera::FromJson(json.toStdString(), &error, SimOptions{false});
        QVERIFY2(camera, error.c_str());
        const KelCPP::FeaturePtr f = TestSupport::FindFeature(*camera, feature.constData());
        QVERIFY(f);
        QCOMPARE(TestSupport::ValueText(f), value);
    }

    // The lists the simulator notifies from, now from one bounded walk per
    // feature: `moved` what a selector moves to another entry, `affected`
    // everything else a write reaches. Names in file order.
    void writesReachWhatTheyAffect_data()
    {
        QTest::addColumn<QString>("feature");
        QTest::addColumn<QStringList>("moved");
        QTest::addColumn<QStringList>("affected");
        QTest::newRow("a selector moves what it selects, also through a selected selector and a condition naming it")
            << "Outer" << QStringList{"Inner", "Value", "Gated"} << QStringList{"Named", "Watcher"};
        QTest::newRow("a selected selector moves only its own") << "Inner" << QStringList{"Value"} << QStringList{"Named", "Watcher"};
        QTest::newRow("features naming each other reach each other, not themselves") << "Named" << QStringList{} << QStringList{"Watcher"};
        QTest::newRow("a feature nobody names reaches nothing") << "Gated" << QStringList{} << QStringList{};
    }

    void writesReachWhatTheyAffect()
    {
        QFETCH(QString, feature);
        QFETCH(QStringList, moved);
        QFETCH(QStringList, affected);
        const QByteArray json = Wrap(R"(
            { "name": "Outer", "type": "Enumeration", "entries": ["A", "B"] },
            { "name": "Named", "type": "Boolean", "availableWhen": { "Value": 0, "Watcher": false } },
            { "name": "Inner", "type": "Enumeration", "entries": ["A", "B"], "selectedBy": "Outer" },
            { "name": "Value", "type": "Integer", "selectedBy": "Inner" },
            { "name": "Gated", "type": "Boolean", "selectedBy": "Outer", "writableWhen": { "Outer": "B" } },
            { "name": "Watcher", "type": "Boolean", "writableWhen": { "Named": true } })");
        Description desc;
        std::string error;
        QVERIFY2(ParseDescription(json.toStdString(), desc, error), error.c_str());
        const auto names = [&](const std::vector<int>& list) {
            QStringList out;
            for (int f : list)
                out << QString::fromStdString(desc.features[f].name);
            return out;
        };
        const FeatureDef& def = desc.features[desc.Find(feature.toStdString())];
        QCOMPARE(names(def.moved), moved);
        QCOMPARE(names(def.affected), affected);
    }

    void squareWavesAtTheExtremes_data()
    {
        QTest::addColumn<qint64>("period");
        QTest::addColumn<qint64>("high");
        QTest::addColumn<qint64>("phase");
        QTest::addColumn<qint64>("time");
        const qint64 max = INT64_MAX;
        const qint64 min = INT64_MIN;
        QTest::newRow("a phase at the 64-bit minimum") << qint64(1000) << qint64(300) << min << qint64(0);
        QTest::newRow("a time at the 64-bit maximum, the next edge beyond it") << qint64(1000) << qint64(300) << qint64(0) << max;
        QTest::newRow("a time and phase at opposite limits") << qint64(7) << qint64(3) << min << max;
    }

    void squareWavesAtTheExtremes()
    {
        QFETCH(qint64, period);
        QFETCH(qint64, high);
        QFETCH(qint64, phase);
        QFETCH(qint64, time);
        InputSignal s;
        s.constant = false;
        s.periodUs = period;
        s.highUs = high;
        s.phaseUs = phase;
        const auto [level, next] = WaveOracle(s, time);
        QCOMPARE(s.LevelAt(time), level);
        QCOMPARE(s.NextEdgeAfter(time), next);
    }

    void filesThatAreNoDescription_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a directory") << "directory" << "not a regular file (a directory)";
        QTest::newRow("a FIFO, which would wait for a writer") << "fifo" << "not a regular file (a FIFO)";
        QTest::newRow("/dev/zero, which never ends") << "/dev/zero" << "not a regular file (a device)";
        QTest::newRow("a file one byte over 16 MiB") << "large" << "larger than 16 MiB";
        QTest::newRow("a file that is not there") << "missing" << "cannot open the file (No such file or directory)";
    }

    void filesThatAreNoDescription()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = Make(kind);
        QVERIFY(!path.isEmpty());
        std::string error;
        QVERIFY(!SimCamera::FromFile(path.toStdString(), &error, SimOptions{false}));
        QVERIFY2(QString::fromStdString(error).startsWith(path + ": "), error.c_str());
        CheckRefusal(QString::fromStdString(error).mid(path.size()), reason);
    }

    // The viewer reports a refused camera on one line and exits with 2.
    void viewerRefusesWithOneLine()
    {
        const QString path = Make("fifo");
        QProcess viewer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", scratch.path()); // private, so Qt does not complain
        viewer.setProcessEnvironment(environment);
        viewer.start(qEnvironmentVariable("KEL_RUNTIME_DIR") + "/camera-viewer", {"--check", "--camera", path});
        QVERIFY(viewer.waitForFinished(120000));
        const QString err = QString::fromLocal8Bit(viewer.readAllStandardError());
        QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(viewer.exitCode(), 2);
        QVERIFY2(err.startsWith("camera-viewer: " + path + ": ") && err.count('\n') == 1, qPrintable(err));
        CheckRefusal(err.trimmed(), "not a regular file (a FIFO)");
    }

private:
    QTemporaryDir scratch;

    // A file of the kind named, in the scratch folder (or a system path).
    QString Make(const QString& kind)
    {
        if (kind.startsWith('/'))
            return kind;
        const QString path = scratch.filePath(kind);
        if (QFileInfo::exists(path) || kind == "missing")
            return path;
        if (kind == "directory")
            return QDir().mkpath(path) ? path : QString();
        if (kind == "fifo")
            return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        if (kind == "large") // sparse: no need to write 16 MiB
            return file.resize(Limits::FileBytes + 1) ? path : QString();
        return {};
    }
};

QTEST_MAIN(TestDescriptionLimits)
#include "tst_descriptionlimits.moc"
