// The I/O line table, on the page (four columns) and in a six-column table
// like the advanced dialog's.

#include "views/advtriggerwidget.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QTableWidget>

using KelCPP::Sim::SimCamera;

namespace {

// Three lines with modes and debounce settings, and no inverter, source or status.
const QByteArray debounceCamera = R"({ "format": 1, "features": [
  { "name": "DeviceVendorName", "type": "String", "value": "Brennix" },
  { "name": "TriggerSelector", "type": "Enumeration", "entries": [ "FrameStart" ] },
  { "name": "LineSelector", "type": "Enumeration", "entries": [ "Line0", "Line1", "Line2" ] },
  { "name": "LineMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": [ "Input", "Output" ] },
  { "name": "LineDebounceMode", "type": "Enumeration", "selectedBy": "LineSelector", "entries": [ "Off", "On" ] },
  { "name": "LineDebounceDuration", "type": "Float", "selectedBy": "LineSelector",
    "max": 5000, "inc": 0.25, "value": 1, "values": { "Line1": 0, "Line2": 150 } } ] })";

QString SelectedLine(const SimCamera& camera)
{
    return TestSupport::ValueText(TestSupport::FindFeature(camera, "LineSelector"));
}

// The notifications reach the page, then one timer tick.
void Refresh(SimCamera& camera, QWidget* page)
{
    camera.WaitForNotifications();
    QCoreApplication::sendPostedEvents();
    QVERIFY(QMetaObject::invokeMethod(page, "updateTimer"));
}

} // namespace

class TestIoLineTable : public QObject
{
    Q_OBJECT

    std::shared_ptr<SimCamera> camera; // the full camera
    std::unique_ptr<QWidget> host;
    AdvTriggerWidget* page = nullptr; // shown in `host`, after the refresh every show asks for

private slots:
    void init()
    {
        camera = TestSupport::OpenCamera("full.json");
        host = std::make_unique<QWidget>();
        page = new AdvTriggerWidget(TestSupport::CameraFeatures(*camera), host.get());
        host->show();
        QVERIFY(QMetaObject::invokeMethod(page, "updateTimer"));
    }
    void cleanup() { host.reset(); }

    void columnsFollowTheCamera_data()
    {
        QTest::addColumn<QByteArray>("description"); // or a bundled camera's file
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<int>>("hidden");
        QTest::newRow("four columns: no debounce cells") << QByteArray("full.json") << 4 << QList<int>();
        QTest::newRow("six columns, no inverter or debounce") << QByteArray("basic.json") << 6 << QList<int>{1, 4, 5};
        QTest::newRow("six columns, debounce only") << debounceCamera << 6 << QList<int>{1, 2, 3};
    }

    void columnsFollowTheCamera()
    {
        QFETCH(QByteArray, description);
        QFETCH(int, columns);
        QFETCH(QList<int>, hidden);
        const auto other = description.endsWith(".json") ? TestSupport::OpenCamera(description) : TestSupport::CameraFromJson(description);
        AdvTriggerWidget otherPage(TestSupport::CameraFeatures(*other), nullptr);
        QTableWidget table(0, columns);
        otherPage.BuildLineTable(&table);
        const int rows = int(other->LineNames().size());
        const QString last = QString::fromStdString(other->LineNames().back());
        QCOMPARE(table.rowCount(), rows);
        QCOMPARE(table.verticalHeaderItem(rows - 1)->text(), last);
        // Cells only in shown columns, each named after its line and feature.
        QCOMPARE(table.findChildren<QWidget*>(QRegularExpression("^[a-z]{3}Line\\d_Line")).size(), rows * (columns - hidden.size()));
        const QStringList names = {"cmb%1_LineMode", "chk%1_LineInverter", "cmb%1_LineSource",
                                   "lbl%1_LineStatus", "cmb%1_LineDebounceMode", "spb%1_LineDebounceDuration"};
        for (int column = 0; column < columns; ++column) {
            QCOMPARE(table.isColumnHidden(column), hidden.contains(column));
            QWidget* cell = table.cellWidget(rows - 1, column);
            QCOMPARE(!cell, hidden.contains(column));
            if (cell) // the inverter's check box sits in an unnamed holder
                QCOMPARE((column == 1 ? cell->findChild<QCheckBox*>() : cell)->objectName(), names.at(column).arg(last));
        }
    }

    void ledsFollowLineStatus()
    {
        QVERIFY(!page->findChild<QLabel*>("lblLine0_LineStatus")->pixmap(Qt::ReturnByValue).isNull());
        for (const std::string lit : {"Line0", "Line1"}) {
            camera->SetLineLevel("Line0", lit == "Line0");
            camera->SetLineLevel("Line1", lit == "Line1");
            Refresh(*camera, page);
            for (const std::string& line : camera->LineNames())
                QCOMPARE(page->findChild<QLabel*>(QString::fromStdString("lbl" + line + "_LineStatus"))->isEnabled(), line == lit);
        }
    }

    void cellEditWritesItsLine_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("enabledByRefresh"); // a cell the edit makes writable
        QTest::newRow("Line4 becomes an output") << "cmbLine4_LineMode" << "Output" << "cmbLine4_LineSource";
        QTest::newRow("Line1 inverted") << "chkLine1_LineInverter" << "true" << QString();
    }

    void cellEditWritesItsLine()
    {
        QFETCH(QString, cell);
        QFETCH(QString, value);
        QFETCH(QString, enabledByRefresh);
        const QString line = cell.mid(3).section('_', 0, 0), feature = cell.section('_', 1);
        auto* dependent = page->findChild<QWidget*>(enabledByRefresh);
        QVERIFY(enabledByRefresh.isEmpty() || !dependent->isEnabled());

        camera->SetCallLogEnabled(true);
        if (auto* box = page->findChild<QComboBox*>(cell))
            box->setCurrentText(value);
        else
            page->findChild<QCheckBox*>(cell)->setChecked(true);
        const auto edit = camera->CallLog().back();
        QCOMPARE(QString::fromStdString(edit.feature + " " + edit.value + " " + edit.context), feature + " " + value + " LineSelector=" + line);
        QCOMPARE(SelectedLine(*camera), line);

        // The refresh walks every line and puts the selector back where it was.
        Refresh(*camera, page);
        QCOMPARE(SelectedLine(*camera), line);
        QVERIFY(enabledByRefresh.isEmpty() || dependent->isEnabled());

        // A cell name that gives no line of the camera is dropped, the selector left alone.
        QVERIFY(page->ParseCellName("cmbLine9_LineMode").isNull() && page->ParseCellName("cmbLine2").isNull());
        QCOMPARE(SelectedLine(*camera), line);
    }

    void debounceDurationSteps_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<double>("entered"); // what the spin box reports
        QTest::addColumn<double>("written");
        QTest::newRow("step up from 1 doubles") << "Line0" << 1.25 << 2.0;
        QTest::newRow("step down from 1 halves") << "Line0" << 0.75 << 0.5;
        QTest::newRow("up from 0 writes the increment") << "Line1" << 3.0 << 0.25;
    }

    void debounceDurationSteps()
    {
        QFETCH(QString, line);
        QFETCH(double, entered);
        QFETCH(double, written);
        const auto other = TestSupport::CameraFromJson(debounceCamera);
        AdvTriggerWidget otherPage(TestSupport::CameraFeatures(*other), nullptr);
        QTableWidget table(0, 6);
        otherPage.BuildLineTable(&table);
        // The range is set before the value, so a long duration is not clipped.
        QCOMPARE(table.findChild<QDoubleSpinBox*>("spbLine2_LineDebounceDuration")->value(), 150.0);

        auto* box = table.findChild<QDoubleSpinBox*>("spb" + line + "_LineDebounceDuration");
        other->SetCallLogEnabled(true);
        box->setValue(entered);
        const auto edit = other->CallLog().back();
        QCOMPARE(QString::fromStdString(edit.feature + " " + edit.context), "LineDebounceDuration LineSelector=" + line);
        QCOMPARE(QString::fromStdString(edit.value).toDouble(), written);
        QCOMPARE(box->value(), written);
    }
};

QTEST_MAIN(TestIoLineTable)
#include "tst_iolinetable.moc"
