#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A test image: byte i is i mod 251, then `header` from 0x184 on.
inline QByteArray testImage(int size, const QByteArray& header = QByteArray()) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = char(i % 251);
    }
    for (int i = 0; i < header.size() && 0x184 + i < size; ++i) {
        bytes[0x184 + i] = header[i];
    }
    return bytes;
}

// The header of "fw_test.bin": version 2.10, product id 1 0 12 255 0 0 0 7, "Corvanti".
inline QByteArray testHeader() {
    return QByteArray::fromHex("028A0A8C01000CFF0000000795969798436F7276616E7469");
}

inline QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
    }
    return path;
}
