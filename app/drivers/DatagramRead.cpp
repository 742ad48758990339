#include "DatagramRead.h"

#include <QUdpSocket>

void readEachDatagram(QUdpSocket* const& socket,
                      const std::function<void(QHostAddress& sender, QByteArray& bytes)>& take) {
    while (socket && socket->hasPendingDatagrams()) {
        QByteArray bytes(int(qMax<qint64>(socket->pendingDatagramSize(), 0)), '\0');
        QHostAddress sender;
        const qint64 read = socket->readDatagram(bytes.data(), bytes.size(), &sender);
        if (read < 0) {
            return;
        }
        bytes.resize(int(read));
        take(sender, bytes);
    }
}
