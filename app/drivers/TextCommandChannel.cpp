#include "TextCommandChannel.h"

#include "DatagramRead.h"
#include "PeerLogLimit.h"
#include "PeerText.h"

#include <QMutex>
#include <QMutexLocker>
#include <QTimer>
#include <QUdpSocket>

namespace {

QString describe(const QHostAddress& address) {
    return address.isNull() ? QStringLiteral("(no address)") : address.toString();
}

}  // namespace

TextCommandChannel::TextCommandChannel(int reply_ms, Category category, PeerLogLimit& peer_log,
                                       QObject* parent)
    : QObject(parent),
      m_reply_ms(reply_ms),
      m_category(category),
      m_peer_log(peer_log),
      m_reply_timer(new QTimer(this)) {
    m_reply_timer->setObjectName(QStringLiteral("replyTimer"));
    m_reply_timer->setSingleShot(true);
    // A coarse timer may end the wait 5 % early.
    m_reply_timer->setTimerType(Qt::PreciseTimer);
}

void TextCommandChannel::open(quint16 local_port) {
    m_waiting = false;
    m_awaiting_address.clear();
    m_socket = new QUdpSocket(this);
    if (!m_socket->bind(QHostAddress::AnyIPv4, local_port)) {
        qCWarning(m_category).noquote()
            << QStringLiteral("command socket: UDP port %1 refused (%2); using another")
                   .arg(local_port)
                   .arg(m_socket->errorString());
        m_socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    }
    connect(m_socket, &QUdpSocket::readyRead, this, &TextCommandChannel::readPending);
}

void TextCommandChannel::close() {
    m_reply_timer->stop();
    m_queue.clear();
    m_waiting = false;
    m_awaiting_address.clear();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->close();
        delete m_socket;
        m_socket = nullptr;
    }
}

void TextCommandChannel::pump(QMutex& mutex, const std::function<bool(const UdpCommand&)>& claim) {
    if (m_queue.isEmpty() || m_waiting || !m_socket) {
        return;
    }
    QMutexLocker lock(&mutex);
    const UdpCommand command = m_queue.takeFirst();
    if (!claim(command)) {
        qCInfo(m_category).noquote()
            << QStringLiteral("text command for %1 dropped: no such device")
                   .arg(escapePeerText(command.device_name));
        return;
    }
    m_awaiting_address = command.address;
    m_waiting = true;
    m_socket->writeDatagram(command.data, command.address, command.port);
    lock.unlock();
    m_reply_timer->start(m_reply_ms);
}

void TextCommandChannel::readPending() {
    readEachDatagram(m_socket, [this](QHostAddress& sender, QByteArray& bytes) {
        if (bytes.isEmpty()) {
            const QString line = m_peer_log.admit(
                sender, PeerLine::EmptyReply,
                QStringLiteral("reply from %1: empty datagram").arg(describe(sender)));
            if (!line.isNull()) {
                qCWarning(m_category).noquote() << line;
            }
            return;
        }
        emit datagram(sender, bytes);
    });
}

void TextCommandChannel::endWait() {
    m_waiting = false;
    m_awaiting_address.clear();
}

void TextCommandChannel::cancelWait() {
    m_reply_timer->stop();
    endWait();
}

bool TextCommandChannel::endWaitFrom(const QHostAddress& sender) {
    if (!m_waiting || sender.toIPv4Address() == 0 ||
        sender.toIPv4Address() != m_awaiting_address.toIPv4Address()) {
        return false;
    }
    cancelWait();
    return true;
}
