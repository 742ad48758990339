#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FakeArcpResponder.h"
#include "FakeConfigService.h"
#include "FakeConmonServer.h"
#include "FakeDevice.h"
#include "FakeMdnsResponder.h"

namespace sim {

// What a simulated device gets wrong.
struct FakeNetworkFaults {
    bool control_silent = false;  // never answers the control protocol nor text commands
    bool routing_silent = false;  // never answers ARCP: the router never sees it ACTIVE
    bool conmon_unknown = false;  // the conmon server does not know it
};

// One simulated Vireo device: the maker's amplifier unless told otherwise.
struct FakeNetworkDevice {
    std::string name;     // its Vireo name: service instance, conmon and routing name
    std::string address;  // its IPv4 address (control, status, ARCP, A record)
    std::string vireo_model = "Solano 2-A";
    std::string manufacturer = "Corvanti";  // TXT "mf" of its services, at most 8 characters
    uint32_t capabilities = 0x40000000;
    std::array<uint8_t, 6> mac{0x00, 0x1d, 0xc1, 0x00, 0x00, 0x01};
    std::string location = "Rack 1";
    int version_major = 1;
    int version_minor = 5;
    std::array<uint8_t, 8> conmon_id{0x00, 0x1d, 0xc1, 0xff, 0xfe, 0x00, 0x00, 0x01};
    std::array<uint8_t, 8> product_id{0, 0, 0, 0, 0, 0, 1, 2};
    std::string model_name = "ZEB-4600";
    uint32_t model_version = 0x00010003;
    uint32_t software_version = 0x04010002;
    uint32_t firmware_version = 0x04000005;
    FakeNetworkFaults faults;
    // false: off the network until join(): no services announced, unknown to the conmon
    // server, silent.
    bool present = true;
};

struct FakeNetworkOptions {
    // The PC's interface toward the devices: offered by the configuration service, and the
    // one status announcements leave by.
    std::string controller_interface = "zeb0";
    // An address of the interface the mDNS responder works on; empty: the controller
    // interface's first. (The kernel drops datagrams that reach an interface from another
    // local address, so the responder answers from the controller's side, as a host on that
    // link would be heard there.)
    std::string mdns_address;
    uint16_t conmon_port = FakeConmonServer::kPort;
    uint16_t config_port = FakeConfigService::kPort;
    FakeMdnsResponder::Options mdns;
};

// A whole simulated Vireo network: per device a FakeDevice on its address, its media and
// conmon services on the mDNS responder, an ARCP responder that lets the router reach ACTIVE,
// and an entry in the local conmon server; plus the local configuration service. Every fake
// runs on its own thread. The fakes exist from construction, so their logs and settings can be
// reached before start().
class FakeNetwork {
public:
    explicit FakeNetwork(std::vector<FakeNetworkDevice> devices, FakeNetworkOptions options = {});
    ~FakeNetwork();
    FakeNetwork(const FakeNetwork&) = delete;
    FakeNetwork& operator=(const FakeNetwork&) = delete;

    // A typical device of the maker numbered n (from 1): its MAC, conmon id and location
    // carry n.
    static FakeNetworkDevice amplifier(const std::string& name, const std::string& address, int n);

    // Starts every fake, once; false (with all stopped) when one cannot bind its sockets or
    // the network was started before.
    bool start();
    void stop();
    // The device leaves: goodbyes for its services, then silence on every protocol. False
    // when it has left already.
    bool leave(size_t index);
    // A device that left comes back (or one not present arrives): its services announced
    // again, answering as before it left, known to the conmon server (its status
    // announcements are the caller's). False when it has not left.
    bool join(size_t index);
    // The PC's local Vireo services go, as in a restart: the conmon server and the
    // configuration service stop; startServices() starts them again on their ports, knowing
    // no client (false when one cannot bind).
    void stopServices();
    bool startServices();
    bool hasLeft(size_t index) const { return m_left.at(index); }

    size_t size() const { return m_specs.size(); }
    const FakeNetworkDevice& spec(size_t index) const { return m_specs.at(index); }
    // -1 when no device has that name.
    int indexOf(const std::string& name) const;
    FakeDevice& device(size_t index) { return *m_devices.at(index); }

    FakeMdnsResponder& mdns() { return *m_mdns; }
    FakeConmonServer& conmon() { return m_conmon; }
    FakeConfigService& config() { return m_config; }
    FakeArcpResponder& routing() { return m_routing; }

private:
    const std::vector<FakeNetworkDevice> m_specs;
    const FakeNetworkOptions m_options;
    std::vector<std::unique_ptr<FakeDevice>> m_devices;
    std::unique_ptr<FakeMdnsResponder> m_mdns;
    FakeConmonServer m_conmon;
    FakeConfigService m_config;
    FakeArcpResponder m_routing;
    std::vector<int> m_routed;      // each started device's index in the ARCP responder
    std::vector<bool> m_left;       // by device index
    std::vector<bool> m_in_conmon;  // by device index: the conmon server knows it
    bool m_started = false;
};

}  // namespace sim
