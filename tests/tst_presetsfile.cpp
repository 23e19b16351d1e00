#include "presets/presetsfile.h"

#include "presetview.h"
#include "testsupport.h"

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
        PresetsDir dir;
        if (!content.isNull())
            dir.Write(Generic, content);
        const QList<PresetEntry> presets = PresetsFile::Read(dir.File(Generic), dir.Path());
        QStringList names;
        for (const PresetEntry& preset : presets)
            names << preset.name;
        QTEST(names, "offered");
        QVERIFY(tooltip.isNull() || presets[0].toolTip == tooltip);
    }
};

void TestPresetsFile::read_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("tooltip"); // of the first preset, when not null
    auto row = [](const char* name, const QByteArray& content, const QStringList& offered, const QString& tooltip = QString()) {
        QTest::newRow(name) << content << offered << tooltip;
    };
    auto preset = [&](const char* name, const QByteArray& body, const QString& settings, const QString& tip = "") {
        row(name, R"({"#presets": ["P"], "P": )" + body + "}", {"P"},
            "<b>P</b><br>" + tip + (settings.isEmpty() ? "" : "<br>Settings:<blockquote>" + settings + "</blockquote>\n"));
    };
    row("missing file", QByteArray(), {});
    row("invalid JSON", R"({"#presets": ["A"], "A": {})", {});
    row("root is an array", R"(["A", {"A": {}}])", {});
    row("#presets not an array", R"({"#presets": "A", "A": {}})", {});
    row("#presets order, not file order; a name listed twice gives two entries",
        R"({"B": {}, "#presets": ["B", "A", "B"], "A": {}, "C": {}})", {"B", "A", "B"});
    row("listed names without an object skipped", R"({"#presets": ["A", "B", "C", "D", "E"], "A": [], "B": "x", "C": {}, "D": null})", {"C"});
    row("a name that is no string names the empty key", R"({"#presets": [7, true], "": {}, "7": {}})", {"", ""});

    preset("empty body: the bold name and a line break", "{}", "");
    preset("only #tooltip: no settings block", R"({"#tooltip": "From <i>Line1</i>"})", "", "From <i>Line1</i>");
    preset("#execute first, then each feature with #value first",
           R"({"TriggerSelector": {"TriggerMode": "On", "#value": "<all>"}, "#tooltip": "T", "#execute": "TriggerSoftware"})",
           "<i> Execute: TriggerSoftware</i><br><b>TriggerSelector</b>: &lt;all&gt;<br>TriggerMode: On<br>", "T");
    preset("values escaped, names and #execute taken as markup", R"({"#execute": "<u>Run</u>", "Lut<1>": {"#value": "a<b>", "Gain<2>": "<max>"}})",
           "<i> Execute: <u>Run</u></i><br><b>Lut<1></b>: a&lt;b&gt;<br>Gain<2>: &lt;max&gt;<br>");
    preset("numbers and booleans as text, upper case before lower case",
           R"({"b": {"#value": 1500.5}, "B": {"#value": true, "x": 20}})", "<b>B</b>: true<br>x: 20<br><b>b</b>: 1500.5<br>");
    preset("list form and plain values not shown", R"({"#tooltip": "T", "L": [{"#value": "Line1", "M": "O"}], "E": 5})", "", "T");
}

QTEST_MAIN(TestPresetsFile)
#include "tst_presetsfile.moc"
