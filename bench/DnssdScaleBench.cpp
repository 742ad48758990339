// 250 devices of the maker, each with a "_vireo-arc" and a "_vireo-cmc" service, answered by the
// fake responder; both types are browsed at once and every instance resolved as the SDK does
// (one resolve per add, ended at its reply). Reports the time from DNSServiceBrowse to the last
// add and to the last resolve, and the queries the library sends in the first seconds (the
// argument, 60; ZEB_DNSSD_BENCH_SECONDS shortens it) beside the number of instances.
// Run inside tests/netns-run --veth mdns0=192.0.2.1/24.
#include <benchmark/benchmark.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "FakeMdnsResponder.h"
#include "vireo_dns_sd.h"

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

}  // namespace

BENCHMARK_MAIN();
