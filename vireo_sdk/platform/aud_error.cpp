#include "platform/aud_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

const aud_error_info aud_error_table[AUD_NUM_ERRORS + 1] = {
    {AUD_SUCCESS, "SUCCESS", "success"},
    {AUD_ERR_DONE, "DONE", "operation done"},
    {AUD_ERR_SYSTEM, "SYSTEM", "system-specific error"},
    {AUD_ERR_INVALIDPARAMETER, "INVALIDPARAMETER", "invalid parameter"},
    {AUD_ERR_INVALIDDATA, "INVALIDDATA", "invalid data"},
    {AUD_ERR_INVALIDSTATE, "INVALIDSTATE", "invalid state"},
    {AUD_ERR_NOMEMORY, "NOMEMORY", "out of memory"},
    {AUD_ERR_INTERRUPTED, "INTERRUPTED", "interrupted"},
    {AUD_ERR_TRUNCATED, "TRUNCATED", "message truncated"},
    {AUD_ERR_NOTSUPPORTED, "NOTSUPPORTED", "operation not supported"},
    {AUD_ERR_TIMEDOUT, "TIMEDOUT", "operation timed out"},
    {AUD_ERR_NOTFOUND, "NOTFOUND", "object or item not found"},
    {AUD_ERR_DNSSDFAIL, "DNSSDFAIL", "DNS-SD system failed"},
    {AUD_ERR_RANGE, "RANGE", "data out of range"},
    {AUD_ERR_POLICY, "POLICY", "administrative policy violation"},
    {AUD_ERR_VERSION, "VERSION", "unsupported version"},
    {AUD_ERR_ACCES, "ACCES", "access"},
    {AUD_ERR_ADDRINUSE, "ADDRINUSE", "address in use"},
    {AUD_ERR_ADDRNOTAVAIL, "ADDRNOTAVAIL", "address not available"},
    {AUD_ERR_AFNOSUPPORT, "AFNOSUPPORT", "address family not supported"},
    {AUD_ERR_ALREADY, "ALREADY", "operation already in progress"},
    {AUD_ERR_BADF, "BADF", "bad file"},
    {AUD_ERR_CONNABORTED, "CONNABORTED", "connection aborted"},
    {AUD_ERR_CONNREFUSED, "CONNREFUSED", "connection refused"},
    {AUD_ERR_CONNRESET, "CONNRESET", "connection reset"},
    {AUD_ERR_DESTADDRREQ, "DESTADDRREQ", "destination address required"},
    {AUD_ERR_FAULT, "FAULT", "fault"},
    {AUD_ERR_HOSTUNREACH, "HOSTUNREACH", "host unreachable"},
    {AUD_ERR_INPROGRESS, "INPROGRESS", "operation in progress"},
    {AUD_ERR_ISCONN, "ISCONN", "socket already connected"},
    {AUD_ERR_MFILE, "MFILE", "too many open files"},
    {AUD_ERR_MSGSIZE, "MSGSIZE", "message too long"},
    {AUD_ERR_NETDOWN, "NETDOWN", "network down"},
    {AUD_ERR_NETRESET, "NETRESET", "network reset"},
    {AUD_ERR_NETUNREACH, "NETUNREACH", "network unreachable"},
    {AUD_ERR_NOBUFS, "NOBUFS", "no buffers"},
    {AUD_ERR_NODATA, "NODATA", "no data"},
    {AUD_ERR_NODEV, "NODEV", "no such device"},
    {AUD_ERR_NOPROTOOPT, "NOPROTOOPT", "protocol not available"},
    {AUD_ERR_NORECOVERY, "NORECOVERY", "non-recoverable error"},
    {AUD_ERR_NOTCONN, "NOTCONN", "not connected"},
    {AUD_ERR_NOTINITIALISED, "NOTINITIALISED", "not initialised"},
    {AUD_ERR_NOTSOCK, "NOTSOCK", "not a socket"},
    {AUD_ERR_PROTONOSUPPORT, "PROTONOSUPPORT", "unsupported protocol"},
    {AUD_ERR_PROTOTYPE, "PROTOTYPE", "wrong protocol type for socket"},
    {AUD_ERR_SHUTDOWN, "SHUTDOWN", "socket has shut down"},
    {AUD_ERR_SOCKTNOSUPPORT, "SOCKTNOSUPPORT", "socket type not supported"},
    {AUD_ERR_TRYAGAIN, "TRYAGAIN", "try again"},
    {AUD_ERR_NOTRUNNING, "NOTRUNNING", "not running"},
    {AUD_NUM_ERRORS, nullptr, nullptr},
};

namespace {

struct SystemMapping {
    aud_error_t code;
    uint32_t number;
};

// Windows numbers, searched in order; the first match wins.
const SystemMapping kSystemMappings[] = {
    {AUD_SUCCESS, 0},
    {AUD_ERR_INVALIDPARAMETER, 87},
    {AUD_ERR_INVALIDPARAMETER, 10022},
    {AUD_ERR_INVALIDPARAMETER, 123},
    {AUD_ERR_NOMEMORY, 14},
    {AUD_ERR_NOMEMORY, 8},
    {AUD_ERR_INTERRUPTED, 192},
    {AUD_ERR_INTERRUPTED, 10004},
    {AUD_ERR_NOTSUPPORTED, 10045},
    {AUD_ERR_TIMEDOUT, 10060},
    {AUD_ERR_TIMEDOUT, 10035},
    {AUD_ERR_NOTFOUND, 2},
    {AUD_ERR_NOTFOUND, 3},
    {AUD_ERR_ACCES, 5},
    {AUD_ERR_ACCES, 10013},
    {AUD_ERR_ADDRINUSE, 10048},
    {AUD_ERR_ADDRNOTAVAIL, 10049},
    {AUD_ERR_AFNOSUPPORT, 10047},
    {AUD_ERR_ALREADY, 10037},
    {AUD_ERR_CONNABORTED, 10053},
    {AUD_ERR_CONNREFUSED, 10061},
    {AUD_ERR_CONNRESET, 10054},
    {AUD_ERR_DESTADDRREQ, 10039},
    {AUD_ERR_FAULT, 10014},
    {AUD_ERR_HOSTUNREACH, 10065},
    {AUD_ERR_INPROGRESS, 10036},
    {AUD_ERR_ISCONN, 10056},
    {AUD_ERR_MFILE, 10024},
    {AUD_ERR_MSGSIZE, 10040},
    {AUD_ERR_NETDOWN, 10050},
    {AUD_ERR_NETRESET, 10052},
    {AUD_ERR_NETUNREACH, 10051},
    {AUD_ERR_NETUNREACH, 67},
    {AUD_ERR_NETUNREACH, 1232},
    {AUD_ERR_NETUNREACH, 1231},
    {AUD_ERR_NETUNREACH, 31},
    {AUD_ERR_NOBUFS, 10055},
    {AUD_ERR_NODATA, 11004},
    {AUD_ERR_NOPROTOOPT, 10042},
    {AUD_ERR_NORECOVERY, 11003},
    {AUD_ERR_NOTCONN, 10057},
    {AUD_ERR_NOTINITIALISED, 10093},
    {AUD_ERR_NOTSOCK, 10038},
    {AUD_ERR_PROTONOSUPPORT, 10043},
    {AUD_ERR_PROTOTYPE, 10041},
    {AUD_ERR_SHUTDOWN, 10058},
    {AUD_ERR_SOCKTNOSUPPORT, 10044},
    {AUD_ERR_TRYAGAIN, 11002},
    {AUD_ERR_ALREADY, 5010},
    {AUD_ERR_NOTFOUND, 1060},
    {AUD_ERR_NOTRUNNING, 0x800706D9},
    {AUD_ERR_NOTFOUND, 0xE000020B},
};

const aud_error_info* findInfo(aud_error_t code) {
    for (const aud_error_info* row = aud_error_table; row->symbol; ++row) {
        if (row->value == code) {
            return row;
        }
    }
    return nullptr;
}

}  // namespace

const char* aud_error_get_name(aud_error_t code) {
    const aud_error_info* info = findInfo(code);
    return info ? info->symbol : nullptr;
}

const char* aud_error_get_message(aud_error_t code) {
    const aud_error_info* info = findInfo(code);
    return info ? info->text : nullptr;
}

const char* aud_error_message(aud_error_t code, char* buffer) {
    thread_local char own[AUD_ERROR_MESSAGE_SIZE];
    if (!buffer) {
        buffer = own;
    }
    if (code == AUD_SUCCESS) {
        std::snprintf(buffer, AUD_ERROR_MESSAGE_SIZE, "success");
    } else if (code == AUD_ERR_SYSTEM) {
        std::snprintf(buffer, AUD_ERROR_MESSAGE_SIZE, "System error: %s: (0x%04x)", "", 0);
    } else {
        const aud_error_info* info = findInfo(code);
        std::snprintf(buffer, AUD_ERROR_MESSAGE_SIZE, "%s: (0x%04x=%s)",
                      info ? info->symbol : "UNKNOWN", static_cast<unsigned>(code),
                      info ? info->text : "unknown error");
    }
    return buffer;
}

aud_error_t aud_error_from_system(uint32_t number) {
    for (const SystemMapping& row : kSystemMappings) {
        // Small numbers also match the low half of an HRESULT (0x80070057 is 87); success
        // only matches 0 itself, so 0x10000 is no success.
        const bool match = row.number == number || (row.number != 0 && row.number <= 0xFFFF &&
                                                    (number & 0xFFFF) == row.number);
        if (match) {
            return row.code;
        }
    }
    return AUD_ERR_SYSTEM;
}

aud_error_t aud_error_from_errno(int number, int udp_socket) {
    switch (number) {
        case 0:
            return AUD_SUCCESS;
        case EINVAL:
            return AUD_ERR_INVALIDPARAMETER;
        case ENOMEM:
            return AUD_ERR_NOMEMORY;
        case EINTR:
            return AUD_ERR_INTERRUPTED;
        case EOPNOTSUPP:
            return AUD_ERR_NOTSUPPORTED;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case ETIMEDOUT:
            return AUD_ERR_TIMEDOUT;
        case ENOENT:
            return AUD_ERR_NOTFOUND;
        case EACCES:
        case EPERM:
            return AUD_ERR_ACCES;
        case EADDRINUSE:
            return AUD_ERR_ADDRINUSE;
        case EADDRNOTAVAIL:
            return AUD_ERR_ADDRNOTAVAIL;
        case EAFNOSUPPORT:
            return AUD_ERR_AFNOSUPPORT;
        case EALREADY:
            return AUD_ERR_ALREADY;
        case ECONNABORTED:
            return AUD_ERR_CONNABORTED;
        case ECONNREFUSED:
            return udp_socket ? AUD_ERR_CONNRESET : AUD_ERR_CONNREFUSED;
        case ECONNRESET:
            return AUD_ERR_CONNRESET;
        case EDESTADDRREQ:
            return AUD_ERR_DESTADDRREQ;
        case EFAULT:
            return AUD_ERR_FAULT;
        case EHOSTUNREACH:
            return AUD_ERR_HOSTUNREACH;
        case EINPROGRESS:
            return AUD_ERR_INPROGRESS;
        case EISCONN:
            return AUD_ERR_ISCONN;
        case EMFILE:
        case ENFILE:
            return AUD_ERR_MFILE;
        case EMSGSIZE:
            return AUD_ERR_MSGSIZE;
        case ENETDOWN:
            return AUD_ERR_NETDOWN;
        case ENETRESET:
            return AUD_ERR_NETRESET;
        case ENETUNREACH:
            return AUD_ERR_NETUNREACH;
        case ENOBUFS:
            return AUD_ERR_NOBUFS;
        case ENODEV:
            return AUD_ERR_NODEV;
        case ENOPROTOOPT:
            return AUD_ERR_NOPROTOOPT;
        case ENOTCONN:
            return AUD_ERR_NOTCONN;
        case ENOTSOCK:
        case EBADF:
            return AUD_ERR_NOTSOCK;
        case EPROTONOSUPPORT:
            return AUD_ERR_PROTONOSUPPORT;
        case EPROTOTYPE:
            return AUD_ERR_PROTOTYPE;
        case EPIPE:
        case ESHUTDOWN:
            return AUD_ERR_SHUTDOWN;
        case ESOCKTNOSUPPORT:
            return AUD_ERR_SOCKTNOSUPPORT;
        default:
            return AUD_ERR_SYSTEM;
    }
}

const char* aud_system_error_text(int number) {
    thread_local char text[1024];
    text[0] = '\0';
    if (number != 0) {
        // The GNU strerror_r may return a static text instead of filling the buffer.
        const char* found = strerror_r(number, text, sizeof text);
        if (found != text) {
            std::snprintf(text, sizeof text, "%s", found);
        }
    }
    return text;
}
