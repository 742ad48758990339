// Process CPU time over wall time of the configuration driver: idle after its start-up, and
// during a start-up wait on a service that never answers. Run it inside a network namespace
// with the interface it configures:
//   tests/netns-run --veth cfg0=192.0.2.1/24 build/bench/cmm_driver_bench
#include <net/if.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

#include "CpuTime.h"
#include "FakeConfigService.h"
#include "OvaltaVireoCmm.h"
#include "platform/aud_env.h"

namespace {

constexpr int kMeasureMs = 3000;
constexpr double kIdleLimit = 0.01;
constexpr double kStartUpWaitLimit = 0.05;

// CPU seconds over wall seconds while the GUI thread runs its event loop for kMeasureMs.
double measure(QCoreApplication& app) {
    const double cpu = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(kMeasureMs, &app, &QCoreApplication::quit);
    app.exec();
    return (processCpuSeconds() - cpu) / (static_cast<double>(wall.elapsed()) / 1000.0);
}

bool report(const char* what, double ratio, double limit) {
    std::printf("%-45s cpu/wall = %.4f (limit %.2f)\n", what, ratio, limit);
    return ratio <= limit;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int index = static_cast<int>(if_nametoindex("cfg0"));
    if (index == 0) {
        std::fprintf(stderr, "no interface cfg0: run under tests/netns-run --veth cfg0=...\n");
        return 2;
    }
    aud_env* env = nullptr;
    aud_env_init(&env);
    bool within = true;
    {
        sim::FakeConfigService service;
        service.setOptions({{u"CFG0", {2, 0, 0, 0, 0, 0x0C}}});
        if (!service.start()) {
            std::fprintf(stderr, "port %u is taken\n", sim::FakeConfigService::kPort);
            return 2;
        }
        OvaltaVireoCmm driver(index);
        driver.setEnvironment(env);
        driver.start();
        QElapsedTimer startup;
        startup.start();
        while (!driver.isStarted() && startup.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        if (!driver.isStarted()) {
            std::fprintf(stderr, "the driver did not start\n");
            return 2;
        }
        within &= report("idle after start-up (3 s):", measure(app), kIdleLimit);
    }
    {
        sim::FakeConfigService service;
        service.setSilent(true);
        service.start();
        OvaltaVireoCmm driver(index);
        driver.setEnvironment(env);
        driver.start();
        within &=
            report("start-up wait on a silent service (3 s):", measure(app), kStartUpWaitLimit);
    }
    aud_env_release(env);
    return within ? 0 : 1;
}
