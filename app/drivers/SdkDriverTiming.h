#pragma once

// Timings of an SDK driver thread; the product's values by default.
struct SdkDriverTiming {
    int cycle_ms = 100;            // pause between two polling cycles
    int select_ms = 1;             // how long one cycle waits for its sockets
    int startup_limit_ms = 31000;  // how long a start-up wait may last
};
