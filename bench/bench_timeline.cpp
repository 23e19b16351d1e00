// Paint times of the viewer's signal strip and image view, offscreen: the
// strip over a 20 s window holding a 1 kHz PWM (40,000 edges) and five more
// rows, zoomed out and in, and a 1280 × 1024 Mono8 frame scaled to fit.
// Prints a Markdown table of the median and worst time per paint.
//
// Last, the way from the camera to the screen: the full simulated camera,
// running in real time, takes a software trigger; the time until the image
// view painted the frame (exposure included).
//
// Usage: bench_timeline [--repeat N] [--save DIR]
// --save also writes what was painted, as PNG files, into DIR.

#include "kelcpp/sim/simcamera.h"
#include "viewer/imageview.h"
#include "viewer/timelineview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t Ms = 1000000;
constexpr std::int64_t Now = 30000 * Ms;

// A fixed record of the last 20 s.
class BenchTrace : public KelCPP::SignalTrace
{
public:
    BenchTrace()
    {
        auto add = [this](const char* name, KelCPP::KelSignalKindType kind) {
            list.push_back({name, kind});
            return std::uint32_t(list.size() - 1);
        };
        const auto line0 = add("Line0", KelCPP::KelSignalLevel);
        const auto line1 = add("Line1", KelCPP::KelSignalLevel);
        const auto line2 = add("Line2", KelCPP::KelSignalLevel);
        const auto trigger = add("FrameTrigger", KelCPP::KelSignalEvent);
        const auto exposure = add("ExposureActive", KelCPP::KelSignalLevel);
        const auto counter = add("Counter0End", KelCPP::KelSignalEvent);
        auto pwm = [this](std::uint32_t signal, std::int64_t period, std::int64_t high, std::int64_t from) {
            for (std::int64_t t = from; t < Now; t += period)
                edges.insert(edges.end(), {{t, signal, true}, {t + high, signal, false}});
        };
        pwm(line0, Ms, Ms / 4, Oldest);
        pwm(line1, 100 * Ms, 50 * Ms, Oldest);
        pwm(exposure, 20 * Ms, 5 * Ms, Oldest + 3 * Ms);
        for (std::int64_t t = Oldest + 3 * Ms; t < Now; t += 20 * Ms)
            edges.push_back({t, trigger, true});
        for (std::int64_t t = Oldest; t < Now; t += Ms)
            edges.push_back({t + Ms / 2, counter, true});
        std::stable_sort(edges.begin(), edges.end(), [](auto& a, auto& b) { return a.timeNs < b.timeNs; });
        // 100 kHz, too fast to record edge by edge.
        waves.push_back({line2, Oldest, Now, 10000, Oldest, 3000});
    }

    bool IsSampled() const override { return false; }
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
        data = {};
        data.fromNs = fromNs;
        data.toNs = std::min(toNs, Now);
        data.oldestNs = Oldest;
        data.initial.assign(list.size(), 0);
        auto first = std::lower_bound(edges.begin(), edges.end(), fromNs,
                                      [](const KelCPP::SignalEdge& e, std::int64_t t) { return e.timeNs < t; });
        for (auto e = first; e != edges.end() && e->timeNs <= data.toNs; ++e)
            data.edges.push_back(*e);
        data.waves = waves;
        return KelCPP::KelError::Success;
    }

private:
    static constexpr std::int64_t Oldest = Now - 20000 * Ms;
    std::vector<KelCPP::SignalInfo> list;
    std::vector<KelCPP::SignalEdge> edges;
    std::vector<KelCPP::SignalWave> waves;
};

struct Timing {
    double median = 0;
    double worst = 0;
};

Timing Measure(int repeat, const std::function<void()>& action)
{
    std::vector<double> times;
    for (int i = 0; i < repeat; ++i) {
        const auto start = Clock::now();
        action();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int repeat = 200;
    QString save;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--save") == 0 && i + 1 < argc)
            save = QString::fromLocal8Bit(argv[++i]);
    }

    std::printf("| Paint | median | worst |\n|---|---:|---:|\n");
    auto report = [&](const char* title, QWidget& widget, const std::function<void()>& before) {
        QImage target(widget.size(), QImage::Format_ARGB32_Premultiplied);
        const Timing timing = Measure(repeat, [&] {
            before();
            widget.render(&target);
        });
        std::printf("| %s | %.2f ms | %.2f ms |\n", title, timing.median, timing.worst);
        return target;
    };
    auto nothing = [] {};

    TimelineView timeline;
    timeline.resize(1000, 330);
    timeline.setTrace(std::make_shared<BenchTrace>());
    timeline.setWindowSeconds(20);
    timeline.show();
    Settle();
    timeline.setPaused(true); // the bench paints; nothing reads in between
    const QImage whole = report("Signal strip, whole widget, 20 s window, 6 rows (1 kHz PWM: 40,000 edges)", timeline, nothing);
    // What the view's timer does 30 times a second, up to the screen.
    const Timing tick = Measure(std::max(1, repeat / 4), [&] {
        timeline.refresh();
        QApplication::processEvents();
    });
    std::printf("| Signal strip, one live tick: read the 20 s window, split it, repaint the strip on the (offscreen) screen"
                " | %.2f ms | %.2f ms |\n", tick.median, tick.worst);
    timeline.zoomTo(Now - 3 * Ms, Now - 1 * Ms);
    const QImage zoomed = report("Signal strip, zoomed to 2 ms", timeline, nothing);
    timeline.zoomTo(Now - 2 * Ms, Now - 2 * Ms + TimelineView::MinSpanNs);
    report("Signal strip, zoomed to 10 µs", timeline, nothing);

    auto frame = std::make_shared<KelCPP::Frame>();
    frame->width = 1280;
    frame->height = 1024;
    frame->pixelFormat = KelCPP::KelPixelFormatMono8;
    frame->data.resize(std::size_t(frame->width) * frame->height);
    for (std::size_t i = 0; i < frame->data.size(); ++i)
        frame->data[i] = std::uint8_t((i % frame->width) / 5 + (i / frame->width) / 8);
    ImageView image;
    image.resize(800, 600);
    image.show();
    image.setFrame(frame);
    Settle();
    const QImage fitted = report("Image 1280 × 1024 Mono8, scaled to fit 800 × 600", image, nothing);
    // Two frames taking turns: the view treats each hand-over as new.
    const KelCPP::FramePtr frames[] = {frame, std::make_shared<KelCPP::Frame>(*frame)};
    int turn = 0;
    int painted = 0;
    QObject::connect(&image, &ImageView::frameShown, [&painted] { ++painted; });
    const Timing handOver = Measure(repeat, [&] {
        image.setFrame(frames[++turn % 2]);
        QApplication::processEvents(); // the hand-over, which asks for a repaint
        QApplication::sendPostedEvents(&image, QEvent::UpdateRequest); // the repaint
    });
    if (painted != repeat)
        std::fprintf(stderr, "bench_timeline: %d of %d frames painted\n", painted, repeat);
    std::printf("| Image, a frame handed over and repainted on the (offscreen) screen | %.2f ms | %.2f ms |\n",
                handOver.median, handOver.worst);

    // The software trigger, end to end.
    std::string error;
    auto camera = KelCPP::Sim::SimCamera::FromFile(qEnvironmentVariable("KEL_RUNTIME_DIR", QStringLiteral("build/bin")).toStdString()
                                                       + "/cameras/full.json",
                                                   &error);
    if (!camera) {
        std::fprintf(stderr, "bench_timeline: %s\n", error.c_str());
        return 1;
    }
    auto write = [&](const char* name, const char* value) {
        KelCPP::FeaturePtr feature;
        return camera->GetFeatureByName(name, feature) == KelCPP::KelError::Success
               && (value ? feature->SetValue(value) : feature->RunCommand()) == KelCPP::KelError::Success;
    };
    struct Forward : KelCPP::IFrameObserver {
        ImageView* view;
        void FrameReceived(const KelCPP::FramePtr& f) override { view->setFrame(f); }
    };
    auto forward = std::make_shared<Forward>();
    forward->view = &image;
    if (!write("TriggerSelector", "FrameStart") || !write("TriggerMode", "On") || !write("TriggerSource", "Software")
        || camera->StartStream(forward) != KelCPP::KelError::Success || !write("AcquisitionStart", nullptr)) {
        std::fprintf(stderr, "bench_timeline: the camera did not take the software trigger set-up\n");
        return 1;
    }
    bool lost = false;
    const Timing trigger = Measure(std::max(1, repeat / 10), [&] {
        const int before = painted;
        QElapsedTimer waited;
        waited.start();
        write("TriggerSoftware", nullptr);
        while (painted == before && waited.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        lost = lost || painted == before;
    });
    camera->StopStream();
    if (lost)
        std::fprintf(stderr, "bench_timeline: a software trigger brought no frame within 5 s\n");
    std::printf("| Software trigger to its frame painted (full simulated camera, 2448 × 2048, 5 ms exposure) | %.2f ms | %.2f ms |\n",
                trigger.median, trigger.worst);

    if (!save.isEmpty()) {
        QDir().mkpath(save);
        whole.save(save + QStringLiteral("/timeline.png"));
        zoomed.save(save + QStringLiteral("/timeline-zoomed.png"));
        fitted.save(save + QStringLiteral("/image.png"));
    }
    return 0;
}
