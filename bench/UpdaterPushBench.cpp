// The update utility's push of an image to one fake device (no pauses after "FWUPDATE" and
// before the run's end is reported), beside a raw UDP ping-pong of the same datagram sizes
// (260 bytes out, 4 back): both report the image bytes carried per second, 256 per round trip
// for the ping-pong, and each push its share of the rate of a ping-pong run just before it
// ("of_raw"). Run inside tests/netns-run (the fake device uses the fixed port); on a virtual
// machine, pinning it to one CPU (taskset -c N) keeps the cost of waking a thread on another
// CPU, which varies widely there, out of both figures.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "FakeDevice.h"
#include "Prompts.h"
#include "updater/UpdateContext.h"
#include "updater/VireoDevice.h"
#include "updater/VireoDevices.h"
#include "updater/VireoTftp.h"

namespace {

constexpr int kPayload = 256;

// Stands where the controller will be; answers every box at once.
class StandIn : public kolvo::UpdateContext, public Prompts {
public:
    StandIn() : m_table(*this) {}

    kolvo::VireoDevices& devices() override { return m_table; }
    bool isUpdateRunning() const override { return true; }
    bool hasImage() const override { return true; }
    int imageBlockCount() const override { return m_blocks; }
    void setImageBlockCount(int count) override { m_blocks = count; }
    void reportStatus(const QString&) override {}
    void finishedFirmwareUpdates() override {}
    Prompts& prompts() override { return *this; }
    QWidget* dialogParent() override { return nullptr; }

    int runModal(QDialog&) override {
        ++boxes;
        return 0;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return QString();
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return QString();
    }

    int boxes = 0;

private:
    kolvo::VireoDevices m_table;
    int m_blocks = 1;
};

int udpSocket(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    return fd;
}

// A data block out, an acknowledgement back, between two threads: the floor of a push's round
// trip.
class RawPingPong {
public:
    RawPingPong() : m_server(udpSocket(40002)), m_client(udpSocket(0)) {
        m_echo = std::thread([this] {
            uint8_t buffer[512];
            const uint8_t ack[4] = {0, 4, 0, 1};
            while (m_running) {
                pollfd fd{m_server, POLLIN, 0};
                if (::poll(&fd, 1, 50) <= 0) {
                    continue;
                }
                sockaddr_in from{};
                socklen_t length = sizeof from;
                if (::recvfrom(m_server, buffer, sizeof buffer, 0,
                               reinterpret_cast<sockaddr*>(&from), &length) >= 0) {
                    ::sendto(m_server, ack, sizeof ack, 0, reinterpret_cast<sockaddr*>(&from),
                             length);
                }
            }
        });
    }

    ~RawPingPong() {
        m_running = false;
        m_echo.join();
        ::close(m_client);
        ::close(m_server);
    }

    void roundTrip() {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(40002);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        uint8_t block[4 + kPayload] = {0, 3, 0, 1};
        uint8_t reply[64];
        ::sendto(m_client, block, sizeof block, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd fd{m_client, POLLIN, 0};
        ::poll(&fd, 1, 1000);
        benchmark::DoNotOptimize(::recv(m_client, reply, sizeof reply, 0));
    }

private:
    const int m_server;
    const int m_client;
    std::atomic<bool> m_running{true};
    std::thread m_echo;
};

void BM_RawPingPong(benchmark::State& state) {
    RawPingPong raw;
    for (auto _ : state) {
        raw.roundTrip();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kPayload);
}
BENCHMARK(BM_RawPingPong)->UseRealTime()->MinTime(2.0);

void BM_PushToOneDevice(benchmark::State& state) {
    const int size = int(state.range(0));
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i) {
        image[i] = char(i % 251);
    }
    QTemporaryDir dir;
    StandIn stand;
    auto* device = new kolvo::VireoDevice;
    device->setName(QStringLiteral("A"));
    stand.devices().appendDevice(device);
    device->setIpAddress(QHostAddress(QStringLiteral("127.0.0.1")));
    device->setSelected(true);
    kolvo::VireoTftp::Timing timing;
    timing.command_pause_ms = 0;
    timing.end_pause_ms = 0;
    kolvo::VireoTftp pusher(stand, dir.filePath(QStringLiteral("fw.bin")), image, timing);
    // Each push is paired with as many raw round trips, run just before it, so that both meet
    // the same load.
    const int round_trips = size / kPayload + 2;
    RawPingPong raw;
    std::chrono::nanoseconds raw_time{0};
    std::chrono::nanoseconds push_time{0};
    for (auto _ : state) {
        state.PauseTiming();
        const auto raw_start = std::chrono::steady_clock::now();
        for (int i = 0; i < round_trips; ++i) {
            raw.roundTrip();
        }
        raw_time += std::chrono::steady_clock::now() - raw_start;
        sim::FakeDevice fake("127.0.0.1");
        if (!fake.start()) {
            state.SkipWithError("cannot bind the fake device");
            break;
        }
        QEventLoop loop;
        QObject::connect(&pusher, &kolvo::VireoTftp::finishedUpdates, &loop, &QEventLoop::quit);
        state.ResumeTiming();
        const auto push_start = std::chrono::steady_clock::now();
        pusher.startFirmwareUpdates();
        loop.exec();
        push_time += std::chrono::steady_clock::now() - push_start;
        state.PauseTiming();
        if (stand.boxes != 0 || fake.firmwareImage().size() != size_t(size)) {
            state.SkipWithError("the push failed");
            break;
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
    state.counters["round_trips"] = round_trips;
    // The push's rate as a share of the paired raw ping-pong's 256 bytes per round trip.
    state.counters["of_raw"] = double(raw_time.count()) /
                               double(std::max<int64_t>(push_time.count(), 1)) * double(size) /
                               (double(round_trips) * kPayload);
}
BENCHMARK(BM_PushToOneDevice)
    ->Arg(1 << 20)
    ->Arg(16776959)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
