#pragma once

#include <QByteArray>

#include <vector>

#include "FakeDevice.h"

inline sim::Bytes bytesOf(const QByteArray& bytes) {
    return sim::Bytes(bytes.begin(), bytes.end());
}

// "FWUPDATE\r", the write request of "fw_test.bin" and every data block of `image`: what one
// device sees of a push without losses.
inline std::vector<sim::Bytes> cleanPush(const QByteArray& image) {
    std::vector<sim::Bytes> packets = {
        bytesOf("FWUPDATE\r"), bytesOf(QByteArray::fromHex("0002000066775F746573742E62696E0000"))};
    for (int block = 1; (block - 1) * 256 <= image.size(); ++block) {
        sim::Bytes packet = {0x00, 0x03, uint8_t(block >> 8), uint8_t(block)};
        const QByteArray payload = image.mid((block - 1) * 256, 256);
        packet.insert(packet.end(), payload.begin(), payload.end());
        packets.push_back(packet);
        if (payload.size() < 256) {
            break;
        }
    }
    return packets;
}

// Every datagram the device saw, in order.
inline std::vector<sim::Bytes> seen(const sim::FakeDevice& fake) {
    std::vector<sim::Bytes> datagrams;
    for (const auto& datagram : fake.log()) {
        datagrams.push_back(datagram.bytes);
    }
    return datagrams;
}

inline QByteArray imageOf(const sim::FakeDevice& fake) {
    const sim::Bytes bytes = fake.firmwareImage();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
}
