#include "SdkDriverThread.h"

#include <QMetaObject>
#include <chrono>

SdkDriverThread::SdkDriverThread(const SdkDriverTiming& timing, QObject* parent)
    : QThread(parent), m_timing(timing) {}

SdkDriverThread::~SdkDriverThread() {
    stop();
}

void SdkDriverThread::stop() {
    m_stopping.store(true);
    requestInterruption();
    exit(0);
    wait();
}

void SdkDriverThread::run() {
    startUp();
    if (!isStopping()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!isStopping()) {
                    firstCycle();
                }
            },
            Qt::QueuedConnection);
    }
    exec();
}

SdkDriverThread::WaitEnd SdkDriverThread::waitUntil(const std::function<bool()>& done,
                                                    const std::function<bool()>& pass) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(m_timing.startup_limit_ms);
    for (;;) {
        if (done()) {
            return WaitEnd::Done;
        }
        if (isStopping() || isInterruptionRequested()) {
            return WaitEnd::Stopped;
        }
        if (Clock::now() >= deadline) {
            return WaitEnd::TimedOut;
        }
        if (!pass()) {
            return WaitEnd::Failed;
        }
    }
}

aud_error_t SdkDriverThread::selectReadable(aud_socket_set& set, unsigned* ready) const {
    const aud_time timeout{m_timing.select_ms / 1000, (m_timing.select_ms % 1000) * 1000};
    return aud_socket_select(&set, nullptr, nullptr, &timeout, ready);
}
