#include "routing/dr_arcp.h"

#include <cstring>
#include <initializer_list>

#include "platform/aud_module_log.h"

namespace {

constexpr unsigned kModuleLogLevel = 3;
constexpr uint16_t kRangeSize = 4;

size_t capacityOf(const dr_packet* packet) {
    return packet->capacity ? packet->capacity : size_t{DR_ARCP_MAX_MESSAGE};
}

void setLength(dr_packet* packet, size_t length) {
    dr_arcp_put_u16(packet->bytes + DR_ARCP_OFFSET_LENGTH, static_cast<uint16_t>(length));
}

// Starts a body: length 12 + size, both count bytes zero.
bool beginBody(dr_packet* packet, uint8_t places, size_t size) {
    const size_t length = DR_ARCP_BODY_START + size;
    if (length > capacityOf(packet)) {
        return false;
    }
    std::memset(packet->bytes + DR_ARCP_HEADER_SIZE, 0, length - DR_ARCP_HEADER_SIZE);
    packet->bytes[DR_ARCP_OFFSET_PLACES] = places;
    setLength(packet, length);
    return true;
}

// Grows the message by size zero bytes at its end; the old length is where they start.
uint8_t* grow(dr_packet* packet, size_t size) {
    const size_t length = dr_arcp_packet_length(packet);
    if (length + size > capacityOf(packet)) {
        return nullptr;
    }
    std::memset(packet->bytes + length, 0, size);
    setLength(packet, length + size);
    return packet->bytes + length;
}

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// The offset of a string equal to text (with its NUL) that a present record references in
// its second or third u16 field, or 0.
uint16_t sharedString(const dr_packet* packet, const char* text, uint16_t record_size) {
    if (record_size < 6) {
        return 0;
    }
    const size_t length = dr_arcp_packet_length(packet);
    const size_t wanted = std::strlen(text) + 1;
    const unsigned count = packet->bytes[DR_ARCP_OFFSET_COUNT];
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t* record = packet->bytes + DR_ARCP_BODY_START + size_t{i} * record_size;
        for (size_t field : {2, 4}) {
            const uint16_t offset = readU16(record + field);
            if (offset != 0 && offset + wanted <= length &&
                std::memcmp(packet->bytes + offset, text, wanted) == 0) {
                return offset;
            }
        }
    }
    return 0;
}

}  // namespace

void dr_arcp_put_u16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

void dr_arcp_write_header(dr_packet* packet, uint16_t version, uint16_t opcode) {
    std::memset(packet->bytes, 0, DR_ARCP_HEADER_SIZE);
    dr_arcp_put_u16(packet->bytes + DR_ARCP_OFFSET_VERSION, version);
    setLength(packet, DR_ARCP_HEADER_SIZE);
    dr_arcp_put_u16(packet->bytes + DR_ARCP_OFFSET_OPCODE, opcode);
}

uint16_t dr_arcp_packet_length(const dr_packet* packet) {
    return readU16(packet->bytes + DR_ARCP_OFFSET_LENGTH);
}

uint16_t dr_arcp_packet_opcode(const dr_packet* packet) {
    return readU16(packet->bytes + DR_ARCP_OFFSET_OPCODE);
}

void dr_arcp_set_seqnum(dr_packet* packet, uint16_t seqnum) {
    dr_arcp_put_u16(packet->bytes + DR_ARCP_OFFSET_SEQNUM, seqnum);
}

uint16_t dr_arcp_get_u16(const dr_packet* packet, size_t offset) {
    return offset + 2 <= DR_ARCP_MAX_MESSAGE ? readU16(packet->bytes + offset) : 0;
}

bool dr_arcp_begin_records(dr_packet* packet, uint8_t places, uint16_t size) {
    return beginBody(packet, places, size_t{places} * size);
}

uint8_t* dr_arcp_add_record(dr_packet* packet, uint16_t size) {
    const uint8_t present = packet->bytes[DR_ARCP_OFFSET_COUNT];
    if (present >= packet->bytes[DR_ARCP_OFFSET_PLACES]) {
        return nullptr;
    }
    uint8_t* record = packet->bytes + DR_ARCP_BODY_START + size_t{present} * size;
    std::memset(record, 0, size);
    packet->bytes[DR_ARCP_OFFSET_COUNT] = static_cast<uint8_t>(present + 1);
    return record;
}

void dr_arcp_begin_ranges(dr_packet* packet) {
    beginBody(packet, 0, 0);
}

bool dr_arcp_add_range(dr_packet* packet, uint16_t first, uint16_t last) {
    if (first == 0 && last == 0) {
        return true;
    }
    const uint8_t count = packet->bytes[DR_ARCP_OFFSET_COUNT];
    if (count == UINT8_MAX) {
        return false;
    }
    uint8_t* range = grow(packet, kRangeSize);
    if (!range) {
        return false;
    }
    dr_arcp_put_u16(range, first);
    dr_arcp_put_u16(range + 2, last);
    packet->bytes[DR_ARCP_OFFSET_COUNT] = static_cast<uint8_t>(count + 1);
    return true;
}

bool dr_arcp_add_id(dr_packet* packet, uint16_t id) {
    const uint8_t count = packet->bytes[DR_ARCP_OFFSET_COUNT];
    if (count > 0 && id > 0) {
        uint8_t* last = packet->bytes + DR_ARCP_BODY_START + size_t{count - 1u} * kRangeSize;
        const uint16_t end = readU16(last + 2);
        if (end == id - 1) {
            if (readU16(last) == 0) {
                dr_arcp_put_u16(last, end);
            }
            dr_arcp_put_u16(last + 2, id);
            return true;
        }
    }
    return dr_arcp_add_range(packet, 0, id);
}

void dr_arcp_begin_list(dr_packet* packet) {
    beginBody(packet, 0, 0);
}

bool dr_arcp_add_u16(dr_packet* packet, uint16_t value) {
    const uint8_t count = packet->bytes[DR_ARCP_OFFSET_COUNT];
    if (count == UINT8_MAX) {
        return false;
    }
    uint8_t* place = grow(packet, 2);
    if (!place) {
        return false;
    }
    dr_arcp_put_u16(place, value);
    packet->bytes[DR_ARCP_OFFSET_COUNT] = static_cast<uint8_t>(count + 1);
    return true;
}

bool dr_arcp_append(dr_packet* packet, const void* data, size_t size, uint16_t alignment,
                    uint16_t* offset) {
    const size_t length = dr_arcp_packet_length(packet);
    const size_t align = alignment ? alignment : 1;
    const size_t start = (length + align - 1) & ~(align - 1);
    if (start + size > capacityOf(packet)) {
        return false;
    }
    std::memset(packet->bytes + length, 0, start - length);
    if (size > 0) {
        std::memcpy(packet->bytes + start, data, size);
    }
    setLength(packet, start + size);
    *offset = static_cast<uint16_t>(start);
    return true;
}

bool dr_arcp_append_string(dr_packet* packet, const char* text, uint16_t alignment,
                           uint16_t record_size, uint16_t* offset) {
    const uint16_t shared = sharedString(packet, text, record_size);
    if (shared != 0) {
        *offset = shared;
        return true;
    }
    return dr_arcp_append(packet, text, std::strlen(text) + 1, alignment, offset);
}

bool dr_arcp_parse(const void* data, size_t size, dr_message* message) {
    aud_reader reader;
    aud_reader_init(&reader, data, size);
    dr_message parsed{};
    parsed.data = static_cast<const uint8_t*>(data);
    if (!aud_reader_u16be(&reader, &parsed.version) || !aud_reader_u16be(&reader, &parsed.length) ||
        !aud_reader_u16be(&reader, &parsed.seqnum) || !aud_reader_u16be(&reader, &parsed.opcode) ||
        !aud_reader_u16be(&reader, &parsed.status) || parsed.length < DR_ARCP_HEADER_SIZE ||
        parsed.length > size) {
        return false;
    }
    *message = parsed;
    return true;
}

unsigned dr_arcp_record_count(const dr_message* message) {
    return message->length >= DR_ARCP_BODY_START ? message->data[DR_ARCP_OFFSET_COUNT] : 0;
}

size_t dr_arcp_records_end(const dr_message* message, uint16_t size) {
    return DR_ARCP_BODY_START + size_t{dr_arcp_record_count(message)} * size;
}

bool dr_arcp_records_fit(const dr_message* message, uint16_t size) {
    return dr_arcp_record_count(message) == 0 ||
           dr_arcp_records_end(message, size) <= message->length;
}

bool dr_arcp_record(const dr_message* message, unsigned index, uint16_t size, aud_reader* record) {
    if (index >= dr_arcp_record_count(message)) {
        return false;
    }
    const size_t start = DR_ARCP_BODY_START + size_t{index} * size;
    if (start + size > message->length) {
        return false;
    }
    aud_reader_init(record, message->data + start, size);
    return true;
}

bool dr_arcp_u16_at(const dr_message* message, size_t offset, uint16_t* value) {
    aud_reader reader;
    aud_reader_init(&reader, message->data, message->length);
    return aud_reader_skip(&reader, offset) && aud_reader_u16be(&reader, value);
}

bool dr_arcp_u32_at(const dr_message* message, size_t offset, uint32_t* value) {
    aud_reader reader;
    aud_reader_init(&reader, message->data, message->length);
    return aud_reader_skip(&reader, offset) && aud_reader_u32be(&reader, value);
}

bool dgcp_offset_resolve_sized(const dr_message* message, uint16_t offset, uint16_t lower,
                               uint16_t upper, uint16_t alignment, uint16_t min_size,
                               aud_reader* block) {
    if (lower < DR_ARCP_HEADER_SIZE) {
        lower = DR_ARCP_HEADER_SIZE;
    }
    const uint16_t end = (upper != 0 && upper < message->length) ? upper : message->length;
    if (upper != 0 && upper < lower) {
        aud_module_log(kModuleLogLevel, "%s: upper bound %u < lower bound %u", __func__,
                       unsigned{upper}, unsigned{lower});
        return false;
    }
    if (offset == 0 || offset < lower || offset >= end) {
        aud_module_log(kModuleLogLevel, "%s: offset %u not in range %u .. %u", __func__,
                       unsigned{offset}, unsigned{lower}, unsigned{end});
        return false;
    }
    const unsigned available = end - offset;
    if (available < min_size) {
        aud_module_log(kModuleLogLevel, "%s: max size %u < min size %u", __func__, available,
                       unsigned{min_size});
        return false;
    }
    if (alignment > 1 && (offset & (alignment - 1)) != 0) {
        aud_module_log(kModuleLogLevel, "%s: offset %u mismatched alignment %u (%x)", __func__,
                       unsigned{offset}, unsigned{alignment}, unsigned{offset});
        return false;
    }
    aud_reader_init(block, message->data + offset, available);
    return true;
}

bool dr_arcp_string(const dr_message* message, uint16_t offset, uint16_t lower, const char** text,
                    size_t* length) {
    aud_reader block;
    if (!dgcp_offset_resolve_sized(message, offset, lower, 0, 1, 1, &block)) {
        return false;
    }
    const uint8_t* start = nullptr;
    const size_t available = aud_reader_remaining(&block);
    if (!aud_reader_view(&block, available, &start)) {
        return false;
    }
    const void* nul = std::memchr(start, 0, available);
    if (!nul) {
        return false;
    }
    *text = reinterpret_cast<const char*>(start);
    *length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - start);
    return true;
}

aud_error_t dr_arcp_status_to_error(uint16_t status) {
    const unsigned code = status & 0x0FFFu;
    switch (code >> 4) {
        case 0x00:
            return AUD_SUCCESS;
        case 0x01:
            return AUD_ERR_VERSION;
        case 0x02:
            return AUD_ERR_MSGSIZE;
        case 0x03:
            return AUD_ERR_NOTSUPPORTED;
        case 0x0F:
            return AUD_ERR_INVALIDSTATE;
        case 0x10:
            return AUD_ERR_INVALIDDATA;
        case 0x11:
            return AUD_ERR_MSGSIZE;
        default:
            return AUD_ERR_FAULT;
    }
}

bool dr_arcp_name_valid(const char* name) {
    if (!name) {
        return false;
    }
    const size_t length = std::strlen(name);
    return length >= 1 && length <= DR_ARCP_NAME_MAX && std::strpbrk(name, ".=@") == nullptr;
}
