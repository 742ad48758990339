#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"
#include "util/aud_reader.h"

// ARCP messages: a 10-byte big-endian header (version, length, sequence number, opcode,
// result), then for most opcodes a body of byte 10 (record places), byte 11 (records present),
// the fixed-size records from byte 12, and strings and blocks after the records, referenced by
// u16 offsets from the start of the message.
enum {
    DR_ARCP_MAX_MESSAGE = 1400,
    DR_ARCP_HEADER_SIZE = 10,
    DR_ARCP_BODY_START = 12,
    DR_ARCP_MAX_VERSION = 10013,  // no request claims a later version (0x271D)
    DR_ARCP_STATUS_SUCCESS = 0x001,
    DR_ARCP_STATUS_MORE = 0x112,  // a listing reply that more items follow
    DR_ARCP_NAME_MAX = 32,        // characters of a channel, label or device name
    DR_ARCP_NAME_SIZE = DR_ARCP_NAME_MAX + 1
};

// Header fields.
enum {
    DR_ARCP_OFFSET_VERSION = 0,
    DR_ARCP_OFFSET_LENGTH = 2,
    DR_ARCP_OFFSET_SEQNUM = 4,
    DR_ARCP_OFFSET_OPCODE = 6,
    DR_ARCP_OFFSET_RESULT = 8,
    DR_ARCP_OFFSET_PLACES = 10,
    DR_ARCP_OFFSET_COUNT = 11
};

// A message being built: capacity 0 stands for DR_ARCP_MAX_MESSAGE.
struct dr_packet {
    uint16_t capacity;
    uint8_t bytes[DR_ARCP_MAX_MESSAGE];
};

// Writing. Every step that would pass the capacity writes nothing and returns false.

// Header only: version, length 10, sequence 0, opcode, result 0.
void dr_arcp_write_header(dr_packet* packet, uint16_t version, uint16_t opcode);
uint16_t dr_arcp_packet_length(const dr_packet* packet);
uint16_t dr_arcp_packet_opcode(const dr_packet* packet);
void dr_arcp_set_seqnum(dr_packet* packet, uint16_t seqnum);
uint16_t dr_arcp_get_u16(const dr_packet* packet, size_t offset);

// A body of places records of size bytes each, none present yet.
bool dr_arcp_begin_records(dr_packet* packet, uint8_t places, uint16_t size);
// The next place, zero-filled and counted; null when every place is taken.
uint8_t* dr_arcp_add_record(dr_packet* packet, uint16_t size);

// A range list (bytes 10 and 11 zero, length 12).
void dr_arcp_begin_ranges(dr_packet* packet);
// Appends the range (first, last); the range (0, 0) is never added (true, nothing written).
bool dr_arcp_add_range(dr_packet* packet, uint16_t first, uint16_t last);
// Adds one id: extends a last range that ends at id - 1, else appends (0, id).
bool dr_arcp_add_id(dr_packet* packet, uint16_t id);

// A list of u16 values counted in byte 11 (byte 10 zero).
void dr_arcp_begin_list(dr_packet* packet);
bool dr_arcp_add_u16(dr_packet* packet, uint16_t value);

// Appends size bytes after raising the length to a multiple of alignment (a power of two);
// *offset gets where they start.
bool dr_arcp_append(dr_packet* packet, const void* data, size_t size, uint16_t alignment,
                    uint16_t* offset);
// Appends text with its NUL, or gives the offset of an identical string already referenced by
// the second or third u16 field of a present record of record_size bytes.
bool dr_arcp_append_string(dr_packet* packet, const char* text, uint16_t alignment,
                           uint16_t record_size, uint16_t* offset);

// Writes value big-endian at p.
void dr_arcp_put_u16(uint8_t* p, uint16_t value);

// Reading a received message; nothing past its header length is ever read.
struct dr_message {
    const uint8_t* data;
    uint16_t length;  // the header's length, at most the datagram's size
    uint16_t version;
    uint16_t seqnum;
    uint16_t opcode;
    uint16_t status;
};

// false for a datagram shorter than 10 bytes or whose header length is below 10 or above size.
bool dr_arcp_parse(const void* data, size_t size, dr_message* message);
// Byte 11, or 0 when the message has no body.
unsigned dr_arcp_record_count(const dr_message* message);
// The end of the record array of records of size bytes.
size_t dr_arcp_records_end(const dr_message* message, uint16_t size);
// Whether every counted record lies inside the message.
bool dr_arcp_records_fit(const dr_message* message, uint16_t size);
// A reader over record index of size bytes; false when it is not inside the message.
bool dr_arcp_record(const dr_message* message, unsigned index, uint16_t size, aud_reader* record);
// Fixed fields at an offset; false past the message.
bool dr_arcp_u16_at(const dr_message* message, size_t offset, uint16_t* value);
bool dr_arcp_u32_at(const dr_message* message, size_t offset, uint32_t* value);

// Resolves the data at offset: non-zero, at least lower (raised to 10), below upper (0: none)
// and the message length, min_size bytes up to the end (or upper), a multiple of alignment.
// block reads from the offset to that end. Failures are logged through the module log.
bool dgcp_offset_resolve_sized(const dr_message* message, uint16_t offset, uint16_t lower,
                               uint16_t upper, uint16_t alignment, uint16_t min_size,
                               aud_reader* block);
// The string at offset (lower as above): false when the offset does not resolve or no NUL lies
// inside the message. *text points into the message.
bool dr_arcp_string(const dr_message* message, uint16_t offset, uint16_t lower, const char** text,
                    size_t* length);

// Result code of a reply status (its low 12 bits).
aud_error_t dr_arcp_status_to_error(uint16_t status);

// 1 to 32 characters, none of '.', '=' and '@'.
bool dr_arcp_name_valid(const char* name);
