#include "PollSchedule.h"

#include <algorithm>

PollSchedule::PollSchedule(int tick_ms, int min_limit, QObject* parent)
    : QTimer(parent),
      m_tick(std::chrono::milliseconds(std::max(tick_ms, 1))),
      m_min_limit(std::max(min_limit, 1)) {
    setObjectName(QStringLiteral("pollTimer"));
    setSingleShot(true);
    setTimerType(Qt::PreciseTimer);
}

void PollSchedule::run(int first_ms) {
    m_running = true;
    m_chains = 1;
    m_idle_ticks = 0;
    m_due = Clock::now() + std::chrono::milliseconds(std::max(first_ms, 0));
    arm();
}

void PollSchedule::halt() {
    m_running = false;
    stop();
}

void PollSchedule::schedule(int records) {
    if (!m_running) {
        return;
    }
    if (m_chains < std::max(m_min_limit, records)) {
        ++m_chains;
    }
    const Clock::time_point soonest = Clock::now() + interval();
    if (m_due > soonest) {
        m_due = soonest;
        arm();
    }
}

void PollSchedule::ticked(bool busy, int records, bool work_left) {
    if (!m_running) {
        return;
    }
    m_idle_ticks = busy ? 0 : m_idle_ticks + 1;
    if (!busy && !work_left) {
        m_chains = 1;
    } else if (!busy && m_idle_ticks > records && m_chains > 1) {
        // One chain a round: a device still waiting keeps its turns coming often.
        --m_chains;
        m_idle_ticks = 0;
    }
    m_due += interval();
    // One tick per chain at most for the time the thread was kept from ticking.
    m_due = std::max(m_due, Clock::now() - m_tick + interval());
    arm();
}

void PollSchedule::arm() {
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_due - Clock::now()).count();
    start(int(std::max<decltype(wait)>(wait, 0)));
}
