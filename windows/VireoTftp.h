#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>

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
    static constexpr quint16 kDevicePort = 49494;
    static constexpr int kBlockSize = 256;
    // Block numbers are 16 bits and start at 1, so 65535 blocks at the most.
    static constexpr qint64 kMaxImageSize = qint64(65534) * kBlockSize + kBlockSize - 1;

    using Timing = VireoTftpTiming;

    explicit VireoTftp(QWidget* window, const Timing& timing = Timing());
    ~VireoTftp() override;

    // Starts a push; ignored while one is running. An image that cannot be read, is empty
    // or is too large fails at once.
    void start(VireoDevice* device, const QString& path);
    bool isBusy() const { return m_state != kIdle; }

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
    enum State {
        kIdle = 0,
        kCommand = 1,
        kWriteRequest = 2,
        kBlocks = 3,
        kLastBlock = 4,
        kEmptyBlock = 5
    };

    void send(uint16_t opcode, const QByteArray& payload);
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
    QByteArray m_image;
    int m_offset = 0;  // image bytes acknowledged so far
    int m_last_sent_size = 0;
    int m_state = kIdle;
    uint16_t m_block = 0;
    uint8_t m_retries = 0;
};
