#pragma once

#include <cstddef>
#include <cstdio>

#include "platform/aud_error.h"
#include "platform/aud_sockaddr.h"
#include "platform/aud_socket.h"

// Levels of the environment log; a message of level L goes to a sink whose threshold >= L.
enum aud_log_level {
    AUD_LOG_NONE = 0,
    AUD_LOG_CRITICAL = 1,
    AUD_LOG_ERROR = 2,
    AUD_LOG_WARNING = 3,
    AUD_LOG_NOTICE = 4,
    AUD_LOG_INFO = 5,
    AUD_LOG_DEBUG = 6,
    AUD_LOG_VERBOSE = 7
};

// Sinks, in the order of the threshold array.
enum aud_log_sink {
    AUD_LOG_SINK_NETWORK = 0,
    AUD_LOG_SINK_STDOUT = 1,
    AUD_LOG_SINK_STDERR = 2,
    AUD_LOG_SINK_FILE = 3,
    AUD_LOG_SINK_DEBUGGER = 4,
    AUD_LOG_SINK_CALLBACK = 5,
    AUD_LOG_NUM_SINKS = 6
};

// Sinks that get the time column.
enum {
    AUD_LOG_TIME_NETWORK = 1,
    AUD_LOG_TIME_STDOUT = 2,
    AUD_LOG_TIME_STDERR = 4,
    AUD_LOG_TIME_FILE = 8,
    AUD_LOG_TIME_DEBUGGER = 0x10,
    AUD_LOG_TIME_DEFAULT = AUD_LOG_TIME_STDOUT | AUD_LOG_TIME_STDERR | AUD_LOG_TIME_FILE
};

enum {
    AUD_LOG_NAME_SIZE = 128,
    AUD_LOG_BUFFER_SIZE = 0x4000,
    AUD_LOG_DATAGRAM_SIZE = 1458,
    AUD_LOG_DEBUGGER_LINE_SIZE = 2048,
    AUD_LOG_NUM_DESTINATIONS = 2
};

// time: the time column or null.
typedef void (*aud_log_callback)(void* context, const char* time, unsigned level, const char* text,
                                 size_t length);

struct aud_log_destination {
    aud_socket_t socket;  // -1: none
    aud_sockaddr address;
};

// The log context of an environment. Everything starts at zero: the log is silent until a
// threshold is raised.
struct aud_log {
    char name[AUD_LOG_NAME_SIZE];
    unsigned threshold;  // a message is formatted only when threshold >= its level
    unsigned sink_thresholds[AUD_LOG_NUM_SINKS];
    unsigned time_flags;
    FILE* file;  // not owned
    aud_log_destination destinations[AUD_LOG_NUM_DESTINATIONS];
    aud_log_callback callback;
    void* callback_context;
    char* buffer;
    size_t buffer_size;
    bool buffer_external;  // supplied by the caller: never allocated or freed here
};

// A new log context with the starting settings; null when it cannot be allocated.
aud_log* aud_log_new();
// Frees the context, its buffer (unless external) and closes its network sockets.
void aud_log_free(aud_log* log);

// "None" .. "Verbose"; "Undef" above 7.
const char* aud_log_level_name(unsigned level);
// A sink's threshold; 0 for a null log or an unknown sink.
unsigned aud_log_get_threshold(const aud_log* log, int sink);
// Sets a sink's threshold; the overall threshold follows the highest sink.
aud_error_t aud_log_set_threshold(aud_log* log, int sink, unsigned threshold);
// Sends network lines to address from a socket of the log's own; null address stops it.
aud_error_t aud_log_set_network(aud_log* log, int index, const aud_sockaddr* address);

void aud_log_printf(aud_log* log, unsigned level, const char* format, ...);
void aud_log_vprintf(aud_log* log, unsigned level, const char* format, va_list arguments);

// The time column of now: 15 characters such as "Jan  2 03:04:05" into buffer (16 bytes).
void aud_log_time_column(char* buffer);
