#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "PollSchedule.h"

namespace {

// Ticks that `schedule` gives over `ms` while the thread runs its events; each tick reports
// itself as `busy` with work left.
int ticksOver(PollSchedule& schedule, int ms, int records, bool busy, bool work_left) {
    int ticks = 0;
    QObject::connect(&schedule, &QTimer::timeout, &schedule, [&] {
        ++ticks;
        schedule.ticked(busy, records, work_left);
    });
    QTest::qWait(ms);
    QObject::disconnect(&schedule, &QTimer::timeout, &schedule, nullptr);
    return ticks;
}

TEST(PollSchedule, RepliesStartChainsUpToTheLargerOfTheLimitAndTheRecords) {
    PollSchedule schedule(300, 16);
    schedule.schedule(3);
    EXPECT_EQ(schedule.chains(), 1) << "not running";
    schedule.run(1000);
    for (int i = 0; i < 40; ++i) {
        schedule.schedule(3);
    }
    EXPECT_EQ(schedule.chains(), 16);
    for (int i = 0; i < 40; ++i) {
        schedule.schedule(30);
    }
    EXPECT_EQ(schedule.chains(), 30);
    schedule.run(1000);
    EXPECT_EQ(schedule.chains(), 1) << "a start runs one chain";
}

TEST(PollSchedule, IdleTicksEndChains) {
    PollSchedule schedule(300, 16);
    schedule.run(1000);
    for (int i = 0; i < 10; ++i) {
        schedule.schedule(5);
    }
    ASSERT_EQ(schedule.chains(), 11);
    // While work is left, a whole round of idle ticks (one per record) ends none.
    for (int i = 0; i < 5; ++i) {
        schedule.ticked(false, 5, true);
    }
    EXPECT_EQ(schedule.chains(), 11);
    schedule.ticked(false, 5, true);
    EXPECT_EQ(schedule.chains(), 10);
    // Then one chain a round, not one a tick: a device still waiting keeps its turns coming.
    for (int i = 0; i < 5; ++i) {
        schedule.ticked(false, 5, true);
    }
    EXPECT_EQ(schedule.chains(), 10);
    schedule.ticked(false, 5, true);
    EXPECT_EQ(schedule.chains(), 9);
    // A busy tick starts the round again.
    for (int i = 0; i < 3; ++i) {
        schedule.ticked(false, 5, true);
    }
    schedule.ticked(true, 5, true);
    for (int i = 0; i < 5; ++i) {
        schedule.ticked(false, 5, true);
    }
    EXPECT_EQ(schedule.chains(), 9);
    // Nothing left to identify: one chain at the first idle tick.
    schedule.ticked(true, 5, false);
    EXPECT_EQ(schedule.chains(), 9);
    schedule.ticked(false, 5, false);
    EXPECT_EQ(schedule.chains(), 1);
    schedule.halt();
    schedule.ticked(true, 5, true);
    EXPECT_FALSE(schedule.isActive());
}

TEST(PollSchedule, TicksComeOncePerIntervalForEachChain) {
    PollSchedule one(50, 16);
    one.run(0);
    EXPECT_LE(ticksOver(one, 500, 10, true, true), 11);

    PollSchedule eight(50, 16);
    eight.run(0);
    for (int i = 0; i < 7; ++i) {
        eight.schedule(1);
    }
    const int ticks = ticksOver(eight, 500, 10, true, true);
    EXPECT_LE(ticks, 8 * 10 + 8);
    EXPECT_GE(ticks, 8 * 10 / 2) << "eight chains tick about eight times as often";
}

TEST(PollSchedule, TicksMissedWhileBlockedComeAtMostOncePerChain) {
    PollSchedule schedule(50, 16);
    schedule.run(0);
    for (int i = 0; i < 3; ++i) {
        schedule.schedule(1);
    }
    QThread::msleep(1000);
    // Right after the block: the missed ticks, at most one for each of the four chains.
    int ticks = 0;
    QObject::connect(&schedule, &QTimer::timeout, &schedule, [&] {
        ++ticks;
        schedule.ticked(true, 1, true);
    });
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5) {
        QCoreApplication::processEvents();
    }
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, 4 + 1);
}

}  // namespace
