// Replies of a routed device, fed to dr_devices_process_message for every request the routing
// layer sends. The first byte picks the state: even, the fuzzed replies answer the
// capabilities sequence of a QUERYING device; odd, the device is made ACTIVE with fixed
// replies first. Then records follow: a tag byte, a u16 length and that many reply bytes. While
// no request is outstanding, the tag picks the next one (a component update, a subscription,
// an unsubscription or the capabilities query again); tag bit 7 sends the reply from a port
// that is not the device's.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/aud_env.h"
#include "platform/aud_log.h"
#include "routing/dr_arcp.h"
#include "routing/dr_channels.h"
#include "routing/dr_device.h"
#include "routing/dr_devices.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Capabilities at version 0x271D: flags 0x0300, 2 transmit and 2 receive channels, 4 slots
// each way, 4 flows each way, 4 labels, 1 interface, both table selectors.
const Bytes kCapabilities = {0x27, 0x1D, 0x00, 0x28, 0,    0,    0x10, 0x00, 0x00, 0x01,
                             0x03, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04,
                             0x00, 0x04, 0x00, 0x04, 0x00, 0x04, 0x00, 0x04, 0x00, 0x00,
                             0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x1F};
const Bytes kAvailability = {0x27, 0x1D, 0x00, 0x0C, 0, 0, 0x11, 0x02, 0x00, 0x01, 0x00, 0x00};
// Names block at 20 (device name at 40), versions block at 30.
const Bytes kNames = {0x27, 0x1D, 0x00, 0x2C, 0,    0,    0x10, 0x03, 0x00, 0x01, 0x00,
                      0x00, 0x00, 0x14, 0x00, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0x00, 0x01, 0x02, 0x03, 0x00, 0x27, 0x1D, 'A',  'M',  'P',  0x00};

// Where a capabilities reply gives the counts that size the device's tables (transmit and
// receive channels, slots per receive flow, receive flows, labels), and the most of each that a
// fuzzed reply may ask for: with 65535 of each, making and freeing the tables took about 70 ms
// an input. The routing tests take the largest counts.
const size_t kTableCounts[] = {12, 14, 20, 24, 26};
constexpr uint16_t kMaxTableCount = 1023;

void quiet(void*, const char*, unsigned, const char*, size_t) {}

// Where the accessors' texts are read into, so that no read is optimised away.
volatile size_t g_read = 0;

struct Harness {
    aud_env* env = nullptr;
    dr_devices* devices = nullptr;
    int sink = -1;  // where the requests go
    uint16_t port = 0;

    Harness() {
        aud_env_init(&env);
        aud_log* log = aud_env_log(env);
        log->callback = quiet;
        aud_log_set_threshold(log, AUD_LOG_SINK_CALLBACK, AUD_LOG_VERBOSE);
        dr_devices_new(env, &devices);
        sink = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof local;
        ::bind(sink, reinterpret_cast<sockaddr*>(&local), sizeof local);
        ::getsockname(sink, reinterpret_cast<sockaddr*>(&local), &length);
        port = ntohs(local.sin_port);
    }

    void drain() const {
        uint8_t buffer[2048];
        while (::recv(sink, buffer, sizeof buffer, 0) > 0) {
        }
    }
};

Harness& harness() {
    static Harness made;
    return made;
}

struct Run {
    dr_request_id request = nullptr;
    bool outstanding = false;
};

void onDone(dr_device* device, dr_request_id, aud_error_t) {
    static_cast<Run*>(dr_device_get_context(device))->outstanding = false;
}

// Answers the outstanding request with reply (its sequence number stamped, its table counts
// cut to kMaxTableCount).
void answer(Run* run, Bytes reply, bool other_port) {
    Harness& h = harness();
    const dr_packet* packet = dr_devices_get_request_packet(h.devices, run->request);
    if (reply.size() >= 6) {
        reply[4] = packet->bytes[4];
        reply[5] = packet->bytes[5];
    }
    if (dr_arcp_packet_opcode(packet) == 0x1000) {
        for (size_t at : kTableCounts) {
            if (at + 2 <= reply.size() && (reply[at] << 8 | reply[at + 1]) > kMaxTableCount) {
                reply[at] = uint8_t{kMaxTableCount >> 8};
                reply[at + 1] = uint8_t{kMaxTableCount & 0xFF};
            }
        }
    }
    aud_sockaddr source{};
    aud_sockaddr_set(&source, htonl(INADDR_LOOPBACK),
                     static_cast<uint16_t>(other_port ? h.port + 1 : h.port));
    dr_devices_process_message(h.devices, &source, reply.data(), reply.size());
}

// Starts the request that tag picks; false when none could be sent.
bool start(dr_device* device, Run* run, uint8_t tag) {
    const unsigned pick = tag & 0x0F;
    aud_error_t result = AUD_ERR_INVALIDSTATE;
    if (pick < DR_DEVICE_NUM_COMPONENTS) {
        dr_device_mark_component_stale(device, dr_device_component(pick));
        result =
            dr_device_update_component(device, onDone, &run->request, dr_device_component(pick));
    } else if (pick == 6 || pick == 7) {
        uint16_t count = 0;
        dr_rxchannel* const* channels = nullptr;
        if (dr_device_get_rxchannels(device, &count, &channels) == AUD_SUCCESS && count > 0) {
            result = dr_rxchannel_subscribe(channels[((tag >> 4) & 1) ? count - 1 : 0], onDone,
                                            &run->request, pick == 6 ? "AMP-2" : nullptr,
                                            pick == 6 ? "Out 1" : nullptr);
        }
    } else {
        result = dr_device_query_capabilities(device, onDone, &run->request);
    }
    run->outstanding = result == AUD_SUCCESS && run->request != nullptr;
    return run->outstanding;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Harness& h = harness();
    if (size < 1 || !h.devices) {
        return 0;
    }
    dr_device_open_config config{};
    config.name = "";
    config.num_entries = 1;
    config.flags = DR_DEVICE_OPEN_EXPLICIT_ADDRESSES;
    config.addresses[0].address = htonl(INADDR_LOOPBACK);
    config.addresses[0].port = h.port;
    dr_device* device = nullptr;
    if (dr_device_open_with_config(h.devices, &config, &device) != AUD_SUCCESS) {
        return 0;
    }
    Run run;
    dr_device_set_context(device, &run);
    if (dr_device_query_capabilities(device, onDone, &run.request) == AUD_SUCCESS) {
        run.outstanding = true;
        if (data[0] & 1) {
            for (const Bytes* reply : {&kCapabilities, &kAvailability, &kNames}) {
                answer(&run, *reply, false);
            }
        }
    }
    size_t at = 1;
    while (at + 3 <= size) {
        const uint8_t tag = data[at];
        const size_t length = size_t{data[at + 1]} << 8 | data[at + 2];
        at += 3;
        const size_t taken = length < size - at ? length : size - at;
        const Bytes reply(data + at, data + at + taken);
        at += taken;
        if (!run.outstanding && !start(device, &run, tag)) {
            continue;
        }
        answer(&run, reply, tag & 0x80);
        // Read every accessor the application uses.
        uint16_t count = 0;
        dr_txchannel* const* txs = nullptr;
        if (dr_device_get_txchannels(device, &count, &txs) == AUD_SUCCESS) {
            for (uint16_t i = 0; i < count; ++i) {
                dr_txlabel labels[2];
                size_t wanted = 2;
                dr_txchannel_get_labels(txs[i], &wanted, labels);
                g_read +=
                    std::strlen(dr_txchannel_get_name(txs[i])) + dr_txchannel_get_format(txs[i]);
            }
        }
        dr_rxchannel* const* rxs = nullptr;
        if (dr_device_get_rxchannels(device, &count, &rxs) == AUD_SUCCESS) {
            for (uint16_t i = 0; i < count; ++i) {
                g_read += std::strlen(dr_rxchannel_get_name(rxs[i]));
                const char* sub = dr_rxchannel_get_subscription_device(rxs[i]);
                g_read += sub ? std::strlen(sub) : 0;
            }
        }
        g_read += std::strlen(dr_device_get_name(device));
    }
    dr_device_close(device);
    h.drain();
    return 0;
}
