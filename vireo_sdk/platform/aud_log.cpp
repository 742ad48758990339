#include "platform/aud_log.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/aud_time.h"
#include "util/aud_format.h"

namespace {

const char* const kLevelNames[] = {"None",   "Critical", "Error", "Warning",
                                   "Notice", "Info",     "Debug", "Verbose"};

void writeLine(FILE* stream, const char* time, const char* level, const char* text, size_t length) {
    if (time) {
        std::fprintf(stream, "%s ", time);
    }
    std::fprintf(stream, "%s %.*s", level, static_cast<int>(length), text);
    if (length == 0 || text[length - 1] != '\n') {
        std::fputc('\n', stream);
    }
    std::fflush(stream);
}

struct NetworkFailure {
    int index;
    aud_error_t error;
};

// Sends the text in datagrams of at most AUD_LOG_DATAGRAM_SIZE bytes, each led by the header.
aud_error_t sendNetwork(aud_log_destination& destination, const std::string& header,
                        const char* text, size_t length) {
    const size_t limit = AUD_LOG_DATAGRAM_SIZE;
    const size_t room = limit > header.size() + 1 ? limit - header.size() : 1;
    size_t offset = 0;
    do {
        const size_t part = length - offset < room ? length - offset : room;
        std::string datagram = header;
        datagram.append(text + offset, part);
        datagram.resize(datagram.size() < limit ? datagram.size() : limit);
        size_t sent = datagram.size();
        const aud_error_t result =
            aud_socket_sendto(destination.socket, datagram.data(), &sent, &destination.address);
        if (result != AUD_SUCCESS) {
            return result;
        }
        if (sent <= header.size()) {
            return AUD_ERR_SYSTEM;
        }
        offset += part;
    } while (offset < length);
    return AUD_SUCCESS;
}

void reportNetworkFailure(aud_log* log, const NetworkFailure& failure) {
    aud_log_destination& destination = log->destinations[failure.index];
    const char* symbol = aud_error_get_name(failure.error);
    symbol = symbol ? symbol : "UNKNOWN";
    if (failure.error == AUD_ERR_NOTSOCK) {
        const aud_socket_t bad = destination.socket;
        aud_socket_close(&destination.socket);
        std::memset(&destination.address, 0, sizeof destination.address);
        aud_log_printf(log, AUD_LOG_ERROR,
                       "aud_log: bad network logging socket %d - network logging disabled: %s (%d)",
                       bad, symbol, failure.error);
        return;
    }
    char where[64];
    aud_sockaddr_to_string(&destination.address, where, sizeof where);
    const aud_socket_t socket = destination.socket;
    destination.socket = AUD_SOCKET_INVALID;
    aud_log_printf(log, AUD_LOG_NOTICE, "aud_log: network logging to %s (fd %d) failed: %s (%d)",
                   where, socket, symbol, failure.error);
    destination.socket = socket;
}

}  // namespace

aud_log* aud_log_new() {
    aud_log* log = static_cast<aud_log*>(std::calloc(1, sizeof(aud_log)));
    if (!log) {
        return nullptr;
    }
    log->time_flags = AUD_LOG_TIME_DEFAULT;
    for (aud_log_destination& destination : log->destinations) {
        destination.socket = AUD_SOCKET_INVALID;
    }
    return log;
}

void aud_log_free(aud_log* log) {
    if (!log) {
        return;
    }
    for (aud_log_destination& destination : log->destinations) {
        aud_socket_close(&destination.socket);
    }
    if (!log->buffer_external) {
        std::free(log->buffer);
    }
    std::free(log);
}

const char* aud_log_level_name(unsigned level) {
    return level < sizeof kLevelNames / sizeof kLevelNames[0] ? kLevelNames[level] : "Undef";
}

unsigned aud_log_get_threshold(const aud_log* log, int sink) {
    if (!log || sink < 0 || sink >= AUD_LOG_NUM_SINKS) {
        return 0;
    }
    return log->sink_thresholds[sink];
}

aud_error_t aud_log_set_threshold(aud_log* log, int sink, unsigned threshold) {
    if (!log || sink < 0 || sink >= AUD_LOG_NUM_SINKS) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    log->sink_thresholds[sink] = threshold;
    log->threshold = 0;
    for (unsigned value : log->sink_thresholds) {
        log->threshold = value > log->threshold ? value : log->threshold;
    }
    return AUD_SUCCESS;
}

aud_error_t aud_log_set_network(aud_log* log, int index, const aud_sockaddr* address) {
    if (!log || index < 0 || index >= AUD_LOG_NUM_DESTINATIONS) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    aud_log_destination& destination = log->destinations[index];
    aud_socket_close(&destination.socket);
    std::memset(&destination.address, 0, sizeof destination.address);
    if (!address) {
        return AUD_SUCCESS;
    }
    const aud_error_t result = aud_socket_create(&destination.socket, AF_INET);
    if (result == AUD_SUCCESS) {
        destination.address = *address;
    }
    return result;
}

void aud_log_time_column(char* buffer) {
    char calendar[AUD_TIME_STRING_SIZE];
    aud_time_to_string(nullptr, calendar);
    std::snprintf(buffer, 16, "%15.15s", std::strlen(calendar) > 4 ? calendar + 4 : "");
}

void aud_log_printf(aud_log* log, unsigned level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    aud_log_vprintf(log, level, format, arguments);
    va_end(arguments);
}

void aud_log_vprintf(aud_log* log, unsigned level, const char* format, va_list arguments) {
    if (!log || level > log->threshold) {
        return;
    }
    if (!log->buffer) {
        if (log->buffer_external) {
            return;
        }
        log->buffer = static_cast<char*>(std::calloc(1, AUD_LOG_BUFFER_SIZE));
        if (!log->buffer) {
            return;
        }
        log->buffer_size = AUD_LOG_BUFFER_SIZE;
    }
    if (log->buffer_size == 0) {
        return;
    }
    const int formatted = aud_vsnprintf(log->buffer, log->buffer_size, format, arguments);
    if (formatted < 0) {
        return;
    }
    const size_t length = static_cast<size_t>(formatted) < log->buffer_size
                              ? static_cast<size_t>(formatted)
                              : log->buffer_size - 1;
    const char* text = log->buffer;
    char time[16] = "";
    if (log->time_flags) {
        aud_log_time_column(time);
    }
    const auto timeFor = [&](unsigned flag) { return (log->time_flags & flag) ? time : nullptr; };
    const char* name = aud_log_level_name(level);
    const unsigned* thresholds = log->sink_thresholds;

    if (thresholds[AUD_LOG_SINK_STDOUT] >= level) {
        writeLine(stdout, timeFor(AUD_LOG_TIME_STDOUT), name, text, length);
    }
    if (thresholds[AUD_LOG_SINK_STDERR] >= level) {
        writeLine(stderr, timeFor(AUD_LOG_TIME_STDERR), name, text, length);
    }
    if (thresholds[AUD_LOG_SINK_FILE] >= level && log->file) {
        writeLine(log->file, timeFor(AUD_LOG_TIME_FILE), name, text, length);
    }
    // Failures are reported once every sink has had this text: the report reuses the buffer.
    std::vector<NetworkFailure> failures;
    if (thresholds[AUD_LOG_SINK_NETWORK] >= level) {
        const char* networkTime = timeFor(AUD_LOG_TIME_NETWORK);
        const std::string header =
            std::string(networkTime ? networkTime : "") + " " + name[0] + " ";
        for (int i = 0; i < AUD_LOG_NUM_DESTINATIONS; ++i) {
            if (log->destinations[i].socket == AUD_SOCKET_INVALID) {
                continue;
            }
            const aud_error_t result = sendNetwork(log->destinations[i], header, text, length);
            if (result != AUD_SUCCESS) {
                failures.push_back({i, result});
            }
        }
    }
    // The debugger sink has no counterpart here: it takes the text and writes nothing.
    if (thresholds[AUD_LOG_SINK_CALLBACK] >= level && log->callback) {
        log->callback(log->callback_context, timeFor(AUD_LOG_TIME_DEBUGGER), level, text, length);
    }
    for (const NetworkFailure& failure : failures) {
        reportNetworkFailure(log, failure);
    }
}
