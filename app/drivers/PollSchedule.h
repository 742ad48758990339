#pragma once

#include <QTimer>

#include <chrono>

// The one precise timer of a controller's identification poll, standing for a bounded set of
// tick chains: while c chains run, the poll ticks every tick_ms / c. A start runs one chain;
// each reply or time-out starts one more while fewer than the limit run (the larger of
// `min_limit` and the number of records). After each tick the controller says what the tick
// found: an idle tick with nothing left to identify leaves one chain; while work is left, each
// whole round of idle ticks (one per record) ends one chain. Ticks missed while the
// thread was busy come at once, at most one per chain.
class PollSchedule : public QTimer {
    Q_OBJECT
public:
    PollSchedule(int tick_ms, int min_limit, QObject* parent = nullptr);

    // Running with one chain; the first tick after `first_ms`.
    void run(int first_ms);
    // Not running; no tick is due.
    void halt();
    // While running: a reply or time-out starts a chain (up to the limit for `records`), and a
    // tick comes within the new interval.
    void schedule(int records);
    // While running, after a tick: `busy` when it sent or changed something, `work_left` when a
    // record is still to be identified. Arms the next tick.
    void ticked(bool busy, int records, bool work_left);

    int chains() const { return m_chains; }

private:
    using Clock = std::chrono::steady_clock;

    std::chrono::microseconds interval() const { return m_tick / m_chains; }
    void arm();

    const std::chrono::microseconds m_tick;
    const int m_min_limit;
    bool m_running = false;
    int m_chains = 1;
    int m_idle_ticks = 0;
    Clock::time_point m_due;
};
