#include "FakeSapAnnouncer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace sim {

namespace {

constexpr uint16_t kSapPort = 9875;
constexpr const char* kSapGroup = "239.255.255.255";

}  // namespace

FakeSapAnnouncer::FakeSapAnnouncer(std::string interface_address)
    : m_address(std::move(interface_address)) {}

FakeSapAnnouncer::~FakeSapAnnouncer() {
    if (m_socket >= 0) {
        ::close(m_socket);
    }
}

bool FakeSapAnnouncer::start() {
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    in_addr out{};
    const int ttl = 1;
    const unsigned char loop = 1;
    return m_socket >= 0 && ::inet_pton(AF_INET, m_address.c_str(), &out) == 1 &&
           ::setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) == 0 &&
           ::setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0 &&
           ::setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) == 0;
}

bool FakeSapAnnouncer::send(const std::vector<uint8_t>& packet) {
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(kSapPort);
    ::inet_pton(AF_INET, kSapGroup, &group.sin_addr);
    return ::sendto(m_socket, packet.data(), packet.size(), MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&group),
                    sizeof group) == ssize_t(packet.size());
}

}  // namespace sim
