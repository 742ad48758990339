#pragma once

#include <cstdint>

#include "platform/aud_error.h"
#include "platform/aud_time.h"

struct aud_env;
struct dt_loop;
struct dt_timer;

enum aud_power_state {
    AUD_POWER_STATE_AWAKE = 1,
    AUD_POWER_STATE_ASLEEP = 2,
    AUD_POWER_STATE_WAKING = 3  // the wake delay is running
};

// The power notification and its events, as the system numbers them.
enum {
    AUD_POWER_MESSAGE = 536,
    AUD_POWER_EVENT_SUSPEND = 4,
    AUD_POWER_EVENT_RESUME = 7,
    AUD_POWER_EVENT_RESUME_AUTOMATIC = 18
};

struct aud_power_state_monitor;
typedef void (*aud_power_state_callback)(aud_power_state_monitor* monitor, void* context);

// Follows the machine's sleep and wake-up; after a wake-up the state stays "waking" for the
// wake delay (timed on loop; without a loop the monitor is awake at once).
struct aud_power_state_monitor {
    aud_env* env;
    dt_loop* loop;
    aud_power_state_callback callback;
    void* context;
    dt_timer* wake_timer;
    aud_time wake_delay;
    int state;
};

aud_error_t aud_power_state_monitor_init(aud_power_state_monitor* monitor, aud_env* env,
                                         dt_loop* loop, aud_power_state_callback callback,
                                         void* context, const aud_time* wake_delay);
// Frees a running wake-delay timer.
void aud_power_state_monitor_destroy(aud_power_state_monitor* monitor);

// Feeds one system notification: only AUD_POWER_MESSAGE with a suspend or resume event
// changes the state. Returns 0.
intptr_t aud_power_state_monitor_wndproc(aud_power_state_monitor* monitor, unsigned message,
                                         uintptr_t event, intptr_t data);
// The wake-delay timer's callback.
void aud_power_state_monitor_wake_delay_timeout(dt_timer* timer, void* context);
