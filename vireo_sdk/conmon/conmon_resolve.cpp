#include "conmon/conmon_resolve.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

aud_error_t conmon_error_from_addrinfo(int code, int system_errno) {
    switch (code) {
        case 0:
            return AUD_SUCCESS;
        case EAI_MEMORY:
            return AUD_ERR_NOMEMORY;
        case EAI_BADFLAGS:
            return AUD_ERR_INVALIDPARAMETER;
        case EAI_SOCKTYPE:
        case EAI_FAMILY:
            return AUD_ERR_NOTSUPPORTED;
        case EAI_SERVICE:
            return AUD_ERR_NOTFOUND;
        case EAI_NONAME:
            return AUD_ERR_NODATA;
        case EAI_AGAIN:
            return AUD_ERR_TRYAGAIN;
        case EAI_FAIL:
            return AUD_ERR_FAULT;
        case EAI_SYSTEM:
            return aud_error_from_errno(system_errno, 0);
        default:
            return AUD_ERR_SYSTEM;
    }
}

aud_error_t conmon_resolve(const char* host, const char* service, aud_sockaddr* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    addrinfo* found = nullptr;
    const int code = getaddrinfo(host, service, &hints, &found);
    if (code != 0) {
        return conmon_error_from_addrinfo(code, errno);
    }
    aud_error_t result = AUD_ERR_NODATA;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            aud_sockaddr_clear(address);
            address->length = sizeof(sockaddr_in);
            std::memcpy(&address->in, entry->ai_addr, sizeof(sockaddr_in));
            result = AUD_SUCCESS;
            break;
        }
    }
    freeaddrinfo(found);
    return result;
}
