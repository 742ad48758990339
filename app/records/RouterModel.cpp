#include "RouterModel.h"

#include <cstring>

#include "VireoDeviceRoute.h"

namespace {

template <class T>
bool store(QVector<T>& list, int index, const T& value) {
    if (index < 0 || index >= list.size() || list[index] == value) {
        return false;
    }
    list[index] = value;
    return true;
}

template <class T>
void growTo(QVector<T>& list, int size, const T& value) {
    while (list.size() < size) {
        list.append(value);
    }
}

}  // namespace

RouterModel::RouterModel(QObject* parent) : QObject(parent) {}

RouterRequests* RouterModel::takeRequest(const char* description) {
    for (RouterRequests& request : m_requests) {
        if (request.isFree()) {
            request.take(description);
            return &request;
        }
    }
    return nullptr;
}

bool RouterModel::isOutstanding(const char* description) const {
    for (const RouterRequests& request : m_requests) {
        if (!request.isFree() && std::strcmp(request.description(), description) == 0) {
            return true;
        }
    }
    return false;
}

void RouterModel::releaseRequest(dr_request_id id) {
    for (RouterRequests& request : m_requests) {
        if (id && request.id() == id) {
            request.release();
        }
    }
}

void RouterModel::releaseRequests() {
    for (RouterRequests& request : m_requests) {
        request.release();
    }
}

dr_txchannel* RouterModel::txChannel(int index) const {
    return m_tx_channels && index >= 0 && index < m_tx_count ? m_tx_channels[index] : nullptr;
}

dr_rxchannel* RouterModel::rxChannel(int index) const {
    return m_rx_channels && index >= 0 && index < m_rx_count ? m_rx_channels[index] : nullptr;
}

void RouterModel::setChannels(uint16_t tx_count, dr_txchannel* const* tx, uint16_t rx_count,
                              dr_rxchannel* const* rx) {
    m_tx_count = tx ? tx_count : 0;
    m_tx_channels = tx;
    m_rx_count = rx ? rx_count : 0;
    m_rx_channels = rx;
    growTo(m_tx_names, m_tx_count, QString());
    growTo(m_rx_names, m_rx_count, QString());
    growTo(m_tx_rates, m_tx_count, uint32_t{0});
    growTo(m_rx_rates, m_rx_count, uint32_t{0});
}

void RouterModel::forgetChannels() {
    m_tx_count = 0;
    m_rx_count = 0;
    m_tx_channels = nullptr;
    m_rx_channels = nullptr;
}

bool RouterModel::setTxChannelName(int index, const QString& name) {
    return store(m_tx_names, index, name);
}

bool RouterModel::setRxChannelName(int index, const QString& name) {
    return store(m_rx_names, index, name);
}

bool RouterModel::setTxSampleRate(int index, uint32_t rate) {
    return store(m_tx_rates, index, rate);
}

bool RouterModel::setRxSampleRate(int index, uint32_t rate) {
    return store(m_rx_rates, index, rate);
}

VireoDeviceRoute* RouterModel::routeOf(int channel_index) const {
    return m_route_of.value(channel_index, nullptr);
}

bool RouterModel::setRoute(int channel_index, const QString& tx_device, const QString& tx_channel,
                           uint8_t status) {
    VireoDeviceRoute* route = routeOf(channel_index);
    if (!route) {
        route = new VireoDeviceRoute(this);
        route->setChannelIndex(channel_index);
        m_routes.append(route);
        m_route_of.insert(channel_index, route);
    } else if (route->getTxDeviceName() == tx_device && route->getTxChannelName() == tx_channel &&
               route->getSubscriptionStatus() == status) {
        return false;
    }
    route->setTxDeviceName(tx_device);
    route->setTxChannelName(tx_channel);
    route->setSubscriptionStatus(status);
    return true;
}
