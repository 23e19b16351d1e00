#include "presets/presetsfile.h"

#include "presetview.h"
#include "testsupport.h"

#include <QToolTip>
#include <QtTest>

namespace {

const QString Generic = "AdvTrigger_Presets.json";

// A camera of the vendor; %1 is the DeviceFamilyName feature, if any.
const QString Description = R"({ "format": 1, "features": [ %1
  { "name": "DeviceVendorName", "type": "String", "value": "Brennix Vision Systems" },
  { "name": "TriggerMode", "type": "Enumeration", "entries": [ "Off", "On" ] } ] })";
const QString FamilyFeature = R"({ "name": "DeviceFamilyName", "type": "String", "access": "RO", "value": "%1" },)";

// A presets file offering one preset named after the file.
QByteArray FileNamedPreset(const QString& name)
{
    return QString(R"({"#presets": ["%1"], "%1": {"#tooltip": "from %1", "TriggerMode": {"#value": "On"}}})").arg(name).toUtf8();
}

} // namespace

class TestPresetsFile : public QObject
{
    Q_OBJECT

private slots:
    void location_data()
    {
        QTest::addColumn<QString>("family"); // null: no DeviceFamilyName
        QTest::addColumn<QStringList>("files"); // "!": a broken one, cut short; the first is read
        QTest::newRow("family file: only blanks go, case and other characters stay")
            << " vista-Pro 2 " << QStringList{"AdvTrigger_vista-Pro2_Presets.json", "AdvTrigger_VistaPro2_Presets.json", Generic};
        QTest::newRow("no family file: the generic one") << "Vista Pro" << QStringList{Generic, "AdvTrigger_Vista Pro_Presets.json"};
        QTest::newRow("a broken family file is still the one read") << "Vista Pro" << QStringList{"!AdvTrigger_VistaPro_Presets.json", Generic};
        QTest::newRow("no family name: two underscores") << QString() << QStringList{"AdvTrigger__Presets.json", Generic};
        QTest::newRow("no presets file at all") << "Vista Pro" << QStringList();
    }

    // Also what LoadPresets puts into an entry, and that the page stays
    // usable with an empty box.
    void location()
    {
        QFETCH(QString, family);
        QFETCH(QStringList, files);
        PresetsDir dir;
        for (const QString& file : files)
            dir.Write(QString(file).remove('!'), FileNamedPreset(file).chopped(file.startsWith('!') ? 3 : 0));
        auto camera = TestSupport::CameraFromJson(Description.arg(family.isNull() ? QString() : FamilyFeature.arg(family)).toUtf8());
        PresetView view(TestSupport::CameraFeatures(*camera), dir.Path());

        const QString offered = files.value(0).startsWith('!') ? QString() : files.value(0);
        QCOMPARE(view.presetBox->count(), offered.isEmpty() ? 0 : 1);
        QCOMPARE(view.presetBox->currentIndex(), -1);
        if (!offered.isEmpty()) {
            QCOMPARE(view.presetBox->itemText(0), offered);
            QCOMPARE(view.presetBox->itemData(0).toMap(), (QVariantMap{{"TriggerMode", QVariantMap{{"#value", "On"}}}}));
            QVERIFY(view.presetBox->itemData(0, Qt::ToolTipRole).toString().startsWith("<b>" + offered + "</b><br>from "));
            return;
        }
        view.modeBox->setCurrentText("On");
        QCOMPARE(view.Manager()->GetStringValue("TriggerMode"), QString("On"));
        QCOMPARE(view.presetBox->currentIndex(), -1); // no "Custom" to switch to
    }

    void read_data();

    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, tooltip);
        QFETCH(QStringList, problems);
        PresetsDir dir;
        if (!content.isNull())
            dir.Write(Generic, content);
        PresetsFileProblems found;
        const QList<PresetEntry> presets = PresetsFile::Read(dir.File(Generic), dir.Path(), &found);
        QStringList names;
        for (const PresetEntry& preset : presets) {
            names << preset.name;
            QVERIFY(!preset.body.contains("#optional"));
        }
        QTEST(names, "offered");
        QVERIFY(tooltip.isNull() || presets[0].toolTip == tooltip);
        QTEST(presets.value(0).optional, "optional");
        QCOMPARE((found.fatal.isEmpty() ? QStringList() : QStringList{found.fatal}) + found.skipped,
                 problems.replaceInStrings("%1", dir.File(Generic)));
    }

    void mistakesAreShown_data(); // out of line: moc cannot read the raw strings

    // They used to leave the box emptier than the file meant, without a
    // word. Now the box is marked: its tooltip says what is wrong, with
    // tooltips off as well, and the host's status line hears of it.
    void mistakesAreShown()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        PresetsDir dir;
        auto camera = TestSupport::CameraFromJson(Description.arg(QString()).toUtf8());
        PresetView view(TestSupport::CameraFeatures(*camera), dir.Path());
        QVERIFY(view.presetBox->toolTip().isEmpty()); // no file is no mistake

        dir.Write(Generic, content); // a dialog opened after the file was edited
        QSignalSpy status(&view, SIGNAL(CameraAccessFailed(QString)));
        view.LoadPresets(view.presetBox, dir.Path());
        message = message.arg(dir.File(Generic));
        QCOMPARE(status.count(), 1);
        QCOMPARE(status[0][0].toString(), message);
        view.show();
        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), view.presetBox->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(view.presetBox, &hover);
        QTRY_COMPARE(QToolTip::text(), message.toHtmlEscaped());
    }
};

void TestPresetsFile::read_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("tooltip"); // of the first preset, when not null
    QTest::addColumn<QStringList>("problems"); // %1: the file
    QTest::addColumn<QStringList>("optional"); // of the first preset
    auto row = [](const char* name, const QByteArray& content, const QStringList& offered, const QString& tooltip = QString(),
                  const QStringList& problems = {}, const QStringList& optional = {}) {
        QTest::newRow(name) << content << offered << tooltip << problems << optional;
    };
    auto preset = [&](const char* name, const QByteArray& body, const QString& settings, const QString& tip = "") {
        row(name, R"({"#presets": ["P"], "P": )" + body + "}", {"P"},
            "<b>P</b><br>" + tip + (settings.isEmpty() ? "" : "<br>Settings:<blockquote>" + settings + "</blockquote>\n"));
    };
    row("missing file", QByteArray(), {}, {}, {"%1: cannot be read: No such file or directory"});
    row("invalid JSON", R"({"#presets": ["A"], "A": {})", {}, {}, {"%1:1:28: unterminated object"});
    row("invalid JSON: line and column in characters", "{\"#presets\": [\"\xc3\x84\"],\n \"\xc3\x84\": {} x}", {}, {},
        {"%1:2:11: unterminated object"});
    row("root is an array", R"(["A", {"A": {}}])", {}, {}, {"%1: the file holds no JSON object"});
    row("#presets not an array", R"({"#presets": "A", "A": {}})", {}, {}, {"%1: no \"#presets\" list"});
    row("#presets order, not file order; a name listed twice gives two entries",
        R"({"B": {}, "#presets": ["B", "A", "B"], "A": {}, "C": {}})", {"B", "A", "B"});
    const QString skipped = R"("%2" is listed in "#presets" but has no object of that name)";
    row("listed names without an object skipped", R"({"#presets": ["A", "B", "C", "D", "E"], "A": [], "B": "x", "C": {}, "D": null})", {"C"},
        {}, {skipped.arg("A"), skipped.arg("B"), skipped.arg("D"), skipped.arg("E")});
    row("a name that is no string names the empty key", R"({"#presets": [7, true], "": {}, "7": {}})", {"", ""});

    preset("empty body: the bold name and a line break", "{}", "");
    preset("only #tooltip: no settings block", R"({"#tooltip": "From <i>Line1</i>"})", "", "From <i>Line1</i>");
    preset("#execute first, then each feature with #value first",
           R"({"TriggerSelector": {"TriggerMode": "On", "#value": "<all>"}, "#tooltip": "T", "#execute": "TriggerSoftware"})",
           "<i> Execute: TriggerSoftware</i><br><b>TriggerSelector</b>: &lt;all&gt;<br>TriggerMode: On<br>", "T");
    preset("values escaped but limits named, names and #execute taken as markup",
           R"({"#execute": "<u>Run</u>", "Lut<1>": {"#value": "a<b>", "Gain<2>": "<max>", "Gain<3>": "<min>"}})",
           "<i> Execute: <u>Run</u></i><br><b>Lut<1></b>: a&lt;b&gt;<br>Gain<2>: <i>maximum</i><br>Gain<3>: <i>minimum</i><br>");
    preset("numbers and booleans as text, upper case before lower case",
           R"({"b": {"#value": 1500.5}, "B": {"#value": true, "x": 20}})", "<b>B</b>: true<br>x: 20<br><b>b</b>: 1500.5<br>");
    preset("list form and plain values not shown", R"({"#tooltip": "T", "L": [{"#value": "Line1", "M": "O"}], "E": 5})", "", "T");
    row("#optional: neither shown nor written", R"({"#presets": ["P"], "P": {"#optional": ["A", 5, "B"], "#tooltip": "T"}})", {"P"},
        "<b>P</b><br>T", {}, {"A", "B"});
}

void TestPresetsFile::mistakesAreShown_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message"); // %1: the file
    QTest::newRow("syntax error") << QByteArray("{\n  \"#presets\": [\"A\"]\n  \"A\": {}\n}")
                                  << "No presets loaded: %1:3:4: unterminated object";
    QTest::newRow("a listed preset without its object") << QByteArray(R"({"#presets": ["A", "B"], "A": {}})")
                                                        << R"(Presets left out: "B" is listed in "#presets" but has no object of that name)";
}

QTEST_MAIN(TestPresetsFile)
#include "tst_presetsfile.moc"
