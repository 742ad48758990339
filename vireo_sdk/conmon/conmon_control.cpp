#include "conmon/conmon_control.h"

#include <cstring>

#include "util/aud_reader.h"

namespace {

enum { kLengthOffset = 2, kSequenceOffset = 4, kStatusOffset = 8 };

bool readHost16(aud_reader* reader, uint16_t* value) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return aud_reader_u16le(reader, value);
#else
    return aud_reader_u16be(reader, value);
#endif
}

bool readHost32(aud_reader* reader, uint32_t* value) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return aud_reader_u32le(reader, value);
#else
    return aud_reader_u32be(reader, value);
#endif
}

// A reader positioned at offset, or false when offset lies past the message.
bool readerAt(const conmon_control* message, size_t offset, aud_reader* reader) {
    aud_reader_init(reader, message->data, message->size);
    return aud_reader_skip(reader, offset);
}

}  // namespace

const char* conmon_control_status_name(unsigned status) {
    static const char* const names[] = {
        "Request",        "Response",       "Event",        "Invalid version", "Invalid size",
        "Invalid opcode", "Invalid status", "Invalid data", "Internal error",  "Not Supported",
        "Timeout",        "Invalid State",  "No Buffers",   "Not Found"};
    return status < sizeof names / sizeof names[0] ? names[status] : "???";
}

aud_error_t conmon_control_status_result(unsigned status) {
    switch (status) {
        case CONMON_STATUS_REQUEST:
        case CONMON_STATUS_RESPONSE:
        case CONMON_STATUS_EVENT:
            return AUD_SUCCESS;
        case CONMON_STATUS_INVALID_VERSION:
            return AUD_ERR_VERSION;
        case CONMON_STATUS_INVALID_SIZE:
        case CONMON_STATUS_INVALID_OPCODE:
        case CONMON_STATUS_INVALID_STATUS:
        case CONMON_STATUS_INVALID_DATA:
            return AUD_ERR_INVALIDDATA;
        case CONMON_STATUS_NOT_SUPPORTED:
            return AUD_ERR_NOTSUPPORTED;
        case CONMON_STATUS_TIMEOUT:
            return AUD_ERR_TIMEDOUT;
        case CONMON_STATUS_INVALID_STATE:
            return AUD_ERR_INVALIDSTATE;
        case CONMON_STATUS_NO_BUFFERS:
            return AUD_ERR_NOBUFS;
        case CONMON_STATUS_NOT_FOUND:
            return AUD_ERR_NOTFOUND;
        default:
            return AUD_ERR_SYSTEM;
    }
}

bool conmon_control_read(const uint8_t* data, size_t size, conmon_control* message) {
    aud_reader reader;
    aud_reader_init(&reader, data, size);
    conmon_control_header header{};
    uint16_t status = 0;
    if (!readHost16(&reader, &header.version) || !readHost16(&reader, &header.length) ||
        !readHost16(&reader, &header.sequence) || !readHost16(&reader, &header.opcode) ||
        !readHost16(&reader, &status)) {
        return false;
    }
    header.status = status & 0x0FFF;
    header.flags = status >> 12;
    message->header = header;
    message->data = data;
    message->size = size;
    return true;
}

bool conmon_control_u16(const conmon_control* message, size_t offset, uint16_t* value) {
    aud_reader reader;
    return readerAt(message, offset, &reader) && readHost16(&reader, value);
}

bool conmon_control_u32(const conmon_control* message, size_t offset, uint32_t* value) {
    aud_reader reader;
    return readerAt(message, offset, &reader) && readHost32(&reader, value);
}

const uint8_t* conmon_control_field(const conmon_control* message, size_t offset, size_t n) {
    aud_reader reader;
    const uint8_t* view = nullptr;
    return readerAt(message, offset, &reader) && aud_reader_view(&reader, n, &view) ? view
                                                                                    : nullptr;
}

bool conmon_control_text(const conmon_control* message, size_t offset, size_t field_size,
                         char* out) {
    const uint8_t* view = conmon_control_field(message, offset, field_size);
    if (!view) {
        return false;
    }
    const void* nul = std::memchr(view, 0, field_size);
    const size_t length =
        nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - view) : field_size;
    std::memcpy(out, view, length);
    out[length] = '\0';
    return true;
}

bool conmon_control_terminated(const conmon_control* message, size_t offset, size_t max,
                               size_t* length) {
    aud_reader reader;
    if (!readerAt(message, offset, &reader)) {
        return false;
    }
    const size_t left = aud_reader_remaining(&reader);
    const size_t limit = left < max ? left : max;
    const uint8_t* view = nullptr;
    if (limit == 0 || !aud_reader_view(&reader, limit, &view)) {
        return false;
    }
    const void* nul = std::memchr(view, 0, limit);
    if (!nul) {
        return false;
    }
    if (length) {
        *length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - view);
    }
    return true;
}

void conmon_control_begin(conmon_writer* writer, uint16_t version, uint16_t sequence,
                          uint16_t opcode, uint16_t flags) {
    conmon_writer_u16_host(writer, version);
    conmon_writer_u16_host(writer, 0);
    conmon_writer_u16_host(writer, sequence);
    conmon_writer_u16_host(writer, opcode);
    conmon_writer_u16_host(writer, static_cast<uint16_t>(flags << 12));
}

void conmon_control_set_sequence(conmon_writer* writer, uint16_t sequence) {
    conmon_writer_patch_u16_host(writer, kSequenceOffset, sequence);
}

void conmon_control_set_flags(conmon_writer* writer, uint16_t flags) {
    conmon_writer_patch_u16_host(writer, kStatusOffset, static_cast<uint16_t>(flags << 12));
}

size_t conmon_control_finish(conmon_writer* writer) {
    const size_t size = conmon_writer_size(writer);
    if (size < CONMON_CONTROL_HEAD_SIZE || size > UINT16_MAX) {
        return 0;
    }
    conmon_writer_patch_u16_host(writer, kLengthOffset, static_cast<uint16_t>(size));
    return conmon_writer_size(writer);
}
