#pragma once

#include <cstdint>

#include "BrowseDriverSettings.h"
#include "ConmonDriverSettings.h"
#include "RouterTiming.h"
#include "SdkDriverTiming.h"

// Timings and ports of the four SDK drivers of the controller; the product's values by default.
struct VireoDriverSettings {
    SdkDriverTiming cmm;    // the configuration driver
    uint16_t cmm_port = 0;  // of the configuration service (0: its default, 8850)
    BrowseDriverSettings browse;
    RouterTiming router;
    ConmonDriverSettings conmon;
};
