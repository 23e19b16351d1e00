// How many times the page reaches the camera's device. On a network camera
// each access costs about a millisecond, so these counts are the page's
// speed; they are exact, and a change in them is a change in behaviour to
// look at. (Times belong to the benchmarks in bench/.)

#include "bench/pagerig.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLabel>

using KelCPP::Sim::Op;

class TestAccessCounts : public QObject
{
    Q_OBJECT

    std::unique_ptr<PageRig> rig;

    std::uint64_t Counted(const std::function<void()>& action)
    {
        const std::uint64_t before = rig->Accesses();
        action();
        return rig->Accesses() - before;
    }
    QString Selected(const char* selector)
    {
        return TestSupport::ValueText(TestSupport::FindFeature(*rig->camera, selector));
    }

private slots:
    void init()
    {
        rig = std::make_unique<PageRig>(TestSupport::CameraPath("full.json").toStdString());
    }
    void cleanup() { rig.reset(); }

    void showingThePage()
    {
        QCOMPARE(Counted([this] { rig->ShowPage(); }), std::uint64_t(115));
        // The first tick re-reads everything observed, then the page is idle.
        QCOMPARE(rig->Settle(1), 2);
    }

    // With nothing changing, a tick reads the line levels, all in one.
    void idleTickReadsOnlyTheLineLevels()
    {
        rig->ShowPage();
        rig->Settle(1);
        for (int tick = 0; tick < 3; ++tick) {
            rig->Deliver();
            QCOMPARE(Counted([this] { rig->Tick(); }), std::uint64_t(1));
        }
        QCOMPARE(rig->camera->CallCount("LineStatusAll", Op::GetValue) > 0, true);
        // The table's build, then its first refresh and the selector put back.
        QCOMPARE(rig->camera->CallCount("LineSelector", Op::SetValue), std::uint64_t(6 + 6 + 1));
    }

    // A line level that changed costs no walk over the lines.
    void ledsFollowOneRead()
    {
        rig->ShowPage();
        rig->Settle(1);
        rig->camera->SetLineLevel("Line0", false);
        rig->camera->SetLineLevel("Line1", true);
        rig->Deliver();
        QCOMPARE(Counted([this] { rig->Tick(); }), std::uint64_t(1));
        QVERIFY(rig->page->findChild<QLabel*>("lblLine1_LineStatus")->isEnabled());
        QVERIFY(!rig->page->findChild<QLabel*>("lblLine0_LineStatus")->isEnabled());
    }

    // An edit in the table selects its line; the refresh that follows walks
    // the lines once, and its own selector writes bring no further work.
    void ownSelectorWritesDoNotComeBack()
    {
        rig->ShowPage();
        rig->Settle(1);
        rig->page->findChild<QComboBox*>("cmbLine4_LineMode")->setCurrentText("Output");
        rig->Deliver();
        rig->Tick(); // the line features really changed: one walk
        QCOMPARE(rig->Settle(1), 1);
        QCOMPARE(Selected("LineSelector"), QString("Line4"));
    }

    // A selector the user moves brings the widgets of what it selects along.
    void selectorMoveRefreshesItsFollowers()
    {
        rig->ShowPage();
        rig->Settle(1);
        TestSupport::FindFeature(*rig->camera, "TriggerSelector")->SetValue("AcquisitionStart");
        TestSupport::FindFeature(*rig->camera, "TriggerMode")->SetValue("On");
        TestSupport::FindFeature(*rig->camera, "TriggerSelector")->SetValue("FrameStart");
        rig->Settle(1);
        auto* selector = rig->page->findChild<QComboBox*>("cmbTriggerSelector");
        auto* mode = rig->page->findChild<QComboBox*>("cmbTriggerMode");
        QCOMPARE(mode->currentText(), QString("Off"));
        selector->setCurrentText("AcquisitionStart");
        QCOMPARE(rig->Settle(1), 2);
        QCOMPARE(mode->currentText(), QString("On"));
    }

    // A preset costs each write, its read-back and the status tree's walk.
    void presets_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<int>("accesses");
        QTest::newRow("Custom: the status tree only") << "Custom" << 33;
        // Turn Off All clears LineInverter on each of the six lines: four accesses each.
        QTest::newRow("Turn Off All") << "Turn Off All" << 201;
        QTest::newRow("Hardware Trigger (Line0), after Turn Off All") << "Hardware Trigger (Line0)" << 265;
        QTest::newRow("Reset All: a command") << "Reset All" << 37;
    }
    void presets()
    {
        QFETCH(QString, preset);
        rig->ShowPage();
        rig->LoadPresetsFrom(qEnvironmentVariable("KEL_RUNTIME_DIR"));
        rig->Settle(1);
        QTEST(int(Counted([&] { rig->SelectPreset(preset); })), "accesses");
        QVERIFY(rig->Settle(1) <= 3);
    }
};

QTEST_MAIN(TestAccessCounts)
#include "tst_accesscounts.moc"
