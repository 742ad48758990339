#include "sap/sap_announcement.h"

#include <cstdio>
#include <cstring>

#include "util/aud_reader.h"

namespace {

enum : uint8_t {
    kVersionMask = 0xe0,
    kVersion1 = 0x20,
    kDeletion = 0x04,
    kEncrypted = 0x02,
    kCompressed = 0x01
};

constexpr char kPayloadType[] = "application/sdp";  // with its terminating zero: 16 bytes
constexpr size_t kHeaderSize = 8;

struct Header {
    uint8_t flags;
    uint16_t hash;
    uint32_t source;
    size_t body;  // offset of the SDP text
};

aud_error_t checkHeader(const uint8_t* data, size_t length, Header* header) {
    if (length <= kHeaderSize) {
        return AUD_ERR_NODATA;
    }
    aud_reader reader;
    aud_reader_init(&reader, data, length);
    uint8_t auth_words = 0;
    aud_reader_u8(&reader, &header->flags);
    aud_reader_u8(&reader, &auth_words);
    aud_reader_u16be(&reader, &header->hash);
    aud_reader_bytes(&reader, &header->source, sizeof header->source);
    if ((header->flags & kVersionMask) != kVersion1 ||
        (header->flags & (kEncrypted | kCompressed))) {
        return AUD_ERR_NOTSUPPORTED;
    }
    if (header->hash == 0 || header->source == 0) {
        return AUD_ERR_INVALIDDATA;
    }
    // The authentication data is counted in 32-bit words.
    const uint8_t* type = nullptr;
    if (!aud_reader_skip(&reader, size_t(auth_words) * 4) ||
        !aud_reader_view(&reader, sizeof kPayloadType, &type) ||
        std::memcmp(type, kPayloadType, sizeof kPayloadType) != 0 ||
        aud_reader_remaining(&reader) == 0) {
        return AUD_ERR_INVALIDDATA;
    }
    header->body = reader.position;
    return AUD_SUCCESS;
}

}  // namespace

aud_error_t get_sdp_parsed_structure(const uint8_t* data, size_t length, sap_announcement* out) {
    if (!out || (!data && length > 0)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    Header header{};
    if (checkHeader(data, length, &header) != AUD_SUCCESS) {
        std::printf("%s : sanity check error\n", __func__);
        std::fflush(stdout);
        return AUD_ERR_INVALIDDATA;
    }
    out->message_type = (header.flags & kDeletion) ? SAP_DELETION : SAP_ANNOUNCEMENT;
    out->hash = header.hash;
    out->source = header.source;
    if (sdp_parse(reinterpret_cast<const char*>(data + header.body), length - header.body,
                  &out->sdp) != AUD_SUCCESS) {
        return AUD_ERR_NOTSUPPORTED;
    }
    return AUD_SUCCESS;
}
