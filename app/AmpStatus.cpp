#include "AmpStatus.h"

#include <QStringList>

AmpStatusDatagram parseAmpStatus(const QByteArray& bytes) {
    AmpStatusDatagram datagram;
    const QString text =
        QString::fromUtf8(bytes.constData(), int(qstrnlen(bytes.constData(), uint(bytes.size()))));
    for (const QString& line : text.split(QLatin1Char('\r'))) {
        if (line.isEmpty()) {
            continue;
        }
        const QStringList words = line.split(QLatin1Char(' '));
        const QStringList values =
            words.size() == 2 ? words.at(1).split(QLatin1Char(',')) : QStringList();
        if (values.size() != 3) {
            if (datagram.rejected++ == 0) {
                datagram.first_rejected = line;
            }
            continue;
        }
        datagram.lines.append({values.at(0).toInt(), values.at(1).toInt(), values.at(2).toInt()});
    }
    return datagram;
}
