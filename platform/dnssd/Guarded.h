#pragma once

#include <new>
#include <system_error>

#include "vireo_dns_sd.h"

namespace vireo_dnssd {

// Runs the body of a call of the C interface, so that no exception leaves it: memory that
// ran out gives NoMemory, a thread or lock the system refused gives ServiceNotRunning.
template <typename Body>
DNSServiceErrorType guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kDNSServiceErr_NoMemory;
    } catch (const std::system_error&) {
        return kDNSServiceErr_ServiceNotRunning;
    } catch (...) {
        return kDNSServiceErr_Unknown;
    }
}

}  // namespace vireo_dnssd
