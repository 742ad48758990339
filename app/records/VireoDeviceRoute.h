#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

// One receive channel's subscription, as the router driver last saw it.
class VireoDeviceRoute : public QObject {
public:
    explicit VireoDeviceRoute(QObject* parent = nullptr);

    int getChannelIndex() const { return m_channel_index; }
    void setChannelIndex(int index) { m_channel_index = index; }
    QString getTxDeviceName() const { return m_tx_device_name; }
    void setTxDeviceName(const QString& name) { m_tx_device_name = name; }
    QString getTxChannelName() const { return m_tx_channel_name; }
    void setTxChannelName(const QString& name) { m_tx_channel_name = name; }
    uint8_t getSubscriptionStatus() const { return m_subscription_status; }
    void setSubscriptionStatus(uint8_t status) { m_subscription_status = status; }

private:
    int m_channel_index = 0;
    QString m_tx_device_name = QStringLiteral("");
    QString m_tx_channel_name = QStringLiteral("");
    uint8_t m_subscription_status = 0;
};
