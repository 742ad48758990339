#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>

#include "RouterModel.h"

// What discovery, identification and the amplifier status notifications learned of one
// device, and the device's identification poll state.
class VireoDevice : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollIgnored = 9;

    explicit VireoDevice(QObject* parent = nullptr);

    QString getName() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    const QHostAddress& getIpAddress() const { return m_ip_address; }
    void setIpAddress(const QHostAddress& address) { m_ip_address = address; }
    QString getMacAddress() const { return m_mac_address; }
    void setMacAddress(const QString& mac) { m_mac_address = mac; }
    QString getLocation() const { return m_location; }
    void setLocation(const QString& location) { m_location = location; }
    QString getManufacturer() const { return m_manufacturer; }
    void setManufacturer(const QString& manufacturer) { m_manufacturer = manufacturer; }
    QString getVireoModel() const { return m_vireo_model; }
    void setVireoModel(const QString& model) { m_vireo_model = model; }
    QByteArray getProductId() const { return m_product_id; }
    void setProductId(const QByteArray& id) { m_product_id = id; }
    int getControlPath() const { return m_control_path; }
    void setControlPath(int path) { m_control_path = path; }
    void setModelVersion(uint32_t version) { m_model_version = version; }
    QString getModelName() const { return m_model_name; }
    void setModelName(const QString& name) { m_model_name = name; }
    void setSoftwareVersion(uint32_t version) { m_software_version = version; }
    void setFirmwareVersion(uint32_t version) { m_firmware_version = version; }
    uint32_t getMcuVersion() const { return m_mcu_version; }
    void setMcuVersion(uint32_t version) { m_mcu_version = version; }
    int getPollState() const { return m_poll_state; }
    void setPollState(int state) { m_poll_state = state; }
    RouterModel* getRouterModel() const { return m_router_model; }
    uint8_t getTimeoutCount() const { return m_timeout_count; }
    void setTimeoutCount(uint8_t count) { m_timeout_count = count; }
    int getAmpStatus1() const { return m_amp_status1; }
    void setAmpStatus1(int status) { m_amp_status1 = status; }
    int getAmpStatus2() const { return m_amp_status2; }
    void setAmpStatus2(int status) { m_amp_status2 = status; }
    uint8_t getAmpStatus3() const { return m_amp_status3; }
    void setAmpStatus3(int status) { m_amp_status3 = uint8_t(status); }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected) { m_selected = selected; }
    uint32_t getCapabilities() const { return m_capabilities; }
    void setCapabilities(uint32_t capabilities) { m_capabilities = capabilities; }

public slots:
    void rxChannelsChanged(RouterModel* router);
    void txChannelsChanged(RouterModel* router);

private:
    void keepRouterModel(RouterModel* router);

    QString m_name;
    QHostAddress m_ip_address;
    QString m_mac_address;
    QString m_location;
    QString m_manufacturer;
    QString m_vireo_model;
    QByteArray m_product_id;
    int m_control_path = 0;
    uint32_t m_model_version = 0;
    QString m_model_name;
    uint32_t m_software_version = 0;
    uint32_t m_firmware_version = 0;
    uint32_t m_mcu_version = 0;
    int m_poll_state = kPollIgnored;
    QPointer<RouterModel> m_router_model;  // the router driver's record; gone when it closes
    uint8_t m_timeout_count = 0;
    int m_amp_status1 = 0;
    int m_amp_status2 = 0;
    uint8_t m_amp_status3 = 0;
    bool m_selected = false;
    uint32_t m_capabilities = 0;
};
