// The viewer's signal strip and image view, over a trace and frames made up here.

#include "viewer/framemarkedtrace.h"
#include "viewer/imageview.h"
#include "viewer/timelineview.h"

#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <thread>

namespace {

constexpr std::int64_t Ms = 1000000;
constexpr std::int64_t Us = 1000;
constexpr std::int64_t Now = 10000 * Ms;

// A trace frozen at `Now`: what it holds is set by the test.
class FakeTrace : public KelCPP::SignalTrace
{
public:
    std::vector<KelCPP::SignalInfo> list;
    std::vector<KelCPP::SignalEdge> edges;
    std::vector<KelCPP::SignalWave> waves;
    std::vector<std::int64_t> samples;
    bool sampled = false;
    std::int64_t oldest = 0;
    mutable int reads = 0;
    mutable std::int64_t lastFrom = 0, lastTo = 0;

    std::uint32_t Add(const char* name, KelCPP::KelSignalKindType kind = KelCPP::KelSignalLevel)
    {
        list.push_back({name, kind});
        return std::uint32_t(list.size() - 1);
    }
    // High for `highNs` of every `periodNs`, rising first at `fromNs`.
    void Pwm(std::uint32_t signal, std::int64_t periodNs, std::int64_t highNs, std::int64_t fromNs, std::int64_t toNs)
    {
        for (std::int64_t t = fromNs; t < toNs; t += periodNs)
            edges.insert(edges.end(), {{t, signal, true}, {t + highNs, signal, false}});
        std::stable_sort(edges.begin(), edges.end(), [](auto& a, auto& b) { return a.timeNs < b.timeNs; });
    }

    bool IsSampled() const override { return sampled; }
    KelCPP::KelErrorType GetSignals(std::vector<KelCPP::SignalInfo>& out) const override
    {
        out = list;
        return KelCPP::KelError::Success;
    }
    KelCPP::KelErrorType GetNowNs(std::int64_t& nowNs) const override
    {
        nowNs = Now;
        return KelCPP::KelError::Success;
    }
    KelCPP::KelErrorType Read(std::int64_t fromNs, std::int64_t toNs, KelCPP::SignalTraceData& data) const override
    {
        ++reads;
        lastFrom = fromNs;
        lastTo = toNs;
        data = {};
        data.fromNs = fromNs;
        data.toNs = std::min(toNs, Now);
        data.oldestNs = oldest;
        data.initial.assign(list.size(), 0);
        for (const KelCPP::SignalEdge& edge : edges) {
            if (edge.timeNs < fromNs && list[edge.signal].kind == KelCPP::KelSignalLevel)
                data.initial[edge.signal] = edge.level;
            else if (edge.timeNs >= fromNs && edge.timeNs <= data.toNs)
                data.edges.push_back(edge);
        }
        data.waves = waves;
        for (std::int64_t t : samples) {
            if (t >= fromNs && t <= data.toNs)
                data.sampleTimesNs.push_back(t);
        }
        return KelCPP::KelError::Success;
    }
};

// Line0: 1 kHz at 25 % as recorded edges from 1 s on; Line1: the same as a
// closed-form stretch; Line2: one pulse; FrameTrigger: 10 Hz.
std::shared_ptr<FakeTrace> PwmTrace()
{
    auto trace = std::make_shared<FakeTrace>();
    const auto line0 = trace->Add("Line0");
    const auto line1 = trace->Add("Line1");
    const auto line2 = trace->Add("Line2");
    const auto trigger = trace->Add("FrameTrigger", KelCPP::KelSignalEvent);
    trace->Pwm(line0, Ms, 250 * Us, 1000 * Ms, Now);
    trace->waves.push_back({line1, 0, Now, Ms, 1000 * Ms, 250 * Us});
    trace->Pwm(line2, 10000 * Ms, 3 * Ms, 5000 * Ms, 5001 * Ms);
    for (std::int64_t t = 0; t < Now; t += 100 * Ms)
        trace->edges.push_back({t + 3100 * Us, trigger, true});
    std::stable_sort(trace->edges.begin(), trace->edges.end(), [](auto& a, auto& b) { return a.timeNs < b.timeNs; });
    return trace;
}

Timeline::TraceWindow WindowOf(const FakeTrace& trace)
{
    KelCPP::SignalTraceData data;
    trace.Read(0, Now, data);
    return Timeline::TraceWindow(trace.list, data, trace.sampled);
}

KelCPP::FramePtr MonoFrame(std::uint64_t id, std::uint32_t width, std::uint32_t height,
                           KelCPP::KelPixelFormatType format = KelCPP::KelPixelFormatMono8, std::size_t cut = 0)
{
    auto frame = std::make_shared<KelCPP::Frame>();
    frame->id = id;
    frame->width = width;
    frame->height = height;
    frame->pixelFormat = format;
    // Left half dark, right half bright: a swapped axis or a wrong stride shows.
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x)
            frame->data.push_back(x < width / 2 ? 40 : 220);
    }
    frame->data.resize(frame->data.size() - cut);
    frame->status = cut ? KelCPP::KelFrameIncomplete : KelCPP::KelFrameComplete;
    return frame;
}

} // namespace

Q_DECLARE_METATYPE(KelCPP::FramePtr)

class TestTimelineView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    // Every view starts with all rows shown, whatever a test before hid.
    void init() { QSettings().remove("Timeline/hiddenRows"); }

    void formatDuration_data()
    {
        QTest::addColumn<std::int64_t>("ns");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << std::int64_t(0) << "0 ns";
        QTest::newRow("below 100 ns: whole ns") << std::int64_t(99) << "99 ns";
        QTest::newRow("100 ns: µs") << std::int64_t(100) << "0.100 µs";
        QTest::newRow("just under 100 µs") << std::int64_t(99999) << "99.999 µs";
        QTest::newRow("100 µs: ms") << 100 * Us << "0.100 ms";
        QTest::newRow("high time of a 1 kHz 25 % PWM") << 250 * Us << "0.250 ms";
        QTest::newRow("rounded to three decimals") << std::int64_t(1234567) << "1.235 ms";
        QTest::newRow("just under 100 ms") << std::int64_t(99999000) << "99.999 ms";
        QTest::newRow("100 ms: s") << 100 * Ms << "0.100 s";
        QTest::newRow("the longest window") << 20000 * Ms << "20.000 s";
        QTest::newRow("negative keeps its sign and unit") << -250 * Us << "-0.250 ms";
    }

    void formatDuration()
    {
        QFETCH(std::int64_t, ns);
        QTEST(Timeline::formatDuration(ns), "text");
    }

    void nearestEdge_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<std::int64_t>("time");
        QTest::addColumn<std::int64_t>("edge"); // -1: none within 5 µs
        QTest::newRow("recorded, just after a rising edge") << 0 << 5000 * Ms + 3 * Us << 5000 * Ms;
        QTest::newRow("recorded, just before a falling edge") << 0 << 5000 * Ms + 248 * Us << 5000 * Ms + 250 * Us;
        QTest::newRow("recorded, mid-low") << 0 << 5000 * Ms + 600 * Us << std::int64_t(-1);
        QTest::newRow("closed form, just after a rising edge") << 1 << 5000 * Ms + 3 * Us << 5000 * Ms;
        QTest::newRow("closed form, just before a falling edge") << 1 << 5000 * Ms + 248 * Us << 5000 * Ms + 250 * Us;
        QTest::newRow("closed form, mid-low") << 1 << 5000 * Ms + 600 * Us << std::int64_t(-1);
        QTest::newRow("event") << 3 << 5103 * Ms + 97 * Us << 5103 * Ms + 100 * Us;
    }

    void nearestEdge()
    {
        QFETCH(int, row);
        QFETCH(std::int64_t, time);
        QFETCH(std::int64_t, edge);
        const auto found = WindowOf(*PwmTrace()).nearestEdge(row, time, 5 * Us);
        QCOMPARE(found.value_or(-1), edge);
    }

    void cycle_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<std::int64_t>("time");
        QTest::addColumn<bool>("found"); // a 1 ms period, high 0.25 ms
        QTest::newRow("recorded, on a rising edge") << 0 << 5000 * Ms << true;
        QTest::newRow("recorded, on a falling edge") << 0 << 5000 * Ms + 250 * Us << true;
        QTest::newRow("recorded, in the last unfinished cycle") << 0 << Now - 100 * Us << true;
        QTest::newRow("recorded, before the first rising edge") << 0 << 500 * Ms << true;
        QTest::newRow("closed form") << 1 << 5000 * Ms + 600 * Us << true;
        QTest::newRow("a single pulse") << 2 << 5000 * Ms << false;
        QTest::newRow("an event") << 3 << 5000 * Ms << false;
    }

    void cycle()
    {
        QFETCH(int, row);
        QFETCH(std::int64_t, time);
        QFETCH(bool, found);
        const auto cycle = WindowOf(*PwmTrace()).cycleAt(row, time);
        QCOMPARE(cycle.has_value(), found);
        if (found)
            QCOMPARE(Timeline::cycleText(*cycle), QString("period 1.000 ms, high 0.250 ms (25.0 %)"));
    }

    // Clicks near edges snap to them; A on a PWM reads its period and high
    // time, B adds Δt; a third click away from edges starts over at the click.
    // With a row above hidden, the click lands on the row drawn there.
    void cursorReadout_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("hide");
        QTest::newRow("recorded edges") << 0 << "";
        QTest::newRow("closed-form stretch") << 1 << "";
        QTest::newRow("closed-form stretch, the row above hidden") << 1 << "Line0";
    }

    void cursorReadout()
    {
        QFETCH(int, row);
        QFETCH(QString, hide);
        TimelineView view;
        view.resize(800, 300);
        view.setTrace(PwmTrace());
        view.setRowHidden(hide, true);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const std::int64_t rise = Now - 3 * Ms;
        view.zoomTo(rise - 200 * Us, rise + 2800 * Us);
        const int y = view.rowCenterY(row);
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(view.xForTime(rise) + 2, y));
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(view.xForTime(rise + Ms) - 3, y));
        QCOMPARE(view.cursorA().value_or(-1), rise);
        QCOMPARE(view.cursorB().value_or(-1), rise + Ms);
        QVERIFY2(view.readoutText().contains("Δt 1.000 ms"), qPrintable(view.readoutText()));
        const QString name = view.shownWindow().row(row).name;
        QVERIFY2(view.readoutText().contains(name + ": period 1.000 ms, high 0.250 ms"), qPrintable(view.readoutText()));
        view.setRowHidden(name, true);
        QVERIFY2(!view.readoutText().contains(name), qPrintable(view.readoutText()));
        view.setRowHidden(name, false);

        const std::int64_t away = rise + 600 * Us;
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(view.xForTime(away), y));
        const std::int64_t pixel = (view.viewToNs() - view.viewFromNs()) / 500;
        QVERIFY(std::abs(view.cursorA().value_or(0) - away) <= pixel);
        QVERIFY(!view.cursorB());
    }

    void hiddenRows_data()
    {
        QTest::addColumn<QStringList>("hide");
        QTest::newRow("none") << QStringList();
        QTest::newRow("the top row") << QStringList{"Line0"};
        QTest::newRow("two in the middle") << QStringList{"Line1", "Line2"};
        QTest::newRow("the bottom row") << QStringList{"FrameTrigger"};
    }

    // Hidden rows take no room: the rows below move up into their places,
    // in order. What is hidden is hidden again in the next view; a name
    // another camera hid is left alone.
    void hiddenRows()
    {
        QFETCH(QStringList, hide);
        QSettings().setValue("Timeline/hiddenRows", QStringList{"Gone"});
        auto trace = PwmTrace();
        std::vector<int> places;
        {
            TimelineView view;
            view.resize(800, 300);
            view.setTrace(trace);
            for (int row = 0; row < 4; ++row)
                places.push_back(view.rowCenterY(row));
            for (const QString& name : hide)
                view.setRowHidden(name, true);
        }
        TimelineView view;
        view.resize(800, 300);
        view.setTrace(trace);
        std::size_t place = 0;
        for (int row = 0; row < 4; ++row) {
            const QString name = QString::fromStdString(trace->list[std::size_t(row)].name);
            QCOMPARE(view.isRowHidden(name), hide.contains(name));
            QCOMPARE(view.rowCenterY(row), hide.contains(name) ? -1 : places[place++]);
        }
        QVERIFY(!view.isRowHidden("Gone"));
        view.showAllRows();
        QCOMPARE(QSettings().value("Timeline/hiddenRows").toStringList(), QStringList{"Gone"});
    }

    void hideUnchangedRows_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QStringList>("flat");
        QTest::newRow("5 s: the pulse at 5 s is in") << 5 << QStringList{"Line3", "Timer0Active", "Counter0End"};
        QTest::newRow("2 s: the pulse is older") << 2 << QStringList{"Line2", "Line3", "Timer0Active", "Counter0End"};
    }

    // Rows that neither change nor run a closed-form stretch in the window
    // read, low, high or events, are hidden; the others stay.
    void hideUnchangedRows()
    {
        QFETCH(int, seconds);
        QFETCH(QStringList, flat);
        auto trace = PwmTrace();
        trace->Add("Line3");
        const auto timer = trace->Add("Timer0Active");
        trace->Add("Counter0End", KelCPP::KelSignalEvent);
        trace->edges.insert(trace->edges.begin(), {500 * Ms, timer, true});
        TimelineView view;
        view.setTrace(trace);
        view.setWindowSeconds(seconds);
        view.refresh();
        view.hideUnchangedRows();
        for (const KelCPP::SignalInfo& info : trace->list) {
            const QString name = QString::fromStdString(info.name);
            QVERIFY2(view.isRowHidden(name) == flat.contains(name), qPrintable(name));
        }
    }

    // A right click on the names opens the row menu; in the plot it clears
    // the cursors and opens nothing.
    void rowMenu()
    {
        TimelineView view;
        view.resize(800, 300);
        view.setTrace(PwmTrace());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QPoint onNames(view.xForTime(view.viewFromNs()) - 10, view.rowCenterY(1));
        QContextMenuEvent event(QContextMenuEvent::Mouse, onNames, view.mapToGlobal(onNames));
        QApplication::sendEvent(&view, &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QStringList checked;
        for (QAction* action : menu->actions()) {
            if (action->isChecked())
                checked << action->text();
        }
        QCOMPARE(checked, QStringList({"Line0", "Line1", "Line2", "FrameTrigger"}));
        menu->actions().at(1)->trigger();
        QVERIFY(view.isRowHidden("Line1"));
        menu->close();

        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(view.xForTime(Now - Ms), view.rowCenterY(0)));
        QVERIFY(view.cursorA());
        const QPoint onPlot(view.xForTime(Now - Ms), view.rowCenterY(0));
        QContextMenuEvent inPlot(QContextMenuEvent::Mouse, onPlot, view.mapToGlobal(onPlot));
        QApplication::sendEvent(&view, &inPlot);
        QTest::mouseClick(&view, Qt::RightButton, {}, onPlot);
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(!view.cursorA());
    }

    void sampledTrace_data()
    {
        QTest::addColumn<bool>("sampled");
        QTest::addColumn<std::int64_t>("sampleGap");
        QTest::addColumn<QString>("notice");
        QTest::newRow("sampled at 100 Hz") << true << 10 * Ms << "Sampled at 100 Hz";
        QTest::newRow("sampled at 20 Hz") << true << 50 * Ms << "Sampled at 20 Hz";
        QTest::newRow("every edge recorded") << false << std::int64_t(0) << "";
    }

    // A sampled trace says so where the user looks, with its rate.
    void sampledTrace()
    {
        QFETCH(bool, sampled);
        QFETCH(std::int64_t, sampleGap);
        QFETCH(QString, notice);
        auto trace = std::make_shared<FakeTrace>();
        trace->sampled = sampled;
        const auto line = trace->Add("Line0");
        for (std::int64_t t = 0; sampleGap && t < Now; t += sampleGap) {
            trace->samples.push_back(t);
            if (t % (200 * Ms) == 0)
                trace->edges.push_back({t, line, (t / (200 * Ms)) % 2 == 0});
        }
        TimelineView view;
        view.setTrace(trace);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto* label = view.findChild<QLabel*>("timelineNotice");
        QTRY_VERIFY(trace->reads > 0);
        QCOMPARE(label->isVisible(), !notice.isEmpty());
        QCOMPARE(label->text().left(notice.size()), notice);
        QCOMPARE(view.shownWindow().isSampled(), sampled);
    }

    void stopsReading_data()
    {
        QTest::addColumn<bool>("pause"); // else hidden
        QTest::newRow("paused") << true;
        QTest::newRow("hidden") << false;
    }

    // Paused or hidden, the trace is left alone and what was read stays.
    void stopsReading()
    {
        QFETCH(bool, pause);
        auto trace = PwmTrace();
        TimelineView view;
        view.setTrace(trace);
        view.show();
        QTRY_VERIFY(trace->reads >= 2);
        pause ? view.setPaused(true) : view.hide();
        const int before = trace->reads;
        // Several of the view's refresh periods go by.
        QTimer probe;
        QSignalSpy ticks(&probe, &QTimer::timeout);
        probe.start(33);
        QTRY_VERIFY(ticks.count() >= 5);
        QCOMPARE(trace->reads, before);
        QCOMPARE(view.shownWindow().rowCount(), 4);
        pause ? view.setPaused(false) : view.show();
        QTRY_VERIFY(trace->reads > before);
    }

    void windowLength_data()
    {
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("seconds");
        QTest::newRow("below the shortest") << 1 << 2;
        QTest::newRow("in range") << 7 << 7;
        QTest::newRow("above the longest") << 25 << 20;
    }

    // The window read is the one set, within 2-20 s; the wheel zooms down to
    // 10 µs and out to the window, Fit returns to the whole window.
    void windowLength()
    {
        QFETCH(int, asked);
        QFETCH(int, seconds);
        auto trace = PwmTrace();
        TimelineView view;
        QCOMPARE(view.windowSeconds(), TimelineView::DefaultWindowSeconds);
        view.setTrace(trace);
        view.setWindowSeconds(asked);
        QCOMPARE(view.windowSeconds(), seconds);
        view.refresh();
        QCOMPARE(trace->lastTo - trace->lastFrom, seconds * 1000 * Ms);
        QCOMPARE(view.viewToNs() - view.viewFromNs(), seconds * 1000 * Ms);

        view.resize(800, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QPoint at(view.xForTime(Now - 1000 * Ms), view.rowCenterY(0));
        for (int notches : {100, -100}) {
            QWheelEvent wheel(at, view.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&view, &wheel);
            QCOMPARE(view.viewToNs() - view.viewFromNs(), notches > 0 ? TimelineView::MinSpanNs : seconds * 1000 * Ms);
        }
        view.zoomTo(Now - 3 * Ms, Now - 2 * Ms);
        view.fit();
        QCOMPARE(view.viewToNs(), Now);
        QCOMPARE(view.viewToNs() - view.viewFromNs(), seconds * 1000 * Ms);
    }

    // Frames handed over from another thread faster than the GUI thread
    // looks: only the newest is shown.
    // Frames of the stream join a sampled trace as one more row, in time
    // order with the samples' changes; a frame stamped before the newest
    // (the camera's clock was reset) starts the row anew.
    void frameMarks()
    {
        auto base = std::make_shared<FakeTrace>();
        base->sampled = true;
        const auto line0 = base->Add("Line0");
        base->edges = {{2000 * Ms, line0, true}, {4000 * Ms, line0, false}};
        FrameMarkedTrace marked(base, 3);
        for (std::int64_t t : {500, 1000, 3000, 5000, 9000})
            marked.AddFrame(t * Ms);

        std::vector<KelCPP::SignalInfo> list;
        QCOMPARE(marked.GetSignals(list), KelCPP::KelError::Success);
        QCOMPARE(int(list.size()), 2);
        QCOMPARE(list[1].kind, KelCPP::KelSignalEvent);
        QVERIFY(marked.IsSampled());

        // Each change as "name:ms"; empty when the read fails or loses a row.
        auto read = [&](std::int64_t from) {
            KelCPP::SignalTraceData data;
            if (marked.Read(from, Now, data) != KelCPP::KelError::Success || data.initial.size() != list.size())
                return QString();
            QStringList out;
            for (const auto& edge : data.edges)
                out << QString("%1:%2").arg(list[edge.signal].name.c_str()).arg(edge.timeNs / Ms);
            return out.join(' ');
        };
        // Three kept, the oldest two gone.
        QCOMPARE(read(0), QString("Line0:2000 Frames (stream):3000 Line0:4000 Frames (stream):5000 Frames (stream):9000"));
        QCOMPARE(read(4500 * Ms), QString("Frames (stream):5000 Frames (stream):9000"));
        marked.AddFrame(100 * Ms);
        QCOMPARE(read(0), QString("Frames (stream):100 Line0:2000 Line0:4000"));
    }

    void imageFromAnotherThread()
    {
        ImageView view;
        view.resize(320, 240);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy shown(&view, &ImageView::frameShown);
        std::thread camera([&view] {
            for (std::uint64_t id = 1; id <= 50; ++id)
                view.setFrame(MonoFrame(id, 64, 48));
        });
        camera.join();
        QVERIFY(shown.wait());
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.first().first().toULongLong(), quint64(50));
    }

    void imagePixels_data()
    {
        QTest::addColumn<bool>("actualSize");
        QTest::newRow("scaled to fit") << false;
        QTest::newRow("1:1") << true;
    }

    // The frame's pixels where the view says the image is, from the frame's
    // own bytes, which live as long as they are shown.
    void imagePixels()
    {
        QFETCH(bool, actualSize);
        ImageView view;
        view.resize(400, 300);
        view.setActualSize(actualSize);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy shown(&view, &ImageView::frameShown);
        KelCPP::FramePtr frame = MonoFrame(7, 64, 48);
        std::weak_ptr<const KelCPP::Frame> held = frame;
        view.setFrame(std::move(frame));
        QVERIFY(shown.wait());
        const QRect at = view.imageRect();
        QCOMPARE(actualSize, at.size() == QSize(64, 48));
        QVERIFY(std::abs(at.width() * 3 - at.height() * 4) <= 4);
        const QImage grab = view.grab().toImage();
        QCOMPARE(qGray(grab.pixel(at.left() + at.width() / 4, at.center().y())), 40);
        QCOMPARE(qGray(grab.pixel(at.left() + 3 * at.width() / 4, at.center().y())), 220);
        QVERIFY(!held.expired());
        view.clear();
        QVERIFY(held.expired());
    }

    void imageText_data()
    {
        QTest::addColumn<KelCPP::FramePtr>("frame");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("no frame yet") << KelCPP::FramePtr() << "No image yet. Start acquisition to see frames." << false;
        QTest::newRow("complete Mono8") << MonoFrame(1, 8, 4) << "" << true;
        QTest::newRow("unknown pixel format") << MonoFrame(2, 8, 4, KelCPP::KelPixelFormatType(0x02100005))
                                              << "Pixel format not shown" << false;
        QTest::newRow("incomplete, data cut short") << MonoFrame(3, 8, 4, KelCPP::KelPixelFormatMono8, 13)
                                                    << "Incomplete frame" << true;
        QTest::newRow("no pixels") << MonoFrame(4, 0, 0) << "No image in this frame" << false;
    }

    void imageText()
    {
        QFETCH(KelCPP::FramePtr, frame);
        QFETCH(bool, drawn);
        ImageView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy shown(&view, &ImageView::frameShown);
        view.setFrame(frame);
        if (frame)
            QVERIFY(shown.wait());
        QTEST(view.statusText(), "text");
        QCOMPARE(!view.imageRect().isEmpty(), drawn);
    }
};

QTEST_MAIN(TestTimelineView)
#include "tst_timelineview.moc"
