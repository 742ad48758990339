#pragma once

#include <cstddef>
#include <cstdint>

#include "SdkDriverTiming.h"
#include "conmon/conmon_client.h"

// Settings of the conmon driver; the product's values by default.
struct ConmonDriverSettings {
    SdkDriverTiming timing;
    int deadline_ms = 3000;                    // a request unanswered this long times out
    size_t max_requests = 1000;                // the conmon client's request table
    uint16_t server_port = 8900;               // of the local conmon server on 127.0.0.1
    conmon_client_reconnect_timing reconnect;  // keepalive and reconnection of the client
};
