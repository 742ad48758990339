#include <cstring>

#include "sap/sdp_handlers.h"
#include "util/aud_id.h"
#include "util/aud_text.h"

namespace {

constexpr size_t kGrandmasterBytes = 8;

// The text after prefix when value starts with it.
bool after(const std::string& value, const char* prefix, std::string* rest) {
    const size_t length = std::strlen(prefix);
    if (value.compare(0, length, prefix) != 0) {
        return false;
    }
    *rest = value.substr(length);
    return true;
}

aud_error_t keywords(const std::string& list, sdp_description* sdp) {
    for (const std::string& word : sdp_fields(list)) {
        if (word == "Vireo") {
            sdp->vireo = true;
        }
    }
    return AUD_SUCCESS;
}

// "<payload type> L<bits>/<rate>/<channels>"; other forms are passed over.
aud_error_t rtpmap(const std::string& text, sdp_description* sdp) {
    const std::vector<std::string> fields = sdp_fields(text);
    if (fields.size() != 2 || fields[1].size() < 2 || fields[1][0] != 'L') {
        return AUD_SUCCESS;
    }
    const std::vector<std::string> parts = sdp_split(fields[1].substr(1), '/');
    uint64_t payload_type = 0;
    uint64_t bits = 0;
    uint64_t rate = 0;
    uint64_t channels = 0;
    if (parts.size() != 3 || !sdp_number(fields[0], 255, &payload_type) ||
        !sdp_number(parts[0], 0xffff, &bits) || !sdp_number(parts[1], UINT32_MAX, &rate) ||
        !sdp_number(parts[2], 0xffff, &channels)) {
        return AUD_SUCCESS;
    }
    if (sdp->attributes & SDP_ATTR_RTPMAP) {
        return AUD_ERR_ALREADY;
    }
    if (payload_type != sdp->media.payload_type || (bits != 16 && bits != 24 && bits != 32)) {
        return AUD_ERR_NOTSUPPORTED;
    }
    sdp->bits_per_sample = uint16_t(bits);
    sdp->sample_rate = uint32_t(rate);
    sdp->channels = uint16_t(channels);
    sdp->attributes |= SDP_ATTR_RTPMAP;
    return AUD_SUCCESS;
}

// Milliseconds with an optional fraction, in microseconds: "0.5" is 500.
aud_error_t ptime(const std::string& text, sdp_description* sdp) {
    if (sdp->attributes & SDP_ATTR_PTIME) {
        return AUD_ERR_ALREADY;
    }
    const std::vector<std::string> parts = sdp_split(text, '.');
    uint64_t whole = 0;
    if (parts.size() > 2 || !sdp_number(parts[0], UINT32_MAX / 1000, &whole)) {
        return AUD_ERR_NOTSUPPORTED;
    }
    uint64_t fraction = 0;
    if (parts.size() == 2) {
        uint64_t ignored = 0;
        if (!sdp_number(parts[1], UINT64_MAX, &ignored)) {
            return AUD_ERR_NOTSUPPORTED;
        }
        uint64_t scale = 100;
        for (size_t i = 0; i < parts[1].size() && scale > 0; ++i, scale /= 10) {
            fraction += uint64_t(parts[1][i] - '0') * scale;
        }
    }
    const uint64_t microseconds = whole * 1000 + fraction;
    if (microseconds > UINT32_MAX) {
        return AUD_ERR_NOTSUPPORTED;
    }
    sdp->packet_time_us = uint32_t(microseconds);
    sdp->attributes |= SDP_ATTR_PTIME;
    return AUD_SUCCESS;
}

// "IEEE1588-2008:<8 hex bytes joined by '-'>[:<domain>]"
aud_error_t ptpClock(const std::string& text, sdp_description* sdp) {
    std::string rest;
    if (!after(text, "IEEE1588-2008:", &rest)) {
        return AUD_ERR_NOTSUPPORTED;
    }
    const size_t colon = rest.find(':');
    const std::string id = rest.substr(0, colon);
    const std::vector<std::string> parts = sdp_split(id, '-');
    if (parts.size() != kGrandmasterBytes) {
        return AUD_ERR_NOTSUPPORTED;
    }
    uint8_t bytes[kGrandmasterBytes] = {};
    for (size_t i = 0; i < kGrandmasterBytes; ++i) {
        if (parts[i].size() != 2 || aud_hex_digit(parts[i][0]) > 15 ||
            aud_hex_digit(parts[i][1]) > 15) {
            return AUD_ERR_NOTSUPPORTED;
        }
        bytes[i] = uint8_t(aud_hex_digit(parts[i][0]) << 4 | aud_hex_digit(parts[i][1]));
    }
    if (bytes[3] != 0xff || bytes[4] != 0xfe) {
        return AUD_ERR_NOTSUPPORTED;
    }
    const uint8_t kept[SDP_GMID_SIZE] = {bytes[0], bytes[1], bytes[2],
                                         bytes[5], bytes[6], bytes[7]};
    std::memcpy(sdp->grandmaster, kept, sizeof kept);
    sdp->ptp_domain[0] = '\0';
    sdp->attributes |= SDP_ATTR_TS_REFCLK;
    if (colon == std::string::npos) {
        return AUD_SUCCESS;
    }
    const std::string domain = rest.substr(colon + 1);
    aud_strlcpy(sdp->ptp_domain, domain.c_str(), sizeof sdp->ptp_domain);
    return domain.size() < sizeof sdp->ptp_domain ? AUD_SUCCESS : AUD_ERR_TRUNCATED;
}

aud_error_t mediaClock(const std::string& text, sdp_description* sdp) {
    uint64_t offset = 0;
    if (!sdp_number(text, UINT32_MAX, &offset)) {
        return AUD_ERR_NOTSUPPORTED;
    }
    sdp->media_clock_offset = uint32_t(offset);
    sdp->attributes |= SDP_ATTR_MEDIACLK;
    return AUD_SUCCESS;
}

}  // namespace

aud_error_t sdp_attribute_handler(const std::string& value, sdp_description* sdp) {
    std::string rest;
    if (after(value, "keywds:", &rest)) {
        return keywords(rest, sdp);
    }
    if (after(value, "rtpmap:", &rest)) {
        return rtpmap(rest, sdp);
    }
    if (value == "sendonly" || value == "recvonly" || value == "sendrecv") {
        sdp->direction = value == "recvonly"   ? SDP_RECVONLY
                         : value == "sendrecv" ? SDP_SENDRECV
                                               : SDP_SENDONLY;
        return AUD_SUCCESS;
    }
    if (after(value, "ptime:", &rest)) {
        return ptime(rest, sdp);
    }
    if (after(value, "ts-refclk:ptp=", &rest)) {
        return ptpClock(rest, sdp);
    }
    if (after(value, "mediaclk:direct=", &rest)) {
        return mediaClock(rest, sdp);
    }
    return AUD_ERR_NOTSUPPORTED;
}
