// Automatic reconnection: the keepalive of a connected client, the connection time-outs and
// the next connect of a client whose connection was lost.
#include "conmon/conmon_client_internal.h"

namespace {

const char kTimeout[] = "conmon_client_process_connection_timeout";

aud_time later(const aud_time& time, uint32_t ms) {
    const aud_time span{int64_t(ms / 1000), int32_t(ms % 1000) * 1000};
    return aud_time_add(&time, &span);
}

bool passed(const aud_time& deadline, const aud_time& now) {
    return aud_time_compare(&now, &deadline) >= 0;
}

bool refused(aud_error_t result) {
    return result == AUD_ERR_CONNREFUSED || result == AUD_ERR_CONNRESET;
}

}  // namespace

aud_error_t conmon_client_set_auto_reconnect(conmon_client* client, bool on,
                                             const conmon_client_reconnect_timing* timing) {
    const conmon_client_reconnect_timing chosen =
        timing ? *timing : conmon_client_reconnect_timing{};
    if (!client || chosen.keepalive_ms == 0 || chosen.connecting_timeout_ms == 0 ||
        chosen.connected_timeout_ms == 0 || chosen.reconnect_delay_ms == 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    client->reconnect = on;
    client->reconnect_timing = chosen;
    conmon_client_arm_timers(client);
    return AUD_SUCCESS;
}

void conmon_client_set_clock(conmon_client* client, conmon_client_clock_fn* clock, void* context) {
    if (client) {
        client->clock = clock;
        client->clock_context = clock ? context : nullptr;
    }
}

void conmon_client_now(const conmon_client* client, aud_time* now) {
    if (client->clock) {
        client->clock(client->clock_context, now);
    } else {
        aud_time_get_monotonic(now);
    }
}

void conmon_client_arm_timers(conmon_client* client) {
    aud_time now;
    conmon_client_now(client, &now);
    const conmon_client_reconnect_timing& timing = client->reconnect_timing;
    switch (client->state) {
        case CONMON_CLIENT_CONNECTING:
            client->deadline = later(now, timing.connecting_timeout_ms);
            break;
        case CONMON_CLIENT_CONNECTED:
            client->last_heard = now;
            client->next_keepalive = later(now, timing.keepalive_ms);
            break;
        case CONMON_CLIENT_RECONNECT_PENDING:
            client->deadline = later(now, timing.reconnect_delay_ms);
            break;
        case CONMON_CLIENT_NO_CONNECTION:
            break;
    }
}

void conmon_client_lose_connection(conmon_client* client, bool send_disconnect, aud_error_t result,
                                   const char* reason) {
    if (client->reconnect) {
        conmon_client_close(client, send_disconnect, true, result, CONMON_CLIENT_RECONNECT_PENDING,
                            reason);
    } else {
        conmon_client_close(client, send_disconnect, true, result);
    }
}

void conmon_client_process_connection_timeout(conmon_client* client) {
    switch (client->state) {
        case CONMON_CLIENT_CONNECTING:
        case CONMON_CLIENT_CONNECTED:
            conmon_client_log(client, AUD_LOG_INFO, "%s: %s timed out\n", kTimeout,
                              conmon_client_state_name(client->state));
            conmon_client_lose_connection(client, client->state == CONMON_CLIENT_CONNECTED,
                                          AUD_ERR_TIMEDOUT, "connection timed out");
            break;
        case CONMON_CLIENT_RECONNECT_PENDING: {
            const aud_error_t result = conmon_client_connect_internal(client, nullptr, nullptr);
            if (result != AUD_SUCCESS) {
                conmon_client_log(client, AUD_LOG_INFO, "%s: reconnecting failed: %s\n", kTimeout,
                                  aud_error_message(result, nullptr));
                conmon_client_arm_timers(client);
            }
            break;
        }
        case CONMON_CLIENT_NO_CONNECTION:
            break;
    }
}

void conmon_client_process_timers(conmon_client* client) {
    if (!client->reconnect) {
        return;
    }
    aud_time now;
    conmon_client_now(client, &now);
    switch (client->state) {
        case CONMON_CLIENT_CONNECTED: {
            if (passed(later(client->last_heard, client->reconnect_timing.connected_timeout_ms),
                       now)) {
                conmon_client_process_connection_timeout(client);
            } else if (passed(client->next_keepalive, now)) {
                client->next_keepalive = later(now, client->reconnect_timing.keepalive_ms);
                const aud_error_t result = conmon_client_send_keepalive(client);
                if (refused(result)) {
                    conmon_client_log(client, AUD_LOG_INFO, "%s: keepalive refused, reconnecting\n",
                                      "conmon_client_process_timers");
                    conmon_client_lose_connection(client, false, result, "connection refused");
                }
            }
            break;
        }
        case CONMON_CLIENT_CONNECTING:
        case CONMON_CLIENT_RECONNECT_PENDING:
            if (passed(client->deadline, now)) {
                conmon_client_process_connection_timeout(client);
            }
            break;
        case CONMON_CLIENT_NO_CONNECTION:
            break;
    }
}
