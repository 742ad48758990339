#include "routing/dr_internal.h"

namespace {

constexpr uint16_t kMinBlock = 8;
constexpr size_t kFixedSize = 14;  // the block's size without its list
constexpr uint16_t kMaxPcmBits = 64;

void addEncoding(dr_format* format, uint16_t encoding) {
    if (format->num_encodings >= 8) {
        return;
    }
    unsigned at = format->num_encodings;
    while (at > 0 && format->encodings[at - 1] > encoding) {
        format->encodings[at] = format->encodings[at - 1];
        --at;
    }
    format->encodings[at] = encoding;
    ++format->num_encodings;
}

}  // namespace

// Block: u32 sample rate, u8 list length n, u8 entries to read, n u16 values, one unused u16,
// then u16 first encoding, u16 PCM sample size, u16 sample-size mask.
bool dr_format_read(const dr_message* message, uint16_t offset, uint16_t lower, dr_format* format) {
    aud_reader block;
    if (!dgcp_offset_resolve_sized(message, offset, lower, 0, 4, kMinBlock, &block)) {
        return false;
    }
    dr_format read{};
    uint8_t length = 0, to_read = 0;
    if (!aud_reader_u32be(&block, &read.sample_rate) || !aud_reader_u8(&block, &length) ||
        !aud_reader_u8(&block, &to_read) ||
        aud_reader_remaining(&block) < kFixedSize - 6 + size_t{length} * 2) {
        return false;
    }
    aud_reader list = block;
    aud_reader_skip(&block, size_t{length} * 2 + 2);
    aud_reader_u16be(&block, &read.encoding);
    aud_reader_u16be(&block, &read.pcm_bits);
    aud_reader_u16be(&block, &read.size_mask);
    const unsigned entries = to_read < length ? to_read : length;
    bool first_pcm = true;
    for (unsigned i = 0; i < entries; ++i) {
        uint16_t value = 0;
        aud_reader_u16be(&list, &value);
        if (value >= 1 && value <= kMaxPcmBits) {
            if (first_pcm) {
                read.pcm_bits = value;
                first_pcm = false;
            }
            read.size_mask = static_cast<uint16_t>(read.size_mask | 1u << ((value + 7) / 8 - 1));
        } else if (value > kMaxPcmBits) {
            addEncoding(&read, value);
        }
    }
    *format = read;
    return true;
}
