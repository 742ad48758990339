#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/aud_env.h"
#include "platform/aud_log.h"

// An environment whose log lines (debug and above) are kept under a mutex, so that a driver
// thread may log while the test reads them.
class LockedLogEnv {
public:
    LockedLogEnv() {
        EXPECT_EQ(aud_env_init(&env_), AUD_SUCCESS);
        aud_log* log = aud_env_log(env_);
        log->callback = &LockedLogEnv::capture;
        log->callback_context = this;
        aud_log_set_threshold(log, AUD_LOG_SINK_CALLBACK, AUD_LOG_DEBUG);
    }
    ~LockedLogEnv() {
        aud_log* log = aud_env_log(env_);
        aud_log_set_threshold(log, AUD_LOG_SINK_CALLBACK, AUD_LOG_NONE);
        log->callback = nullptr;
        aud_env_release(env_);
    }
    LockedLogEnv(const LockedLogEnv&) = delete;
    LockedLogEnv& operator=(const LockedLogEnv&) = delete;

    aud_env* env() const { return env_; }
    // The number of lines containing text.
    size_t count(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t n = 0;
        for (const std::string& line : lines_) {
            n += line.find(text) != std::string::npos;
        }
        return n;
    }
    // Whether a line containing text was logged.
    bool logged(const std::string& text) { return count(text) > 0; }

private:
    static void capture(void* context, const char*, unsigned, const char* text, size_t length) {
        auto* self = static_cast<LockedLogEnv*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->lines_.emplace_back(text, length);
    }

    aud_env* env_ = nullptr;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};
