#include "OvaltaVireoCmm.h"

#include <QNetworkInterface>
#include <QtGlobal>
#include <algorithm>

namespace {

const char kClientName[] = "OvaltaCmm";

QString symbol(aud_error_t result) {
    const char* name = aud_error_get_name(result);
    return name ? QString::fromLatin1(name) : QString::number(result);
}

aud_time span(int ms) {
    return aud_time{ms / 1000, (ms % 1000) * 1000};
}

}  // namespace

OvaltaVireoCmm::OvaltaVireoCmm(int interfaceIndex, QObject* parent,
                               const CmmDriverSettings& settings)
    : SdkDriverThread(settings.timing, parent),
      m_interface_index(interfaceIndex),
      m_settings(settings) {}

OvaltaVireoCmm::~OvaltaVireoCmm() {
    stop();
    tearDown();
}

void OvaltaVireoCmm::onEvent(cmm_client* client, unsigned changes, aud_error_t result) {
    auto* self = static_cast<OvaltaVireoCmm*>(cmm_client_get_context(client));
    if (changes & CMM_CHANGE_REQUEST) {
        self->m_request_result = result;
    }
}

void OvaltaVireoCmm::tearDown() {
    if (m_client) {
        cmm_client_disconnect(m_client);
        cmm_client_close(m_client);
        cmm_client_delete(m_client);
        m_client = nullptr;
    }
}

void OvaltaVireoCmm::giveUp(const QString& reason, bool keep_client) {
    if (!keep_client) {
        tearDown();
    }
    qWarning("OvaltaVireoCmm: interface \"%s\" not configured: %s",
             qUtf8Printable(m_interface_name), qUtf8Printable(reason));
}

QString OvaltaVireoCmm::serviceText(aud_error_t result) const {
    return QStringLiteral("no configuration service at 127.0.0.1:%1 (%2)")
        .arg(m_settings.port ? m_settings.port : uint16_t{CMM_DEFAULT_PORT})
        .arg(symbol(result));
}

bool OvaltaVireoCmm::pass() {
    aud_socket_set set;
    aud_socket_set_clear(&set);
    aud_socket_set_add(&set, cmm_client_get_socket(m_client));
    aud_error_t result = selectReadable(set, nullptr);
    if (result == AUD_SUCCESS) {
        result = cmm_client_process(m_client, nullptr);
    }
    m_failure = result;
    return result == AUD_SUCCESS &&
           cmm_client_get_connection_state(m_client) != CMM_CONNECTION_NONE;
}

bool OvaltaVireoCmm::waitFor(const std::function<bool()>& done, Phase phase) {
    m_failure = AUD_SUCCESS;
    switch (waitUntil(done, [this] { return pass(); })) {
        case WaitEnd::Done:
            return true;
        case WaitEnd::Stopped:
            return false;
        case WaitEnd::TimedOut:
            giveUp(QStringLiteral("no answer within %1 ms").arg(timing().startup_limit_ms));
            return false;
        case WaitEnd::Failed:
            break;
    }
    if (phase == Phase::Connected) {
        giveUp(QStringLiteral("connection lost"));
    } else if (m_failure != AUD_SUCCESS) {
        giveUp(serviceText(m_failure));
    } else {
        giveUp(QStringLiteral("connection refused (%1)").arg(symbol(m_request_result)));
    }
    return false;
}

void OvaltaVireoCmm::startUp() {
    m_interface_name = QNetworkInterface::interfaceFromIndex(m_interface_index).name();
    m_client = cmm_client_new(environment());
    if (!m_client) {
        giveUp(serviceText(AUD_ERR_NOMEMORY));
        return;
    }
    const aud_time interval = span(m_settings.keepalive_ms);
    const aud_time timeout = span(m_settings.service_timeout_ms);
    aud_error_t result = cmm_client_set_server_port(m_client, m_settings.port);
    if (result == AUD_SUCCESS) {
        result = cmm_client_set_keepalive_times(m_client, &interval, &timeout);
    }
    if (result == AUD_SUCCESS) {
        result = cmm_client_init(m_client, kClientName);
    }
    if (result == AUD_SUCCESS) {
        cmm_client_set_context(m_client, this);
        cmm_client_set_event_callback(m_client, &OvaltaVireoCmm::onEvent);
        result = cmm_client_connect(m_client);
    }
    if (result != AUD_SUCCESS) {
        giveUp(serviceText(result));
        return;
    }
    const bool ready =
        waitFor(
            [this] {
                return cmm_client_get_connection_state(m_client) == CMM_CONNECTION_CONNECTED;
            },
            Phase::Connecting) &&
        waitFor(
            [this] { return cmm_client_get_options(m_client) && cmm_client_get_status(m_client); },
            Phase::Connected) &&
        configureInterface();
    if (ready) {
        setStarted();
    }
}

QString OvaltaVireoCmm::sendConfig() {
    char16_t name[CMM_INTERFACE_NAME_SIZE] = {};
    const int units = std::min(m_interface_name.size(), CMM_INTERFACE_NAME_SIZE - 1);
    std::copy_n(reinterpret_cast<const char16_t*>(m_interface_name.utf16()), units, name);
    cmm_system_config* config = cmm_client_get_system_config(m_client);
    cmm_interface_list_clear(&config->interfaces);
    const cmm_interface_list* options = cmm_client_get_options(m_client);
    const cmm_interface* found = cmm_interface_list_find_by_name(options, name);
    if (!found) {
        return QStringLiteral("not offered by the configuration service");
    }
    cmm_system_config_add_interface(&config->interfaces, options, cmm_interface_get_mac(found));
    config->flags = CMM_CONFIG_INTERFACES;
    config->lock = false;
    m_request_result = AUD_SUCCESS;
    if (cmm_client_set_system_config(m_client, config) != AUD_SUCCESS) {
        return QStringLiteral("connection lost");
    }
    return QString();
}

bool OvaltaVireoCmm::configureInterface() {
    const QString refused = sendConfig();
    if (!refused.isEmpty()) {
        giveUp(refused);
        return false;
    }
    if (!waitFor([this] { return !cmm_client_request_pending(m_client); }, Phase::Connected)) {
        return false;
    }
    if (m_request_result != AUD_SUCCESS) {
        giveUp(QStringLiteral("SET_CONFIG refused (%1)").arg(symbol(m_request_result)), true);
        return false;
    }
    return waitFor(
        [this] {
            const cmm_status* status = cmm_client_get_status(m_client);
            return status && !cmm_status_get_pending_config(status);
        },
        Phase::Connected);
}

void OvaltaVireoCmm::firstCycle() {
    process();
}

aud_error_t OvaltaVireoCmm::process() {
    if (!m_client) {
        return AUD_SUCCESS;
    }
    aud_socket_set set;
    aud_socket_set_clear(&set);
    aud_socket_set_add(&set, cmm_client_get_socket(m_client));
    aud_error_t result = AUD_SUCCESS;
    if (selectReadable(set, nullptr) == AUD_SUCCESS) {
        result = cmm_client_process(m_client, nullptr);
    }
    // A lost service (a refused port gives CONNRESET) is connected again.
    const bool lost = cmm_client_get_connection_state(m_client) == CMM_CONNECTION_NONE;
    if (isStarted() && (result == AUD_SUCCESS || lost)) {
        recover();
        rearm(timing().cycle_ms, &OvaltaVireoCmm::process);
    }
    return result;
}

void OvaltaVireoCmm::recoverAfter(int ms) {
    m_recovery = Recovery::Waiting;
    m_recovery_until = Clock::now() + std::chrono::milliseconds(ms);
}

void OvaltaVireoCmm::recover() {
    const int state = cmm_client_get_connection_state(m_client);
    const Clock::time_point now = Clock::now();
    const bool wait_over = now >= m_recovery_until;
    if (state == CMM_CONNECTION_NONE && m_recovery != Recovery::Waiting) {
        if (m_recovery == Recovery::None) {
            qWarning("OvaltaVireoCmm: configuration service lost; connecting again every %d ms",
                     m_settings.reconnect_ms);
        }
        recoverAfter(m_settings.reconnect_ms);
        return;
    }
    const std::chrono::milliseconds limit(timing().startup_limit_ms);
    switch (m_recovery) {
        case Recovery::None:
            break;
        case Recovery::Waiting:
            if (!wait_over) {
                break;
            }
            m_request_result = AUD_SUCCESS;
            if (cmm_client_connect(m_client) == AUD_SUCCESS) {
                m_recovery = Recovery::Connecting;
                m_recovery_until = now + limit;
            } else {
                recoverAfter(m_settings.reconnect_ms);
            }
            break;
        case Recovery::Connecting:
            if (state == CMM_CONNECTION_CONNECTED && cmm_client_get_options(m_client) &&
                cmm_client_get_status(m_client)) {
                const QString refused = sendConfig();
                if (refused.isEmpty()) {
                    m_recovery = Recovery::Configuring;
                    m_recovery_until = now + limit;
                } else {
                    giveUp(refused, true);
                    m_recovery = Recovery::None;
                }
            } else if (wait_over) {
                cmm_client_disconnect(m_client);
                recoverAfter(m_settings.reconnect_ms);
            }
            break;
        case Recovery::Configuring: {
            const cmm_status* status = cmm_client_get_status(m_client);
            if (!cmm_client_request_pending(m_client) && m_request_result != AUD_SUCCESS) {
                giveUp(QStringLiteral("SET_CONFIG refused (%1)").arg(symbol(m_request_result)),
                       true);
                m_recovery = Recovery::None;
            } else if (!cmm_client_request_pending(m_client) && status &&
                       !cmm_status_get_pending_config(status)) {
                qInfo("OvaltaVireoCmm: interface \"%s\" configured again",
                      qUtf8Printable(m_interface_name));
                m_recovery = Recovery::None;
            } else if (wait_over) {
                giveUp(QStringLiteral("no answer within %1 ms").arg(timing().startup_limit_ms),
                       true);
                m_recovery = Recovery::None;
            }
            break;
        }
    }
}
