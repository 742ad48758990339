#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "browse/db_browse.h"
#include "platform/aud_env.h"
#include "platform/aud_log.h"

// An environment whose log lines (debug and above) are kept, and helpers shared by the browse
// tests.
class LoggedEnv {
public:
    LoggedEnv() {
        EXPECT_EQ(aud_env_init(&env_), AUD_SUCCESS);
        aud_log* log = aud_env_log(env_);
        log->callback = &LoggedEnv::capture;
        log->callback_context = this;
        aud_log_set_threshold(log, AUD_LOG_SINK_CALLBACK, AUD_LOG_DEBUG);
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
    // Whether a line containing text was logged.
    bool logged(const std::string& text) const {
        for (const std::string& line : lines_) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    size_t count(const std::string& text) const {
        size_t n = 0;
        for (const std::string& line : lines_) {
            n += line.find(text) != std::string::npos;
        }
        return n;
    }
    const std::vector<std::string>& lines() const { return lines_; }
    void clear() { lines_.clear(); }

private:
    static void capture(void* context, const char*, unsigned, const char* text, size_t length) {
        static_cast<LoggedEnv*>(context)->lines_.emplace_back(text, length);
    }

    aud_env* env_ = nullptr;
    std::vector<std::string> lines_;
};

// A TXT record of strings "key=value".
inline std::vector<unsigned char> txtRecord(const std::vector<std::string>& items) {
    std::vector<unsigned char> record;
    for (const std::string& item : items) {
        record.push_back(static_cast<unsigned char>(item.size()));
        record.insert(record.end(), item.begin(), item.end());
    }
    return record;
}

// Runs processing passes of browse (each after waiting up to 20 ms on its sockets) until done
// holds; false on time-out. inspect sees each pass's socket set before the wait.
inline bool runPasses(db_browse* browse, const std::function<bool()>& done,
                      std::chrono::milliseconds timeout,
                      const std::function<void(const aud_socket_set&)>& inspect = {}) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        aud_socket_set set{};
        EXPECT_EQ(db_browse_get_sockets(browse, &set), AUD_SUCCESS);
        if (inspect) {
            inspect(set);
        }
        const aud_time wait = {0, 20000};
        aud_socket_select(&set, nullptr, nullptr, &wait, nullptr);
        aud_time next{};
        db_browse_process(browse, &set, &next);
    }
    return true;
}
