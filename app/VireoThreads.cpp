#include "VireoThreads.h"

#include <QMutexLocker>
#include <QNetworkInterface>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include "AmpStatus.h"
#include "ControllerLog.h"
#include "DatagramRead.h"
#include "PeerText.h"
#include "QtZEB_Device.h"
#include "RouterModel.h"
#include "SdkVireoDrivers.h"
#include "TextReply.h"
#include "VireoDevice.h"
#include "VireoDrivers.h"
#include "qz_msgs.pb.h"

namespace {

// The identification poll's round-robin position, shared by every controller of the process
// and kept across restarts.
int g_poll_position = 0;

const QByteArray kVersionCommand = QByteArrayLiteral("VERSION\r");
const QString kMaker = QStringLiteral("Corvanti");

QString describe(const QHostAddress& address) {
    return address.isNull() ? QStringLiteral("(no address)") : address.toString();
}

// A line about what a peer sent, unless the limit left it out (a null line).
void notePeerLine(const QString& line) {
    if (!line.isNull()) {
        qCInfo(zebController).noquote() << line;
    }
}

void warnPeerLine(const QString& line) {
    if (!line.isNull()) {
        qCWarning(zebController).noquote() << line;
    }
}

}  // namespace

const QHostAddress VireoThreads::kStatusGroup(QStringLiteral("239.255.10.99"));

VireoThreads::VireoThreads(int interfaceIndex, QWidget* parent,
                           std::unique_ptr<VireoDrivers> drivers, const VireoThreadsTiming& timing)
    : QWidget(parent),
      m_timing(timing),
      m_interface_index(interfaceIndex),
      m_drivers(drivers ? std::move(drivers) : std::make_unique<SdkVireoDrivers>(timing.drivers)),
      m_peer_log(std::chrono::milliseconds(timing.log_window_ms)),
      m_commands(timing.reply_ms, zebController, m_peer_log, this),
      m_poll_timer(new PollSchedule(m_timing.tick_ms, m_timing.poll_chains, this)) {
    connect(m_commands.replyTimer(), &QTimer::timeout, this, &VireoThreads::udpTimeOut);
    connect(&m_commands, &TextCommandChannel::datagram, this, &VireoThreads::DeviceResponse);
    connect(m_poll_timer, &QTimer::timeout, this, &VireoThreads::pollSonaventData);
    connect(this, &VireoThreads::DeviceResponse, this, &VireoThreads::handleDataGram);
    startThreads();
    if (m_timing.first_refresh_ms >= 0) {
        QTimer::singleShot(m_timing.first_refresh_ms, this, &VireoThreads::refresh);
    }
}

VireoThreads::~VireoThreads() {
    stopThreads();
}

void VireoThreads::startThreads() {
    m_awaiting = nullptr;
    if (aud_env_init(&m_env) != 0) {
        qCWarning(zebController) << "the SDK environment could not be made";
        m_env = nullptr;
    }
    m_drivers->start(*this, m_env, m_interface_index);
    m_commands.open(m_timing.local_port);
    openStatusSocket();
    m_poll_timer->run(m_timing.first_tick_ms);
}

void VireoThreads::stopThreads() {
    QMutexLocker lock(&m_mutex);
    m_poll_timer->halt();
    m_commands.close();
    m_awaiting = nullptr;
    m_devices.clear();
    m_drivers->stop();
    if (m_env) {
        aud_env_release(m_env);
        m_env = nullptr;
    }
    if (m_status_socket) {
        m_status_socket->disconnect(this);
        m_status_socket->leaveMulticastGroup(kStatusGroup);
        m_status_socket->close();
        delete m_status_socket;
        m_status_socket = nullptr;
    }
}

void VireoThreads::openStatusSocket() {
    m_status_socket = new QUdpSocket(this);
    const QNetworkInterface interface = QNetworkInterface::interfaceFromIndex(m_interface_index);
    if (!m_status_socket->bind(QHostAddress::AnyIPv4, kStatusPort,
                               QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        qCWarning(zebController).noquote()
            << QStringLiteral("status socket: UDP port %1 refused (%2)")
                   .arg(kStatusPort)
                   .arg(m_status_socket->errorString());
    } else if (!m_status_socket->joinMulticastGroup(kStatusGroup, interface)) {
        qCWarning(zebController).noquote()
            << QStringLiteral("status socket: joining %1 on interface %2 failed (%3)")
                   .arg(kStatusGroup.toString())
                   .arg(m_interface_index)
                   .arg(m_status_socket->errorString());
    }
    connect(m_status_socket, &QUdpSocket::readyRead, this, &VireoThreads::handleAmpStatusNotify);
}

void VireoThreads::refresh() {
    stopThreads();
    QThread::msleep(ulong(qMax(m_timing.refresh_pause_ms, 0)));
    startThreads();
    emit vireoThreadsRefreshed();
    m_devices.emitVireoDevicesChanged();
}

void VireoThreads::changeNetwork(int idx) {
    m_interface_index = idx;
    refresh();
}

// --- Device arrival and departure ---

void VireoThreads::addDevice(BrowserModel* browser) {
    deviceAdded(m_drivers->browsedDeviceName(browser));
}

void VireoThreads::removeDevice(BrowserModel* browser) {
    deviceRemoved(m_drivers->browsedDeviceName(browser));
}

void VireoThreads::updateVendorId(BrowserModel* browser) {
    vendorIdReported(m_drivers->browsedDeviceName(browser), m_drivers->browsedVendorId(browser));
}

void VireoThreads::updateDeviceNetworkInfo(RouterModel* router) {
    if (router) {
        networkInfoReported(router->getDeviceName(), m_drivers->routedAddress(router));
    }
}

void VireoThreads::deviceAdded(const QString& name) {
    {
        QMutexLocker lock(&m_mutex);
        auto* device = new VireoDevice(nullptr);
        device->setName(name);
        if (m_devices.appendDevice(device)) {
            delete device;
        }
    }
    m_drivers->openDevice(name);
}

void VireoThreads::deviceRemoved(const QString& name) {
    {
        QMutexLocker lock(&m_mutex);
        m_devices.ignoreDevice(name);
    }
    m_drivers->closeDevice(name);
    emit DeviceRemoved(name);
}

void VireoThreads::vendorIdReported(const QString& name, const QString& vendor_id) {
    bool foreign = false;
    {
        QMutexLocker lock(&m_mutex);
        if (VireoDevice* device = m_devices.findByName(name, nullptr)) {
            device->setManufacturer(vendor_id);
            foreign = vendor_id != kMaker;
        }
    }
    if (foreign) {
        deviceRemoved(name);
    }
    m_devices.emitVireoDevicesChanged();
}

void VireoThreads::networkInfoReported(const QString& name, const QHostAddress& address) {
    {
        QMutexLocker lock(&m_mutex);
        if (VireoDevice* device = m_devices.findByName(name, nullptr)) {
            m_devices.setDeviceIpAddress(device, address);
            device->setPollState(identification::kStart);
        }
    }
    m_devices.emitVireoDevicesChanged();
    // The device's identification starts: the poll goes on sooner, as after a reply.
    pollSooner();
}

void VireoThreads::devRxChannelsChanged(RouterModel* router) {
    if (!router) {
        return;
    }
    if (VireoDevice* device = m_devices.findByName(router->getDeviceName(), nullptr)) {
        device->rxChannelsChanged(router);
    }
}

void VireoThreads::devTxChannelsChanged(RouterModel* router) {
    devRxChannelsChanged(router);
}

// --- Accessors ---

VireoDevices* VireoThreads::getVireoDevices() {
    return &m_devices;
}

OvaltaVireoConmon* VireoThreads::getConmonObj() {
    return m_drivers->conmon();
}

OvaltaVireoRouter* VireoThreads::getRouterObj() {
    return m_drivers->router();
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
        const QVector<VireoDevice*> devices = m_devices.getDevices();
        count = devices.size();
        if (g_poll_position < count) {
            VireoDevice* device = devices.at(g_poll_position);
            const int state = device->getPollState();
            const identification::Outstanding outstanding{m_drivers->pendingConmonRequests(),
                                                          m_commands.hasQueued(),
                                                          m_drivers->conmonReady()};
            const identification::Question question =
                identification::takeTurn(*device, outstanding);
            busy |= question != identification::Question::None || device->getPollState() != state;
            ask(device, question);
        }
        work_left = identification::anyToIdentify(m_devices.getDevices());
    }
    ++g_poll_position;
    if (g_poll_position >= count) {
        g_poll_position = 0;
    }
    m_poll_timer->ticked(busy, count, work_left);
}

void VireoThreads::pollSooner() {
    m_poll_timer->schedule(m_devices.getDevices().size());
}

// Called with the mutex held.
void VireoThreads::ask(VireoDevice* device, identification::Question question) {
    using identification::Question;
    switch (question) {
        case Question::VireoInfo:
            reqVireoInfo(device);
            break;
        case Question::ProductId:
            reqProductId(device);
            break;
        case Question::MacAddress:
            reqMacAddres(device);
            break;
        case Question::Location:
            readLocation(device);
            break;
        case Question::FirmwareVersion:
            reqFirmwareVersion(device);
            break;
        case Question::None:
            break;
    }
}

// Called with the mutex held; releases it for the blocking exchange.
void VireoThreads::readLocation(VireoDevice* device) {
    const QString name = device->getName();
    QString location;
    {
        QtZEB_Device connection(m_timing.location_wait_ms, m_timing.local_port);
        connection.SetDevice(device);
        m_mutex.unlock();
        qz_msgs::system_t request;
        request.set_location("NA");
        qz_msgs::system_t reply;
        if (connection.SendRequest(qz_msgs::header_t::MSG_GET_REQ, request, reply) ==
            zeb::ZEB_Device::kSuccess) {
            const std::string& text = reply.location();
            location =
                QString::fromLatin1(text.c_str(), int(qstrnlen(text.c_str(), uint(text.size()))));
        }
    }
    m_mutex.lock();
    if (!location.isEmpty()) {
        if (VireoDevice* still = m_devices.findByName(name, nullptr)) {
            identification::locationRead(*still, location);
        }
    }
}

void VireoThreads::sendConmonRequest(VireoDevice* device, identification::Question question) {
    if (device) {
        m_drivers->sendConmonRequest(device->getName(),
                                     identification::conmonRequestBody(question));
    }
}

void VireoThreads::reqVireoInfo(VireoDevice* device) {
    sendConmonRequest(device, identification::Question::VireoInfo);
}

void VireoThreads::reqProductId(VireoDevice* device) {
    sendConmonRequest(device, identification::Question::ProductId);
}

void VireoThreads::reqMacAddres(VireoDevice* device) {
    sendConmonRequest(device, identification::Question::MacAddress);
}

void VireoThreads::reqFirmwareVersion(VireoDevice* device) {
    if (!device) {
        return;
    }
    if (device->getControlPath() == 2) {
        if (!device->getIpAddress().isNull()) {
            sendUdpCommand(device->getName(), kVersionCommand, device->getIpAddress(),
                           kCommandPort);
        }
    } else {
        m_drivers->sendVendorCommand(device->getName(), QString::fromLatin1(kVersionCommand));
    }
}

void VireoThreads::afterConmonReply(identification::ReplyUse use) {
    if (use != identification::ReplyUse::OutOfTurn) {
        pollSooner();
    }
}

void VireoThreads::handleVireoInfo(QString dev_name, QString model_name) {
    identification::ReplyUse use;
    {
        QMutexLocker lock(&m_mutex);
        use = identification::vireoInfoReceived(m_devices, dev_name, model_name);
    }
    afterConmonReply(use);
}

void VireoThreads::handleProductId(QByteArray id, QString dev_name, uint32_t modelVer,
                                   QString modelName, uint32_t softwareVer, uint32_t firmwareVer,
                                   uint32_t cap) {
    identification::ProductInfo product;
    product.id = id;
    product.model_version = modelVer;
    product.model_name = modelName;
    product.software_version = softwareVer;
    product.firmware_version = firmwareVer;
    product.capabilities = cap;
    identification::ReplyUse use;
    {
        QMutexLocker lock(&m_mutex);
        use = identification::productIdReceived(m_devices, dev_name, product);
    }
    afterConmonReply(use);
}

void VireoThreads::handleMacAddress(QString dev_name, QString mac) {
    identification::ReplyUse use;
    {
        QMutexLocker lock(&m_mutex);
        use = identification::macAddressReceived(m_devices, dev_name, mac);
    }
    afterConmonReply(use);
}

void VireoThreads::handleMCUVersion(QString dev_name, uint32_t mcuVer) {
    identification::ReplyUse use;
    {
        QMutexLocker lock(&m_mutex);
        use = identification::mcuVersionReceived(m_devices, dev_name, mcuVer);
    }
    afterConmonReply(use);
}

void VireoThreads::conmonTimeOut(QString dev_name) {
    bool found = false;
    {
        QMutexLocker lock(&m_mutex);
        if (VireoDevice* device = m_devices.findByName(dev_name, nullptr)) {
            identification::restart(*device);
            m_devices.emitVireoDevicesChanged();
            found = true;
        }
    }
    if (found) {
        emit DeviceTimeout(dev_name);
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
        VireoDevice* device = m_devices.findByName(command.device_name, nullptr);
        if (device) {
            identification::textCommandSent(*device);
            m_awaiting = device;
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
    return m_devices.findByIpAddress(sender, nullptr);
}

void VireoThreads::handleDataGram(QHostAddress& addr, QByteArray& bytes) {
    const TextReply reply = parseTextReply(bytes);
    {
        QMutexLocker lock(&m_mutex);
        VireoDevice* device = findBySender(addr);
        if (!device) {
            notePeerLine(m_peer_log.admit(
                addr, PeerLine::StrayReply,
                QStringLiteral("reply from %1: no device has this address").arg(describe(addr))));
        } else if (reply.kind == TextReply::Kind::Malformed) {
            warnPeerLine(m_peer_log.admit(
                addr, PeerLine::MalformedReply,
                QStringLiteral("reply from %1: %2").arg(describe(addr), reply.fault)));
        } else if ((reply.has_version && identification::versionReceived(*device, reply.version)) ||
                   (reply.kind == TextReply::Kind::Nack && identification::nackReceived(*device))) {
            m_devices.emitVireoDevicesChanged();
        }
        // Only the awaited device's reply ends the wait; a late one leaves the next wait alone.
        if (m_commands.endWaitFrom(addr)) {
            m_awaiting = nullptr;
        }
    }
    emit commandResponse(addr, reply.text);
    pollSooner();
}

void VireoThreads::udpTimeOut() {
    m_commands.cancelWait();
    QString timed_out;
    {
        QMutexLocker lock(&m_mutex);
        if (m_awaiting) {
            identification::textCommandTimedOut(*m_awaiting);
            timed_out = m_awaiting->getName();
            m_devices.emitVireoDevicesChanged();
        }
    }
    m_awaiting = nullptr;
    if (!timed_out.isNull()) {
        emit DeviceTimeout(timed_out);
    }
    pollSooner();
}

// --- Amplifier status ---

void VireoThreads::handleAmpStatusNotify() {
    readEachDatagram(m_status_socket, [this](QHostAddress& sender, QByteArray& bytes) {
        if (bytes.isEmpty()) {
            warnPeerLine(m_peer_log.admit(
                sender, PeerLine::EmptyStatus,
                QStringLiteral("status from %1: empty datagram").arg(describe(sender))));
            return;
        }
        VireoDevice* device = findBySender(sender);
        if (!device) {
            notePeerLine(
                m_peer_log.admit(sender, PeerLine::StrayStatus,
                                 QStringLiteral("status from %1: no device has this address")
                                     .arg(describe(sender))));
            return;
        }
        const AmpStatusDatagram status = parseAmpStatus(bytes);
        if (status.rejected > 0) {
            warnPeerLine(m_peer_log.admit(
                sender, PeerLine::MalformedStatus,
                QStringLiteral("status from %1: %2 malformed line(s), first \"%3\"")
                    .arg(describe(sender), QString::number(status.rejected),
                         escapePeerText(status.first_rejected))));
        }
        for (const AmpStatus& line : status.lines) {
            // Devices repeat their status every few seconds: only a change is announced (the
            // table compares all its rows on each announcement).
            const bool changed = device->getAmpStatus1() != line.status1 ||
                                 device->getAmpStatus2() != line.status2 ||
                                 device->getAmpStatus3() != uint8_t(line.status3);
            device->setAmpStatus1(line.status1);
            device->setAmpStatus2(line.status2);
            device->setAmpStatus3(line.status3);
            if (changed) {
                m_devices.emitVireoDevicesChanged();
            }
        }
    });
}
