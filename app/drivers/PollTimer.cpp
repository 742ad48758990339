#include "PollTimer.h"

PollTimer::PollTimer(int tick_ms, QObject* parent) : QTimer(parent), m_tick_ms(tick_ms) {
    setObjectName(QStringLiteral("pollTimer"));
    setSingleShot(true);
}

void PollTimer::run(int first_ms) {
    m_running = true;
    start(first_ms);
}

void PollTimer::halt() {
    m_running = false;
    stop();
}

void PollTimer::schedule() {
    if (m_running && (!isActive() || remainingTime() > m_tick_ms)) {
        start(m_tick_ms);
    }
}

void PollTimer::next() {
    if (m_running) {
        start(m_tick_ms);
    }
}
