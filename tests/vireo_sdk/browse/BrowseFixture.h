#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "../LoggedEnv.h"
#include "browse/db_browse.h"
#include "platform/aud_env.h"
#include "platform/aud_log.h"

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
