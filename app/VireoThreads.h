#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMutex>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "IdentificationPoll.h"
#include "PeerLogLimit.h"
#include "PollSchedule.h"
#include "TextCommandChannel.h"
#include "VireoDevices.h"
#include "VireoDrivers.h"
#include "VireoThreadsTiming.h"
#include "platform/aud_env.h"

class BrowserModel;
class OvaltaVireoConmon;
class OvaltaVireoRouter;
class QUdpSocket;
class RouterModel;
class VireoDevice;

// The hub of the control application: runs the SDK drivers, turns their reports into device
// records, identifies the devices one poll tick at a time, carries text commands and their
// replies, and listens to the amplifier status announcements. Never shown; everything runs
// on the GUI thread. One non-recursive mutex guards the device list, the records' poll state
// and the text command queue.
class VireoThreads : public QWidget {
    Q_OBJECT
public:
    static constexpr quint16 kCommandPort = 49494;
    static constexpr quint16 kStatusPort = 49495;
    static const QHostAddress kStatusGroup;

    // `drivers`: the driver set to run; none gives the SDK drivers (SdkVireoDrivers) with the
    // timing's driver settings.
    VireoThreads(int interfaceIndex, QWidget* parent = nullptr,
                 std::unique_ptr<VireoDrivers> drivers = nullptr,
                 const VireoThreadsTiming& timing = {});
    ~VireoThreads() override;

    // Runs the oldest queued text command when no reply is awaited.
    void pumpUdpCommands();

    // The reports the driver slots hand on, by device name.
    void deviceAdded(const QString& name);
    void deviceRemoved(const QString& name);
    void vendorIdReported(const QString& name, const QString& vendor_id);
    void networkInfoReported(const QString& name, const QHostAddress& address);

signals:
    void vireoThreadsRefreshed();
    void DeviceResponse(QHostAddress& addr, QByteArray& bytes);
    void commandResponse(QHostAddress addr, QString resp);
    void DeviceTimeout(QString dev_name);
    void DeviceRemoved(QString devName);

public slots:
    void refresh();
    void changeNetwork(int idx);
    void addDevice(BrowserModel* browser);
    void removeDevice(BrowserModel* browser);
    void updateDeviceNetworkInfo(RouterModel* router);
    void updateVendorId(BrowserModel* browser);
    void sendUdpCommand(QString devName, QByteArray data, QHostAddress address, int port);
    VireoDevices* getVireoDevices();
    OvaltaVireoConmon* getConmonObj();
    OvaltaVireoRouter* getRouterObj();
    QUdpSocket* getUdpSocket();
    void pollSonaventData();
    void reqFirmwareVersion(VireoDevice* device);
    void reqProductId(VireoDevice* device);
    void reqMacAddres(VireoDevice* device);
    void reqVireoInfo(VireoDevice* device);
    void udpTimeOut();
    void conmonTimeOut(QString dev_name);
    void readPendingDataGram();
    void handleDataGram(QHostAddress& addr, QByteArray& bytes);
    void handleProductId(QByteArray id, QString dev_name, uint32_t modelVer, QString modelName,
                         uint32_t softwareVer, uint32_t firmwareVer, uint32_t cap);
    void handleMacAddress(QString dev_name, QString mac);
    void handleMCUVersion(QString dev_name, uint32_t mcuVer);
    void handleVireoInfo(QString dev_name, QString model_name);
    void devRxChannelsChanged(RouterModel* router);
    void devTxChannelsChanged(RouterModel* router);
    void handleAmpStatusNotify();

private:
    void startThreads();
    void stopThreads();
    void openStatusSocket();
    void ask(VireoDevice* device, identification::Question question);
    void readLocation(VireoDevice* device);
    void sendConmonRequest(VireoDevice* device, identification::Question question);
    void afterConmonReply(identification::ReplyUse use);
    // A reply or time-out: the poll goes on sooner.
    void pollSooner();
    // The record whose IPv4 address is the sender's; none for a sender without one.
    VireoDevice* findBySender(const QHostAddress& sender) const;

    const VireoThreadsTiming m_timing;
    int m_interface_index;
    QMutex m_mutex;
    std::unique_ptr<VireoDrivers> m_drivers;
    aud_env* m_env = nullptr;
    VireoDevices m_devices;
    PeerLogLimit m_peer_log;
    TextCommandChannel m_commands;
    VireoDevice* m_awaiting = nullptr;
    QUdpSocket* m_status_socket = nullptr;
    PollSchedule* m_poll_timer;
};
