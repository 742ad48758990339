#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include "platform/aud_sockaddr.h"
#include "platform/aud_socket.h"

// The small process-wide log of a few SDK functions. Its levels run the other way round from
// the environment log's: higher is more severe, and a message is written when its level is at
// least the threshold.
enum aud_module_log_level {
    AUD_MODULE_LOG_NO_ERROR = 0,
    AUD_MODULE_LOG_DEBUG = 1,
    AUD_MODULE_LOG_INFO = 2,
    AUD_MODULE_LOG_NOTICE = 3,
    AUD_MODULE_LOG_WARNING = 4,
    AUD_MODULE_LOG_ERROR = 5,
    AUD_MODULE_LOG_CRITICAL = 6,
    AUD_MODULE_LOG_FATAL = 7
};

enum {
    AUD_MODULE_LOG_STDOUT = 1,
    AUD_MODULE_LOG_STDERR = 2,
    AUD_MODULE_LOG_EVENT_LOG = 4,
    AUD_MODULE_LOG_NETWORK = 0x10,
    AUD_MODULE_LOG_FILE = 0x20
};

struct aud_module_log_settings {
    unsigned sinks;  // AUD_MODULE_LOG_* flags
    unsigned threshold;
    unsigned console_threshold;
    bool console_time;
    FILE* file;  // not owned
    unsigned network_threshold;
    bool network_time;
    aud_sockaddr network_address;
    aud_socket_t network_socket;  // not owned; -1: none
    bool network_busy;            // set while a network line is being sent
    char* buffer;                 // caller-supplied format buffer, or null
    size_t buffer_size;
};

// The settings record, for callers that change where the module log writes.
aud_module_log_settings* aud_module_log_get_settings();

// "No error" .. "Fatal error"; "Undefined error" from 8.
const char* aud_module_log_level_name(unsigned level);

void aud_module_log(unsigned level, const char* format, ...);
void aud_module_vlog(unsigned level, const char* format, va_list arguments);
