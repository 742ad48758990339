// Handlers of the opcode table: the Connect and Subscribe responses and the server's events.
#include <cstring>

#include "conmon/conmon_client_internal.h"

namespace {

// The index, flags and IPv4 address that begin an interface record.
bool readInterface(const conmon_control* message, size_t offset,
                   conmon_client_interface* interface) {
    const uint8_t* address = conmon_control_field(message, offset + 8, 4);
    if (!address || !conmon_control_u32(message, offset, &interface->index) ||
        !conmon_control_u32(message, offset + 4, &interface->flags)) {
        return false;
    }
    std::memcpy(&interface->address, address, 4);
    return true;
}

// At most two interfaces from count records of record_size bytes from offset.
size_t readInterfaces(const conmon_control* message, size_t offset, size_t record_size,
                      size_t count, conmon_client_interface* interfaces) {
    size_t stored = 0;
    for (size_t i = 0; i < count && stored < CONMON_CLIENT_MAX_INTERFACES; ++i) {
        if (!readInterface(message, offset + i * record_size, &interfaces[stored])) {
            break;
        }
        ++stored;
    }
    return stored;
}

bool readInstanceId(const conmon_control* message, size_t device_offset, size_t process_offset,
                    conmon_instance_id* id) {
    const uint8_t* device = conmon_control_field(message, device_offset, CONMON_DEVICE_ID_SIZE);
    if (!device || !conmon_control_u16(message, process_offset, &id->process_id)) {
        return false;
    }
    std::memcpy(id->device_id, device, CONMON_DEVICE_ID_SIZE);
    return true;
}

void storeLocalDevice(conmon_client* client, const conmon_control* message) {
    uint16_t count = 0;
    size_t records = 0;
    size_t record_size = 0;
    if (message->header.version < 0x1200) {
        client->server_flags = 0;
        readInstanceId(message, CONMON_CONNECT_LEGACY_DEVICE_ID_OFFSET,
                       CONMON_CONNECT_LEGACY_PROCESS_ID_OFFSET, &client->instance_id);
        conmon_control_u16(message, CONMON_CONNECT_LEGACY_COUNT_OFFSET, &count);
        records = CONMON_CONNECT_LEGACY_RECORDS_OFFSET;
        record_size = CONMON_CONNECT_LEGACY_RECORD_SIZE;
    } else {
        uint16_t size = 0;
        uint16_t offset = 0;
        conmon_control_u16(message, CONMON_CONNECT_FLAGS_OFFSET, &client->server_flags);
        conmon_control_text(message, CONMON_CONNECT_DOMAIN_OFFSET, CONMON_DOMAIN_NAME_SIZE,
                            client->dns_domain_name);
        readInstanceId(message, CONMON_CONNECT_DEVICE_ID_OFFSET, CONMON_CONNECT_PROCESS_ID_OFFSET,
                       &client->instance_id);
        conmon_control_u16(message, CONMON_CONNECT_COUNT_OFFSET, &count);
        conmon_control_u16(message, CONMON_CONNECT_RECORD_SIZE_OFFSET, &size);
        conmon_control_u16(message, CONMON_CONNECT_RECORD_OFFSET_OFFSET, &offset);
        records = offset;
        record_size = size;
    }
    conmon_control_text(message, CONMON_CONNECT_NAME_OFFSET, CONMON_NAME_SIZE, client->device_name);
    client->num_interfaces =
        readInterfaces(message, records, record_size, count, client->interfaces);
}

// The entry of (type, name), added when new (*added set); null when new and the table is full.
conmon_client_subscription* findSubscription(conmon_client* client, uint16_t type, const char* name,
                                             bool* added) {
    *added = false;
    for (size_t i = 0; i < client->num_subscriptions; ++i) {
        conmon_client_subscription& entry = client->subscriptions[i];
        if (entry.channel_type == type && std::strcmp(entry.name, name) == 0) {
            return &entry;
        }
    }
    if (client->num_subscriptions == CONMON_CLIENT_MAX_SUBSCRIPTIONS) {
        return nullptr;
    }
    conmon_client_subscription& entry = client->subscriptions[client->num_subscriptions++];
    entry = conmon_client_subscription{};
    entry.channel_type = type;
    std::strcpy(entry.name, name);
    *added = true;
    return &entry;
}

// Applies the subscription records of a Subscribe response or event; the entries that changed
// are listed in changed (at most 96) and counted.
size_t updateSubscriptions(conmon_client* client, const conmon_control* message,
                           const conmon_client_subscription** changed) {
    uint16_t count = 0;
    if (!conmon_control_u16(message, CONMON_COUNT_OFFSET, &count)) {
        return 0;
    }
    const size_t first = conmon_subscription_records_offset(message);
    const size_t record_size = conmon_subscription_record_size(message);
    size_t num_changed = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = first + i * record_size;
        uint16_t type = 0;
        uint16_t status = 0;
        char name[CONMON_NAME_SIZE + 1];
        conmon_instance_id id{};
        if (!conmon_control_u16(message, at, &type) ||
            !conmon_control_u16(message, at + 2, &status) ||
            !conmon_control_text(message, at + 4, CONMON_NAME_SIZE, name) ||
            !readInstanceId(message, at + 36, at + 44, &id)) {
            break;
        }
        bool added = false;
        conmon_client_subscription* entry = findSubscription(client, type, name, &added);
        if (!entry || (!added && entry->status == status &&
                       conmon_instance_id_equal(&entry->instance_id, &id))) {
            continue;
        }
        entry->status = status;
        entry->instance_id = id;
        bool listed = false;
        for (size_t j = 0; j < num_changed; ++j) {
            listed = listed || changed[j] == entry;
        }
        if (!listed && num_changed < CONMON_CLIENT_MAX_SUBSCRIPTIONS) {
            changed[num_changed++] = entry;
        }
    }
    return num_changed;
}

void deliver(conmon_client* client, const conmon_control* message, size_t offset) {
    uint16_t type = 0;
    uint16_t direction = 0;
    conmon_message embedded{};
    if (!conmon_control_u16(message, CONMON_CHANNEL_TYPE_OFFSET, &type) ||
        !conmon_control_u16(message, CONMON_DIRECTION_OFFSET, &direction) ||
        type >= CONMON_NUM_CHANNEL_TYPES || direction > 1 || offset > message->size ||
        conmon_message_read(message->data + offset, message->size - offset, &embedded) !=
            AUD_SUCCESS) {
        return;
    }
    if (conmon_client_message_fn* handler = client->handlers[type][direction]) {
        handler(client, type, direction, &embedded);
    }
}

}  // namespace

void conmon_client_on_connect_response(conmon_client* client, const conmon_control* message,
                                       conmon_request_entry* entry) {
    if (entry != &client->connect_request) {
        conmon_client_log(client, AUD_LOG_NOTICE,
                          "%s: connection handle mismatch, ignoring message!\n",
                          "conmon_client_process_message");
        return;
    }
    const unsigned status = message->header.status;
    if (status == CONMON_STATUS_RESPONSE) {
        storeLocalDevice(client, message);
        conmon_client_to_state(client, "conmon_client_process_message", CONMON_CLIENT_CONNECTED,
                               "manual connection completed");
        conmon_client_complete(client, entry, AUD_SUCCESS);
        return;
    }
    if (status == CONMON_STATUS_INVALID_SIZE && client->version >= 0x1400 &&
        message->header.version < 0x1400) {
        // An older server: speak its version, with the shorter Connect.
        const conmon_request_entry pending = *entry;
        conmon_client_release(client, entry);
        client->version = message->header.version;
        const aud_error_t result = conmon_client_send_connect(client, pending.callback, pending.id);
        if (result != AUD_SUCCESS && pending.callback) {
            pending.callback(client, pending.id, result);
        }
        return;
    }
    conmon_client_complete(client, entry, conmon_control_status_result(status));
}

void conmon_client_on_null_response(conmon_client* client, const conmon_control* message,
                                    conmon_request_entry* entry) {
    const unsigned status = message->header.status;
    if (entry == &client->connect_request) {
        conmon_client_release(client, entry);
        // A keepalive refused: the server (restarted, perhaps) knows no such client.
        if (client->reconnect && client->state == CONMON_CLIENT_CONNECTED &&
            status != CONMON_STATUS_RESPONSE) {
            conmon_client_log(client, AUD_LOG_INFO, "%s: keepalive answered \"%s\", reconnecting\n",
                              "conmon_client_process_message", conmon_control_status_name(status));
            conmon_client_lose_connection(client, false, conmon_control_status_result(status),
                                          "keepalive refused");
        }
    } else {
        conmon_client_complete(client, entry, conmon_control_status_result(status));
    }
}

void conmon_client_on_subscribe_response(conmon_client* client, const conmon_control* message,
                                         conmon_request_entry* entry) {
    if (message->header.status != CONMON_STATUS_RESPONSE ||
        message->header.length <= CONMON_CONTROL_HEAD_SIZE) {
        conmon_client_complete(client, entry, conmon_control_status_result(message->header.status));
        return;
    }
    const conmon_client_subscription* changed[CONMON_CLIENT_MAX_SUBSCRIPTIONS];
    const size_t count = updateSubscriptions(client, message, changed);
    conmon_client_complete(client, entry, AUD_SUCCESS);
    if (client->devices_changed) {
        client->devices_changed(client, count, changed);
    }
}

void conmon_client_on_networks_changed(conmon_client* client, const conmon_control* message) {
    uint16_t count = 0;
    conmon_control_u16(message, CONMON_COUNT_OFFSET, &count);
    const bool legacy = message->header.version < 0x1200;
    conmon_client_interface interfaces[CONMON_CLIENT_MAX_INTERFACES] = {};
    const size_t stored = readInterfaces(
        message, legacy ? CONMON_NETWORKS_LEGACY_RECORDS_OFFSET : CONMON_NETWORKS_RECORDS_OFFSET,
        legacy ? CONMON_CONNECT_LEGACY_RECORD_SIZE : CONMON_NETWORKS_RECORD_SIZE, count,
        interfaces);
    bool same = stored == client->num_interfaces;
    for (size_t i = 0; same && i < stored; ++i) {
        const conmon_client_interface& a = interfaces[i];
        const conmon_client_interface& b = client->interfaces[i];
        same = a.index == b.index && a.flags == b.flags && a.address == b.address;
    }
    if (same) {
        return;
    }
    std::memcpy(client->interfaces, interfaces, sizeof interfaces);
    client->num_interfaces = stored;
    if (client->networks_changed) {
        client->networks_changed(client);
    }
}

void conmon_client_on_device_name_changed(conmon_client* client, const conmon_control* message) {
    char name[CONMON_NAME_SIZE + 1];
    if (conmon_control_text(message, CONMON_CONTROL_HEAD_SIZE, CONMON_NAME_SIZE, name) &&
        std::strcmp(name, client->device_name) != 0) {
        std::strcpy(client->device_name, name);
        if (client->device_name_changed) {
            client->device_name_changed(client);
        }
    }
}

void conmon_client_on_dns_domain_name_changed(conmon_client* client,
                                              const conmon_control* message) {
    char text[CONMON_DOMAIN_NAME_SIZE + 1];
    if (conmon_control_text(message, CONMON_CONTROL_HEAD_SIZE, CONMON_DOMAIN_NAME_SIZE, text) &&
        std::strcmp(text, client->dns_domain_name) != 0) {
        std::strcpy(client->dns_domain_name, text);
        if (client->dns_domain_name_changed) {
            client->dns_domain_name_changed(client);
        }
    }
}

void conmon_client_on_channel_message(conmon_client* client, const conmon_control* message) {
    deliver(client, message, CONMON_CHANNEL_MESSAGE_OFFSET);
}

void conmon_client_on_named_channel_message(conmon_client* client, const conmon_control* message) {
    conmon_message embedded{};
    if (!conmon_control_text(message, CONMON_SENDER_NAME_OFFSET, CONMON_NAME_SIZE,
                             client->sender_name) ||
        message->size < CONMON_NAMED_MESSAGE_OFFSET ||
        conmon_message_read(message->data + CONMON_NAMED_MESSAGE_OFFSET,
                            message->size - CONMON_NAMED_MESSAGE_OFFSET,
                            &embedded) != AUD_SUCCESS) {
        return;
    }
    conmon_message_get_source_instance_id(&embedded, &client->sender_id);
    client->delivering_named = true;
    deliver(client, message, CONMON_NAMED_MESSAGE_OFFSET);
    client->delivering_named = false;
}

void conmon_client_on_subscriptions_changed(conmon_client* client, const conmon_control* message) {
    const conmon_client_subscription* changed[CONMON_CLIENT_MAX_SUBSCRIPTIONS];
    const size_t count = updateSubscriptions(client, message, changed);
    if (count > 0 && client->devices_changed) {
        client->devices_changed(client, count, changed);
    }
}
