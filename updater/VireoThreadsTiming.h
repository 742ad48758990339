#pragma once

#include <QtGlobal>

#include "VireoDriverSettings.h"
#include "VireoTftp.h"

namespace kolvo {

// Timings and the local port of the update utility's controller; the product's values by
// default.
struct VireoThreadsTiming {
    int tick_ms = 300;            // between two ticks of the identification poll
    int first_tick_ms = 150;      // from a start to the first tick
    int poll_chains = 16;         // tick chains at most, or one per record when more
    int reply_ms = 250;           // a text command's reply time-out
    int first_refresh_ms = 100;   // from construction to the first refresh (-1: none)
    int refresh_pause_ms = 1000;  // the pause between stop and start of a restart
    int log_window_ms = 10000;    // one line per sender and kind of peer trouble in this time
    quint16 local_port = 6;       // the command socket's local port, tried first
    VireoDriverSettings drivers;  // the browse always runs as the updater's
    VireoTftpTiming push;
};

}  // namespace kolvo
