#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>

#include "CmmFixture.h"

namespace {

using sim::FakeCmmFault;
using sim::FakeConfigService;

// Bytes of a hex text; "pp pp" stands for port, "nn nn nn nn" for the process id.
Bytes hex(const std::string& text, uint16_t port) {
    const uint32_t pid = static_cast<uint32_t>(getpid());
    const uint8_t pid_bytes[4] = {static_cast<uint8_t>(pid >> 24), static_cast<uint8_t>(pid >> 16),
                                  static_cast<uint8_t>(pid >> 8), static_cast<uint8_t>(pid)};
    Bytes out;
    std::istringstream in(text);
    std::string token;
    int port_index = 0;
    int pid_index = 0;
    while (in >> token) {
        if (token == "pp") {
            out.push_back(static_cast<uint8_t>(port_index++ == 0 ? port >> 8 : port & 0xFF));
        } else if (token == "nn") {
            out.push_back(pid_bytes[pid_index++]);
        } else {
            out.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
        }
    }
    return out;
}

const char kEightZeros[] = " 00 00 00 00 00 00 00 00 ";

uint16_t localPort(const cmm_client* client) {
    aud_sockaddr local{};
    aud_socket_get_local_address(cmm_client_get_socket(client), &local);
    return aud_sockaddr_get_port(&local);
}

using CmmClient = CmmFixture;

TEST_F(CmmClient, ConnectAndSetConfigAreSentByteForByte) {
    service_.setOptions({{u"eth0", {2, 0, 0, 0, 0, 1}}});
    connect();
    const uint16_t port = localPort(client_);
    const std::vector<sim::FakeCmmDatagram> connects = service_.logOf(CMM_OPCODE_CONNECT);
    ASSERT_EQ(connects.size(), 1u);
    EXPECT_EQ(connects[0].bytes,
              hex(std::string("10 01 00 2C 00 00 00 01 00 00 pp pp") + kEightZeros +
                      "00 03 00 08 00 14 00 00 4F 76 61 6C 74 61 43 6D 6D 00 00 00 nn nn nn nn",
                  port));

    ASSERT_EQ(setConfig(u"eth0"), AUD_SUCCESS);
    ASSERT_TRUE(service_.waitForOpcode(CMM_OPCODE_SET_CONFIG, 1, std::chrono::seconds(1)));
    const std::vector<sim::FakeCmmDatagram> sets = service_.logOf(CMM_OPCODE_SET_CONFIG);
    EXPECT_EQ(sets[0].bytes,
              hex(std::string("10 01 00 46 00 01 01 10 00 00 pp pp") + kEightZeros +
                      "00 03 00 01 00 08 00 00 00 01 00 0C 00 01 00 10 00 02 00 18 00 2C 00 00 "
                      "00 00 00 65 00 00 00 74 00 00 00 68 00 00 00 30 00 00 00 00 02 00 00 00 "
                      "00 01",
                  port));
}

TEST_F(CmmClient, ConnectingLearnsTheServiceAndItsOfferedInterfaces) {
    ASSERT_EQ(init(service_.port()), AUD_SUCCESS);
    EXPECT_EQ(cmm_client_get_server_address(client_), nullptr);
    ASSERT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
    EXPECT_EQ(cmm_client_get_connection_state(client_), CMM_CONNECTION_CONNECTING);
    EXPECT_TRUE(cmm_client_request_pending(client_));
    EXPECT_EQ(cmm_client_connect(client_), AUD_ERR_INVALIDSTATE);
    ASSERT_TRUE(pump([this] { return cmm_client_get_status(client_) != nullptr; }));
    EXPECT_EQ(cmm_client_get_connection_state(client_), CMM_CONNECTION_CONNECTED);
    EXPECT_FALSE(cmm_client_request_pending(client_));

    const cmm_server_record* server = cmm_client_get_server_address(client_);
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->numbers[0], 1);
    EXPECT_EQ(server->value, 4);
    const cmm_interface_list* options = cmm_client_get_options(client_);
    ASSERT_EQ(cmm_available_interfaces_count(options), 2);
    EXPECT_EQ(std::u16string(cmm_interface_list_at(options, 1)->name), u"Wi-Fi");
    EXPECT_EQ(cmm_interface_list_at(options, 2), nullptr);
    const cmm_status* status = cmm_client_get_status(client_);
    EXPECT_EQ(status->code, CMM_STATUS_READY);
    EXPECT_STREQ(status->device_name, "ZEB-PC");
    ASSERT_EQ(cmm_status_num_processes(status), 1);
    EXPECT_STREQ(cmm_status_process_at(status, 0)->name, "OvaltaCmm");
    EXPECT_EQ(cmm_status_process_at(status, 0)->id, static_cast<uint32_t>(getpid()));

    unsigned all = 0;
    for (const Change& change : changes_) {
        all |= change.changes;
        EXPECT_EQ(change.result, AUD_SUCCESS);
    }
    EXPECT_EQ(all, unsigned{CMM_CHANGE_REQUEST | CMM_CHANGE_CONNECTION | CMM_CHANGE_OWN_PROCESS |
                            CMM_CHANGE_OPTIONS | CMM_CHANGE_STATUS});
}

// An event callback may delete the client, here on the connect response: its transport is
// freed once that datagram is handled, and no callback reaches the deleted client.
TEST_F(CmmClient, EventCallbackMayDeleteTheClient) {
    ASSERT_EQ(init(service_.port()), AUD_SUCCESS);
    static int calls;
    calls = 0;
    cmm_client_set_event_callback(client_, [](cmm_client* client, unsigned, aud_error_t) {
        if (cmm_client_get_connection_state(client) == CMM_CONNECTION_CONNECTED) {
            ++calls;
            cmm_client_delete(client);
        }
    });
    ASSERT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
    cmm_client* client = client_;
    client_ = nullptr;  // deleted by its callback
    const aud_socket_t socket = cmm_client_get_socket(client);
    ASSERT_TRUE(readable(socket, 2000));
    EXPECT_EQ(cmm_client_process(client, nullptr), AUD_SUCCESS);
    EXPECT_EQ(calls, 1);
}

// Options equal to the forgotten (zeroed) record are still received: known, with no change.
TEST_F(CmmClient, AnEmptyOfferIsKnownOnceReceived) {
    service_.setOptions({});
    ASSERT_EQ(init(service_.port()), AUD_SUCCESS);
    ASSERT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
    ASSERT_TRUE(pump([this] { return cmm_client_get_status(client_) != nullptr; }));
    ASSERT_NE(cmm_client_get_options(client_), nullptr);
    EXPECT_EQ(cmm_available_interfaces_count(cmm_client_get_options(client_)), 0);
    for (const Change& change : changes_) {
        EXPECT_EQ(change.changes & CMM_CHANGE_OPTIONS, 0u);
    }
}

TEST_F(CmmClient, AStateEqualToTheHeldOneChangesNothing) {
    connect();
    service_.sendState();
    settle();
    EXPECT_TRUE(changes_.empty());
    EXPECT_TRUE(env_.logged("state is:"));

    service_.setDeviceName("Other PC");
    service_.sendState();
    ASSERT_TRUE(pump([this] { return !changes_.empty(); }));
    EXPECT_EQ(changes_[0].changes, unsigned{CMM_CHANGE_STATUS});
    EXPECT_STREQ(cmm_client_get_status(client_)->device_name, "Other PC");
}

TEST_F(CmmClient, SetConfigCompletesWithTheNewStatus) {
    connect();
    ASSERT_EQ(setConfig(u"WI-FI"), AUD_SUCCESS);
    EXPECT_TRUE(cmm_client_request_pending(client_));
    EXPECT_EQ(setConfig(u"eth0"), AUD_ERR_INVALIDSTATE);
    ASSERT_TRUE(pump([this] { return !cmm_client_request_pending(client_); }));
    ASSERT_FALSE(changes_.empty());
    EXPECT_EQ(changes_.back().changes, unsigned{CMM_CHANGE_REQUEST | CMM_CHANGE_STATUS});
    EXPECT_EQ(changes_.back().result, AUD_SUCCESS);
    const cmm_interface_list* current =
        cmm_status_get_current_config(cmm_client_get_status(client_));
    ASSERT_EQ(cmm_interface_list_count(current), 1);
    EXPECT_EQ(std::u16string(cmm_interface_list_at(current, 0)->name), u"Wi-Fi");
    EXPECT_EQ(cmm_status_get_pending_config(cmm_client_get_status(client_)), nullptr);
}

TEST_F(CmmClient, AChangeInProgressShowsAsPendingUntilReady) {
    service_.setSetConfigMode(FakeConfigService::SetConfigMode::kChangingThenReady,
                              std::chrono::milliseconds(100));
    connect();
    ASSERT_EQ(setConfig(u"eth0"), AUD_SUCCESS);
    ASSERT_TRUE(pump([this] { return !cmm_client_request_pending(client_); }));
    const cmm_status* status = cmm_client_get_status(client_);
    EXPECT_EQ(status->code, CMM_STATUS_CHANGING);
    const cmm_interface_list* pending = cmm_status_get_pending_config(status);
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(cmm_interface_list_count(pending), 1);
    ASSERT_TRUE(pump([this] {
        return cmm_status_get_pending_config(cmm_client_get_status(client_)) == nullptr;
    }));
    EXPECT_EQ(cmm_client_get_status(client_)->code, CMM_STATUS_READY);
}

TEST_F(CmmClient, APendingConfigIsHiddenWhileReady) {
    service_.setCarryPendingWhenReady(true);
    connect();
    ASSERT_EQ(setConfig(u"eth0"), AUD_SUCCESS);
    ASSERT_TRUE(pump([this] { return !cmm_client_request_pending(client_); }));
    const cmm_status* status = cmm_client_get_status(client_);
    EXPECT_EQ(cmm_interface_list_count(&status->pending), 1);
    EXPECT_EQ(cmm_status_get_pending_config(status), nullptr);
}

TEST_F(CmmClient, ASetConfigRefusedAsNotConnectedGives40) {
    service_.setSetConfigStatus(129);
    connect();
    const cmm_status before = *cmm_client_get_status(client_);
    ASSERT_EQ(setConfig(u"eth0"), AUD_SUCCESS);
    ASSERT_TRUE(pump([this] { return !cmm_client_request_pending(client_); }));
    ASSERT_EQ(changes_.size(), 1u);
    EXPECT_EQ(changes_[0].changes, unsigned{CMM_CHANGE_REQUEST});
    EXPECT_EQ(changes_[0].result, AUD_ERR_NOTCONN);
    EXPECT_TRUE(env_.logged("SET_CONFIG response status=Not connected"));
    EXPECT_TRUE(cmm_status_equal(cmm_client_get_status(client_), &before));
}

// The response status gives the result; a state body that cannot be read is only logged.
TEST_F(CmmClient, ASetConfigAcceptedWithoutAReadableStateCompletesWith0) {
    connect();
    const cmm_status before = *cmm_client_get_status(client_);
    service_.setDeviceName("Changed");
    for (const FakeCmmFault fault :
         {FakeCmmFault::kNoBody, FakeCmmFault::kOffsetPastBody, FakeCmmFault::kItemPastBody}) {
        SCOPED_TRACE(static_cast<int>(fault));
        changes_.clear();
        env_.clear();
        service_.scriptFault(CMM_OPCODE_SET_CONFIG, fault);
        ASSERT_EQ(setConfig(u"Wi-Fi"), AUD_SUCCESS);
        ASSERT_TRUE(pump([this] { return !cmm_client_request_pending(client_); }));
        ASSERT_EQ(changes_.size(), 1u);
        EXPECT_EQ(changes_[0].changes, unsigned{CMM_CHANGE_REQUEST});
        EXPECT_EQ(changes_[0].result, AUD_SUCCESS);
        EXPECT_TRUE(env_.logged("Error reading state"));
        EXPECT_TRUE(cmm_status_equal(cmm_client_get_status(client_), &before));
    }
}

TEST_F(CmmClient, ARefusedConnectEndsWithTheMappedStatus) {
    service_.setConnectStatus(130);
    ASSERT_EQ(init(service_.port()), AUD_SUCCESS);
    ASSERT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
    ASSERT_TRUE(pump([this] { return !cmm_client_request_pending(client_); }));
    EXPECT_EQ(cmm_client_get_connection_state(client_), CMM_CONNECTION_NONE);
    ASSERT_FALSE(changes_.empty());
    EXPECT_EQ(changes_.back().changes & (CMM_CHANGE_REQUEST | CMM_CHANGE_CONNECTION),
              unsigned{CMM_CHANGE_REQUEST | CMM_CHANGE_CONNECTION});
    EXPECT_EQ(changes_.back().result, AUD_ERR_NOBUFS);
    // The slot came back: another connect goes out.
    EXPECT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
    EXPECT_TRUE(service_.waitForOpcode(CMM_OPCODE_CONNECT, 2, std::chrono::seconds(1)));
}

TEST_F(CmmClient, NothingListeningIsReportedAsConnectionReset) {
    const uint16_t port = service_.port();
    service_.closeSocket();
    ASSERT_EQ(init(port), AUD_SUCCESS);
    ASSERT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
    EXPECT_FALSE(pump([] { return false; }, 1000));
    EXPECT_EQ(last_result_, AUD_ERR_CONNRESET);
    EXPECT_EQ(cmm_client_get_connection_state(client_), CMM_CONNECTION_NONE);
    EXPECT_FALSE(cmm_client_request_pending(client_));
    ASSERT_FALSE(changes_.empty());
    EXPECT_EQ(changes_.back().result, AUD_ERR_CONNRESET);
}

TEST_F(CmmClient, AResponseOfAnotherSequenceIsIgnoredAndTheRequestStaysPending) {
    connect();
    service_.scriptFault(CMM_OPCODE_SET_CONFIG, FakeCmmFault::kWrongSequence);
    ASSERT_EQ(setConfig(u"eth0"), AUD_SUCCESS);
    settle(200);
    EXPECT_TRUE(cmm_client_request_pending(client_));
    EXPECT_TRUE(changes_.empty());
    EXPECT_EQ(env_.count("No active request for non-event message with seqnum 0x0002: "
                         "ignoring message"),
              1u);
}

// A malformed options or state event is dropped (logged) and changes nothing.
TEST_F(CmmClient, MalformedEventsChangeNothing) {
    struct Case {
        FakeCmmFault fault;
        const char* line;
    };
    const Case cases[] = {
        {FakeCmmFault::kOversized, "message too large (over 1472 bytes)"},
        {FakeCmmFault::kNineteenBytes, "message too small (19 < 20)"},
        {FakeCmmFault::kLengthPlusOne, "invalid size in message"},
        {FakeCmmFault::kLengthMinusOne, "invalid size in message"},
        {FakeCmmFault::kOffsetPastBody, "Error reading"},
        {FakeCmmFault::kItemPastBody, "Error reading"},
    };
    connect();
    const cmm_interface_list options = *cmm_client_get_options(client_);
    const cmm_status status = *cmm_client_get_status(client_);
    service_.setOptions({{u"eth9", {2, 0, 0, 0, 0, 9}}});
    service_.setDeviceName("Changed");
    for (const Case& c : cases) {
        for (const uint16_t opcode : {CMM_OPCODE_OPTIONS, CMM_OPCODE_STATE}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(c.fault)) + " " + std::to_string(opcode));
            env_.clear();
            service_.scriptFault(opcode, c.fault);
            if (opcode == CMM_OPCODE_OPTIONS) {
                service_.sendOptions();
            } else {
                service_.sendState();
            }
            ASSERT_TRUE(pump([&] { return env_.logged(c.line); }));
            EXPECT_TRUE(changes_.empty());
            EXPECT_TRUE(cmm_interface_list_equal(cmm_client_get_options(client_), &options));
            EXPECT_TRUE(cmm_status_equal(cmm_client_get_status(client_), &status));
        }
    }
    // A sound event still gets through after them.
    service_.sendOptions();
    ASSERT_TRUE(pump([this] { return !changes_.empty(); }));
    EXPECT_EQ(cmm_available_interfaces_count(cmm_client_get_options(client_)), 1);
}

TEST_F(CmmClient, AnEventBeforeTheConnectResponseIsDropped) {
    service_.setEarlyEvent(true);
    ASSERT_EQ(init(service_.port()), AUD_SUCCESS);
    ASSERT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
    ASSERT_TRUE(pump([this] { return cmm_client_get_status(client_) != nullptr; }));
    EXPECT_TRUE(env_.logged("event (opcode=0x0101) while not connected"));
}

TEST_F(CmmClient, DisconnectDropsThePendingRequestAndFreesItsSlot) {
    service_.setSilentFor(CMM_OPCODE_CONNECT, true);
    ASSERT_EQ(init(service_.port()), AUD_SUCCESS);
    ASSERT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
    ASSERT_EQ(cmm_client_disconnect(client_), AUD_SUCCESS);
    EXPECT_FALSE(cmm_client_request_pending(client_));
    EXPECT_EQ(cmm_client_get_connection_state(client_), CMM_CONNECTION_NONE);
    EXPECT_TRUE(service_.waitForOpcode(CMM_OPCODE_DISCONNECT, 1, std::chrono::seconds(1)));
    EXPECT_EQ(cmm_client_disconnect(client_), AUD_SUCCESS);
    service_.setSilentFor(CMM_OPCODE_CONNECT, false);
    ASSERT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
    EXPECT_TRUE(pump([this] { return cmm_client_get_status(client_) != nullptr; }));
}

TEST_F(CmmClient, CloseForgetsThePendingRequest) {
    service_.setSilentFor(CMM_OPCODE_CONNECT, true);
    ASSERT_EQ(init(service_.port()), AUD_SUCCESS);
    ASSERT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
    cmm_client_close(client_);
    EXPECT_FALSE(cmm_client_request_pending(client_));
    EXPECT_EQ(cmm_client_get_socket(client_), AUD_SOCKET_INVALID);
    // The slot came back: a disconnect gets as far as the closed socket.
    EXPECT_EQ(cmm_client_disconnect(client_), AUD_ERR_INVALIDPARAMETER);
}

TEST_F(CmmClient, AFailedSendLeavesNoRequestBehind) {
    connect();
    service_.closeSocket();
    // A keepalive goes out and is refused; the refusal meets the next send.
    clock_.advance(10001);
    ASSERT_EQ(cmm_client_process(client_, nullptr), AUD_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(setConfig(u"eth0"), AUD_ERR_CONNRESET);
    EXPECT_FALSE(cmm_client_request_pending(client_));
    EXPECT_EQ(setConfig(u"eth0"), AUD_SUCCESS);
    EXPECT_TRUE(cmm_client_request_pending(client_));
}

TEST_F(CmmClient, ASilentServiceIsLostAfter31Seconds) {
    connect();
    service_.setSilent(true);
    clock_.advance(31001);
    ASSERT_EQ(cmm_client_process(client_, nullptr), AUD_SUCCESS);
    EXPECT_EQ(cmm_client_get_connection_state(client_), CMM_CONNECTION_NONE);
    EXPECT_EQ(cmm_client_get_options(client_), nullptr);
    EXPECT_EQ(cmm_client_get_status(client_), nullptr);
    ASSERT_EQ(changes_.size(), 1u);
    EXPECT_EQ(changes_[0].changes, unsigned{CMM_CHANGE_CONNECTION | CMM_CHANGE_OWN_PROCESS |
                                            CMM_CHANGE_OPTIONS | CMM_CHANGE_STATUS});
    EXPECT_EQ(changes_[0].result, AUD_ERR_TIMEDOUT);
}

}  // namespace
