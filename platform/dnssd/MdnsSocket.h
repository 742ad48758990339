#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <vector>

#include "DnsName.h"

namespace vireo_dnssd {

constexpr uint16_t kMdnsPort = 5353;
constexpr const char* kMdnsGroup = "224.0.0.251";

// The indexes of the interfaces that are up, multicast-capable and have an IPv4 address.
std::vector<uint32_t> multicastInterfaces();

// The one UDP socket on port 5353, shared with other responders on the host by address
// and port reuse, joined to the mDNS group per interface.
class MdnsSocket {
public:
    MdnsSocket() = default;
    ~MdnsSocket();
    MdnsSocket(const MdnsSocket&) = delete;
    MdnsSocket& operator=(const MdnsSocket&) = delete;

    bool open();
    int fd() const { return m_fd; }
    // Joins the group on the given interfaces and leaves it on the others; gives those
    // joined.
    std::vector<uint32_t> join(const std::vector<uint32_t>& interfaces);
    void send(uint32_t ifindex, const Bytes& datagram);
    // One waiting datagram; false when none is left. Datagrams that were cut, and those that
    // may come from beyond the link they arrived on, are skipped.
    bool receive(Bytes& datagram, uint32_t& ifindex, uint16_t& source_port);

private:
    bool membership(uint32_t ifindex, bool add);
    static bool fromLink(uint32_t ifindex, in_addr destination, in_addr source, int ttl);

    int m_fd = -1;
    std::vector<uint32_t> m_joined;
};

// Tells when interfaces or their IPv4 addresses change (a routing netlink socket).
class InterfaceWatch {
public:
    InterfaceWatch() = default;
    ~InterfaceWatch();
    InterfaceWatch(const InterfaceWatch&) = delete;
    InterfaceWatch& operator=(const InterfaceWatch&) = delete;

    bool open();
    int fd() const { return m_fd; }
    // Reads what waits; true when anything changed.
    bool changed();

private:
    int m_fd = -1;
};

}  // namespace vireo_dnssd
