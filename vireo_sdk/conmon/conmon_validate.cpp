// Checks of received control messages by opcode; each gives 0 or the status refusing it.
#include "conmon/conmon_client_internal.h"
#include "conmon/conmon_message.h"

namespace {

constexpr unsigned kValid = 0;
constexpr unsigned kInvalidSize = CONMON_STATUS_INVALID_SIZE;
constexpr unsigned kInvalidStatus = CONMON_STATUS_INVALID_STATUS;
constexpr unsigned kInvalidData = CONMON_STATUS_INVALID_DATA;

bool isRequest(const conmon_control* m) {
    return m->header.status == CONMON_STATUS_REQUEST;
}

bool isResponse(const conmon_control* m) {
    return m->header.status == CONMON_STATUS_RESPONSE;
}

bool isEvent(const conmon_control* m) {
    return m->header.status == CONMON_STATUS_EVENT;
}

size_t length(const conmon_control* m) {
    return m->header.length;
}

// A conmon message at offset whose own length lies within 24..1472 and within the control
// message.
unsigned embeddedFits(const conmon_control* m, size_t offset) {
    conmon_message embedded;
    return offset <= m->size &&
                   conmon_message_read(m->data + offset, m->size - offset, &embedded) == AUD_SUCCESS
               ? kValid
               : kInvalidData;
}

unsigned connectRequest(const conmon_control* m) {
    size_t name = 0;
    if (!conmon_control_terminated(m, CONMON_CONTROL_HEAD_SIZE, CONMON_NAME_SIZE, &name)) {
        return kInvalidData;
    }
    return length(m) >= name + 11 ? kValid : kInvalidSize;
}

unsigned connectResponse(const conmon_control* m) {
    uint16_t count = 0;
    if (m->header.version < 0x1200) {
        if (length(m) <= 55 || !conmon_control_u16(m, CONMON_CONNECT_LEGACY_COUNT_OFFSET, &count)) {
            return kInvalidSize;
        }
        return length(m) == CONMON_CONNECT_LEGACY_RECORDS_OFFSET +
                                size_t{CONMON_CONNECT_LEGACY_RECORD_SIZE} * count
                   ? kValid
                   : kInvalidData;
    }
    uint16_t record_size = 0;
    uint16_t record_offset = 0;
    if (length(m) <= 323 || !conmon_control_u16(m, CONMON_CONNECT_COUNT_OFFSET, &count) ||
        !conmon_control_u16(m, CONMON_CONNECT_RECORD_SIZE_OFFSET, &record_size) ||
        !conmon_control_u16(m, CONMON_CONNECT_RECORD_OFFSET_OFFSET, &record_offset)) {
        return kInvalidSize;
    }
    // Records never overlap the fixed fields, and hold at least the fields read from them.
    const size_t fixed =
        m->header.version >= 0x1400 ? CONMON_CONNECT_FIXED_SIZE_1400 : CONMON_CONNECT_FIXED_SIZE;
    if (record_offset < fixed || (count > 0 && record_size < CONMON_INTERFACE_FIELDS_SIZE)) {
        return kInvalidData;
    }
    return length(m) == size_t{count} * record_size + record_offset ? kValid : kInvalidData;
}

size_t registerSize(const conmon_control* m) {
    return m->header.version >= 0x1100 ? 16 : 14;
}

// Records of a subscribe response or subscriptions event; a message of 10 bytes has none.
unsigned subscriptionRecords(const conmon_control* m) {
    if (length(m) <= CONMON_CONTROL_HEAD_SIZE) {
        return kValid;
    }
    uint16_t count = 0;
    if (!conmon_control_u16(m, CONMON_COUNT_OFFSET, &count)) {
        return kInvalidSize;
    }
    const size_t needed =
        conmon_subscription_records_offset(m) + size_t{count} * conmon_subscription_record_size(m);
    return length(m) >= needed ? kValid : kInvalidSize;
}

}  // namespace

size_t conmon_subscription_records_offset(const conmon_control* message) {
    return message->header.version >= 0x1100 ? CONMON_SUBSCRIPTION_RECORDS_OFFSET
                                             : CONMON_SUBSCRIPTION_LEGACY_RECORDS_OFFSET;
}

size_t conmon_subscription_record_size(const conmon_control* message) {
    return message->header.version >= 0x1100 ? CONMON_SUBSCRIPTION_RECORD_SIZE
                                             : CONMON_SUBSCRIPTION_LEGACY_RECORD_SIZE;
}

unsigned conmon_validate_connect(const conmon_control* m) {
    if (isRequest(m)) {
        return connectRequest(m);
    }
    if (isEvent(m)) {
        return kInvalidStatus;
    }
    return connectResponse(m);
}

unsigned conmon_validate_name_message(const conmon_control* m) {
    return length(m) > 41 ? kValid : kInvalidSize;
}

unsigned conmon_validate_remote_control(const conmon_control* m) {
    return length(m) > 11 ? kValid : kInvalidSize;
}

unsigned conmon_validate_register(const conmon_control* m) {
    if (!isRequest(m)) {
        return kValid;
    }
    uint16_t type = 0;
    uint16_t direction = 0;
    if (length(m) < registerSize(m) || !conmon_control_u16(m, CONMON_CHANNEL_TYPE_OFFSET, &type) ||
        !conmon_control_u16(m, CONMON_DIRECTION_OFFSET, &direction)) {
        return kInvalidSize;
    }
    return type < CONMON_NUM_CHANNEL_TYPES && direction <= 1 ? kValid : kInvalidData;
}

unsigned conmon_validate_subscribe(const conmon_control* m) {
    if (!isRequest(m)) {
        return isResponse(m) && m->header.opcode == CONMON_OPCODE_SUBSCRIBE ? subscriptionRecords(m)
                                                                            : kValid;
    }
    uint16_t type = 0;
    if (length(m) < registerSize(m) || !conmon_control_u16(m, CONMON_CHANNEL_TYPE_OFFSET, &type)) {
        return kInvalidSize;
    }
    const size_t name_offset = m->header.version >= 0x1100 ? 24 : 22;
    if (type < 1 || type >= CONMON_NUM_CHANNEL_TYPES ||
        !conmon_control_terminated(m, name_offset, CONMON_NAME_SIZE, nullptr)) {
        return kInvalidData;
    }
    return kValid;
}

unsigned conmon_validate_send_message(const conmon_control* m) {
    if (!isRequest(m)) {
        return kValid;
    }
    uint16_t type = 0;
    if (length(m) < 36 || !conmon_control_u16(m, CONMON_CHANNEL_TYPE_OFFSET, &type)) {
        return kInvalidSize;
    }
    if (type == CONMON_CHANNEL_TYPE_CONTROL) {
        if (!conmon_control_terminated(m, CONMON_SEND_NAME_OFFSET, CONMON_NAME_SIZE, nullptr)) {
            return kInvalidData;
        }
        if (length(m) <= 75) {
            return kInvalidSize;
        }
        return embeddedFits(m, CONMON_SEND_MESSAGE_OFFSET);
    }
    return type < CONMON_NUM_CHANNEL_TYPES ? embeddedFits(m, CONMON_SEND_TYPED_MESSAGE_OFFSET)
                                           : kInvalidData;
}

unsigned conmon_validate_networks_changed(const conmon_control* m) {
    if (!isEvent(m)) {
        return kInvalidStatus;
    }
    uint16_t count = 0;
    if (!conmon_control_u16(m, CONMON_COUNT_OFFSET, &count)) {
        return kInvalidSize;
    }
    const size_t expected =
        m->header.version < 0x1200
            ? size_t{count} * CONMON_CONNECT_LEGACY_RECORD_SIZE +
                  CONMON_NETWORKS_LEGACY_RECORDS_OFFSET
            : size_t{count} * CONMON_NETWORKS_RECORD_SIZE + CONMON_NETWORKS_RECORDS_OFFSET;
    return length(m) == expected ? kValid : kInvalidSize;
}

unsigned conmon_validate_dns_domain_name_changed(const conmon_control* m) {
    if (!isEvent(m)) {
        return kInvalidStatus;
    }
    return length(m) > 265 ? kValid : kInvalidSize;
}

unsigned conmon_validate_channel_message(const conmon_control* m) {
    if (!isEvent(m)) {
        return kInvalidStatus;
    }
    return length(m) >= 40 ? embeddedFits(m, CONMON_CHANNEL_MESSAGE_OFFSET) : kInvalidSize;
}

unsigned conmon_validate_named_channel_message(const conmon_control* m) {
    if (!isEvent(m)) {
        return kInvalidStatus;
    }
    return length(m) >= 72 ? embeddedFits(m, CONMON_NAMED_MESSAGE_OFFSET) : kInvalidSize;
}

unsigned conmon_validate_legacy_metering(const conmon_control* m) {
    if (!isEvent(m)) {
        return kInvalidStatus;
    }
    uint16_t a = 0;
    uint16_t b = 0;
    if (!conmon_control_u16(m, CONMON_COUNT_OFFSET, &a) ||
        !conmon_control_u16(m, CONMON_COUNT_OFFSET + 2, &b)) {
        return kInvalidSize;
    }
    return length(m) == (size_t{a} + 2 * size_t{b}) * 8 + 20 ? kValid : kInvalidSize;
}

unsigned conmon_validate_subscriptions_changed(const conmon_control* m) {
    return isEvent(m) ? subscriptionRecords(m) : kInvalidStatus;
}
