#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

#include "FakeDgcpWire.h"

namespace sim {

struct FakeCmmInterface {
    std::u16string name;
    std::array<uint8_t, 6> mac{};
};

// One datagram the service heard, with what it could read of it.
struct FakeCmmDatagram {
    Bytes bytes;
    uint16_t from_port = 0;
    std::chrono::steady_clock::time_point when;
    std::optional<DgcpHeader> header;      // nothing for fewer than 20 bytes
    std::string client_name;               // connect
    uint32_t process_id = 0;               // connect
    uint16_t config_flags = 0;             // SET_CONFIG
    std::vector<FakeCmmInterface> config;  // SET_CONFIG interfaces
    bool lock = false;                     // SET_CONFIG
    bool readable = false;                 // the body held what its opcode needs
};

// A misbehaviour of the next message the service sends with a given opcode.
enum class FakeCmmFault {
    kWrongSequence,   // the response carries another sequence number
    kLengthPlusOne,   // the length field one more than the datagram
    kLengthMinusOne,  // one less
    kNineteenBytes,   // only the first 19 bytes
    kOversized,       // padded to 1473 bytes, the length field matching
    kOffsetPastBody,  // the root's last slot points 2 bytes past the body
    kItemPastBody,    // the body cut 2 bytes short: its last item ends past it
    kNoBody,          // the header alone
};

// The local Vireo configuration service: dgcp2 on one UDP socket of 127.0.0.1, on its own
// thread. It accepts a connect, then sends its options and its state; answers SET_CONFIG,
// keepalives and disconnects; logs every datagram; and misbehaves as scripted.
class FakeConfigService {
public:
    static constexpr uint16_t kPort = 8850;
    enum class SetConfigMode {
        kReady,              // the new configuration at once
        kChangingThenReady,  // "Changing" in the response, "Ready" after the changing delay
        kChangingForever,
    };

    // port 0: an ephemeral port.
    explicit FakeConfigService(uint16_t port = kPort);
    ~FakeConfigService();
    FakeConfigService(const FakeConfigService&) = delete;
    FakeConfigService& operator=(const FakeConfigService&) = delete;

    // Binds and starts the thread; false when the port cannot be bound. A stopped service can
    // start again on its port, knowing no client and with an empty configuration.
    bool start();
    void stop();
    uint16_t port() const { return m_port; }

    void setOptions(std::vector<FakeCmmInterface> options);
    void setDeviceName(const std::string& name);
    void setSetConfigMode(SetConfigMode mode, std::chrono::milliseconds changing_delay = {});
    // Response status of connects (1 accepts) and of SET_CONFIG requests (1: done).
    void setConnectStatus(uint16_t status);
    void setSetConfigStatus(uint16_t status);
    // A "Ready" state still carries the last requested configuration as pending.
    void setCarryPendingWhenReady(bool carry);
    // A state event before the connect response.
    void setEarlyEvent(bool early);
    // Answers nothing while set (all opcodes, or one).
    void setSilent(bool silent);
    void setSilentFor(uint16_t opcode, bool silent);
    void scriptFault(uint16_t opcode, FakeCmmFault fault);

    // Sends the options or the state to the connected client now.
    void sendOptions();
    void sendState();
    // Closes the socket: the client's next datagram is refused.
    void closeSocket();
    // Closes the socket once it has sent a connected client its options and state.
    void setCloseAfterConnect(bool close);

    std::vector<FakeCmmDatagram> log() const;
    std::vector<FakeCmmDatagram> logOf(uint16_t opcode) const;
    bool waitForOpcode(uint16_t opcode, size_t count, std::chrono::milliseconds timeout) const;

private:
    void run();
    void handle(const Bytes& datagram, const sockaddr_in& from);
    FakeCmmDatagram read(const Bytes& datagram, uint16_t from_port) const;
    void reply(const DgcpHeader& request, uint16_t status, const Bytes& body);
    void sendEvent(uint16_t opcode, const Bytes& body);
    void send(DgcpHeader header, const Bytes& body);
    Bytes optionsBody() const;
    Bytes stateBody() const;
    void finishChange();

    uint16_t m_port;
    int m_socket = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_heard;
    std::vector<FakeCmmInterface> m_options;
    std::string m_device_name = "ZEB-PC";
    SetConfigMode m_mode = SetConfigMode::kReady;
    std::chrono::milliseconds m_changing_delay{0};
    uint16_t m_connect_status = 1;
    uint16_t m_set_config_status = 1;
    bool m_carry_pending = false;
    bool m_early_event = false;
    bool m_close_after_connect = false;
    bool m_silent = false;
    std::map<uint16_t, bool> m_silent_for;
    std::multimap<uint16_t, FakeCmmFault> m_faults;
    std::vector<FakeCmmDatagram> m_log;

    // Thread side: the client and the configuration state.
    bool m_connected = false;
    sockaddr_in m_client{};
    DgcpHeader m_client_header;  // port and id of the connected client
    std::string m_client_name;
    uint32_t m_client_pid = 0;
    uint16_t m_event_seqnum = 0;
    uint16_t m_code = 1;
    std::vector<FakeCmmInterface> m_current;
    std::vector<FakeCmmInterface> m_requested;
    bool m_changing = false;
    std::optional<std::chrono::steady_clock::time_point> m_ready_at;
};

}  // namespace sim
