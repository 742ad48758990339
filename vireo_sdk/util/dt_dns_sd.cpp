#include "util/dt_dns_sd.h"

#include <sys/socket.h>

#include <cerrno>

#include "platform/aud_module_log.h"

int dt_dns_sd_process_result(aud_socket_t socket, DNSServiceRef ref) {
    const int expected = DNSServiceRefSockFD(ref);
    if (socket != expected) {
        aud_module_log(AUD_MODULE_LOG_ERROR,
                       "%s: Mismatch between passed socket (%d) and service ref fd (%d)", __func__,
                       socket, expected);
        return DT_DNS_SD_SOCKET_MISMATCH;
    }
    // The reference's socket blocks, so the peek must not.
    char byte = 0;
    const ssize_t peeked = recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked < 0) {
        return aud_error_from_errno(errno, 0);
    }
    if (peeked == 0) {
        aud_module_log(AUD_MODULE_LOG_ERROR, "%s: Got nothing to read ..conmon blocks here",
                       __func__);
        return DT_DNS_SD_NOTHING_TO_READ;
    }
    return DNSServiceProcessResult(ref);
}
