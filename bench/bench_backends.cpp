// Camera calls and wall time of the page's main actions on both backends:
// the full camera in our simulator, and the same camera served by Aravis's
// fake GigE Vision camera over the real protocol (bench/backends.sh starts
// it). Prints a Markdown table of medians; bench/backends.sh puts it into
// docs/aravis.md.
//
// Usage: bench_backends [--address IP] [--repeat N]
// Without --address only the simulator is measured.

#include "bench/pagerig.h"
#include "kelcpp/aravis/araviscamera.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Backend {
    const char* title;
    std::function<std::unique_ptr<PageRig>()> make;
    bool network = false;
};

struct Result {
    double ms = 0;
    std::uint64_t calls = 0;
    std::uint64_t transactions = 0;
};

// UDP datagrams this machine sent so far. On loopback each GigE Vision
// control transaction (a register read or write) is two: the request and
// its acknowledgement. Aravis does not count them itself.
std::uint64_t UdpDatagramsSent()
{
    QFile file(QStringLiteral("/proc/net/snmp"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QList<QByteArray> names;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.startsWith("Udp:"))
            continue;
        if (names.isEmpty()) {
            names = line.simplified().split(' ');
            continue;
        }
        const QList<QByteArray> values = line.simplified().split(' ');
        const int at = names.indexOf("OutDatagrams");
        return at >= 0 && at < values.size() ? values[at].toULongLong() : 0;
    }
    return 0;
}

std::string SourceFile(const char* path)
{
    return qEnvironmentVariable("KEL_SOURCE_DIR", QStringLiteral(KEL_SOURCE_DIR)).toStdString() + "/" + path;
}

// Runs `prepare` untimed, then times `action` and counts its calls; the
// median over `repeat` runs.
Result Measure(const Backend& backend, int repeat, const std::function<void(PageRig&)>& prepare,
               const std::function<void(PageRig&)>& action)
{
    std::vector<double> times;
    std::vector<std::uint64_t> calls, transactions;
    for (int i = 0; i < repeat; ++i) {
        const auto rig = backend.make();
        prepare(*rig);
        const std::uint64_t before = rig->Accesses();
        const std::uint64_t sentBefore = UdpDatagramsSent();
        const auto start = Clock::now();
        action(*rig);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        transactions.push_back((UdpDatagramsSent() - sentBefore) / 2);
        calls.push_back(rig->Accesses() - before);
    }
    std::sort(times.begin(), times.end());
    std::sort(calls.begin(), calls.end());
    std::sort(transactions.begin(), transactions.end());
    const std::size_t median = times.size() / 2;
    return {times[median], calls[median], backend.network ? transactions[median] : 0};
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString address;
    int repeat = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--address") == 0 && i + 1 < argc)
            address = argv[++i];
        else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
    }

    std::vector<Backend> backends;
    backends.push_back({"Simulator", [] { return std::make_unique<PageRig>(SourceFile("data/cameras/full.json")); }});
    std::shared_ptr<KelCPP::Aravis::AravisCamera> aravis;
    if (!address.isEmpty()) {
        std::string error;
        KelCPP::Aravis::AravisOptions options;
        options.pollRateHz = 0; // nothing changes by itself on the fake camera
        aravis = KelCPP::Aravis::AravisCamera::Open(address.toStdString(), &error, options);
        if (!aravis) {
            std::fprintf(stderr, "bench_backends: %s\n", error.c_str());
            return 1;
        }
        backends.push_back({"Aravis, GigE Vision on loopback", [aravis] {
                                return std::make_unique<PageRig>(
                                    aravis, [aravis] { return aravis->DeviceAccessCount(); },
                                    [aravis] { aravis->WaitForNotifications(); });
                            },
                            true});
    }

    QTemporaryDir presets;
    QDir(presets.path()).mkdir(QStringLiteral("plugins"));
    QFile::copy(QString::fromStdString(SourceFile("data/presets/AdvTrigger_VistaPro_Presets.json")),
                presets.path() + QStringLiteral("/plugins/AdvTrigger_VistaPro_Presets.json"));

    auto nothing = [](PageRig&) {};
    auto idle = [](PageRig& rig) {
        rig.ShowPage();
        rig.Settle(1);
    };
    struct Action {
        const char* title;
        std::function<void(PageRig&)> prepare;
        std::function<void(PageRig&)> action;
    };
    const std::vector<Action> actions = {
        {"Page show", nothing, [](PageRig& rig) { rig.ShowPage(); }},
        {"Refresh tick, nothing changed", idle, [](PageRig& rig) { rig.Tick(); }},
        {"Advanced dialog open", idle, [](PageRig& rig) { rig.OpenDialog(); }},
        {"Preset \"Hardware Trigger (Line0)\"",
         [&](PageRig& rig) {
             idle(rig);
             rig.LoadPresetsFrom(presets.path());
         },
         [](PageRig& rig) { rig.SelectPreset(QStringLiteral("Hardware Trigger (Line0)")); }},
    };

    std::printf("| Action |");
    for (const Backend& backend : backends)
        std::printf(backend.network ? " %s: calls | register transactions | time |" : " %s: calls | time |",
                    backend.title);
    std::printf("\n|---|");
    for (const Backend& backend : backends)
        std::printf(backend.network ? "---:|---:|---:|" : "---:|---:|");
    std::printf("\n");
    for (const Action& action : actions) {
        std::printf("| %s |", action.title);
        for (const Backend& backend : backends) {
            const Result result = Measure(backend, repeat, action.prepare, action.action);
            std::printf(" %llu |", static_cast<unsigned long long>(result.calls));
            if (backend.network)
                std::printf(" %llu |", static_cast<unsigned long long>(result.transactions));
            std::printf(" %.1f ms |", result.ms);
        }
        std::printf("\n");
    }
    return 0;
}
