#include <cstring>

#include "browse/db_browse_internal.h"
#include "platform/aud_log.h"
#include "util/aud_format.h"

namespace {

constexpr const char* kLocal = "local";
constexpr uint32_t kReconfirmedTypes = DB_BROWSE_TYPE_MEDIA_DEVICE | DB_BROWSE_TYPE_CONMON_DEVICE |
                                       DB_BROWSE_TYPE_SAFE_MODE | DB_BROWSE_TYPE_UPGRADE_MODE |
                                       DB_BROWSE_TYPE_VIA_DEVICE;
constexpr unsigned kChannelRow = 1;

const char* protocolOf(unsigned type) {
    return db_browse_types[type].transport == DB_BROWSE_TRANSPORT_TCP ? "_tcp" : "_udp";
}

bool appendLabel(const char* label, uint8_t* buffer, size_t size, size_t* at) {
    const size_t length = std::strlen(label);
    if (length == 0 || length > 63 || *at + 1 + length >= size) {
        return false;
    }
    buffer[(*at)++] = uint8_t(length);
    std::memcpy(buffer + *at, label, length);
    *at += length;
    return true;
}

// The full name of a type's PTR records ("_vireo-arc._udp.local."), made once: every device is
// reconfirmed every eleventh cycle.
const char* recordName(unsigned type) {
    struct Names {
        char of[DB_BROWSE_NUM_TYPES][kDNSServiceMaxDomainName];
    };
    static const Names names = [] {
        Names made{};
        for (unsigned t = 0; t < DB_BROWSE_NUM_TYPES; ++t) {
            if (db_browse_types[t].full_type) {
                DNSServiceConstructFullName(made.of[t], nullptr, db_browse_types[t].full_type,
                                            "local.");
            }
        }
        return made;
    }();
    return names.of[type];
}

aud_error_t reconfirmChannels(db_browse* browse, const db_browse_device* device, unsigned network,
                              uint32_t interface_index) {
    aud_error_t result = AUD_SUCCESS;
    for (size_t c = 0; c < device->num_channels; ++c) {
        const db_browse_channel* channel = device->channels[c];
        char name[DB_RESOLVE_NAME_SIZE];
        if (channel->flags.network[network] & DB_BROWSE_TYPE_MEDIA_CHANNEL) {
            aud_snprintf(name, sizeof name, "%s@%s", channel->default_name, device->name);
            const aud_error_t one = db_browse_reconfirm(browse, interface_index, kChannelRow, name);
            result = result ? result : one;
        }
        for (size_t l = 0; l < channel->num_labels; ++l) {
            const db_browse_label* label = channel->labels[l];
            if (label->flags.network[network] & DB_BROWSE_TYPE_MEDIA_CHANNEL) {
                aud_snprintf(name, sizeof name, "%s@%s", label->name, device->name);
                const aud_error_t one =
                    db_browse_reconfirm(browse, interface_index, kChannelRow, name);
                result = result ? result : one;
            }
        }
    }
    return result;
}

}  // namespace

size_t db_browse_ptr_data(const char* name, unsigned type, uint8_t* buffer, size_t size) {
    size_t at = 0;
    if (type >= DB_BROWSE_NUM_TYPES || !db_browse_types[type].service || !name ||
        !appendLabel(name, buffer, size, &at) ||
        !appendLabel(db_browse_types[type].service, buffer, size, &at) ||
        !appendLabel(protocolOf(type), buffer, size, &at) ||
        !appendLabel(kLocal, buffer, size, &at)) {
        return 0;
    }
    buffer[at++] = 0;
    return at;
}

aud_error_t db_browse_reconfirm(db_browse* browse, uint32_t interface_index, unsigned type,
                                const char* name) {
    uint8_t data[256];
    const size_t length = db_browse_ptr_data(name, type, data, sizeof data);
    if (length == 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const char* full = recordName(type);
    db_browse_log(browse, AUD_LOG_DEBUG, "%s: reconfirming PTR '%s'->'%s.%s.%s.%s.'\n", __func__,
                  full, name, db_browse_types[type].service, protocolOf(type), kLocal);
    const DNSServiceErrorType error = DNSServiceReconfirmRecord(
        0, interface_index, full, kDNSServiceType_PTR, kDNSServiceClass_IN, uint16_t(length), data);
    return error == kDNSServiceErr_NoError ? AUD_SUCCESS : AUD_ERR_DNSSDFAIL;
}

aud_error_t db_browse_device_reconfirm(db_browse_device* device, uint32_t types,
                                       int with_channels) {
    db_browse* browse = device ? db_browse_network_get_browse(device->network) : nullptr;
    if (!browse) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const uint32_t wanted = types ? types : ~0u;
    aud_error_t result = AUD_SUCCESS;
    for (unsigned network = 0; network < DB_BROWSE_NUM_NETWORKS; ++network) {
        if (network >= browse->config.num_networks && network != DB_BROWSE_NETWORK_LOCALHOST) {
            continue;
        }
        const uint32_t flags = device->flags.network[network] & wanted;
        if (!flags) {
            continue;
        }
        const uint32_t interface_index = db_browse_network_interface(browse, network);
        if (interface_index == 0) {
            return AUD_ERR_INVALIDSTATE;
        }
        for (unsigned type = 0; type < DB_BROWSE_NUM_TYPES; ++type) {
            if (flags & kReconfirmedTypes & db_browse_types[type].bit) {
                const aud_error_t one =
                    db_browse_reconfirm(browse, interface_index, type, device->name);
                result = result ? result : one;
            }
        }
        if (with_channels) {
            const aud_error_t one = reconfirmChannels(browse, device, network, interface_index);
            result = result ? result : one;
        }
    }
    return result;
}
