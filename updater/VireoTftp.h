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

namespace kolvo {

class UpdateContext;
class VireoDevice;

// Pauses, time-outs and limits of a push.
struct VireoTftpTiming {
    int command_pause_ms = 2000;  // after "FWUPDATE"
    int ack_timeout_ms = 2000;
    int resend_pause_ms = 100;  // before a packet is sent again
    int end_pause_ms = 100;     // before the end of a run is reported
    int retry_limit = 10;       // failed tries in a row a device may have
    // While a device is pushed the table is refreshed at most once per interval (0: at every
    // block), and once when the device is done.
    int refresh_interval_ms = 50;
    quint16 local_port = 6;  // of "FWUPDATE"; where it cannot be bound, any port
};

// Pushes one firmware image to every selected device of the update table in turn: to each,
// "FWUPDATE\r", a pause, then a write request and 256-byte data blocks on UDP port 49494,
// each acknowledged. Writes each device's progress value, skips a device that stops
// answering, and reports the end of the run once.
//
// Datagrams are sent unconnected and only those from the device's address and port are
// read, so a device that has gone (an ICMP refusal) costs tries like any missing
// acknowledgement; only other send failures are write errors, which end the run.
class VireoTftp : public QObject {
    Q_OBJECT
public:
    using Timing = VireoTftpTiming;

    // `image` is the checked image of `path`; it is pushed as it is.
    VireoTftp(UpdateContext& context, const QString& path, const QByteArray& image,
              const Timing& timing = Timing(), QObject* parent = nullptr);
    ~VireoTftp() override;

    bool isRunning() const { return m_running; }

signals:
    void DeviceResponse(QHostAddress& addr, QByteArray& bytes);
    void ackEvent(uint16_t ack, uint16_t seq);
    void finishedUpdates();

public slots:
    void readPendingDataGram();
    void handleDataGram(QHostAddress& addr, QByteArray& bytes);
    // Starts a run over the selected devices; ignored while one runs.
    void startFirmwareUpdates();
    // The run ends when the current device is done.
    void cancelFirmwareUpdates();
    void processFirmwareUpdates();
    void processAck(uint16_t ack, uint16_t seq);
    void handleTftpTimeout();

private:
    void startNextDevice();
    bool openSocket();
    void send(const TftpTransfer::Bytes& packet);
    void failedTry();
    void abandonDevice();
    void writeError();
    // Stops both timers, lets go of the socket and sets the next state, so that nothing of
    // this device can come back while a box is up; shows a held-back progress refresh.
    void endDevice(int next_state);
    void showError(const QString& text);
    void progressChanged();
    void refreshTable();
    void releaseSocket();

    UpdateContext& m_context;
    const Timing m_timing;
    QPointer<VireoDevice> m_device;
    QHostAddress m_address;  // the device's, taken when it starts
    int m_row = 0;           // where the search for the next selected device starts
    QUdpSocket* m_socket;
    std::unique_ptr<QTimer> m_ack_timer;
    // Resends, and the pauses after the command and before the end of a run.
    std::unique_ptr<QTimer> m_resend_timer;
    std::unique_ptr<QTimer> m_refresh_timer;
    QString m_path;
    TftpTransfer m_transfer;
    QByteArray m_receive_buffer;
    QHostAddress m_sender;  // of the last datagram read
    int m_state = TftpTransfer::kIdle;
    bool m_cancel = false;
    bool m_running = false;
    bool m_refresh_due = false;
};

}  // namespace kolvo
