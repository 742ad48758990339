// Any datagram reaching a connected cmm client with a SET_CONFIG pending. The first input byte
// steers: bit 0 puts the pending request's sequence number into the datagram, bit 1 makes its
// length field match its size, so that the body readers see most inputs.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cmm/cmm_client.h"
#include "platform/aud_env.h"

namespace {

// The service's end: a raw socket on 127.0.0.1 that answers the connect by hand.
struct Harness {
    int service = -1;
    sockaddr_in client_address{};
    aud_env* env = nullptr;
    cmm_client* client = nullptr;
    uint16_t pending_seqnum = 0;

    Harness() {
        service = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof local;
        ::bind(service, reinterpret_cast<sockaddr*>(&local), sizeof local);
        ::getsockname(service, reinterpret_cast<sockaddr*>(&local), &length);
        aud_env_init(&env);
        // Every log line is formatted (and dropped), so the printing of what was read runs too.
        aud_log* log = aud_env_log(env);
        log->callback = [](void*, const char*, unsigned, const char*, size_t) {};
        aud_log_set_threshold(log, AUD_LOG_SINK_CALLBACK, AUD_LOG_VERBOSE);
        client = cmm_client_new(env);
        cmm_client_set_server_port(client, ntohs(local.sin_port));
        cmm_client_init(client, "OvaltaCmm");
    }

    // The next datagram from the client within 100 ms; empty when none.
    std::vector<uint8_t> receive() {
        pollfd fd{service, POLLIN, 0};
        if (::poll(&fd, 1, 100) != 1) {
            return {};
        }
        std::vector<uint8_t> buffer(2048);
        socklen_t length = sizeof client_address;
        const ssize_t n = ::recvfrom(service, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&client_address), &length);
        buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buffer;
    }

    void send(const uint8_t* data, size_t size) {
        ::sendto(service, data, size, 0, reinterpret_cast<sockaddr*>(&client_address),
                 sizeof client_address);
    }

    void drain() {
        uint8_t buffer[2048];
        while (::recv(service, buffer, sizeof buffer, 0) > 0) {
        }
    }

    bool connect() {
        if (cmm_client_get_connection_state(client) == CMM_CONNECTION_CONNECTED) {
            return true;
        }
        drain();
        if (cmm_client_request_pending(client)) {
            cmm_client_disconnect(client);
        }
        if (cmm_client_connect(client) != AUD_SUCCESS) {
            return false;
        }
        const std::vector<uint8_t> request = receive();
        if (request.size() < 20) {
            return false;
        }
        // Accepted: status 1 and a root array of four slots.
        std::vector<uint8_t> response(request.begin(), request.begin() + 20);
        const uint8_t body[] = {0, 4, 0, 1, 0, 2, 0, 3, 0, 4};
        response.insert(response.end(), body, body + sizeof body);
        response[2] = 0;
        response[3] = static_cast<uint8_t>(response.size());
        response[8] = 0;
        response[9] = 1;
        send(response.data(), response.size());
        cmm_client_process(client, nullptr);
        return cmm_client_get_connection_state(client) == CMM_CONNECTION_CONNECTED;
    }

    bool requestPending() {
        if (cmm_client_request_pending(client)) {
            return true;
        }
        cmm_system_config* config = cmm_client_get_system_config(client);
        config->flags = 0;
        if (cmm_client_set_system_config(client, config) != AUD_SUCCESS) {
            return false;
        }
        const std::vector<uint8_t> request = receive();
        if (request.size() < 20) {
            return false;
        }
        pending_seqnum = static_cast<uint16_t>(request[4] << 8 | request[5]);
        return true;
    }
};

Harness& harness() {
    static Harness made;
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    Harness& h = harness();
    if (!h.connect() || !h.requestPending()) {
        return 0;
    }
    std::vector<uint8_t> datagram(data + 1, data + size);
    if ((data[0] & 1) && datagram.size() >= 6) {
        datagram[4] = static_cast<uint8_t>(h.pending_seqnum >> 8);
        datagram[5] = static_cast<uint8_t>(h.pending_seqnum);
    }
    if ((data[0] & 2) && datagram.size() >= 4) {
        datagram[2] = static_cast<uint8_t>(datagram.size() >> 8);
        datagram[3] = static_cast<uint8_t>(datagram.size());
    }
    h.send(datagram.data(), datagram.size());
    cmm_client_process(h.client, nullptr);
    h.drain();
    return 0;
}
