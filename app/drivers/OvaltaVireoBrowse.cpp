#include "OvaltaVireoBrowse.h"

#include <cstring>

#include "platform/aud_time.h"
#include "util/aud_id.h"

namespace {

constexpr uint32_t kAllTypes = 127;
constexpr unsigned kMaxSockets = 18;
constexpr unsigned kReconfirmEvery = 10;  // cycles between two reconfirmations, less one

// Shared by every browse driver of the process.
aud_time g_next_timeout{0, 0};
unsigned g_cycles = 0;

// The 8-byte manufacturer id as text: its bytes up to the first zero byte.
QString idText(const uint8_t* id) {
    const void* zero = std::memchr(id, 0, AUD_ID_SIZE);
    const int length = zero ? int(static_cast<const uint8_t*>(zero) - id) : int(AUD_ID_SIZE);
    return QString::fromLatin1(reinterpret_cast<const char*>(id), length);
}

}  // namespace

OvaltaVireoBrowse::OvaltaVireoBrowse(int interfaceIndex, QObject* parent,
                                     const BrowseDriverSettings& settings)
    : SdkDriverThread(settings.timing, parent),
      m_interface_index(interfaceIndex),
      m_settings(settings) {}

OvaltaVireoBrowse::~OvaltaVireoBrowse() {
    stop();
    m_model.releaseBrowse();
}

void OvaltaVireoBrowse::startUp() {
    db_browse_config config;
    db_browse_config_init(&config);
    config.num_networks = 1;
    config.interface_indexes[0] = uint32_t(m_interface_index);
    config.include_localhost = 1;
    config.timeout_seconds = m_settings.resolve_timeout_ms / 1000;
    config.timeout_microseconds = int32_t(m_settings.resolve_timeout_ms % 1000 * 1000);

    db_browse* browse = nullptr;
    const unsigned options = m_settings.updater ? unsigned(DB_BROWSE_OPTION_UPDATER) : 0u;
    if (db_browse_new_with_options(environment(), kAllTypes, options, &browse) != AUD_SUCCESS) {
        m_model.setBrowse(browse);
        m_model.releaseBrowse();
        return;
    }
    m_model.setBrowse(browse);
    db_browse_set_max_sockets(browse, kMaxSockets);
    db_browse_set_node_changed_callback(browse, &OvaltaVireoBrowse::onNodeChanged);
    db_browse_set_network_changed_callback(browse, &OvaltaVireoBrowse::onNetworkChanged);
    db_browse_set_sockets_changed_callback(browse, &OvaltaVireoBrowse::onSocketsChanged);
    db_browse_set_context(browse, this);
    if (db_browse_start_config(browse, &config) != AUD_SUCCESS) {
        m_model.releaseBrowse();
        return;
    }
    setStarted();
}

void OvaltaVireoBrowse::firstCycle() {
    process();
}

bool OvaltaVireoBrowse::timeoutPassed() {
    if (g_next_timeout.seconds == 0 && g_next_timeout.microseconds == 0) {
        return false;
    }
    aud_time now{};
    aud_time_get_monotonic(&now);
    return aud_time_compare(&g_next_timeout, &now) < 0;
}

aud_error_t OvaltaVireoBrowse::process() {
    db_browse* browse = m_model.browse();
    if (!browse) {
        return AUD_SUCCESS;
    }
    // The set is rebuilt every cycle, so a change of the browse's sockets is taken up here.
    aud_socket_set_clear(&m_sockets);
    db_browse_get_sockets(browse, &m_sockets);
    aud_socket_set ready_set = m_sockets;
    unsigned ready = 0;
    if (selectReadable(ready_set, &ready) != AUD_SUCCESS) {
        aud_socket_set_clear(&ready_set);
        ready = 0;
    }
    if (ready > 0 || timeoutPassed()) {
        db_browse_process(browse, &ready_set, &g_next_timeout);
        m_network_changed = false;
        m_node_changed = false;
        m_sockets_changed = false;
    }
    if (g_cycles == kReconfirmEvery) {
        reconfirm_browsing_devices();
        g_cycles = 0;
    } else {
        ++g_cycles;
    }
    rearm(timing().cycle_ms, &OvaltaVireoBrowse::process);
    return AUD_SUCCESS;
}

int OvaltaVireoBrowse::reconfirm_browsing_devices() {
    const db_browse_network* tree = db_browse_get_network(m_model.browse());
    if (!tree) {
        return -1;
    }
    const size_t count = db_browse_network_num_devices(tree);
    for (size_t i = 0; i < count; ++i) {
        db_browse_device* device = db_browse_network_device_at_index(tree, i);
        if (device) {
            db_browse_device_reconfirm(device, 0, 0);
        }
    }
    return 0;
}

void OvaltaVireoBrowse::onNodeChanged(db_browse* browse, const db_browse_node_change* change,
                                      int code) {
    auto* self = static_cast<OvaltaVireoBrowse*>(db_browse_get_context(browse));
    if (self && change) {
        self->nodeChanged(*change, code);
    }
}

void OvaltaVireoBrowse::onNetworkChanged(db_browse* browse) {
    auto* self = static_cast<OvaltaVireoBrowse*>(db_browse_get_context(browse));
    if (self) {
        self->m_network_changed = true;
    }
}

void OvaltaVireoBrowse::onSocketsChanged(db_browse* browse) {
    auto* self = static_cast<OvaltaVireoBrowse*>(db_browse_get_context(browse));
    if (self) {
        self->m_sockets_changed = true;
    }
}

void OvaltaVireoBrowse::nodeChanged(const db_browse_node_change& change, int code) {
    if (change.kind != DB_BROWSE_NODE_DEVICE) {
        m_node_changed = true;
        return;
    }
    const auto* device = static_cast<const db_browse_device*>(change.node);
    m_model.setDeviceName(QString::fromLatin1(db_browse_device_get_name(device)));
    const uint32_t types = db_browse_device_get_types(device);
    if (code == DB_BROWSE_NODE_ADDED || code == DB_BROWSE_NODE_CHANGED) {
        const uint8_t* manufacturer = db_browse_device_get_manufacturer_id(device);
        if (types & DB_BROWSE_TYPE_MEDIA_DEVICE) {
            emit deviceAdded(&m_model);
            if (manufacturer) {
                m_model.setVendorId(idText(manufacturer));
                emit deviceVendorId(&m_model);
            }
        }
        if ((types & DB_BROWSE_TYPE_CONMON_DEVICE) && manufacturer) {
            m_model.setVendorId(idText(manufacturer));
            emit deviceVendorId(&m_model);
        }
        if (code == DB_BROWSE_NODE_CHANGED && types == 0) {
            emit deviceRemoved(&m_model);
        }
    } else if (code == DB_BROWSE_NODE_REMOVED) {
        emit deviceRemoved(&m_model);
    }
    m_node_changed = true;
}
