#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/aud_env.h"
#include "platform/aud_log.h"

// An environment whose log lines (threshold and above) are kept. The environment log is not
// locked: only the test's own thread may log while one exists.
class LoggedEnv {
public:
    explicit LoggedEnv(unsigned threshold = AUD_LOG_DEBUG) {
        EXPECT_EQ(aud_env_init(&env_), AUD_SUCCESS);
        aud_log* log = aud_env_log(env_);
        log->callback = &LoggedEnv::capture;
        log->callback_context = this;
        aud_log_set_threshold(log, AUD_LOG_SINK_CALLBACK, threshold);
    }
    ~LoggedEnv() {
        aud_log* log = aud_env_log(env_);
        aud_log_set_threshold(log, AUD_LOG_SINK_CALLBACK, AUD_LOG_NONE);
        log->callback = nullptr;
        aud_env_release(env_);
    }
    LoggedEnv(const LoggedEnv&) = delete;
    LoggedEnv& operator=(const LoggedEnv&) = delete;

    aud_env* env() const { return env_; }
    // The number of lines containing text.
    size_t count(const std::string& text) const {
        size_t n = 0;
        for (const std::string& line : lines_) {
            n += line.find(text) != std::string::npos;
        }
        return n;
    }
    // Whether a line containing text was logged.
    bool logged(const std::string& text) const { return count(text) > 0; }
    const std::vector<std::string>& lines() const { return lines_; }
    void clear() { lines_.clear(); }

private:
    static void capture(void* context, const char*, unsigned, const char* text, size_t length) {
        static_cast<LoggedEnv*>(context)->lines_.emplace_back(text, length);
    }

    aud_env* env_ = nullptr;
    std::vector<std::string> lines_;
};
