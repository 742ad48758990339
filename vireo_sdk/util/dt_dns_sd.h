#pragma once

#include "platform/aud_socket.h"
#include "vireo_dns_sd.h"

enum {
    DT_DNS_SD_SOCKET_MISMATCH = -65540,  // the socket is not the reference's
    DT_DNS_SD_NOTHING_TO_READ = -65542   // the reference's socket holds no result
};

// Runs the waiting results of ref, whose socket is socket, without ever blocking: a one-byte
// peek comes first. The library's result, a receive failure as its aud_error, or one of the
// codes above.
int dt_dns_sd_process_result(aud_socket_t socket, DNSServiceRef ref);
