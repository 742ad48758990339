#pragma once

#include <cstdint>

struct db_browse;
struct db_resolve;

enum {
    DB_BROWSE_NUM_TYPES = 7,
    DB_BROWSE_TYPE_INDEX_AES67 = 6,
    DB_BROWSE_TYPE_INVALID = 7,  // an index outside the table
    DB_BROWSE_ALL_TYPES = 0x7f,
    DB_BROWSE_UPDATER_TYPES = 0x1f  // the rows the update utility's browse knows
};

enum db_browse_transport {
    DB_BROWSE_TRANSPORT_NONE,
    DB_BROWSE_TRANSPORT_UDP,
    DB_BROWSE_TRANSPORT_TCP
};

// A resolved instance: host name, port (host order) and TXT record.
typedef void (*db_browse_resolved_fn)(db_resolve* resolve, const char* host, uint16_t port,
                                      uint16_t txt_length, const unsigned char* txt);
typedef void (*db_browse_lost_fn)(db_browse* browse, unsigned network, const char* name);

struct db_browse_type_info {
    uint32_t bit;
    const char* description;
    const char* service;    // null for the SAP row
    const char* full_type;  // null for the SAP row
    db_browse_transport transport;
    unsigned name_limit;  // names must be shorter
    db_browse_resolved_fn resolved;
    db_browse_lost_fn lost;
};

extern const db_browse_type_info db_browse_types[DB_BROWSE_NUM_TYPES];

// The index of the row whose full type is exactly type, else DB_BROWSE_TYPE_INVALID.
unsigned db_browse_type_index(const char* type);
