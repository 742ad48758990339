#pragma once

#include "SdkDriverTiming.h"

// Timings of the router driver; the product's values by default.
struct RouterTiming {
    SdkDriverTiming cycle;          // m_process every 100 ms, 1 ms for its sockets
    int poll_ms = 1000;             // m_poll_changes polls one model this often
    int reopen_ms = 5000;           // a device not ACTIVE this long after opening is reopened
    int open_sleep_ms = 100;        // pause after opening a device
    int update_sleep_ms = 10;       // pause after each stale component's update
    int request_timeout_ms = 5000;  // an unanswered routing request ends after this
};
