#include "MdnsSocket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "DnsMessage.h"

namespace vireo_dnssd {

std::vector<uint32_t> multicastInterfaces() {
    std::vector<uint32_t> found;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return found;
    }
    for (const ifaddrs* item = list; item; item = item->ifa_next) {
        if (!item->ifa_addr || item->ifa_addr->sa_family != AF_INET ||
            !(item->ifa_flags & IFF_UP) || !(item->ifa_flags & IFF_MULTICAST)) {
            continue;
        }
        const uint32_t index = ::if_nametoindex(item->ifa_name);
        if (index != 0 && std::find(found.begin(), found.end(), index) == found.end()) {
            found.push_back(index);
        }
    }
    ::freeifaddrs(list);
    return found;
}

namespace {

// The source lies in a subnet of one of the interface's IPv4 addresses.
bool onSubnet(uint32_t ifindex, in_addr source) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return false;
    }
    bool found = false;
    for (const ifaddrs* item = list; item && !found; item = item->ifa_next) {
        if (!item->ifa_addr || !item->ifa_netmask || item->ifa_addr->sa_family != AF_INET ||
            ::if_nametoindex(item->ifa_name) != ifindex) {
            continue;
        }
        const auto* address = reinterpret_cast<const sockaddr_in*>(item->ifa_addr);
        const auto* mask = reinterpret_cast<const sockaddr_in*>(item->ifa_netmask);
        found = ((address->sin_addr.s_addr ^ source.s_addr) & mask->sin_addr.s_addr) == 0;
    }
    ::freeifaddrs(list);
    return found;
}

}  // namespace

MdnsSocket::~MdnsSocket() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool MdnsSocket::open() {
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0) {
        return false;
    }
    const int on = 1;
    const int ttl = 255;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kMdnsPort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0 ||
        ::setsockopt(m_fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        ::setsockopt(m_fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on) != 0 ||
        ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0 ||
        ::setsockopt(m_fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl) != 0 ||
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool MdnsSocket::membership(uint32_t ifindex, bool add) {
    ip_mreqn request{};
    ::inet_pton(AF_INET, kMdnsGroup, &request.imr_multiaddr);
    request.imr_ifindex = int(ifindex);
    return ::setsockopt(m_fd, IPPROTO_IP, add ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, &request,
                        sizeof request) == 0 ||
           (add && errno == EADDRINUSE);
}

std::vector<uint32_t> MdnsSocket::join(const std::vector<uint32_t>& interfaces) {
    std::vector<uint32_t> joined;
    for (const uint32_t ifindex : m_joined) {
        if (std::find(interfaces.begin(), interfaces.end(), ifindex) == interfaces.end()) {
            membership(ifindex, false);  // fails harmlessly when the interface is gone
        }
    }
    for (const uint32_t ifindex : interfaces) {
        const bool had = std::find(m_joined.begin(), m_joined.end(), ifindex) != m_joined.end();
        if (had || membership(ifindex, true)) {
            joined.push_back(ifindex);
        }
    }
    m_joined = joined;
    return joined;
}

void MdnsSocket::send(uint32_t ifindex, const Bytes& datagram) {
    ip_mreqn out{};
    out.imr_ifindex = int(ifindex);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(kMdnsPort);
    ::inet_pton(AF_INET, kMdnsGroup, &group.sin_addr);
    if (::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) == 0) {
        ::sendto(m_fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&group), sizeof group);
    }
}

bool MdnsSocket::receive(Bytes& datagram, uint32_t& ifindex, uint16_t& source_port) {
    for (;;) {
        datagram.resize(kMaxDatagram);
        sockaddr_in from{};
        iovec part{datagram.data(), datagram.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(int))];
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t length = ::recvmsg(m_fd, &message, MSG_TRUNC);
        if (length < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if ((message.msg_flags & MSG_TRUNC) || size_t(length) > kMaxDatagram) {
            continue;
        }
        ifindex = 0;
        in_addr destination{};
        int ttl = -1;
        for (cmsghdr* item = CMSG_FIRSTHDR(&message); item; item = CMSG_NXTHDR(&message, item)) {
            if (item->cmsg_level == IPPROTO_IP && item->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::copy_n(reinterpret_cast<const char*>(CMSG_DATA(item)), sizeof info,
                            reinterpret_cast<char*>(&info));
                ifindex = uint32_t(info.ipi_ifindex);
                destination = info.ipi_addr;
            } else if (item->cmsg_level == IPPROTO_IP && item->cmsg_type == IP_TTL) {
                std::copy_n(reinterpret_cast<const char*>(CMSG_DATA(item)), sizeof ttl,
                            reinterpret_cast<char*>(&ttl));
            }
        }
        if (ifindex == 0 || !fromLink(ifindex, destination, from.sin_addr, ttl)) {
            continue;
        }
        datagram.resize(size_t(length));
        source_port = ntohs(from.sin_port);
        return true;
    }
}

bool MdnsSocket::fromLink(uint32_t ifindex, in_addr destination, in_addr source, int ttl) {
    // The group's scope is the link; a unicast datagram needs a TTL no router has lowered,
    // or when the TTL is unknown, a source on the interface's subnet.
    in_addr group{};
    ::inet_pton(AF_INET, kMdnsGroup, &group);
    if (destination.s_addr == group.s_addr) {
        return true;
    }
    return ttl >= 0 ? ttl == 255 : onSubnet(ifindex, source);
}

InterfaceWatch::~InterfaceWatch() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool InterfaceWatch::open() {
    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (m_fd < 0) {
        return false;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool InterfaceWatch::changed() {
    bool any = false;
    char buffer[8192];
    while (m_fd >= 0) {
        const ssize_t length = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length < 0) {
            // ENOBUFS means events were lost: look again to be sure.
            return any || errno == ENOBUFS;
        }
        any = true;
    }
    return any;
}

}  // namespace vireo_dnssd
