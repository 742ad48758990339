#pragma once

#include <QThread>
#include <QTimer>
#include <atomic>
#include <functional>

#include "SdkDriverTiming.h"
#include "platform/aud_env.h"
#include "platform/aud_socket_set.h"

// Base of the threads that drive one SDK client each. run() does the client's start-up on the
// driver thread, then queues the first polling cycle to the thread the object lives on (the
// GUI thread), so every SDK call after start-up happens there; the driver thread then only
// idles in its event loop. stop() ends start-up waits and the event loop and keeps cycles from
// processing or re-arming afterwards. Signals sent during start-up carry only values.
class SdkDriverThread : public QThread {
    Q_OBJECT
public:
    // How a start-up wait ended.
    enum class WaitEnd { Done, Stopped, Failed, TimedOut };

    explicit SdkDriverThread(const SdkDriverTiming& timing = {}, QObject* parent = nullptr);
    ~SdkDriverThread() override;

    void setEnvironment(aud_env* env) { m_env = env; }
    aud_env* environment() const { return m_env; }
    const SdkDriverTiming& timing() const { return m_timing; }

    // Set once start-up's last SDK call is done.
    bool isStarted() const { return m_started.load(); }
    bool isStopping() const { return m_stopping.load(); }

    // requestInterruption(), exit(0), wait(); returns within a few milliseconds of the current
    // start-up pass. Safe to call more than once; subclasses call it before releasing clients.
    void stop();

protected:
    void run() final;

    // The client's start-up, on the driver thread.
    virtual void startUp() = 0;
    // The first polling cycle, run on the object's own (GUI) thread.
    virtual void firstCycle() = 0;

    void setStarted() { m_started.store(true); }

    // Repeats pass() until done() holds, a stop is asked for, pass() fails or the start-up
    // limit has passed (checked in that order before every pass).
    WaitEnd waitUntil(const std::function<bool()>& done, const std::function<bool()>& pass);

    // Waits up to the select time for a socket of set to be readable; set then holds the
    // ready ones. The result of aud_socket_select.
    aud_error_t selectReadable(aud_socket_set& set, unsigned* ready) const;

    // Runs slot after ms unless a stop has been asked for by then (or now).
    template <class Driver, class Result>
    void rearm(int ms, Result (Driver::*slot)()) {
        if (isStopping()) {
            return;
        }
        Driver* driver = static_cast<Driver*>(this);
        QTimer::singleShot(ms, driver, [driver, slot] {
            if (!driver->isStopping()) {
                (driver->*slot)();
            }
        });
    }

private:
    const SdkDriverTiming m_timing;
    aud_env* m_env = nullptr;
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_stopping{false};
};
