#include "OvaltaVireoConmon.h"

#include <QMetaType>
#include <QMutexLocker>
#include <algorithm>

#include "ConmonReplyParser.h"
#include "conmon/conmon_client_config.h"
#include "platform/aud_log.h"

namespace {

constexpr char kClientName[] = "Kolvo CONMON";
constexpr uint16_t kMessageType = 0xFFFF;
constexpr unsigned kStatusChannel = 2;
constexpr unsigned kRemote = 1;
constexpr int kMaxCommandLength = CONMON_MESSAGE_MAX_BODY_SIZE - 1;
// Enough for every device of a large installation answering in one cycle.
constexpr int kMaxWaitingDatagrams = 4096;
const uint8_t kOvaltaVendorId[CONMON_VENDOR_ID_SIZE] = {'O', 'v', 'a', 'l', 't', 'a', 'T', 0};

OvaltaVireoConmon* driverOf(conmon_client* client) {
    return static_cast<OvaltaVireoConmon*>(conmon_client_get_context(client));
}

}  // namespace

OvaltaVireoConmon::OvaltaVireoConmon(QObject* parent, const ConmonDriverSettings& settings)
    : SdkDriverThread(settings.timing, parent), m_settings(settings) {
    qRegisterMetaType<uint32_t>("uint32_t");
}

OvaltaVireoConmon::~OvaltaVireoConmon() {
    stop();
    if (m_client) {
        if (isStarted()) {
            conmon_client_disconnect(m_client);
        }
        conmon_client_delete(m_client);
        m_client = nullptr;
    }
}

int OvaltaVireoConmon::pendingRequestCount() const {
    QMutexLocker lock(&m_mutex);
    return int(m_pending.size());
}

bool OvaltaVireoConmon::isReady() const {
    return isStarted() && m_ready.load();
}

void OvaltaVireoConmon::startUp() {
    conmon_client_config* config = conmon_client_config_new(kClientName);
    conmon_client_config_set_server_port(config, m_settings.server_port);
    conmon_client* client = nullptr;
    const aud_error_t made = conmon_client_new_config(environment(), config, &client);
    conmon_client_config_delete(config);
    if (made != AUD_SUCCESS) {
        return;
    }
    m_client = client;
    conmon_client_set_context(client, this);
    conmon_client_set_max_requests(client, m_settings.max_requests);
    conmon_client_set_auto_reconnect(client, true, &m_settings.reconnect);

    conmon_client_request_id id = 0;
    if (conmon_client_connect(client, onRequestDone, &id) == AUD_SUCCESS) {
        addPending(id, QString());
        if (!waitForRequest(id)) {
            return;
        }
    }
    conmon_client_set_device_name_changed_callback(client, onChanged);
    conmon_client_set_dns_domain_name_changed_callback(client, onChanged);
    conmon_client_set_networks_changed_callback(client, onChanged);
    conmon_client_set_devices_changed_callback(client, onDevicesChanged);
    bool answered[2] = {false, false};
    const Session steps[2] = {Session::Registering, Session::Subscribing};
    for (int i = 0; i < 2; ++i) {
        if (sendSessionRequest(steps[i])) {
            if (!waitForRequest(m_session_request)) {
                return;
            }
            answered[i] = m_session_answered;
        }
    }
    // Otherwise the cycles register and subscribe once the client is connected.
    m_session = answered[0] && answered[1] ? Session::Ready : Session::Down;
    m_ready.store(m_session == Session::Ready &&
                  conmon_client_get_state(client) == CONMON_CLIENT_CONNECTED);
    setStarted();
}

bool OvaltaVireoConmon::sendSessionRequest(Session step) {
    conmon_client_request_id id = 0;
    const aud_error_t sent =
        step == Session::Registering
            ? conmon_client_register_monitoring_messages(m_client, onRequestDone, &id,
                                                         kStatusChannel, kRemote, onMessage)
            : conmon_client_subscribe_global(m_client, onRequestDone, &id, kStatusChannel);
    if (sent != AUD_SUCCESS) {
        return false;
    }
    m_session = step;
    m_session_request = id;
    m_session_answered = false;
    addPending(id, QString());
    return true;
}

void OvaltaVireoConmon::followConnection() {
    if (conmon_client_get_state(m_client) != CONMON_CLIENT_CONNECTED) {
        if (m_session == Session::Ready) {
            qWarning("OvaltaVireoConmon: connection to the conmon server lost; reconnecting");
        }
        m_session = Session::Down;
    } else if (m_session == Session::Down) {
        sendSessionRequest(Session::Registering);
    } else if (m_session != Session::Ready && !isPending(m_session_request)) {
        if (!m_session_answered) {
            m_session = Session::Down;
        } else if (m_session == Session::Registering) {
            if (!sendSessionRequest(Session::Subscribing)) {
                m_session = Session::Down;
            }
        } else {
            m_session = Session::Ready;
            qInfo("OvaltaVireoConmon: connected to the conmon server again");
        }
    }
    m_ready.store(m_session == Session::Ready);
}

void OvaltaVireoConmon::firstCycle() {
    process();
}

bool OvaltaVireoConmon::waitForRequest(conmon_client_request_id id) {
    const WaitEnd end = waitUntil([this, id] { return !isPending(id); },
                                  [this] {
                                      readWaiting();
                                      conmon_client_process(m_client);
                                      expire();
                                      return true;
                                  });
    return end != WaitEnd::Stopped;
}

aud_error_t OvaltaVireoConmon::process() {
    if (!m_client) {
        return AUD_SUCCESS;
    }
    readWaiting();
    conmon_client_process(m_client);
    expire();
    followConnection();
    rearm(timing().cycle_ms, &OvaltaVireoConmon::process);
    return AUD_SUCCESS;
}

void OvaltaVireoConmon::readWaiting() {
    // Replies that waited while this thread was busy are taken before any deadline is judged.
    for (int read = 0; read < kMaxWaitingDatagrams; ++read) {
        aud_socket_set ready_set;
        aud_socket_set_clear(&ready_set);
        // A closed client has no socket: the first wait still paces the caller's loop.
        if (conmon_client_get_sockets(m_client, &ready_set) != AUD_SUCCESS && read > 0) {
            return;
        }
        unsigned ready = 0;
        const aud_time now = {0, 0};
        const aud_error_t selected =
            read == 0 ? selectReadable(ready_set, &ready)
                      : aud_socket_select(&ready_set, nullptr, nullptr, &now, &ready);
        if (selected != AUD_SUCCESS || ready == 0) {
            return;
        }
        conmon_client_process_sockets(m_client, &ready_set, nullptr);
    }
}

bool OvaltaVireoConmon::expire() {
    std::vector<Pending> expired;
    {
        QMutexLocker lock(&m_mutex);
        const Clock::time_point now = Clock::now();
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (it->second.deadline < now) {
                expired.push_back(it->second);
                it = m_pending.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const Pending& entry : expired) {
        // The client keeps no deadlines: its table entry is freed here.
        conmon_client_cancel_request(m_client, entry.id);
        emit conmonTimeout(entry.device_name);
    }
    if (!expired.empty()) {
        conmon_client_process(m_client);
    }
    return !expired.empty();
}

aud_error_t OvaltaVireoConmon::sendRequest(const void* body, size_t size,
                                           const QString& deviceName) {
    return send(deviceName, CONMON_VENDOR_ID_STANDARD, body, size);
}

aud_error_t OvaltaVireoConmon::sendVendorCommand(const QString& deviceName, const QString& text) {
    if (!isStarted() || !m_client) {
        return AUD_SUCCESS;
    }
    if (text.size() > kMaxCommandLength) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    QByteArray body;
    body.reserve(text.size() + 1);
    for (const QChar c : text) {
        body.append(c.unicode() > 0xFF ? '\0' : char(c.unicode()));
    }
    body.append('\0');
    return send(deviceName, kOvaltaVendorId, body.constData(), size_t(body.size()));
}

aud_error_t OvaltaVireoConmon::send(const QString& deviceName, const uint8_t* vendor_id,
                                    const void* body, size_t size) {
    if (!isStarted() || !m_client) {
        return AUD_SUCCESS;
    }
    if (!m_ready.load()) {
        return AUD_ERR_NOTCONN;
    }
    const QByteArray name = deviceName.toLatin1();
    conmon_client_request_id id = 0;
    const aud_error_t result = conmon_client_send_control_message(
        m_client, onRequestDone, &id, name.constData(), kMessageType, vendor_id,
        static_cast<const uint8_t*>(body), size, nullptr);
    if (result == AUD_SUCCESS) {
        addPending(id, deviceName);
    }
    return result;
}

void OvaltaVireoConmon::addPending(conmon_client_request_id id, const QString& deviceName) {
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(m_settings.deadline_ms);
    QMutexLocker lock(&m_mutex);
    m_pending[id] = Pending{id, deadline, deviceName};
}

bool OvaltaVireoConmon::isPending(conmon_client_request_id id) const {
    QMutexLocker lock(&m_mutex);
    return m_pending.count(id) != 0;
}

void OvaltaVireoConmon::onRequestDone(conmon_client* client, conmon_client_request_id id,
                                      aud_error_t result) {
    OvaltaVireoConmon* self = driverOf(client);
    if (result != AUD_SUCCESS) {
        return;  // a failed request waits for its deadline
    }
    if (id == self->m_session_request) {
        self->m_session_answered = true;
    }
    QMutexLocker lock(&self->m_mutex);
    self->m_pending.erase(id);
}

void OvaltaVireoConmon::onMessage(conmon_client* client, unsigned, unsigned,
                                  const conmon_message* message) {
    OvaltaVireoConmon* self = driverOf(client);
    conmon_instance_id source{};
    conmon_message_get_source_instance_id(message, &source);
    const char* name = conmon_client_device_name_for_instance_id(client, &source);
    const size_t size =
        std::min<size_t>(conmon_message_get_body_size(message), CONMON_MESSAGE_MAX_BODY_SIZE);
    self->report(name ? QString::fromUtf8(name) : QString(),
                 ConmonReplyParser::parse(message->body, size));
}

void OvaltaVireoConmon::onChanged(conmon_client*) {}

void OvaltaVireoConmon::onDevicesChanged(conmon_client*, size_t,
                                         const conmon_client_subscription* const*) {}

void OvaltaVireoConmon::report(const QString& name, const ConmonReply& reply) {
    switch (reply.kind) {
        case ConmonReply::Kind::MacAddress:
            emit handleMacAddress(name, reply.mac);
            break;
        case ConmonReply::Kind::VireoInfo:
            emit vireoInfo(name, reply.text);
            break;
        case ConmonReply::Kind::ProductId:
            emit productId(reply.product_id, name, reply.model_version, reply.model_name,
                           reply.software_version, reply.firmware_version, reply.capabilities);
            break;
        case ConmonReply::Kind::CommandResponse:
            if (reply.has_mcu_version) {
                emit mcuVersion(name, reply.mcu_version);
            }
            emit commandResponse(name, reply.text);
            break;
        case ConmonReply::Kind::Dropped:
            log(AUD_LOG_WARNING, "OvaltaVireoConmon: dropped a reply: %s", reply.drop_reason);
            break;
        case ConmonReply::Kind::None:
            break;
    }
}

void OvaltaVireoConmon::log(unsigned level, const char* format, const char* text) const {
    aud_log_printf(aud_env_log(environment()), level, format, text);
}
