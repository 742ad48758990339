// Devices of the maker, each with a "_vireo-arc" and a "_vireo-cmc" service, answered by the
// fake responder. Run inside tests/netns-run --veth mdns0=192.0.2.1/24.
// - BM_Browse250DevicesOfTwoTypes: both types browsed at once and every instance resolved as
//   the SDK does (one resolve per add, ended at its reply). Reports the time from
//   DNSServiceBrowse to the last add and to the last resolve, and the queries the library sends
//   in the first seconds (60; ZEB_DNSSD_BENCH_SECONDS shortens it) beside the number of
//   instances.
// - BM_IdleEngine/N: N devices browsed as the browse driver does (six types, every instance
//   resolved, the host's address asked for), then the driver's idle cycles: every 100 ms a look
//   at the browse sockets, every eleventh cycle each device's two PTR records reconfirmed on the
//   browsed interface. The responder runs in a child process, so the process's CPU time and
//   allocations are the library's and the driver loop's alone; reported per cycle and as a
//   share of a core over 33 s (ZEB_DNSSD_IDLE_SECONDS), measured after 64 s of cycles
//   (ZEB_DNSSD_IDLE_SETTLE), once the browse queries, each with every instance as a known
//   answer, have backed off to a minute.
#include <benchmark/benchmark.h>

#include <net/if.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "CpuTime.h"
#include "FakeMdnsResponder.h"
#include "vireo_dns_sd.h"

namespace {

std::atomic<unsigned long long> g_allocations{0};

}  // namespace

// Every allocation of the process is counted (the default delete frees with free()); kept out
// of line, so that the compiler sees no malloc to pair with a delete.
__attribute__((noinline)) void* operator new(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](size_t size) {
    return operator new(size);
}

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kDevices = 250;
const char* const kTypes[] = {"_vireo-arc._udp.", "_vireo-cmc._udp."};

sim::FakeMdnsDevice device(int number) {
    char instance[32];
    std::snprintf(instance, sizeof instance, "Corvanti AMP-%04d", number);
    char id[17];
    std::snprintf(id, sizeof id, "00112233%08x", number);
    sim::FakeMdnsDevice amp;
    amp.host = "amp-" + std::to_string(number);
    amp.address = "192.0.2." + std::to_string(10 + number % 200);
    amp.services.push_back(
        {instance,
         "_vireo-arc._udp",
         4440,
         {"arcp_vers=3.2.1", "router_vers=1.2.3", "mf=Corvanti", std::string("model=_") + id}});
    amp.services.push_back(
        {instance, "_vireo-cmc._udp", 8800, {std::string("id=") + id, "process=0"}});
    return amp;
}

struct Run {
    Clock::time_point start;
    std::set<DNSServiceRef> resolving;
    size_t adds = 0;
    size_t resolves = 0;
    size_t errors = 0;
    Clock::time_point last_add;
    Clock::time_point last_resolve;
};

void onResolve(DNSServiceRef ref, DNSServiceFlags, uint32_t, DNSServiceErrorType error, const char*,
               const char*, uint16_t, uint16_t, const unsigned char*, void* context) {
    auto* run = static_cast<Run*>(context);
    run->errors += error != 0;
    ++run->resolves;
    run->last_resolve = Clock::now();
    run->resolving.erase(ref);
    DNSServiceRefDeallocate(ref);
}

void onBrowse(DNSServiceRef, DNSServiceFlags flags, uint32_t ifindex, DNSServiceErrorType error,
              const char* name, const char* type, const char* domain, void* context) {
    auto* run = static_cast<Run*>(context);
    if (error != 0 || !(flags & kDNSServiceFlagsAdd)) {
        ++run->errors;
        return;
    }
    ++run->adds;
    run->last_add = Clock::now();
    DNSServiceRef ref = nullptr;
    if (DNSServiceResolve(&ref, 0, ifindex, name, type, domain, onResolve, run) != 0) {
        ++run->errors;
        return;
    }
    run->resolving.insert(ref);
}

// Runs the replies of the browses and the resolves under way until `until`.
void pump(Run& run, DNSServiceRef (&browses)[2], Clock::time_point until) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left <= 0ms) {
            return;
        }
        std::vector<DNSServiceRef> refs(browses, browses + 2);
        refs.insert(refs.end(), run.resolving.begin(), run.resolving.end());
        std::vector<pollfd> fds;
        for (DNSServiceRef ref : refs) {
            fds.push_back({DNSServiceRefSockFD(ref), POLLIN, 0});
        }
        ::poll(fds.data(), fds.size(), int(left.count()));
        for (size_t i = 0; i < refs.size(); ++i) {
            if ((fds[i].revents & POLLIN) && (i < 2 || run.resolving.count(refs[i]))) {
                DNSServiceProcessResult(refs[i]);
            }
        }
    }
}

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

void BM_Browse250DevicesOfTwoTypes(benchmark::State& state) {
    const char* shorter = std::getenv("ZEB_DNSSD_BENCH_SECONDS");
    const auto window = std::chrono::seconds(shorter ? std::atoi(shorter) : state.range(0));
    sim::FakeMdnsResponder::Options options;
    options.announcements = 0;  // the devices have been up a while
    sim::FakeMdnsResponder fake("192.0.2.1", options);
    if (!fake.start()) {
        state.SkipWithError("cannot start the fake responder (run inside tests/netns-run)");
        return;
    }
    for (int number = 0; number < kDevices; ++number) {
        fake.addDevice(device(number));
    }
    for (auto _ : state) {
        fake.clearQueries();
        Run run;
        DNSServiceRef browses[2] = {};
        run.start = Clock::now();
        for (int type = 0; type < 2; ++type) {
            DNSServiceBrowse(&browses[type], 0, 0, kTypes[type], "local", onBrowse, &run);
        }
        pump(run, browses, run.start + window);
        for (DNSServiceRef ref : run.resolving) {
            DNSServiceRefDeallocate(ref);
        }
        for (DNSServiceRef ref : browses) {
            DNSServiceRefDeallocate(ref);
        }
        const double resolved = milliseconds(run.last_resolve - run.start);
        state.SetIterationTime(resolved / 1000);

        // Every query packet, split into browse rounds (a question of a browsed type and the
        // packets continuing its known answers) and the rest.
        size_t datagrams = 0;
        size_t bytes = 0;
        size_t browse_bytes = 0;
        size_t browse_questions = 0;
        size_t known_answers = 0;
        bool in_browse = false;
        for (const sim::FakeMdnsQuery& query : fake.queries()) {
            if (query.when - run.start >= window) {
                continue;
            }
            ++datagrams;
            bytes += query.size;
            if (!query.questions.empty()) {
                in_browse = query.questions[0].second == kDNSServiceType_PTR;
                browse_questions += in_browse;
            }
            if (in_browse) {
                browse_bytes += query.size;
                known_answers += query.known_answers.size();
            }
        }
        const double instances = 2.0 * kDevices;
        const double rounds = browse_questions / 2.0;  // per type
        state.counters["instances"] = instances;
        state.counters["adds"] = double(run.adds);
        state.counters["resolves"] = double(run.resolves);
        state.counters["errors"] = double(run.errors);
        state.counters["all_added_ms"] = milliseconds(run.last_add - run.start);
        state.counters["all_resolved_ms"] = resolved;
        state.counters["window_s"] = double(window.count());
        state.counters["datagrams"] = double(datagrams);
        state.counters["bytes"] = double(bytes);
        state.counters["browse_rounds"] = rounds;
        state.counters["browse_bytes"] = double(browse_bytes);
        state.counters["known_answers"] = double(known_answers);
        state.counters["bytes_per_instance_round"] = double(bytes) / (instances * rounds);
        state.counters["browse_bytes_per_known_answer"] =
            known_answers ? double(browse_bytes) / double(known_answers) : 0;
    }
}
BENCHMARK(BM_Browse250DevicesOfTwoTypes)
    ->Arg(60)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The six DNS-SD types of the browse driver.
const char* const kBrowsedTypes[] = {"_vireo-arc._udp.",  "_vireo-chan._udp.", "_vireo-cmc._udp.",
                                     "_vireo-safe._udp.", "_vireo-upgr._udp.", "_vireo-via._tcp."};
constexpr int kBrowsedTypeCount = 6;
constexpr auto kCycle = 100ms;
constexpr int kReconfirmEvery = 11;  // cycles

// Runs the fake responder with `devices` devices in a child process until the parent closes
// its end of `control`; the child writes one byte to `ready` once it answers.
pid_t startResponder(int devices, const int (&ready)[2], const int (&control)[2]) {
    const pid_t child = ::fork();
    if (child != 0) {
        ::close(ready[1]);
        ::close(control[0]);
        return child;
    }
    ::close(ready[0]);
    ::close(control[1]);
    {
        sim::FakeMdnsResponder::Options options;
        options.announcements = 0;
        sim::FakeMdnsResponder fake("192.0.2.1", options);
        if (fake.start()) {
            for (int number = 0; number < devices; ++number) {
                fake.addDevice(device(number));
            }
            const char byte = 1;
            (void)!::write(ready[1], &byte, 1);
            char end;
            (void)!::read(control[0], &end, 1);
        }
    }
    ::_exit(0);
}

struct Idle {
    std::vector<DNSServiceRef> working;  // resolves and address queries under way
    std::set<std::pair<std::string, std::string>> instances;  // service ("_vireo-arc"), instance
    size_t adds = 0;
    size_t removes = 0;
    size_t addresses = 0;
    size_t errors = 0;
};

void onIdleAddress(DNSServiceRef ref, DNSServiceFlags, uint32_t, DNSServiceErrorType error,
                   const char*, uint16_t, uint16_t, uint16_t, const void*, uint32_t,
                   void* context) {
    auto* idle = static_cast<Idle*>(context);
    idle->errors += error != 0;
    ++idle->addresses;
    idle->working.erase(std::find(idle->working.begin(), idle->working.end(), ref));
    DNSServiceRefDeallocate(ref);
}

void onIdleResolve(DNSServiceRef ref, DNSServiceFlags, uint32_t, DNSServiceErrorType error,
                   const char* fullname, const char* host, uint16_t, uint16_t, const unsigned char*,
                   void* context) {
    auto* idle = static_cast<Idle*>(context);
    idle->errors += error != 0;
    idle->working.erase(std::find(idle->working.begin(), idle->working.end(), ref));
    DNSServiceRefDeallocate(ref);
    if (std::strstr(fullname, "._vireo-arc.")) {  // the router asks for the host's address
        DNSServiceRef query = nullptr;
        if (DNSServiceQueryRecord(&query, kDNSServiceFlagsLongLivedQuery, 0, host,
                                  kDNSServiceType_A, kDNSServiceClass_IN, onIdleAddress,
                                  idle) != 0) {
            ++idle->errors;
            return;
        }
        idle->working.push_back(query);
    }
}

void onIdleBrowse(DNSServiceRef, DNSServiceFlags flags, uint32_t ifindex, DNSServiceErrorType error,
                  const char* name, const char* type, const char* domain, void* context) {
    auto* idle = static_cast<Idle*>(context);
    if (error != 0) {
        ++idle->errors;
        return;
    }
    if (!(flags & kDNSServiceFlagsAdd)) {
        ++idle->removes;
        return;
    }
    ++idle->adds;
    idle->instances.emplace(std::string(type).substr(0, 10), name);
    DNSServiceRef ref = nullptr;
    if (DNSServiceResolve(&ref, 0, ifindex, name, type, domain, onIdleResolve, idle) != 0) {
        ++idle->errors;
        return;
    }
    idle->working.push_back(ref);
}

// Waits on the browses and the operations under way for at most `wait`, then runs the replies.
void pumpOnce(Idle& idle, const std::vector<DNSServiceRef>& browses, Clock::duration wait) {
    std::vector<DNSServiceRef> refs = browses;
    refs.insert(refs.end(), idle.working.begin(), idle.working.end());
    std::vector<pollfd> fds;
    for (DNSServiceRef ref : refs) {
        fds.push_back({DNSServiceRefSockFD(ref), POLLIN, 0});
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait);
    ::poll(fds.data(), fds.size(), int(std::max<long long>(ms.count(), 0)));
    for (size_t i = 0; i < refs.size(); ++i) {
        const bool live = i < browses.size() || std::find(idle.working.begin(), idle.working.end(),
                                                          refs[i]) != idle.working.end();
        if ((fds[i].revents & POLLIN) && live) {
            DNSServiceProcessResult(refs[i]);
        }
    }
}

// What db_browse_reconfirm asks for one instance of "_vireo-arc" or "_vireo-cmc" on the
// browsed interface; `full`: the full name of the service's PTR records.
void reconfirm(const std::string& service, const std::string& instance, const char* full,
               uint32_t ifindex) {
    uint8_t data[256];
    size_t at = 0;
    for (const std::string& label :
         {instance, service, std::string("_udp"), std::string("local")}) {
        data[at++] = uint8_t(label.size());
        std::memcpy(data + at, label.data(), label.size());
        at += label.size();
    }
    data[at++] = 0;
    DNSServiceReconfirmRecord(0, ifindex, full, kDNSServiceType_PTR, kDNSServiceClass_IN,
                              uint16_t(at), data);
}

void BM_IdleEngine(benchmark::State& state) {
    const int devices = int(state.range(0));
    const char* seconds = std::getenv("ZEB_DNSSD_IDLE_SECONDS");
    const auto window = std::chrono::seconds(seconds ? std::atoi(seconds) : 33);
    const char* settle_seconds = std::getenv("ZEB_DNSSD_IDLE_SETTLE");
    const auto settle = std::chrono::seconds(settle_seconds ? std::atoi(settle_seconds) : 64);
    int ready[2];
    int control[2];
    if (::pipe(ready) != 0 || ::pipe(control) != 0) {
        state.SkipWithError("no pipes");
        return;
    }
    const pid_t child = startResponder(devices, ready, control);
    char byte = 0;
    if (child < 0 || ::read(ready[0], &byte, 1) != 1) {
        state.SkipWithError("cannot start the fake responder (run inside tests/netns-run)");
        ::close(control[1]);
        ::waitpid(child, nullptr, 0);
        return;
    }
    for (auto _ : state) {
        Idle idle;
        std::vector<DNSServiceRef> browses(kBrowsedTypeCount);
        for (int type = 0; type < kBrowsedTypeCount; ++type) {
            DNSServiceBrowse(&browses[type], 0, 0, kBrowsedTypes[type], "local", onIdleBrowse,
                             &idle);
        }
        const auto setup = Clock::now();
        const size_t instances = 2 * size_t(devices);
        while ((idle.instances.size() < instances || idle.addresses < size_t(devices) ||
                !idle.working.empty()) &&
               Clock::now() - setup < 120s) {
            pumpOnce(idle, browses, 100ms);
        }
        const double setup_ms = milliseconds(Clock::now() - setup);
        const size_t adds = idle.adds;

        const uint32_t ifindex = ::if_nametoindex("mdns0");  // the browse's own interface
        char arc[kDNSServiceMaxDomainName] = {};
        char cmc[kDNSServiceMaxDomainName] = {};
        DNSServiceConstructFullName(arc, nullptr, "_vireo-arc._udp", "local.");
        DNSServiceConstructFullName(cmc, nullptr, "_vireo-cmc._udp", "local.");
        // The driver's cycles until `until`, counted in `cycles`.
        long cycles = 0;
        auto cycle_at = Clock::now();
        const auto runCycles = [&](Clock::time_point until) {
            while (Clock::now() < until) {
                cycle_at += kCycle;
                pumpOnce(idle, browses, 1ms);  // the driver's select on the browse sockets
                if (++cycles % kReconfirmEvery == 0) {
                    for (const auto& item : idle.instances) {
                        reconfirm(item.first, item.second, item.first == "_vireo-arc" ? arc : cmc,
                                  ifindex);
                    }
                }
                while (Clock::now() < cycle_at) {
                    pumpOnce(idle, browses, cycle_at - Clock::now());
                }
            }
        };
        runCycles(Clock::now() + settle);
        const long settle_cycles = cycles;
        const unsigned long long allocations = g_allocations.load();
        const double cpu = processCpuSeconds();
        const auto start = Clock::now();
        runCycles(start + window);
        cycles -= settle_cycles;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double used = processCpuSeconds() - cpu;
        const double allocated = double(g_allocations.load() - allocations);
        state.SetIterationTime(used);
        for (DNSServiceRef ref : idle.working) {
            DNSServiceRefDeallocate(ref);
        }
        for (DNSServiceRef ref : browses) {
            DNSServiceRefDeallocate(ref);
        }
        state.counters["devices"] = devices;
        state.counters["instances"] = double(idle.instances.size());
        state.counters["setup_ms"] = setup_ms;
        state.counters["idle_adds"] = double(idle.adds - adds);
        state.counters["removes"] = double(idle.removes);
        state.counters["errors"] = double(idle.errors);
        state.counters["cycles"] = double(cycles);
        state.counters["cpu_us_per_cycle"] = used * 1e6 / double(cycles);
        state.counters["core_percent"] = 100 * used / wall;
        state.counters["allocs_per_cycle"] = allocated / double(cycles);
    }
    ::close(control[1]);
    ::close(ready[0]);
    ::waitpid(child, nullptr, 0);
}
BENCHMARK(BM_IdleEngine)
    ->Arg(50)
    ->Arg(250)
    ->Arg(1000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
