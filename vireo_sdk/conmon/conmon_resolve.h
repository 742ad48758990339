#pragma once

#include "platform/aud_error.h"
#include "platform/aud_sockaddr.h"

// Resolves host and service to an IPv4 UDP address with getaddrinfo; its failures become
// result codes (conmon_error_from_addrinfo).
aud_error_t conmon_resolve(const char* host, const char* service, aud_sockaddr* address);

// A getaddrinfo failure as a result code: EAI_MEMORY 6, EAI_BADFLAGS 3, EAI_SOCKTYPE and
// EAI_FAMILY 9, EAI_SERVICE 11, EAI_NONAME 36, EAI_AGAIN 47, EAI_FAIL 26, EAI_SYSTEM by
// system_errno, any other 2.
aud_error_t conmon_error_from_addrinfo(int code, int system_errno);
