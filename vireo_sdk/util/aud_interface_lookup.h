#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"
#include "platform/aud_interface.h"

// Look-ups in the PC's interface list (a fresh snapshot each call).

// 11 when no interface has index.
aud_error_t aud_interface_find_by_index(aud_interface* entry, uint32_t index);
// The first loopback interface; 11 when none.
aud_error_t aud_interface_find_loopback(aud_interface* entry);

enum {
    AUD_INTERFACE_BY_NAME = 1,   // the request names the interface by name
    AUD_INTERFACE_BY_INDEX = 2,  // the request names the interface by index
    AUD_INTERFACE_RESOLVED = AUD_INTERFACE_BY_NAME | AUD_INTERFACE_BY_INDEX
};

struct aud_interface_request {
    uint32_t flags;  // what the request gives; after resolving 3 on a match, else 0
    uint32_t index;
    char16_t name[AUD_INTERFACE_NAME_SIZE];
};

// Fills in the other field of each request that matches an interface (by index, or by name
// case-insensitively against the friendly and adapter names). 11 when the system has none.
aud_error_t aud_interface_resolve(aud_interface_request* requests, size_t count);
