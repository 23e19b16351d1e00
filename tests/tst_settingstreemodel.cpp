#include "presets/settingstreemodel.h"

#include "features/featuremanager.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QtTest>

namespace {

// Counter1 is the only active counter; the timer has no governing feature, so
// its entry counts as active; no trigger is on. "Locked" locks the trigger
// selector, as streaming does on a camera.
const QByteArray description = R"({ "format": 1, "features": [
  { "name": "CounterSelector", "type": "Enumeration", "entries": [ "Counter0", "Counter1" ] },
  { "name": "CounterEventSource", "type": "Enumeration", "selectedBy": "CounterSelector", "entries": [ "Off", "Line0" ],
    "values": { "Counter1": "Line0" } },
  { "name": "CounterDuration", "type": "Integer", "selectedBy": "CounterSelector", "max": 100000, "value": 3 },
  { "name": "CounterValue", "type": "Integer", "selectedBy": "CounterSelector", "volatile": true },
  { "name": "TimerSelector", "type": "Enumeration", "entries": [ "Timer0" ] },
  { "name": "TimerDuration", "type": "Float", "selectedBy": "TimerSelector", "value": 1.5 },
  { "name": "Locked", "type": "Boolean" },
  { "name": "TriggerSelector", "type": "Enumeration", "entries": [ "FrameStart", "AcquisitionStart" ],
    "writableWhen": { "Locked": false } },
  { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": [ "Off", "On" ] },
  { "name": "TriggerSource", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": [ "Software", "Line0" ], "value": "Line0" },
  { "name": "TriggerCount", "type": "Integer", "selectedBy": "TriggerSelector", "max": 10000000, "value": 5 },
  { "name": "TriggerArmed", "type": "Boolean", "selectedBy": "TriggerSelector", "value": true },
  { "name": "TriggerStatus", "type": "String", "access": "RO", "selectedBy": "TriggerSelector" },
  { "name": "TriggerSoftware", "type": "Command", "selectedBy": "TriggerSelector" } ] })";

// A group row names its entry and shows its governing feature's value.
const QStringList counterAndTimer = { "**Counter1 | Line0", "  CounterEventSource = Line0", "  CounterDuration = 3",
                                      "  CounterValue = 0", "**Timer0 | ", "  TimerDuration = 1.5" };

// Read-only and command features never get a row.
QStringList TriggerGroup(const QString& entry, const QString& source = "Line0", const QString& count = "5")
{
    return { "**Trigger " + entry + " | On", "  TriggerMode = On", "  TriggerSource = " + source, "  TriggerCount = " + count,
             "  TriggerArmed = 1" };
}

// The tree as text: "**" marks a bold row.
QStringList Dump(SettingsTreeModel& model)
{
    QStringList lines;
    const QStandardItemModel& items = *model.ItemModel();
    for (int row = 0; row < items.rowCount(); ++row) {
        const QStandardItem* group = items.item(row, 0);
        lines << (group->font().bold() ? "**" : "") + group->text() + " | " + items.item(row, 1)->text();
        for (int child = 0; child < group->rowCount(); ++child)
            lines << "  " + group->child(child, 0)->text() + " = " + group->child(child, 1)->text();
    }
    return lines;
}

} // namespace

class TestSettingsTreeModel : public QObject
{
    Q_OBJECT
    std::shared_ptr<KelCPP::Sim::SimCamera> camera;
    std::unique_ptr<FeatureManager> manager;

    void Write(const char* name, const QString& value) { QCOMPARE(manager->SetValue(name, value), value); }
    QString Selectors() { return manager->GetStringValue("CounterSelector") + ' ' + manager->GetStringValue("TriggerSelector"); }

private slots:
    void init()
    {
        QVERIFY(camera = TestSupport::CameraFromJson(description));
        manager.reset(new FeatureManager(TestSupport::WrapFeatures(*camera)));
    }

    void triggerModeAddsAndRemovesItsGroupAndReloadRebuilds()
    {
        SettingsTreeModel model(manager.get(), nullptr);
        QAbstractItemModelTester tester(model.ItemModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(Dump(model), counterAndTimer + QStringList{ "Trigger | inactive" });
        QCOMPARE(Selectors(), QString("Counter0 FrameStart")); // written back after the walk

        Write("TriggerMode", "On");
        model.OnFeatureChanged("TriggerMode", "On");
        model.OnFeatureChanged("TriggerMode", "On"); // already shown: only its value
        model.OnFeatureChanged("TriggerSource", "Software");
        QCOMPARE(Dump(model), counterAndTimer + TriggerGroup("FrameStart", "Software"));
        Write("TriggerMode", "Off");
        model.OnFeatureChanged("TriggerMode", "Off");
        QCOMPARE(Dump(model), counterAndTimer + QStringList{ "Trigger | inactive" });

        Write("TriggerMode", "On");
        QCOMPARE(manager->SetValue("TriggerCount", 1000000.0), 1000000.0);
        model.Reload();
        QCOMPARE(Dump(model), counterAndTimer + TriggerGroup("FrameStart", "Line0", "1e+06"));
        QCOMPARE(Selectors(), QString("Counter0 FrameStart"));
    }

    // A reload updates the rows that stay where they are (a view keeps them
    // expanded) and puts the groups back in selector and entry order.
    void reloadUpdatesInPlace()
    {
        SettingsTreeModel model(manager.get(), nullptr);
        QAbstractItemModelTester tester(model.ItemModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QStandardItem* counter1 = model.ItemModel()->item(0);
        Write("CounterEventSource", "Line0"); // Counter0, the selected one, becomes active
        model.OnFeatureChanged("CounterEventSource", "Line0");
        // A group that appears later stands where a rebuild would put it.
        const QStringList counter0 = { "**Counter0 | Line0", "  CounterEventSource = Line0", "  CounterDuration = 3",
                                       "  CounterValue = 0" };
        QCOMPARE(Dump(model), counter0 + counterAndTimer + QStringList{ "Trigger | inactive" });
        Write("CounterSelector", "Counter1");
        QCOMPARE(manager->SetValue("CounterDuration", 9.0), 9.0); // unheard of by the model
        Write("CounterSelector", "Counter0");

        model.Reload();
        QStringList counters = counterAndTimer;
        counters[2] = "  CounterDuration = 9";
        QCOMPARE(Dump(model), counter0 + counters + QStringList{ "Trigger | inactive" });
        QCOMPARE(model.ItemModel()->item(1), counter1);
    }

    // While the camera streams it will not switch a locked selector: the
    // walk keeps the rows it cannot read instead of showing the selected
    // entry under every name.
    void lockedSelectorKeepsItsRows()
    {
        for (const char* entry : { "AcquisitionStart", "FrameStart" }) {
            Write("TriggerSelector", entry);
            Write("TriggerMode", "On");
        }
        SettingsTreeModel model(manager.get(), nullptr);
        Write("TriggerSelector", "AcquisitionStart");
        Write("TriggerMode", "Off"); // unheard of: the tree still shows it on
        Write("TriggerSelector", "FrameStart");
        QCOMPARE(manager->SetValue("Locked", 1.0), 1.0);
        model.Reload();
        QCOMPARE(Dump(model), counterAndTimer + TriggerGroup("FrameStart") + TriggerGroup("AcquisitionStart"));
        QCOMPARE(Selectors(), QString("Counter0 FrameStart"));

        QCOMPARE(manager->SetValue("Locked", 0.0), 0.0);
        model.Reload();
        QCOMPARE(Dump(model), counterAndTimer + TriggerGroup("FrameStart"));
    }

    // Numbers as the fields beside the tree write them.
    void numbersInTheUsersLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
        QCOMPARE(manager->SetValue("TimerDuration", 12345.5), 12345.5);
        SettingsTreeModel model(manager.get(), nullptr);
        QVERIFY(Dump(model).contains("  TimerDuration = 12345,5")); // and no thousands sign
    }

    // A counter that is not selected still shows its count.
    void otherEntriesLiveValuesAreRead()
    {
        SettingsTreeModel model(manager.get(), nullptr);
        QCOMPARE(Dump(model).mid(0, 4), QStringList({ "**Counter1 | Line0", "  CounterEventSource = Line0",
                                                      "  CounterDuration = 3", "  CounterValue = 0" }));
        Write("CounterSelector", "Counter1");
        QCOMPARE(manager->SetValue("CounterValue", 42.0), 42.0); // as if counted
        Write("CounterSelector", "Counter0");
        model.RefreshOtherEntries();
        QCOMPARE(Dump(model).at(3), QString("  CounterValue = 42"));
        QCOMPARE(Selectors(), QString("Counter0 FrameStart"));
    }

    void selectorChangeOnlyMovesLaterValues()
    {
        for (const char* entry : { "AcquisitionStart", "FrameStart" }) {
            Write("TriggerSelector", entry);
            Write("TriggerMode", "On");
        }
        SettingsTreeModel model(manager.get(), nullptr);
        QAbstractItemModelTester tester(model.ItemModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QStringList both = counterAndTimer + TriggerGroup("FrameStart") + TriggerGroup("AcquisitionStart");
        QCOMPARE(Dump(model), both);

        // The selected entry is read from the camera, not taken from the value.
        Write("TriggerSelector", "AcquisitionStart");
        model.OnFeatureChanged("TriggerSelector", "FrameStart");
        QCOMPARE(Dump(model), both);
        model.OnFeatureChanged("TriggerCount", 7.0);
        QCOMPARE(Dump(model), counterAndTimer + TriggerGroup("FrameStart") + TriggerGroup("AcquisitionStart", "Line0", "7"));
    }
};

QTEST_MAIN(TestSettingsTreeModel)
#include "tst_settingstreemodel.moc"
