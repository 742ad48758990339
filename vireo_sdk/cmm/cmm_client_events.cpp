#include <cstring>

#include "cmm/cmm_client_internal.h"
#include "cmm/cmm_messages.h"

namespace {

const char kOnEvent[] = "cmm_client_on_event";

void setConnectionState(cmm_client* client, int state, unsigned* changes) {
    if (client->connection_state == state) {
        return;
    }
    cmm_client_log(client, AUD_LOG_INFO, "%s: state is now %u (was %u)\n",
                   "_cmm_client_set_connection_state", static_cast<unsigned>(state),
                   static_cast<unsigned>(client->connection_state));
    client->connection_state = state;
    *changes |= CMM_CHANGE_CONNECTION;
}

// The connection is gone: the pending request, the options and the status with it.
void forgetConnection(cmm_client* client, unsigned* changes) {
    cmm_client_drop_pending(client, changes);
    if (client->received & CMM_DATA_OPTIONS) {
        *changes |= CMM_CHANGE_OPTIONS;
    }
    if (client->received & CMM_DATA_STATUS) {
        *changes |= CMM_CHANGE_STATUS;
    }
    client->received &= ~static_cast<unsigned>(CMM_DATA_OPTIONS | CMM_DATA_STATUS);
    std::memset(&client->options, 0, sizeof client->options);
    std::memset(&client->status, 0, sizeof client->status);
    if (client->own_flag) {
        client->own_flag = false;
        *changes |= CMM_CHANGE_OWN_PROCESS;
    }
    setConnectionState(client, CMM_CONNECTION_NONE, changes);
}

void storeOptions(cmm_client* client, const cmm_interface_list& options, unsigned* changes) {
    if (!cmm_interface_list_equal(&client->options, &options)) {
        std::memcpy(&client->options, &options, sizeof options);
        *changes |= CMM_CHANGE_OPTIONS;
    }
    client->received |= CMM_DATA_OPTIONS;
}

void storeStatus(cmm_client* client, const cmm_status& status, unsigned* changes) {
    if (!cmm_status_equal(&client->status, &status)) {
        std::memcpy(&client->status, &status, sizeof status);
        *changes |= CMM_CHANGE_STATUS;
    }
    client->received |= CMM_DATA_STATUS;
    for (unsigned i = 0; i < status.num_processes && i < CMM_MAX_PROCESSES; ++i) {
        const cmm_process& process = status.processes[i];
        if (process.id == client->info.process_id) {
            if (process.flag != client->own_flag) {
                client->own_flag = process.flag;
                *changes |= CMM_CHANGE_OWN_PROCESS;
            }
            break;
        }
    }
}

// Handlers of what a message carries; each gives the result of reading it.
typedef aud_error_t (*Handler)(cmm_client* client, const dgcp_message* message, unsigned* changes);

// Reads the state a message carries and stores it; heading opens its debug print.
aud_error_t takeState(cmm_client* client, const dgcp_message* message, const char* heading,
                      unsigned* changes) {
    cmm_status state;
    const aud_error_t result = cmm_decode_state(message, &state);
    if (result != AUD_SUCCESS) {
        cmm_client_log(client, AUD_LOG_ERROR, "%s: Error reading state: %s\n", kOnEvent,
                       aud_error_message(result, nullptr));
        return result;
    }
    cmm_client_log(client, AUD_LOG_DEBUG, "%s: %s", kOnEvent, heading);
    cmm_log_status(client, "  ", &state);
    storeStatus(client, state, changes);
    return AUD_SUCCESS;
}

aud_error_t onSetConfigResponse(cmm_client* client, const dgcp_message* response,
                                unsigned* changes) {
    const uint16_t status = dgcp_header_get_status(response);
    if (status != DGCP_STATUS_RESPONSE) {
        cmm_client_log(client, AUD_LOG_ERROR, "%s: SET_CONFIG response status=%s\n", kOnEvent,
                       cmm_response_status_name(status));
    }
    return takeState(client, response, "SET_CONFIG: state is now:\n", changes);
}

aud_error_t onOptions(cmm_client* client, const dgcp_message* event, unsigned* changes) {
    cmm_interface_list options;
    const aud_error_t result = cmm_decode_options(event, &options);
    if (result != AUD_SUCCESS) {
        cmm_client_log(client, AUD_LOG_ERROR, "%s: Error reading options: %s\n", kOnEvent,
                       aud_error_message(result, nullptr));
        return result;
    }
    cmm_client_log(client, AUD_LOG_DEBUG, "%s: options are:", kOnEvent);
    cmm_log_interface_list(client, "  ", &options);
    storeOptions(client, options, changes);
    return AUD_SUCCESS;
}

aud_error_t onState(cmm_client* client, const dgcp_message* event, unsigned* changes) {
    return takeState(client, event, "state is:", changes);
}

// The messages the service sends: responses to the client's requests and its events.
struct MessageKind {
    uint16_t opcode;
    unsigned change;  // DGCP2_CHANGE_RESPONSE or DGCP2_CHANGE_EVENT
    Handler handler;  // null: the transport's state tells everything
};

const MessageKind kMessageKinds[] = {
    {CMM_OPCODE_CONNECT, DGCP2_CHANGE_RESPONSE, nullptr},
    {CMM_OPCODE_DISCONNECT, DGCP2_CHANGE_RESPONSE, nullptr},
    {CMM_OPCODE_SET_CONFIG, DGCP2_CHANGE_RESPONSE, onSetConfigResponse},
    {CMM_OPCODE_OPTIONS, DGCP2_CHANGE_EVENT, onOptions},
    {CMM_OPCODE_STATE, DGCP2_CHANGE_EVENT, onState},
};

Handler handlerFor(uint16_t opcode, unsigned change) {
    for (const MessageKind& kind : kMessageKinds) {
        if (kind.opcode == opcode && kind.change == change) {
            return kind.handler;
        }
    }
    return nullptr;
}

void onConnected(cmm_client* client, const dgcp_message* response, unsigned* changes) {
    cmm_server_record record{};
    const aud_error_t result = response ? cmm_decode_server_record(response, &record)
                                        : static_cast<aud_error_t>(AUD_ERR_INVALIDPARAMETER);
    if (result == AUD_SUCCESS) {
        client->server = record;
        client->received |= CMM_DATA_SERVER;
    } else {
        cmm_client_log(client, AUD_LOG_ERROR, "%s: Error reading server record: %s\n", kOnEvent,
                       aud_error_message(result, nullptr));
    }
    setConnectionState(client, CMM_CONNECTION_CONNECTED, changes);
}

}  // namespace

void cmm_client_on_event(dgcp2_client* transport, const dgcp2_event_info* event) {
    cmm_client* client = static_cast<cmm_client*>(dgcp2_client_get_context(transport));
    const unsigned bits = event->changes;
    cmm_client_log(client, AUD_LOG_DEBUG, "%s: flags=0x%08x\n", kOnEvent, bits);
    // A response answers the request pending when it arrived, even when the state change it
    // brings drops that request first.
    dgcp_message* const pending = client->pending;
    unsigned changes = 0;
    aud_error_t result = AUD_SUCCESS;
    if (bits & DGCP2_CHANGE_SERVER_LOST) {
        forgetConnection(client, &changes);
    }
    if (bits & DGCP2_CHANGE_STATE) {
        switch (dgcp2_client_get_state(transport)) {
            case DGCP2_STATE_CONNECTING:
                setConnectionState(client, CMM_CONNECTION_CONNECTING, &changes);
                break;
            case DGCP2_STATE_CONNECTED:
                onConnected(client, event->message, &changes);
                break;
            default:
                forgetConnection(client, &changes);
                break;
        }
    }
    if ((bits & DGCP2_CHANGE_RESPONSE) && event->request && event->request == pending &&
        event->message &&
        dgcp_header_get_seqnum(event->request) == dgcp_header_get_seqnum(event->message)) {
        const uint16_t opcode = dgcp_header_get_opcode(event->request);
        // A body that cannot be read is logged and changes nothing; the response status alone
        // gives the result.
        const Handler handler = handlerFor(opcode, DGCP2_CHANGE_RESPONSE);
        if (handler) {
            handler(client, event->message, &changes);
        }
        if (client->pending == pending) {
            client->pending = nullptr;
        }
        changes |= CMM_CHANGE_REQUEST;
        result = cmm_status_to_error(dgcp_header_get_status(event->message));
    }
    if ((bits & DGCP2_CHANGE_EVENT) && event->message) {
        const Handler handler =
            handlerFor(dgcp_header_get_opcode(event->message), DGCP2_CHANGE_EVENT);
        if (handler) {
            result = handler(client, event->message, &changes);
        }
    }
    if (changes && client->callback) {
        client->callback(client, changes, event->result ? event->result : result);
    }
}
