// ZEB_Control's main window with the product's timings, on its SDK drivers, against zeb-sim
// started beside it (bench/whole-network lays out the namespace and starts both): the time
// from the start until every device is listed, has its address and is identified; the poll's
// ticks per second once identified; each of R refreshes until everything is identified again
// and the ticks per second after them; the refill after a device window closes; the
// program's CPU over S idle seconds; VmRSS and VmHWM at the end.
//   whole_network_bench --devices N [--idle S] [--refreshes R] [benchmark flags]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QNetworkInterface>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "CpuTime.h"
#include "IdentificationPoll.h"
#include "MainWindow.h"
#include "Prompts.h"
#include "VireoDevice.h"
#include "VireoDevices.h"
#include "VireoThreads.h"
#include "ZEB_Window.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int devices = 50;
    int idle_s = 60;
    int refreshes = 5;
};
Options g_options;

constexpr int kWaitLimitS = 1200;
constexpr int kTickWindowS = 10;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs the event loop, as the program does, for ms.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// "VmRSS" or "VmHWM" of this process, in MB.
double statusMb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return std::atof(line.c_str() + prefix.size()) / 1024.0;
        }
    }
    return 0;
}

class Network {
public:
    explicit Network(MainWindow& main) : m_main(main) {}

    int listed() const {
        return m_main.findChild<QTableView*>(QStringLiteral("tableView"))->model()->rowCount();
    }

    int withAddress() const {
        return count([](const VireoDevice& d) { return !d.getIpAddress().isNull(); });
    }

    int identified() const {
        return count(
            [](const VireoDevice& d) { return d.getPollState() == identification::kIdentified; });
    }

    bool allIdentified() const { return identified() >= g_options.devices; }

    // Runs the event loop until every device is listed, has its address and is identified, or
    // the limit passes; the seconds from `start` at which each came. Progress every 10 s.
    struct Times {
        double listed = -1, addresses = -1, identified = -1;
    };
    Times waitForAll(Clock::time_point start) const {
        Times times;
        Clock::time_point next_progress = start + std::chrono::seconds(10);
        while (times.identified < 0 && secondsSince(start) < kWaitLimitS) {
            runFor(50);
            const int n = g_options.devices;
            if (times.listed < 0 && listed() >= n) {
                times.listed = secondsSince(start);
            }
            if (times.addresses < 0 && withAddress() >= n) {
                times.addresses = secondsSince(start);
            }
            if (allIdentified()) {
                times.identified = secondsSince(start);
            }
            if (Clock::now() >= next_progress) {
                std::fprintf(
                    stderr,
                    "whole-network: %.0f s: %d listed, %d with address, %d of %d identified%s\n",
                    secondsSince(start), listed(), withAddress(), identified(), n,
                    waiting().c_str());
                next_progress += std::chrono::seconds(10);
            }
        }
        return times;
    }

    // The poll's ticks per second over the tick window.
    double ticksPerSecond() const {
        QSignalSpy ticks(m_main.controller()->findChild<QTimer*>(QStringLiteral("pollTimer")),
                         &QTimer::timeout);
        runFor(kTickWindowS * 1000);
        return double(ticks.count()) / kTickWindowS;
    }

    VireoDevice* anyIdentified() const {
        for (VireoDevice* device : m_main.getVireoDevices()->getDevices()) {
            if (device->getPollState() == identification::kIdentified) {
                return device;
            }
        }
        return nullptr;
    }

private:
    // Up to five records still to be identified, with their poll states.
    std::string waiting() const {
        std::string text;
        int shown = 0;
        for (const VireoDevice* device : m_main.getVireoDevices()->getDevices()) {
            const int state = device->getPollState();
            if (state != identification::kIdentified && state != identification::kIgnored &&
                shown++ < 5) {
                text += (shown == 1 ? "; waiting: " : ", ") + device->getName().toStdString() +
                        " (state " + std::to_string(device->getPollState()) + ")";
            }
        }
        return text;
    }

    int count(const std::function<bool(const VireoDevice&)>& holds) const {
        int n = 0;
        for (const VireoDevice* device : m_main.getVireoDevices()->getDevices()) {
            n += holds(*device) ? 1 : 0;
        }
        return n;
    }

    MainWindow& m_main;
};

// Dialogs would wait for a user: each is answered at once and named on stderr.
class NoDialogs : public Prompts {
public:
    int runModal(QDialog& dialog) override {
        std::fprintf(stderr, "whole-network: dialog \"%s\" answered\n",
                     dialog.windowTitle().toLocal8Bit().constData());
        return 0;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

void useInterface(const char* name) {
    QSettings settings(ZEB_Window::settingsPath(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("network/interface"),
                      QNetworkInterface::interfaceIndexFromName(QString::fromLatin1(name)));
}

void BM_WholeNetwork(benchmark::State& state) {
    useInterface("zeb0");
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        NoDialogs prompts;
        MainWindow main(nullptr, &prompts);
        main.show();
        Network network(main);
        const Network::Times first = network.waitForAll(start);
        if (first.identified < 0) {
            state.SkipWithError("not every device was identified");
            return;
        }
        state.SetIterationTime(first.identified);
        state.counters["listed_s"] = first.listed;
        state.counters["addresses_s"] = first.addresses;
        state.counters["identified_s"] = first.identified;
        runFor(1000);
        state.counters["ticks_per_s"] = network.ticksPerSecond();

        const double cpu0 = processCpuSeconds();
        const Clock::time_point idle_start = Clock::now();
        runFor(g_options.idle_s * 1000);
        state.counters["idle_cpu_pct"] =
            100.0 * (processCpuSeconds() - cpu0) / secondsSince(idle_start);
        state.counters["rss_mb"] = statusMb("VmRSS");

        double slowest = 0;
        for (int r = 0; r < g_options.refreshes; ++r) {
            const Clock::time_point refresh_start = Clock::now();
            main.refresh();
            const Network::Times again = network.waitForAll(refresh_start);
            if (again.identified < 0) {
                state.SkipWithError("not every device was identified after a refresh");
                return;
            }
            std::fprintf(stderr, "whole-network: refresh %d: identified again in %.1f s\n", r + 1,
                         again.identified);
            slowest = std::max(slowest, again.identified);
        }
        if (g_options.refreshes > 0) {
            state.counters["refresh_max_s"] = slowest;
            runFor(1000);
            state.counters["ticks_per_s_after_refreshes"] = network.ticksPerSecond();
        }

        VireoDevice* device = network.anyIdentified();
        if (!device) {
            state.SkipWithError("no identified device to open");
            return;
        }
        main.openZEB_Window(device);
        runFor(1000);
        const Clock::time_point close_start = Clock::now();
        main.getZEB_Window()->close();
        const Network::Times refill = network.waitForAll(close_start);
        state.counters["window_refill_s"] = refill.identified;
        state.counters["hwm_mb"] = statusMb("VmHWM");
    }
}

// Takes this bench's own options out of argv before the benchmark library reads it.
void takeOptions(int* argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        const auto value = [&](int* out, int low, int high) {
            if (i + 1 >= *argc || std::atoi(argv[i + 1]) < low || std::atoi(argv[i + 1]) > high) {
                std::fprintf(stderr, "whole_network_bench: %s takes %d to %d\n", argv[i], low,
                             high);
                std::exit(2);
            }
            *out = std::atoi(argv[++i]);
        };
        if (std::strcmp(argv[i], "--devices") == 0) {
            value(&g_options.devices, 1, 2000);
        } else if (std::strcmp(argv[i], "--idle") == 0) {
            value(&g_options.idle_s, 1, 3600);
        } else if (std::strcmp(argv[i], "--refreshes") == 0) {
            value(&g_options.refreshes, 0, 100);
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
}

}  // namespace

int main(int argc, char** argv) {
    takeOptions(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("WholeNetwork", BM_WholeNetwork)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
