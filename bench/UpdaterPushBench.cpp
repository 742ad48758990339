// The update utility's push of an image to one fake device through its controller
// (kolvo::VireoThreads on its SDK drivers, nothing else answering; the record put in the table
// as identification leaves it, the image loaded through the file dialog, the record selected,
// Start confirmed; no pauses after "FWUPDATE" and before the run's end is reported), beside a
// raw UDP ping-pong of the same datagram sizes (260 bytes out, 4 back): both report the image
// bytes carried per second, 256 per round trip for the ping-pong, and each push its share of
// the rate of a ping-pong run just before it ("of_raw"). Run inside tests/netns-run (the fake
// device uses the fixed port); on a virtual machine, pinning it to one CPU (taskset -c N)
// keeps the cost of waking a thread on another CPU, which varies widely there, out of both
// figures.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "FakeDevice.h"
#include "Prompts.h"
#include "updater/UpdateRun.h"
#include "updater/VireoDevice.h"
#include "updater/VireoDevices.h"
#include "updater/VireoThreads.h"

namespace {

constexpr int kPayload = 256;
const QString kStartBox = QStringLiteral("Starting MCU Firmware Update");

// Gives the file dialog the image's path, confirms the start and counts every other box.
class Answers : public Prompts {
public:
    int runModal(QDialog& dialog) override {
        if (dialog.windowTitle() == kStartBox) {
            return QMessageBox::Yes;
        }
        ++boxes;
        return QMessageBox::Ok;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return file_name;
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return QString();
    }

    QString file_name;
    int boxes = 0;
};

// Product id 1 0 12 255 0 0 0 7 and vendor "Corvanti" at 0x188, version 2.10 at 0x184; byte i
// elsewhere is i mod 251.
QByteArray image(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = char(i % 251);
    }
    const QByteArray header =
        QByteArray::fromHex("028A0A8C01000CFF0000000795969798436F7276616E7469");
    std::copy(header.begin(), header.end(), bytes.begin() + 0x184);
    return bytes;
}

// The poll stays out of the way (the record is put in as identified) and the push has no
// pauses.
kolvo::VireoThreadsTiming pushTiming() {
    kolvo::VireoThreadsTiming timing;
    timing.first_refresh_ms = -1;
    timing.first_tick_ms = 3600000;
    timing.tick_ms = 3600000;
    timing.push.command_pause_ms = 0;
    timing.push.end_pause_ms = 0;
    return timing;
}

// A device as identification leaves it: a "Solano" module of the image's product and vendor.
void identify(kolvo::VireoDevice& device) {
    device.setVendorId(QStringLiteral("Corvanti"));
    device.setVireoModel(QStringLiteral("Solano 2"));
    device.setProductId("10122550007");
    device.setCommandPath(2);
    device.setMcuVersion(0x00010000);
    device.setPollState(kolvo::VireoDevice::kPollIdentified);
}

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
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    Answers answers;
    answers.file_name = dir.filePath(QStringLiteral("fw.bin"));
    const QByteArray bytes = image(size);
    QFile file(answers.file_name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size) {
        state.SkipWithError("cannot write the image");
        return;
    }
    file.close();
    kolvo::VireoThreads controller(0, nullptr, answers, pushTiming());
    kolvo::UpdateRun& run = controller.updateRun();
    kolvo::VireoDevices& devices = *controller.getVireoDevices();
    auto* device = new kolvo::VireoDevice;
    device->setName(QStringLiteral("A"));
    devices.appendDevice(device);
    device->setIpAddress(QHostAddress(QStringLiteral("127.0.0.1")));
    identify(*device);
    run.loadImageFile();
    if (!run.hasImage()) {
        state.SkipWithError("the image was refused");
        return;
    }
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
        // The end of the last run sent the record back to identification.
        identify(*device);
        devices.refresh();
        run.selectAllDevices();
        QEventLoop loop;
        QObject::connect(&controller, &kolvo::VireoThreads::enableBackButton, &loop,
                         [&loop](bool enable) {
                             if (enable) {
                                 loop.quit();
                             }
                         });
        state.ResumeTiming();
        const auto push_start = std::chrono::steady_clock::now();
        run.startFirmwareUpdates();
        loop.exec();
        push_time += std::chrono::steady_clock::now() - push_start;
        state.PauseTiming();
        const sim::Bytes received = fake.firmwareImage();
        if (answers.boxes != 0 || QByteArray(reinterpret_cast<const char*>(received.data()),
                                             int(received.size())) != bytes) {
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
