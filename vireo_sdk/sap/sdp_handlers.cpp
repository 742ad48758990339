#include <sys/socket.h>

#include <cstring>

#include "platform/aud_sockaddr.h"
#include "sap/sdp_handlers.h"
#include "util/aud_text.h"

namespace {

aud_error_t storeText(const std::string& value, char* out, size_t size) {
    if (value.empty()) {
        return AUD_ERR_INVALIDDATA;
    }
    aud_strlcpy(out, value.c_str(), size);
    return value.size() < size ? AUD_SUCCESS : AUD_ERR_TRUNCATED;
}

bool address(const std::string& text, uint32_t* value) {
    return aud_inet_aton(text.c_str(), value) == AUD_SUCCESS;
}

}  // namespace

std::vector<std::string> sdp_fields(const std::string& value) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < value.size()) {
        while (at < value.size() && (value[at] == ' ' || value[at] == '\t')) {
            ++at;
        }
        const size_t start = at;
        while (at < value.size() && value[at] != ' ' && value[at] != '\t') {
            ++at;
        }
        if (at > start) {
            fields.push_back(value.substr(start, at - start));
        }
    }
    return fields;
}

std::vector<std::string> sdp_split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(
            text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) {
            return parts;
        }
        start = at + 1;
    }
}

bool sdp_number(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text.size() > 20) {
        return false;
    }
    uint64_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        const uint64_t digit = uint64_t(c - '0');
        if (number > (max - digit) / 10) {
            return false;
        }
        number = number * 10 + digit;
    }
    *value = number;
    return true;
}

aud_error_t sdp_origin_handler(const std::string& value, sdp_description* sdp) {
    const std::vector<std::string> fields = sdp_fields(value);
    if (fields.size() != 6) {
        return AUD_ERR_INVALIDDATA;
    }
    if (fields[3] != "IN" || fields[4] != "IP4") {
        return AUD_ERR_NOTSUPPORTED;
    }
    sdp_origin origin{};
    if (!sdp_number(fields[1], UINT64_MAX, &origin.session_id) ||
        !sdp_number(fields[2], UINT64_MAX, &origin.session_version) ||
        !address(fields[5], &origin.address)) {
        return AUD_ERR_INVALIDDATA;
    }
    origin.family = AF_INET;
    aud_strlcpy(origin.user, fields[0].c_str(), sizeof origin.user);
    sdp->origin = origin;
    sdp->presence |= SDP_HAS_ORIGIN;
    return fields[0].size() < sizeof origin.user ? AUD_SUCCESS : AUD_ERR_TRUNCATED;
}

aud_error_t sdp_session_name_handler(const std::string& value, sdp_description* sdp) {
    return storeText(value, sdp->session_name, sizeof sdp->session_name);
}

aud_error_t sdp_session_info_handler(const std::string& value, sdp_description* sdp) {
    return storeText(value, sdp->session_info, sizeof sdp->session_info);
}

aud_error_t sdp_media_title_handler(const std::string& value, sdp_description* sdp) {
    return storeText(value, sdp->media_title, sizeof sdp->media_title);
}

aud_error_t sdp_connection_handler(const std::string& value, sdp_description* sdp) {
    if (sdp->presence & SDP_HAS_CONNECTION) {
        return AUD_ERR_ALREADY;
    }
    const std::vector<std::string> fields = sdp_fields(value);
    if (fields.size() != 3) {
        return AUD_ERR_INVALIDDATA;
    }
    if (fields[0] != "IN" || fields[1] != "IP4") {
        return AUD_ERR_NOTSUPPORTED;
    }
    const std::vector<std::string> parts = sdp_split(fields[2], '/');
    sdp_connection connection{0, 0, 1};
    uint64_t ttl = 0;
    uint64_t count = 1;
    if (parts.size() > 3 || !address(parts[0], &connection.address) ||
        (parts.size() > 1 && !sdp_number(parts[1], 255, &ttl)) ||
        (parts.size() > 2 && !sdp_number(parts[2], 255, &count))) {
        return AUD_ERR_INVALIDDATA;
    }
    connection.ttl = uint8_t(ttl);
    connection.count = uint8_t(count);
    sdp->connection = connection;
    sdp->presence |= SDP_HAS_CONNECTION;
    return AUD_SUCCESS;
}

aud_error_t sdp_time_handler(const std::string& value, sdp_description* sdp) {
    if (sdp->presence & SDP_HAS_TIME) {
        return AUD_ERR_ALREADY;
    }
    const std::vector<std::string> fields = sdp_fields(value);
    uint64_t start = 0;
    uint64_t stop = 0;
    if (fields.size() != 2 || !sdp_number(fields[0], UINT32_MAX, &start) ||
        !sdp_number(fields[1], UINT32_MAX, &stop)) {
        return AUD_ERR_INVALIDDATA;
    }
    sdp->presence |= SDP_HAS_TIME;
    return AUD_SUCCESS;
}

aud_error_t sdp_media_handler(const std::string& value, sdp_description* sdp) {
    const std::vector<std::string> fields = sdp_fields(value);
    if (fields.size() < 4) {
        return AUD_ERR_INVALIDDATA;
    }
    if (fields[0] != "audio" || fields[2] != "RTP/AVP") {
        return AUD_ERR_NOTSUPPORTED;
    }
    if (sdp->presence & SDP_HAS_MEDIA) {
        return AUD_ERR_ALREADY;
    }
    const std::vector<std::string> ports = sdp_split(fields[1], '/');
    uint64_t port = 0;
    uint64_t num_ports = 1;
    uint64_t payload_type = 0;
    if (ports.size() > 2 || !sdp_number(ports[0], 0xffff, &port) ||
        (ports.size() > 1 && !sdp_number(ports[1], 0xffff, &num_ports)) ||
        !sdp_number(fields[3], 255, &payload_type)) {
        return AUD_ERR_INVALIDDATA;
    }
    sdp->media.port = uint16_t(port);
    sdp->media.num_ports = uint16_t(num_ports);
    sdp->media.payload_type = uint8_t(payload_type);
    sdp->presence |= SDP_HAS_MEDIA;
    return AUD_SUCCESS;
}
