// Querying 32 fake ARCP devices opened by explicit address (the capabilities sequence, then one
// refresh of every component), beside as many raw loopback UDP round trips of the same sizes
// with the same concurrency (one exchange per device at a time, at most 16 at once). Run
// inside tests/netns-run: the devices use 127.0.0.2 .. 127.0.0.33 and port 4440.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "FakeArcpAnswers.h"
#include "FakeArcpResponder.h"
#include "platform/aud_env.h"
#include "routing/dr_device.h"
#include "routing/dr_devices.h"

namespace {

constexpr int kDevices = 32;
constexpr size_t kInFlight = DR_DEVICES_NUM_REQUESTS;
constexpr uint16_t kRawPort = 4441;

std::string addressOf(int device) {
    return "127.0.0." + std::to_string(2 + device);
}

sim::FakeArcpState benchDevice(int device) {
    sim::FakeArcpState state = sim::fakeArcpDevice("AMP-" + std::to_string(device), 8, 8);
    state.labels = {{1, 1, "Front"}, {2, 2, "Rear"}};
    state.tx_flows = {{1, 0, 48000, 24, {1, 2}, "tx", {}}};
    state.rx_flows = {{1, 0, 48000, 24, {1, 2}, "rx", {{0xC0000201u, 5004}}}};
    state.properties = {{0x0210, 3, "", 1}, {0x8204, 77, "", 1}};
    return state;
}

// One device's walk: the capabilities query, then every component.
struct Walk {
    dr_device* device = nullptr;
    int step = 0;  // 0 capabilities, 1 + component
    bool outstanding = false;
};

void onDone(dr_device* device, dr_request_id, aud_error_t) {
    Walk* walk = static_cast<Walk*>(dr_device_get_context(device));
    walk->outstanding = false;
    ++walk->step;
}

// Starts the walk's next step; false when it must wait for a free slot.
bool next(Walk* walk) {
    dr_request_id request = nullptr;
    aud_error_t result;
    if (walk->step == 0) {
        result = dr_device_query_capabilities(walk->device, onDone, &request);
    } else {
        const auto component = dr_device_component(walk->step - 1);
        dr_device_mark_component_stale(walk->device, component);
        result = dr_device_update_component(walk->device, onDone, &request, component);
        if (result == AUD_SUCCESS && !request) {
            ++walk->step;
            return true;
        }
    }
    walk->outstanding = result == AUD_SUCCESS;
    return walk->outstanding;
}

void BM_RoutingQuery32(benchmark::State& state) {
    sim::FakeArcpResponder fake;
    for (int i = 0; i < kDevices; ++i) {
        if (fake.addDevice(addressOf(i), benchDevice(i)) < 0) {
            state.SkipWithError("cannot bind the fake devices (run inside tests/netns-run)");
            return;
        }
    }
    fake.start();
    aud_env* env = nullptr;
    aud_env_init(&env);
    dr_devices* devices = nullptr;
    dr_devices_new(env, &devices);
    size_t exchanges = 0;
    for (auto _ : state) {
        std::vector<Walk> walks(kDevices);
        for (int i = 0; i < kDevices; ++i) {
            dr_device_open_config config{};
            config.name = "";
            config.num_entries = 1;
            config.flags = DR_DEVICE_OPEN_EXPLICIT_ADDRESSES;
            config.addresses[0].address = inet_addr(addressOf(i).c_str());
            dr_device_open_with_config(devices, &config, &walks[i].device);
            dr_device_set_context(walks[i].device, &walks[i]);
        }
        for (;;) {
            size_t done = 0;
            for (Walk& walk : walks) {
                if (walk.step > DR_DEVICE_NUM_COMPONENTS) {
                    ++done;
                } else if (!walk.outstanding) {
                    next(&walk);
                }
            }
            if (done == walks.size()) {
                break;
            }
            aud_socket_set set{};
            dr_devices_get_sockets(devices, &set);
            const aud_time wait = {0, 10000};
            aud_socket_select(&set, nullptr, nullptr, &wait, nullptr);
            dr_devices_process(devices, &set);
        }
        for (Walk& walk : walks) {
            dr_device_close(walk.device);
        }
    }
    exchanges = fake.log().size();
    state.counters["round_trips"] =
        benchmark::Counter(double(exchanges) / double(state.iterations()));
    dr_devices_delete(devices);
    aud_env_release(env);
    fake.stop();
}
BENCHMARK(BM_RoutingQuery32)->UseRealTime()->Unit(benchmark::kMillisecond);

// The request and reply sizes of one device's walk, taken from the fake's own answers.
std::vector<std::pair<size_t, size_t>> walkSizes() {
    sim::FakeArcpResponder fake;
    fake.addDevice(addressOf(0), benchDevice(0));
    fake.start();
    aud_env* env = nullptr;
    aud_env_init(&env);
    dr_devices* devices = nullptr;
    dr_devices_new(env, &devices);
    Walk walk;
    dr_device_open_config config{};
    config.name = "";
    config.num_entries = 1;
    config.flags = DR_DEVICE_OPEN_EXPLICIT_ADDRESSES;
    config.addresses[0].address = inet_addr(addressOf(0).c_str());
    dr_device_open_with_config(devices, &config, &walk.device);
    dr_device_set_context(walk.device, &walk);
    while (walk.step <= DR_DEVICE_NUM_COMPONENTS) {
        if (!walk.outstanding) {
            next(&walk);
        }
        aud_socket_set set{};
        dr_devices_get_sockets(devices, &set);
        const aud_time wait = {0, 10000};
        aud_socket_select(&set, nullptr, nullptr, &wait, nullptr);
        dr_devices_process(devices, &set);
    }
    dr_device_close(walk.device);
    dr_devices_delete(devices);
    aud_env_release(env);
    fake.stop();
    std::vector<std::pair<size_t, size_t>> sizes;
    sim::FakeArcpState state = benchDevice(0);
    for (const sim::FakeArcpRequest& request : fake.log()) {
        sim::arcp::Request parsed;
        sim::arcp::parseRequest(request.bytes.data(), request.bytes.size(), &parsed);
        sizes.emplace_back(request.bytes.size(), sim::arcp::answer(state, parsed).size());
    }
    return sizes;
}

int boundSocket(const std::string& address, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = inet_addr(address.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Answers each datagram with as many bytes as its bytes 4-5 ask for, from the socket it came to.
class RawResponder {
public:
    bool start() {
        for (int i = 0; i < kDevices; ++i) {
            const int fd = boundSocket(addressOf(i), kRawPort);
            if (fd < 0) {
                return false;
            }
            m_sockets.push_back(fd);
        }
        if (::pipe2(m_wake, O_CLOEXEC) != 0) {
            return false;
        }
        m_thread = std::thread([this] { run(); });
        return true;
    }
    ~RawResponder() {
        if (m_thread.joinable()) {
            (void)!::write(m_wake[1], "x", 1);
            m_thread.join();
        }
        for (int fd : m_sockets) {
            ::close(fd);
        }
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }

private:
    void run() {
        std::vector<pollfd> fds;
        for (int fd : m_sockets) {
            fds.push_back({fd, POLLIN, 0});
        }
        fds.push_back({m_wake[0], POLLIN, 0});
        uint8_t buffer[2048] = {};
        for (;;) {
            ::poll(fds.data(), fds.size(), -1);
            if (fds.back().revents) {
                return;
            }
            for (size_t i = 0; i + 1 < fds.size(); ++i) {
                if (!(fds[i].revents & POLLIN)) {
                    continue;
                }
                sockaddr_in from{};
                socklen_t length = sizeof from;
                const ssize_t n = ::recvfrom(fds[i].fd, buffer, sizeof buffer, 0,
                                             reinterpret_cast<sockaddr*>(&from), &length);
                if (n >= 6) {
                    const size_t reply = size_t(buffer[4]) << 8 | buffer[5];
                    ::sendto(fds[i].fd, buffer, reply, 0, reinterpret_cast<sockaddr*>(&from),
                             length);
                }
            }
        }
    }

    std::vector<int> m_sockets;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
};

void BM_RawRoundTrips32(benchmark::State& state) {
    const std::vector<std::pair<size_t, size_t>> sizes = walkSizes();
    RawResponder responder;
    if (sizes.empty() || !responder.start()) {
        state.SkipWithError("cannot bind the raw responders (run inside tests/netns-run)");
        return;
    }
    const int client = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    std::vector<sockaddr_in> targets(kDevices);
    std::map<uint32_t, int> device_of;
    for (int i = 0; i < kDevices; ++i) {
        targets[i].sin_family = AF_INET;
        targets[i].sin_port = htons(kRawPort);
        targets[i].sin_addr.s_addr = inet_addr(addressOf(i).c_str());
        device_of[targets[i].sin_addr.s_addr] = i;
    }
    uint8_t request[2048] = {};
    uint8_t reply[2048];
    for (auto _ : state) {
        std::vector<size_t> step(kDevices, 0);
        std::vector<bool> outstanding(kDevices, false);
        size_t in_flight = 0;
        int finished = 0;
        while (finished < kDevices) {
            for (int i = 0; i < kDevices && in_flight < kInFlight; ++i) {
                if (outstanding[i] || step[i] >= sizes.size()) {
                    continue;
                }
                const auto& exchange = sizes[step[i]];
                request[4] = uint8_t(exchange.second >> 8);
                request[5] = uint8_t(exchange.second);
                ::sendto(client, request, exchange.first, 0,
                         reinterpret_cast<const sockaddr*>(&targets[i]), sizeof targets[i]);
                outstanding[i] = true;
                ++in_flight;
            }
            pollfd fd = {client, POLLIN, 0};
            ::poll(&fd, 1, 10);
            for (;;) {
                sockaddr_in from{};
                socklen_t length = sizeof from;
                const ssize_t n = ::recvfrom(client, reply, sizeof reply, 0,
                                             reinterpret_cast<sockaddr*>(&from), &length);
                if (n < 0) {
                    break;
                }
                const int i = device_of[from.sin_addr.s_addr];
                outstanding[i] = false;
                --in_flight;
                if (++step[i] == sizes.size()) {
                    ++finished;
                }
            }
        }
    }
    ::close(client);
    state.counters["round_trips"] = benchmark::Counter(double(sizes.size() * kDevices));
}
BENCHMARK(BM_RawRoundTrips32)->UseRealTime()->Unit(benchmark::kMillisecond);

// Prints the ratio of the two real times after the usual report.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        // The medians when the runs were repeated, else the single runs.
        for (const char* suffix : {"_median", ""}) {
            const auto sdk = m_times.find(std::string("BM_RoutingQuery32/real_time") + suffix);
            const auto raw = m_times.find(std::string("BM_RawRoundTrips32/real_time") + suffix);
            if (sdk != m_times.end() && raw != m_times.end() && raw->second > 0) {
                std::printf("routing / raw: %.2f\n", sdk->second / raw->second);
                return;
            }
        }
    }

private:
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
