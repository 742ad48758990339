#pragma once

#include "VireoDriverSettings.h"

// Driver timings that let a test bring a whole simulated network up within a second or two.
inline VireoDriverSettings fastDriverSettings() {
    VireoDriverSettings drivers;
    drivers.cmm.timing.cycle_ms = 10;
    drivers.browse.timing.cycle_ms = 10;
    drivers.router.cycle.cycle_ms = 10;
    drivers.router.poll_ms = 50;
    drivers.router.open_sleep_ms = 0;
    drivers.router.update_sleep_ms = 0;
    drivers.conmon.timing.cycle_ms = 10;
    drivers.conmon.deadline_ms = 1000;
    return drivers;
}
