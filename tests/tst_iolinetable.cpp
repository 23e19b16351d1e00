// The I/O line table, on the page (four columns) and in a six-column table
// like the advanced dialog's.

#include "views/advtriggerwidget.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QTableWidget>
#include <QtTest>

using KelCPP::Sim::SimCamera;

namespace {

// Three lines with every line feature; the debounce duration is optional.
QByteArray DebounceCamera(bool withDuration)
{
    return QByteArray(R"({ "format": 1, "features": [
  { "name": "DeviceVendorName", "type": "String", "value": "Brennix" },
  { "name": "TriggerSelector", "type": "Enumeration", "entries": [ "FrameStart" ] },
  { "name": "LineSelector", "type": "Enumeration", "entries": [ "Line0", "Line1", "Line2" ] },
  { "name": "LineMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": [ "Input", "Output" ] },
  { "name": "LineInverter", "type": "Boolean", "selectedBy": "LineSelector" },
  { "name": "LineSource", "type": "Enumeration", "selectedBy": "LineSelector", "entries": [ "Off", "Timer0Active" ] },
  { "name": "LineStatus", "type": "Boolean", "access": "RO", "selectedBy": "LineSelector" },
  { "name": "LineDebounceMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": [ "Off", "On" ] })")
        + (withDuration ? R"(, { "name": "LineDebounceDuration", "type": "Float", "selectedBy": "LineSelector",
    "max": 5000, "inc": 0.25, "value": 1, "values": { "Line1": 0, "Line2": 150 } })" : "") + " ] }";
}

CameraFeatureList Features(const SimCamera& camera)
{
    KelCPP::FeaturePtrVector features;
    camera.GetFeatures(features);
    return CameraFeatureList::create(features.begin(), features.end());
}

QString SelectedLine(const SimCamera& camera)
{
    KelCPP::FeaturePtr selector;
    std::string line;
    camera.GetFeatureByName("LineSelector", selector);
    selector->GetValue(line);
    return QString::fromStdString(line);
}

QStringList Lines(const SimCamera& camera)
{
    QStringList lines;
    for (const auto& line : camera.LineNames())
        lines << QString::fromStdString(line);
    return lines;
}

// The notifications reach the page, then one timer tick.
void Refresh(SimCamera& camera, QWidget* page)
{
    camera.WaitForNotifications();
    QCoreApplication::sendPostedEvents();
    QVERIFY(QMetaObject::invokeMethod(page, "updateTimer"));
}

QStringList warnings;
void CaptureWarning(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg)
        warnings << message;
}

} // namespace

class TestIoLineTable : public QObject
{
    Q_OBJECT

private slots:
    void columnsFollowTheCamera_data()
    {
        QTest::addColumn<QByteArray>("json"); // empty: the bundled camera `file`
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("columns"); // 4: the page's own table
        QTest::addColumn<QList<int>>("hidden");
        QTest::newRow("page, full camera") << QByteArray() << "full.json" << 4 << QList<int>();
        QTest::newRow("page, no inverter") << QByteArray() << "basic.json" << 4 << QList<int>{ 1 };
        QTest::newRow("dialog, full camera") << QByteArray() << "full.json" << 6 << QList<int>();
        QTest::newRow("dialog, no inverter or debounce") << QByteArray() << "basic.json" << 6 << QList<int>{ 1, 4, 5 };
        QTest::newRow("dialog, debounce mode only") << DebounceCamera(false) << QString() << 6 << QList<int>{ 5 };
    }

    void columnsFollowTheCamera()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, file);
        QFETCH(int, columns);
        QFETCH(QList<int>, hidden);

        const auto camera = json.isEmpty() ? TestSupport::OpenCamera(file) : TestSupport::CameraFromJson(json);
        QWidget host;
        auto* page = new AdvTriggerWidget(Features(*camera), &host);
        QTableWidget dialogTable(0, 6);
        QTableWidget* table = &dialogTable;
        if (columns == 4) {
            host.show();
            table = page->findChild<QTableWidget*>("tableWidget");
            QStringList headers;
            for (int column = 0; column < table->columnCount(); ++column)
                headers << table->horizontalHeaderItem(column)->text();
            QCOMPARE(headers, QStringList({ "I/O Mode", "Invert", "I/O Line Source", "Status" }));
        } else {
            page->BuildLineTable(table);
        }

        const QStringList lines = Lines(*camera);
        const QStringList names = { "cmb%1_LineMode", "chk%1_LineInverter", "cmb%1_LineSource",
                                    "lbl%1_LineStatus", "cmb%1_LineDebounceMode", "spb%1_LineDebounceDuration" };
        QCOMPARE(table->rowCount(), lines.size());
        for (int row = 0; row < lines.size(); ++row) {
            QCOMPARE(table->verticalHeaderItem(row)->text(), lines.at(row));
            for (int column = 0; column < columns; ++column) {
                QCOMPARE(table->isColumnHidden(column), hidden.contains(column));
                QWidget* cell = table->cellWidget(row, column);
                QCOMPARE(!cell, hidden.contains(column));
                if (cell) // the inverter's check box sits in an unnamed holder
                    QCOMPARE((column == 1 ? cell->findChild<QCheckBox*>() : cell)->objectName(),
                             names.at(column).arg(lines.at(row)));
            }
        }
        QVERIFY(!table->findChild<QLabel*>("lblLine0_LineStatus")->pixmap(Qt::ReturnByValue).isNull());
    }

    void ledsFollowLineStatus()
    {
        const auto camera = TestSupport::OpenCamera("full.json");
        camera->SetLineLevel("Line0", true);
        camera->SetLineLevel("Line1", false);
        QWidget host;
        auto* page = new AdvTriggerWidget(Features(*camera), &host);
        host.show();
        QVERIFY(QMetaObject::invokeMethod(page, "updateTimer")); // the refresh every show asks for
        auto led = [&](const QString& line) { return page->findChild<QLabel*>("lbl" + line + "_LineStatus"); };
        QVERIFY(led("Line0")->isEnabled() && !led("Line1")->isEnabled());

        camera->SetLineLevel("Line0", false);
        camera->SetLineLevel("Line1", true);
        Refresh(*camera, page);
        for (const QString& line : Lines(*camera))
            QCOMPARE(led(line)->isEnabled(), line == "Line1");
    }

    void cellEditWritesItsLine_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("enabledByRefresh"); // a cell the edit makes writable
        QTest::newRow("Line4 becomes an output") << "cmbLine4_LineMode" << "Output" << "cmbLine4_LineSource";
        QTest::newRow("Line2 driven by a user output") << "cmbLine2_LineSource" << "UserOutput1" << QString();
        QTest::newRow("Line1 inverted") << "chkLine1_LineInverter" << "true" << QString();
    }

    void cellEditWritesItsLine()
    {
        QFETCH(QString, cell);
        QFETCH(QString, value);
        QFETCH(QString, enabledByRefresh);
        const QString line = cell.mid(3).section('_', 0, 0), feature = cell.section('_', 1);

        const auto camera = TestSupport::OpenCamera("full.json");
        QWidget host;
        auto* page = new AdvTriggerWidget(Features(*camera), &host);
        host.show();
        QVERIFY(QMetaObject::invokeMethod(page, "updateTimer"));
        auto* dependent = page->findChild<QWidget*>(enabledByRefresh);
        QVERIFY(enabledByRefresh.isEmpty() || !dependent->isEnabled());

        camera->SetCallLogEnabled(true);
        if (auto* box = page->findChild<QComboBox*>(cell))
            box->setCurrentText(value);
        else
            page->findChild<QCheckBox*>(cell)->setChecked(true);
        const auto edit = camera->CallLog().back();
        QCOMPARE(QString::fromStdString(edit.feature + " " + edit.value + " " + edit.context),
                 feature + " " + value + " LineSelector=" + line);
        QCOMPARE(edit.result, KelCPP::KelError::Success);
        QCOMPARE(SelectedLine(*camera), line);

        // The refresh walks every line and puts the selector back where it was.
        camera->ClearCallLog();
        Refresh(*camera, page);
        QStringList selected;
        for (const auto& record : camera->CallLog())
            if (record.feature == "LineSelector")
                selected << QString::fromStdString(record.value);
        QCOMPARE(selected, Lines(*camera) << line);
        QVERIFY(enabledByRefresh.isEmpty() || dependent->isEnabled());
    }

    void parseCellName_data()
    {
        QTest::addColumn<QString>("objectName");
        QTest::addColumn<QString>("feature");
        QTest::addColumn<QString>("selected");
        QTest::newRow("no underscore") << "cmbLine0" << QString() << "Line0";
        QTest::newRow("cell of Line2") << "cmbLine2_LineMode" << "LineMode" << "Line2";
        QTest::newRow("line the camera lacks") << "cmbLine9_LineMode" << QString() << "Line0";
    }

    void parseCellName()
    {
        QFETCH(QString, objectName);
        QFETCH(QString, feature);
        QFETCH(QString, selected);
        const auto camera = TestSupport::OpenCamera("full.json");
        AdvTriggerWidget page(Features(*camera), nullptr);
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(CaptureWarning);
        QCOMPARE(page.ParseCellName(objectName), feature);
        qInstallMessageHandler(previous);
        QCOMPARE(warnings, objectName.contains('_') ? QStringList()
                                                    : QStringList{ "Error: cannot parse object name of a table cell widget." });
        QCOMPARE(SelectedLine(*camera), selected);
    }

    void debounceDurationSteps_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<double>("entered"); // what the spin box reports
        QTest::addColumn<double>("written");
        QTest::newRow("step up from 1 doubles") << "Line0" << 1.25 << 2.0;
        QTest::newRow("step down from 1 halves") << "Line0" << 0.75 << 0.5;
        QTest::newRow("typed larger number only doubles") << "Line0" << 1000.0 << 2.0;
        QTest::newRow("up from 0 writes the increment") << "Line1" << 3.0 << 0.25;
    }

    void debounceDurationSteps()
    {
        QFETCH(QString, line);
        QFETCH(double, entered);
        QFETCH(double, written);
        const auto camera = TestSupport::CameraFromJson(DebounceCamera(true));
        AdvTriggerWidget page(Features(*camera), nullptr);
        QTableWidget table(0, 6);
        page.BuildLineTable(&table);
        // The range is set before the value, so a long duration is not clipped.
        QCOMPARE(table.findChild<QDoubleSpinBox*>("spbLine2_LineDebounceDuration")->value(), 150.0);

        auto* box = table.findChild<QDoubleSpinBox*>("spb" + line + "_LineDebounceDuration");
        QCOMPARE(box->decimals(), 6);
        camera->SetCallLogEnabled(true);
        box->setValue(entered);
        const auto edit = camera->CallLog().back();
        QCOMPARE(QString::fromStdString(edit.feature + " " + edit.context),
                 "LineDebounceDuration LineSelector=" + line);
        QCOMPARE(QString::fromStdString(edit.value).toDouble(), written);
        QCOMPARE(box->value(), written);
    }
};

QTEST_MAIN(TestIoLineTable)
#include "tst_iolinetable.moc"
