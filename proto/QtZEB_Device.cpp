#include "QtZEB_Device.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QUdpSocket>

#include <poll.h>

#include "VireoDevice.h"

namespace {

// Longest single block of the text wait, so a missed readyRead costs at most this much.
constexpr int kTextWaitSliceMs = 50;

void waitReadable(qintptr descriptor, int timeout_ms) {
    pollfd fd{int(descriptor), POLLIN, 0};
    ::poll(&fd, 1, timeout_ms);
}

bool hasDatagram(QUdpSocket& socket) {
    return socket.state() != QAbstractSocket::UnconnectedState && socket.hasPendingDatagrams();
}

}  // namespace

QtZEB_Device::QtZEB_Device(int wait_ms, quint16 local_port)
    : m_socket(std::make_unique<QUdpSocket>()), m_wait_ms(wait_ms), m_local_port(local_port) {
    m_socket->bind(QHostAddress::Any, m_local_port);
}

QtZEB_Device::~QtZEB_Device() {
    m_socket->disconnectFromHost();
    m_socket->close();
}

void QtZEB_Device::SetDevice(VireoDevice* device) {
    // Qt ignores connectToHost on a connected socket, so let go of the old peer first.
    if (m_socket->state() != QAbstractSocket::BoundState) {
        m_socket->disconnectFromHost();
    }
    if (device && !device->getIpAddress().isNull()) {
        // Qt closes a bound socket when it disconnects: bind the local port again where it
        // can be bound, or the next device is talked to from an ephemeral port.
        if (m_socket->state() == QAbstractSocket::UnconnectedState) {
            m_socket->bind(QHostAddress::Any, m_local_port);
        }
        m_socket->connectToHost(device->getIpAddress(), kControlPort, QIODevice::ReadWrite);
    }
}

bool QtZEB_Device::SendText(const QString& text) {
    return m_socket->write(text.toLatin1()) != -1;
}

bool QtZEB_Device::SendFrame(const zeb::Frame& frame) {
    return m_socket->write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size())) != -1;
}

bool QtZEB_Device::readDatagram(QByteArray& datagram) {
    datagram.resize(int(qMax<qint64>(m_socket->pendingDatagramSize(), 0)));
    QHostAddress sender;
    quint16 sender_port = 0;
    const qint64 read =
        m_socket->readDatagram(datagram.data(), datagram.size(), &sender, &sender_port);
    if (read <= 0) {
        return false;
    }
    datagram.resize(int(read));
    return true;
}

bool QtZEB_Device::ReceiveFrame(zeb::Frame& frame) {
    QElapsedTimer clock;
    clock.start();
    // Blocks in poll() without processing events until a datagram or the deadline.
    while (m_socket->state() == QAbstractSocket::ConnectedState && !hasDatagram(*m_socket)) {
        const qint64 remaining = m_wait_ms - clock.elapsed();
        if (remaining <= 0) {
            break;
        }
        waitReadable(m_socket->socketDescriptor(), int(remaining));
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState || !hasDatagram(*m_socket)) {
        return false;
    }
    QByteArray datagram;
    if (!readDatagram(datagram)) {
        return false;
    }
    frame.assign(datagram.begin(), datagram.end());
    return true;
}

bool QtZEB_Device::ReceiveText(QString& text) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // Processes the GUI thread's events while it waits, woken by the socket.
        while (!hasDatagram(*m_socket)) {
            const qint64 remaining = m_wait_ms - clock.elapsed();
            if (remaining <= 0) {
                return false;
            }
            QEventLoop loop;
            QTimer::singleShot(int(qMin<qint64>(remaining, kTextWaitSliceMs)), &loop,
                               &QEventLoop::quit);
            QObject::connect(m_socket.get(), &QUdpSocket::readyRead, &loop, &QEventLoop::quit);
            loop.exec();
        }
        QByteArray datagram;
        if (!readDatagram(datagram)) {
            return false;
        }
        // A frame (a late reply to a framed request) is not text: wait on for the reply.
        if (datagram.at(0) == '\0') {
            continue;
        }
        text = QString::fromUtf8(datagram.constData(),
                                 int(qstrnlen(datagram.constData(), uint(datagram.size()))));
        return true;
    }
}
