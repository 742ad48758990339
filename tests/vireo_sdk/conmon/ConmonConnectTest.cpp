// Connect responses of every layout, hand-made by a scripted server on an ephemeral port of
// 127.0.0.1: their fields are checked before the client stores them.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "ConmonFixture.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
namespace wire = sim::conmonwire;

// Receives the client's requests and answers what the test writes.
class ScriptedServer {
public:
    ScriptedServer() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        socklen_t length = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length);
        m_port = ntohs(local.sin_port);
    }
    ~ScriptedServer() { ::close(m_fd); }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    uint16_t port() const { return m_port; }
    std::optional<Bytes> receive() {
        pollfd fd = {m_fd, POLLIN, 0};
        if (::poll(&fd, 1, 2000) != 1) {
            return std::nullopt;
        }
        Bytes buffer(8192);
        socklen_t length = sizeof m_client;
        const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&m_client), &length);
        if (n < 0) {
            return std::nullopt;
        }
        buffer.resize(size_t(n));
        return buffer;
    }
    void reply(const Bytes& datagram) {
        ::sendto(m_fd, datagram.data(), datagram.size(), 0,
                 reinterpret_cast<const sockaddr*>(&m_client), sizeof m_client);
    }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
    sockaddr_in m_client{};
};

struct Layout {
    uint16_t version;
    uint16_t count;
    uint16_t record_size;
    uint16_t record_offset;
    int extra = 0;  // bytes more (or fewer) than the count asks for
};

void putRecord(Bytes& out, uint32_t index, size_t size) {
    Bytes record;
    wire::putLe32(record, index);
    wire::putLe32(record, 1);
    for (uint8_t b : {192, 0, 2, 1}) {
        record.push_back(b);
    }
    record.resize(size, 0);
    out.insert(out.end(), record.begin(), record.end());
}

// A Connect response (status 1) in the layout of layout.version: records follow the fixed
// fields (or the given offset, when later), and the message is cut or padded to the length the
// count asks for, plus extra.
Bytes connectResponse(uint16_t sequence, const Layout& layout) {
    const wire::DeviceId local = {0xEE, 0xEE, 0, 0, 0, 0, 0, 9};
    Bytes message = wire::control(layout.version, sequence, 0x100, 1, {});
    size_t length = 0;
    if (layout.version < 0x1200) {
        wire::putLe16(message, 0);
        wire::putField(message, "LEGACY-PC", 32);
        message.insert(message.end(), local.begin(), local.end());
        wire::putLe16(message, 0x0777);
        wire::putLe16(message, layout.count);
        for (uint16_t i = 0; i < layout.count; ++i) {
            putRecord(message, i + 1u, 88);
        }
        length = 56 + 88 * size_t{layout.count};
    } else {
        wire::putLe16(message, 0);
        wire::putField(message, "LOCAL-PC", 32);
        wire::putField(message, "local.", 256);
        message.insert(message.end(), local.begin(), local.end());
        wire::putLe16(message, 0x0777);
        wire::putLe16(message, layout.count);
        wire::putLe16(message, layout.record_size);
        wire::putLe16(message, layout.record_offset);
        if (layout.version >= 0x1400) {
            wire::putLe32(message, 0);
            wire::putLe32(message, 0);
        }
        wire::padTo(message, layout.record_offset);
        for (uint16_t i = 0; i < layout.count; ++i) {
            putRecord(message, i + 1u, layout.record_size);
        }
        length = layout.record_offset + size_t{layout.count} * layout.record_size;
    }
    message.resize(size_t(long(length) + layout.extra), 0);
    message[2] = uint8_t(message.size());
    message[3] = uint8_t(message.size() >> 8);
    return message;
}

class ConmonConnect : public ::testing::Test {
protected:
    // Connects and answers the Connect with response; the Connect's sequence number goes to
    // make.
    void connectWith(const std::function<Bytes(uint16_t)>& make) {
        ASSERT_EQ(conmon_client_connect(m_harness.client(), ConmonHarness::done, &m_id),
                  AUD_SUCCESS);
        const auto connect = m_server.receive();
        ASSERT_TRUE(connect);
        m_server.reply(make(wire::le16(*connect, 4)));
        ASSERT_TRUE(m_harness.run([&] { return !m_harness.results.empty(); }));
    }

    ScriptedServer m_server;
    ConmonHarness m_harness{m_server.port()};
    conmon_client_request_id m_id = 0;
};

TEST_F(ConmonConnect, RecordsMustLieOutsideTheFixedFieldsAndHoldWhatIsRead) {
    struct Case {
        const char* name;
        Layout layout;
        const char* refused;  // the status name, or null when accepted
        size_t interfaces;
    };
    for (const Case& c : {
             Case{"one record", {0x1500, 1, 36, 324}, nullptr, 1},
             Case{"three records", {0x1500, 3, 36, 324}, nullptr, 2},
             Case{"no records", {0x1500, 0, 0, 324}, nullptr, 0},
             Case{"records far out", {0x1500, 1, 12, 400}, nullptr, 1},
             Case{"offset 316 before 0x1400", {0x1300, 1, 12, 316}, nullptr, 1},
             Case{"record size 0", {0x1500, 1, 0, 340}, "Invalid data", 0},
             Case{"record size 11", {0x1500, 2, 11, 324}, "Invalid data", 0},
             Case{"offset 316 from 0x1400", {0x1500, 1, 12, 316}, "Invalid data", 0},
             Case{"offset inside the names", {0x1500, 1, 36, 300}, "Invalid data", 0},
             Case{"fewer records than counted", {0x1500, 2, 36, 324, -36}, "Invalid data", 0},
             Case{"more bytes than counted", {0x1500, 1, 36, 324, 4}, "Invalid data", 0},
             Case{"323 bytes", {0x1500, 0, 36, 323}, "Invalid size", 0},
             Case{"before 0x1200", {0x1100, 1, 0, 0}, nullptr, 1},
             Case{"before 0x1200 unequal", {0x1100, 2, 0, 0, -88}, "Invalid data", 0},
             Case{"before 0x1200 short", {0x1100, 0, 0, 0, -6}, "Invalid size", 0},
         }) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        ConmonHarness harness(server.port());
        conmon_client_request_id id = 0;
        ASSERT_EQ(conmon_client_connect(harness.client(), ConmonHarness::done, &id), AUD_SUCCESS);
        const auto connect = server.receive();
        ASSERT_TRUE(connect);
        server.reply(connectResponse(wire::le16(*connect, 4), c.layout));
        ASSERT_TRUE(harness.run([&] { return !harness.results.empty(); }));
        if (c.refused) {
            EXPECT_EQ(harness.results[0], AUD_ERR_INVALIDDATA);
            EXPECT_TRUE(harness.env().logged(std::string("Error validating: ") + c.refused));
            EXPECT_FALSE(harness.completed(id));
            EXPECT_EQ(conmon_client_get_state(harness.client()), CONMON_CLIENT_CONNECTING);
            continue;
        }
        EXPECT_EQ(harness.resultOf(id), AUD_SUCCESS);
        EXPECT_EQ(conmon_client_get_state(harness.client()), CONMON_CLIENT_CONNECTED);
        ASSERT_EQ(conmon_client_num_interfaces(harness.client()), c.interfaces);
        for (size_t i = 0; i < c.interfaces; ++i) {
            const conmon_client_interface* interface =
                conmon_client_interface_at(harness.client(), i);
            EXPECT_EQ(interface->index, i + 1);
            EXPECT_EQ(interface->address, htonl(0xC0000201));
        }
        const bool legacy = c.layout.version < 0x1200;
        EXPECT_STREQ(conmon_client_get_device_name(harness.client()),
                     legacy ? "LEGACY-PC" : "LOCAL-PC");
        EXPECT_STREQ(conmon_client_get_dns_domain_name(harness.client()), legacy ? "" : "local.");
        EXPECT_EQ(conmon_client_get_instance_id(harness.client())->process_id, 0x0777);
    }
}

TEST_F(ConmonConnect, NullEndsTheConnectEntrySilently) {
    connectWith([](uint16_t sequence) { return wire::control(0x1500, sequence, 0x000, 1, {}); });
    EXPECT_EQ(m_harness.results[0], AUD_SUCCESS);
    EXPECT_TRUE(m_harness.completions.empty());
    EXPECT_EQ(conmon_client_cancel_request(m_harness.client(), m_id), AUD_ERR_NOTFOUND);
}

TEST_F(ConmonConnect, ConnectResponseToAnotherRequestIsIgnored) {
    connectWith([](uint16_t sequence) { return connectResponse(sequence, {0x1500, 0, 36, 324}); });
    ASSERT_EQ(m_harness.resultOf(m_id), AUD_SUCCESS);
    conmon_client_request_id id = 0;
    ASSERT_EQ(conmon_client_subscribe_global(m_harness.client(), ConmonHarness::done, &id, 2),
              AUD_SUCCESS);
    const auto subscribe = m_server.receive();
    ASSERT_TRUE(subscribe);
    m_server.reply(connectResponse(wire::le16(*subscribe, 4), {0x1500, 0, 36, 324}));
    ASSERT_TRUE(m_harness.run([&] { return m_harness.results.size() == 2; }));
    EXPECT_TRUE(m_harness.env().logged("connection handle mismatch, ignoring message!"));
    EXPECT_FALSE(m_harness.completed(id));

    // A subscription record whose name fills its field keeps 32 characters.
    Bytes body;
    wire::putLe16(body, 1);
    wire::padTo(body, 6);
    wire::putLe16(body, 2);
    wire::putLe16(body, 1);
    wire::putField(body, std::string(40, 'S'), 32);
    wire::padTo(body, 6 + 72);
    m_server.reply(wire::control(0x1500, wire::le16(*subscribe, 4), 0x310, 1, body));
    ASSERT_TRUE(m_harness.run([&] { return m_harness.completed(id); }));
    EXPECT_EQ(m_harness.resultOf(id), AUD_SUCCESS);
    ASSERT_EQ(conmon_client_num_subscriptions(m_harness.client()), 1u);
    EXPECT_EQ(std::string(conmon_client_subscription_at(m_harness.client(), 0)->name),
              std::string(32, 'S'));
}

}  // namespace
