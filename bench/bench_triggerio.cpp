// Wall time and camera accesses of what a user does with the Trigger IO
// page, on the full simulated camera, at no latency and at 1 ms per device
// access (a typical GigE Vision register access). bench/run.sh turns the
// results into the table in docs/performance.md.
//
// Each action is timed by hand around exactly what it covers; the set-up it
// needs (a camera, a page, features changed behind the page's back) is not
// timed and its accesses are not counted.

#include "bench/pagerig.h"
#include "features/featuremanager.h"
#include "kelcpp/sim/simcamera.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

bool smoke = false; // --smoke: every benchmark once, briefly, at no latency

std::string CameraFile(const char* name)
{
    return qEnvironmentVariable("KEL_SOURCE_DIR", QStringLiteral(KEL_SOURCE_DIR)).toStdString()
        + "/data/cameras/" + name;
}

// Times `action` at the benchmark's latency and counts the device accesses
// it makes; everything else the iteration does is set-up, at no latency.
struct Measure {
    benchmark::State& state;
    PageRig& rig;
    std::uint64_t accesses = 0;

    template <typename Action>
    void operator()(Action&& action)
    {
        rig.SetLatency(microseconds(state.range(0)));
        const std::uint64_t before = rig.Accesses();
        const auto start = Clock::now();
        action();
        const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
        accesses += rig.Accesses() - before;
        rig.SetLatency(microseconds(0));
        state.SetIterationTime(seconds);
    }
    ~Measure()
    {
        state.counters["accesses"] = benchmark::Counter(double(accesses), benchmark::Counter::kAvgIterations);
    }
};

// The page shown, its first tick over: idle.
std::unique_ptr<PageRig> IdlePage()
{
    auto rig = std::make_unique<PageRig>(CameraFile("full.json"));
    rig->ShowPage();
    rig->Settle(1);
    return rig;
}

microseconds Latency(const benchmark::State& state) { return microseconds(state.range(0)); }

void PageCreate(benchmark::State& state)
{
    std::uint64_t accesses = 0;
    for (auto _ : state) {
        PageRig rig(CameraFile("full.json"));
        Measure measure{state, rig};
        measure([&] { rig.ShowPage(); });
        accesses += measure.accesses;
    }
    state.counters["accesses"] = benchmark::Counter(double(accesses), benchmark::Counter::kAvgIterations);
}

// The tick a second after the page was shown: every observed feature is re-read.
void FirstTick(benchmark::State& state)
{
    const auto rig = IdlePage();
    Measure measure{state, *rig};
    for (auto _ : state) {
        rig->page->hide();
        rig->page->show();
        rig->Deliver();
        measure([&] { rig->Tick(); });
    }
}

void IdleTick(benchmark::State& state)
{
    const auto rig = IdlePage();
    Measure measure{state, *rig};
    for (auto _ : state) {
        rig->Deliver();
        measure([&] { rig->Tick(); });
    }
}

// Features the page shows, each with two values to flip between, changed
// behind the page's back as another program on the camera would.
struct Flip {
    const char* feature;
    const char* a;
    const char* b;
};
const Flip Flips[] = {
    {"TriggerActivation", "RisingEdge", "FallingEdge"}, {"TriggerSource", "Line0", "Line1"},
    {"TriggerDelay", "0", "10"}, {"TriggerMode", "Off", "On"}, {"LineInverter", "false", "true"},
    {"CounterEventSource", "Off", "Line1"}, {"TimerTriggerSource", "Off", "Line1"},
    {"ExposureMode", "Timed", "TriggerWidth"}, {"AcquisitionMode", "Continuous", "SingleFrame"},
    {"TriggerSelector", "FrameStart", "AcquisitionStart"},
};

void FlipFeature(KelCPP::Sim::SimCamera& camera, const Flip& flip, bool second)
{
    KelCPP::FeaturePtr feature;
    camera.GetFeatureByName(flip.feature, feature);
    const char* value = second ? flip.b : flip.a;
    KelCPP::KelFeatureDataType type = KelCPP::KelFeatureDataUnknown;
    feature->GetDataType(type);
    if (type == KelCPP::KelFeatureDataFloat)
        feature->SetValue(std::atof(value));
    else if (type == KelCPP::KelFeatureDataBool)
        feature->SetValue(std::strcmp(value, "true") == 0);
    else
        feature->SetValue(value);
}

void ChangedTick(benchmark::State& state)
{
    const int count = int(state.range(1));
    const auto rig = IdlePage();
    Measure measure{state, *rig};
    bool second = false;
    for (auto _ : state) {
        second = !second;
        for (int i = 0; i < count; ++i)
            FlipFeature(*rig->camera, Flips[i], second);
        rig->Deliver();
        measure([&] { rig->Tick(); });
    }
}

void DialogOpen(benchmark::State& state)
{
    const auto rig = IdlePage();
    Measure measure{state, *rig};
    for (auto _ : state) {
        measure([&] { rig->OpenDialog(); });
        rig->CloseDialog();
        rig->Settle(1);
    }
}

void DialogClose(benchmark::State& state)
{
    const auto rig = IdlePage();
    Measure measure{state, *rig};
    for (auto _ : state) {
        rig->OpenDialog();
        measure([&] { rig->CloseDialog(); });
        rig->Settle(1);
    }
}

// The fewest accesses a preset can take on this camera. Its own part: each
// value it sets written once and read back once, "<all>" expanded over the
// entries available now plus the query of those entries, the read of where
// to go back to and the write back, features the camera lacks left out, and
// one access per command. Choosing any preset but "Custom", "Reset All" and
// "Turn Off All" applies "Turn Off All" first, so its part is added.
// Afterwards the status tree must show the result (TreeBound).
class PresetBound
{
public:
    PresetBound(const QJsonObject& file, FeatureManager& manager) : file(file), manager(manager) {}

    int Of(const QString& name) const
    {
        int bound = Body(file.value(name).toObject());
        if (name != "Custom" && name != "Reset All" && name != "Turn Off All")
            bound += Body(file.value("Turn Off All").toObject());
        return bound;
    }

private:
    int Writes(const QString& feature) const { return manager.HasFeature(feature) ? 2 : 0; }
    int Dependents(const QJsonObject& entry) const
    {
        int cost = 0;
        for (auto it = entry.begin(); it != entry.end(); ++it)
            if (it.key() != "#value")
                cost += Writes(it.key());
        return cost;
    }
    int Body(const QJsonObject& body) const
    {
        int cost = 0;
        for (auto it = body.begin(); it != body.end(); ++it) {
            if (it.key() == "#tooltip")
                continue;
            if (it.key() == "#execute") {
                cost += 1;
            } else if (it.value().isArray()) {
                for (const QJsonValue& element : it.value().toArray())
                    cost += Writes(it.key()) + Dependents(element.toObject());
            } else {
                const QJsonObject entry = it.value().toObject();
                const QString value = entry.value("#value").toString();
                if (value.startsWith("<all>")) {
                    const int entries = manager.GetAvailableEntries(it.key()).size();
                    cost += entries * (Writes(it.key()) + Dependents(entry)) + Writes(it.key()) + 2;
                } else {
                    cost += Writes(it.key()) + Dependents(entry);
                }
            }
        }
        return cost;
    }

    QJsonObject file;
    FeatureManager& manager;
};

// The fewest accesses that rebuilding the status tree takes as the camera
// is now: for each of its selectors the query of its entries, the read of
// the selected one, one write and one read of the governing feature per
// entry, and the write back; for each active entry, per selected feature
// that is not a command, whether it is writable and, if so, its value.
int TreeBound(FeatureManager& manager)
{
    const QList<QPair<QString, QString>> selectors = {{"CounterSelector", "CounterEventSource"},
                                                     {"TimerSelector", "TimerTriggerSource"},
                                                     {"TriggerSelector", "TriggerMode"}};
    int cost = 0;
    for (const auto& [selector, governing] : selectors) {
        if (!manager.HasFeature(selector))
            continue;
        const QStringList entries = manager.GetAvailableEntries(selector);
        const QString saved = manager.GetStringValue(selector);
        cost += 3 + 2 * entries.size();
        for (const QString& entry : entries) {
            manager.WriteValue(selector, entry);
            if (manager.GetStringValue(governing) == "Off")
                continue;
            for (const QString& feature : manager.GetSelectedFeatures(selector))
                if (manager.GetDataType(feature) != KelCPP::KelFeatureDataCommand)
                    cost += manager.IsWritable(feature) ? 2 : 1;
        }
        manager.WriteValue(selector, saved);
    }
    return cost;
}

QJsonObject PresetsFile()
{
    QFile file(QCoreApplication::applicationDirPath() + "/plugins/AdvTrigger_VistaPro_Presets.json");
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

void Preset(benchmark::State& state, const QString& name)
{
    const auto rig = IdlePage();
    KelCPP::FeaturePtrVector list;
    rig->camera->GetFeatures(list);
    FeatureList wrappers(new QVector<KelFeatureWrapperPtr>());
    for (auto& feature : list)
        wrappers->append(std::make_shared<KelFeatureWrapper>(feature));
    FeatureManager manager(wrappers);
    const int presetBound = PresetBound(PresetsFile(), manager).Of(name);
    int treeBound = 0;
    Measure measure{state, *rig};
    for (auto _ : state) {
        measure([&] { rig->SelectPreset(name); });
        treeBound = TreeBound(manager);
        rig->Settle(1);
    }
    state.counters["bound"] = presetBound + treeBound;
}

// A description with `count` integer features named F0, F1, ...
std::string SyntheticCamera(int count)
{
    std::string json = R"({ "format": 1, "features": [)";
    for (int i = 0; i < count; ++i)
        json += (i ? "," : "") + std::string(R"({ "name": "F)") + std::to_string(i) + R"(", "type": "Integer" })";
    return json + "] }";
}

void NameLookup(benchmark::State& state)
{
    const int count = int(state.range(0));
    std::string error;
    KelCPP::Sim::SimOptions options;
    options.live = false;
    auto camera = KelCPP::Sim::SimCamera::FromJson(SyntheticCamera(count), &error, options);
    KelCPP::FeaturePtrVector list;
    camera->GetFeatures(list);
    FeatureList wrappers(new QVector<KelFeatureWrapperPtr>());
    for (auto& feature : list)
        wrappers->append(std::make_shared<KelFeatureWrapper>(feature));
    FeatureManager manager(wrappers);
    // The last feature: the worst case for a walk in camera order.
    const QString last = QStringLiteral("F%1").arg(count - 1);
    const std::uint64_t before = camera->TotalCallCount();
    for (auto _ : state)
        benchmark::DoNotOptimize(manager.HasFeature(last));
    state.counters["calls"] = benchmark::Counter(double(camera->TotalCallCount() - before),
                                                 benchmark::Counter::kAvgIterations);
}

// The full camera as described (mode 0), with 10 kHz on every input line
// (1), and with that and a timer running as a 100 kHz PWM (2) or as the
// dialog's 1 MHz one, 0.5 us low and high (3), driving Line2.
std::shared_ptr<KelCPP::Sim::SimCamera> FastCamera(int mode, bool live, std::string& error)
{
    QFile file(QString::fromStdString(CameraFile("full.json")));
    file.open(QIODevice::ReadOnly);
    QJsonObject description = QJsonDocument::fromJson(file.readAll()).object();
    if (mode >= 1) {
        QJsonObject simulation = description.value("simulation").toObject();
        QJsonObject lines;
        for (const char* line : {"Line0", "Line1", "Line4", "Line5"})
            lines.insert(line, QJsonObject{{"periodUs", 100}, {"highUs", 50}});
        simulation.insert("inputSignals", lines);
        description.insert("simulation", simulation);
    }
    KelCPP::Sim::SimOptions options;
    options.live = live;
    auto camera = KelCPP::Sim::SimCamera::FromJson(QJsonDocument(description).toJson().toStdString(), &error,
                                                   options);
    if (!camera || mode < 2)
        return camera;
    const auto set = [&](const char* name, auto value) {
        KelCPP::FeaturePtr feature;
        camera->GetFeatureByName(name, feature);
        feature->SetValue(value);
    };
    const double half = mode == 2 ? 5.0 : 0.5;
    set("TimerDelay", half);
    set("TimerDuration", half);
    set("TimerTriggerActivation", "FallingEdge");
    set("TimerTriggerSource", "Timer0Active");
    set("LineSelector", "Line2");
    set("LineSource", "Timer0Active");
    return camera;
}

// Real time the simulator takes for one second of simulated time.
void SimulatedSecond(benchmark::State& state)
{
    std::string error;
    const auto camera = FastCamera(int(state.range(0)), false, error);
    if (!camera) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        const auto start = Clock::now();
        camera->Step(std::chrono::seconds(1));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}

// The page live on a running camera for a while, with the event loop and
// the page's own timer: how long the GUI thread is ever kept from its events
// (the camera as FastCamera makes it, range 1).
// The window opens two seconds after the page was shown, once the first
// tick (FirstTick) is over.
void LiveWindow(benchmark::State& state)
{
    const int mode = int(state.range(1)); // as FastCamera
    const int full = mode ? 20 : 60;
    const int seconds = smoke ? 1 : qEnvironmentVariableIntValue("KEL_BENCH_LIVE_SECONDS") ? qEnvironmentVariableIntValue("KEL_BENCH_LIVE_SECONDS") : full;
    for (auto _ : state) {
        std::string error;
        auto camera = FastCamera(mode, true, error);
        KelCPP::FeaturePtrVector list;
        camera->GetFeatures(list);
        auto features = CameraFeatureList::create(list.begin(), list.end());
        QWidget tab;
        auto* page = new AdvTriggerWidget(features, &tab);
        (new QHBoxLayout(&tab))->addWidget(page);
        camera->SetAccessLatency(Latency(state));
        tab.show();
        QEventLoop settle;
        QTimer::singleShot(smoke ? 0 : 2000, &settle, &QEventLoop::quit);
        settle.exec();

        // A probe that should run every 10 ms. Timers run a few ms late as a
        // matter of course; a gap over 20 ms counts as a stall.
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, worst = 0, blocked = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            const qint64 gap = now - last;
            worst = std::max(worst, gap);
            if (gap > 20)
                blocked += gap - 10;
            last = now;
        });
        probe.start(10);
        const std::uint64_t before = camera->DeviceAccessCount();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        state.SetIterationTime(clock.elapsed() / 1000.0);
        state.counters["worst_stall_ms"] = double(worst);
        state.counters["blocked_pct"] = 100.0 * double(blocked) / double(clock.elapsed());
        state.counters["accesses_per_s"] = double(camera->DeviceAccessCount() - before) * 1000.0 / double(clock.elapsed());
    }
}

void Register()
{
    const std::vector<int64_t> latencies = smoke ? std::vector<int64_t>{0} : std::vector<int64_t>{0, 1000};
    auto configure = [](benchmark::internal::Benchmark* b, int64_t latency) {
        b->UseManualTime()->Unit(benchmark::kMillisecond);
        if (smoke)
            b->Iterations(1);
        else if (latency > 0)
            b->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
        else
            b->MinTime(0.2)->Repetitions(5)->ReportAggregatesOnly(true);
    };
    for (int64_t latency : latencies) {
        configure(benchmark::RegisterBenchmark("PageCreate", PageCreate)->Arg(latency), latency);
        configure(benchmark::RegisterBenchmark("FirstTick", FirstTick)->Arg(latency), latency);
        configure(benchmark::RegisterBenchmark("IdleTick", IdleTick)->Arg(latency), latency);
        configure(benchmark::RegisterBenchmark("ChangedTick", ChangedTick)->Args({latency, 1}), latency);
        configure(benchmark::RegisterBenchmark("ChangedTick", ChangedTick)->Args({latency, 10}), latency);
        configure(benchmark::RegisterBenchmark("DialogOpen", DialogOpen)->Arg(latency), latency);
        configure(benchmark::RegisterBenchmark("DialogClose", DialogClose)->Arg(latency), latency);
        const QJsonArray presets = PresetsFile().value("#presets").toArray();
        for (const QJsonValue& preset : presets) {
            const QString name = preset.toString();
            configure(benchmark::RegisterBenchmark(("Preset/" + name.toStdString()).c_str(),
                                                   [name](benchmark::State& s) { Preset(s, name); })
                          ->Arg(latency),
                      latency);
        }
    }
    for (int count : {360, 2000}) {
        auto* b = benchmark::RegisterBenchmark("NameLookup", NameLookup)->Arg(count)->Unit(benchmark::kNanosecond);
        if (smoke)
            b->Iterations(1);
        else
            b->Repetitions(5)->ReportAggregatesOnly(true);
    }
    for (int mode : {0, 1, 2, 3}) {
        auto* b = benchmark::RegisterBenchmark("SimulatedSecond", SimulatedSecond)
                      ->Arg(mode)->UseManualTime()->Unit(benchmark::kMillisecond);
        if (smoke)
            b->Iterations(1);
        else
            b->Repetitions(5)->ReportAggregatesOnly(true);
    }
    // The page on the running camera: with its own signals at 1 ms per
    // access, and with the fastest signals at no latency.
    benchmark::RegisterBenchmark("LiveWindow", LiveWindow)
        ->Args({smoke ? 0 : 1000, 0})->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("LiveWindow", LiveWindow)
        ->Args({0, 3})->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else
            args.push_back(argv[i]);
    }
    int count = int(args.size());
    QApplication app(count, args.data());
    benchmark::Initialize(&count, args.data());
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
