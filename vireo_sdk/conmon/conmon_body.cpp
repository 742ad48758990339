#include "conmon/conmon_body.h"

#include <cstring>

#include "conmon/conmon_writer.h"
#include "util/aud_reader.h"

namespace {

enum {
    kInterfaceCountOffset = 8,
    kInterfaceRecordsOffset = 12,
    kMacOffset = 6,
    kVireoInfoTextOffset = 20,
    kProductIdOffset = 16,
    kSoftwareVersionOffset = 32,
    kFirmwareVersionOffset = 36,
    kCapabilitiesOffset = 40,
    kModelNameOffset = 180,
    kModelVersionOffset = 308
};

// The n bytes at offset, when wholly inside the body.
const uint8_t* field(const uint8_t* body, size_t size, size_t offset, size_t n) {
    aud_reader reader;
    aud_reader_init(&reader, body, size);
    const uint8_t* view = nullptr;
    return aud_reader_skip(&reader, offset) && aud_reader_view(&reader, n, &view) ? view : nullptr;
}

uint16_t u16At(const uint8_t* body, size_t size, size_t offset) {
    aud_reader reader;
    aud_reader_init(&reader, body, size);
    uint16_t value = 0;
    return aud_reader_skip(&reader, offset) && aud_reader_u16be(&reader, &value) ? value : 0;
}

uint32_t u32At(const uint8_t* body, size_t size, size_t offset) {
    aud_reader reader;
    aud_reader_init(&reader, body, size);
    uint32_t value = 0;
    return aud_reader_skip(&reader, offset) && aud_reader_u32be(&reader, &value) ? value : 0;
}

// The text from offset to its first zero, the end of its field (limit bytes) or the body's
// end, whichever comes first; false when offset lies past the body.
bool textAt(const uint8_t* body, size_t size, size_t offset, size_t limit, char* out,
            size_t out_size) {
    if (!out || out_size == 0 || offset > size) {
        return false;
    }
    aud_reader reader;
    aud_reader_init(&reader, body, size);
    aud_reader_skip(&reader, offset);
    const size_t left = aud_reader_remaining(&reader);
    size_t length = left < limit ? left : limit;
    const uint8_t* view = nullptr;
    aud_reader_view(&reader, length, &view);
    if (const void* nul = length ? std::memchr(view, 0, length) : nullptr) {
        length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - view);
    }
    if (length > out_size - 1) {
        length = out_size - 1;
    }
    if (length > 0) {
        std::memcpy(out, view, length);
    }
    out[length] = '\0';
    return true;
}

uint16_t bodyVersion(const uint8_t* body, size_t size) {
    return u16At(body, size, 0);
}

}  // namespace

void conmon_body_init_request(conmon_body* body, uint16_t body_version, uint16_t opcode,
                              uint32_t argument) {
    conmon_writer writer;
    conmon_writer_init(&writer, body->data, sizeof body->data);
    conmon_writer_u16be(&writer, body_version);
    conmon_writer_u16be(&writer, opcode);
    conmon_writer_u32be(&writer, argument);
}

size_t conmon_body_request_size(const conmon_body*) {
    return CONMON_BODY_REQUEST_SIZE;
}

void conmon_body_init_interface_request(conmon_body* body, uint16_t body_version,
                                        uint32_t argument) {
    conmon_writer writer;
    conmon_writer_init(&writer, body->data, sizeof body->data);
    conmon_writer_u16be(&writer, body_version);
    conmon_writer_u16be(&writer, CONMON_BODY_INTERFACE_REQUEST);
    conmon_writer_u32be(&writer, argument);
    conmon_writer_zeros(&writer, CONMON_BODY_INTERFACE_REQUEST_SIZE - CONMON_BODY_REQUEST_SIZE);
}

size_t conmon_body_interface_request_size(const conmon_body* body) {
    const uint8_t* b = body->data;
    return b[11] == 0 ? size_t{CONMON_BODY_INTERFACE_REQUEST_SIZE}
                      : size_t{b[11]} + size_t{b[8]} * b[9];
}

bool conmon_body_get_kind(const uint8_t* body, size_t size, uint16_t* version, uint16_t* opcode) {
    aud_reader reader;
    aud_reader_init(&reader, body, size);
    uint16_t v = 0;
    uint16_t o = 0;
    if (!aud_reader_u16be(&reader, &v) || !aud_reader_u16be(&reader, &o)) {
        return false;
    }
    *version = v;
    *opcode = o;
    return true;
}

uint16_t conmon_body_interface_count(const uint8_t* body, size_t size) {
    return u16At(body, size, kInterfaceCountOffset);
}

const uint8_t* conmon_body_interface_at(const uint8_t* body, size_t size, unsigned i) {
    if (i >= conmon_body_interface_count(body, size)) {
        return nullptr;
    }
    return field(body, size, kInterfaceRecordsOffset + size_t{i} * CONMON_INTERFACE_RECORD_SIZE,
                 CONMON_INTERFACE_RECORD_SIZE);
}

void conmon_interface_get_mac(const uint8_t* record, uint8_t mac[CONMON_MAC_SIZE]) {
    std::memcpy(mac, record + kMacOffset, CONMON_MAC_SIZE);
}

bool conmon_vireo_info_get_text(const uint8_t* body, size_t size, char* out, size_t out_size) {
    return size >= CONMON_VIREO_INFO_REPLY_MIN_SIZE &&
           textAt(body, size, kVireoInfoTextOffset, CONMON_MESSAGE_MAX_BODY_SIZE, out, out_size);
}

bool conmon_versions_get_product_id(const uint8_t* body, size_t size,
                                    uint8_t id[CONMON_PRODUCT_ID_SIZE]) {
    const uint8_t* view = field(body, size, kProductIdOffset, CONMON_PRODUCT_ID_SIZE);
    if (!view) {
        return false;
    }
    std::memcpy(id, view, CONMON_PRODUCT_ID_SIZE);
    return true;
}

uint32_t conmon_versions_get_software_version(const uint8_t* body, size_t size) {
    return u32At(body, size, kSoftwareVersionOffset);
}

uint32_t conmon_versions_get_firmware_version(const uint8_t* body, size_t size) {
    return u32At(body, size, kFirmwareVersionOffset);
}

uint32_t conmon_versions_get_capabilities(const uint8_t* body, size_t size) {
    return bodyVersion(body, size) > 0x0605 ? u32At(body, size, kCapabilitiesOffset) : 0;
}

bool conmon_versions_get_model_name(const uint8_t* body, size_t size, char* out, size_t out_size) {
    if (bodyVersion(body, size) <= 0x0700 || size <= kModelNameOffset) {
        return false;
    }
    return textAt(body, size, kModelNameOffset, CONMON_VERSIONS_MODEL_NAME_SIZE, out, out_size) &&
           out[0] != '\0';
}

uint32_t conmon_versions_get_model_version(const uint8_t* body, size_t size) {
    return bodyVersion(body, size) >= 0x0704 ? u32At(body, size, kModelVersionOffset) : 0;
}
