#include "platform/aud_module_log.h"

#include <cstdlib>
#include <cstring>

#include "platform/aud_log.h"
#include "util/aud_format.h"

namespace {

aud_module_log_settings settings = {AUD_MODULE_LOG_STDERR,
                                    AUD_MODULE_LOG_WARNING,
                                    AUD_MODULE_LOG_WARNING,
                                    true,
                                    nullptr,
                                    AUD_MODULE_LOG_INFO,
                                    false,
                                    {},
                                    AUD_SOCKET_INVALID,
                                    false,
                                    nullptr,
                                    0};

const char* const kLevelNames[] = {"No error", "Debug", "Info",           "Notice",
                                   "Warning",  "Error", "Critical error", "Fatal error"};

enum { kNetworkLineSize = 4096 };

void writeConsole(FILE* stream, const char* time, const char* name, const char* text) {
    if (time) {
        std::fprintf(stream, "%s ", time);
    }
    const size_t length = std::strlen(text);
    std::fprintf(stream, "%s: %s%s", name, text, text[length - 1] == '\n' ? "" : "\n");
    std::fflush(stream);
}

void logSocket(unsigned level, const char* time, const char* text) {
    if (level < settings.network_threshold || settings.network_busy) {
        return;
    }
    settings.network_busy = true;
    char line[kNetworkLineSize];
    aud_snprintf(line, sizeof line, "%s%s%c %s", time ? time : "", time ? " " : "",
                 aud_module_log_level_name(level)[0], text);
    if (settings.network_socket != AUD_SOCKET_INVALID) {
        const size_t total = std::strlen(line) + 1;
        for (size_t offset = 0; offset < total;) {
            const size_t datagram = AUD_LOG_DATAGRAM_SIZE;
            size_t part = total - offset < datagram ? total - offset : datagram;
            const aud_error_t result = aud_socket_sendto(settings.network_socket, line + offset,
                                                         &part, &settings.network_address);
            if (result != AUD_SUCCESS) {
                const char* symbol = aud_error_get_name(result);
                aud_module_log(AUD_MODULE_LOG_NOTICE, "%s: network logging failed: %s (%d)",
                               "log_socket", symbol ? symbol : "UNKNOWN", result);
                break;
            }
            offset += part;
        }
    }
    settings.network_busy = false;
}

}  // namespace

aud_module_log_settings* aud_module_log_get_settings() {
    return &settings;
}

const char* aud_module_log_level_name(unsigned level) {
    return level < sizeof kLevelNames / sizeof kLevelNames[0] ? kLevelNames[level]
                                                              : "Undefined error";
}

void aud_module_log(unsigned level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    aud_module_vlog(level, format, arguments);
    va_end(arguments);
}

void aud_module_vlog(unsigned level, const char* format, va_list arguments) {
    if (level < settings.threshold) {
        return;
    }
    char* owned = nullptr;
    const char* text = nullptr;
    if (settings.buffer && settings.buffer_size > 0) {
        if (aud_vsnprintf(settings.buffer, settings.buffer_size, format, arguments) < 0) {
            return;
        }
        text = settings.buffer;
    } else {
        if (aud_vasprintf(&owned, format, arguments) < 0) {
            return;
        }
        text = owned;
    }
    if (text[0] != '\0') {
        char time[16] = "";
        if (settings.console_time || settings.network_time) {
            aud_log_time_column(time);
        }
        const char* consoleTime = settings.console_time ? time : nullptr;
        const char* name = aud_module_log_level_name(level);
        if (level >= settings.console_threshold) {
            if (settings.sinks & AUD_MODULE_LOG_STDOUT) {
                writeConsole(stdout, consoleTime, name, text);
            }
            if (settings.sinks & AUD_MODULE_LOG_STDERR) {
                writeConsole(stderr, consoleTime, name, text);
            }
            if ((settings.sinks & AUD_MODULE_LOG_FILE) && settings.file) {
                writeConsole(settings.file, consoleTime, name, text);
            }
        }
        // The system event log has no counterpart here and writes nothing.
        if (settings.sinks & AUD_MODULE_LOG_NETWORK) {
            logSocket(level, settings.network_time ? time : nullptr, text);
        }
    }
    std::free(owned);
}
