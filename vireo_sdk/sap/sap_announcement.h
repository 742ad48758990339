#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"
#include "sap/sdp_description.h"

enum { SAP_ANNOUNCEMENT = 0, SAP_DELETION = 1 };

// One parsed SAP packet.
struct sap_announcement {
    int message_type;  // SAP_ANNOUNCEMENT or SAP_DELETION
    uint16_t hash;
    uint32_t source;  // network order
    sdp_description sdp;
};

// Checks the SAP header and parses the SDP body: 4 when the header fails its checks (with a
// line on standard output), 9 when the description does not parse.
aud_error_t get_sdp_parsed_structure(const uint8_t* data, size_t length, sap_announcement* out);
