#include <gtest/gtest.h>

#include <vector>

#include "platform/aud_power.h"
#include "util/dt_loop.h"
#include "util/dt_timer.h"

namespace {

void recordState(aud_power_state_monitor* monitor, void* context) {
    static_cast<std::vector<int>*>(context)->push_back(monitor->state);
}

class Power : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(dt_loop_new(&loop_), AUD_SUCCESS); }
    void TearDown() override {
        aud_power_state_monitor_destroy(&monitor_);
        dt_loop_free(loop_);
    }
    void start(dt_loop* loop, aud_time delay) {
        ASSERT_EQ(
            aud_power_state_monitor_init(&monitor_, nullptr, loop, recordState, &states_, &delay),
            AUD_SUCCESS);
    }
    void send(uintptr_t event, unsigned message = AUD_POWER_MESSAGE) {
        EXPECT_EQ(aud_power_state_monitor_wndproc(&monitor_, message, event, 0), 0);
    }

    dt_loop* loop_ = nullptr;
    aud_power_state_monitor monitor_{};
    std::vector<int> states_;
};

TEST_F(Power, WithoutDelayResumeWakesAtOnce) {
    start(loop_, aud_time{0, 0});
    EXPECT_EQ(monitor_.state, AUD_POWER_STATE_AWAKE);
    send(AUD_POWER_EVENT_RESUME);
    send(AUD_POWER_EVENT_SUSPEND);
    send(AUD_POWER_EVENT_SUSPEND);
    send(AUD_POWER_EVENT_SUSPEND, 17);
    send(AUD_POWER_EVENT_RESUME_AUTOMATIC);
    EXPECT_EQ(states_, (std::vector<int>{AUD_POWER_STATE_ASLEEP, AUD_POWER_STATE_AWAKE}));
}

TEST_F(Power, WakeDelayRunsOnTheLoop) {
    start(loop_, aud_time{0, 500000});
    send(AUD_POWER_EVENT_SUSPEND);
    send(AUD_POWER_EVENT_RESUME);
    EXPECT_EQ(monitor_.state, AUD_POWER_STATE_WAKING);
    ASSERT_NE(monitor_.wake_timer, nullptr);
    const aud_time expiry = *dt_timer_get_expiry(monitor_.wake_timer);
    testing::internal::CaptureStderr();
    dt_loop_dispatch_timers(loop_, &expiry);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "aud_power_state_monitor_wake_delay_timeout: wakeup delay complete\n");
    EXPECT_EQ(monitor_.wake_timer, nullptr);
    EXPECT_EQ(states_, (std::vector<int>{AUD_POWER_STATE_ASLEEP, AUD_POWER_STATE_WAKING,
                                         AUD_POWER_STATE_AWAKE}));
}

TEST_F(Power, SuspendDuringTheDelayCancelsIt) {
    start(loop_, aud_time{1, 0});
    send(AUD_POWER_EVENT_SUSPEND);
    send(AUD_POWER_EVENT_RESUME);
    const aud_time expiry = *dt_timer_get_expiry(monitor_.wake_timer);
    send(AUD_POWER_EVENT_SUSPEND);
    EXPECT_EQ(monitor_.wake_timer, nullptr);
    dt_loop_dispatch_timers(loop_, &expiry);
    EXPECT_EQ(monitor_.state, AUD_POWER_STATE_ASLEEP);
    EXPECT_EQ(states_, (std::vector<int>{AUD_POWER_STATE_ASLEEP, AUD_POWER_STATE_WAKING,
                                         AUD_POWER_STATE_ASLEEP}));
}

TEST_F(Power, WithoutALoopTheDelayCannotStartAndTheMonitorWakes) {
    start(nullptr, aud_time{1, 0});
    send(AUD_POWER_EVENT_SUSPEND);
    send(AUD_POWER_EVENT_RESUME);
    EXPECT_EQ(monitor_.state, AUD_POWER_STATE_AWAKE);
    EXPECT_EQ(monitor_.wake_timer, nullptr);
}

}  // namespace
