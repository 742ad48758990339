#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Dgcp2Fixture.h"
#include "dgcp2/dgcp2_client.h"
#include "platform/aud_socket.h"

namespace {

struct Event {
    unsigned changes;
    bool with_request;
    uint16_t opcode;  // of the message, 0 without one
    aud_error_t result;
    int state;
};

class Transport : public ::testing::Test {
protected:
    void SetUp() override {
        client_ = dgcp2_client_new(env_.env(), false, DGCP_HEADER_TYPE_CLIENT, 1);
        ASSERT_NE(client_, nullptr);
        aud_sockaddr server{};
        aud_sockaddr_set(&server, htonl(INADDR_LOOPBACK), peer_.port());
        ASSERT_EQ(aud_socket_create_connected(&socket_, &server), AUD_SUCCESS);
        ASSERT_EQ(aud_socket_set_blocking(socket_, false), AUD_SUCCESS);
        ASSERT_EQ(dgcp2_client_initialise(client_, nullptr, socket_, true, false, nullptr),
                  AUD_SUCCESS);
        dgcp2_client_set_clock(client_, &ManualClock::read, &clock_);
        const aud_time send{10, 0};
        const aud_time receive{31, 0};
        ASSERT_EQ(dgcp2_client_set_keepalives(client_, 0x1001, &send, &receive), AUD_SUCCESS);
        dgcp2_client_set_context(client_, this);
        dgcp2_client_set_event_callback(client_, &Transport::record);
        aud_sockaddr local{};
        aud_socket_get_local_address(socket_, &local);
        local_port_ = aud_sockaddr_get_port(&local);
    }
    void TearDown() override {
        dgcp2_client_delete(client_);
        aud_socket_close(&socket_);
    }

    static void record(dgcp2_client* client, const dgcp2_event_info* event) {
        Transport* self = static_cast<Transport*>(dgcp2_client_get_context(client));
        self->events_.push_back(
            {event->changes, event->request != nullptr,
             event->message ? dgcp_header_get_opcode(event->message) : uint16_t{0}, event->result,
             dgcp2_client_get_state(client)});
    }

    // Waits for a datagram to reach the client, then lets it process.
    aud_error_t deliver() {
        EXPECT_TRUE(readable(socket_, 1000));
        return dgcp2_client_process(client_, nullptr);
    }

    aud_error_t send(uint16_t opcode, dgcp_message** out = nullptr) {
        dgcp_message* request = nullptr;
        const aud_error_t allocated = dgcp2_client_alloc_request(client_, &request);
        if (allocated != AUD_SUCCESS) {
            return allocated;
        }
        dgcp_header_set(request, 0x1001, opcode);
        if (out) {
            *out = request;
        }
        return dgcp2_client_send_request(request);
    }

    bool slotFree() {
        dgcp_message* request = nullptr;
        if (dgcp2_client_alloc_request(client_, &request) != AUD_SUCCESS) {
            return false;
        }
        dgcp2_request_free(request);
        return true;
    }

    void connect() {
        ASSERT_EQ(send(DGCP_OPCODE_CONNECT), AUD_SUCCESS);
        const Bytes request = peer_.receive();
        peer_.send(wireMessage(field16(request, 4), DGCP_OPCODE_CONNECT, 1));
        ASSERT_EQ(deliver(), AUD_SUCCESS);
        ASSERT_EQ(dgcp2_client_get_state(client_), DGCP2_STATE_CONNECTED);
        events_.clear();
        env_.clear();
    }

    // Makes the next socket call of the client meet a refusal: the peer is gone and one
    // datagram to it has been refused.
    void refuseNext() {
        peer_.close();
        const uint8_t byte = 0;
        size_t length = 1;
        aud_socket_send(socket_, &byte, &length);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    LoggedEnv env_{AUD_LOG_VERBOSE};
    Peer peer_;
    ManualClock clock_;
    aud_socket_t socket_ = AUD_SOCKET_INVALID;
    uint16_t local_port_ = 0;
    dgcp2_client* client_ = nullptr;
    std::vector<Event> events_;
};

TEST_F(Transport, ConnectHandshakeMovesTheStateAndFreesTheSlot) {
    ASSERT_EQ(send(DGCP_OPCODE_CONNECT), AUD_SUCCESS);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].changes, unsigned{DGCP2_CHANGE_STATE});
    EXPECT_EQ(events_[0].state, DGCP2_STATE_CONNECTING);
    EXPECT_FALSE(slotFree());

    const Bytes request = peer_.receive();
    ASSERT_EQ(request.size(), 20u);
    EXPECT_EQ(field16(request, 2), 20);
    EXPECT_EQ(field16(request, 4), 0);
    EXPECT_EQ(field16(request, 6), DGCP_OPCODE_CONNECT);
    EXPECT_EQ(field16(request, 10), local_port_);
    EXPECT_EQ(Bytes(request.begin() + 12, request.end()), Bytes(8, 0));

    peer_.send(wireMessage(0, DGCP_OPCODE_CONNECT, 1));
    EXPECT_EQ(deliver(), AUD_SUCCESS);
    EXPECT_EQ(dgcp2_client_get_state(client_), DGCP2_STATE_CONNECTED);
    // Reported at once, then again once the slot is released.
    ASSERT_EQ(events_.size(), 3u);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(events_[i].changes, unsigned{DGCP2_CHANGE_STATE | DGCP2_CHANGE_RESPONSE});
        EXPECT_TRUE(events_[i].with_request);
        EXPECT_EQ(events_[i].opcode, DGCP_OPCODE_CONNECT);
    }
    EXPECT_TRUE(slotFree());
}

TEST_F(Transport, ARefusedConnectLeavesTheClientDisconnected) {
    ASSERT_EQ(send(DGCP_OPCODE_CONNECT), AUD_SUCCESS);
    peer_.receive();
    peer_.send(wireMessage(0, DGCP_OPCODE_CONNECT, 130));
    EXPECT_EQ(deliver(), AUD_SUCCESS);
    EXPECT_EQ(dgcp2_client_get_state(client_), DGCP2_STATE_DISCONNECTED);
    EXPECT_EQ(events_.back().changes, unsigned{DGCP2_CHANGE_STATE | DGCP2_CHANGE_RESPONSE});
    EXPECT_TRUE(slotFree());
}

// Malformed datagrams are logged and dropped; the request stays pending and a good response
// read in the same pass still completes it.
TEST_F(Transport, MalformedDatagramsAreDroppedAndReadingGoesOn) {
    connect();
    struct Case {
        const char* what;
        Bytes datagram;
        const char* line;
    };
    Bytes longer = wireMessage(1, 0x110, 1, {0, 0});
    longer[3] += 1;
    Bytes shorter = wireMessage(1, 0x110, 1, {0, 0});
    shorter[3] -= 1;
    Bytes nineteen = wireMessage(1, 0x110, 1);
    nineteen.resize(19);
    const Case cases[] = {
        {"length one more", longer, "invalid size in message (msg=23, recved=22)"},
        {"length one less", shorter, "invalid size in message (msg=21, recved=22)"},
        {"19 bytes", nineteen, "message too small (19 < 20)"},
        {"over 1472 bytes", wireMessage(1, 0x110, 1, Bytes(1453, 0)),
         "message too large (over 1472 bytes): dropping it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dgcp_message* request = nullptr;
        ASSERT_EQ(send(0x110, &request), AUD_SUCCESS);
        const uint16_t seqnum = field16(peer_.receive(), 4);
        Bytes datagram = c.datagram;
        datagram[4] = static_cast<uint8_t>(seqnum >> 8);
        datagram[5] = static_cast<uint8_t>(seqnum);
        peer_.send(datagram);
        peer_.send(wireMessage(seqnum, 0x110, 1, {0, 0}));
        EXPECT_EQ(deliver(), AUD_SUCCESS);
        EXPECT_EQ(env_.count(c.line), 1u);
        // Only the good response was reported.
        ASSERT_EQ(events_.size(), 1u);
        EXPECT_EQ(events_[0].changes, unsigned{DGCP2_CHANGE_RESPONSE});
        EXPECT_EQ(events_[0].opcode, 0x110);
        EXPECT_TRUE(slotFree());
        events_.clear();
    }
}

TEST_F(Transport, ADatagramOf1472BytesIsRead) {
    connect();
    ASSERT_EQ(send(0x110), AUD_SUCCESS);
    const uint16_t seqnum = field16(peer_.receive(), 4);
    peer_.send(wireMessage(seqnum, 0x110, 1, Bytes(1452, 0)));
    EXPECT_EQ(deliver(), AUD_SUCCESS);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].opcode, 0x110);
}

TEST_F(Transport, AResponseOfAnotherSequenceNumberIsIgnored) {
    connect();
    ASSERT_EQ(send(0x110), AUD_SUCCESS);
    const uint16_t seqnum = field16(peer_.receive(), 4);
    peer_.send(wireMessage(seqnum + 4, 0x110, 1));
    EXPECT_EQ(deliver(), AUD_SUCCESS);
    EXPECT_TRUE(
        env_.logged("No active request for non-event message with seqnum 0x0005: "
                    "ignoring message"));
    EXPECT_TRUE(events_.empty());
    EXPECT_FALSE(slotFree());
    peer_.send(wireMessage(seqnum, 0x110, 1));
    EXPECT_EQ(deliver(), AUD_SUCCESS);
    EXPECT_EQ(events_.size(), 1u);
}

TEST_F(Transport, EventsAndOtherResponsesWaitForTheConnection) {
    ASSERT_EQ(send(DGCP_OPCODE_CONNECT), AUD_SUCCESS);
    peer_.receive();
    events_.clear();
    peer_.send(wireMessage(7, 0x101, 2));
    peer_.send(wireMessage(0, 0x110, 1));
    EXPECT_EQ(deliver(), AUD_SUCCESS);
    EXPECT_TRUE(events_.empty());
    EXPECT_TRUE(env_.logged("event (opcode=0x0101) while not connected"));
    EXPECT_FALSE(slotFree());

    peer_.send(wireMessage(0, DGCP_OPCODE_CONNECT, 1));
    EXPECT_EQ(deliver(), AUD_SUCCESS);
    events_.clear();
    peer_.send(wireMessage(8, 0x101, 2));
    EXPECT_EQ(deliver(), AUD_SUCCESS);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].changes, unsigned{DGCP2_CHANGE_EVENT});
    EXPECT_EQ(events_[0].opcode, 0x101);
}

TEST_F(Transport, KeepalivesAreSentAndASilentServerIsLostAfter31Seconds) {
    connect();
    clock_.advance(10001);
    EXPECT_EQ(dgcp2_client_process(client_, nullptr), AUD_SUCCESS);
    const Bytes keepalive = peer_.receive();
    ASSERT_EQ(keepalive.size(), 20u);
    EXPECT_EQ(field16(keepalive, 0), 0x1001);
    EXPECT_EQ(field16(keepalive, 6), DGCP_OPCODE_KEEPALIVE);
    EXPECT_EQ(field16(keepalive, 10), local_port_);
    peer_.send(wireMessage(field16(keepalive, 4), 0, 1));
    EXPECT_EQ(deliver(), AUD_SUCCESS);
    EXPECT_TRUE(env_.logged("Got a keepalive response"));

    // Silent from here: 31 s after the last message the server counts as gone.
    clock_.advance(31000);
    EXPECT_EQ(dgcp2_client_process(client_, nullptr), AUD_SUCCESS);
    EXPECT_EQ(dgcp2_client_get_state(client_), DGCP2_STATE_CONNECTED);
    EXPECT_TRUE(events_.empty());
    clock_.advance(1);
    EXPECT_EQ(dgcp2_client_process(client_, nullptr), AUD_SUCCESS);
    EXPECT_EQ(dgcp2_client_get_state(client_), DGCP2_STATE_DISCONNECTED);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].changes, unsigned{DGCP2_CHANGE_STATE | DGCP2_CHANGE_SERVER_LOST});
    EXPECT_EQ(events_[0].result, AUD_ERR_TIMEDOUT);
    EXPECT_TRUE(env_.logged("server has disappeared, disconnecting!"));
}

TEST_F(Transport, ARefusedDatagramDisconnects) {
    connect();
    refuseNext();
    EXPECT_EQ(dgcp2_client_process(client_, nullptr), AUD_ERR_CONNRESET);
    EXPECT_EQ(dgcp2_client_get_state(client_), DGCP2_STATE_DISCONNECTED);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].changes, unsigned{DGCP2_CHANGE_STATE});
    EXPECT_EQ(events_[0].result, AUD_ERR_CONNRESET);
    EXPECT_TRUE(env_.logged("error recving (CONNRESET): disconnecting"));
}

TEST_F(Transport, AFailedSendFreesTheSlot) {
    connect();
    refuseNext();
    EXPECT_EQ(send(0x110), AUD_ERR_CONNRESET);
    EXPECT_TRUE(slotFree());
    EXPECT_EQ(dgcp2_client_get_state(client_), DGCP2_STATE_CONNECTED);
}

TEST_F(Transport, ARefusedDisconnectCountsAsDone) {
    connect();
    refuseNext();
    EXPECT_EQ(send(DGCP_OPCODE_DISCONNECT), AUD_SUCCESS);
    EXPECT_EQ(dgcp2_client_get_state(client_), DGCP2_STATE_DISCONNECTED);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].changes, unsigned{DGCP2_CHANGE_STATE});
    EXPECT_TRUE(slotFree());
}

TEST_F(Transport, OpcodesAreCheckedAgainstTheState) {
    EXPECT_EQ(send(0x110), AUD_ERR_INVALIDSTATE);
    EXPECT_EQ(send(DGCP_OPCODE_DISCONNECT), AUD_ERR_INVALIDSTATE);
    EXPECT_TRUE(slotFree());
    connect();
    EXPECT_EQ(send(DGCP_OPCODE_CONNECT), AUD_ERR_INVALIDSTATE);
    EXPECT_TRUE(slotFree());
    // Without the handshake connect and disconnect are refused, the rest passes.
    ASSERT_EQ(dgcp2_client_initialise(client_, nullptr, socket_, false, false, nullptr),
              AUD_SUCCESS);
    EXPECT_EQ(send(DGCP_OPCODE_CONNECT), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(send(DGCP_OPCODE_DISCONNECT), AUD_ERR_INVALIDPARAMETER);
    EXPECT_TRUE(slotFree());
}

TEST_F(Transport, ThePoolHoldsOneRequest) {
    dgcp_message* first = nullptr;
    dgcp_message* second = nullptr;
    ASSERT_EQ(dgcp2_client_alloc_request(client_, &first), AUD_SUCCESS);
    EXPECT_EQ(dgcp2_client_alloc_request(client_, &second), AUD_ERR_NOBUFS);
    dgcp2_request_free(first);
    dgcp2_request_free(first);
    EXPECT_TRUE(slotFree());

    dgcp2_client* without_pool = dgcp2_client_new(env_.env(), false, DGCP_HEADER_TYPE_CLIENT, 0);
    EXPECT_EQ(dgcp2_client_alloc_request(without_pool, &second), AUD_ERR_NOTFOUND);
    dgcp2_client_delete(without_pool);
    EXPECT_EQ(dgcp2_client_new(env_.env(), true, DGCP_HEADER_TYPE_CLIENT, 1), nullptr);
}

}  // namespace
