#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"

// The SDK's socket address: a length byte (16 for IPv4), three spare bytes, an IPv4 socket
// address. Zero it before use; only family AF_INET is supported.
struct aud_sockaddr {
    uint8_t length;
    uint8_t spare[3];
    sockaddr_in in;
};

// value: IPv4 address in network order; port in host order.
void aud_sockaddr_set(aud_sockaddr* address, uint32_t value, uint16_t port);
// Any address of family: 3 for family 0, 9 for a family other than AF_INET.
aud_error_t aud_sockaddr_set_any(aud_sockaddr* address, int family, uint16_t port);
// Dotted text: same family rule; bad text gives 3.
aud_error_t aud_sockaddr_from_string(aud_sockaddr* address, int family, const char* text,
                                     uint16_t port);

// Dotted text to an address in network order; bad text gives 3.
aud_error_t aud_inet_aton(const char* text, uint32_t* value);
// Address in network order to dotted text; null when buffer cannot hold it.
const char* aud_inet_ntoa(uint32_t value, char* buffer, size_t size);

// "a.b.c.d:port (len=n)", empty for another family. Returns buffer.
const char* aud_sockaddr_to_string(const aud_sockaddr* address, char* buffer, size_t size);

// Port in host order; 0 for another family.
uint16_t aud_sockaddr_get_port(const aud_sockaddr* address);
// 19 for another family.
aud_error_t aud_sockaddr_set_port(aud_sockaddr* address, uint16_t port);

// Both set, same length, and the first length bytes (at most 16) of the addresses equal.
bool aud_sockaddr_equal(const aud_sockaddr* a, const aud_sockaddr* b);
bool aud_sockaddr_is_multicast(const aud_sockaddr* address);
void aud_sockaddr_clear(aud_sockaddr* address);
