#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

// One queued text command: the record it is for and the datagram to send.
struct UdpCommand {
    QString device_name;
    QByteArray data;
    QHostAddress address;
    quint16 port = 0;
};
