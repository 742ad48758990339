// The controller on its SDK drivers against a simulated network of N devices run by a child
// process (this program started again with --fakes N): identification time against 5 turns of
// every device (5 x N x the mean tick period of the same run), and the controller process's CPU
// while 50 identified devices send their amplifier status every second. Run inside a namespace
// with the devices' addresses on zeb0's peer: bench/run-controller-bench.sh.
#include <benchmark/benchmark.h>

#include <net/if.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "FakeNetwork.h"
#include "IdentificationPoll.h"
#include "VireoDevice.h"
#include "VireoThreads.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kInterface = "zeb0";

std::string deviceAddress(int index) {
    return "192.0.2." + std::to_string(10 + index);
}

// --- The child: the simulated network ---

// Runs n devices until stdin ends; "status" makes each send "amp 1,0,0" every second.
int serveFakes(int n) {
    std::vector<sim::FakeNetworkDevice> devices;
    for (int i = 0; i < n; ++i) {
        devices.push_back(
            sim::FakeNetwork::amplifier("amp-" + std::to_string(i + 1), deviceAddress(i), i + 1));
    }
    sim::FakeNetwork network(devices);
    if (!network.start()) {
        std::cout << "failed" << std::endl;
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "status") {
            for (size_t i = 0; i < network.size(); ++i) {
                network.device(i).sendStatusEvery(std::chrono::milliseconds(1000), "amp 1,0,0");
            }
        }
    }
    network.stop();
    return 0;
}

// --- The parent: the controller ---

// The child process running the fakes; ends it when destroyed.
class FakesProcess {
public:
    explicit FakesProcess(int n) {
        int to_child[2];
        int from_child[2];
        if (::pipe(to_child) != 0 || ::pipe(from_child) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, to_child[0], 0);
        posix_spawn_file_actions_adddup2(&actions, from_child[1], 1);
        posix_spawn_file_actions_addclose(&actions, to_child[1]);
        posix_spawn_file_actions_addclose(&actions, from_child[0]);
        const std::string count = std::to_string(n);
        char program[] = "/proc/self/exe";
        char flag[] = "--fakes";
        std::vector<char> value(count.begin(), count.end());
        value.push_back('\0');
        char* argv[] = {program, flag, value.data(), nullptr};
        if (::posix_spawn(&m_pid, program, &actions, nullptr, argv, environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(to_child[0]);
        ::close(from_child[1]);
        m_in = to_child[1];
        m_out = from_child[0];
    }

    ~FakesProcess() {
        if (m_in >= 0) {
            ::close(m_in);
        }
        if (m_out >= 0) {
            ::close(m_out);
        }
        if (m_pid > 0) {
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }

    // Whether the child reported its network started within 10 s.
    bool ready() {
        std::string line;
        char c = 0;
        pollfd fd{m_out, POLLIN, 0};
        while (m_pid > 0 && ::poll(&fd, 1, 10000) > 0 && ::read(m_out, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line == "ready";
    }

    void send(const std::string& line) {
        const std::string text = line + "\n";
        (void)!::write(m_in, text.data(), text.size());
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
};

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runUntil(const std::function<bool()>& done, int ms) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < deadline) {
        idle(1);
    }
    return done();
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A controller on its SDK drivers (product timings but the tick) and what its poll did.
class Run {
public:
    Run(int n, int tick_ms) : m_n(n) {
        VireoThreadsTiming timing;
        timing.tick_ms = tick_ms;
        timing.first_refresh_ms = -1;
        controller = std::make_unique<VireoThreads>(int(::if_nametoindex(kInterface)), nullptr,
                                                    nullptr, timing);
        QTimer* poll = controller->findChild<QTimer*>(QStringLiteral("pollTimer"));
        QObject::connect(poll, &QTimer::timeout, [this] {
            m_ticks.push_back(Clock::now());
            if (m_first < 0 &&
                count([](const VireoDevice* d) { return !d->getIpAddress().isNull(); }) == m_n) {
                m_first = int(m_ticks.size()) - 1;
            }
        });
        QObject::connect(controller->getVireoDevices(), &VireoDevices::vireoDevicesChanged, [this] {
            if (m_done == Clock::time_point{} && identified() == m_n) {
                m_done = Clock::now();
            }
        });
    }

    int count(const std::function<bool(const VireoDevice*)>& test) const {
        int n = 0;
        for (const VireoDevice* device : controller->getVireoDevices()->getDevices()) {
            n += test(device);
        }
        return n;
    }
    int identified() const {
        return count(
            [](const VireoDevice* d) { return d->getPollState() == identification::kIdentified; });
    }
    bool finished() const { return m_done != Clock::time_point{}; }

    // Identification time over 5 x N x the mean tick period since the first addressed tick.
    void report(benchmark::State& state) const {
        if (m_first < 0 || !finished()) {
            state.SkipWithError("not every device was identified");
            return;
        }
        int last = m_first;
        while (last + 1 < int(m_ticks.size()) && m_ticks[size_t(last + 1)] <= m_done) {
            ++last;
        }
        const double mean_tick =
            last > m_first
                ? seconds(m_ticks[size_t(last)] - m_ticks[size_t(m_first)]) / double(last - m_first)
                : 0.0;
        const double took = seconds(m_done - m_ticks[size_t(m_first)]);
        state.counters["identify_s"] = took;
        state.counters["mean_tick_ms"] = mean_tick * 1000.0;
        state.counters["ratio"] = mean_tick > 0 ? took / (5.0 * m_n * mean_tick) : 0.0;
    }

    std::unique_ptr<VireoThreads> controller;

private:
    const int m_n;
    std::vector<Clock::time_point> m_ticks;
    int m_first = -1;
    Clock::time_point m_done{};
};

void BM_Identification(benchmark::State& state) {
    const int n = int(state.range(0));
    const int tick_ms = int(state.range(1));
    for (auto _ : state) {
        FakesProcess fakes(n);
        if (!fakes.ready()) {
            state.SkipWithError("the fakes did not start");
            return;
        }
        Run run(n, tick_ms);
        runUntil([&] { return run.finished(); }, 10 * 5 * n * tick_ms + 20000);
        run.report(state);
    }
}
BENCHMARK(BM_Identification)
    ->Args({50, 20})
    ->Args({10, 300})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

void BM_StatusCpu(benchmark::State& state) {
    constexpr int kDevices = 50;
    for (auto _ : state) {
        FakesProcess fakes(kDevices);
        if (!fakes.ready()) {
            state.SkipWithError("the fakes did not start");
            return;
        }
        const int tick_ms = int(state.range(0));
        Run run(kDevices, tick_ms);
        if (!runUntil([&] { return run.finished(); }, 10 * 5 * kDevices * tick_ms + 90000)) {
            state.SkipWithError("not every device was identified");
            return;
        }
        int changes = 0;
        QObject::connect(run.controller->getVireoDevices(), &VireoDevices::vireoDevicesChanged,
                         [&changes] { ++changes; });
        fakes.send("status");
        idle(1500);
        changes = 0;
        const double cpu = cpuSeconds();
        const Clock::time_point start = Clock::now();
        idle(10000);
        const double wall = seconds(Clock::now() - start);
        state.counters["cpu_percent"] = 100.0 * (cpuSeconds() - cpu) / wall;
        state.counters["status_per_s"] = changes / wall;
        state.counters["identified"] = run.identified();
    }
}
BENCHMARK(BM_StatusCpu)->Arg(20)->Arg(300)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--fakes") == 0) {
        return serveFakes(std::atoi(argv[2]));
    }
    ::signal(SIGPIPE, SIG_IGN);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
