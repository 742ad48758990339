#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "util/dt_loop.h"
#include "util/dt_queue.h"
#include "util/dt_timer.h"

namespace {

aud_time at(int64_t seconds, int32_t microseconds = 0) {
    return aud_time{seconds, microseconds};
}

class Loop : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(dt_loop_new(&loop_), AUD_SUCCESS); }
    void TearDown() override { dt_loop_free(loop_); }

    struct Fired {
        std::vector<std::string>* log;
        std::string name;
    };
    static void record(dt_timer*, void* context) {
        auto* fired = static_cast<Fired*>(context);
        fired->log->push_back(fired->name);
    }

    dt_loop* loop_ = nullptr;
    std::vector<std::string> log_;
};

TEST_F(Loop, TimersWithTheSameExpiryFireInSchedulingOrder) {
    Fired a{&log_, "a"}, b{&log_, "b"}, c{&log_, "c"}, early{&log_, "early"};
    dt_timer* timers[4];
    const aud_time when = at(100);
    ASSERT_EQ(dt_timer_schedule_once(loop_, record, &when, nullptr, &a, &timers[0]), AUD_SUCCESS);
    ASSERT_EQ(dt_timer_schedule_once(loop_, record, &when, nullptr, &b, &timers[1]), AUD_SUCCESS);
    const aud_time before = at(99, 999999);
    ASSERT_EQ(dt_timer_schedule_once(loop_, record, &before, nullptr, &early, &timers[2]),
              AUD_SUCCESS);
    ASSERT_EQ(dt_timer_schedule_once(loop_, record, &when, nullptr, &c, &timers[3]), AUD_SUCCESS);
    const aud_time not_yet = at(99);
    dt_loop_dispatch_timers(loop_, &not_yet);
    EXPECT_TRUE(log_.empty());
    dt_loop_dispatch_timers(loop_, &when);
    EXPECT_EQ(log_, (std::vector<std::string>{"early", "a", "b", "c"}));
    for (dt_timer* timer : timers) {
        EXPECT_EQ(dt_timer_get_state(timer), DT_TIMER_IDLE);
        EXPECT_EQ(dt_timer_get_expiry(timer), nullptr);
        dt_timer_free(timer);
    }
}

TEST_F(Loop, OnceAddsDelayToTheGivenTimeAndNormalises) {
    Fired a{&log_, "a"};
    dt_timer* timer = nullptr;
    const aud_time base = at(10, 900000);
    const aud_time delay = at(0, 200000);
    ASSERT_EQ(dt_timer_schedule_once(loop_, record, &base, &delay, &a, &timer), AUD_SUCCESS);
    ASSERT_NE(dt_timer_get_expiry(timer), nullptr);
    EXPECT_EQ(dt_timer_get_expiry(timer)->seconds, 11);
    EXPECT_EQ(dt_timer_get_expiry(timer)->microseconds, 100000);
    EXPECT_EQ(dt_timer_schedule_once(loop_, record, nullptr, nullptr, &a, &timer),
              AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dt_timer_schedule_once(nullptr, record, &base, nullptr, &a, &timer),
              AUD_ERR_INVALIDPARAMETER);
}

TEST_F(Loop, RecurringTimerRepeatsUntilCancelled) {
    Fired r{&log_, "r"};
    dt_timer* timer = nullptr;
    const aud_time start = at(5);
    const aud_time interval = at(1);
    const aud_time zero = at(0);
    EXPECT_EQ(dt_timer_schedule_recurring(loop_, record, &start, &zero, &r, &timer),
              AUD_ERR_INVALIDPARAMETER);
    ASSERT_EQ(dt_timer_schedule_recurring(loop_, record, &start, &interval, &r, &timer),
              AUD_SUCCESS);
    for (int64_t now = 5; now <= 7; ++now) {
        const aud_time t = at(now);
        dt_loop_dispatch_timers(loop_, &t);
    }
    EXPECT_EQ(log_.size(), 3u);
    EXPECT_EQ(dt_timer_get_expiry(timer)->seconds, 8);
    EXPECT_EQ(dt_timer_cancel(timer), AUD_SUCCESS);
    const aud_time later = at(20);
    dt_loop_dispatch_timers(loop_, &later);
    EXPECT_EQ(log_.size(), 3u);
    EXPECT_EQ(dt_timer_free(timer), AUD_SUCCESS);
}

struct SelfFree {
    int calls = 0;
    dt_timer* other = nullptr;
};

void freeSelfAndCancelOther(dt_timer* timer, void* context) {
    auto* state = static_cast<SelfFree*>(context);
    ++state->calls;
    dt_timer_free(timer);
    if (state->other) {
        dt_timer_cancel(state->other);
        state->other = nullptr;
    }
}

TEST_F(Loop, CallbacksMayFreeThemselvesAndCancelOthersWhileDispatching) {
    SelfFree state;
    dt_timer* first = nullptr;
    dt_timer* second = nullptr;
    const aud_time when = at(1);
    ASSERT_EQ(dt_timer_schedule_once(loop_, freeSelfAndCancelOther, &when, nullptr, &state, &first),
              AUD_SUCCESS);
    ASSERT_EQ(
        dt_timer_schedule_once(loop_, freeSelfAndCancelOther, &when, nullptr, &state, &second),
        AUD_SUCCESS);
    state.other = second;
    dt_loop_dispatch_timers(loop_, &when);
    EXPECT_EQ(state.calls, 1);
    EXPECT_EQ(dt_timer_get_state(second), DT_TIMER_IDLE);
    dt_timer_free(second);
}

void rescheduleOnce(dt_timer* timer, void* context) {
    int* calls = static_cast<int*>(context);
    if (++*calls == 1) {
        const aud_time again = at(1);
        dt_timer_set(timer, &again, nullptr);
        EXPECT_EQ(dt_timer_get_state(timer), DT_TIMER_RESCHEDULED);
    }
}

TEST_F(Loop, TimerRescheduledWhileDispatchingWaitsForTheNextRound) {
    int calls = 0;
    dt_timer* timer = nullptr;
    const aud_time when = at(1);
    ASSERT_EQ(dt_timer_schedule_once(loop_, rescheduleOnce, &when, nullptr, &calls, &timer),
              AUD_SUCCESS);
    dt_loop_dispatch_timers(loop_, &when);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(dt_timer_get_state(timer), DT_TIMER_QUEUED);
    dt_loop_dispatch_timers(loop_, &when);
    EXPECT_EQ(calls, 2);
    dt_timer_free(timer);
}

struct Reads {
    int count = 0;
    bool unregister = false;
};

void onReadable(dt_loop* loop, aud_socket_t socket, int set, void* context) {
    auto* reads = static_cast<Reads*>(context);
    ++reads->count;
    char byte;
    EXPECT_EQ(read(socket, &byte, 1), 1);
    EXPECT_EQ(set, DT_SOCKET_READ);
    if (reads->unregister) {
        EXPECT_EQ(dt_socket_register(loop, socket, set, nullptr, nullptr, DT_REGISTER_ANY),
                  AUD_SUCCESS);
    }
}

TEST_F(Loop, SocketRegistrationModesAndDispatch) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    Reads reads;
    EXPECT_EQ(
        dt_socket_register(loop_, pair[0], DT_SOCKET_READ, onReadable, &reads, DT_REGISTER_CHANGE),
        AUD_ERR_NOTFOUND);
    ASSERT_EQ(
        dt_socket_register(loop_, pair[0], DT_SOCKET_READ, onReadable, &reads, DT_REGISTER_ADD),
        AUD_SUCCESS);
    EXPECT_EQ(
        dt_socket_register(loop_, pair[0], DT_SOCKET_READ, onReadable, &reads, DT_REGISTER_ADD),
        AUD_ERR_ALREADY);
    EXPECT_EQ(
        dt_socket_register(loop_, pair[0], DT_SOCKET_READ, onReadable, &reads, DT_REGISTER_CHANGE),
        AUD_SUCCESS);
    EXPECT_EQ(dt_socket_register(loop_, -1, DT_SOCKET_READ, onReadable, &reads, 0),
              AUD_ERR_INVALIDPARAMETER);

    const aud_time wait = at(0, 1000);
    dt_loop_run_once(loop_, &wait);
    EXPECT_EQ(reads.count, 0);
    ASSERT_EQ(write(pair[1], "xy", 2), 2);
    dt_loop_run_once(loop_, &wait);
    EXPECT_EQ(reads.count, 1);
    reads.unregister = true;
    dt_loop_run_once(loop_, &wait);
    EXPECT_EQ(reads.count, 2);
    ASSERT_EQ(write(pair[1], "z", 1), 1);
    dt_loop_run_once(loop_, &wait);
    EXPECT_EQ(reads.count, 2);
    close(pair[0]);
    close(pair[1]);
}

struct Reader {
    std::vector<std::string>* log;
    std::string name;
    aud_socket_t unregister = AUD_SOCKET_INVALID;  // released by this callback
};

void onReadableReader(dt_loop* loop, aud_socket_t socket, int set, void* context) {
    auto* reader = static_cast<Reader*>(context);
    reader->log->push_back(reader->name);
    char byte;
    EXPECT_EQ(read(socket, &byte, 1), 1);
    if (reader->unregister != AUD_SOCKET_INVALID) {
        EXPECT_EQ(
            dt_socket_register(loop, reader->unregister, set, nullptr, nullptr, DT_REGISTER_CHANGE),
            AUD_SUCCESS);
    }
}

TEST_F(Loop, ACallbackReleasingTheNextRegistrationDoesNotSkipTheRest) {
    int pairs[3][2];
    Reader readers[3] = {{&log_, "a"}, {&log_, "b"}, {&log_, "c"}};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pairs[i]), 0);
        ASSERT_EQ(write(pairs[i][1], "x", 1), 1);
        ASSERT_EQ(dt_socket_register(loop_, pairs[i][0], DT_SOCKET_READ, onReadableReader,
                                     &readers[i], DT_REGISTER_ADD),
                  AUD_SUCCESS);
    }
    readers[0].unregister = pairs[1][0];
    const aud_time wait = at(0, 1000);
    dt_loop_run_once(loop_, &wait);
    EXPECT_EQ(log_, (std::vector<std::string>{"a", "c"}));
    // The released registration is gone; the socket can be registered again.
    readers[0].unregister = AUD_SOCKET_INVALID;
    EXPECT_EQ(dt_socket_register(loop_, pairs[1][0], DT_SOCKET_READ, onReadableReader, &readers[1],
                                 DT_REGISTER_ADD),
              AUD_SUCCESS);
    ASSERT_EQ(write(pairs[0][1], "x", 1), 1);
    ASSERT_EQ(write(pairs[2][1], "x", 1), 1);
    log_.clear();
    dt_loop_run_once(loop_, &wait);
    EXPECT_EQ(log_, (std::vector<std::string>{"a", "c", "b"}));
    for (auto& pair : pairs) {
        close(pair[0]);
        close(pair[1]);
    }
}

TEST_F(Loop, RunOnceFiresDueTimers) {
    Fired a{&log_, "a"};
    dt_timer* timer = nullptr;
    const aud_time delay = at(0, 2000);
    ASSERT_EQ(dt_timer_schedule_once(loop_, record, nullptr, &delay, &a, &timer), AUD_SUCCESS);
    const aud_time wait = at(1);
    for (int round = 0; round < 100 && log_.empty(); ++round) {
        dt_loop_run_once(loop_, &wait);
    }
    EXPECT_EQ(log_, std::vector<std::string>{"a"});
    dt_timer_free(timer);
}

struct QueueRun {
    std::vector<uint32_t> positions;
    dt_queue* queue = nullptr;
};

void queued(uint32_t position, void* context) {
    auto* run = static_cast<QueueRun*>(context);
    run->positions.push_back(position);
    if (run->positions.size() == 1) {
        dt_queue_add(run->queue, queued, run);
    }
}

TEST(Queue, RunsEachCallbackOnceAndKeepsNewOnesForTheNextRun) {
    QueueRun run;
    ASSERT_EQ(dt_queue_new(2, &run.queue), AUD_SUCCESS);
    EXPECT_EQ(dt_queue_add(run.queue, queued, &run), AUD_SUCCESS);
    EXPECT_EQ(dt_queue_add(run.queue, queued, &run), AUD_SUCCESS);
    EXPECT_EQ(dt_queue_add(run.queue, queued, &run), AUD_ERR_NOBUFS);
    size_t count = 0;
    ASSERT_EQ(dt_queue_run(run.queue, &count), AUD_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(run.positions, (std::vector<uint32_t>{0x80000001u, 0x80000002u}));
    ASSERT_EQ(dt_queue_run(run.queue, &count), AUD_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(run.positions.back(), 1u);
    ASSERT_EQ(dt_queue_run(run.queue, &count), AUD_SUCCESS);
    EXPECT_EQ(count, 0u);
    dt_queue_free(run.queue);
    EXPECT_EQ(dt_queue_run(nullptr, &count), AUD_ERR_NOTINITIALISED);
}

}  // namespace
