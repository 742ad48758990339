#pragma once

#include <QtGlobal>

#include <memory>

#include "ZEB_Device.h"

class QUdpSocket;
class VireoDevice;

// The UDP transport to one device's control port. The socket's connection is the only
// record of the attached device.
class QtZEB_Device : public zeb::ZEB_Device {
public:
    static constexpr quint16 kControlPort = 49494;
    static constexpr int kDefaultWaitMs = 1000;
    static constexpr quint16 kDefaultLocalPort = 6;

    explicit QtZEB_Device(int wait_ms = kDefaultWaitMs, quint16 local_port = kDefaultLocalPort);
    ~QtZEB_Device() override;

    // Attaches to the device's address, port 49494; null (or a device without an address)
    // detaches.
    void SetDevice(VireoDevice* device);

protected:
    bool SendText(const QString& text) override;
    bool SendFrame(const zeb::Frame& frame) override;
    bool ReceiveText(QString& text) override;
    bool ReceiveFrame(zeb::Frame& frame) override;

private:
    bool readDatagram(QByteArray& datagram);

    std::unique_ptr<QUdpSocket> m_socket;
    int m_wait_ms;
    quint16 m_local_port;
};
