// Framed request round trip against the fake device, beside a raw UDP ping-pong of the same
// sizes, and the CPU cost of waiting for a silent device. Run inside tests/netns-run.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QHostAddress>

#include "FakeDevice.h"
#include "QtZEB_Device.h"
#include "RawLoopback.h"
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

// The same datagram sizes as the framed exchange: 12 bytes out, 14 back.
void BM_RawUdpPingPong(benchmark::State& state) {
    runRawLoopbackExchange(state, 12, {14}, 40001);
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
