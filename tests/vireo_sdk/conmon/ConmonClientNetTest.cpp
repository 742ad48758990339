// The conmon client against the fake conmon server on 127.0.0.1:8900 of the test's own network
// namespace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConmonFixture.h"
#include "FakeDevice.h"
#include "conmon/conmon_body.h"
#include "conmon/conmon_client_internal.h"

namespace {

using namespace std::chrono_literals;
using sim::FakeConmonFault;
using Bytes = std::vector<uint8_t>;
namespace wire = sim::conmonwire;

const uint8_t kOvalta[8] = {'O', 'v', 'a', 'l', 't', 'a', 'T', 0};

Bytes versionsRequest() {
    conmon_body body{};
    conmon_body_init_request(&body, CONMON_BODY_VERSION_CONTROL, CONMON_BODY_VERSIONS_REQUEST,
                             1000000);
    return Bytes(body.data, body.data + conmon_body_request_size(&body));
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes zeros(size_t n) {
    return Bytes(n, 0);
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

class ConmonClientNet : public ::testing::Test {
protected:
    void SetUp() override {
        m_server.addDevice(fakeAmp());
        m_server.setInterfaces({{3, true, "192.0.2.10"}, {4, false, "192.0.2.11"}});
        m_server.setLocalDevice("ZEB-PC", "local.");
    }
    sim::FakeConmonServer m_server;
};

TEST_F(ConmonClientNet, StartUpAndRequestsAreSentByteForByte) {
    ASSERT_TRUE(m_server.start());
    ConmonHarness harness;
    harness.open();
    ASSERT_EQ(harness.send("ZEB-AMP-01", versionsRequest()), AUD_SUCCESS);
    const std::string command = "VERSION\r";
    Bytes body(command.begin(), command.end());
    body.push_back(0);
    ASSERT_EQ(harness.send("ZEB-AMP-01", body, kOvalta), AUD_SUCCESS);
    ASSERT_TRUE(m_server.waitForDatagrams(5, 2s));

    const std::vector<Bytes> log = m_server.log();
    EXPECT_EQ(log[0], join({{0x00, 0x15, 0x2C, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00},
                            text("Kolvo CONMON"),
                            zeros(22)}));
    EXPECT_EQ(log[1], (Bytes{0x00, 0x15, 0x10, 0x00, 0x02, 0x00, 0x00, 0x03, 0x00, 0x00, 0x02, 0x00,
                             0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(log[2],
              join({{0x00, 0x15, 0x19, 0x00, 0x03, 0x00, 0x10, 0x03, 0x00, 0x00, 0x02, 0x00},
                    zeros(13)}));
    EXPECT_EQ(log[3],
              join({{0x00, 0x15, 0x54, 0x00, 0x04, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00},
                    zeros(8),
                    text("ZEB-AMP-01"),
                    zeros(22),
                    {0xFF, 0xFF, 0x00, 0x20},
                    zeros(12),
                    text("Sonavent"),
                    {0x07, 0x1F, 0x00, 0xC1, 0x00, 0x0F, 0x42, 0x40}}));
    EXPECT_EQ(log[4],
              join({{0x00, 0x15, 0x55, 0x00, 0x05, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00},
                    zeros(8),
                    text("ZEB-AMP-01"),
                    zeros(22),
                    {0xFF, 0xFF, 0x00, 0x21},
                    zeros(12),
                    {0x4F, 0x76, 0x61, 0x6C, 0x74, 0x61, 0x54, 0x00, 0x56, 0x45, 0x52, 0x53, 0x49,
                     0x4F, 0x4E, 0x0D, 0x00}}));
    EXPECT_EQ(log[4].size(), 85u);
}

TEST_F(ConmonClientNet, ConnectKeepsWhatTheServerToldAndSubscribeListsDevices) {
    ASSERT_TRUE(m_server.start());
    ConmonHarness harness;
    harness.open();
    EXPECT_EQ(harness.changed_devices, (std::vector<std::vector<std::string>>{{"ZEB-AMP-01"}}));
    conmon_client* client = harness.client();
    EXPECT_EQ(conmon_client_get_state(client), CONMON_CLIENT_CONNECTED);
    EXPECT_TRUE(
        harness.env().logged("conmon_client_to_state_inner(conmon_client_connect_internal): "
                             "NO_CONNECTION->CONNECTING (Connecting)"));
    EXPECT_TRUE(harness.env().logged("CONNECTING->CONNECTED (manual connection completed)"));
    EXPECT_STREQ(conmon_client_get_device_name(client), "ZEB-PC");
    EXPECT_STREQ(conmon_client_get_dns_domain_name(client), "local.");
    const conmon_instance_id local = {{0xEE, 0xEE, 0, 0, 0, 0, 0, 1}, 0x4321};
    EXPECT_TRUE(conmon_instance_id_equal(conmon_client_get_instance_id(client), &local));
    EXPECT_STREQ(conmon_client_device_name_for_instance_id(client, &local), "ZEB-PC");
    ASSERT_EQ(conmon_client_num_interfaces(client), 2u);
    EXPECT_EQ(conmon_client_interface_at(client, 0)->index, 3u);
    EXPECT_EQ(conmon_client_interface_at(client, 0)->flags, 1u);
    EXPECT_EQ(conmon_client_interface_at(client, 0)->address, htonl(0xC000020A));
    EXPECT_EQ(conmon_client_interface_at(client, 1)->flags, 0u);
    ASSERT_EQ(conmon_client_num_subscriptions(client), 1u);
    const conmon_client_subscription* entry = conmon_client_subscription_at(client, 0);
    EXPECT_EQ(entry->channel_type, 2);
    EXPECT_STREQ(entry->name, "ZEB-AMP-01");
    EXPECT_EQ(entry->instance_id.process_id, 0x0102);
    EXPECT_STREQ(conmon_client_device_name_for_instance_id(client, &entry->instance_id),
                 "ZEB-AMP-01");

    conmon_client_disconnect(client);
    EXPECT_EQ(conmon_client_get_state(client), CONMON_CLIENT_NO_CONNECTION);
    EXPECT_EQ(conmon_client_num_subscriptions(client), 0u);
    ASSERT_TRUE(m_server.waitForOpcode(0x101, 1, 2s));
    // The server allows requests without responses: Disconnect asks for none.
    EXPECT_EQ(m_server.log().back()[9] >> 4, 0xF);
    EXPECT_EQ(harness.send("ZEB-AMP-01", versionsRequest()), AUD_ERR_NOTCONN);
}

TEST_F(ConmonClientNet, RepliesArriveAsNamedMessagesAndVendorTextsReachTheDevice) {
    sim::FakeConmonDevice amp = fakeAmp("ZEB-AMP-02");
    amp.address = "127.0.0.2";
    m_server.addDevice(amp);
    m_server.setSubscriptionRecords(false);  // names come from the named messages alone
    sim::FakeDevice device("127.0.0.2");
    device.setVersion(1, 5);
    ASSERT_TRUE(device.start());
    ASSERT_TRUE(m_server.start());
    ConmonHarness harness;
    harness.open();

    conmon_body interfaces{};
    conmon_body_init_interface_request(&interfaces, CONMON_BODY_VERSION_CONTROL, 0);
    ASSERT_EQ(harness.send("ZEB-AMP-02", Bytes(interfaces.data, interfaces.data + 16)),
              AUD_SUCCESS);
    ASSERT_EQ(harness.send("ZEB-AMP-02", versionsRequest()), AUD_SUCCESS);
    ASSERT_EQ(harness.send("ZEB-AMP-02", {'V', 'E', 'R', 'S', 'I', 'O', 'N', '\r', 0}, kOvalta),
              AUD_SUCCESS);
    ASSERT_TRUE(harness.run([&] { return harness.deliveries.size() == 3; }));
    harness.settle(50ms);
    ASSERT_EQ(harness.deliveries.size(), 3u);

    for (const auto& delivery : harness.deliveries) {
        EXPECT_EQ(delivery.channel_type, 2u);
        EXPECT_EQ(delivery.direction, 1u);
        EXPECT_EQ(delivery.sender, "ZEB-AMP-02");
    }
    const Bytes& mac_reply = harness.deliveries[0].body;
    ASSERT_EQ(mac_reply.size(), 40u);
    EXPECT_EQ(conmon_body_interface_count(mac_reply.data(), mac_reply.size()), 1);
    const Bytes& versions = harness.deliveries[1].body;
    EXPECT_EQ(conmon_versions_get_model_version(versions.data(), versions.size()), 0x00010003u);
    EXPECT_EQ(harness.deliveries[2].vendor, Bytes(kOvalta, kOvalta + 8));
    EXPECT_EQ(harness.deliveries[2].body, join({text("ACK VERSION=1.5"), {0}}));
    ASSERT_EQ(device.log().size(), 1u);
    EXPECT_EQ(device.log()[0].bytes, text("VERSION\r"));

    // Outside a delivery the sender's name is not known.
    const conmon_instance_id id = {{0x00, 0x1d, 0xc1, 0xff, 0xfe, 0x12, 0x34, 0x56}, 0x0102};
    EXPECT_EQ(conmon_client_device_name_for_instance_id(harness.client(), &id), nullptr);
    device.stop();
}

// A completion callback may delete the client: it is freed once the datagram is handled,
// and no callback reaches it afterwards.
TEST_F(ConmonClientNet, CompletionCallbackMayDeleteTheClient) {
    ASSERT_TRUE(m_server.start());
    ConmonHarness harness;
    ASSERT_EQ(harness.connect(), AUD_SUCCESS);
    conmon_client* client = harness.release();
    static bool deleted;
    deleted = false;
    const auto deleteClient = [](conmon_client* owner, conmon_client_request_id, aud_error_t) {
        conmon_client_delete(owner);
        deleted = true;
    };
    conmon_client_request_id id = 0;
    ASSERT_EQ(conmon_client_subscribe_global(client, deleteClient, &id, 2), AUD_SUCCESS);
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!deleted && std::chrono::steady_clock::now() < deadline) {
        aud_socket_set set{};
        ASSERT_EQ(conmon_client_get_sockets(client, &set), AUD_SUCCESS);
        const aud_time wait = {0, 10000};
        aud_socket_select(&set, nullptr, nullptr, &wait, nullptr);
        conmon_client_process_sockets(client, &set, nullptr);
    }
    EXPECT_TRUE(deleted);
    EXPECT_TRUE(harness.changed_devices.empty());       // the Subscribe response's records
    EXPECT_TRUE(m_server.waitForOpcode(0x101, 1, 2s));  // the Disconnect of the delete
}

TEST_F(ConmonClientNet, SecondConnectWhileConnectingSendsNothing) {
    m_server.scriptFault(0x100, FakeConmonFault::kSilence);
    ASSERT_TRUE(m_server.start());
    ConmonHarness harness;
    conmon_client_request_id first = 0;
    ASSERT_EQ(conmon_client_connect(harness.client(), ConmonHarness::done, &first), AUD_SUCCESS);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(conmon_client_get_state(harness.client()), CONMON_CLIENT_CONNECTING);
    conmon_client_request_id second = 0;
    EXPECT_EQ(conmon_client_connect(harness.client(), ConmonHarness::done, &second),
              AUD_ERR_INVALIDSTATE);
    EXPECT_TRUE(harness.env().logged("Invalid state (Already connecting / connected)"));
    harness.settle();
    EXPECT_EQ(m_server.log().size(), 1u);
    EXPECT_TRUE(harness.completions.empty());
}

TEST_F(ConmonClientNet, FullTableRefusesUntilARequestIsCancelledOrAnswered) {
    ASSERT_TRUE(m_server.start());
    ConmonHarness harness;
    harness.open();
    for (int i = 0; i < 11; ++i) {
        m_server.scriptFault(0x400, FakeConmonFault::kSilence);
    }
    std::vector<conmon_client_request_id> ids(10);
    for (auto& id : ids) {
        ASSERT_EQ(harness.send("ZEB-AMP-01", versionsRequest(), CONMON_VENDOR_ID_STANDARD, &id),
                  AUD_SUCCESS);
    }
    for (size_t i = 1; i < ids.size(); ++i) {
        EXPECT_GT(ids[i], ids[i - 1]);  // ids are not table positions
    }
    conmon_client_request_id refused = 0;
    EXPECT_EQ(harness.send("ZEB-AMP-01", versionsRequest(), CONMON_VENDOR_ID_STANDARD, &refused),
              AUD_ERR_NOBUFS);
    EXPECT_EQ(refused, 0u);

    EXPECT_EQ(conmon_client_cancel_request(harness.client(), ids[3]), AUD_SUCCESS);
    EXPECT_EQ(conmon_client_cancel_request(harness.client(), ids[3]), AUD_ERR_NOTFOUND);
    conmon_client_request_id next = 0;
    ASSERT_EQ(harness.send("ZEB-AMP-01", versionsRequest(), CONMON_VENDOR_ID_STANDARD, &next),
              AUD_SUCCESS);
    EXPECT_GT(next, ids[9]);
    harness.settle();
    EXPECT_EQ(harness.completions.size(), 3u);  // only Connect, Register and Subscribe
}

TEST_F(ConmonClientNet, SequenceNumbersGoFrom0xFFFFTo1) {
    ASSERT_TRUE(m_server.start());
    ConmonHarness harness;
    harness.open();
    harness.client()->sequence = 0xFFFE;
    conmon_client_request_id a = 0;
    conmon_client_request_id b = 0;
    ASSERT_EQ(harness.send("ZEB-AMP-01", versionsRequest(), CONMON_VENDOR_ID_STANDARD, &a),
              AUD_SUCCESS);
    ASSERT_EQ(harness.send("ZEB-AMP-01", versionsRequest(), CONMON_VENDOR_ID_STANDARD, &b),
              AUD_SUCCESS);
    ASSERT_TRUE(harness.run([&] { return harness.completed(a) && harness.completed(b); }));
    EXPECT_EQ(harness.resultOf(a), AUD_SUCCESS);
    EXPECT_EQ(harness.resultOf(b), AUD_SUCCESS);
    const auto log = m_server.log();
    EXPECT_EQ(wire::le16(log[3], 4), 0xFFFF);
    EXPECT_EQ(wire::le16(log[4], 4), 1);
}

TEST_F(ConmonClientNet, RefusedConnectClosesWithoutDisconnect) {
    ConmonHarness harness;
    EXPECT_EQ(harness.connect(), AUD_ERR_CONNRESET);
    EXPECT_TRUE(harness.env().logged(
        "Got a CONNREFUSED while waiting for a connect response, aborting connect"));
    EXPECT_EQ(conmon_client_get_state(harness.client()), CONMON_CLIENT_NO_CONNECTION);
    aud_socket_set set{};
    EXPECT_EQ(conmon_client_get_sockets(harness.client(), &set), AUD_ERR_INVALIDSTATE);
    EXPECT_EQ(harness.send("ZEB-AMP-01", versionsRequest()), AUD_ERR_NOTCONN);
    conmon_client_request_id id = 0;
    EXPECT_EQ(conmon_client_subscribe_global(harness.client(), ConmonHarness::done, &id, 2),
              AUD_ERR_NOTCONN);

    ASSERT_TRUE(m_server.start());
    conmon_client_disconnect(harness.client());
    harness.settle(50ms);
    EXPECT_TRUE(m_server.log().empty());
}

TEST_F(ConmonClientNet, OlderServerGetsTheShorterConnect) {
    m_server.setVersion(0x1300);
    ASSERT_TRUE(m_server.start());
    ConmonHarness harness;
    harness.open();
    const auto log = m_server.log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].size(), 44u);
    EXPECT_EQ(log[1], join({{0x00, 0x13, 0x17, 0x00, 0x02, 0x00, 0x00, 0x01, 0x00, 0x00},
                            text("Kolvo CONMON"),
                            {0}}));
    EXPECT_EQ(wire::le16(log[2], 0), 0x1300);  // and it goes on speaking 0x1300
    EXPECT_EQ(harness.completions.size(), 3u);
}

// Each misbehaviour of the server ends in a clear result (a completion, or none and a log
// line) and delivers nothing it should not.
TEST(ConmonClientFaults, EachFaultGivesAClearResultAndDeliversNothingBad) {
    enum { kNever = -1 };
    struct Case {
        const char* name;
        uint16_t opcode;  // Connect, or Send Message after a complete start-up
        FakeConmonFault fault;
        aud_error_t result;  // of that request, or kNever
        const char* logged;  // "" when nothing in particular
        size_t deliveries;   // Send Message: replies delivered
        uint16_t version = 0x1500;
        const char* device = "ZEB-AMP-01";
        uint16_t request = CONMON_BODY_VERSIONS_REQUEST;
    };
    const Case cases[] = {
        {"connect silent", 0x100, {FakeConmonFault::kSilence}, kNever, "", 0},
        {"connect other sequence",
         0x100,
         {FakeConmonFault::kOtherSequence},
         kNever,
         "Unhandled response seqnum=0x0101 opcode=0x0100",
         0},
        {"connect other opcode",
         0x100,
         {FakeConmonFault::kOtherOpcode},
         AUD_ERR_INVALIDDATA,
         "Response seqnum=0x0001 has opcode 0x0300, expected 0x0100",
         0},
        {"connect length",
         0x100,
         {FakeConmonFault::kLengthMismatch, 2},
         kNever,
         "Error validating: Invalid size!",
         0},
        {"connect 7000 bytes", 0x100, {FakeConmonFault::kHuge}, kNever, "Error reading socket", 0},
        {"connect status 3", 0x100, {FakeConmonFault::kStatus, 3}, AUD_ERR_VERSION, "", 0, 0x1300},
        {"connect status 13",
         0x100,
         {FakeConmonFault::kStatus, 13},
         AUD_ERR_NOTFOUND,
         "",
         0,
         0x1300},
        {"connect status 4", 0x100, {FakeConmonFault::kStatus, 4}, AUD_SUCCESS, "", 0, 0x1300},
        {"send silent", 0x400, {FakeConmonFault::kSilence}, kNever, "", 0},
        {"send other sequence",
         0x400,
         {FakeConmonFault::kOtherSequence},
         kNever,
         "Unhandled response seqnum=0x0104 opcode=0x0400",
         1},
        {"send other opcode",
         0x400,
         {FakeConmonFault::kOtherOpcode},
         AUD_ERR_INVALIDDATA,
         "has opcode 0x0300, expected 0x0400",
         1},
        {"send 7000 bytes", 0x400, {FakeConmonFault::kHuge}, kNever, "Error reading socket", 1},
        {"send unknown device", 0x400, {}, AUD_ERR_NOTFOUND, "", 0, 0x1500, "NO-SUCH-AMP"},
        {"send status 12", 0x400, {FakeConmonFault::kStatus, 12}, AUD_ERR_NOBUFS, "", 0},
        {"reply embedded length 10",
         0x400,
         {FakeConmonFault::kEmbeddedLength, 10},
         AUD_SUCCESS,
         "Error validating: Invalid data!",
         0},
        {"reply embedded length 0",
         0x400,
         {FakeConmonFault::kEmbeddedLength, 0},
         AUD_SUCCESS,
         "Error validating: Invalid data!",
         0},
        {"reply embedded past end",
         0x400,
         {FakeConmonFault::kEmbeddedPastEnd},
         AUD_SUCCESS,
         "Error validating: Invalid data!",
         0},
        {"reply silent", 0x400, {FakeConmonFault::kReplySilence}, AUD_SUCCESS, "", 0},
        {"reply short body", 0x400, {FakeConmonFault::kShortBody, 20}, AUD_SUCCESS, "", 1},
        {"reply text without zero",
         0x400,
         {FakeConmonFault::kTextWithoutZero},
         AUD_SUCCESS,
         "",
         1,
         0x1500,
         "ZEB-AMP-01",
         CONMON_BODY_VIREO_INFO_REQUEST},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::FakeConmonServer server;
        server.addDevice(fakeAmp());
        server.setVersion(c.version);
        server.scriptFault(c.opcode, c.fault);
        ASSERT_TRUE(server.start());
        ConmonHarness harness;
        conmon_client_request_id id = 0;
        if (c.opcode == 0x100) {
            ASSERT_EQ(conmon_client_connect(harness.client(), ConmonHarness::done, &id),
                      AUD_SUCCESS);
        } else {
            harness.open();
            conmon_body body{};
            conmon_body_init_request(&body, CONMON_BODY_VERSION_CONTROL, c.request, 1000000);
            ASSERT_EQ(harness.send(c.device, Bytes(body.data, body.data + 8),
                                   CONMON_VENDOR_ID_STANDARD, &id),
                      AUD_SUCCESS);
        }
        harness.run(
            [&] { return harness.completed(id) && harness.deliveries.size() >= c.deliveries; },
            150ms);
        harness.settle(50ms);
        if (c.result == kNever) {
            EXPECT_FALSE(harness.completed(id));
            EXPECT_EQ(conmon_client_cancel_request(harness.client(), id), AUD_SUCCESS);
        } else {
            EXPECT_EQ(harness.resultOf(id), c.result);
        }
        if (*c.logged) {
            EXPECT_TRUE(harness.env().logged(c.logged));
        }
        ASSERT_EQ(harness.deliveries.size(), c.deliveries);
        for (const auto& delivery : harness.deliveries) {
            EXPECT_EQ(delivery.sender, "ZEB-AMP-01");
            EXPECT_LE(delivery.body.size(), 1448u);
        }
        if (c.fault.kind == FakeConmonFault::kHuge) {
            EXPECT_NE(std::find(harness.results.begin(), harness.results.end(), AUD_ERR_MSGSIZE),
                      harness.results.end());
        }
    }
}

TEST_F(ConmonClientNet, NamesWithoutTerminatorAreCutAtTheirFieldAndExcessInterfacesDropped) {
    m_server.setLocalDevice("ZEB-PC", "local.");
    m_server.scriptFault(0x100, FakeConmonFault::kTextWithoutZero);
    ASSERT_TRUE(m_server.start());
    {
        ConmonHarness harness;
        ASSERT_EQ(harness.connect(), AUD_SUCCESS);
        EXPECT_EQ(std::string(conmon_client_get_device_name(harness.client())),
                  "ZEB-PC" + std::string(26, 'X'));
        EXPECT_EQ(std::string(conmon_client_get_dns_domain_name(harness.client())),
                  "local." + std::string(250, 'X'));
    }
    m_server.scriptFault(0x100, {FakeConmonFault::kExcessCount, 5});
    ConmonHarness harness;
    ASSERT_EQ(harness.connect(), AUD_SUCCESS);
    EXPECT_EQ(conmon_client_num_interfaces(harness.client()), 2u);
    EXPECT_EQ(conmon_client_interface_at(harness.client(), 1)->index, 2u);
}

Bytes channelBytes(size_t body_size) {
    wire::ChannelMessage message;
    message.type = 0xFFFF;
    message.device_id = fakeAmp().device_id;
    message.process_id = fakeAmp().process_id;
    message.vendor_id = wire::kStandardVendor;
    message.body.assign(body_size, 0x5A);
    return wire::channel(message);
}

// A 0x510 or 0x511 event body of type 2, remote, around a channel message.
Bytes channelEvent(bool named, const Bytes& message) {
    Bytes body;
    wire::putLe16(body, 2);
    wire::putLe16(body, 1);
    wire::putLe16(body, 0);
    if (named) {
        wire::putField(body, "ZEB-AMP-01", 32);
    }
    body.insert(body.end(), message.begin(), message.end());
    return body;
}

Bytes withEmbeddedLength(Bytes message, uint16_t length) {
    wire::putBe16(message, 0);  // room to claim one byte more than there is
    message[2] = uint8_t(length >> 8);
    message[3] = uint8_t(length);
    return message;
}

Bytes interfaceRecords(uint16_t count, size_t records) {
    Bytes body;
    wire::putLe16(body, count);
    wire::padTo(body, 6);
    for (size_t i = 0; i < records; ++i) {
        const size_t start = body.size();
        wire::putLe32(body, uint32_t(10 + i));
        wire::putLe32(body, 1);
        wire::padTo(body, start + 36);
    }
    return body;
}

TEST_F(ConmonClientNet, DatagramsFailingValidationAreDroppedWithTheirStatusName) {
    ASSERT_TRUE(m_server.start());
    ConmonHarness harness;
    harness.open();
    const Bytes good = wire::control(0x1500, 0, 0x501, 2, Bytes(32, 'A'));
    Bytes other_version = good;
    other_version[1] = 0x20;
    Bytes old_version = good;
    old_version[0] = 0xFF;
    old_version[1] = 0x0F;
    Bytes long_field = good;
    long_field[2] = uint8_t(good.size() + 1);
    Bytes shortEvent = channelEvent(false, channelBytes(0));
    shortEvent.pop_back();
    struct Case {
        const char* name;
        Bytes datagram;
        const char* status;
    };
    const std::vector<Case> cases = {
        {"9 bytes", Bytes(good.begin(), good.begin() + 9), "Invalid size"},
        {"version 0x2000", other_version, "Invalid version"},
        {"version 0x0FFF", old_version, "Invalid version"},
        {"length field", long_field, "Invalid size"},
        {"unknown opcode", wire::control(0x1500, 0, 0x777, 2, {}), "Not Supported"},
        {"connect event", wire::control(0x1500, 0, 0x100, 2, Bytes(320, 0)), "Invalid status"},
        {"name too short", wire::control(0x1500, 0, 0x501, 2, Bytes(31, 'A')), "Invalid size"},
        {"domain too short", wire::control(0x1500, 0, 0x502, 2, Bytes(255, 'A')), "Invalid size"},
        {"channel message short", wire::control(0x1500, 0, 0x510, 2, shortEvent), "Invalid size"},
        {"embedded 1473",
         wire::control(0x1500, 0, 0x510, 2,
                       channelEvent(false, withEmbeddedLength(channelBytes(1449), 1473))),
         "Invalid data"},
        {"embedded past end",
         wire::control(0x1500, 0, 0x511, 2,
                       channelEvent(true, withEmbeddedLength(channelBytes(8), 24 + 8 + 3))),
         "Invalid data"},
        {"embedded below 24",
         wire::control(0x1500, 0, 0x511, 2,
                       channelEvent(true, withEmbeddedLength(channelBytes(8), 23))),
         "Invalid data"},
        {"interface count", wire::control(0x1500, 0, 0x500, 2, interfaceRecords(1000, 2)),
         "Invalid size"},
        {"subscription count", wire::control(0x1500, 0, 0x521, 2, Bytes{3, 0, 0, 0, 0, 0}),
         "Invalid size"},
        {"metering counts", wire::control(0x1500, 0, 0x520, 2, Bytes{1, 0, 1, 0}), "Invalid size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        harness.settle(20ms);
        harness.env().clear();
        harness.results.clear();
        ASSERT_TRUE(m_server.sendRaw(c.datagram));
        ASSERT_TRUE(harness.run([&] { return !harness.results.empty(); }));
        EXPECT_EQ(harness.results[0], AUD_ERR_INVALIDDATA);
        EXPECT_TRUE(harness.env().logged(std::string("conmon_client_process_message: Error "
                                                     "validating: ") +
                                         c.status + "!"));
    }
    EXPECT_TRUE(harness.deliveries.empty());
    EXPECT_STREQ(conmon_client_get_device_name(harness.client()), "ZEB-PC");
    EXPECT_EQ(conmon_client_num_interfaces(harness.client()), 2u);
}

TEST_F(ConmonClientNet, EventsUpdateTheLocalDeviceAndDeliverChannelMessages) {
    ASSERT_TRUE(m_server.start());
    ConmonHarness harness;
    harness.open();
    harness.results.clear();

    ASSERT_TRUE(m_server.sendEvent(0x501, Bytes(32, 'N')));  // no terminator
    Bytes domain;
    wire::putField(domain, "studio.example.", 256);
    ASSERT_TRUE(m_server.sendEvent(0x502, domain));
    ASSERT_TRUE(m_server.sendEvent(0x500, interfaceRecords(3, 3)));
    ASSERT_TRUE(m_server.sendEvent(0x500, interfaceRecords(3, 3)));  // no change
    ASSERT_TRUE(m_server.sendEvent(0x510, channelEvent(false, channelBytes(8))));
    Bytes status_channel = channelEvent(false, channelBytes(8));
    status_channel[0] = 3;  // a type nobody registered
    ASSERT_TRUE(m_server.sendEvent(0x510, status_channel));
    ASSERT_TRUE(harness.run([&] { return harness.results.size() == 6; }));

    EXPECT_EQ(std::string(conmon_client_get_device_name(harness.client())), std::string(32, 'N'));
    EXPECT_STREQ(conmon_client_get_dns_domain_name(harness.client()), "studio.example.");
    EXPECT_EQ(harness.names_changed, 2);
    EXPECT_EQ(harness.networks_changed, 1);
    ASSERT_EQ(conmon_client_num_interfaces(harness.client()), 2u);
    EXPECT_EQ(conmon_client_interface_at(harness.client(), 0)->index, 10u);
    ASSERT_EQ(harness.deliveries.size(), 1u);
    EXPECT_EQ(harness.deliveries[0].body, Bytes(8, 0x5A));
    EXPECT_EQ(harness.deliveries[0].sender, "ZEB-AMP-01");  // known from the subscription

    sim::FakeConmonDevice other = fakeAmp("ZEB-AMP-07");
    other.device_id[7] = 0x77;
    m_server.addDevice(other);
    ASSERT_TRUE(m_server.sendSubscriptionsChanged());
    ASSERT_TRUE(harness.run([&] { return harness.changed_devices.size() == 2; }));
    EXPECT_EQ(harness.changed_devices[1], std::vector<std::string>{"ZEB-AMP-07"});
    EXPECT_EQ(conmon_client_num_subscriptions(harness.client()), 2u);
}

TEST(ConmonClientArguments, RefusedBeforeAnythingIsSent) {
    aud_env* env = nullptr;
    ASSERT_EQ(aud_env_init(&env), AUD_SUCCESS);
    conmon_client* client = nullptr;
    EXPECT_EQ(conmon_client_new_config(env, nullptr, &client), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(conmon_client_config_new(std::string(32, 'n').c_str()), nullptr);
    conmon_client_config* config = conmon_client_config_new("Kolvo CONMON");
    for (uint32_t mask : {0x15Fu, 0x17Du, 0x1DDu}) {  // types 1, 5 and 7 need sockets
        ASSERT_EQ(conmon_client_config_set_channel_mask(config, mask), AUD_SUCCESS);
        EXPECT_EQ(conmon_client_new_config(env, config, &client), AUD_ERR_NOTSUPPORTED) << mask;
    }
    ASSERT_EQ(conmon_client_config_set_channel_mask(config, 0x15D), AUD_SUCCESS);
    ASSERT_EQ(conmon_client_new_config(env, config, &client), AUD_SUCCESS);
    conmon_client_config_delete(config);

    EXPECT_EQ(conmon_client_register_monitoring_messages(client, nullptr, nullptr, 1, 1, nullptr),
              AUD_ERR_NOTINITIALISED);
    EXPECT_EQ(conmon_client_register_monitoring_messages(client, nullptr, nullptr, 9, 1, nullptr),
              AUD_ERR_NOTINITIALISED);
    const uint8_t body[1449] = {};
    struct Case {
        const char* name;
        size_t length;
        const uint8_t* vendor;
        aud_error_t result;
    };
    const std::string long_name(32, 'D');
    for (const Case& c : {Case{"ZEB-AMP-01", 1449, kOvalta, AUD_ERR_INVALIDPARAMETER},
                          Case{"ZEB-AMP-01", 7, CONMON_VENDOR_ID_STANDARD, AUD_ERR_MSGSIZE},
                          Case{long_name.c_str(), 8, kOvalta, AUD_ERR_INVALIDPARAMETER},
                          Case{"ZEB-AMP-01", 1448, kOvalta, AUD_ERR_NOTCONN},
                          Case{"ZEB-AMP-01", 0, kOvalta, AUD_ERR_NOTCONN}}) {
        EXPECT_EQ(conmon_client_send_control_message(client, nullptr, nullptr, c.name, 0xFFFF,
                                                     c.vendor, body, c.length, nullptr),
                  c.result)
            << c.length;
    }
    EXPECT_EQ(conmon_client_set_max_requests(client, 0), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(conmon_client_set_max_requests(client, 1000), AUD_SUCCESS);
    conmon_client_delete(client);
    aud_env_release(env);
}

}  // namespace
