#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "FakeWire.h"

// The fake ARCP responder's own message code: big-endian, a 10-byte header (version, length,
// sequence number, opcode, result), bytes 10 and 11 the record places and count.
namespace sim::arcp {

constexpr size_t kHeaderSize = 10;
constexpr size_t kBodyStart = 12;

uint16_t get16(const Bytes& bytes, size_t at);
uint32_t get32(const Bytes& bytes, size_t at);
void put16(Bytes& bytes, size_t at, uint16_t value);

// A reply under construction; finish() writes its length.
class Writer {
public:
    Writer(uint16_t version, uint16_t seqnum, uint16_t opcode, uint16_t status);

    // Bytes 10 and 11.
    void body(uint8_t places, uint8_t count);
    size_t size() const { return m_bytes.size(); }
    void u8(uint8_t value);
    void u16(uint16_t value);
    void u32(uint32_t value);
    void zeros(size_t count);
    void align(size_t alignment);
    void set8(size_t at, uint8_t value);
    void set16(size_t at, uint16_t value);
    // Appends text and its NUL; returns where it starts.
    size_t string(const std::string& text);
    Bytes finish();

private:
    Bytes m_bytes;
};

struct Request {
    uint16_t version = 0;
    uint16_t length = 0;
    uint16_t seqnum = 0;
    uint16_t opcode = 0;
    uint16_t result = 0;
    Bytes bytes;
};

// Needs a whole header whose length matches the datagram.
bool parseRequest(const uint8_t* data, size_t size, Request* request);
// The (first, last) ranges of a range-list body.
std::vector<std::pair<uint16_t, uint16_t>> ranges(const Request& request);
// The ids a range names on a device with `highest` items: first 0 is the one id `last`,
// last 0 runs to highest, both cut to highest.
std::vector<uint16_t> rangeIds(uint16_t first, uint16_t last, uint16_t highest);
// The u16 values of a list body.
std::vector<uint16_t> values(const Request& request);
// The NUL-terminated text at offset, empty when there is none.
std::string stringAt(const Bytes& bytes, size_t offset);

}  // namespace sim::arcp
