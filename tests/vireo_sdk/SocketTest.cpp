#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/aud_env.h"
#include "platform/aud_interface.h"
#include "platform/aud_log.h"
#include "platform/aud_socket.h"
#include "platform/aud_socket_set.h"
#include "util/aud_interface_lookup.h"

namespace {

aud_sockaddr loopback(uint16_t port) {
    aud_sockaddr address{};
    aud_sockaddr_set(&address, htonl(INADDR_LOOPBACK), port);
    return address;
}

class Sockets : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(aud_env_init(&env_), AUD_SUCCESS); }
    void TearDown() override {
        for (aud_socket_t& socket : sockets_) {
            aud_socket_close(&socket);
        }
        aud_env_release(env_);
    }

    // A socket bound to 127.0.0.1 on a free port; its address in *address.
    aud_socket_t bound(aud_sockaddr* address) {
        aud_socket_t socket = AUD_SOCKET_INVALID;
        EXPECT_EQ(aud_socket_create(&socket, AF_INET), AUD_SUCCESS);
        aud_sockaddr any = loopback(0);
        EXPECT_EQ(aud_socket_bind(socket, &any), AUD_SUCCESS);
        EXPECT_EQ(aud_socket_get_local_address(socket, address), AUD_SUCCESS);
        sockets_.push_back(socket);
        return socket;
    }

    // Waits up to a second for socket to be readable.
    static bool readable(aud_socket_t socket) {
        aud_socket_set set;
        aud_socket_set_clear(&set);
        aud_socket_set_add(&set, socket);
        const aud_time second{1, 0};
        unsigned ready = 0;
        return aud_socket_select(&set, nullptr, nullptr, &second, &ready) == AUD_SUCCESS &&
               ready == 1 && aud_socket_set_contains(&set, socket);
    }

    aud_env* env_ = nullptr;
    std::vector<aud_socket_t> sockets_;
};

TEST_F(Sockets, TwoSocketsExchangeADatagram) {
    aud_sockaddr a_address;
    aud_sockaddr b_address;
    const aud_socket_t a = bound(&a_address);
    const aud_socket_t b = bound(&b_address);
    EXPECT_EQ(a_address.length, 16);
    size_t length = 5;
    ASSERT_EQ(aud_socket_sendto(a, "hello", &length, &b_address), AUD_SUCCESS);
    EXPECT_EQ(length, 5u);
    ASSERT_TRUE(readable(b));
    char buffer[32];
    length = sizeof buffer;
    aud_sockaddr from{};
    ASSERT_EQ(aud_socket_recvfrom(b, buffer, &length, &from), AUD_SUCCESS);
    EXPECT_EQ(std::string(buffer, length), "hello");
    EXPECT_TRUE(aud_sockaddr_equal(&from, &a_address));

    ASSERT_EQ(aud_socket_set_blocking(b, false), AUD_SUCCESS);
    length = sizeof buffer;
    EXPECT_EQ(aud_socket_recv(b, buffer, &length), AUD_ERR_TIMEDOUT);
}

TEST_F(Sockets, DatagramLargerThanTheBufferGivesMessageSize) {
    aud_sockaddr a_address;
    aud_sockaddr b_address;
    const aud_socket_t a = bound(&a_address);
    const aud_socket_t b = bound(&b_address);
    const std::string big(100, 'x');
    size_t length = big.size();
    ASSERT_EQ(aud_socket_sendto(a, big.data(), &length, &b_address), AUD_SUCCESS);
    ASSERT_TRUE(readable(b));
    char buffer[10];
    length = sizeof buffer;
    EXPECT_EQ(aud_socket_peek(b, buffer, &length), AUD_ERR_MSGSIZE);
    length = sizeof buffer;
    EXPECT_EQ(aud_socket_recv(b, buffer, &length), AUD_ERR_MSGSIZE);
    EXPECT_EQ(length, sizeof buffer);
    EXPECT_EQ(std::string(buffer, length), std::string(10, 'x'));
}

TEST_F(Sockets, RecvmsgReportsSourceDestinationAndArrivalIndex) {
    aud_sockaddr a_address;
    aud_sockaddr b_address;
    const aud_socket_t a = bound(&a_address);
    const aud_socket_t b = bound(&b_address);
    ASSERT_EQ(aud_socket_set_pktinfo(b, 1), AUD_SUCCESS);
    size_t length = 3;
    ASSERT_EQ(aud_socket_sendto(a, "abc", &length, &b_address), AUD_SUCCESS);
    ASSERT_TRUE(readable(b));
    aud_socket_msginfo info{};
    info.flags = AUD_MSGINFO_SOURCE | AUD_MSGINFO_DESTINATION | AUD_MSGINFO_INTERFACE;
    info.result_flags = 0xFF;
    char buffer[16];
    length = sizeof buffer;
    ASSERT_EQ(aud_socket_recvmsg(b, buffer, &length, &info), AUD_SUCCESS);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(info.result_flags,
              unsigned{AUD_MSGINFO_SOURCE | AUD_MSGINFO_DESTINATION | AUD_MSGINFO_INTERFACE});
    EXPECT_TRUE(aud_sockaddr_equal(&info.source, &a_address));
    EXPECT_TRUE(aud_sockaddr_equal(&info.destination, &b_address));
    EXPECT_EQ(info.interface_index, if_nametoindex("lo"));

    info.flags = AUD_MSGINFO_SOURCE;
    length = 3;
    ASSERT_EQ(aud_socket_sendto(a, "def", &length, &b_address), AUD_SUCCESS);
    ASSERT_TRUE(readable(b));
    length = sizeof buffer;
    ASSERT_EQ(aud_socket_recvmsg(b, buffer, &length, &info), AUD_SUCCESS);
    EXPECT_EQ(info.result_flags, unsigned{AUD_MSGINFO_SOURCE});
    EXPECT_EQ(aud_socket_recvmsg(AUD_SOCKET_INVALID, buffer, &length, &info),
              AUD_ERR_INVALIDPARAMETER);
}

// An index past 8 bits comes back whole: multicast looped back on an interface of index 300.
TEST_F(Sockets, RecvmsgReportsALargeArrivalIndex) {
    ASSERT_EQ(std::system("ip link add idx0 index 300 type veth peer name idx0-p && "
                          "ip addr add 192.0.2.201/32 dev idx0 && ip link set idx0-p up && "
                          "ip link set idx0 up multicast on"),
              0);
    aud_interface wide{};
    ASSERT_EQ(aud_interface_find_by_index(&wide, 300), AUD_SUCCESS);
    aud_socket_t receiver = AUD_SOCKET_INVALID;
    ASSERT_EQ(aud_socket_create(&receiver, AF_INET), AUD_SUCCESS);
    sockets_.push_back(receiver);
    aud_sockaddr any{};
    ASSERT_EQ(aud_sockaddr_set_any(&any, AF_INET, 9875), AUD_SUCCESS);
    ASSERT_EQ(aud_socket_bind(receiver, &any), AUD_SUCCESS);
    ASSERT_EQ(aud_socket_set_pktinfo(receiver, 1), AUD_SUCCESS);
    aud_sockaddr group{};
    ASSERT_EQ(aud_sockaddr_from_string(&group, AF_INET, "239.255.10.98", 9875), AUD_SUCCESS);
    ASSERT_EQ(aud_socket_join_group(receiver, &group, &wide), AUD_SUCCESS);

    aud_socket_t sender = AUD_SOCKET_INVALID;  // from 192.0.2.201: not loopback's address
    ASSERT_EQ(aud_socket_create(&sender, AF_INET), AUD_SUCCESS);
    sockets_.push_back(sender);
    ASSERT_EQ(aud_socket_set_multicast_interface(sender, &wide), AUD_SUCCESS);
    ASSERT_EQ(aud_socket_set_multicast_loop(sender, 1), AUD_SUCCESS);
    size_t length = 3;
    ASSERT_EQ(aud_socket_sendto(sender, "abc", &length, &group), AUD_SUCCESS);
    ASSERT_TRUE(readable(receiver));
    aud_socket_msginfo info{};
    info.flags = AUD_MSGINFO_INTERFACE;
    char buffer[16];
    length = sizeof buffer;
    ASSERT_EQ(aud_socket_recvmsg(receiver, buffer, &length, &info), AUD_SUCCESS);
    EXPECT_EQ(info.result_flags, unsigned{AUD_MSGINFO_INTERFACE});
    EXPECT_EQ(info.interface_index, 300u);
    EXPECT_EQ(std::system("ip link del idx0"), 0);
}

TEST_F(Sockets, MulticastOnLoopbackByIndex) {
    aud_interface lo{};
    ASSERT_EQ(aud_interface_find_loopback(&lo), AUD_SUCCESS);
    aud_socket_t receiver = AUD_SOCKET_INVALID;
    ASSERT_EQ(aud_socket_create(&receiver, AF_INET), AUD_SUCCESS);
    sockets_.push_back(receiver);
    ASSERT_EQ(aud_socket_set_reuse_address(receiver, 1), AUD_SUCCESS);
    EXPECT_EQ(aud_socket_set_reuse_port(receiver, 1), AUD_ERR_NOTSUPPORTED);
    aud_sockaddr any{};
    ASSERT_EQ(aud_sockaddr_set_any(&any, AF_INET, 9875), AUD_SUCCESS);
    ASSERT_EQ(aud_socket_bind(receiver, &any), AUD_SUCCESS);
    aud_sockaddr group{};
    ASSERT_EQ(aud_sockaddr_from_string(&group, AF_INET, "239.255.10.99", 9875), AUD_SUCCESS);
    ASSERT_EQ(aud_socket_join_group(receiver, &group, &lo), AUD_SUCCESS);

    aud_sockaddr sender_address;
    const aud_socket_t sender = bound(&sender_address);
    ASSERT_EQ(aud_socket_set_multicast_interface(sender, &lo), AUD_SUCCESS);
    ASSERT_EQ(aud_socket_set_multicast_loop(sender, 1), AUD_SUCCESS);
    size_t length = 4;
    ASSERT_EQ(aud_socket_sendto(sender, "sap!", &length, &group), AUD_SUCCESS);
    ASSERT_TRUE(readable(receiver));
    char buffer[8];
    length = sizeof buffer;
    ASSERT_EQ(aud_socket_recv(receiver, buffer, &length), AUD_SUCCESS);
    EXPECT_EQ(std::string(buffer, length), "sap!");

    EXPECT_EQ(aud_socket_leave_group(receiver, &group, &lo), AUD_SUCCESS);
    EXPECT_EQ(aud_socket_set_multicast_interface(sender, nullptr), AUD_SUCCESS);
}

TEST_F(Sockets, NonMulticastGroupIsRefusedBeforeAnySystemCall) {
    aud_sockaddr plain = loopback(9875);
    // 1000 is no open descriptor: a system call would fail with 42 instead.
    ASSERT_EQ(fcntl(1000, F_GETFD), -1);
    EXPECT_EQ(aud_socket_join_group(1000, &plain, nullptr), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(aud_socket_leave_group(1000, &plain, nullptr), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(aud_socket_join_group(1000, nullptr, nullptr), AUD_ERR_INVALIDPARAMETER);
    aud_sockaddr group{};
    aud_sockaddr_from_string(&group, AF_INET, "239.255.10.99", 0);
    EXPECT_EQ(aud_socket_join_group(1000, &group, nullptr), AUD_ERR_NOTSOCK);
}

TEST_F(Sockets, ConnectedSocketReportsARefusedPortAsReset) {
    aud_sockaddr closed_address;
    aud_socket_t closed = bound(&closed_address);
    aud_socket_close(&closed);
    sockets_.pop_back();

    aud_socket_t connected = AUD_SOCKET_INVALID;
    ASSERT_EQ(aud_socket_create_connected(&connected, &closed_address), AUD_SUCCESS);
    sockets_.push_back(connected);
    ASSERT_EQ(aud_socket_set_blocking(connected, false), AUD_SUCCESS);
    size_t length = 4;
    ASSERT_EQ(aud_socket_send(connected, "ping", &length), AUD_SUCCESS);
    ASSERT_TRUE(readable(connected));
    char buffer[8];
    length = sizeof buffer;
    EXPECT_EQ(aud_socket_recv(connected, buffer, &length), AUD_ERR_CONNRESET);

    length = 4;
    ASSERT_EQ(aud_socket_send(connected, "ping", &length), AUD_SUCCESS);
    ASSERT_TRUE(readable(connected));
    length = 4;
    EXPECT_EQ(aud_socket_send(connected, "ping", &length), AUD_ERR_CONNRESET);
}

TEST_F(Sockets, UnconnectedSocketNeverReportsARefusal) {
    aud_sockaddr closed_address;
    aud_socket_t closed = bound(&closed_address);
    aud_socket_close(&closed);
    sockets_.pop_back();
    aud_sockaddr own;
    const aud_socket_t socket = bound(&own);
    ASSERT_EQ(aud_socket_set_blocking(socket, false), AUD_SUCCESS);
    size_t length = 4;
    ASSERT_EQ(aud_socket_sendto(socket, "ping", &length, &closed_address), AUD_SUCCESS);
    usleep(20000);
    char buffer[8];
    length = sizeof buffer;
    EXPECT_EQ(aud_socket_recv(socket, buffer, &length), AUD_ERR_TIMEDOUT);
    length = 4;
    EXPECT_EQ(aud_socket_sendto(socket, "ping", &length, &closed_address), AUD_SUCCESS);
}

TEST_F(Sockets, ArgumentChecks) {
    aud_socket_t socket = 5;
    EXPECT_EQ(aud_socket_create(&socket, AF_INET), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(aud_socket_close(nullptr), AUD_ERR_INVALIDPARAMETER);
    aud_socket_t none = AUD_SOCKET_INVALID;
    EXPECT_EQ(aud_socket_close(&none), AUD_SUCCESS);
    aud_sockaddr address = loopback(1);
    char buffer[4];
    size_t length = sizeof buffer;
    for (aud_error_t result :
         {aud_socket_bind(none, &address), aud_socket_connect(none, &address),
          aud_socket_set_blocking(none, true), aud_socket_set_pktinfo(none, 1),
          aud_socket_set_multicast_loop(none, 1), aud_socket_set_reuse_address(none, 1),
          aud_socket_set_reuse_port(none, 1), aud_socket_set_multicast_interface(none, nullptr),
          aud_socket_send(none, buffer, &length), aud_socket_recv(none, buffer, &length),
          aud_socket_get_local_address(none, &address)}) {
        EXPECT_EQ(result, AUD_ERR_INVALIDPARAMETER);
    }
}

TEST_F(Sockets, SelectKeepsOnlyReadySocketsAndRejectsClosedOnes) {
    aud_sockaddr a_address;
    aud_sockaddr b_address;
    const aud_socket_t a = bound(&a_address);
    const aud_socket_t b = bound(&b_address);
    aud_socket_set set;
    aud_socket_set_clear(&set);
    aud_socket_set_add(&set, a);
    aud_socket_set_add(&set, b);
    aud_socket_set_add(&set, b);
    aud_socket_set_add(&set, AUD_SOCKET_INVALID);
    EXPECT_EQ(set.requests, 4u);
    EXPECT_EQ(set.count, 2u);
    size_t length = 1;
    ASSERT_EQ(aud_socket_sendto(a, "x", &length, &b_address), AUD_SUCCESS);
    const aud_time wait{1, 0};
    unsigned ready = 0;
    ASSERT_EQ(aud_socket_select(&set, nullptr, nullptr, &wait, &ready), AUD_SUCCESS);
    EXPECT_EQ(ready, 1u);
    EXPECT_TRUE(aud_socket_set_contains(&set, b));
    EXPECT_FALSE(aud_socket_set_contains(&set, a));

    aud_socket_set_clear(&set);
    aud_socket_set_add(&set, 1000);
    EXPECT_EQ(aud_socket_select(&set, nullptr, nullptr, &wait, &ready), AUD_ERR_NOTSOCK);
}

TEST_F(Sockets, SocketSetHoldsHighDescriptors) {
    aud_sockaddr a_address;
    aud_sockaddr b_address;
    const aud_socket_t a = bound(&a_address);
    const aud_socket_t b = bound(&b_address);
    const int high = fcntl(b, F_DUPFD_CLOEXEC, 1500);
    ASSERT_GE(high, 1500) << "the descriptor limit is below 1500";
    size_t length = 1;
    ASSERT_EQ(aud_socket_sendto(a, "x", &length, &b_address), AUD_SUCCESS);
    EXPECT_TRUE(readable(high));
    close(high);
}

TEST_F(Sockets, NetworkLogSinkSplitsLongTextIntoDatagrams) {
    aud_sockaddr receiver_address;
    const aud_socket_t receiver = bound(&receiver_address);
    aud_log* log = aud_env_log(env_);
    ASSERT_EQ(aud_log_set_network(log, 0, &receiver_address), AUD_SUCCESS);
    aud_log_set_threshold(log, AUD_LOG_SINK_NETWORK, AUD_LOG_ERROR);
    const std::string text(2000, 't');
    aud_log_printf(log, AUD_LOG_ERROR, "%s", text.c_str());
    std::string joined;
    std::vector<size_t> sizes;
    while (sizes.size() < 2 && readable(receiver)) {
        char buffer[2048];
        size_t length = sizeof buffer;
        ASSERT_EQ(aud_socket_recv(receiver, buffer, &length), AUD_SUCCESS);
        const std::string datagram(buffer, length);
        ASSERT_EQ(datagram.substr(0, 3), " E ");
        sizes.push_back(length);
        joined += datagram.substr(3);
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{AUD_LOG_DATAGRAM_SIZE, 2000 - 1455 + 3}));
    EXPECT_EQ(joined, text);
    aud_log_set_network(log, 0, nullptr);
}

void countCalls(void* context, const char*, unsigned, const char* text, size_t length) {
    static_cast<std::vector<std::string>*>(context)->emplace_back(text, length);
}

TEST_F(Sockets, NetworkLogSinkDropsADestinationThatIsNoSocket) {
    aud_log* log = aud_env_log(env_);
    std::vector<std::string> lines;
    log->callback = countCalls;
    log->callback_context = &lines;
    aud_log_set_threshold(log, AUD_LOG_SINK_CALLBACK, AUD_LOG_ERROR);
    aud_log_set_threshold(log, AUD_LOG_SINK_NETWORK, AUD_LOG_ERROR);
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    log->destinations[1].socket = pipe_ends[0];
    log->destinations[1].address = loopback(9);
    aud_log_printf(log, AUD_LOG_ERROR, "first");
    EXPECT_EQ(log->destinations[1].socket, AUD_SOCKET_INVALID);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "first");
    EXPECT_EQ(lines[1], "aud_log: bad network logging socket " + std::to_string(pipe_ends[0]) +
                            " - network logging disabled: NOTSOCK (42)");
    close(pipe_ends[1]);
}

}  // namespace
