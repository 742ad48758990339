// Framed request round trip against the fake device, beside a raw UDP ping-pong of the same
// sizes, and the CPU cost of waiting for a silent device. Run inside tests/netns-run.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QHostAddress>

#include <atomic>
#include <thread>

#include "FakeDevice.h"
#include "QtZEB_Device.h"
#include "VireoDevice.h"

namespace {

using Header = qz_msgs::header_t;

VireoDevice* deviceAt(const char* address) {
    static VireoDevice device;
    device.setIpAddress(QHostAddress(QString::fromLatin1(address)));
    return &device;
}

void BM_FramedGetRoundTrip(benchmark::State& state) {
    sim::FakeDevice fake("127.0.0.1");
    if (!fake.start()) {
        state.SkipWithError("cannot bind the fake device");
        return;
    }
    QtZEB_Device transport;
    transport.SetDevice(deviceAt("127.0.0.1"));
    amp_t reply;
    for (auto _ : state) {
        if (transport.SendRequest(Header::MSG_GET_REQ, amp_t(), reply) != 0) {
            state.SkipWithError("request failed");
            break;
        }
    }
}
BENCHMARK(BM_FramedGetRoundTrip)->UseRealTime();

int udpSocket(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    return fd;
}

// The same datagram sizes as the framed exchange: 12 bytes out, 14 back.
void BM_RawUdpPingPong(benchmark::State& state) {
    const int server = udpSocket(40001);
    const int client = udpSocket(0);
    std::atomic<bool> running{true};
    std::thread echo([&] {
        uint8_t buffer[64];
        while (running) {
            pollfd fd{server, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0) {
                continue;
            }
            sockaddr_in from{};
            socklen_t length = sizeof from;
            if (::recvfrom(server, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                           &length) >= 0) {
                ::sendto(server, buffer, 14, 0, reinterpret_cast<sockaddr*>(&from), length);
            }
        }
    });
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(40001);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to);
    uint8_t request[12] = {}, reply[64];
    for (auto _ : state) {
        ::send(client, request, sizeof request, 0);
        pollfd fd{client, POLLIN, 0};
        ::poll(&fd, 1, 1000);
        benchmark::DoNotOptimize(::recv(client, reply, sizeof reply, 0));
    }
    running = false;
    echo.join();
    ::close(client);
    ::close(server);
}
BENCHMARK(BM_RawUdpPingPong)->UseRealTime();

class Probe : public QtZEB_Device {
public:
    using QtZEB_Device::ReceiveFrame;
};

// Real time is the 1000 ms wait; CPU time is what waiting costs.
void BM_SilentDeviceWait(benchmark::State& state) {
    sim::FakeDevice fake("127.0.0.1");
    if (!fake.start()) {
        state.SkipWithError("cannot bind the fake device");
        return;
    }
    Probe transport;
    transport.SetDevice(deviceAt("127.0.0.1"));
    zeb::Frame frame;
    for (auto _ : state) {
        benchmark::DoNotOptimize(transport.ReceiveFrame(frame));
    }
}
BENCHMARK(BM_SilentDeviceWait)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
