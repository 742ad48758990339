#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Sends SAP packets to the SAP group (239.255.255.255, port 9875) out of one interface.
class FakeSapAnnouncer {
public:
    // interface_address: an IPv4 address of the interface to send from.
    explicit FakeSapAnnouncer(std::string interface_address);
    ~FakeSapAnnouncer();
    FakeSapAnnouncer(const FakeSapAnnouncer&) = delete;
    FakeSapAnnouncer& operator=(const FakeSapAnnouncer&) = delete;

    bool start();
    bool send(const std::vector<uint8_t>& packet);

private:
    std::string m_address;
    int m_socket = -1;
};

}  // namespace sim
