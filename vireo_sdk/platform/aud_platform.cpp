#include "platform/aud_platform.h"

#include <cstdlib>
#include <ctime>

namespace {

bool running = false;
unsigned starts = 0;
bool recvmsgReady = false;

}  // namespace

void aud_platform_start() {
    if (running) {
        return;
    }
    running = true;
    ++starts;
    recvmsgReady = true;
    std::srand(static_cast<unsigned>(std::time(nullptr)));
}

void aud_platform_stop() {
    running = false;
}

bool aud_platform_running() {
    return running;
}

unsigned aud_platform_start_count() {
    return starts;
}

bool aud_platform_recvmsg_ready() {
    return recvmsgReady;
}
