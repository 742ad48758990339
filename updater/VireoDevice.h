#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>

#include "RouterModel.h"

namespace kolvo {

// What discovery and identification learned of one device, its selection for the update and
// the progress of its push.
class VireoDevice : public QObject {
    Q_OBJECT
public:
    // Identification poll states.
    enum PollState {
        kPollListed = 0,        // in the table, address not yet reported
        kPollStart = 1,         // Vireo information needed
        kPollWaiting = 2,       // a request is out
        kPollMacAddress = 3,    // MAC address needed
        kPollMcuVersion = 4,    // MCU firmware version needed
        kPollProductId = 5,     // product id needed
        kPollIdentified = 7,    // ready for an update
        kPollNotUpdatable = 8,  // no "Solano" module, given up, gone, or not yet listed
    };
    // Command path of a device that takes no direct UDP commands.
    static constexpr int kNoDirectUdp = 1;
    // Progress value while no update is under way.
    static constexpr int kNoProgress = -1;

    explicit VireoDevice(QObject* parent = nullptr);

    QString getName() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    QHostAddress getIpAddress() const { return m_ip_address; }
    void setIpAddress(const QHostAddress& address) { m_ip_address = address; }
    QString getMacAddress() const { return m_mac_address; }
    void setMacAddress(const QString& mac) { m_mac_address = mac; }
    QString getVendorId() const { return m_vendor_id; }
    void setVendorId(const QString& vendor) { m_vendor_id = vendor; }
    QString getVireoModel() const { return m_vireo_model; }
    void setVireoModel(const QString& model) { m_vireo_model = model; }
    QByteArray getProductId() const { return m_product_id; }
    void setProductId(const QByteArray& id) { m_product_id = id; }
    int getCommandPath() const { return m_command_path; }
    void setCommandPath(int path) { m_command_path = path; }
    uint32_t getModelVersion() const { return m_model_version; }
    void setModelVersion(uint32_t version) { m_model_version = version; }
    QString getModelName() const { return m_model_name; }
    void setModelName(const QString& name) { m_model_name = name; }
    uint32_t getSoftwareVersion() const { return m_software_version; }
    void setSoftwareVersion(uint32_t version) { m_software_version = version; }
    uint32_t getFirmwareVersion() const { return m_firmware_version; }
    void setFirmwareVersion(uint32_t version) { m_firmware_version = version; }
    uint32_t getMcuVersion() const { return m_mcu_version; }
    void setMcuVersion(uint32_t version) { m_mcu_version = version; }
    int getProgressValue() const { return m_progress_value; }
    void setProgressValue(int value) { m_progress_value = value; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected) { m_selected = selected; }
    int getPollState() const { return m_poll_state; }
    void setPollState(int state) { m_poll_state = state; }
    RouterModel* getRouterModel() const { return m_router_model; }
    uint8_t getTimeoutCount() const { return m_timeout_count; }
    void setTimeoutCount(uint8_t count) { m_timeout_count = count; }
    uint32_t getCapabilities() const { return m_capabilities; }
    void setCapabilities(uint32_t capabilities) { m_capabilities = capabilities; }

public slots:
    // Keep the routing record when it is this device's.
    void rxChannelsChanged(RouterModel* router);
    void txChannelsChanged(RouterModel* router);

private:
    void keepRouterModel(RouterModel* router);

    QString m_name;
    QHostAddress m_ip_address;
    QString m_mac_address;
    QString m_vendor_id;
    QString m_vireo_model;
    QByteArray m_product_id;
    int m_command_path = 0;
    uint32_t m_model_version = 0;
    QString m_model_name;
    uint32_t m_software_version = 0;
    uint32_t m_firmware_version = 0;
    uint32_t m_mcu_version = 0;
    int m_progress_value = kNoProgress;
    bool m_selected = false;
    int m_poll_state = kPollNotUpdatable;
    QPointer<RouterModel> m_router_model;  // the router driver's record; gone when it closes
    uint8_t m_timeout_count = 0;
    uint32_t m_capabilities = 0;
};

}  // namespace kolvo
