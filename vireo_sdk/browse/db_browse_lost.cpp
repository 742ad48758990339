// What each service type does when an instance goes away.
#include <cstring>

#include "browse/db_browse_handlers.h"
#include "browse/db_browse_internal.h"
#include "platform/aud_log.h"
#include "util/aud_text.h"

namespace {

void removeType(db_browse* browse, unsigned network, const char* name, uint32_t type,
                const char* message, const char* function) {
    if (message) {
        db_browse_log(browse, AUD_LOG_INFO, message, function, name, network);
    }
    db_browse_network_remove_type(browse->tree, network, name, type);
}

}  // namespace

void db_browse_media_device_lost(db_browse* browse, unsigned network, const char* name) {
    removeType(browse, network, name, DB_BROWSE_TYPE_MEDIA_DEVICE, nullptr, __func__);
}

void db_browse_media_channel_lost(db_browse* browse, unsigned network, const char* name) {
    char channel[DB_RESOLVE_NAME_SIZE];
    aud_strlcpy(channel, name, sizeof channel);
    char* at = std::strchr(channel, '@');
    if (!at) {
        return;
    }
    *at = '\0';
    db_browse_network_remove_channel(browse->tree, network, at + 1, channel);
}

void db_browse_conmon_device_lost(db_browse* browse, unsigned network, const char* name) {
    removeType(browse, network, name, DB_BROWSE_TYPE_CONMON_DEVICE,
               "%s: Removing conmon device \"%s\" from network %u\n", __func__);
}

void db_browse_safe_mode_device_lost(db_browse* browse, unsigned network, const char* name) {
    removeType(browse, network, name, DB_BROWSE_TYPE_SAFE_MODE,
               "%s: Removing safe mode device \"%s\" from network %u\n", __func__);
}

void db_browse_upgrade_mode_device_lost(db_browse* browse, unsigned network, const char* name) {
    removeType(browse, network, name, DB_BROWSE_TYPE_UPGRADE_MODE,
               "%s: Removing upgrade mode device \"%s\" from network %u\n", __func__);
}

void db_browse_via_device_lost(db_browse* browse, unsigned network, const char* name) {
    removeType(browse, network, name, DB_BROWSE_TYPE_VIA_DEVICE,
               "%s: Removing via device \"%s\" from network %u\n", __func__);
}
