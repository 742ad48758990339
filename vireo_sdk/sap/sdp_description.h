#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"

enum { SDP_HAS_ORIGIN = 1, SDP_HAS_CONNECTION = 2, SDP_HAS_TIME = 4, SDP_HAS_MEDIA = 8 };
enum { SDP_ATTR_RTPMAP = 1, SDP_ATTR_PTIME = 2, SDP_ATTR_TS_REFCLK = 4, SDP_ATTR_MEDIACLK = 8 };
enum { SDP_RECVONLY = 1, SDP_SENDRECV = 2, SDP_SENDONLY = 3 };
enum {
    SDP_USER_SIZE = 16,
    SDP_SESSION_NAME_SIZE = 64,
    SDP_TEXT_SIZE = 128,
    SDP_GMID_SIZE = 6,
    SDP_DOMAIN_SIZE = 16
};

struct sdp_origin {
    char user[SDP_USER_SIZE];
    uint64_t session_id;
    uint64_t session_version;
    int family;        // AF_INET
    uint32_t address;  // network order
};

struct sdp_connection {
    uint32_t address;  // network order
    uint8_t ttl;
    uint8_t count;
};

struct sdp_media {
    uint16_t port;
    uint16_t num_ports;
    uint8_t payload_type;
};

// What an AES67 session description tells.
struct sdp_description {
    uint32_t presence;    // SDP_HAS_*
    uint32_t attributes;  // SDP_ATTR_*
    bool vireo;           // "Vireo" among the keywords
    sdp_origin origin;
    char session_name[SDP_SESSION_NAME_SIZE];
    char session_info[SDP_TEXT_SIZE];
    char media_title[SDP_TEXT_SIZE];
    sdp_connection connection;
    sdp_media media;
    uint16_t bits_per_sample;
    uint32_t sample_rate;
    uint16_t channels;
    uint32_t packet_time_us;
    int direction;  // SDP_RECVONLY .. SDP_SENDONLY, 0 when not given
    uint8_t grandmaster[SDP_GMID_SIZE];
    char ptp_domain[SDP_DOMAIN_SIZE];
    uint32_t media_clock_offset;
};

// Parses an SDP text of length bytes into *out (zeroed first): 4 when malformed, 9 for a
// version other than 0, or a handler's failure.
aud_error_t sdp_parse(const char* text, size_t length, sdp_description* out);
