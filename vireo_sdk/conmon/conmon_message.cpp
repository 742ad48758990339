#include "conmon/conmon_message.h"

#include <cstring>

#include "util/aud_reader.h"

const uint8_t CONMON_VENDOR_ID_STANDARD[CONMON_VENDOR_ID_SIZE] = {'S', 'o', 'n', 'a',
                                                                  'v', 'e', 'n', 't'};

bool conmon_instance_id_equal(const conmon_instance_id* a, const conmon_instance_id* b) {
    return a->process_id == b->process_id &&
           std::memcmp(a->device_id, b->device_id, CONMON_DEVICE_ID_SIZE) == 0;
}

bool conmon_instance_id_is_zero(const conmon_instance_id* id) {
    const conmon_instance_id zero{};
    return conmon_instance_id_equal(id, &zero);
}

aud_error_t conmon_message_read(const uint8_t* data, size_t size, conmon_message* message) {
    aud_reader reader;
    aud_reader_init(&reader, data, size);
    conmon_message read{};
    const bool complete =
        aud_reader_u16be(&reader, &read.type) && aud_reader_u16be(&reader, &read.length) &&
        aud_reader_u16be(&reader, &read.sequence) && aud_reader_u16be(&reader, &read.process_id) &&
        aud_reader_bytes(&reader, read.device_id, CONMON_DEVICE_ID_SIZE) &&
        aud_reader_bytes(&reader, read.vendor_id, CONMON_VENDOR_ID_SIZE);
    if (!complete || read.length < CONMON_MESSAGE_HEAD_SIZE ||
        read.length > CONMON_MESSAGE_MAX_SIZE ||
        !aud_reader_view(&reader, read.length - CONMON_MESSAGE_HEAD_SIZE, &read.body)) {
        return AUD_ERR_INVALIDDATA;
    }
    *message = read;
    return AUD_SUCCESS;
}

size_t conmon_message_get_body_size(const conmon_message* message) {
    return message->length >= CONMON_MESSAGE_HEAD_SIZE
               ? size_t{message->length} - CONMON_MESSAGE_HEAD_SIZE
               : 0;
}

void conmon_message_get_source_instance_id(const conmon_message* message, conmon_instance_id* id) {
    std::memcpy(id->device_id, message->device_id, CONMON_DEVICE_ID_SIZE);
    id->process_id = message->process_id;
}

bool conmon_message_has_vendor_id(const conmon_message* message,
                                  const uint8_t vendor_id[CONMON_VENDOR_ID_SIZE]) {
    return std::memcmp(message->vendor_id, vendor_id, CONMON_VENDOR_ID_SIZE) == 0;
}

const char* conmon_channel_type_name(unsigned type) {
    static const char* const names[CONMON_NUM_CHANNEL_TYPES] = {
        "control", "metering",  "status",           "broadcast", "local",
        "serial",  "keepalive", "vendor_broadcast", "monitoring"};
    return type < CONMON_NUM_CHANNEL_TYPES ? names[type] : "???";
}
