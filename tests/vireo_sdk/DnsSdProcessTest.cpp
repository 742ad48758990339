// The non-blocking DNS-SD result pump against a reference of the DNS-SD library, with the fake
// responder on veth0 (192.0.2.1).
#include <gtest/gtest.h>

#include <poll.h>

#include <string>

#include "FakeMdnsResponder.h"
#include "util/dt_dns_sd.h"

namespace {

void onBrowse(DNSServiceRef, DNSServiceFlags, uint32_t, DNSServiceErrorType, const char* name,
              const char*, const char*, void* context) {
    *static_cast<std::string*>(context) = name;
}

TEST(DnsSdProcess, ChecksTheSocketPeeksAndProcesses) {
    sim::FakeMdnsResponder fake("192.0.2.1");
    ASSERT_TRUE(fake.start());
    std::string seen;
    DNSServiceRef ref = nullptr;
    ASSERT_EQ(DNSServiceBrowse(&ref, 0, 0, "_vireo-arc._udp.", "local", onBrowse, &seen), 0);
    const int socket = DNSServiceRefSockFD(ref);
    ASSERT_GE(socket, 0);

    EXPECT_EQ(dt_dns_sd_process_result(socket + 100, ref), DT_DNS_SD_SOCKET_MISMATCH);
    // Nothing waiting: the failed peek comes back as its result code, without blocking.
    EXPECT_EQ(dt_dns_sd_process_result(socket, ref), AUD_ERR_TIMEDOUT);

    sim::FakeMdnsDevice device;
    device.host = "amp-1";
    device.address = "192.0.2.10";
    device.services = {{"AMP-1", "_vireo-arc._udp", 4440, {"arcp_vers=1.0.0"}}};
    fake.addDevice(device);
    pollfd ready{socket, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 5000), 1);
    EXPECT_EQ(dt_dns_sd_process_result(socket, ref), 0);
    EXPECT_EQ(seen, "AMP-1");
    DNSServiceRefDeallocate(ref);
}

}  // namespace
