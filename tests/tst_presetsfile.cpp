#include "presets/presetsfile.h"

#include "presetview.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QString Generic = QStringLiteral("AdvTrigger_Presets.json");

// A camera of the vendor; a null family leaves out DeviceFamilyName.
QByteArray Description(const QString& family)
{
    QString json = R"({ "format": 1, "features": [ %1
      { "name": "DeviceVendorName", "type": "String", "access": "RO", "value": "Brennix Vision Systems" },
      { "name": "TriggerSelector", "type": "Enumeration", "entries": [ "FrameStart" ] },
      { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": [ "Off", "On" ] } ] })";
    const QString familyFeature = R"({ "name": "DeviceFamilyName", "type": "String", "access": "RO", "value": "%1" },)";
    return json.arg(family.isNull() ? QString() : familyFeature.arg(family)).toUtf8();
}

// A presets file offering one preset named after the file.
QByteArray FileNamedPreset(const QString& name)
{
    return QString(R"({"#presets": ["%1"], "%1": {"#tooltip": "from %1", "TriggerMode": {"#value": "On"}}})").arg(name).toUtf8();
}

QStringList warnings;
void CaptureWarning(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg)
        warnings << message;
}

} // namespace

class TestPresetsFile : public QObject
{
    Q_OBJECT

private slots:
    void location_data();
    void location();
    void read_data();
    void read();
};

void TestPresetsFile::location_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QStringList>("offered");

    const QString vistaPro = "AdvTrigger_VistaPro_Presets.json";
    QTest::newRow("family file, its blanks removed") << "Vista Pro" << QStringList{vistaPro, Generic} << "" << QStringList{vistaPro};
    QTest::newRow("no family file: the generic one")
        << "Vista Pro" << QStringList{Generic, "AdvTrigger_Vista Pro_Presets.json"} << "" << QStringList{Generic};
    QTest::newRow("a broken family file is still the one read") << "Vista Pro" << QStringList{Generic} << vistaPro << QStringList();
    QTest::newRow("only blanks go, case and other characters stay")
        << " vista-Pro 2 " << QStringList{"AdvTrigger_vista-Pro2_Presets.json", "AdvTrigger_VistaPro2_Presets.json", Generic}
        << "" << QStringList{"AdvTrigger_vista-Pro2_Presets.json"};
    QTest::newRow("no family name: two underscores")
        << QString() << QStringList{"AdvTrigger__Presets.json", Generic} << "" << QStringList{"AdvTrigger__Presets.json"};
    QTest::newRow("broken generic file") << "Vista Pro" << QStringList() << Generic << QStringList();
    QTest::newRow("no presets file at all") << "Vista Pro" << QStringList() << "" << QStringList();
}

// Also what LoadPresets puts into an entry, and that the page stays usable
// with an empty box.
void TestPresetsFile::location()
{
    QFETCH(QString, family);
    QFETCH(QStringList, files);
    QFETCH(QString, broken);
    QFETCH(QStringList, offered);

    PresetsDir dir;
    for (const QString& file : files)
        dir.Write(file, FileNamedPreset(file));
    if (!broken.isEmpty())
        dir.Write(broken, FileNamedPreset(broken).left(40));
    auto camera = TestSupport::CameraFromJson(Description(family));
    QVERIFY(camera);
    PresetView view(FeaturesOf(*camera), dir.Path());

    QCOMPARE(view.PresetNames(), offered);
    for (int i = 0; i < offered.size(); ++i) {
        QVERIFY(view.presetBox->itemIcon(i).isNull());
        const QVariantMap body{{"TriggerMode", QVariantMap{{"#value", "On"}}}};
        QCOMPARE(view.presetBox->itemData(i).toMap(), body);
        QCOMPARE(view.presetBox->itemData(i, Qt::ToolTipRole).toString(),
                 "<b>" + offered[i] + "</b><br>from " + offered[i]
                     + "<br>Settings:<blockquote><b>TriggerMode</b>: On<br></blockquote>\n");
    }
    QCOMPARE(view.presetBox->currentIndex(), -1);

    view.modeBox->setCurrentText("On");
    QCOMPARE(view.Manager()->GetStringValue("TriggerMode"), QString("On"));
    QCOMPARE(view.presetBox->currentIndex(), -1); // no "Custom" to switch to
}

void TestPresetsFile::read_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("warning"); // its beginning; %1 is the application folder
    QTest::addColumn<QString>("tooltip"); // of the first preset, when not null
    auto row = [](const char* name, const QByteArray& content, const QStringList& offered, const QString& warning = "",
                  const QString& tooltip = QString()) { QTest::newRow(name) << content << offered << warning << tooltip; };
    auto preset = [&](const char* name, const QByteArray& body, const QString& tooltip) {
        row(name, R"({"#presets": ["P"], "P": )" + body + "}", {"P"}, "", tooltip);
    };
    auto settings = [](const QString& tip, const QString& lines) {
        return "<b>P</b><br>" + tip + "<br>Settings:<blockquote>" + lines + "</blockquote>\n";
    };

    row("missing file", QByteArray(), {}, "WARN: Couldn't open file with presets: '%1'");
    row("invalid JSON", R"({"#presets": ["A"], "A": {})", {}, "JSON parse error: '");
    row("root is an array", R"(["A", {"A": {}}])", {});
    row("#presets missing", R"({"A": {}})", {});
    row("#presets not an array", R"({"#presets": "A", "A": {}})", {});
    row("#presets order, not file order", R"({"B": {}, "#presets": ["B", "A"], "A": {}})", {"B", "A"});
    row("a name listed twice gives two entries", R"({"#presets": ["A", "A"], "A": {}})", {"A", "A"});
    row("a root member not listed is not offered", R"({"#presets": ["A"], "A": {}, "B": {"X": {"#value": 1}}})", {"A"});
    row("listed names without an object skipped", R"({"#presets": ["A", "B", "C", "D", "E"], "A": [], "B": "x", "C": {}, "D": null})", {"C"});
    row("a name that is no string names the empty key", R"({"#presets": [7, true], "": {}, "7": {}})", {"", ""});

    preset("empty body: the bold name and a line break", "{}", "<b>P</b><br>");
    preset("only #tooltip: no settings block", R"({"#tooltip": "From <i>Line1</i>"})", "<b>P</b><br>From <i>Line1</i>");
    preset("#execute first, then each feature with #value first",
           R"({"TriggerSelector": {"TriggerMode": "On", "#value": "<all>"}, "#tooltip": "From line 1", "#execute": "TriggerSoftware"})",
           settings("From line 1", "<i> Execute: TriggerSoftware</i><br><b>TriggerSelector</b>: &lt;all&gt;<br>TriggerMode: On<br>"));
    preset("values escaped, names and #execute taken as markup", R"({"#execute": "<u>Run</u>", "Lut<1>": {"#value": "a<b>", "Gain<2>": "<max>"}})",
           settings("", "<i> Execute: <u>Run</u></i><br><b>Lut<1></b>: a&lt;b&gt;<br>Gain<2>: &lt;max&gt;<br>"));
    preset("numbers and booleans as text", R"({"ExposureTime": {"#value": 1500.5}, "PtpEnable": {"#value": true}, "TriggerDelay": {"x": 20}})",
           settings("", "<b>ExposureTime</b>: 1500.5<br><b>PtpEnable</b>: true<br>x: 20<br>"));
    preset("upper case sorts before lower case", R"({"b": {"#value": "1"}, "B": {"#value": "2"}})",
           settings("", "<b>B</b>: 2<br><b>b</b>: 1<br>"));
    preset("list form and plain values not shown",
           R"({"#tooltip": "T", "LineSelector": [{"#value": "Line1", "LineMode": "Output"}], "ExposureTime": 5})", "<b>P</b><br>T");
}

void TestPresetsFile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, warning);
    QFETCH(QString, tooltip);

    PresetsDir dir;
    if (!content.isNull())
        dir.Write(Generic, content);
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(CaptureWarning);
    const QList<PresetEntry> presets = PresetsFile::Read(dir.File(Generic), dir.Path());
    qInstallMessageHandler(previous);

    QStringList names;
    for (const PresetEntry& preset : presets)
        names << preset.name;
    QTEST(names, "offered");
    QCOMPARE(warnings.size(), warning.isEmpty() ? 0 : 1);
    if (!warning.isEmpty())
        QVERIFY2(warnings[0].startsWith(warning.arg(dir.Path())), qPrintable(warnings[0]));
    if (!tooltip.isNull()) {
        QCOMPARE(presets[0].toolTip, tooltip);
        QJsonObject body = QJsonDocument::fromJson(content).object().value("P").toObject();
        body.remove("#tooltip");
        QCOMPARE(presets[0].body, body.toVariantMap());
    }
}

QTEST_MAIN(TestPresetsFile)
#include "tst_presetsfile.moc"
