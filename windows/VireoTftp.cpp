#include "VireoTftp.h"

#include <QFile>
#include <QTimer>
#include <QUdpSocket>
#include <QWidget>

#include "VireoDevice.h"

namespace {

constexpr uint16_t kOpWrite = 2;
constexpr uint16_t kOpData = 3;
constexpr uint16_t kOpAck = 4;

void putBigEndian16(QByteArray& out, uint16_t value) {
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

uint16_t bigEndian16(const QByteArray& bytes, int at) {
    return uint16_t((uint8_t(bytes[at]) << 8) | uint8_t(bytes[at + 1]));
}

}  // namespace

VireoTftp::VireoTftp(QWidget* window, const Timing& timing)
    : QObject(window),
      m_timing(timing),
      m_socket(new QUdpSocket(this)),
      m_ack_timer(std::make_unique<QTimer>()),
      m_resend_timer(std::make_unique<QTimer>()) {
    m_socket->bind(QHostAddress::Any, m_timing.local_port);
    m_ack_timer->setSingleShot(true);
    m_resend_timer->setSingleShot(true);
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
    if (m_state != kIdle) {
        return;
    }
    m_device = device;
    m_path = path;
    QFile file(path);
    const bool read = file.open(QIODevice::ReadOnly);
    m_image = read ? file.readAll() : QByteArray();
    file.close();
    m_offset = 0;
    m_num_blocks = int((m_image.size() + kBlockSize - 1) / kBlockSize);
    if (!read || m_image.isEmpty() || m_image.size() > kMaxImageSize || !device) {
        fail();
        return;
    }
    m_state = kCommand;
    processFirmwareUpdates();
}

void VireoTftp::processFirmwareUpdates() {
    switch (m_state) {
        case kCommand: {
            m_block = 0;
            m_retries = 0;
            if (!m_device) {
                fail();
                return;
            }
            emit startingUpdate(m_device);
            releaseSocket();
            m_socket->connectToHost(m_device->getIpAddress(), kDevicePort, QIODevice::ReadWrite);
            m_socket->write("FWUPDATE\r");
            m_socket->close();
            m_state = kWriteRequest;
            m_resend_timer->start(m_timing.command_pause_ms);
            break;
        }
        case kWriteRequest: {
            if (m_retries == 0) {
                if (!m_device) {
                    fail();
                    return;
                }
                m_socket->connectToHost(m_device->getIpAddress(), kDevicePort,
                                        QIODevice::ReadWrite);
                connect(m_socket, &QUdpSocket::readyRead, this, &VireoTftp::readPendingDatagram,
                        Qt::UniqueConnection);
            }
            const int slash = m_path.lastIndexOf(QLatin1Char('/'));
            QByteArray payload = m_path.mid(slash + 1).toLatin1();
            payload.append('\0');
            payload.append('\0');
            send(kOpWrite, payload);
            break;
        }
        case kBlocks:
        case kLastBlock:
            send(kOpData, m_image.mid(m_offset, kBlockSize));
            break;
        case kEmptyBlock:
            send(kOpData, QByteArray());
            break;
        default:
            break;
    }
}

void VireoTftp::send(uint16_t opcode, const QByteArray& payload) {
    QByteArray packet;
    putBigEndian16(packet, opcode);
    putBigEndian16(packet, m_block);
    packet.append(payload);
    m_last_sent_size = payload.size();
    if (m_socket->write(packet) == -1) {
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
    if (bytes.size() < 4) {
        return;
    }
    emit ackEvent(bigEndian16(bytes, 0), bigEndian16(bytes, 2));
}

void VireoTftp::processAck(uint16_t ack, uint16_t seq) {
    if (m_state < kWriteRequest) {
        return;
    }
    m_ack_timer->stop();
    if (ack != kOpAck || seq != m_block) {
        // An unexpected acknowledgement counts a retry and resends as after a time-out.
        retryOrFail();
        return;
    }
    m_retries = 0;
    m_resend_timer->stop();
    if (m_state == kLastBlock || m_state == kEmptyBlock) {
        // Stop first: the window answers with a modal box, whose event loop must not see
        // this push go on.
        VireoDevice* device = m_device;
        endPush();
        emit updateProgress(device, m_num_blocks, m_num_blocks);
        emit finishedUpdate(device);
        return;
    }
    if (m_block != 0) {
        m_offset += m_last_sent_size;
    }
    ++m_block;
    emit updateProgress(m_device, m_block, m_num_blocks);
    const int remaining = m_image.size() - m_offset;
    m_state = remaining == 0 ? kEmptyBlock : remaining < kBlockSize ? kLastBlock : kBlocks;
    processFirmwareUpdates();
}

void VireoTftp::handleTftpTimeout() {
    m_ack_timer->stop();
    retryOrFail();
}

void VireoTftp::retryOrFail() {
    ++m_retries;
    if (m_retries > m_timing.retry_limit) {
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
    m_image.clear();
    m_offset = 0;
    m_state = kIdle;
}

void VireoTftp::releaseSocket() {
    // Qt ignores connectToHost on a connected socket: let go of the last device.
    disconnect(m_socket, &QUdpSocket::readyRead, this, &VireoTftp::readPendingDatagram);
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->close();
    }
}
