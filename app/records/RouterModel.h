#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QVector>

#include <array>
#include <chrono>
#include <cstdint>

#include "RouterOptions.h"
#include "RouterRequests.h"
#include "routing/dr_channels.h"

class VireoDeviceRoute;

// The routing record of one device, kept by the router driver: its routed device, address,
// channel names, sample rates and receive-channel subscriptions, and its outstanding requests.
class RouterModel : public QObject {
    Q_OBJECT
public:
    enum { kNumRequests = 128 };
    using Clock = std::chrono::steady_clock;

    explicit RouterModel(QObject* parent = nullptr);

    QString getDeviceName() const { return m_options.deviceName(); }
    void setDeviceName(const QString& name) { m_options.setDeviceName(name); }
    RouterOptions& options() { return m_options; }

    dr_device* device() const { return m_device; }
    void setDevice(dr_device* device) { m_device = device; }
    QHostAddress getIpAddress() const { return m_address; }
    void setIpAddress(const QHostAddress& address) { m_address = address; }
    bool isClosed() const { return m_closed; }
    void setClosed(bool closed) { m_closed = closed; }
    Clock::time_point reopenDeadline() const { return m_reopen_deadline; }
    void setReopenDeadline(Clock::time_point deadline) { m_reopen_deadline = deadline; }

    // The first free request slot, taken for description; null when all are busy.
    RouterRequests* takeRequest(const char* description);
    // Whether a request of this description is outstanding.
    bool isOutstanding(const char* description) const;
    void releaseRequest(dr_request_id id);
    void releaseRequests();

    uint16_t getTxChannelCount() const { return m_tx_count; }
    uint16_t getRxChannelCount() const { return m_rx_count; }
    dr_txchannel* txChannel(int index) const;
    dr_rxchannel* rxChannel(int index) const;
    // Keeps the device's channel arrays; the name and rate lists grow to their counts.
    void setChannels(uint16_t tx_count, dr_txchannel* const* tx, uint16_t rx_count,
                     dr_rxchannel* const* rx);
    // Forgets the channel arrays (the device was closed); names, rates and routes stay.
    void forgetChannels();

    const QVector<QString>& getTxChannelNames() const { return m_tx_names; }
    const QVector<QString>& getRxChannelNames() const { return m_rx_names; }
    // Stores a name; whether it changed.
    bool setTxChannelName(int index, const QString& name);
    bool setRxChannelName(int index, const QString& name);
    const QVector<uint32_t>& getTxSampleRates() const { return m_tx_rates; }
    const QVector<uint32_t>& getRxSampleRates() const { return m_rx_rates; }
    bool setTxSampleRate(int index, uint32_t rate);
    bool setRxSampleRate(int index, uint32_t rate);

    const QVector<VireoDeviceRoute*>& getRoutes() const { return m_routes; }
    // The route of a receive channel, or null.
    VireoDeviceRoute* routeOf(int channel_index) const;
    // Stores a receive channel's subscription (a new route when it has none); whether it changed.
    bool setRoute(int channel_index, const QString& tx_device, const QString& tx_channel,
                  uint8_t status);

private:
    std::array<RouterRequests, kNumRequests> m_requests;
    RouterOptions m_options;
    dr_device* m_device = nullptr;
    QHostAddress m_address;
    uint16_t m_tx_count = 0;
    uint16_t m_rx_count = 0;
    dr_txchannel* const* m_tx_channels = nullptr;
    dr_rxchannel* const* m_rx_channels = nullptr;
    QVector<QString> m_tx_names;
    QVector<QString> m_rx_names;
    QVector<uint32_t> m_tx_rates;
    QVector<uint32_t> m_rx_rates;
    QVector<VireoDeviceRoute*> m_routes;
    QHash<int, VireoDeviceRoute*> m_route_of;  // by receive channel index
    bool m_closed = true;
    Clock::time_point m_reopen_deadline{};
};
