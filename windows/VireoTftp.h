#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>

#include "TftpTransfer.h"

class QTimer;
class QUdpSocket;
class QWidget;
class VireoDevice;

// Pauses, time-outs and limits of a push.
struct VireoTftpTiming {
    int command_pause_ms = 10000;  // after "FWUPDATE"
    int ack_timeout_ms = 2000;
    int resend_pause_ms = 100;
    int retry_limit = 5;
    quint16 local_port = 6;
};

// Pushes one firmware image to one device: "FWUPDATE\r", a pause, then a write request and
// 256-byte data blocks on UDP port 49494, each acknowledged by the device.
class VireoTftp : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kDevicePort = TftpTransfer::kDevicePort;
    static constexpr int kBlockSize = TftpTransfer::kBlockSize;
    static constexpr qint64 kMaxImageSize = TftpTransfer::kMaxImageSize;

    using Timing = VireoTftpTiming;

    explicit VireoTftp(QWidget* window, const Timing& timing = Timing());
    ~VireoTftp() override;

    // Starts a push; ignored while one is running. An image that cannot be read, is empty
    // or is too large fails at once.
    void start(VireoDevice* device, const QString& path);
    bool isBusy() const { return m_state != TftpTransfer::kIdle; }

signals:
    void deviceResponse(QHostAddress& addr, QByteArray& bytes);
    void ackEvent(uint16_t ack, uint16_t seq);
    void startingUpdate(VireoDevice* dev);
    void updateProgress(VireoDevice* dev, int block, int numBlocks);
    void finishedUpdate(VireoDevice* dev);
    void errorPerformingUpdate(VireoDevice* dev);

public slots:
    void readPendingDatagram();
    void handleDatagram(QHostAddress& addr, QByteArray& bytes);
    void processFirmwareUpdates();
    void processAck(uint16_t ack, uint16_t seq);
    void handleTftpTimeout();

private:
    void send(const TftpTransfer::Bytes& packet);
    void retryOrFail();
    void fail();
    void endPush();
    void releaseSocket();

    const Timing m_timing;
    QPointer<VireoDevice> m_device;
    QUdpSocket* m_socket;
    std::unique_ptr<QTimer> m_ack_timer;
    std::unique_ptr<QTimer> m_resend_timer;
    QString m_path;
    int m_num_blocks = 0;
    TftpTransfer m_transfer;
    int m_state = TftpTransfer::kIdle;
};
