#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <atomic>

#include "DriverWait.h"
#include "SdkDriverThread.h"

namespace {

// A driver whose start-up waits until told to finish, then cycles every cycle_ms.
class ProbeDriver : public SdkDriverThread {
public:
    explicit ProbeDriver(const SdkDriverTiming& timing) : SdkDriverThread(timing) {}
    ~ProbeDriver() override { stop(); }

    std::atomic<bool> finish_startup{false};
    std::atomic<bool> fail_pass{false};
    std::atomic<int> passes{0};
    std::atomic<int> wait_end{-1};
    std::atomic<int> cycles{0};
    std::atomic<bool> cycles_on_object_thread{true};

    int cycle() {
        ++cycles;
        if (QThread::currentThread() != thread()) {
            cycles_on_object_thread = false;
        }
        rearm(timing().cycle_ms, &ProbeDriver::cycle);
        return 0;
    }

protected:
    void startUp() override {
        const WaitEnd end = waitUntil([this] { return finish_startup.load(); },
                                      [this] {
                                          ++passes;
                                          aud_socket_set set;
                                          aud_socket_set_clear(&set);
                                          return !fail_pass && selectReadable(set, nullptr) == 0;
                                      });
        wait_end = static_cast<int>(end);
        if (end == WaitEnd::Done) {
            setStarted();
        }
    }
    void firstCycle() override { cycle(); }
};

SdkDriverTiming fastTiming(int limit_ms = 31000) {
    SdkDriverTiming timing;
    timing.cycle_ms = 10;
    timing.startup_limit_ms = limit_ms;
    return timing;
}

}  // namespace

TEST(SdkDriverThread, EveryCycleRunsOnTheObjectsThreadAndNoneAfterStop) {
    ProbeDriver driver(fastTiming());
    driver.finish_startup = true;
    driver.start();
    ASSERT_TRUE(waitFor([&] { return driver.cycles >= 5; }));
    EXPECT_TRUE(driver.isStarted());
    EXPECT_TRUE(driver.cycles_on_object_thread);
    EXPECT_EQ(driver.wait_end, static_cast<int>(SdkDriverThread::WaitEnd::Done));
    driver.stop();
    QCoreApplication::processEvents();
    const int after_stop = driver.cycles;
    QTest::qWait(60);
    EXPECT_EQ(driver.cycles, after_stop);
    EXPECT_TRUE(driver.isFinished());
}

TEST(SdkDriverThread, StopEndsAStartUpWaitAtOnce) {
    ProbeDriver driver(fastTiming());
    driver.start();
    ASSERT_TRUE(waitFor([&] { return driver.passes > 3; }));
    QElapsedTimer timer;
    timer.start();
    driver.stop();
    EXPECT_LT(timer.elapsed(), 100);
    EXPECT_EQ(driver.wait_end, static_cast<int>(SdkDriverThread::WaitEnd::Stopped));
    EXPECT_FALSE(driver.isStarted());
    QTest::qWait(30);
    EXPECT_EQ(driver.cycles, 0);
}

TEST(SdkDriverThread, StartUpWaitEndsAtItsLimitOrOnAFailedPass) {
    ProbeDriver timed_out(fastTiming(50));
    timed_out.start();
    ASSERT_TRUE(waitFor([&] { return timed_out.wait_end != -1; }));
    EXPECT_EQ(timed_out.wait_end, static_cast<int>(SdkDriverThread::WaitEnd::TimedOut));
    EXPECT_FALSE(timed_out.isStarted());
    EXPECT_TRUE(timed_out.isRunning());  // idles in its event loop until stopped

    ProbeDriver failed(fastTiming());
    failed.fail_pass = true;
    failed.start();
    ASSERT_TRUE(waitFor([&] { return failed.wait_end != -1; }));
    EXPECT_EQ(failed.wait_end, static_cast<int>(SdkDriverThread::WaitEnd::Failed));
    EXPECT_EQ(failed.passes, 1);
}

TEST(SdkDriverThread, StopBeforeStartAndTwiceIsHarmless) {
    ProbeDriver driver(fastTiming());
    driver.stop();
    driver.stop();
    EXPECT_FALSE(driver.isRunning());
}
