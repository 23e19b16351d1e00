#ifndef VIEWER_TIMELINEVIEW_H
#define VIEWER_TIMELINEVIEW_H

#include "kelcpp/signaltrace.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QContextMenuEvent;
class QLabel;
class QSpacerItem;
class QSpinBox;
class QTimer;
class QToolButton;

namespace Timeline {

// A duration as people read it: in the largest unit in which it is at least
// 0.1, with three decimals ("1.000 ms", "0.250 ms", "99.500 µs", "1.500 s");
// below 100 ns in whole nanoseconds, the clock's resolution ("42 ns").
// Negative durations keep their sign. Decimal point as the default QLocale's.
QString formatDuration(std::int64_t ns);

// One signal's part of a read window.
struct Row {
    QString name;
    bool event = false;
    bool initial = false;          // level at the window's start
    std::vector<std::int64_t> times;     // this signal's changes, in time order
    std::vector<quint8> levels;    // the level from each change on (events: 1)
    std::vector<KelCPP::SignalWave> waves; // by fromNs, none overlapping
};

// One cycle of a periodic level signal: from a rising edge to the next.
struct Cycle {
    std::int64_t periodNs = 0;
    std::int64_t highNs = 0;
};
// "period 1.000 ms, high 0.250 ms (25.0 %)"
QString cycleText(const Cycle& cycle);

// A read window of a trace split by signal, with the look-ups the view draws
// and measures with. Times are on the camera's clock, in ns.
class TraceWindow
{
public:
    TraceWindow() = default;
    TraceWindow(const std::vector<KelCPP::SignalInfo>& list, const KelCPP::SignalTraceData& data, bool sampled);

    bool isEmpty() const { return rows.empty(); }
    std::int64_t fromNs() const { return from; }
    std::int64_t toNs() const { return to; }
    // Before this nothing is known: the window asked for more than the record holds.
    std::int64_t knownFromNs() const { return knownFrom; }
    bool isSampled() const { return sampled; }
    // From the median gap between samples; 0 when edges are recorded or too few samples came.
    double sampleRateHz() const { return rateHz; }
    const std::vector<std::int64_t>& sampleTimes() const { return samples; }
    int rowCount() const { return int(rows.size()); }
    const Row& row(int index) const { return rows[std::size_t(index)]; }

    bool levelAt(int row, std::int64_t timeNs) const;
    // The change of that signal (recorded, or from a closed-form stretch)
    // nearest to `timeNs`, if one lies within `maxDistanceNs`.
    std::optional<std::int64_t> nearestEdge(int row, std::int64_t timeNs, std::int64_t maxDistanceNs) const;
    // The cycle of a level signal around `timeNs`: from the last rising edge
    // at or before it to the next; at either end of the record the nearest
    // whole cycle. None when the signal has no two rising edges with a
    // falling one between, or is an event.
    std::optional<Cycle> cycleAt(int row, std::int64_t timeNs) const;

private:
    // Level at `timeNs` outside closed-form stretches; `lastWave` is the
    // last stretch that started at or before it, if any.
    bool levelByEdges(const Row& row, std::int64_t timeNs, const KelCPP::SignalWave* lastWave) const;

    std::vector<Row> rows;
    std::vector<std::int64_t> samples;
    std::int64_t from = 0, to = 0, knownFrom = 0;
    bool sampled = false;
    double rateHz = 0;
};

} // namespace Timeline

// A small logic analyser: one row per signal of a camera's SignalTrace, the
// last 2-20 s, read about 30 times a second while shown and running. Zoom
// with the wheel, drag to pan, click near edges to place cursors A and B.
// Rows can be hidden (a right click on the names); hidden rows take no room,
// and the choice is kept by signal name in QSettings ("Timeline/hiddenRows").
// Rows are numbered as the signals of the trace and of shownWindow(), hidden
// or not.
class TimelineView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MinWindowSeconds = 2;
    static constexpr int MaxWindowSeconds = 20;
    static constexpr int DefaultWindowSeconds = 5;
    // The deepest zoom: 10 µs across the plot.
    static constexpr std::int64_t MinSpanNs = 10000;

    explicit TimelineView(QWidget* parent = nullptr);
    ~TimelineView() override;

    // GUI thread. Null shows that the camera offers none. Reads the signal
    // list once: it is fixed for the life of a trace.
    void setTrace(std::shared_ptr<KelCPP::SignalTrace> trace);
    std::shared_ptr<KelCPP::SignalTrace> trace() const { return source; }

    int windowSeconds() const { return windowS; }
    bool isPaused() const { return paused; }
    // What is drawn: the last window read.
    const Timeline::TraceWindow& shownWindow() const { return shown; }
    std::int64_t viewFromNs() const;
    std::int64_t viewToNs() const;
    // The horizontal position of a time in the current view, in this widget's
    // coordinates, and the vertical middle of a signal's row (-1 when hidden).
    int xForTime(std::int64_t timeNs) const;
    int rowCenterY(int row) const;
    // By signal name; a name the trace does not list is not hidden, and
    // hiding it does nothing.
    bool isRowHidden(const QString& name) const;
    std::optional<std::int64_t> cursorA() const { return cursorATime; }
    std::optional<std::int64_t> cursorB() const { return cursorBTime; }
    QString readoutText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    // Clamped to 2-20 s.
    void setWindowSeconds(int seconds);
    // Paused keeps what is shown and reads nothing until run again.
    void setPaused(bool on);
    // Back to the whole window, following the newest data.
    void fit();
    // Shows [fromNs, toNs] of the camera's clock, kept within the window and
    // at least MinSpanNs long; while running it keeps its distance to the
    // newest data.
    void zoomTo(std::int64_t fromNs, std::int64_t toNs);
    void clearCursors();
    // Each change is saved at once, so that the next start shows the same rows.
    void setRowHidden(const QString& name, bool hidden);
    void showAllRows();
    // Hides the rows that neither change nor run a closed-form stretch in the
    // window last read. Once, when asked: a row that starts changing later
    // stays hidden until shown again.
    void hideUnchangedRows();
    // Reads the window now (the timer does this while shown and running).
    void refresh();

signals:
    void windowSecondsChanged(int seconds);
    void pausedChanged(bool paused);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QRect plotRect() const;   // waveforms, right of the names, below the time axis
    int rowHeight() const;
    // The signal whose row is at `y`, or -1.
    int rowAt(int y) const;
    bool inNames(const QPoint& pos) const;
    bool rowHidden(int row) const { return rowSlot[std::size_t(row)] < 0; }
    // After hidden[] changed: the visible rows, their places, the name column.
    void updateRows();
    void saveHiddenRows() const;
    void showRowMenu(const QPoint& globalPos);
    double nsPerPixel() const;
    std::int64_t timeAtX(double x) const;
    std::int64_t windowNs() const { return std::int64_t(windowS) * 1000000000; }
    void clampView();
    void updatePlot();
    void updateTimer();
    void updateNotice();
    void updateReadout();
    void retranslate();
    void placeCursor(const QPoint& pos);
    // Where one paint puts what: worked out once per paint.
    struct Scale {
        QRect plot;
        int rowHeight = 1;
        double perPixel = 1; // ns
        std::int64_t viewFrom = 0, viewTo = 0;
        int column(std::int64_t timeNs) const; // from plot.left()
        int x(std::int64_t timeNs) const { return plot.left() + column(timeNs); }
        std::int64_t columnStart(int column) const; // the first ns in it
    };
    Scale currentScale() const;
    void paintAxis(QPainter& painter, const Scale& scale) const;
    void paintRow(QPainter& painter, const Scale& scale, int row, int top) const;
    void measureNames();

    std::shared_ptr<KelCPP::SignalTrace> source;
    std::vector<KelCPP::SignalInfo> signalList;
    bool sourceSampled = false;
    std::vector<bool> hidden;      // by signal
    std::vector<int> visibleRows;  // the signals shown, top to bottom
    std::vector<int> rowSlot;      // by signal: its place in visibleRows, -1 when hidden
    Timeline::TraceWindow shown;
    QString readError;

    int windowS = DefaultWindowSeconds;
    bool paused = false;
    // The view: its length, and how far its right end lies before the newest
    // data, so that a zoomed view keeps its place while data scrolls in.
    std::int64_t spanNs = std::int64_t(DefaultWindowSeconds) * 1000000000;
    std::int64_t endOffsetNs = 0;

    std::optional<std::int64_t> cursorATime, cursorBTime;
    int cursorARow = -1;
    std::optional<Timeline::Cycle> cursorACycle;

    QPoint pressPos;
    std::int64_t pressEndOffsetNs = 0;
    bool dragging = false;

    QTimer* timer;
    QLabel* windowLabel;
    QSpinBox* windowBox;
    QToolButton* pauseButton;
    QToolButton* fitButton;
    QLabel* notice;
    QLabel* readout;
    QSpacerItem* plotSpace;
    int namesWidth = 60; // the name column, from the widest name
};

#endif
