#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QLoggingCategory>
#include <QObject>

#include <functional>

#include "UdpCommand.h"

class PeerLogLimit;
class QMutex;
class QTimer;
class QUdpSocket;

// The text-command exchange of a controller: the command socket, the queue of commands, the
// one reply awaited at a time and its reply timer. The controller keeps the record awaited;
// the channel keeps the address a reply is awaited from. GUI thread only.
class TextCommandChannel : public QObject {
    Q_OBJECT
public:
    using Category = const QLoggingCategory& (*)();

    // `peer_log` limits the lines about what peers send; it outlives the channel.
    TextCommandChannel(int reply_ms, Category category, PeerLogLimit& peer_log,
                       QObject* parent = nullptr);

    // Binds the command socket to `local_port`, or to any port when that one is refused.
    void open(quint16 local_port);
    // Stops the reply timer, deletes the queued commands and the socket, awaits nothing.
    void close();

    QUdpSocket* socket() const { return m_socket; }
    QTimer* replyTimer() const { return m_reply_timer; }
    bool hasQueued() const { return !m_queue.isEmpty(); }
    void enqueue(const UdpCommand& command) { m_queue.append(command); }

    // Sends the oldest queued command when the socket is open and no reply is awaited. The
    // command is taken off the queue; `claim` runs with `mutex` held and tells whether its
    // record exists (none: the command is dropped). A sent command awaits a reply from its
    // address and (re)starts the reply timer.
    void pump(QMutex& mutex, const std::function<bool(const UdpCommand&)>& claim);

    // Reads every pending datagram; each one with at least one byte is handed to `datagram`.
    void readPending();

    bool isWaiting() const { return m_waiting; }
    // Awaits nothing any more; the reply timer is left as it is.
    void endWait();
    // Awaits nothing any more and stops the reply timer.
    void cancelWait();
    // Ends the wait when it is for a reply from `sender` (compared as IPv4); tells whether it did.
    bool endWaitFrom(const QHostAddress& sender);

signals:
    void datagram(QHostAddress& sender, QByteArray& bytes);

private:
    const int m_reply_ms;
    const Category m_category;
    PeerLogLimit& m_peer_log;
    QUdpSocket* m_socket = nullptr;
    QTimer* m_reply_timer;
    QList<UdpCommand> m_queue;
    bool m_waiting = false;
    QHostAddress m_awaiting_address;
};
