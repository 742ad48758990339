#include "VireoTftp.h"

#include <QMessageBox>
#include <QTimer>
#include <QUdpSocket>

#include "Prompts.h"
#include "UpdateContext.h"
#include "VireoDevice.h"
#include "VireoDevices.h"

namespace kolvo {

namespace {

using State = TftpTransfer::State;

constexpr int kMaxDatagram = 65536;

const QString kErrorTitle = QStringLiteral("Error updating device");
const QString kErrorText = QStringLiteral("An error has occured during the update process.");
const QString kContinueText = QStringLiteral(
    "An error has occured during the update process.\n"
    "Will continue with remaining devices.");

}  // namespace

VireoTftp::VireoTftp(UpdateContext& context, const QString& path, const QByteArray& image,
                     const Timing& timing, QObject* parent)
    : QObject(parent),
      m_context(context),
      m_timing(timing),
      m_socket(new QUdpSocket(this)),
      m_ack_timer(std::make_unique<QTimer>()),
      m_resend_timer(std::make_unique<QTimer>()),
      m_refresh_timer(std::make_unique<QTimer>()),
      m_path(path),
      m_transfer(timing.retry_limit),
      m_receive_buffer(kMaxDatagram, '\0') {
    m_transfer.setImage(TftpTransfer::Bytes(image.begin(), image.end()));
    // The time-out and the pauses are minimums: a coarse timer may end them 5 % early.
    m_ack_timer->setSingleShot(true);
    m_ack_timer->setTimerType(Qt::PreciseTimer);
    m_resend_timer->setSingleShot(true);
    m_resend_timer->setTimerType(Qt::PreciseTimer);
    m_refresh_timer->setSingleShot(true);
    connect(m_ack_timer.get(), &QTimer::timeout, this, &VireoTftp::handleTftpTimeout);
    connect(m_resend_timer.get(), &QTimer::timeout, this, &VireoTftp::processFirmwareUpdates);
    connect(m_refresh_timer.get(), &QTimer::timeout, this, [this] {
        if (m_refresh_due) {
            refreshTable();
        }
    });
    connect(this, &VireoTftp::DeviceResponse, this, &VireoTftp::handleDataGram);
    connect(this, &VireoTftp::ackEvent, this, &VireoTftp::processAck);
    connect(this, &VireoTftp::finishedUpdates, this,
            [this] { m_context.finishedFirmwareUpdates(); });
}

VireoTftp::~VireoTftp() {
    m_ack_timer->stop();
    m_resend_timer->stop();
    m_refresh_timer->stop();
    releaseSocket();
}

void VireoTftp::startFirmwareUpdates() {
    if (m_running) {
        return;
    }
    m_running = true;
    m_device = nullptr;
    m_row = 0;
    m_cancel = false;
    m_transfer.restart();
    m_state = State::kCommand;
    processFirmwareUpdates();
}

void VireoTftp::cancelFirmwareUpdates() {
    m_cancel = true;
}

void VireoTftp::processFirmwareUpdates() {
    switch (m_state) {
        case State::kIdle:
            if (m_running) {
                m_running = false;
                emit finishedUpdates();
            }
            break;
        case State::kCommand:
            startNextDevice();
            break;
        case State::kWriteRequest:
            if (!openSocket()) {
                abandonDevice();
                return;
            }
            m_context.setImageBlockCount(
                int(m_transfer.image().size() / size_t(TftpTransfer::kBlockSize)));
            send(m_transfer.writeRequest(m_path.toLatin1().toStdString()));
            break;
        case State::kBlocks:
        case State::kLastBlock:
        case State::kEmptyBlock:
            send(m_transfer.dataBlock(m_state));
            break;
        default:
            break;
    }
}

void VireoTftp::startNextDevice() {
    if (m_cancel) {
        m_state = State::kIdle;
        m_resend_timer->start(m_timing.end_pause_ms);
        return;
    }
    m_transfer.restart();
    const QList<VireoDevice*> devices = m_context.devices().getAllDevices();
    m_device = nullptr;
    for (int row = m_row; row < devices.size() && !m_device; ++row) {
        if (devices[row]->isSelected()) {
            m_device = devices[row];
            m_row = row + 1;
        }
    }
    if (!m_device) {
        m_state = State::kIdle;
        m_resend_timer->start(m_timing.end_pause_ms);
        return;
    }
    m_context.reportStatus(
        QStringLiteral("Starting Firmware Update for [ %1 ].").arg(m_device->getName()));
    m_address = m_device->getIpAddress();
    if (m_address.isNull()) {
        // Gone before its turn: nothing to send it.
        showError(kContinueText);
        processFirmwareUpdates();
        return;
    }
    // Every device starts on a closed socket.
    releaseSocket();
    if (!m_socket->bind(QHostAddress::AnyIPv4, m_timing.local_port)) {
        m_socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    }
    const TftpTransfer::Bytes command = TftpTransfer::updateCommand();
    m_socket->writeDatagram(reinterpret_cast<const char*>(command.data()), qint64(command.size()),
                            m_address, TftpTransfer::kDevicePort);
    m_socket->close();
    m_state = State::kWriteRequest;
    m_resend_timer->start(m_timing.command_pause_ms);
}

bool VireoTftp::openSocket() {
    if (m_socket->state() != QAbstractSocket::BoundState &&
        !m_socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        return false;
    }
    connect(m_socket, &QUdpSocket::readyRead, this, &VireoTftp::readPendingDataGram,
            Qt::UniqueConnection);
    return true;
}

void VireoTftp::send(const TftpTransfer::Bytes& packet) {
    if (m_socket->writeDatagram(reinterpret_cast<const char*>(packet.data()), qint64(packet.size()),
                                m_address, TftpTransfer::kDevicePort) == -1) {
        writeError();
        return;
    }
    m_ack_timer->start(m_timing.ack_timeout_ms);
}

void VireoTftp::readPendingDataGram() {
    // The buffer holds any UDP datagram whole, so one read takes the next one.
    quint16 port = 0;
    const qint64 read =
        m_socket->readDatagram(m_receive_buffer.data(), m_receive_buffer.size(), &m_sender, &port);
    if (read <= 0 || port != TftpTransfer::kDevicePort ||
        !m_sender.isEqual(m_address, QHostAddress::TolerantConversion)) {
        return;
    }
    QByteArray bytes = QByteArray::fromRawData(m_receive_buffer.constData(), int(read));
    emit DeviceResponse(m_sender, bytes);
}

void VireoTftp::handleDataGram(QHostAddress&, QByteArray& bytes) {
    const auto ack = TftpTransfer::readAck(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                           size_t(bytes.size()));
    if (ack) {
        emit ackEvent(ack->opcode, ack->block);
    }
}

void VireoTftp::processAck(uint16_t ack, uint16_t seq) {
    if (m_state < State::kWriteRequest) {
        return;
    }
    m_ack_timer->stop();
    if (!m_device) {
        abandonDevice();  // its record is gone
        return;
    }
    const TftpTransfer::Accepted accepted = m_transfer.accept({ack, seq}, m_state);
    if (accepted == TftpTransfer::Accepted::kNo) {
        failedTry();
        return;
    }
    m_resend_timer->stop();
    if (accepted == TftpTransfer::Accepted::kDone) {
        m_device->setProgressValue(m_context.imageBlockCount());
        endDevice(State::kCommand);
        refreshTable();
        processFirmwareUpdates();
        return;
    }
    m_device->setProgressValue(m_transfer.block());
    progressChanged();
    m_state = m_transfer.nextState();
    processFirmwareUpdates();
}

void VireoTftp::handleTftpTimeout() {
    m_ack_timer->stop();
    failedTry();
}

void VireoTftp::failedTry() {
    // Tested right after each failure, so an accepted acknowledgement never abandons.
    if (m_transfer.countFailure()) {
        abandonDevice();
        return;
    }
    m_resend_timer->start(m_timing.resend_pause_ms);
}

void VireoTftp::abandonDevice() {
    endDevice(State::kCommand);
    showError(kContinueText);
    processFirmwareUpdates();
}

void VireoTftp::writeError() {
    endDevice(State::kIdle);
    showError(kErrorText);
    m_resend_timer->start(m_timing.end_pause_ms);
}

void VireoTftp::endDevice(int next_state) {
    m_ack_timer->stop();
    m_resend_timer->stop();
    releaseSocket();
    m_state = next_state;
    // A progress refresh held back is shown now; otherwise the status line keeps naming the
    // device while its box is up.
    if (m_refresh_due) {
        refreshTable();
    }
}

void VireoTftp::showError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, kErrorTitle, text, QMessageBox::Ok,
                    m_context.dialogParent());
    m_context.prompts().runModal(box);
}

void VireoTftp::progressChanged() {
    if (m_refresh_timer->isActive()) {
        m_refresh_due = true;
        return;
    }
    refreshTable();
}

void VireoTftp::refreshTable() {
    m_refresh_due = false;
    m_context.devices().refresh();
    if (m_timing.refresh_interval_ms > 0) {
        m_refresh_timer->start(m_timing.refresh_interval_ms);
    }
}

void VireoTftp::releaseSocket() {
    disconnect(m_socket, &QUdpSocket::readyRead, this, &VireoTftp::readPendingDataGram);
    m_socket->close();
}

}  // namespace kolvo
