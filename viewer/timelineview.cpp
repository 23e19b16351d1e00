#include "timelineview.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// About 30 reads a second: smooth scrolling, without reading the trace more
// often than anyone can see.
constexpr int RefreshMs = 33;
// A click this close to an edge lands on it.
constexpr int SnapPixels = 5;
// One wheel notch zooms by this factor.
constexpr double ZoomPerNotch = 0.8;
// A closed-form stretch whose period is narrower than this many pixels is
// drawn as a band: its edges could not be told apart anyway.
constexpr double MinPeriodPixels = 3;
// Where the hidden rows are remembered, by signal name.
const char* const SettingsGroup = "Timeline";
const char* const HiddenRowsKey = "hiddenRows";

const QColor LevelColor(0x2e, 0x7d, 0x32);
const QColor BandColor(0x97, 0xbe, 0x98); // LevelColor half on white
const QColor EventColor(0x6a, 0x1b, 0x9a);
const QColor CursorAColor(0x1e, 0x88, 0xe5);
const QColor CursorBColor(0xfb, 0x8c, 0x00);
const QColor UnknownColor(128, 128, 128, 70);

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

bool waveLevel(const KelCPP::SignalWave& wave, std::int64_t timeNs)
{
    const std::int64_t period = std::max<std::int64_t>(1, wave.periodNs);
    const std::int64_t phase = timeNs - wave.originNs - floorDiv(timeNs - wave.originNs, period) * period;
    return phase < wave.highNs;
}

// A wave whose high time is 0 or the whole period never changes.
bool waveToggles(const KelCPP::SignalWave& wave)
{
    return wave.highNs > 0 && wave.highNs < wave.periodNs;
}

QLocale numberLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

// A level waveform built left to right as rectangles, the raster engine's
// fastest primitive (an aliased 1-px line costs it far more per pixel).
// Edges in adjacent pixel columns make one solid block.
class Waveform
{
public:
    // `dashed`: horizontal runs drawn dashed, for levels known only at samples.
    Waveform(int yHigh, int yLow, bool dashed) : yHigh(yHigh), yLow(yLow), dashed(dashed) {}

    // The level at `x`, with a step there if it differs from the last.
    void at(int x, bool level)
    {
        if (!started) {
            segmentStart = x;
            current = level;
            started = true;
        } else if (level != current) {
            change(x, level, false);
        }
    }
    // Edges in column `x` that leave the level at `after`; `several` when
    // more than one fell there.
    void change(int x, bool after, bool several)
    {
        if (!several && after == current)
            return;
        if (runStart >= 0 && x <= runEnd + 1) {
            runEnd = x;
        } else {
            flush();
            horizontal(x);
            runStart = runEnd = x;
        }
        current = after;
    }
    void finish(int x)
    {
        flush();
        if (started)
            horizontal(x);
    }
    const QVector<QRect>& rectangles() const { return rects; }

private:
    void horizontal(int to)
    {
        const int y = current ? yHigh : yLow;
        if (!dashed) {
            rects << QRect(segmentStart, y, to - segmentStart + 1, 1);
            return;
        }
        for (int x = segmentStart; x <= to; x += 5)
            rects << QRect(x, y, std::min(3, to - x + 1), 1);
    }
    void flush()
    {
        if (runStart < 0)
            return;
        rects << QRect(runStart, yHigh, runEnd - runStart + 1, yLow - yHigh + 1);
        segmentStart = runEnd;
        runStart = -1;
    }

    int yHigh, yLow;
    bool dashed;
    QVector<QRect> rects;
    bool current = false;
    bool started = false;
    int segmentStart = 0;
    int runStart = -1, runEnd = -1; // columns with edges, next to each other
};

void fillRects(QPainter& painter, const QVector<QRect>& rects, const QBrush& brush)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(brush);
    painter.drawRects(rects);
}

} // namespace

namespace Timeline {

QString formatDuration(std::int64_t ns)
{
    const std::int64_t magnitude = ns < 0 ? -ns : ns;
    if (magnitude < 100)
        return QStringLiteral("%1 ns").arg(ns);
    const char* unit = "s";
    double divisor = 1e9;
    if (magnitude < 100000) {
        unit = "\u00b5s";
        divisor = 1e3;
    } else if (magnitude < 100000000) {
        unit = "ms";
        divisor = 1e6;
    }
    return numberLocale().toString(double(ns) / divisor, 'f', 3) + QLatin1Char(' ') + QString::fromUtf8(unit);
}

QString cycleText(const Cycle& cycle)
{
    const double duty = cycle.periodNs > 0 ? 100.0 * double(cycle.highNs) / double(cycle.periodNs) : 0;
    return QCoreApplication::translate("TimelineView", "period %1, high %2 (%3 %)")
        .arg(formatDuration(cycle.periodNs), formatDuration(cycle.highNs), numberLocale().toString(duty, 'f', 1));
}

TraceWindow::TraceWindow(const std::vector<KelCPP::SignalInfo>& list, const KelCPP::SignalTraceData& data,
                         bool isSampled)
    : samples(data.sampleTimesNs), from(data.fromNs), to(data.toNs),
      knownFrom(std::max(data.fromNs, data.oldestNs)), sampled(isSampled)
{
    rows.resize(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        rows[i].name = QString::fromStdString(list[i].name);
        rows[i].event = list[i].kind == KelCPP::KelSignalEvent;
        rows[i].initial = !rows[i].event && i < data.initial.size() && data.initial[i] != 0;
    }
    for (const KelCPP::SignalEdge& edge : data.edges) {
        if (edge.signal >= rows.size())
            continue;
        Row& row = rows[edge.signal];
        row.times.push_back(edge.timeNs);
        row.levels.push_back(row.event || edge.level);
    }
    for (const KelCPP::SignalWave& wave : data.waves) {
        if (wave.signal < rows.size() && wave.toNs > wave.fromNs && wave.periodNs > 0)
            rows[wave.signal].waves.push_back(wave);
    }
    for (Row& row : rows) {
        std::sort(row.waves.begin(), row.waves.end(),
                  [](const KelCPP::SignalWave& a, const KelCPP::SignalWave& b) { return a.fromNs < b.fromNs; });
    }
    if (sampled && samples.size() >= 2) {
        std::vector<std::int64_t> gaps(samples.size() - 1);
        for (std::size_t i = 1; i < samples.size(); ++i)
            gaps[i - 1] = samples[i] - samples[i - 1];
        std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
        const std::int64_t median = gaps[gaps.size() / 2];
        rateHz = median > 0 ? 1e9 / double(median) : 0;
    }
}

bool TraceWindow::levelByEdges(const Row& row, std::int64_t timeNs, const KelCPP::SignalWave* lastWave) const
{
    const std::size_t after = std::size_t(std::upper_bound(row.times.begin(), row.times.end(), timeNs) - row.times.begin());
    if (lastWave && (after == 0 || row.times[after - 1] < lastWave->toNs)) {
        // Between a stretch's end and the next change: changes alternate, so
        // the level is the opposite of the next one; with none, the
        // stretch's last.
        if (after < row.times.size())
            return !row.levels[after];
        return waveLevel(*lastWave, lastWave->toNs - 1);
    }
    return after > 0 ? row.levels[after - 1] != 0 : row.initial;
}

bool TraceWindow::levelAt(int index, std::int64_t timeNs) const
{
    const Row& row = rows[std::size_t(index)];
    if (row.event)
        return false;
    auto wave = std::upper_bound(row.waves.begin(), row.waves.end(), timeNs,
                                 [](std::int64_t t, const KelCPP::SignalWave& w) { return t < w.fromNs; });
    if (wave == row.waves.begin())
        return levelByEdges(row, timeNs, nullptr);
    --wave;
    if (timeNs < wave->toNs)
        return waveLevel(*wave, timeNs);
    return levelByEdges(row, timeNs, &*wave);
}

std::optional<std::int64_t> TraceWindow::nearestEdge(int index, std::int64_t timeNs, std::int64_t maxDistanceNs) const
{
    const Row& row = rows[std::size_t(index)];
    std::optional<std::int64_t> best;
    auto consider = [&](std::int64_t candidate) {
        const std::int64_t distance = std::abs(candidate - timeNs);
        if (distance <= maxDistanceNs && (!best || distance < std::abs(*best - timeNs)))
            best = candidate;
    };
    auto next = std::lower_bound(row.times.begin(), row.times.end(), timeNs);
    if (next != row.times.end())
        consider(*next);
    if (next != row.times.begin())
        consider(*(next - 1));
    for (const KelCPP::SignalWave& wave : row.waves) {
        if (wave.toNs <= timeNs - maxDistanceNs || wave.fromNs > timeNs + maxDistanceNs || !waveToggles(wave))
            continue;
        const std::int64_t k = floorDiv(timeNs - wave.originNs, wave.periodNs);
        for (std::int64_t kk = k - 1; kk <= k + 1; ++kk) {
            const std::int64_t rise = wave.originNs + kk * wave.periodNs;
            for (std::int64_t edge : {rise, rise + wave.highNs}) {
                if (edge >= wave.fromNs && edge < wave.toNs)
                    consider(edge);
            }
        }
    }
    return best;
}

std::optional<Cycle> TraceWindow::cycleAt(int index, std::int64_t timeNs) const
{
    const Row& row = rows[std::size_t(index)];
    if (row.event)
        return std::nullopt;
    for (const KelCPP::SignalWave& wave : row.waves) {
        if (timeNs >= wave.fromNs && timeNs < wave.toNs)
            return waveToggles(wave) ? std::optional<Cycle>(Cycle{wave.periodNs, wave.highNs}) : std::nullopt;
    }
    const auto& times = row.times;
    const auto& levels = row.levels;
    const long n = long(times.size());
    // The cycle that starts at the rising edge `r0`, if the record holds all of it.
    auto cycleFrom = [&](long r0) -> std::optional<Cycle> {
        long fall = r0 + 1;
        while (fall < n && levels[std::size_t(fall)])
            ++fall;
        long r1 = fall + 1;
        while (r1 < n && !levels[std::size_t(r1)])
            ++r1;
        if (r1 >= n)
            return std::nullopt;
        return Cycle{times[std::size_t(r1)] - times[std::size_t(r0)], times[std::size_t(fall)] - times[std::size_t(r0)]};
    };
    long rise = long(std::upper_bound(times.begin(), times.end(), timeNs) - times.begin()) - 1;
    while (rise >= 0 && !levels[std::size_t(rise)])
        --rise;
    if (rise >= 0) {
        if (auto cycle = cycleFrom(rise))
            return cycle;
        // In the last, unfinished cycle: the one before.
        long previous = rise - 1;
        while (previous >= 0 && !levels[std::size_t(previous)])
            --previous;
        return previous >= 0 ? cycleFrom(previous) : std::nullopt;
    }
    // Before the first rising edge: the first cycle.
    long first = long(std::upper_bound(times.begin(), times.end(), timeNs) - times.begin());
    while (first < n && !levels[std::size_t(first)])
        ++first;
    return first < n ? cycleFrom(first) : std::nullopt;
}

} // namespace Timeline

TimelineView::TimelineView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);

    timer = new QTimer(this);
    timer->setInterval(RefreshMs);
    connect(timer, &QTimer::timeout, this, &TimelineView::refresh);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* controls = new QHBoxLayout;
    windowLabel = new QLabel(this);
    windowBox = new QSpinBox(this);
    windowBox->setRange(MinWindowSeconds, MaxWindowSeconds);
    windowBox->setValue(windowS);
    windowBox->setSuffix(QStringLiteral(" s"));
    windowLabel->setBuddy(windowBox);
    connect(windowBox, qOverload<int>(&QSpinBox::valueChanged), this, &TimelineView::setWindowSeconds);
    pauseButton = new QToolButton(this);
    pauseButton->setCheckable(true);
    connect(pauseButton, &QToolButton::toggled, this, &TimelineView::setPaused);
    fitButton = new QToolButton(this);
    connect(fitButton, &QToolButton::clicked, this, &TimelineView::fit);
    notice = new QLabel(this);
    notice->setObjectName(QStringLiteral("timelineNotice"));
    notice->hide();
    controls->addWidget(windowLabel);
    controls->addWidget(windowBox);
    controls->addWidget(pauseButton);
    controls->addWidget(fitButton);
    controls->addWidget(notice, 1);
    controls->addStretch();
    layout->addLayout(controls);
    plotSpace = new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addItem(plotSpace);
    readout = new QLabel(this);
    readout->setObjectName(QStringLiteral("timelineReadout"));
    readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(readout);
    retranslate();
}

TimelineView::~TimelineView() = default;

void TimelineView::retranslate()
{
    windowLabel->setText(tr("&Window:"));
    windowBox->setToolTip(tr("How many seconds back the strip shows"));
    pauseButton->setText(paused ? tr("Run") : tr("Pause"));
    pauseButton->setToolTip(paused ? tr("Show the signals live again") : tr("Keep what is shown, to zoom into it and measure"));
    fitButton->setText(tr("Fit"));
    fitButton->setToolTip(tr("Show the whole window again (zoom with the mouse wheel, drag to move)"));
    updateNotice();
    updateReadout();
}

void TimelineView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    else if (event->type() == QEvent::FontChange)
        measureNames();
    QWidget::changeEvent(event);
}

void TimelineView::setTrace(std::shared_ptr<KelCPP::SignalTrace> trace)
{
    source = std::move(trace);
    signalList.clear();
    sourceSampled = false;
    if (source) {
        source->GetSignals(signalList);
        sourceSampled = source->IsSampled();
    }
    QSettings settings;
    settings.beginGroup(QLatin1String(SettingsGroup));
    const QStringList remembered = settings.value(QLatin1String(HiddenRowsKey)).toStringList();
    hidden.assign(signalList.size(), false);
    for (std::size_t i = 0; i < signalList.size(); ++i)
        hidden[i] = remembered.contains(QString::fromStdString(signalList[i].name));
    updateRows();
    shown = Timeline::TraceWindow();
    readError.clear();
    clearCursors();
    fit();
    updateNotice();
    updateGeometry();
    updateTimer();
    updatePlot();
}

void TimelineView::setWindowSeconds(int seconds)
{
    seconds = std::clamp(seconds, MinWindowSeconds, MaxWindowSeconds);
    if (seconds == windowS)
        return;
    const bool fitted = spanNs == windowNs();
    windowS = seconds;
    if (fitted)
        spanNs = windowNs();
    clampView();
    {
        const QSignalBlocker blocker(windowBox);
        windowBox->setValue(seconds);
    }
    if (timer->isActive())
        refresh();
    updatePlot();
    emit windowSecondsChanged(seconds);
}

void TimelineView::setPaused(bool on)
{
    if (paused == on)
        return;
    paused = on;
    {
        const QSignalBlocker blocker(pauseButton);
        pauseButton->setChecked(on);
    }
    retranslate();
    updateTimer();
    emit pausedChanged(on);
}

void TimelineView::fit()
{
    spanNs = windowNs();
    endOffsetNs = 0;
    updatePlot();
}

void TimelineView::zoomTo(std::int64_t fromNs, std::int64_t toNs)
{
    spanNs = toNs - fromNs;
    endOffsetNs = shown.toNs() - toNs;
    clampView();
    updatePlot();
}

bool TimelineView::isRowHidden(const QString& name) const
{
    for (std::size_t i = 0; i < signalList.size(); ++i) {
        if (hidden[i] && QString::fromStdString(signalList[i].name) == name)
            return true;
    }
    return false;
}

void TimelineView::setRowHidden(const QString& name, bool hide)
{
    bool changed = false;
    for (std::size_t i = 0; i < signalList.size(); ++i) {
        if (hidden[i] != hide && QString::fromStdString(signalList[i].name) == name) {
            hidden[i] = hide;
            changed = true;
        }
    }
    if (!changed)
        return;
    updateRows();
    saveHiddenRows();
}

void TimelineView::showAllRows()
{
    if (std::find(hidden.begin(), hidden.end(), true) == hidden.end())
        return;
    hidden.assign(hidden.size(), false);
    updateRows();
    saveHiddenRows();
}

void TimelineView::hideUnchangedRows()
{
    bool changed = false;
    for (int i = 0; i < shown.rowCount() && i < int(hidden.size()); ++i) {
        const Timeline::Row& row = shown.row(i);
        if (!hidden[std::size_t(i)] && row.times.empty() && row.waves.empty()) {
            hidden[std::size_t(i)] = true;
            changed = true;
        }
    }
    if (!changed)
        return;
    updateRows();
    saveHiddenRows();
}

void TimelineView::updateRows()
{
    visibleRows.clear();
    rowSlot.assign(signalList.size(), -1);
    for (std::size_t i = 0; i < signalList.size(); ++i) {
        if (!hidden[i]) {
            rowSlot[i] = int(visibleRows.size());
            visibleRows.push_back(int(i));
        }
    }
    measureNames();
    updateReadout();
    updateGeometry();
    updatePlot();
}

void TimelineView::saveHiddenRows() const
{
    QSettings settings;
    settings.beginGroup(QLatin1String(SettingsGroup));
    // Names of signals this camera lacks stay: another camera may have them.
    QStringList names = settings.value(QLatin1String(HiddenRowsKey)).toStringList();
    for (std::size_t i = 0; i < signalList.size(); ++i) {
        const QString name = QString::fromStdString(signalList[i].name);
        names.removeAll(name);
        if (hidden[i])
            names << name;
    }
    if (names.isEmpty())
        settings.remove(QLatin1String(HiddenRowsKey));
    else
        settings.setValue(QLatin1String(HiddenRowsKey), names);
}

void TimelineView::showRowMenu(const QPoint& globalPos)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (std::size_t i = 0; i < signalList.size(); ++i) {
        const QString name = QString::fromStdString(signalList[i].name);
        QAction* action = menu->addAction(name);
        action->setCheckable(true);
        action->setChecked(!hidden[i]);
        action->setToolTip(tr("Show this row"));
        connect(action, &QAction::toggled, this, [this, name](bool on) { setRowHidden(name, !on); });
    }
    menu->setToolTipsVisible(true);
    menu->addSeparator();
    connect(menu->addAction(tr("Show all rows")), &QAction::triggered, this, &TimelineView::showAllRows);
    QAction* unchanged = menu->addAction(tr("Hide rows without changes"));
    unchanged->setToolTip(tr("Hides the rows that stay flat in the window read last"));
    unchanged->setEnabled(!shown.isEmpty());
    connect(unchanged, &QAction::triggered, this, &TimelineView::hideUnchangedRows);
    menu->popup(globalPos);
}

void TimelineView::clearCursors()
{
    cursorATime.reset();
    cursorBTime.reset();
    cursorARow = -1;
    cursorACycle.reset();
    updateReadout();
    updatePlot();
}

void TimelineView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateTimer();
}

void TimelineView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    updateTimer();
}

void TimelineView::updateTimer()
{
    const bool active = source && !paused && isVisible();
    if (active && !timer->isActive()) {
        refresh();
        timer->start();
    } else if (!active) {
        timer->stop();
    }
}

void TimelineView::refresh()
{
    if (!source)
        return;
    std::int64_t now = 0;
    KelCPP::KelErrorType result = source->GetNowNs(now);
    KelCPP::SignalTraceData data;
    if (result == KelCPP::KelError::Success)
        result = source->Read(now - windowNs(), now, data);
    if (result != KelCPP::KelError::Success) {
        // What was read last stays: a stale picture says more than none.
        readError = QString::fromLatin1(KelCPP::KelError::Name(result));
    } else {
        readError.clear();
        shown = Timeline::TraceWindow(signalList, data, sourceSampled);
    }
    updateNotice();
    updatePlot();
}

void TimelineView::updateNotice()
{
    QString text;
    if (!readError.isEmpty()) {
        text = tr("The signal trace could not be read (%1).").arg(readError);
    } else if (sourceSampled) {
        const double rate = shown.sampleRateHz();
        text = rate > 0 ? tr("Sampled at %1 Hz: a line may have changed anywhere between two samples.")
                              .arg(numberLocale().toString(rate, 'f', rate < 10 ? 1 : 0))
                        : tr("Sampled levels: a line may have changed anywhere between two samples.");
    }
    notice->setText(text);
    notice->setVisible(!text.isEmpty());
}

QString TimelineView::readoutText() const
{
    if (!cursorATime)
        return tr("Click two edges to measure between them; Esc clears.");
    QString text;
    if (cursorBTime)
        text = tr("Δt %1").arg(Timeline::formatDuration(*cursorBTime - *cursorATime));
    else
        text = tr("Cursor A placed; click again for cursor B.");
    if (cursorACycle && cursorARow >= 0 && cursorARow < int(signalList.size()) && !rowHidden(cursorARow))
        text += QStringLiteral("    ")
            + tr("%1: %2").arg(QString::fromStdString(signalList[std::size_t(cursorARow)].name),
                               Timeline::cycleText(*cursorACycle));
    return text;
}

void TimelineView::updateReadout()
{
    readout->setText(readoutText());
    readout->setVisible(source && !signalList.empty());
}

// Geometry ------------------------------------------------------------------

void TimelineView::measureNames()
{
    const QFontMetrics metrics = fontMetrics();
    int widest = 0;
    for (int row : visibleRows)
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(signalList[std::size_t(row)].name)));
    namesWidth = std::clamp(widest + 12, 60, 180);
}

QRect TimelineView::plotRect() const
{
    const QRect area = plotSpace->geometry();
    const int axisHeight = fontMetrics().height() + 6;
    const int left = area.left() + namesWidth;
    return QRect(left, area.top() + axisHeight, std::max(1, area.right() - 8 - left), std::max(1, area.height() - axisHeight));
}

int TimelineView::rowHeight() const
{
    const int text = fontMetrics().height();
    const int rows = std::max<int>(1, int(visibleRows.size()));
    return std::clamp(plotRect().height() / rows, text + 2, text + 14);
}

int TimelineView::rowAt(int y) const
{
    const int slot = (y - plotRect().top()) / rowHeight();
    return y >= plotRect().top() && slot < int(visibleRows.size()) ? visibleRows[std::size_t(slot)] : -1;
}

int TimelineView::rowCenterY(int row) const
{
    if (row < 0 || row >= int(rowSlot.size()) || rowSlot[std::size_t(row)] < 0)
        return -1;
    return plotRect().top() + rowSlot[std::size_t(row)] * rowHeight() + rowHeight() / 2;
}

bool TimelineView::inNames(const QPoint& pos) const
{
    const QRect area = plotSpace->geometry();
    return pos.x() >= area.left() && pos.x() < plotRect().left() && pos.y() >= area.top() && pos.y() <= area.bottom();
}

QSize TimelineView::sizeHint() const
{
    const int text = fontMetrics().height();
    const int rows = std::max<int>(4, int(visibleRows.size()));
    return QSize(720, rows * (text + 4) + 4 * text + 40);
}

QSize TimelineView::minimumSizeHint() const
{
    return QSize(320, 6 * fontMetrics().height() + 40);
}

std::int64_t TimelineView::viewToNs() const
{
    return shown.toNs() - endOffsetNs;
}

std::int64_t TimelineView::viewFromNs() const
{
    return viewToNs() - spanNs;
}

double TimelineView::nsPerPixel() const
{
    return double(spanNs) / double(plotRect().width());
}

int TimelineView::xForTime(std::int64_t timeNs) const
{
    return currentScale().x(timeNs);
}

std::int64_t TimelineView::timeAtX(double x) const
{
    return viewFromNs() + std::int64_t(std::llround((x - plotRect().left()) * nsPerPixel()));
}

void TimelineView::updatePlot()
{
    // Only the strip: the controls around it need no repaint 30 times a second.
    update(plotSpace->geometry());
}

void TimelineView::clampView()
{
    spanNs = std::clamp(spanNs, MinSpanNs, windowNs());
    endOffsetNs = std::clamp<std::int64_t>(endOffsetNs, 0, windowNs() - spanNs);
}

// Mouse -----------------------------------------------------------------------

void TimelineView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        pressPos = event->pos();
        pressEndOffsetNs = endOffsetNs;
        dragging = false;
    }
    QWidget::mousePressEvent(event);
}

void TimelineView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const int dx = event->pos().x() - pressPos.x();
    if (!dragging && std::abs(dx) < QApplication::startDragDistance())
        return;
    dragging = true;
    // Dragging right brings earlier times into view.
    endOffsetNs = pressEndOffsetNs + std::int64_t(std::llround(dx * nsPerPixel()));
    clampView();
    updatePlot();
}

void TimelineView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        // On the names it opens the row menu instead.
        if (!inNames(event->pos()))
            clearCursors();
    } else if (event->button() == Qt::LeftButton && !dragging && plotRect().contains(event->pos())
               && !shown.isEmpty()) {
        placeCursor(event->pos());
    }
    dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void TimelineView::placeCursor(const QPoint& pos)
{
    std::int64_t time = timeAtX(pos.x());
    const int row = rowAt(pos.y());
    if (row >= 0 && row < shown.rowCount()) {
        if (auto edge = shown.nearestEdge(row, time, std::int64_t(std::ceil(SnapPixels * nsPerPixel()))))
            time = *edge;
    }
    if (!cursorATime || cursorBTime) {
        // A third click starts a new measurement.
        cursorATime = time;
        cursorBTime.reset();
        cursorARow = row;
        cursorACycle.reset();
        if (row >= 0 && row < shown.rowCount())
            cursorACycle = shown.cycleAt(row, time);
    } else {
        cursorBTime = time;
    }
    updateReadout();
    updatePlot();
}

void TimelineView::wheelEvent(QWheelEvent* event)
{
    const QRect plot = plotRect();
    const double notches = event->angleDelta().y() / 120.0;
    const double x = event->position().x();
    if (notches == 0 || x < plot.left() || x > plot.right()) {
        QWidget::wheelEvent(event);
        return;
    }
    // The time under the mouse stays under it.
    const std::int64_t anchor = timeAtX(x);
    const double share = (x - plot.left()) / double(plot.width());
    const double wanted = std::clamp(double(spanNs) * std::pow(ZoomPerNotch, notches), double(MinSpanNs), double(windowNs()));
    const std::int64_t span = std::int64_t(std::llround(wanted));
    const std::int64_t viewTo = anchor - std::int64_t(std::llround(share * double(span))) + span;
    spanNs = span;
    endOffsetNs = shown.toNs() - viewTo;
    clampView();
    updatePlot();
    event->accept();
}

void TimelineView::contextMenuEvent(QContextMenuEvent* event)
{
    if (signalList.empty() || (event->reason() == QContextMenuEvent::Mouse && !inNames(event->pos()))) {
        event->ignore();
        return;
    }
    const QPoint at = event->reason() == QContextMenuEvent::Mouse ? event->pos() : plotRect().topLeft();
    showRowMenu(mapToGlobal(at));
    event->accept();
}

void TimelineView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && cursorATime) {
        clearCursors();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Painting --------------------------------------------------------------------

void TimelineView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const QRect area = plotSpace->geometry();
    const Scale scale = currentScale();
    const QRect& plot = scale.plot;
    painter.fillRect(QRect(area.left(), plot.top(), area.width(), plot.height()), palette().base());

    if (!source || signalList.empty()) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap,
                         source ? tr("The camera lists no signals.") : tr("This camera offers no signal trace."));
        return;
    }
    paintAxis(painter, scale);

    if (!shown.isEmpty() && scale.viewFrom < shown.knownFromNs()) {
        const int x = std::min(plot.right(), scale.x(shown.knownFromNs()));
        const QRect unknown(plot.left(), plot.top(), x - plot.left(), plot.height());
        painter.fillRect(unknown, UnknownColor);
        const QString text = tr("not recorded");
        if (unknown.width() > painter.fontMetrics().horizontalAdvance(text) + 8) {
            painter.setPen(palette().color(QPalette::Dark));
            painter.drawText(unknown, Qt::AlignCenter, text);
        }
    }

    if (visibleRows.empty()) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(plot, Qt::AlignCenter | Qt::TextWordWrap,
                         tr("All rows are hidden: right-click the name column to show them."));
    }
    QVector<QRect> separators;
    for (std::size_t slot = 0; slot < visibleRows.size(); ++slot) {
        const int row = visibleRows[slot];
        const int top = plot.top() + int(slot) * scale.rowHeight;
        if (top + scale.rowHeight > plot.bottom() + 1 + scale.rowHeight / 2)
            break;
        separators << QRect(area.left(), top + scale.rowHeight - 1, plot.right() - area.left() + 1, 1);
        painter.setPen(palette().color(QPalette::Text));
        const QString name = QString::fromStdString(signalList[std::size_t(row)].name);
        painter.drawText(QRect(area.left() + 4, top, namesWidth - 8, scale.rowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                         painter.fontMetrics().elidedText(name, Qt::ElideRight, namesWidth - 8));
        if (row < shown.rowCount())
            paintRow(painter, scale, row, top);
    }
    fillRects(painter, separators, palette().midlight());

    auto paintCursor = [&](const std::optional<std::int64_t>& time, const QColor& color, const QString& label) {
        if (!time || *time < scale.viewFrom || *time > scale.viewTo)
            return;
        // A flag on the time axis, over its labels: the cursor matters more.
        const int x = scale.x(*time);
        const QFontMetrics metrics = painter.fontMetrics();
        const QRect flag(x, plot.top() - metrics.height() - 2, metrics.horizontalAdvance(label) + 6, metrics.height() + 2);
        painter.fillRect(flag, color);
        painter.fillRect(QRect(x, plot.top(), 1, plot.height()), color);
        painter.setPen(Qt::white);
        painter.drawText(flag, Qt::AlignCenter, label);
    };
    paintCursor(cursorATime, CursorAColor, QStringLiteral("A"));
    paintCursor(cursorBTime, CursorBColor, QStringLiteral("B"));
}

TimelineView::Scale TimelineView::currentScale() const
{
    Scale scale;
    scale.plot = plotRect();
    scale.rowHeight = rowHeight();
    scale.perPixel = double(spanNs) / double(scale.plot.width());
    scale.viewTo = viewToNs();
    scale.viewFrom = scale.viewTo - spanNs;
    return scale;
}

int TimelineView::Scale::column(std::int64_t timeNs) const
{
    return int(std::floor(double(timeNs - viewFrom) / perPixel));
}

std::int64_t TimelineView::Scale::columnStart(int column) const
{
    return viewFrom + std::int64_t(std::ceil(double(column) * perPixel));
}

void TimelineView::paintAxis(QPainter& painter, const Scale& scale) const
{
    if (shown.isEmpty())
        return;
    // Ticks at 1, 2 or 5 times a power of ten, at least ~90 px apart,
    // labelled in seconds before the newest data.
    const double wanted = std::max(1.0, scale.perPixel * 90);
    std::int64_t step = 1;
    while (double(step) < wanted) {
        if (double(step * 2) >= wanted) {
            step *= 2;
            break;
        }
        if (double(step * 5) >= wanted) {
            step *= 5;
            break;
        }
        step *= 10;
    }
    const int decimals = std::clamp(9 - int(std::floor(std::log10(double(step)))), 0, 9);
    const std::int64_t end = shown.toNs();
    const QLocale locale = numberLocale();
    const QRect& plot = scale.plot;
    QVector<QRect> grid;
    painter.setPen(palette().color(QPalette::WindowText));
    for (std::int64_t k = -floorDiv(end - scale.viewFrom, step); end + k * step <= scale.viewTo; ++k) {
        const int x = scale.x(end + k * step);
        grid << QRect(x, plot.top(), 1, plot.height());
        const QString label = locale.toString(double(k * step) / 1e9, 'f', decimals) + QStringLiteral(" s");
        const int width = painter.fontMetrics().horizontalAdvance(label);
        painter.drawText(std::min(x - width / 2, plot.right() - width), plot.top() - 5, label);
    }
    fillRects(painter, grid, palette().midlight());
}

void TimelineView::paintRow(QPainter& painter, const Scale& scale, int index, int top) const
{
    const Timeline::Row& row = shown.row(index);
    const std::int64_t from = std::max(scale.viewFrom, shown.knownFromNs());
    const std::int64_t to = std::min(scale.viewTo, shown.toNs());
    if (from >= to)
        return;
    const QRect& plot = scale.plot;
    const int yHigh = top + 3, yLow = top + scale.rowHeight - 5;
    const auto& times = row.times;

    if (row.event) {
        // Tick marks, one per pixel column however many events fall in it;
        // ticks in adjacent columns as one block.
        QVector<QRect> ticks;
        int runStart = -1, runEnd = -2;
        auto flush = [&] {
            if (runStart >= 0)
                ticks << QRect(plot.left() + runStart, yHigh, runEnd - runStart + 1, yLow - yHigh + 1);
        };
        auto i = std::lower_bound(times.begin(), times.end(), from);
        while (i != times.end() && *i <= to) {
            const int c = scale.column(*i);
            if (c != runEnd + 1) {
                flush();
                runStart = c;
            }
            runEnd = c;
            i = std::lower_bound(i + 1, times.end(), scale.columnStart(c + 1));
        }
        flush();
        fillRects(painter, ticks, EventColor);
        return;
    }

    const bool sampled = shown.isSampled();
    const auto& samples = shown.sampleTimes();
    Waveform wave(yHigh, yLow, sampled);
    QVector<QRect> bands;  // closed-form stretches too fast to draw edge by edge
    QVector<QRect> unsure; // sampled traces: where between two samples a change happened

    // Recorded changes in (a, b), column by column: a binary search skips
    // to the next column, however many edges one holds.
    auto edgesBetween = [&](std::int64_t a, std::int64_t b) {
        wave.at(scale.x(a), shown.levelAt(index, a));
        std::size_t i = std::size_t(std::upper_bound(times.begin(), times.end(), a) - times.begin());
        while (i < times.size() && times[i] < b) {
            const int c = scale.column(times[i]);
            const std::size_t j = std::size_t(
                std::lower_bound(times.begin() + long(i) + 1, times.end(), std::min(scale.columnStart(c + 1), b))
                - times.begin());
            const bool several = j - i > 1;
            if (sampled && !several) {
                auto sample = std::lower_bound(samples.begin(), samples.end(), times[i]);
                if (sample != samples.begin()) {
                    const int x0 = scale.x(std::max(*(sample - 1), from));
                    if (plot.left() + c - x0 >= 2)
                        unsure << QRect(x0, yHigh, plot.left() + c - x0, yLow - yHigh + 1);
                }
            }
            wave.change(plot.left() + c, row.levels[j - 1] != 0, several);
            i = j;
        }
    };
    // A closed-form stretch over [a, b).
    auto waveBetween = [&](const KelCPP::SignalWave& w, std::int64_t a, std::int64_t b) {
        wave.at(scale.x(a), waveLevel(w, a));
        if (!waveToggles(w))
            return;
        if (double(w.periodNs) / scale.perPixel < MinPeriodPixels) {
            const int x0 = scale.x(a), x1 = scale.x(b);
            bands << QRect(x0, yHigh, std::max(1, x1 - x0), yLow - yHigh + 1);
            wave.at(x1, waveLevel(w, b - 1));
            return;
        }
        for (std::int64_t k = floorDiv(a - w.originNs, w.periodNs);; ++k) {
            const std::int64_t rise = w.originNs + k * w.periodNs;
            if (rise >= b)
                break;
            if (rise > a)
                wave.change(scale.x(rise), true, false);
            const std::int64_t fall = rise + w.highNs;
            if (fall > a && fall < b)
                wave.change(scale.x(fall), false, false);
        }
    };

    std::int64_t position = from;
    for (const KelCPP::SignalWave& w : row.waves) {
        if (w.toNs <= position || w.fromNs >= to)
            continue;
        if (w.fromNs > position)
            edgesBetween(position, w.fromNs);
        const std::int64_t end = std::min(w.toNs, to);
        waveBetween(w, std::max(position, w.fromNs), end);
        position = end;
    }
    if (position < to)
        edgesBetween(position, to);
    wave.finish(scale.x(to));

    if (!unsure.isEmpty())
        fillRects(painter, unsure, QBrush(palette().color(QPalette::Mid), Qt::BDiagPattern));
    fillRects(painter, wave.rectangles(), LevelColor);
    // Lighter than recorded blocks: known from the closed form, not seen edge by edge.
    if (!bands.isEmpty())
        fillRects(painter, bands, BandColor);

    if (sampled && shown.sampleRateHz() > 0 && 1e9 / shown.sampleRateHz() / scale.perPixel >= 4) {
        // Each sample as a dot where it was taken: what is known, and no more.
        QVector<QRect> dots;
        for (auto s = std::lower_bound(samples.begin(), samples.end(), from); s != samples.end() && *s <= to; ++s)
            dots << QRect(scale.x(*s) - 1, (shown.levelAt(index, *s) ? yHigh : yLow) - 1, 3, 3);
        fillRects(painter, dots, LevelColor);
    }
}
