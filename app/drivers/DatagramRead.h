#pragma once

#include <QByteArray>
#include <QHostAddress>

#include <functional>

class QUdpSocket;

// Reads the datagrams pending on `*socket`, each sized to its own length, and hands each one
// with its sender to `take`; stops at a failed read or once `*socket` is null.
void readEachDatagram(QUdpSocket* const& socket,
                      const std::function<void(QHostAddress& sender, QByteArray& bytes)>& take);
