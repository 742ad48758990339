#include "FakeNetwork.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstdio>

#include "FakeVireoServices.h"
#include "qz_msgs.pb.h"

namespace sim {

namespace {

std::string hex(const std::array<uint8_t, 8>& id) {
    std::string text;
    char digits[3];
    for (uint8_t byte : id) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

// The first IPv4 address of the named interface; empty when it has none.
std::string addressOf(const std::string& interface) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return {};
    }
    std::string address;
    for (const ifaddrs* entry = list; entry && address.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET &&
            interface == entry->ifa_name) {
            char text[INET_ADDRSTRLEN] = {};
            const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            ::inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text);
            address = text;
        }
    }
    ::freeifaddrs(list);
    return address;
}

// TXT records with the manufacturer id replaced.
std::vector<std::string> withManufacturer(std::vector<std::string> txt, const std::string& mf) {
    for (std::string& entry : txt) {
        if (entry.rfind("mf=", 0) == 0) {
            entry = "mf=" + mf;
        }
    }
    return txt;
}

std::string hostOf(const FakeNetworkDevice& spec) {
    std::string host = "zeb-" + spec.address;
    for (char& c : host) {
        c = c == '.' ? '-' : c;
    }
    return host;
}

FakeMdnsDevice advertised(const FakeNetworkDevice& spec) {
    FakeMdnsDevice device;
    device.host = hostOf(spec);
    device.address = spec.address;
    device.services.push_back(vireo::service(vireo::Row::kMediaDevice, spec.name,
                                             withManufacturer(vireo::mediaTxt(), spec.manufacturer),
                                             FakeArcpResponder::kPort));
    device.services.push_back(vireo::service(
        vireo::Row::kConmonDevice, spec.name,
        withManufacturer(vireo::conmonTxt(hex(spec.conmon_id)), spec.manufacturer), 8800));
    return device;
}

FakeConmonDevice conmonDevice(const FakeNetworkDevice& spec) {
    FakeConmonDevice device;
    device.name = spec.name;
    device.device_id = spec.conmon_id;
    device.process_id = 3;
    device.macs = {spec.mac};
    device.vireo_model = spec.vireo_model;
    device.product_id = spec.product_id;
    device.software_version = spec.software_version;
    device.firmware_version = spec.firmware_version;
    device.capabilities = spec.capabilities;
    device.model_name = spec.model_name;
    device.model_version = spec.model_version;
    device.address = spec.address;
    device.port = FakeDevice::kControlPort;
    return device;
}

}  // namespace

FakeNetwork::FakeNetwork(std::vector<FakeNetworkDevice> devices, FakeNetworkOptions options)
    : m_specs(std::move(devices)),
      m_options(std::move(options)),
      m_conmon(m_options.conmon_port),
      m_config(m_options.config_port),
      m_left(m_specs.size(), false),
      m_in_conmon(m_specs.size(), false) {
    std::string mdns_address = m_options.mdns_address;
    if (mdns_address.empty()) {
        mdns_address = addressOf(m_options.controller_interface);
    }
    m_mdns = std::make_unique<FakeMdnsResponder>(mdns_address, m_options.mdns);
    FakeCmmInterface interface;
    interface.name.assign(m_options.controller_interface.begin(),
                          m_options.controller_interface.end());
    interface.mac = {0x02, 0x00, 0x5e, 0x00, 0x00, 0x01};
    m_config.setOptions({interface});
    for (size_t i = 0; i < m_specs.size(); ++i) {
        const FakeNetworkDevice& spec = m_specs[i];
        auto device = std::make_unique<FakeDevice>(spec.address);
        device->setStatusInterface(m_options.controller_interface);
        qz_msgs::system_t system;
        system.set_location(spec.location);
        device->setSystem(system);
        device->setVersion(spec.version_major, spec.version_minor);
        device->setSilent(spec.faults.control_silent || !spec.present);
        m_devices.push_back(std::move(device));
        m_left[i] = !spec.present;
        if (spec.present && !spec.faults.conmon_unknown) {
            m_conmon.addDevice(conmonDevice(spec));
            m_in_conmon[i] = true;
        }
        if (spec.present) {
            m_mdns->addDevice(advertised(spec));
        }
    }
}

FakeNetwork::~FakeNetwork() {
    stop();
}

FakeNetworkDevice FakeNetwork::amplifier(const std::string& name, const std::string& address,
                                         int n) {
    FakeNetworkDevice device;
    device.name = name;
    device.address = address;
    device.mac[4] = uint8_t(n >> 8);
    device.mac[5] = uint8_t(n);
    device.conmon_id[6] = uint8_t(n >> 8);
    device.conmon_id[7] = uint8_t(n);
    device.location = "Rack " + std::to_string(n);
    return device;
}

int FakeNetwork::indexOf(const std::string& name) const {
    for (size_t i = 0; i < m_specs.size(); ++i) {
        if (m_specs[i].name == name) {
            return int(i);
        }
    }
    return -1;
}

bool FakeNetwork::start() {
    if (m_started) {
        return false;
    }
    m_started = true;
    if (!m_config.start()) {
        stop();
        return false;
    }
    for (size_t i = 0; i < m_specs.size(); ++i) {
        const int routed =
            m_routing.addDevice(m_specs[i].address, fakeArcpDevice(m_specs[i].name, 2, 2));
        if (!m_devices[i]->start() || routed < 0) {
            stop();
            return false;
        }
        m_routing.setSilent(size_t(routed), m_specs[i].faults.routing_silent || m_left[i]);
        m_routed.push_back(routed);
    }
    if (!m_conmon.start() || !m_routing.start() || !m_mdns->start()) {
        stop();
        return false;
    }
    return true;
}

bool FakeNetwork::leave(size_t index) {
    if (m_left.at(index)) {
        return false;
    }
    m_left[index] = true;
    m_mdns->removeDevice(hostOf(m_specs.at(index)));
    m_devices.at(index)->sendStatusEvery(std::chrono::milliseconds(0), {});
    m_devices.at(index)->setSilent(true);
    if (index < m_routed.size()) {
        m_routing.setSilent(size_t(m_routed[index]), true);
    }
    return true;
}

bool FakeNetwork::join(size_t index) {
    if (!m_left.at(index)) {
        return false;
    }
    m_left[index] = false;
    const FakeNetworkDevice& spec = m_specs[index];
    m_devices[index]->setSilent(spec.faults.control_silent);
    if (index < m_routed.size()) {
        m_routing.setSilent(size_t(m_routed[index]), spec.faults.routing_silent);
    }
    if (!m_in_conmon[index] && !spec.faults.conmon_unknown) {
        m_conmon.addDevice(conmonDevice(spec));
        m_in_conmon[index] = true;
    }
    m_mdns->addDevice(advertised(spec));
    return true;
}

void FakeNetwork::stopServices() {
    m_conmon.stop();
    m_config.stop();
}

bool FakeNetwork::startServices() {
    return m_config.start() && m_conmon.start();
}

void FakeNetwork::stop() {
    m_mdns->stop();
    m_routing.stop();
    m_conmon.stop();
    for (const std::unique_ptr<FakeDevice>& device : m_devices) {
        device->stop();
    }
    m_config.stop();
}

}  // namespace sim
