#include "dgcp2/dgcp_body.h"

#include <cstring>

#include "util/aud_reader.h"

namespace {

// Makes room for size bytes at the next multiple of align after the body end; the skipped
// pad bytes keep what the buffer held.
aud_error_t reserve(dgcp_message* message, size_t align, size_t size, size_t* start) {
    const size_t end = dgcp_message_body_length(message);
    const size_t at = (end + align - 1) / align * align;
    if (at > dgcp_message_body_limit(message) || size > dgcp_message_body_limit(message) - at) {
        return AUD_ERR_MSGSIZE;
    }
    dgcp_header_set_length(message,
                           static_cast<uint16_t>(dgcp_message_header_size(message) + at + size));
    *start = at;
    return AUD_SUCCESS;
}

uint8_t* bodyAt(dgcp_message* message, size_t at) {
    return dgcp_message_get_header(message) + dgcp_message_header_size(message) + at;
}

void put16(uint8_t* to, uint16_t value) {
    to[0] = static_cast<uint8_t>(value >> 8);
    to[1] = static_cast<uint8_t>(value);
}

void put32(uint8_t* to, uint32_t value) {
    put16(to, static_cast<uint16_t>(value >> 16));
    put16(to + 2, static_cast<uint16_t>(value));
}

void giveOffset(uint16_t* offset, size_t at) {
    if (offset) {
        *offset = static_cast<uint16_t>(at);
    }
}

// A reader over the body, placed at offset; false when the offset is past the body.
bool readerAt(const dgcp_message* message, uint16_t offset, aud_reader* reader) {
    aud_reader_init(reader, dgcp_message_body(message), dgcp_message_body_length(message));
    return aud_reader_skip(reader, offset);
}

}  // namespace

aud_error_t dgcp_body_alloc_array(dgcp_message* message, uint16_t count, dgcp_array* array) {
    if (!message) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    size_t at = 0;
    const aud_error_t result = reserve(message, 2, 2 + 2 * static_cast<size_t>(count), &at);
    if (result != AUD_SUCCESS) {
        return result;
    }
    uint8_t* to = bodyAt(message, at);
    std::memset(to, 0, 2 + 2 * static_cast<size_t>(count));
    put16(to, count);
    if (array) {
        *array = dgcp_array{static_cast<uint16_t>(at), count};
    }
    return AUD_SUCCESS;
}

aud_error_t dgcp_array_set(dgcp_message* message, const dgcp_array* array, uint16_t index,
                           uint16_t value) {
    if (!message || !array || index >= array->count ||
        array->offset + 2 + 2 * static_cast<size_t>(array->count) >
            dgcp_message_body_length(message)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    put16(bodyAt(message, array->offset + 2 + 2 * static_cast<size_t>(index)), value);
    return AUD_SUCCESS;
}

aud_error_t dgcp_body_add_bytes(dgcp_message* message, const void* data, size_t length,
                                uint16_t* offset) {
    if (!message) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    size_t at = 0;
    const aud_error_t result = reserve(message, 2, length + (length & 1), &at);
    if (result != AUD_SUCCESS) {
        return result;
    }
    if (data) {
        std::memcpy(bodyAt(message, at), data, length);
    } else {
        std::memset(bodyAt(message, at), 0, length);
    }
    giveOffset(offset, at);
    return AUD_SUCCESS;
}

aud_error_t dgcp_body_add_string(dgcp_message* message, const char* text, uint16_t* offset) {
    if (!message || !text) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const size_t length = std::strlen(text) + 1;
    size_t at = 0;
    const aud_error_t result = reserve(message, 2, length + (length & 1), &at);
    if (result != AUD_SUCCESS) {
        return result;
    }
    std::memcpy(bodyAt(message, at), text, length);
    giveOffset(offset, at);
    return AUD_SUCCESS;
}

aud_error_t dgcp_body_add_uint32(dgcp_message* message, uint32_t value, uint16_t* offset) {
    if (!message) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    size_t at = 0;
    const aud_error_t result = reserve(message, 4, 4, &at);
    if (result != AUD_SUCCESS) {
        return result;
    }
    put32(bodyAt(message, at), value);
    giveOffset(offset, at);
    return AUD_SUCCESS;
}

aud_error_t dgcp_body_add_wide_string(dgcp_message* message, const char16_t* text,
                                      uint16_t* offset) {
    if (!message || !text) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    size_t units = 0;
    while (text[units] != 0 && units < DGCP_WIRE_SIZE) {
        ++units;
    }
    size_t at = 0;
    const aud_error_t result = reserve(message, 4, 4 * (units + 1), &at);
    if (result != AUD_SUCCESS) {
        return result;
    }
    uint8_t* to = bodyAt(message, at);
    for (size_t i = 0; i <= units; ++i) {
        put32(to + 4 * i, text[i]);
    }
    giveOffset(offset, at);
    return AUD_SUCCESS;
}

aud_error_t dgcp_body_get_array(const dgcp_message* message, uint16_t offset, dgcp_array* array) {
    if (!message || !array || (offset & 1)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    aud_reader reader;
    uint16_t count = 0;
    if (!readerAt(message, offset, &reader) || !aud_reader_u16be(&reader, &count) ||
        aud_reader_remaining(&reader) < 2 * static_cast<size_t>(count)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    *array = dgcp_array{offset, count};
    return AUD_SUCCESS;
}

aud_error_t dgcp_array_get(const dgcp_message* message, const dgcp_array* array, uint16_t index,
                           uint16_t* value) {
    if (!message || !array || !value || index >= array->count) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    aud_reader reader;
    if (!readerAt(message, array->offset, &reader) ||
        !aud_reader_skip(&reader, 2 + 2 * static_cast<size_t>(index)) ||
        !aud_reader_u16be(&reader, value)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return AUD_SUCCESS;
}

aud_error_t dgcp_body_get_bytes(const dgcp_message* message, uint16_t offset, void* out,
                                size_t length) {
    aud_reader reader;
    if (!message || (!out && length > 0) || !readerAt(message, offset, &reader) ||
        !aud_reader_bytes(&reader, out, length)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return AUD_SUCCESS;
}

aud_error_t dgcp_body_get_string(const dgcp_message* message, uint16_t offset, char* out,
                                 size_t size) {
    aud_reader reader;
    const uint8_t* text = nullptr;
    if (!message || !out || size == 0 || !readerAt(message, offset, &reader) ||
        !aud_reader_view(&reader, 0, &text)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const size_t left = aud_reader_remaining(&reader);
    const void* end = std::memchr(text, 0, left);
    if (!end) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(end) - text);
    const size_t copied = length < size - 1 ? length : size - 1;
    std::memcpy(out, text, copied);
    out[copied] = '\0';
    return AUD_SUCCESS;
}

aud_error_t dgcp_body_get_uint32(const dgcp_message* message, uint16_t offset, uint32_t* value) {
    aud_reader reader;
    if (!message || !value || (offset & 3) || !readerAt(message, offset, &reader) ||
        !aud_reader_u32be(&reader, value)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return AUD_SUCCESS;
}

aud_error_t dgcp_body_get_wide_string(const dgcp_message* message, uint16_t offset, char16_t* out,
                                      size_t count) {
    aud_reader reader;
    if (!message || !out || count == 0 || !readerAt(message, offset, &reader)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    size_t copied = 0;
    for (;;) {
        uint32_t unit = 0;
        if (!aud_reader_u32be(&reader, &unit)) {
            return AUD_ERR_INVALIDPARAMETER;
        }
        if (unit > 0xFFFF) {
            return AUD_ERR_INVALIDDATA;
        }
        if (unit == 0) {
            break;
        }
        if (copied < count - 1) {
            out[copied++] = static_cast<char16_t>(unit);
        }
    }
    out[copied] = 0;
    return AUD_SUCCESS;
}
