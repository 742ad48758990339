#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "ConmonDriverSettings.h"
#include "SdkDriverThread.h"
#include "conmon/conmon_client.h"

struct ConmonReply;

// Owns the application's conmon client: connects it, registers for and subscribes to the
// status channel on the driver thread, then sends standard conmon requests and vendor text
// commands to named devices and reports what comes back. Every request awaiting its answer
// stays in a pending map until the server answers it or its deadline passes
// (conmonTimeout). The map has its own mutex; no signal is sent and no client call made while
// it is held. The client reconnects by itself when the server is lost (a restart, say); the
// cycles then register and subscribe again on the new connection. Requests lost with the old
// connection time out as any unanswered request does.
class OvaltaVireoConmon : public SdkDriverThread {
    Q_OBJECT
public:
    explicit OvaltaVireoConmon(QObject* parent = nullptr,
                               const ConmonDriverSettings& settings = {});
    // Stops the thread, then disconnects and frees the client; pending requests are dropped
    // without signals.
    ~OvaltaVireoConmon() override;

    // Entries of the pending map.
    int pendingRequestCount() const;

    // Start-up has finished and the client is connected, registered and subscribed: false
    // from the moment a cycle sees the connection lost until it has registered and subscribed
    // again on the next one. Safe from any thread.
    bool isReady() const;

    // A standard conmon request (body of size bytes) to the device: 0 and nothing sent before
    // start-up has finished; 40 (NOTCONN) and nothing sent while started but not ready, so the
    // caller asks again later; else the client's result. A request sent is pending.
    aud_error_t sendRequest(const void* body, size_t size, const QString& deviceName);
    // A text command in a vendor message: one byte per character (0 above 0xFF) and a zero
    // byte; 3 for more than 1447 characters. Otherwise as sendRequest.
    aud_error_t sendVendorCommand(const QString& deviceName, const QString& text);

signals:
    void productId(QByteArray id, QString dev_name, uint32_t modelVer, QString modelName,
                   uint32_t softwareVer, uint32_t firmwareVer, uint32_t cap);
    void vireoInfo(QString dev_name, QString model_name);
    void handleMacAddress(QString dev_name, QString mac);
    void mcuVersion(QString dev_name, uint32_t mcuVer);
    void commandResponse(QString dev_name, QString response);
    void conmonTimeout(QString dev_name);

public slots:
    // One polling cycle; re-arms while there is a client. Always 0.
    aud_error_t process();

protected:
    void startUp() override;
    void firstCycle() override;

private:
    using Clock = std::chrono::steady_clock;
    // The registration and subscription of the current connection.
    enum class Session { Down, Registering, Subscribing, Ready };
    struct Pending {
        conmon_client_request_id id;
        Clock::time_point deadline;
        QString device_name;  // empty for start-up requests
    };

    static void onRequestDone(conmon_client* client, conmon_client_request_id id,
                              aud_error_t result);
    static void onMessage(conmon_client* client, unsigned channel_type, unsigned direction,
                          const conmon_message* message);
    static void onChanged(conmon_client* client);
    static void onDevicesChanged(conmon_client* client, size_t count,
                                 const conmon_client_subscription* const* changed);

    aud_error_t send(const QString& deviceName, const uint8_t* vendor_id, const void* body,
                     size_t size);
    // Sends the Register or Subscribe of step, pending under an empty name: whether it went.
    bool sendSessionRequest(Session step);
    // A cycle's look at the connection: a lost one is Down; a new one is registered, then
    // subscribed, one step per answer (a step refused or unanswered starts over).
    void followConnection();
    void addPending(conmon_client_request_id id, const QString& deviceName);
    bool isPending(conmon_client_request_id id) const;
    // Waits in start-up passes until the request id has left the pending map; false when
    // start-up should end (a stop).
    bool waitForRequest(conmon_client_request_id id);
    // Handles what is waiting on the client's socket (at most 64 datagrams), after waiting up
    // to the select time for the first.
    void readWaiting();
    // Reports and releases the requests whose deadline has passed; whether any had.
    bool expire();
    void report(const QString& name, const ConmonReply& reply);
    void log(unsigned level, const char* format, const char* text) const;

    const ConmonDriverSettings m_settings;
    conmon_client* m_client = nullptr;
    mutable QMutex m_mutex;
    std::map<conmon_client_request_id, Pending> m_pending;
    Session m_session = Session::Down;
    conmon_client_request_id m_session_request = 0;  // of the step under way
    bool m_session_answered = false;                 // that step succeeded
    std::atomic<bool> m_ready{false};
};
