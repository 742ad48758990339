#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "FakeDevice.h"

namespace {

using namespace std::chrono_literals;

// A listener of the status group on zeb0, as the controller joins it.
class StatusListener {
public:
    StatusListener() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(sim::FakeDevice::kStatusPort);
        ip_mreqn join{};
        ::inet_pton(AF_INET, sim::FakeDevice::kStatusGroup, &join.imr_multiaddr);
        join.imr_ifindex = int(::if_nametoindex("zeb0"));
        m_ready = ::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                  ::setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) == 0;
    }
    ~StatusListener() { ::close(m_fd); }

    bool ready() const { return m_ready; }

    // One datagram and its sender, or an empty sender after the wait.
    std::pair<std::string, std::string> receive(std::chrono::milliseconds wait) {
        pollfd fd{m_fd, POLLIN, 0};
        if (::poll(&fd, 1, int(wait.count())) <= 0) {
            return {};
        }
        char buffer[512];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t size =
            ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        char address[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
        return {std::string(buffer, size_t(std::max<ssize_t>(size, 0))), address};
    }

private:
    int m_fd = -1;
    bool m_ready = false;
};

TEST(FakeDeviceStatus, ReachesTheGroupFromTheDevicesAddress) {
    StatusListener listener;
    ASSERT_TRUE(listener.ready());
    sim::FakeDevice device("192.0.2.10");
    device.setStatusInterface("zeb0");
    ASSERT_TRUE(device.start());
    ASSERT_TRUE(device.sendStatus("amp 1,0,0"));
    const auto [text, sender] = listener.receive(2000ms);
    EXPECT_EQ(text, "amp 1,0,0");
    EXPECT_EQ(sender, "192.0.2.10");
}

TEST(FakeDeviceStatus, SendsPeriodicallyUntilStopped) {
    StatusListener listener;
    ASSERT_TRUE(listener.ready());
    sim::FakeDevice first("192.0.2.10");
    sim::FakeDevice second("192.0.2.11");
    for (sim::FakeDevice* device : {&first, &second}) {
        device->setStatusInterface("zeb0");
        ASSERT_TRUE(device->start());
    }
    first.sendStatusEvery(50ms, "amp 0,0,0");
    second.sendStatusEvery(50ms, "amp 0,1,0");
    int heard_first = 0;
    int heard_second = 0;
    const auto end = std::chrono::steady_clock::now() + 3s;
    while ((heard_first < 3 || heard_second < 3) && std::chrono::steady_clock::now() < end) {
        const auto [text, sender] = listener.receive(500ms);
        heard_first += sender == "192.0.2.10" && text == "amp 0,0,0";
        heard_second += sender == "192.0.2.11" && text == "amp 0,1,0";
    }
    EXPECT_GE(heard_first, 3);
    EXPECT_GE(heard_second, 3);

    first.sendStatusEvery(0ms, {});
    second.stop();
    listener.receive(200ms);  // what was on its way
    while (!listener.receive(100ms).second.empty()) {
    }
    EXPECT_TRUE(listener.receive(300ms).second.empty());
}

TEST(FakeDeviceStatus, RefusesAnUnknownInterface) {
    sim::FakeDevice device("192.0.2.10");
    device.setStatusInterface("nosuch0");
    EXPECT_FALSE(device.start());
}

}  // namespace
