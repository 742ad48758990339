#include "VireoTftp.h"

#include <QFile>
#include <QTimer>
#include <QUdpSocket>
#include <QWidget>

#include "VireoDevice.h"

namespace {

using State = TftpTransfer::State;

}  // namespace

VireoTftp::VireoTftp(QWidget* window, const Timing& timing)
    : QObject(window),
      m_timing(timing),
      m_socket(new QUdpSocket(this)),
      m_ack_timer(std::make_unique<QTimer>()),
      m_resend_timer(std::make_unique<QTimer>()),
      m_transfer(timing.retry_limit) {
    m_socket->bind(QHostAddress::Any, m_timing.local_port);
    // The time-out and the pauses are minimums: a coarse timer may end them 5 % early.
    m_ack_timer->setSingleShot(true);
    m_ack_timer->setTimerType(Qt::PreciseTimer);
    m_resend_timer->setSingleShot(true);
    m_resend_timer->setTimerType(Qt::PreciseTimer);
    connect(m_ack_timer.get(), &QTimer::timeout, this, &VireoTftp::handleTftpTimeout);
    connect(m_resend_timer.get(), &QTimer::timeout, this, &VireoTftp::processFirmwareUpdates);
    connect(this, &VireoTftp::deviceResponse, this, &VireoTftp::handleDatagram);
    connect(this, &VireoTftp::ackEvent, this, &VireoTftp::processAck);
}

VireoTftp::~VireoTftp() {
    disconnect(m_socket, &QUdpSocket::readyRead, this, &VireoTftp::readPendingDatagram);
    m_socket->close();
    m_ack_timer->stop();
    m_resend_timer->stop();
}

void VireoTftp::start(VireoDevice* device, const QString& path) {
    if (m_state != State::kIdle) {
        return;
    }
    m_device = device;
    m_path = path;
    QFile file(path);
    const bool read = file.open(QIODevice::ReadOnly);
    // One byte past the limit tells an image that is too large without reading all of it.
    const QByteArray image = read ? file.read(TftpTransfer::kMaxImageSize + 1) : QByteArray();
    file.close();
    m_num_blocks = int((image.size() + kBlockSize - 1) / kBlockSize);
    if (!read || image.isEmpty() || !TftpTransfer::fits(image.size()) || !device) {
        fail();
        return;
    }
    m_transfer.setImage(TftpTransfer::Bytes(image.begin(), image.end()));
    m_state = State::kCommand;
    processFirmwareUpdates();
}

void VireoTftp::processFirmwareUpdates() {
    switch (m_state) {
        case State::kCommand: {
            m_transfer.restart();
            if (!m_device) {
                fail();
                return;
            }
            emit startingUpdate(m_device);
            releaseSocket();
            m_socket->connectToHost(m_device->getIpAddress(), kDevicePort, QIODevice::ReadWrite);
            const TftpTransfer::Bytes command = TftpTransfer::updateCommand();
            m_socket->write(reinterpret_cast<const char*>(command.data()), qint64(command.size()));
            m_socket->close();
            m_state = State::kWriteRequest;
            m_resend_timer->start(m_timing.command_pause_ms);
            break;
        }
        case State::kWriteRequest: {
            if (m_transfer.retries() == 0) {
                if (!m_device) {
                    fail();
                    return;
                }
                m_socket->connectToHost(m_device->getIpAddress(), kDevicePort,
                                        QIODevice::ReadWrite);
                connect(m_socket, &QUdpSocket::readyRead, this, &VireoTftp::readPendingDatagram,
                        Qt::UniqueConnection);
            }
            send(m_transfer.writeRequest(m_path.toLatin1().toStdString()));
            break;
        }
        case State::kBlocks:
        case State::kLastBlock:
        case State::kEmptyBlock:
            send(m_transfer.dataBlock(m_state));
            break;
        default:
            break;
    }
}

void VireoTftp::send(const TftpTransfer::Bytes& packet) {
    if (m_socket->write(reinterpret_cast<const char*>(packet.data()), qint64(packet.size())) ==
        -1) {
        fail();
        return;
    }
    m_ack_timer->start(m_timing.ack_timeout_ms);
}

void VireoTftp::readPendingDatagram() {
    if (!m_socket->hasPendingDatagrams()) {
        return;
    }
    QByteArray bytes(int(qMax<qint64>(m_socket->pendingDatagramSize(), 0)), '\0');
    QHostAddress sender;
    const qint64 read = m_socket->readDatagram(bytes.data(), bytes.size(), &sender);
    if (read > 0) {
        bytes.resize(int(read));
        emit deviceResponse(sender, bytes);
    }
}

void VireoTftp::handleDatagram(QHostAddress&, QByteArray& bytes) {
    const auto ack =
        TftpTransfer::readAck(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    if (ack) {
        emit ackEvent(ack->opcode, ack->block);
    }
}

void VireoTftp::processAck(uint16_t ack, uint16_t seq) {
    if (m_state < State::kWriteRequest) {
        return;
    }
    m_ack_timer->stop();
    const TftpTransfer::Accepted accepted = m_transfer.accept({ack, seq}, m_state);
    if (accepted == TftpTransfer::Accepted::kNo) {
        // An unexpected acknowledgement counts a retry and resends as after a time-out.
        retryOrFail();
        return;
    }
    m_resend_timer->stop();
    if (accepted == TftpTransfer::Accepted::kDone) {
        // Stop first: the window answers with a modal box, whose event loop must not see
        // this push go on.
        VireoDevice* device = m_device;
        endPush();
        emit updateProgress(device, m_num_blocks, m_num_blocks);
        emit finishedUpdate(device);
        return;
    }
    emit updateProgress(m_device, m_transfer.block(), m_num_blocks);
    m_state = m_transfer.nextState();
    processFirmwareUpdates();
}

void VireoTftp::handleTftpTimeout() {
    m_ack_timer->stop();
    retryOrFail();
}

void VireoTftp::retryOrFail() {
    if (m_transfer.countFailure()) {
        fail();
        return;
    }
    m_resend_timer->start(m_timing.resend_pause_ms);
}

void VireoTftp::fail() {
    VireoDevice* device = m_device;
    endPush();
    emit updateProgress(device, 0, m_num_blocks);
    emit errorPerformingUpdate(device);
}

void VireoTftp::endPush() {
    m_ack_timer->stop();
    m_resend_timer->stop();
    releaseSocket();
    m_transfer.setImage({});
    m_state = State::kIdle;
}

void VireoTftp::releaseSocket() {
    // Qt ignores connectToHost on a connected socket: let go of the last device.
    disconnect(m_socket, &QUdpSocket::readyRead, this, &VireoTftp::readPendingDatagram);
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->close();
    }
}
