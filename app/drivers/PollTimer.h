#pragma once

#include <QTimer>

// The one single-shot timer of a controller's poll. While the controller runs, every tick
// arms it again; replies ask for a tick sooner, never later.
class PollTimer : public QTimer {
    Q_OBJECT
public:
    PollTimer(int tick_ms, QObject* parent = nullptr);

    // Running; the first tick after `first_ms`.
    void run(int first_ms);
    // Not running; no tick is due.
    void halt();
    // While running: one tick after the tick interval, unless one is due sooner.
    void schedule();
    // While running: the next tick after the tick interval.
    void next();

private:
    const int m_tick_ms;
    bool m_running = false;
};
