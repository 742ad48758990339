// The conmon client's receive path: datagrams from the server while connecting, and while
// connected with requests out. Input: one byte choosing the state, then datagrams, each
// preceded by its length (u16, little-endian).
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "conmon/conmon_client.h"
#include "conmon/conmon_client_internal.h"

namespace {

struct State {
    aud_env* env = nullptr;
    int sink = -1;  // where the client's requests go
    uint16_t port = 0;
};

State& state() {
    static State made = [] {
        State s;
        aud_env_init(&s.env);
        s.sink = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(s.sink, reinterpret_cast<sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(s.sink, reinterpret_cast<sockaddr*>(&local), &length);
        s.port = ntohs(local.sin_port);
        return s;
    }();
    return made;
}

void drain() {
    uint8_t buffer[8192];
    while (::recv(state().sink, buffer, sizeof buffer, 0) > 0) {
    }
}

void put16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
    std::memcpy(&out[at], &value, 2);
}

// A Connect response to sequence number 1 with one interface record.
std::vector<uint8_t> connectResponse() {
    std::vector<uint8_t> out(360, 0);
    put16(out, 0, 0x1500);
    put16(out, 2, 360);
    put16(out, 4, 1);
    put16(out, 6, 0x100);
    put16(out, 8, 1);
    put16(out, 10, 1);
    std::memcpy(&out[12], "LOCAL", 5);
    put16(out, 310, 1);
    put16(out, 312, 36);
    put16(out, 314, 324);
    return out;
}

int sends = 0;

void done(conmon_client* client, conmon_client_request_id, aud_error_t result) {
    // A completion may send again at once.
    if (result == AUD_SUCCESS && sends++ < 4) {
        const uint8_t body[8] = {0x07, 0x1F, 0x00, 0xC1, 0, 0x0F, 0x42, 0x40};
        conmon_client_send_control_message(client, done, nullptr, "AMP", 0xFFFF,
                                           CONMON_VENDOR_ID_STANDARD, body, sizeof body, nullptr);
    }
}

unsigned checksum = 0;

void message(conmon_client* client, unsigned type, unsigned direction,
             const conmon_message* message) {
    const size_t size = conmon_message_get_body_size(message);
    for (size_t i = 0; i < size; ++i) {
        checksum += message->body[i];
    }
    conmon_instance_id id{};
    conmon_message_get_source_instance_id(message, &id);
    if (const char* name = conmon_client_device_name_for_instance_id(client, &id)) {
        checksum += unsigned(std::strlen(name)) + type + direction;
    }
}

void devices(conmon_client*, size_t count, const conmon_client_subscription* const* changed) {
    for (size_t i = 0; i < count; ++i) {
        checksum += unsigned(std::strlen(changed[i]->name));
    }
}

void changed(conmon_client* client) {
    checksum += unsigned(std::strlen(conmon_client_get_device_name(client)) +
                         std::strlen(conmon_client_get_dns_domain_name(client)) +
                         conmon_client_num_interfaces(client));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || !state().env) {
        return 0;
    }
    conmon_client_config* config = conmon_client_config_new("Kolvo CONMON");
    conmon_client_config_set_server_port(config, state().port);
    conmon_client* client = nullptr;
    conmon_client_new_config(state().env, config, &client);
    conmon_client_config_delete(config);
    if (!client) {
        return 0;
    }
    conmon_client_set_max_requests(client, 4);
    conmon_client_set_networks_changed_callback(client, changed);
    conmon_client_set_device_name_changed_callback(client, changed);
    conmon_client_set_dns_domain_name_changed_callback(client, changed);
    conmon_client_set_devices_changed_callback(client, devices);
    sends = 0;
    conmon_client_request_id id = 0;
    if (conmon_client_connect(client, done, &id) == AUD_SUCCESS && (data[0] & 1)) {
        const std::vector<uint8_t> response = connectResponse();
        conmon_client_handle_datagram(client, response.data(), response.size());
        conmon_client_register_monitoring_messages(client, done, &id, 2, 1, message);
        conmon_client_register_monitoring_messages(client, done, &id, 0, 0, message);
        conmon_client_subscribe_global(client, done, &id, 2);
        const uint8_t text[] = "VERSION\r";
        const uint8_t vendor[8] = {'O', 'v', 'a', 'l', 't', 'a', 'T', 0};
        conmon_client_send_control_message(client, done, &id, "ZEB-AMP-01", 0xFFFF, vendor, text,
                                           sizeof text, nullptr);
    }
    size_t at = 1;
    while (at + 2 <= size) {
        size_t length = size_t{data[at]} | size_t{data[at + 1]} << 8;
        at += 2;
        if (length > size - at) {
            length = size - at;
        }
        // A copy of exactly the datagram's size, so reading past it is caught.
        std::vector<uint8_t> datagram(data + at, data + at + length);
        conmon_client_handle_datagram(client, datagram.data(), datagram.size());
        at += length;
    }
    conmon_client_delete(client);
    drain();
    return 0;
}
