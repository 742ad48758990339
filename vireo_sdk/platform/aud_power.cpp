#include "platform/aud_power.h"

#include <cstdio>

#include "platform/aud_env.h"
#include "util/dt_timer.h"

namespace {

void changed(aud_power_state_monitor* monitor, int state) {
    monitor->state = state;
    if (monitor->callback) {
        monitor->callback(monitor, monitor->context);
    }
}

void dropTimer(aud_power_state_monitor* monitor) {
    if (monitor->wake_timer) {
        dt_timer_cancel(monitor->wake_timer);
        dt_timer_free(monitor->wake_timer);
        monitor->wake_timer = nullptr;
    }
}

void resume(aud_power_state_monitor* monitor) {
    const aud_time& delay = monitor->wake_delay;
    if ((delay.seconds == 0 && delay.microseconds == 0) || monitor->wake_timer) {
        changed(monitor, AUD_POWER_STATE_AWAKE);
        return;
    }
    const aud_error_t result =
        dt_timer_schedule_once(monitor->loop, aud_power_state_monitor_wake_delay_timeout, nullptr,
                               &delay, monitor, &monitor->wake_timer);
    if (result != AUD_SUCCESS) {
        monitor->wake_timer = nullptr;
        aud_log_printf(aud_env_log(monitor->env), AUD_LOG_ERROR,
                       "%s: error starting wake delay: %u)\n", "aud_power_state_monitor_wndproc",
                       static_cast<unsigned>(result));
        changed(monitor, AUD_POWER_STATE_AWAKE);
        return;
    }
    changed(monitor, AUD_POWER_STATE_WAKING);
}

}  // namespace

aud_error_t aud_power_state_monitor_init(aud_power_state_monitor* monitor, aud_env* env,
                                         dt_loop* loop, aud_power_state_callback callback,
                                         void* context, const aud_time* wake_delay) {
    if (!monitor) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    *monitor = aud_power_state_monitor{env,
                                       loop,
                                       callback,
                                       context,
                                       nullptr,
                                       wake_delay ? *wake_delay : aud_time{},
                                       AUD_POWER_STATE_AWAKE};
    aud_time_normalise(&monitor->wake_delay);
    return AUD_SUCCESS;
}

void aud_power_state_monitor_destroy(aud_power_state_monitor* monitor) {
    if (monitor) {
        dropTimer(monitor);
    }
}

intptr_t aud_power_state_monitor_wndproc(aud_power_state_monitor* monitor, unsigned message,
                                         uintptr_t event, intptr_t data) {
    if (!monitor || message != AUD_POWER_MESSAGE) {
        return 0;
    }
    static const char* const kName = "aud_power_state_monitor_wndproc";
    aud_log* log = aud_env_log(monitor->env);
    aud_log_printf(log, AUD_LOG_NOTICE, "%s(%p,%u,%p,%p): starting (state=%d)\n", kName,
                   static_cast<void*>(monitor), message, reinterpret_cast<void*>(event),
                   reinterpret_cast<void*>(data), monitor->state);
    if (event == AUD_POWER_EVENT_SUSPEND) {
        if (monitor->state != AUD_POWER_STATE_ASLEEP) {
            dropTimer(monitor);
            changed(monitor, AUD_POWER_STATE_ASLEEP);
        }
    } else if (event == AUD_POWER_EVENT_RESUME || event == AUD_POWER_EVENT_RESUME_AUTOMATIC) {
        if (monitor->state == AUD_POWER_STATE_ASLEEP) {
            resume(monitor);
        }
    }
    aud_log_printf(log, AUD_LOG_NOTICE, "%s(%p,%u,%p,%p): finished\n", kName,
                   static_cast<void*>(monitor), message, reinterpret_cast<void*>(event),
                   reinterpret_cast<void*>(data));
    return 0;
}

void aud_power_state_monitor_wake_delay_timeout(dt_timer* timer, void* context) {
    auto* monitor = static_cast<aud_power_state_monitor*>(context);
    if (!monitor || monitor->wake_timer != timer) {
        return;
    }
    std::fprintf(stderr, "%s: wakeup delay complete\n",
                 "aud_power_state_monitor_wake_delay_timeout");
    dt_timer_free(timer);
    monitor->wake_timer = nullptr;
    changed(monitor, AUD_POWER_STATE_AWAKE);
}
