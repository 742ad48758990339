#pragma once

#include "SdkDriverTiming.h"

// Settings of the browse driver; the product's values by default.
struct BrowseDriverSettings {
    SdkDriverTiming timing;
    int resolve_timeout_ms = 30000;  // a resolve that gets no answer ends after this
    bool updater = false;            // the update utility's browse (no via rows, no SAP)
};
