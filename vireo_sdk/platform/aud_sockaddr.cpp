#include "platform/aud_sockaddr.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

namespace {

bool isIpv4(const aud_sockaddr* address) {
    return address && address->in.sin_family == AF_INET;
}

aud_error_t checkFamily(int family) {
    if (family == 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return family == AF_INET ? AUD_SUCCESS : AUD_ERR_NOTSUPPORTED;
}

}  // namespace

void aud_sockaddr_set(aud_sockaddr* address, uint32_t value, uint16_t port) {
    std::memset(address, 0, sizeof *address);
    address->length = sizeof(sockaddr_in);
    address->in.sin_family = AF_INET;
    address->in.sin_port = htons(port);
    address->in.sin_addr.s_addr = value;
}

aud_error_t aud_sockaddr_set_any(aud_sockaddr* address, int family, uint16_t port) {
    if (!address) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const aud_error_t result = checkFamily(family);
    if (result == AUD_SUCCESS) {
        aud_sockaddr_set(address, htonl(INADDR_ANY), port);
    }
    return result;
}

aud_error_t aud_sockaddr_from_string(aud_sockaddr* address, int family, const char* text,
                                     uint16_t port) {
    if (!address) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    aud_error_t result = checkFamily(family);
    uint32_t value = 0;
    if (result == AUD_SUCCESS) {
        result = aud_inet_aton(text, &value);
    }
    if (result == AUD_SUCCESS) {
        aud_sockaddr_set(address, value, port);
    }
    return result;
}

aud_error_t aud_inet_aton(const char* text, uint32_t* value) {
    if (!text || !value) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (std::strcmp(text, "255.255.255.255") == 0) {
        *value = 0xFFFFFFFFu;
        return AUD_SUCCESS;
    }
    const in_addr_t parsed = inet_addr(text);
    if (parsed == INADDR_NONE) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    *value = parsed;
    return AUD_SUCCESS;
}

const char* aud_inet_ntoa(uint32_t value, char* buffer, size_t size) {
    in_addr address;
    address.s_addr = value;
    if (!buffer || !inet_ntop(AF_INET, &address, buffer, static_cast<socklen_t>(size))) {
        return nullptr;
    }
    return buffer;
}

const char* aud_sockaddr_to_string(const aud_sockaddr* address, char* buffer, size_t size) {
    if (!buffer || size == 0) {
        return buffer;
    }
    buffer[0] = '\0';
    char dotted[INET_ADDRSTRLEN];
    if (isIpv4(address) && aud_inet_ntoa(address->in.sin_addr.s_addr, dotted, sizeof dotted)) {
        std::snprintf(buffer, size, "%s:%u (len=%u)", dotted, ntohs(address->in.sin_port),
                      address->length);
    }
    return buffer;
}

uint16_t aud_sockaddr_get_port(const aud_sockaddr* address) {
    return isIpv4(address) ? ntohs(address->in.sin_port) : 0;
}

aud_error_t aud_sockaddr_set_port(aud_sockaddr* address, uint16_t port) {
    if (!isIpv4(address)) {
        return AUD_ERR_AFNOSUPPORT;
    }
    address->in.sin_port = htons(port);
    return AUD_SUCCESS;
}

bool aud_sockaddr_equal(const aud_sockaddr* a, const aud_sockaddr* b) {
    if (!a || !b || a->in.sin_family == 0 || b->in.sin_family == 0 || a->length != b->length) {
        return false;
    }
    const size_t n = a->length < sizeof(sockaddr_in) ? a->length : sizeof(sockaddr_in);
    return std::memcmp(&a->in, &b->in, n) == 0;
}

bool aud_sockaddr_is_multicast(const aud_sockaddr* address) {
    return isIpv4(address) && IN_MULTICAST(ntohl(address->in.sin_addr.s_addr));
}

void aud_sockaddr_clear(aud_sockaddr* address) {
    if (address) {
        address->in.sin_family = 0;
    }
}
