#include "browse/db_browse_types.h"

#include <cstring>

#include "browse/db_browse_handlers.h"

const db_browse_type_info db_browse_types[DB_BROWSE_NUM_TYPES] = {
    {0x01, "media device", "_vireo-arc", "_vireo-arc._udp.", DB_BROWSE_TRANSPORT_UDP, 32,
     db_browse_media_device_resolved, db_browse_media_device_lost},
    {0x02, "media channel", "_vireo-chan", "_vireo-chan._udp.", DB_BROWSE_TRANSPORT_UDP, 64,
     db_browse_media_channel_resolved, db_browse_media_channel_lost},
    {0x04, "conmon device", "_vireo-cmc", "_vireo-cmc._udp.", DB_BROWSE_TRANSPORT_UDP, 32,
     db_browse_conmon_device_resolved, db_browse_conmon_device_lost},
    {0x08, "safe mode", "_vireo-safe", "_vireo-safe._udp.", DB_BROWSE_TRANSPORT_UDP, 32,
     db_browse_safe_mode_device_resolved, db_browse_safe_mode_device_lost},
    {0x10, "upgrade mode", "_vireo-upgr", "_vireo-upgr._udp.", DB_BROWSE_TRANSPORT_UDP, 32,
     db_browse_upgrade_mode_device_resolved, db_browse_upgrade_mode_device_lost},
    {0x20, "via device", "_vireo-via", "_vireo-via._tcp.", DB_BROWSE_TRANSPORT_TCP, 32,
     db_browse_via_device_resolved, db_browse_via_device_lost},
    {0x40, "aes67 device", nullptr, nullptr, DB_BROWSE_TRANSPORT_NONE, 0, nullptr, nullptr},
};

unsigned db_browse_type_index(const char* type) {
    for (unsigned i = 0; type && i < DB_BROWSE_NUM_TYPES; ++i) {
        if (db_browse_types[i].full_type && std::strcmp(db_browse_types[i].full_type, type) == 0) {
            return i;
        }
    }
    return DB_BROWSE_TYPE_INVALID;
}
