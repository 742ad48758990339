#include "platform/aud_time.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace {

aud_error_t readClock(clockid_t clock, aud_time* time) {
    if (!time) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    timespec now;
    if (clock_gettime(clock, &now) != 0) {
        return aud_error_from_errno(errno, 0);
    }
    time->seconds = now.tv_sec;
    time->microseconds = static_cast<int32_t>(now.tv_nsec / 1000);
    return AUD_SUCCESS;
}

}  // namespace

aud_error_t aud_time_get(aud_time* time) {
    return readClock(CLOCK_REALTIME, time);
}

aud_error_t aud_time_get_monotonic(aud_time* time) {
    return readClock(CLOCK_MONOTONIC, time);
}

const char* aud_time_to_string(const aud_time* time, char* buffer) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    thread_local char own[AUD_TIME_STRING_SIZE];
    if (!buffer) {
        buffer = own;
    }
    aud_time now{};
    if (!time) {
        aud_time_get(&now);
        time = &now;
    }
    const time_t seconds = static_cast<time_t>(time->seconds);
    tm parts{};
    if (!localtime_r(&seconds, &parts) || parts.tm_year + 1900 > 9999 || parts.tm_year < -1900) {
        buffer[0] = '\0';
        return buffer;
    }
    std::snprintf(buffer, AUD_TIME_STRING_SIZE, "%.3s %.3s %2d %02d:%02d:%02d %d\n",
                  kDays[parts.tm_wday], kMonths[parts.tm_mon], parts.tm_mday, parts.tm_hour,
                  parts.tm_min, parts.tm_sec, parts.tm_year + 1900);
    return buffer;
}

void aud_time_normalise(aud_time* time) {
    time->seconds += time->microseconds / 1000000;
    time->microseconds %= 1000000;
    if (time->microseconds < 0) {
        time->microseconds += 1000000;
        time->seconds -= 1;
    }
}

aud_time aud_time_add(const aud_time* a, const aud_time* b) {
    aud_time sum{a->seconds + b->seconds, a->microseconds + b->microseconds};
    aud_time_normalise(&sum);
    return sum;
}

int aud_time_compare(const aud_time* a, const aud_time* b) {
    if (a->seconds != b->seconds) {
        return a->seconds < b->seconds ? -1 : 1;
    }
    if (a->microseconds != b->microseconds) {
        return a->microseconds < b->microseconds ? -1 : 1;
    }
    return 0;
}

aud_error_t aud_process_get_id(uint32_t* id) {
    if (!id) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    *id = static_cast<uint32_t>(getpid());
    return AUD_SUCCESS;
}

aud_error_t aud_os_version(uint32_t* major, uint32_t* minor) {
    if (!major || !minor) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    utsname name;
    if (uname(&name) != 0) {
        return aud_error_from_errno(errno, 0);
    }
    unsigned a = 0;
    unsigned b = 0;
    if (std::sscanf(name.release, "%u.%u", &a, &b) < 1) {
        return AUD_ERR_SYSTEM;
    }
    *major = a;
    *minor = b;
    return AUD_SUCCESS;
}
