#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "FakeWire.h"

namespace sim {

// A channel format as the fake writes it: the rate, the list of sample sizes and encodings,
// and the first encoding.
struct FakeArcpFormat {
    uint32_t rate = 48000;
    std::vector<uint16_t> list = {24};
    uint16_t encoding = 24;
};

struct FakeArcpTxChannel {
    std::string name;
    uint16_t flags = 0;  // bits 1-3 a value, bit 8 the extra value comes with 0x2032
    FakeArcpFormat format;
    uint16_t extra = 0;  // answered by 0x2032
};

struct FakeArcpRxChannel {
    std::string name;
    uint16_t flags = 0;  // bit 3 self-subscription allowed, bits 4-5 a value
    FakeArcpFormat format;
    std::string sub_channel;
    std::string sub_device;
    uint8_t presence = 1;
    uint8_t interface_flags = 0;
    uint16_t status = 0;
    bool has_value = false;
    uint16_t value = 0;
};

struct FakeArcpLabel {
    uint16_t id = 0;
    uint16_t channel = 0;
    std::string name;
};

// A flow, written as the client's flow record layout says (dr_flows.h).
struct FakeArcpFlow {
    uint16_t id = 0;
    uint16_t flags = 0;
    uint32_t rate = 48000;
    uint16_t encoding = 24;
    std::vector<uint16_t> slot_channels;
    std::string name;
    std::vector<std::pair<uint32_t, uint16_t>> addresses;  // receive flows: host-order IPv4, port
};

struct FakeArcpProperty {
    uint16_t id = 0;
    uint32_t value = 0;
    std::string text;        // for 0x8021
    uint16_t available = 1;  // the flags of its availability record
};

// What one fake device answers with.
struct FakeArcpState {
    uint16_t version = 0x271D;      // of its replies; decides the capability layout
    uint16_t capability_flags = 0;  // 0x100: names by 0x1003; 0x200: extras by 0x2032
    uint32_t capability_flags32 = 0;
    uint16_t tx_slots = 4;
    uint16_t rx_slots = 4;
    uint16_t tx_flow_count = 4;
    uint16_t rx_flow_count = 4;
    uint16_t label_entries = 8;
    uint16_t interfaces = 1;
    uint16_t selector16 = 0;
    uint16_t selector32 = 0;
    std::vector<FakeArcpTxChannel> tx;
    std::vector<FakeArcpRxChannel> rx;
    std::vector<FakeArcpLabel> labels;
    std::vector<FakeArcpFlow> tx_flows;
    std::vector<FakeArcpFlow> rx_flows;
    std::string name;
    std::string second_name;
    std::string advertised_name;
    uint8_t software[3] = {1, 2, 3};
    std::vector<FakeArcpProperty> properties;
    uint16_t values[2] = {0, 0};
    size_t page_size = 0;  // records per listing page (0: all); fuller listings end in 0x112
};

// A device with tx and rx channels "<prefix> n" (formats at 48000), named name.
FakeArcpState fakeArcpDevice(const std::string& name, size_t tx, size_t rx);

// One scripted misbehaviour, met by the next request of opcode (0: any).
struct FakeArcpFault {
    enum Kind {
        kSilence,         // no reply
        kWrongSeq,        // the reply carries another sequence number
        kResultZero,      // result field 0
        kStatus,          // result `arg`, the body kept
        kStatusNoBody,    // result `arg`, header only
        kCount,           // byte 11 becomes `arg`
        kOffsetPastEnd,   // the u16 at byte `arg` points past the message
        kNoNul,           // the message's last byte (a NUL) becomes 'X'
        kTruncated,       // only the first `arg` bytes go, the header length kept
        kCut,             // cut to `arg` bytes, header length `arg`
        kOversize,        // padded to `arg` bytes (header length too)
        kOtherPort,       // sent from another port
        kFirstId,         // the first record's first u16 becomes `arg`
        kMoreNoProgress,  // status 0x112 and no records
        kRaw,             // `raw` replaces the reply (sequence number stamped)
        kVanish           // the device's socket closes instead of answering
    };
    Kind kind = kSilence;
    uint16_t opcode = 0;
    uint32_t arg = 0;
    Bytes raw;
};

struct FakeArcpRequest {
    size_t device = 0;
    Bytes bytes;
    uint16_t from_port = 0;
    std::chrono::steady_clock::time_point when;
};

// ARCP devices on their own thread: one UDP socket per device on its exact address and port,
// answering from it with its own small codec. Each device holds what the queries read;
// 0x3010/0x3014 change it. Requests are logged in arrival order.
class FakeArcpResponder {
public:
    static constexpr uint16_t kPort = 4440;

    FakeArcpResponder();
    ~FakeArcpResponder();
    FakeArcpResponder(const FakeArcpResponder&) = delete;
    FakeArcpResponder& operator=(const FakeArcpResponder&) = delete;

    // Binds a device's socket; its index, or -1 when the address cannot be bound.
    int addDevice(const std::string& address, FakeArcpState state, uint16_t port = kPort);
    bool start();
    void stop();

    FakeArcpState state(size_t device) const;
    void setState(size_t device, FakeArcpState state);
    void setSilent(size_t device, bool silent);
    void scriptFaults(size_t device, std::vector<FakeArcpFault> faults);
    // Closes the device's socket now.
    void vanish(size_t device);

    std::vector<FakeArcpRequest> log() const;
    // The logged requests of one device, or of one opcode (0: all).
    std::vector<FakeArcpRequest> requests(size_t device, uint16_t opcode = 0) const;
    void clearLog();
    bool waitForRequests(size_t count, std::chrono::milliseconds timeout) const;

private:
    struct Device;

    void run();
    void handle(Device& device, size_t index, const uint8_t* data, size_t size, uint16_t port,
                uint32_t from_address);

    std::vector<std::unique_ptr<Device>> m_devices;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_logged;
    bool m_stopping = false;
    std::vector<FakeArcpRequest> m_log;
};

}  // namespace sim
