#include "VireoThreads.h"

#include <QLoggingCategory>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include "BrowserModel.h"
#include "OvaltaVireoBrowse.h"
#include "OvaltaVireoConmon.h"
#include "OvaltaVireoRouter.h"
#include "PeerText.h"
#include "RouterModel.h"
#include "TextReply.h"
#include "conmon/conmon_body.h"

Q_LOGGING_CATEGORY(kolvoController, "kolvo.controller")

namespace kolvo {

namespace {

// The identification poll's round-robin position, shared by every controller of the process
// and kept across restarts.
int g_poll_position = 0;

const QByteArray kVersionCommand = QByteArrayLiteral("VERSION\r");
const QString kModelFamily = QStringLiteral("Solano");
const QString kVersionKey = QStringLiteral("VERSION");
constexpr int kTextCommandPath = 2;
constexpr uint8_t kTimeoutLimit = 5;
// The argument of the Vireo information and product id requests.
constexpr uint32_t kRequestArgument = 1000000;

VireoThreadsTiming updaterTiming(VireoThreadsTiming timing) {
    timing.drivers.browse.updater = true;
    return timing;
}

// Identification starts over; MAC address and vendor id stay.
void restartIdentification(VireoDevice& device) {
    device.setPollState(VireoDevice::kPollStart);
    device.setProductId(QByteArray());
    device.setMcuVersion(0);
    device.setVireoModel(QString());
}

QString describe(const QHostAddress& address) {
    return address.isNull() ? QStringLiteral("(no address)") : address.toString();
}

}  // namespace

VireoThreads::VireoThreads(int interfaceIndex, QWidget* parent, Prompts& prompts,
                           const VireoThreadsTiming& timing)
    : QWidget(parent),
      m_timing(updaterTiming(timing)),
      m_interface_index(interfaceIndex),
      m_drivers(m_timing.drivers),
      m_devices(m_run),
      m_run(m_devices, m_mutex, prompts, this, m_timing.push),
      m_peer_log(std::chrono::milliseconds(m_timing.log_window_ms)),
      m_commands(m_timing.reply_ms, kolvoController, m_peer_log, this),
      m_poll_timer(new PollSchedule(m_timing.tick_ms, m_timing.poll_chains, this)) {
    connect(m_commands.replyTimer(), &QTimer::timeout, this, &VireoThreads::udpTimeOut);
    connect(&m_commands, &TextCommandChannel::datagram, this, &VireoThreads::DeviceResponse);
    connect(m_poll_timer, &QTimer::timeout, this, &VireoThreads::pollSonaventData);
    connect(this, &VireoThreads::DeviceResponse, this, &VireoThreads::handleDataGram);

    // The run's reports are the controller's; the run itself clears the table's progress.
    connect(&m_run, &UpdateRun::guiUpdateFileInfo, this, &VireoThreads::guiUpdateFileInfo);
    connect(&m_run, &UpdateRun::updateStatus, this, &VireoThreads::updateStatus);
    connect(&m_run, &UpdateRun::enableBackButton, this, &VireoThreads::enableBackButton);
    connect(&m_run, &UpdateRun::enableStartUpdateButton, this,
            &VireoThreads::enableStartUpdateButton);
    connect(&m_run, &UpdateRun::enableCancelUpdateButton, this,
            &VireoThreads::enableCancelUpdateButton);
    connect(&m_run, &UpdateRun::enableSelectAllButtons, this,
            &VireoThreads::enableSelectAllButtons);
    connect(&m_run, &UpdateRun::clearProgressValues, this, &VireoThreads::clearProgressValues);
    connect(&m_run, &UpdateRun::restartNetwork, this, &VireoThreads::restart);

    startThreads();
    if (m_timing.first_refresh_ms >= 0) {
        QTimer::singleShot(m_timing.first_refresh_ms, this, &VireoThreads::refresh);
    }
}

VireoThreads::~VireoThreads() {
    stopThreads();
}

void VireoThreads::startThreads() {
    m_udp_awaiting = nullptr;
    if (aud_env_init(&m_env) != 0) {
        qCWarning(kolvoController) << "the SDK environment could not be made";
        m_env = nullptr;
    }
    m_drivers.create(m_env, m_interface_index);
    connect(m_drivers.browse(), &OvaltaVireoBrowse::deviceAdded, this, &VireoThreads::addDevice);
    connect(m_drivers.browse(), &OvaltaVireoBrowse::deviceRemoved, this,
            &VireoThreads::removeDevice);
    connect(m_drivers.browse(), &OvaltaVireoBrowse::deviceVendorId, this,
            &VireoThreads::updateVendorId);
    connect(m_drivers.router(), &OvaltaVireoRouter::deviceNetworkInfo, this,
            &VireoThreads::updateDeviceNetworkInfo);
    m_commands.open(m_timing.local_port);
    OvaltaVireoConmon* conmon = m_drivers.conmon();
    connect(conmon, &OvaltaVireoConmon::conmonTimeout, this, &VireoThreads::conmonTimeOut);
    connect(conmon, &OvaltaVireoConmon::productId, this, &VireoThreads::handleProductId);
    connect(conmon, &OvaltaVireoConmon::handleMacAddress, this, &VireoThreads::handleMacAddress);
    connect(conmon, &OvaltaVireoConmon::vireoInfo, this, &VireoThreads::handleVireoInfo);
    connect(conmon, &OvaltaVireoConmon::mcuVersion, this, &VireoThreads::handleMCUVersion);
    m_drivers.startAll();
    m_poll_timer->run(m_timing.first_tick_ms);
}

void VireoThreads::stopThreads() {
    QMutexLocker lock(&m_mutex);
    m_poll_timer->halt();
    m_commands.close();
    m_udp_awaiting = nullptr;
    // Deleting a record or a driver also drops the record's channel-name connections.
    m_devices.clearDevices();
    m_drivers.stop(this);
    if (m_env) {
        aud_env_release(m_env);
        m_env = nullptr;
    }
}

void VireoThreads::restart() {
    stopThreads();
    QThread::msleep(ulong(qMax(m_timing.refresh_pause_ms, 0)));
    startThreads();
    emit vireoThreadsRefreshed();
    emit updateStatus(QString());
}

void VireoThreads::refresh() {
    if (!m_run.isUpdateRunning()) {
        restart();
    }
}

void VireoThreads::changeNetwork(int idx) {
    m_interface_index = idx;
    refresh();
}

// --- Device arrival and departure ---

void VireoThreads::addDevice(BrowserModel* browser) {
    if (m_run.isUpdateRunning() || !browser) {
        return;
    }
    const QString name = browser->deviceName();
    QPointer<VireoDevice> device;
    {
        QMutexLocker lock(&m_mutex);
        auto* offered = new VireoDevice;
        offered->setName(name);
        if (m_devices.appendDevice(offered)) {
            delete offered;
            device = m_devices.findDeviceByName(name, nullptr);
        } else {
            device = offered;
        }
    }
    OvaltaVireoRouter* router = m_drivers.router();
    if (!router) {
        return;
    }
    // Opening may report the address at once, which takes the mutex.
    m_drivers.openDevice(name);
    if (device) {
        disconnect(router, &OvaltaVireoRouter::rxChannelNamesChanged, device,
                   &VireoDevice::rxChannelsChanged);
        disconnect(router, &OvaltaVireoRouter::txChannelNamesChanged, device,
                   &VireoDevice::txChannelsChanged);
        connect(router, &OvaltaVireoRouter::rxChannelNamesChanged, device,
                &VireoDevice::rxChannelsChanged);
        connect(router, &OvaltaVireoRouter::txChannelNamesChanged, device,
                &VireoDevice::txChannelsChanged);
    }
}

void VireoThreads::removeDevice(BrowserModel* browser) {
    if (m_run.isUpdateRunning() || !browser) {
        return;
    }
    const QString name = browser->deviceName();
    VireoDevice* device = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        m_devices.markDeviceGone(name);
        device = m_devices.findDeviceByName(name, nullptr);
    }
    m_drivers.closeDevice(name);
    if (OvaltaVireoRouter* router = m_drivers.router(); router && device) {
        disconnect(router, &OvaltaVireoRouter::rxChannelNamesChanged, device,
                   &VireoDevice::rxChannelsChanged);
        disconnect(router, &OvaltaVireoRouter::txChannelNamesChanged, device,
                   &VireoDevice::txChannelsChanged);
    }
    emit DeviceRemoved(name);
}

void VireoThreads::updateVendorId(BrowserModel* browser) {
    if (m_run.isUpdateRunning() || !browser) {
        return;
    }
    {
        QMutexLocker lock(&m_mutex);
        if (VireoDevice* device = m_devices.findDeviceByName(browser->deviceName(), nullptr)) {
            device->setVendorId(browser->vendorId());
        }
    }
    m_devices.refresh();
}

void VireoThreads::updateDeviceNetworkInfo(RouterModel* router) {
    if (!router) {
        return;
    }
    QMutexLocker lock(&m_mutex);
    if (VireoDevice* device = m_devices.findDeviceByName(router->getDeviceName(), nullptr)) {
        m_devices.setDeviceAddress(device, router->getIpAddress());
        device->setPollState(VireoDevice::kPollStart);
        lock.unlock();
        m_devices.refresh();
        // The device's identification starts: the poll goes on sooner, as after a reply.
        pollSooner();
    }
}

// --- Accessors ---

VireoDevices* VireoThreads::getVireoDevices() {
    return &m_devices;
}

OvaltaVireoConmon* VireoThreads::getConmonObj() {
    return m_drivers.conmon();
}

OvaltaVireoRouter* VireoThreads::getRouterObj() {
    return m_drivers.router();
}

QUdpSocket* VireoThreads::getUdpSocket() {
    return m_commands.socket();
}

// --- Identification poll ---

void VireoThreads::pollSonaventData() {
    const bool was_waiting = m_commands.isWaiting();
    pumpUdpCommands();
    bool busy = !was_waiting && m_commands.isWaiting();
    int count = 0;
    bool work_left = false;
    {
        QMutexLocker lock(&m_mutex);
        const QList<VireoDevice*> devices = m_devices.getAllDevices();
        count = devices.size();
        if (g_poll_position < count) {
            busy |= takeTurn(devices.at(g_poll_position));
        }
        work_left = anyToIdentify();
    }
    ++g_poll_position;
    if (g_poll_position >= count) {
        g_poll_position = 0;
    }
    m_poll_timer->ticked(busy, count, work_left);
}

void VireoThreads::pollSooner() {
    m_poll_timer->schedule(m_devices.getAllDevices().size());
}

bool VireoThreads::anyToIdentify() const {
    for (const VireoDevice* device : m_devices.getAllDevices()) {
        if (device->getPollState() != VireoDevice::kPollIdentified &&
            device->getPollState() != VireoDevice::kPollNotUpdatable) {
            return true;
        }
    }
    return false;
}

bool VireoThreads::takeTurn(VireoDevice* device) {
    const int state = device->getPollState();
    // A conmon question sent while the conmon driver is starting or reconnecting would be lost.
    const bool conmon_ready = m_drivers.conmonReady();
    switch (device->getPollState()) {
        case VireoDevice::kPollStart:
            if (device->getVireoModel().isEmpty()) {
                if (conmon_ready) {
                    reqVireoInfo(device);
                    device->setPollState(VireoDevice::kPollWaiting);
                }
            } else {
                device->setPollState(device->getVireoModel().contains(kModelFamily)
                                         ? VireoDevice::kPollProductId
                                         : VireoDevice::kPollNotUpdatable);
            }
            break;
        case VireoDevice::kPollProductId:
            if (device->getProductId().isEmpty()) {
                if (conmon_ready) {
                    reqProductId(device);
                    device->setPollState(VireoDevice::kPollWaiting);
                }
            } else {
                device->setPollState(VireoDevice::kPollMacAddress);
            }
            break;
        case VireoDevice::kPollMacAddress:
            if (device->getMacAddress().isEmpty()) {
                if (conmon_ready) {
                    reqMacAddres(device);
                    device->setPollState(VireoDevice::kPollWaiting);
                }
            } else {
                device->setPollState(VireoDevice::kPollMcuVersion);
            }
            break;
        case VireoDevice::kPollMcuVersion:
            if (device->getMcuVersion() == 0) {
                reqFirmwareVersion(device);
                device->setPollState(VireoDevice::kPollWaiting);
            } else {
                device->setPollState(VireoDevice::kPollIdentified);
            }
            break;
        case VireoDevice::kPollWaiting:
            if (m_drivers.pendingConmonRequests() == 0 && !m_commands.hasQueued()) {
                device->setPollState(VireoDevice::kPollStart);
            }
            break;
        default:
            break;
    }
    return device->getPollState() != state;
}

void VireoThreads::sendConmonRequest(VireoDevice* device, uint16_t opcode) {
    if (!device) {
        return;
    }
    conmon_body body;
    size_t size = 0;
    if (opcode == CONMON_BODY_INTERFACE_REQUEST) {
        conmon_body_init_interface_request(&body, CONMON_BODY_VERSION_UPDATE, 0);
        size = conmon_body_interface_request_size(&body);
    } else {
        conmon_body_init_request(&body, CONMON_BODY_VERSION_UPDATE, opcode, kRequestArgument);
        size = conmon_body_request_size(&body);
    }
    m_drivers.sendConmonRequest(device->getName(),
                                QByteArray(reinterpret_cast<const char*>(body.data), int(size)));
}

void VireoThreads::reqVireoInfo(VireoDevice* device) {
    sendConmonRequest(device, CONMON_BODY_VIREO_INFO_REQUEST);
}

void VireoThreads::reqProductId(VireoDevice* device) {
    sendConmonRequest(device, CONMON_BODY_VERSIONS_REQUEST);
}

void VireoThreads::reqMacAddres(VireoDevice* device) {
    sendConmonRequest(device, CONMON_BODY_INTERFACE_REQUEST);
}

void VireoThreads::reqFirmwareVersion(VireoDevice* device) {
    if (!device) {
        return;
    }
    if (device->getCommandPath() == kTextCommandPath && !device->getIpAddress().isNull()) {
        sendUdpCommand(device->getName(), kVersionCommand, device->getIpAddress(), kCommandPort);
    } else {
        m_drivers.sendVendorCommand(device->getName(), QString::fromLatin1(kVersionCommand));
    }
}

bool VireoThreads::isWaiting(const VireoDevice& device) const {
    if (device.getPollState() == VireoDevice::kPollWaiting) {
        return true;
    }
    qCInfo(kolvoController).noquote() << QStringLiteral("conmon reply for %1 dropped: not waiting")
                                             .arg(escapePeerText(device.getName()));
    return false;
}

void VireoThreads::handleVireoInfo(QString dev_name, QString model_name) {
    {
        QMutexLocker lock(&m_mutex);
        VireoDevice* device = m_devices.findDeviceByName(dev_name, nullptr);
        if (device && device->getVireoModel().isEmpty()) {
            if (!isWaiting(*device)) {
                return;
            }
            device->setVireoModel(model_name);
            if (model_name.contains(kModelFamily)) {
                device->setPollState(VireoDevice::kPollProductId);
            } else {
                m_devices.markDeviceGone(dev_name);
                device->setPollState(VireoDevice::kPollNotUpdatable);
            }
            lock.unlock();
            m_devices.refresh();
        }
    }
    pollSooner();
}

void VireoThreads::handleProductId(QByteArray id, QString dev_name, uint32_t modelVer,
                                   QString modelName, uint32_t softwareVer, uint32_t firmwareVer,
                                   uint32_t cap) {
    {
        QMutexLocker lock(&m_mutex);
        VireoDevice* device = m_devices.findDeviceByName(dev_name, nullptr);
        if (device && device->getProductId().isEmpty()) {
            if (!isWaiting(*device)) {
                return;
            }
            if (!device->getVendorId().isEmpty()) {
                if (id.size() >= 8) {
                    device->setProductId(id);
                    device->setModelVersion(modelVer);
                    device->setModelName(modelName);
                    device->setSoftwareVersion(softwareVer);
                    device->setFirmwareVersion(firmwareVer);
                    device->setCapabilities(cap);
                    device->setPollState(VireoDevice::kPollMacAddress);
                    device->setCommandPath(kTextCommandPath);
                } else {
                    m_devices.markDeviceGone(dev_name);
                }
                lock.unlock();
                m_devices.refresh();
            }
        }
    }
    pollSooner();
}

void VireoThreads::handleMacAddress(QString dev_name, QString mac) {
    if (mac.isEmpty()) {
        return;
    }
    {
        QMutexLocker lock(&m_mutex);
        if (VireoDevice* device = m_devices.findDeviceByName(dev_name, nullptr)) {
            if (!isWaiting(*device)) {
                return;
            }
            device->setMacAddress(mac);
            device->setPollState(VireoDevice::kPollMcuVersion);
            lock.unlock();
            m_devices.refresh();
        }
    }
    pollSooner();
}

void VireoThreads::handleMCUVersion(QString dev_name, uint32_t mcuVer) {
    {
        QMutexLocker lock(&m_mutex);
        VireoDevice* device = m_devices.findDeviceByName(dev_name, nullptr);
        if (device && device->getMcuVersion() == 0) {
            if (!isWaiting(*device)) {
                return;
            }
            device->setMcuVersion(mcuVer);
            device->setPollState(VireoDevice::kPollIdentified);
            lock.unlock();
            m_devices.refresh();
        }
    }
    pollSooner();
}

void VireoThreads::conmonTimeOut(QString dev_name) {
    bool found = false;
    {
        QMutexLocker lock(&m_mutex);
        if (VireoDevice* device = m_devices.findDeviceByName(dev_name, nullptr)) {
            restartIdentification(*device);
            found = true;
        }
    }
    if (found) {
        m_devices.refresh();
        emit DeviceTimeout();
    }
    pollSooner();
}

// --- Text commands ---

void VireoThreads::sendUdpCommand(QString devName, QByteArray data, QHostAddress address,
                                  int port) {
    m_commands.enqueue({devName, data, address, quint16(port)});
}

void VireoThreads::pumpUdpCommands() {
    m_commands.pump(m_mutex, [this](const UdpCommand& command) {
        VireoDevice* device = m_devices.findDeviceByName(command.device_name, nullptr);
        if (device) {
            device->setTimeoutCount(uint8_t(device->getTimeoutCount() + 1));
            m_udp_awaiting = device;
        }
        return device != nullptr;
    });
}

void VireoThreads::readPendingDataGram() {
    m_commands.readPending();
}

VireoDevice* VireoThreads::findBySender(const QHostAddress& sender) const {
    bool ipv4 = false;
    const quint32 value = sender.toIPv4Address(&ipv4);
    if (!ipv4 || value == 0) {
        return nullptr;
    }
    return m_devices.findDeviceByAddress(QHostAddress(value), nullptr);
}

void VireoThreads::handleDataGram(QHostAddress& addr, QByteArray& bytes) {
    const TextReply reply = parseTextReply(bytes);
    bool changed = false;
    {
        QMutexLocker lock(&m_mutex);
        VireoDevice* device = findBySender(addr);
        if (reply.text.startsWith(QLatin1String("ACK"))) {
            if (reply.kind == TextReply::Kind::Malformed) {
                const QString line = m_peer_log.admit(
                    addr, PeerLine::MalformedReply,
                    QStringLiteral("reply from %1: %2").arg(describe(addr), reply.fault));
                if (!line.isNull()) {
                    qCInfo(kolvoController).noquote() << line;
                }
            } else if (device && reply.key == kVersionKey) {
                device->setTimeoutCount(0);
                if (device->getPollState() != VireoDevice::kPollNotUpdatable && reply.has_version &&
                    device->getMcuVersion() == 0) {
                    device->setMcuVersion(reply.version);
                    device->setPollState(VireoDevice::kPollIdentified);
                    changed = true;
                }
            }
        } else if (device && device->getPollState() == VireoDevice::kPollMacAddress &&
                   device->getMcuVersion() == 0) {
            device->setPollState(VireoDevice::kPollProductId);
            changed = true;
        }
        m_commands.endWait();
        m_udp_awaiting = nullptr;
    }
    if (changed) {
        m_devices.refresh();
    }
    emit commandResponse(addr, reply.text);
    pollSooner();
}

void VireoThreads::udpTimeOut() {
    m_commands.cancelWait();
    bool found = false;
    {
        QMutexLocker lock(&m_mutex);
        if (VireoDevice* device = m_udp_awaiting.data()) {
            restartIdentification(*device);
            if (device->getTimeoutCount() < kTimeoutLimit) {
                device->setTimeoutCount(uint8_t(device->getTimeoutCount() + 1));
            } else {
                device->setPollState(VireoDevice::kPollNotUpdatable);
            }
            found = true;
        }
        m_udp_awaiting = nullptr;
    }
    if (found) {
        m_devices.refresh();
        emit DeviceTimeout();
    }
    pollSooner();
}

// --- The update run ---

void VireoThreads::loadImageFile() {
    m_run.loadImageFile();
}

void VireoThreads::backToMainWindow() {
    m_run.backToMainWindow();
}

void VireoThreads::startFirmwareUpdates() {
    m_run.startFirmwareUpdates();
}

void VireoThreads::cancelFirmwareUpdates() {
    m_run.cancelFirmwareUpdates();
}

void VireoThreads::finishedFirmwareUpdates() {
    m_run.finishedFirmwareUpdates();
}

void VireoThreads::selectAllDevices() {
    m_run.selectAllDevices();
}

void VireoThreads::deselectAllDevices() {
    m_run.deselectAllDevices();
}

void VireoThreads::handleOverrideMatching(bool on) {
    m_run.handleOverrideMatching(on);
}

}  // namespace kolvo
