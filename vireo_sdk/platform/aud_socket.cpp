#include "platform/aud_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/aud_interface.h"
#include "platform/aud_platform.h"

namespace {

aud_error_t lastError() {
    return aud_error_from_errno(errno, 1);
}

aud_error_t check(int result) {
    return result < 0 ? lastError() : AUD_SUCCESS;
}

// The length byte, never past the IPv4 address it describes.
socklen_t lengthOf(const aud_sockaddr* address) {
    return (address->length && address->length <= sizeof(sockaddr_in)) ? address->length
                                                                       : sizeof(sockaddr_in);
}

aud_error_t setFlag(aud_socket_t socket, int level, int option, int on) {
    if (socket == AUD_SOCKET_INVALID) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const int value = on == 1 ? 1 : 0;
    return check(setsockopt(socket, level, option, &value, sizeof value));
}

aud_error_t membership(aud_socket_t socket, int option, const aud_sockaddr* group,
                       const aud_interface* interface) {
    if (socket == AUD_SOCKET_INVALID || !aud_sockaddr_is_multicast(group)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    ip_mreqn request{};
    request.imr_multiaddr = group->in.sin_addr;
    request.imr_ifindex = interface ? static_cast<int>(interface->index) : 0;
    return check(setsockopt(socket, IPPROTO_IP, option, &request, sizeof request));
}

// One receive through recvmsg, so a datagram cut short by the buffer is seen.
aud_error_t receive(aud_socket_t socket, void* buffer, size_t* length, int flags, msghdr* message,
                    iovec* vector) {
    if (socket == AUD_SOCKET_INVALID || !length || (!buffer && *length > 0)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    vector->iov_base = buffer;
    vector->iov_len = *length;
    message->msg_iov = vector;
    message->msg_iovlen = 1;
    const ssize_t n = recvmsg(socket, message, flags);
    if (n < 0) {
        return lastError();
    }
    *length = static_cast<size_t>(n);
    return (message->msg_flags & MSG_TRUNC) ? AUD_ERR_MSGSIZE : AUD_SUCCESS;
}

aud_error_t receiveFrom(aud_socket_t socket, void* buffer, size_t* length, int flags,
                        aud_sockaddr* address) {
    msghdr message{};
    iovec vector{};
    sockaddr_in source{};
    message.msg_name = &source;
    message.msg_namelen = sizeof source;
    const aud_error_t result = receive(socket, buffer, length, flags, &message, &vector);
    if (address && (result == AUD_SUCCESS || result == AUD_ERR_MSGSIZE)) {
        std::memset(address, 0, sizeof *address);
        address->in = source;
        address->length = static_cast<uint8_t>(message.msg_namelen);
    }
    return result;
}

}  // namespace

aud_error_t aud_socket_create(aud_socket_t* socket, int family) {
    if (!socket || *socket != AUD_SOCKET_INVALID) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        return lastError();
    }
    *socket = fd;
    return AUD_SUCCESS;
}

aud_error_t aud_socket_connect(aud_socket_t socket, const aud_sockaddr* address) {
    if (socket == AUD_SOCKET_INVALID || !address) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return check(
        connect(socket, reinterpret_cast<const sockaddr*>(&address->in), lengthOf(address)));
}

aud_error_t aud_socket_create_connected(aud_socket_t* socket, const aud_sockaddr* address) {
    if (!address) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    aud_error_t result = aud_socket_create(socket, address->in.sin_family);
    if (result == AUD_SUCCESS) {
        result = aud_socket_connect(*socket, address);
        if (result != AUD_SUCCESS) {
            aud_socket_close(socket);
        }
    }
    return result;
}

aud_error_t aud_socket_close(aud_socket_t* socket) {
    if (!socket) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (*socket != AUD_SOCKET_INVALID) {
        close(*socket);
        *socket = AUD_SOCKET_INVALID;
    }
    return AUD_SUCCESS;
}

aud_error_t aud_socket_bind(aud_socket_t socket, const aud_sockaddr* address) {
    if (socket == AUD_SOCKET_INVALID || !address) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return check(bind(socket, reinterpret_cast<const sockaddr*>(&address->in), lengthOf(address)));
}

aud_error_t aud_socket_get_local_address(aud_socket_t socket, aud_sockaddr* address) {
    if (socket == AUD_SOCKET_INVALID || !address) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    std::memset(address, 0, sizeof *address);
    socklen_t length = sizeof address->in;
    const aud_error_t result =
        check(getsockname(socket, reinterpret_cast<sockaddr*>(&address->in), &length));
    address->length = static_cast<uint8_t>(length);
    return result;
}

aud_error_t aud_socket_set_blocking(aud_socket_t socket, bool blocking) {
    if (socket == AUD_SOCKET_INVALID) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const int flags = fcntl(socket, F_GETFL);
    if (flags < 0) {
        return lastError();
    }
    return check(fcntl(socket, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)));
}

aud_error_t aud_socket_join_group(aud_socket_t socket, const aud_sockaddr* group,
                                  const aud_interface* interface) {
    return membership(socket, IP_ADD_MEMBERSHIP, group, interface);
}

aud_error_t aud_socket_leave_group(aud_socket_t socket, const aud_sockaddr* group,
                                   const aud_interface* interface) {
    return membership(socket, IP_DROP_MEMBERSHIP, group, interface);
}

aud_error_t aud_socket_set_multicast_interface(aud_socket_t socket,
                                               const aud_interface* interface) {
    if (socket == AUD_SOCKET_INVALID) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    ip_mreqn request{};
    request.imr_ifindex = interface ? static_cast<int>(interface->index) : 0;
    return check(setsockopt(socket, IPPROTO_IP, IP_MULTICAST_IF, &request, sizeof request));
}

aud_error_t aud_socket_set_multicast_loop(aud_socket_t socket, int on) {
    return setFlag(socket, IPPROTO_IP, IP_MULTICAST_LOOP, on);
}

aud_error_t aud_socket_set_pktinfo(aud_socket_t socket, int on) {
    return setFlag(socket, IPPROTO_IP, IP_PKTINFO, on);
}

aud_error_t aud_socket_set_reuse_address(aud_socket_t socket, int on) {
    return setFlag(socket, SOL_SOCKET, SO_REUSEADDR, on);
}

aud_error_t aud_socket_set_reuse_port(aud_socket_t socket, int) {
    return socket == AUD_SOCKET_INVALID ? AUD_ERR_INVALIDPARAMETER : AUD_ERR_NOTSUPPORTED;
}

aud_error_t aud_socket_send(aud_socket_t socket, const void* data, size_t* length) {
    return aud_socket_sendto(socket, data, length, nullptr);
}

aud_error_t aud_socket_sendto(aud_socket_t socket, const void* data, size_t* length,
                              const aud_sockaddr* address) {
    if (socket == AUD_SOCKET_INVALID || !length || (!data && *length > 0)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const sockaddr* to = address ? reinterpret_cast<const sockaddr*>(&address->in) : nullptr;
    const ssize_t n =
        sendto(socket, data, *length, MSG_NOSIGNAL, to, address ? lengthOf(address) : 0);
    if (n < 0) {
        return lastError();
    }
    *length = static_cast<size_t>(n);
    return AUD_SUCCESS;
}

aud_error_t aud_socket_recv(aud_socket_t socket, void* buffer, size_t* length) {
    return receiveFrom(socket, buffer, length, 0, nullptr);
}

aud_error_t aud_socket_peek(aud_socket_t socket, void* buffer, size_t* length) {
    return receiveFrom(socket, buffer, length, MSG_PEEK, nullptr);
}

aud_error_t aud_socket_recvfrom(aud_socket_t socket, void* buffer, size_t* length,
                                aud_sockaddr* address) {
    return receiveFrom(socket, buffer, length, 0, address);
}

aud_error_t aud_socket_recvmsg(aud_socket_t socket, void* buffer, size_t* length,
                               aud_socket_msginfo* info) {
    if (!aud_platform_recvmsg_ready()) {
        return AUD_ERR_NOTINITIALISED;
    }
    if (socket == AUD_SOCKET_INVALID || !info) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    alignas(cmsghdr) unsigned char control[1024];
    sockaddr_in source{};
    msghdr message{};
    iovec vector{};
    message.msg_name = &source;
    message.msg_namelen = sizeof source;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const aud_error_t result = receive(socket, buffer, length, 0, &message, &vector);
    if (result != AUD_SUCCESS && result != AUD_ERR_MSGSIZE) {
        return result;
    }
    info->result_flags = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO ||
            c->cmsg_len < CMSG_LEN(sizeof(in_pktinfo))) {
            continue;
        }
        in_pktinfo packet;
        std::memcpy(&packet, CMSG_DATA(c), sizeof packet);
        if (info->flags & AUD_MSGINFO_DESTINATION) {
            aud_sockaddr local{};
            aud_socket_get_local_address(socket, &local);
            aud_sockaddr_set(&info->destination, packet.ipi_addr.s_addr,
                             aud_sockaddr_get_port(&local));
            info->result_flags |= AUD_MSGINFO_DESTINATION;
        }
        if (info->flags & AUD_MSGINFO_INTERFACE) {
            info->interface_index = static_cast<uint32_t>(packet.ipi_ifindex);
            info->result_flags |= AUD_MSGINFO_INTERFACE;
        }
    }
    if (info->flags & AUD_MSGINFO_SOURCE) {
        std::memset(&info->source, 0, sizeof info->source);
        info->source.in = source;
        info->source.length = sizeof(sockaddr_in);
        info->result_flags |= AUD_MSGINFO_SOURCE;
    }
    return result;
}
