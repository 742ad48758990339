#pragma once

#include <cstdint>

// SDK result codes: 0 is success, every other value names a failure of the table below.
typedef int32_t aud_error_t;

enum {
    AUD_SUCCESS = 0,
    AUD_ERR_DONE = 1,
    AUD_ERR_SYSTEM = 2,
    AUD_ERR_INVALIDPARAMETER = 3,
    AUD_ERR_INVALIDDATA = 4,
    AUD_ERR_INVALIDSTATE = 5,
    AUD_ERR_NOMEMORY = 6,
    AUD_ERR_INTERRUPTED = 7,
    AUD_ERR_TRUNCATED = 8,
    AUD_ERR_NOTSUPPORTED = 9,
    AUD_ERR_TIMEDOUT = 10,
    AUD_ERR_NOTFOUND = 11,
    AUD_ERR_DNSSDFAIL = 12,
    AUD_ERR_RANGE = 13,
    AUD_ERR_POLICY = 14,
    AUD_ERR_VERSION = 15,
    AUD_ERR_ACCES = 16,
    AUD_ERR_ADDRINUSE = 17,
    AUD_ERR_ADDRNOTAVAIL = 18,
    AUD_ERR_AFNOSUPPORT = 19,
    AUD_ERR_ALREADY = 20,
    AUD_ERR_BADF = 21,
    AUD_ERR_CONNABORTED = 22,
    AUD_ERR_CONNREFUSED = 23,
    AUD_ERR_CONNRESET = 24,
    AUD_ERR_DESTADDRREQ = 25,
    AUD_ERR_FAULT = 26,
    AUD_ERR_HOSTUNREACH = 27,
    AUD_ERR_INPROGRESS = 28,
    AUD_ERR_ISCONN = 29,
    AUD_ERR_MFILE = 30,
    AUD_ERR_MSGSIZE = 31,
    AUD_ERR_NETDOWN = 32,
    AUD_ERR_NETRESET = 33,
    AUD_ERR_NETUNREACH = 34,
    AUD_ERR_NOBUFS = 35,
    AUD_ERR_NODATA = 36,
    AUD_ERR_NODEV = 37,
    AUD_ERR_NOPROTOOPT = 38,
    AUD_ERR_NORECOVERY = 39,
    AUD_ERR_NOTCONN = 40,
    AUD_ERR_NOTINITIALISED = 41,
    AUD_ERR_NOTSOCK = 42,
    AUD_ERR_PROTONOSUPPORT = 43,
    AUD_ERR_PROTOTYPE = 44,
    AUD_ERR_SHUTDOWN = 45,
    AUD_ERR_SOCKTNOSUPPORT = 46,
    AUD_ERR_TRYAGAIN = 47,
    AUD_ERR_NOTRUNNING = 48,
    AUD_NUM_ERRORS = 49
};

// One row of the result table; the row after the last code has a null symbol.
struct aud_error_info {
    aud_error_t value;
    const char* symbol;
    const char* text;
};

extern const aud_error_info aud_error_table[AUD_NUM_ERRORS + 1];

// Size of the buffer that aud_error_message fills.
enum { AUD_ERROR_MESSAGE_SIZE = 513 };

// Symbol and text of a code, or null for a code outside the table.
const char* aud_error_get_name(aud_error_t code);
const char* aud_error_get_message(aud_error_t code);

// Prints a code for log lines into buffer (AUD_ERROR_MESSAGE_SIZE bytes); a null buffer
// uses one buffer per thread. Returns the buffer.
const char* aud_error_message(aud_error_t code, char* buffer);

// Maps a Windows system or socket error number (or HRESULT) onto a result code.
aud_error_t aud_error_from_system(uint32_t number);

// Maps an errno value onto a result code. udp_socket: the call was made on a UDP socket, where
// ECONNREFUSED is the report of a refused earlier datagram (24, connection reset).
aud_error_t aud_error_from_errno(int number, int udp_socket);

// The system's text for an errno value in one buffer per thread; 0 gives the empty text.
const char* aud_system_error_text(int number);
