#include "OvaltaVireoRouter.h"

#include <arpa/inet.h>

#include <QByteArray>

#include "PeerText.h"
#include "RouterLog.h"
#include "RouterModel.h"
#include "routing/dr_channels.h"

namespace {

// The index of the next model to poll, one for the whole process.
int g_next_model = 0;

constexpr int kPolledComponents = DR_DEVICE_COMPONENT_RXFLOWS + 1;  // all but PROPERTIES

QString latin1(const char* text) {
    return text ? QString::fromLatin1(text) : QString();
}

}  // namespace

OvaltaVireoRouter::OvaltaVireoRouter(QObject* parent, const RouterTiming& timing)
    : SdkDriverThread(timing.cycle, parent), m_router_timing(timing) {}

OvaltaVireoRouter::~OvaltaVireoRouter() {
    stop();
    m_devices_open = false;
    for (RouterModel* model : m_models) {
        if (model->device()) {
            dr_device_close(model->device());
            model->setDevice(nullptr);
        }
        model->forgetChannels();
        model->releaseRequests();
    }
    m_models.clear();
    if (m_devices) {
        dr_devices_delete(m_devices);
        m_devices = nullptr;
    }
}

void OvaltaVireoRouter::setEnvironment(aud_env* env) {
    SdkDriverThread::setEnvironment(env);
    m_devices_open = false;
    if (!m_devices) {
        const aud_error_t result = dr_devices_new(env, &m_devices);
        if (result != AUD_SUCCESS) {
            qCWarning(zebRouter) << "the routing context could not be made:" << result;
            return;
        }
    }
    dr_devices_set_context(m_devices, this);
    dr_devices_set_sockets_changed_callback(m_devices, onSocketsChanged);
    dr_devices_set_request_timeout(m_devices, uint32_t(m_router_timing.request_timeout_ms));
}

RouterModel* OvaltaVireoRouter::model(const QString& name) const {
    for (RouterModel* model : m_models) {
        if (model->getDeviceName() == name) {
            return model;
        }
    }
    return nullptr;
}

void OvaltaVireoRouter::startUp() {
    // The routing context was made before the thread started.
    setStarted();
}

void OvaltaVireoRouter::firstCycle() {
    m_process();
    pollOnce();
    rearm(m_router_timing.poll_ms, &OvaltaVireoRouter::m_poll_changes);
}

aud_error_t OvaltaVireoRouter::m_process() {
    processSockets();
    rearm(timing().cycle_ms, &OvaltaVireoRouter::m_process);
    return m_last_result;
}

void OvaltaVireoRouter::processSockets() {
    m_last_process.start();
    if (!m_devices_open || !m_devices) {
        return;
    }
    aud_socket_set_clear(&m_sockets);
    dr_devices_get_sockets(m_devices, &m_sockets);
    unsigned ready = 0;
    if (selectReadable(m_sockets, &ready) != AUD_SUCCESS) {
        aud_socket_set_clear(&m_sockets);
    }
    // Every cycle, ready or not: requests that went unanswered end here.
    m_processing = true;
    m_last_result = dr_devices_process(m_devices, &m_sockets);
    m_processing = false;
    if (m_sockets_changed) {
        aud_socket_set_clear(&m_sockets);
        dr_devices_get_sockets(m_devices, &m_sockets);
        m_sockets_changed = false;
    }
    const QList<QPair<bool, QString>> deferred = m_deferred;
    m_deferred.clear();
    for (const QPair<bool, QString>& item : deferred) {
        item.first ? openDevice(item.second) : closeDevice(item.second);
    }
    retryRefusedQueries();
}

void OvaltaVireoRouter::retryRefusedQueries() {
    const QList<RouterModel*> refused = m_refused;
    m_refused.clear();
    for (RouterModel* model : refused) {
        if (m_models.contains(model) && !model->isClosed() &&
            dr_device_get_state(model->device()) == DR_DEVICE_STATE_RESOLVED &&
            model->options().queryCapabilities()) {
            queryCapabilities(model);
        }
    }
}

void OvaltaVireoRouter::m_poll_changes() {
    pollOnce();
    rearm(m_router_timing.poll_ms, &OvaltaVireoRouter::m_poll_changes);
}

void OvaltaVireoRouter::pollOnce() {
    if (!m_devices_open || m_models.isEmpty()) {
        return;
    }
    if (g_next_model >= m_models.size()) {
        g_next_model = 0;
    }
    poll(m_models[g_next_model]);
    ++g_next_model;
}

void OvaltaVireoRouter::openDevice(const QString& name) {
    if (m_processing) {
        m_deferred.append({true, name});
        return;
    }
    if (m_devices_open && m_last_process.isValid() &&
        m_last_process.elapsed() >= timing().cycle_ms) {
        processSockets();
    }
    m_devices_open = true;
    RouterModel* found = model(name);
    if (!found) {
        found = new RouterModel(this);
        found->setDeviceName(name);
        m_models.append(found);
    }
    if (!found->isClosed()) {
        return;
    }
    found->setClosed(false);
    found->setReopenDeadline(RouterModel::Clock::now() +
                             std::chrono::milliseconds(m_router_timing.reopen_ms));
    found->setDeviceName(name);
    found->options().setQueryCapabilities(1);
    const QByteArray latin = name.toLatin1();
    dr_device* device = nullptr;
    const aud_error_t result =
        m_devices ? dr_device_open(m_devices, latin.constData(), &device) : AUD_ERR_INVALIDSTATE;
    if (result != AUD_SUCCESS) {
        // The model stays open without a device: the poll tries again at its deadline.
        qCWarning(zebRouter).noquote()
            << "cannot open device" << escapePeerText(name) << "- result" << result;
        return;
    }
    found->setDevice(device);
    dr_device_set_context(device, this);
    dr_device_set_changed_callback(device, onDeviceChanged);
    deviceChanged(device);
    QThread::msleep(unsigned(m_router_timing.open_sleep_ms));
}

void OvaltaVireoRouter::closeDevice(const QString& name) {
    if (m_processing) {
        m_deferred.append({false, name});
        return;
    }
    for (RouterModel* model : m_models) {
        if (model->getDeviceName() != name) {
            continue;
        }
        model->setClosed(true);
        if (model->device()) {
            dr_device_close(model->device());
            model->setDevice(nullptr);
        }
        model->forgetChannels();
        model->releaseRequests();
    }
    if (m_models.isEmpty()) {
        m_devices_open = false;
    }
}

void OvaltaVireoRouter::rxSubscribe(QString rxDevName, int rxIdx, QString txDevName,
                                    QString txChannelName) {
    RouterModel* found = model(rxDevName);
    if (!found || dr_device_get_state(found->device()) != DR_DEVICE_STATE_ACTIVE) {
        return;
    }
    dr_rxchannel* channel = found->rxChannel(rxIdx);
    if (!channel) {
        return;
    }
    RouterRequests* slot = found->takeRequest("Subscribe");
    if (!slot) {
        return;
    }
    const QByteArray device = txDevName.toLatin1();
    const QByteArray name = txChannelName.toLatin1();
    dr_request_id id = nullptr;
    const aud_error_t result =
        txDevName.isEmpty() ? dr_rxchannel_subscribe(channel, onRequestDone, &id, nullptr, nullptr)
                            : dr_rxchannel_subscribe(channel, onRequestDone, &id,
                                                     device.constData(), name.constData());
    if (result != AUD_SUCCESS) {
        qCWarning(zebRouter).noquote() << "cannot subscribe" << escapePeerText(rxDevName) << rxIdx
                                       << "to" << escapePeerText(txChannelName) << "@"
                                       << escapePeerText(txDevName) << "- result" << result;
        slot->release();
        return;
    }
    slot->setId(id);
}

void OvaltaVireoRouter::onSocketsChanged(dr_devices* devices) {
    static_cast<OvaltaVireoRouter*>(dr_devices_get_context(devices))->m_sockets_changed = true;
}

void OvaltaVireoRouter::onDeviceChanged(dr_device* device, uint32_t changes) {
    if (changes & DR_DEVICE_CHANGE_STATE) {
        static_cast<OvaltaVireoRouter*>(dr_device_get_context(device))->deviceChanged(device);
    }
}

void OvaltaVireoRouter::onRequestDone(dr_device* device, dr_request_id request, aud_error_t) {
    auto* router = static_cast<OvaltaVireoRouter*>(dr_device_get_context(device));
    if (RouterModel* model = router->modelOf(device)) {
        model->releaseRequest(request);
    }
}

RouterModel* OvaltaVireoRouter::modelOf(const dr_device* device) const {
    for (RouterModel* model : m_models) {
        if (device && model->device() == device) {
            return model;
        }
    }
    return nullptr;
}

void OvaltaVireoRouter::deviceChanged(dr_device* device) {
    RouterModel* model = modelOf(device);
    if (!model) {
        return;
    }
    const dr_device_state state = dr_device_get_state(device);
    if (state == DR_DEVICE_STATE_ACTIVE) {
        uint16_t tx_count = 0, rx_count = 0;
        dr_txchannel* const* tx = nullptr;
        dr_rxchannel* const* rx = nullptr;
        dr_device_get_txchannels(device, &tx_count, &tx);
        dr_device_get_rxchannels(device, &rx_count, &rx);
        model->setChannels(tx_count, tx, rx_count, rx);
        uint32_t address = 0;
        uint16_t port = 0;
        if (dr_device_get_address(device, &address, &port) == AUD_SUCCESS) {
            model->setIpAddress(QHostAddress(ntohl(address)));
        }
        uint32_t flags = 0;
        if (model->options().queryCapabilities() &&
            dr_device_get_status_flags(device, &flags) == AUD_SUCCESS && flags != 0) {
            updateComponents(model);
        }
        poll(model);
        emit deviceNetworkInfo(model);
    } else if (state == DR_DEVICE_STATE_RESOLVED && model->options().queryCapabilities()) {
        queryCapabilities(model);
    }
}

void OvaltaVireoRouter::queryCapabilities(RouterModel* model) {
    static const char kDescription[] = "QueryCapabilities";
    if (model->isOutstanding(kDescription)) {
        return;
    }
    RouterRequests* slot = model->takeRequest(kDescription);
    if (!slot) {
        if (!m_refused.contains(model)) {
            m_refused.append(model);
        }
        return;
    }
    dr_request_id id = nullptr;
    const aud_error_t result = dr_device_query_capabilities(model->device(), onRequestDone, &id);
    if (result != AUD_SUCCESS) {
        slot->release();
        if (result == AUD_ERR_NOBUFS && !m_refused.contains(model)) {
            m_refused.append(model);
        }
        return;
    }
    slot->setId(id);
}

void OvaltaVireoRouter::updateComponents(RouterModel* model) {
    dr_device* device = model->device();
    for (int c = 0; c < DR_DEVICE_NUM_COMPONENTS; ++c) {
        const auto component = dr_device_component(c);
        if (!dr_device_is_component_stale(device, component)) {
            continue;
        }
        const QByteArray description =
            QByteArray("Update ") + dr_device_component_to_string(component);
        if (!model->isOutstanding(description.constData())) {
            RouterRequests* slot = model->takeRequest(description.constData());
            dr_request_id id = nullptr;
            if (slot) {
                if (dr_device_update_component(device, onRequestDone, &id, component) ==
                        AUD_SUCCESS &&
                    id) {
                    slot->setId(id);
                } else {
                    slot->release();
                }
            }
        }
        QThread::msleep(unsigned(m_router_timing.update_sleep_ms));
    }
}

void OvaltaVireoRouter::poll(RouterModel* model) {
    if (model->isClosed()) {
        return;
    }
    dr_device* device = model->device();
    const dr_device_state state = dr_device_get_state(device);
    if (device) {
        for (int c = 0; c < kPolledComponents; ++c) {
            dr_device_mark_component_stale(device, dr_device_component(c));
        }
        updateComponents(model);
    }
    if (state == DR_DEVICE_STATE_ACTIVE &&
        (model->getTxChannelCount() > 0 || model->getRxChannelCount() > 0)) {
        pollNames(model);
        pollRoutes(model);
        pollRates(model);
    }
    if (state != DR_DEVICE_STATE_ACTIVE && RouterModel::Clock::now() >= model->reopenDeadline()) {
        const QString name = model->getDeviceName();
        closeDevice(name);
        openDevice(name);
    }
}

void OvaltaVireoRouter::pollNames(RouterModel* model) {
    bool changed = false;
    for (int i = 0; i < model->getTxChannelCount(); ++i) {
        const dr_txchannel* channel = model->txChannel(i);
        dr_txlabel label{};
        size_t count = 1;
        const bool labelled =
            dr_txchannel_get_labels(channel, &count, &label) == AUD_SUCCESS && count > 0;
        changed |= model->setTxChannelName(
            i, latin1(labelled ? label.name : dr_txchannel_get_name(channel)));
    }
    if (changed) {
        emit txChannelNamesChanged(model);
    }
    changed = false;
    for (int i = 0; i < model->getRxChannelCount(); ++i) {
        changed |= model->setRxChannelName(i, latin1(dr_rxchannel_get_name(model->rxChannel(i))));
    }
    if (changed) {
        emit rxChannelNamesChanged(model);
    }
}

void OvaltaVireoRouter::pollRoutes(RouterModel* model) {
    bool changed = false;
    for (int i = 0; i < model->getRxChannelCount(); ++i) {
        const dr_rxchannel* channel = model->rxChannel(i);
        changed |= model->setRoute(i, latin1(dr_rxchannel_get_subscription_device(channel)),
                                   latin1(dr_rxchannel_get_subscription_channel(channel)),
                                   dr_rxchannel_get_status(channel));
    }
    if (changed) {
        emit rxChannelRoutesChanged(model);
    }
}

void OvaltaVireoRouter::pollRates(RouterModel* model) {
    bool changed = false;
    for (int i = 0; i < model->getTxChannelCount(); ++i) {
        changed |= model->setTxSampleRate(i, dr_txchannel_get_format(model->txChannel(i)));
    }
    if (changed) {
        emit txChannelSampleRatesChanged(model);
    }
    changed = false;
    for (int i = 0; i < model->getRxChannelCount(); ++i) {
        changed |= model->setRxSampleRate(i, dr_rxchannel_get_format(model->rxChannel(i)));
    }
    if (changed) {
        emit rxChannelSampleRatesChanged(model);
    }
}
