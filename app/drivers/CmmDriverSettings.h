#pragma once

#include <cstdint>

#include "SdkDriverTiming.h"

// Settings of the configuration driver; the product's values by default.
struct CmmDriverSettings {
    SdkDriverTiming timing;
    uint16_t port = 0;               // of the configuration service (0: its default, 8850)
    int keepalive_ms = 10000;        // a keepalive this often while connected
    int service_timeout_ms = 31000;  // silence this long: the service is lost
    int reconnect_ms = 5000;         // once it is lost, the pause before each connect
};
