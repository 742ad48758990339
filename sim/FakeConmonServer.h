#pragma once

#include <netinet/in.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FakeConmonWire.h"

namespace sim {

// A Vireo device as the conmon server knows it.
struct FakeConmonDevice {
    std::string name;
    conmonwire::DeviceId device_id{};
    uint16_t process_id = 0;
    std::vector<std::array<uint8_t, 6>> macs;  // the interface reply
    std::string vireo_model;                   // the Vireo information reply's text
    uint16_t body_version = 0x0704;            // of its replies
    std::array<uint8_t, 8> product_id{};
    uint32_t software_version = 0;
    uint32_t firmware_version = 0;
    uint32_t capabilities = 0;
    std::string model_name;
    uint32_t model_version = 0;
    // Where vendor texts for it go (its fake device's control port); empty: nowhere.
    std::string address;
    uint16_t port = 49494;
};

// An amplifier with every reply filled in, its device id ending in last.
FakeConmonDevice fakeConmonAmp(const std::string& name, uint8_t last = 0x56);

struct FakeConmonInterface {
    uint32_t index = 0;
    bool link_up = true;
    std::string address;  // dotted IPv4
};

// One scripted misbehaviour, applied to the next request of its opcode.
struct FakeConmonFault {
    enum Kind {
        kNone,
        kSilence,          // no response (for Send Message no reply either)
        kReplySilence,     // Send Message: the response but no reply
        kOtherSequence,    // the response carries another sequence number
        kOtherOpcode,      // the response carries another opcode
        kLengthMismatch,   // the response's length field is `arg` more than its size
        kStatus,           // the response has status `arg` (and no reply follows)
        kHuge,             // the response padded to a 7000-byte datagram
        kEmbeddedLength,   // the reply's embedded message length field set to `arg`
        kEmbeddedPastEnd,  // the reply's embedded message reaches past the datagram
        kShortBody,        // the reply's body cut to `arg` bytes
        kExcessCount,      // interface count `arg` (Connect: with that many records;
                           // interface reply: with only the device's records)
        kTextWithoutZero,  // names and texts fill their fields without a terminator
    };
    FakeConmonFault(Kind kind_ = kNone, int arg_ = 0) : kind(kind_), arg(arg_) {}

    Kind kind;
    int arg;
};

// The local conmon server of a simulated network, on UDP 127.0.0.1 (port 8900 unless given;
// 0 picks a free one), on its own thread: clients connect, register, subscribe and send
// channel messages to the devices it knows, which answer as named channel messages. Vendor
// texts are relayed to the device's own control port and its answer comes back the same way.
class FakeConmonServer {
public:
    static constexpr uint16_t kPort = 8900;

    explicit FakeConmonServer(uint16_t port = kPort);
    ~FakeConmonServer();
    FakeConmonServer(const FakeConmonServer&) = delete;
    FakeConmonServer& operator=(const FakeConmonServer&) = delete;

    // Binds and starts the thread; false when the port cannot be bound. A stopped server can
    // start again on the same port (with port 0, the one it picked), knowing no client.
    bool start();
    void stop();
    uint16_t port() const;

    // Protocol version of the server (0x1500 unless set).
    void setVersion(uint16_t version);
    void setLocalDevice(const std::string& name, const std::string& domain);
    void setInterfaces(const std::vector<FakeConmonInterface>& interfaces);
    void addDevice(const FakeConmonDevice& device);
    // Whether a Subscribe response lists the devices (it does unless cleared).
    void setSubscriptionRecords(bool on);
    // Never answers while set.
    void setSilent(bool silent);
    void scriptFault(uint16_t opcode, const FakeConmonFault& fault);

    // To the client that connected last: false when there is none.
    bool sendEvent(uint16_t opcode, const conmonwire::Bytes& body);
    bool sendRaw(const conmonwire::Bytes& datagram);
    bool sendSubscriptionsChanged();
    // A named channel message (type 2, remote) from a known device.
    bool sendNamedMessage(const std::string& device, const conmonwire::VendorId& vendor,
                          const conmonwire::Bytes& body);

    // Every datagram received, in order.
    std::vector<conmonwire::Bytes> log() const;
    void clearLog();
    // Received datagrams of opcode.
    size_t count(uint16_t opcode) const;
    bool waitForDatagrams(size_t count, std::chrono::milliseconds timeout) const;
    bool waitForOpcode(uint16_t opcode, size_t count, std::chrono::milliseconds timeout) const;
    // Clients connected and not disconnected.
    size_t clients() const;

private:
    struct Relay {
        sockaddr_in client;
        std::string device;
    };

    void run();
    void handle(const conmonwire::Bytes& datagram, const sockaddr_in& from);
    void handleRelayAnswer(const conmonwire::Bytes& datagram, const sockaddr_in& from);
    void respond(const conmonwire::ControlHeader& request, uint16_t status,
                 const conmonwire::Bytes& body, const FakeConmonFault& fault,
                 const sockaddr_in& to);
    conmonwire::Bytes connectBody(const FakeConmonFault& fault) const;
    conmonwire::Bytes subscriptionBody() const;
    void sendMessage(const conmonwire::Bytes& datagram, const conmonwire::ControlHeader& header,
                     const FakeConmonFault& fault, const sockaddr_in& from);
    conmonwire::Bytes replyBody(const FakeConmonDevice& device, uint16_t opcode,
                                const FakeConmonFault& fault) const;
    conmonwire::Bytes namedMessage(const FakeConmonDevice& device, uint16_t type,
                                   const conmonwire::VendorId& vendor, conmonwire::Bytes body,
                                   const FakeConmonFault& fault);
    const FakeConmonDevice* findDevice(const std::string& name) const;
    bool knownClient(const sockaddr_in& from) const;
    void sendTo(const conmonwire::Bytes& datagram, const sockaddr_in& to) const;
    bool sendToClient(const conmonwire::Bytes& datagram) const;

    const uint16_t m_port;
    int m_socket = -1;
    int m_relay = -1;
    int m_wake[2] = {-1, -1};
    uint16_t m_bound_port = 0;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_logged;
    uint16_t m_version = 0x1500;
    std::string m_local_name = "ZEB-PC";
    std::string m_domain = "local.";
    std::vector<FakeConmonInterface> m_interfaces;
    std::vector<FakeConmonDevice> m_devices;
    bool m_subscription_records = true;
    bool m_silent = false;
    std::map<uint16_t, std::deque<FakeConmonFault>> m_faults;
    std::vector<sockaddr_in> m_clients;
    std::map<std::string, std::deque<Relay>> m_relays;  // by device address:port
    uint16_t m_device_sequence = 0;
    std::vector<conmonwire::Bytes> m_log;
};

}  // namespace sim
