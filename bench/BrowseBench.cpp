// The browse driver against the fake mDNS responder: the process's CPU over wall time while the
// driver idles after start-up, and the time from a device's advertisement to deviceAdded beside
// a bare vireo_dnssd browse and resolve of the same advertisement. Run inside a namespace with
// a veth:
//   tests/netns-run --veth bb0=192.0.2.1/24 build/bench/browse_bench
#include <benchmark/benchmark.h>

#include <net/if.h>
#include <poll.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CpuTime.h"
#include "FakeMdnsResponder.h"
#include "FakeVireoServices.h"
#include "OvaltaVireoBrowse.h"
#include "platform/aud_env.h"
#include "vireo_dns_sd.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace vireo = sim::vireo;

constexpr const char* kInterface = "bb0";
constexpr const char* kInterfaceAddress = "192.0.2.1";
constexpr const char* kArc = "_vireo-arc._udp.";

// Runs the GUI thread's event loop for ms.
void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done holds or ms have passed.
bool runUntil(const std::function<bool()>& done, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < deadline) {
        idle(1);
    }
    return done();
}

sim::FakeMdnsDevice mediaDevice(const std::string& name, int n) {
    sim::FakeMdnsDevice device;
    device.host = "amp-" + std::to_string(n);
    device.address = "192.0.2." + std::to_string(10 + n % 200);
    device.services = {vireo::service(vireo::Row::kMediaDevice, name, vireo::mediaTxt(), 4440)};
    return device;
}

// A bare browse of the media type that resolves every instance at once, on its own thread;
// it notes when each instance was resolved.
class BareBrowse {
public:
    BareBrowse() : m_thread([this] { run(); }) {}
    ~BareBrowse() {
        m_running = false;
        m_thread.join();
    }

    bool resolved(const std::string& name, Clock::time_point* when) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_resolved.find(name);
        if (found == m_resolved.end()) {
            return false;
        }
        *when = found->second;
        return true;
    }

private:
    struct Resolve {
        BareBrowse* self;
        std::string name;
        DNSServiceRef ref = nullptr;
        bool done = false;
    };

    static void onBrowse(DNSServiceRef, DNSServiceFlags flags, uint32_t ifindex,
                         DNSServiceErrorType error, const char* name, const char* type,
                         const char* domain, void* context) {
        auto* self = static_cast<BareBrowse*>(context);
        if (error != 0 || !(flags & kDNSServiceFlagsAdd)) {
            return;
        }
        auto resolve = std::make_unique<Resolve>();
        resolve->self = self;
        resolve->name = name;
        if (DNSServiceResolve(&resolve->ref, 0, ifindex, name, type, domain, onResolve,
                              resolve.get()) == 0) {
            self->m_resolves.push_back(std::move(resolve));
        }
    }

    static void onResolve(DNSServiceRef, DNSServiceFlags, uint32_t, DNSServiceErrorType error,
                          const char*, const char*, uint16_t, uint16_t, const unsigned char*,
                          void* context) {
        auto* resolve = static_cast<Resolve*>(context);
        if (error == 0 && !resolve->done) {
            resolve->done = true;
            std::lock_guard<std::mutex> lock(resolve->self->m_mutex);
            resolve->self->m_resolved.emplace(resolve->name, Clock::now());
        }
    }

    void run() {
        DNSServiceRef browse = nullptr;
        if (DNSServiceBrowse(&browse, 0, 0, kArc, "local", onBrowse, this) != 0) {
            return;
        }
        while (m_running) {
            std::vector<pollfd> fds = {{DNSServiceRefSockFD(browse), POLLIN, 0}};
            std::vector<DNSServiceRef> refs = {browse};
            for (const auto& resolve : m_resolves) {
                if (!resolve->done) {
                    fds.push_back({DNSServiceRefSockFD(resolve->ref), POLLIN, 0});
                    refs.push_back(resolve->ref);
                }
            }
            if (::poll(fds.data(), fds.size(), 20) <= 0) {
                continue;
            }
            for (size_t i = 0; i < fds.size(); ++i) {
                if (fds[i].revents & POLLIN) {
                    DNSServiceProcessResult(refs[i]);
                }
            }
        }
        for (const auto& resolve : m_resolves) {
            DNSServiceRefDeallocate(resolve->ref);
        }
        DNSServiceRefDeallocate(browse);
    }

    std::atomic<bool> m_running{true};
    std::vector<std::unique_ptr<Resolve>> m_resolves;
    std::mutex m_mutex;
    std::map<std::string, Clock::time_point> m_resolved;
    std::thread m_thread;
};

// Environment, responder and a running browse driver on the veth.
struct Setup {
    Setup() {
        aud_env_init(&env);
        ok = fake.start() && ::if_nametoindex(kInterface) != 0;
        if (ok) {
            driver = std::make_unique<OvaltaVireoBrowse>(int(::if_nametoindex(kInterface)));
            driver->setEnvironment(env);
        }
    }
    ~Setup() {
        driver.reset();
        aud_env_release(env);
    }

    aud_env* env = nullptr;
    sim::FakeMdnsResponder fake{kInterfaceAddress};
    std::unique_ptr<OvaltaVireoBrowse> driver;
    bool ok = false;
};

// Process CPU over wall time in the 3 s that follow the driver's start-up, with one device on
// the network to discover.
void BM_BrowseDriverIdle(benchmark::State& state) {
    for (auto _ : state) {
        Setup setup;
        if (!setup.ok) {
            state.SkipWithError("no veth bb0 or cannot start the fake responder");
            return;
        }
        setup.fake.addDevice(vireo::amplifier("AMP-1", "amp-1", "192.0.2.10"));
        bool added = false;
        QObject::connect(setup.driver.get(), &OvaltaVireoBrowse::deviceAdded,
                         [&](BrowserModel*) { added = true; });
        setup.driver->start();
        if (!runUntil([&] { return setup.driver->isStarted(); }, 5000)) {
            state.SkipWithError("the browse did not start");
            return;
        }
        const double cpu = processCpuSeconds();
        const auto wall = Clock::now();
        idle(3000);
        const double cpu_used = processCpuSeconds() - cpu;
        const double wall_used = std::chrono::duration<double>(Clock::now() - wall).count();
        state.counters["cpu_over_wall"] = cpu_used / wall_used;
        state.counters["device_added"] = added;
    }
}
BENCHMARK(BM_BrowseDriverIdle)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// L: a device's announcement to the driver's deviceAdded; L0: to the bare resolve's answer.
// The announcements fall at every phase of the driver's 100 ms cycle.
void BM_AdvertisementToDeviceAdded(benchmark::State& state) {
    Setup setup;
    if (!setup.ok) {
        state.SkipWithError("no veth bb0 or cannot start the fake responder");
        return;
    }
    std::map<std::string, Clock::time_point> added;
    QObject::connect(setup.driver.get(), &OvaltaVireoBrowse::deviceAdded, [&](BrowserModel* model) {
        added.emplace(model->deviceName().toStdString(), Clock::now());
    });
    setup.driver->start();
    BareBrowse bare;
    if (!runUntil([&] { return setup.driver->isStarted(); }, 5000)) {
        state.SkipWithError("the browse did not start");
        return;
    }
    idle(500);
    const double cycle_ms = setup.driver->timing().cycle_ms;
    std::vector<double> l_ms, l0_ms, excess;
    int n = 0;
    for (auto _ : state) {
        ++n;
        const std::string name = "LAT-" + std::to_string(n);
        const Clock::time_point announced = Clock::now();
        setup.fake.addDevice(mediaDevice(name, n));
        Clock::time_point bare_at;
        if (!runUntil([&] { return added.count(name) && bare.resolved(name, &bare_at); }, 5000)) {
            state.SkipWithError("a device was not reported");
            return;
        }
        const double l = std::chrono::duration<double, std::milli>(added[name] - announced).count();
        const double l0 = std::chrono::duration<double, std::milli>(bare_at - announced).count();
        l_ms.push_back(l);
        l0_ms.push_back(l0);
        excess.push_back((l - l0) / cycle_ms);
        idle(13 * (n % 8) + 50);
    }
    auto mean = [](const std::vector<double>& v) {
        double sum = 0;
        for (const double x : v) {
            sum += x;
        }
        return v.empty() ? 0.0 : sum / double(v.size());
    };
    state.counters["L_ms"] = mean(l_ms);
    state.counters["L0_ms"] = mean(l0_ms);
    state.counters["excess_cycles_mean"] = mean(excess);
    state.counters["excess_cycles_max"] =
        excess.empty() ? 0.0 : *std::max_element(excess.begin(), excess.end());
}
BENCHMARK(BM_AdvertisementToDeviceAdded)
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
