#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>

#include "PeerLogLimit.h"
#include "PollSchedule.h"
#include "Prompts.h"
#include "SdkDriverSet.h"
#include "TextCommandChannel.h"
#include "UpdateRun.h"
#include "VireoDevice.h"
#include "VireoDevices.h"
#include "VireoThreadsTiming.h"
#include "platform/aud_env.h"

class BrowserModel;
class OvaltaVireoConmon;
class OvaltaVireoRouter;
class QUdpSocket;
class RouterModel;

namespace kolvo {

// The update utility's hub, never shown: runs the SDK drivers, keeps one record per browsed
// device, identifies every device one poll tick at a time (Vireo information, product id, MAC
// address, MCU version), carries text commands and their replies, and holds the update run
// (image, selection, push). Everything runs on the GUI thread; one non-recursive mutex guards
// the records, their poll state and the text command queue.
class VireoThreads : public QWidget {
    Q_OBJECT
public:
    static constexpr quint16 kCommandPort = 49494;

    VireoThreads(int interfaceIndex, QWidget* parent = nullptr,
                 Prompts& prompts = Prompts::standard(), const VireoThreadsTiming& timing = {});
    ~VireoThreads() override;

    UpdateRun& updateRun() { return m_run; }
    int interfaceIndex() const { return m_interface_index; }
    bool isUpdateRunning() const { return m_run.isUpdateRunning(); }

signals:
    void vireoThreadsRefreshed();
    void DeviceResponse(QHostAddress& addr, QByteArray& bytes);
    void commandResponse(QHostAddress addr, QString resp);
    void DeviceTimeout();
    void DeviceRemoved(QString devName);
    void guiUpdateFileInfo(QString filename, QString productId, QString major, QString minor);
    void updateStatus(QString status);
    void enableBackButton(bool enable);
    void enableStartUpdateButton(bool enable);
    void enableCancelUpdateButton(bool enable);
    void enableSelectAllButtons(bool enable);
    void clearProgressValues();

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
    void loadImageFile();
    void backToMainWindow();
    void startFirmwareUpdates();
    void cancelFirmwareUpdates();
    void finishedFirmwareUpdates();
    void selectAllDevices();
    void deselectAllDevices();
    void handleOverrideMatching(bool on);

private:
    void startThreads();
    void stopThreads();
    // Stop, pause, start; whether or not a run is on.
    void restart();
    void pumpUdpCommands();
    // One device's turn; called with the mutex held. Whether it asked or changed anything.
    bool takeTurn(VireoDevice* device);
    // A reply or time-out: the poll goes on sooner.
    void pollSooner();
    // Whether a record is still to be identified; called with the mutex held.
    bool anyToIdentify() const;
    void sendConmonRequest(VireoDevice* device, uint16_t opcode);
    // A conmon reply for a record not in poll state 2 is dropped, and no tick is asked for.
    bool isWaiting(const VireoDevice& device) const;
    VireoDevice* findBySender(const QHostAddress& sender) const;

    const VireoThreadsTiming m_timing;
    int m_interface_index;
    QMutex m_mutex;
    SdkDriverSet m_drivers;
    aud_env* m_env = nullptr;
    VireoDevices m_devices;
    UpdateRun m_run;
    PeerLogLimit m_peer_log;
    TextCommandChannel m_commands;
    QPointer<VireoDevice> m_udp_awaiting;
    PollSchedule* m_poll_timer;
};

}  // namespace kolvo
