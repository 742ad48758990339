#pragma once

#include "BrowseDriverSettings.h"
#include "CmmDriverSettings.h"
#include "ConmonDriverSettings.h"
#include "RouterTiming.h"

// Timings and ports of the four SDK drivers of the controller; the product's values by default.
struct VireoDriverSettings {
    CmmDriverSettings cmm;
    BrowseDriverSettings browse;
    RouterTiming router;
    ConmonDriverSettings conmon;
};
