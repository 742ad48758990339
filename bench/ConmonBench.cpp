// A versions request through the conmon driver (cycle 0, the event loop run until productId)
// beside a raw loopback exchange of the same sizes: 84 bytes out, 10 and 384 back. Both use
// ephemeral ports of 127.0.0.1; tests/netns-run keeps them apart from the machine's.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "FakeConmonServer.h"
#include "OvaltaVireoConmon.h"
#include "RawLoopback.h"
#include "conmon/conmon_body.h"
#include "platform/aud_env.h"

namespace {

bool runUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

void BM_DriverVersionsRequest(benchmark::State& state) {
    sim::FakeConmonServer server(0);
    sim::FakeConmonDevice device;
    device.name = "ZEB-AMP-01";
    device.device_id = {0x00, 0x1d, 0xc1, 0xff, 0xfe, 0x12, 0x34, 0x56};
    device.product_id = {0, 0, 0, 0, 0, 0, 1, 2};
    server.addDevice(device);
    if (!server.start()) {
        state.SkipWithError("cannot bind the fake conmon server");
        return;
    }
    aud_env* env = nullptr;
    aud_env_init(&env);
    ConmonDriverSettings settings;
    settings.timing.cycle_ms = 0;
    settings.server_port = server.port();
    {
        OvaltaVireoConmon driver(nullptr, settings);
        int replies = 0;
        QObject::connect(&driver, &OvaltaVireoConmon::productId, [&replies] { ++replies; });
        driver.setEnvironment(env);
        driver.start();
        if (!runUntil([&] { return driver.isStarted(); })) {
            state.SkipWithError("the driver did not start");
        }
        conmon_body body{};
        conmon_body_init_request(&body, CONMON_BODY_VERSION_CONTROL, CONMON_BODY_VERSIONS_REQUEST,
                                 1000000);
        for (auto _ : state) {
            const int before = replies;
            if (driver.sendRequest(body.data, conmon_body_request_size(&body), "ZEB-AMP-01") !=
                    AUD_SUCCESS ||
                !runUntil([&] { return replies > before; })) {
                state.SkipWithError("no productId");
                break;
            }
        }
    }
    aud_env_release(env);
}
BENCHMARK(BM_DriverVersionsRequest)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A server thread answers each 84-byte datagram with a 10-byte and a 384-byte one.
void BM_RawLoopbackExchange(benchmark::State& state) {
    runRawLoopbackExchange(state, 84, {10, 384});
}
BENCHMARK(BM_RawLoopbackExchange)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
