#include "FakeArcpResponder.h"

#include <fcntl.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "FakeArcpAnswers.h"
#include "FakeArcpWire.h"
#include "FakeUdpSocket.h"

namespace sim {

namespace {

constexpr size_t kMaxDatagram = 2048;
constexpr uint16_t kMore = 0x0112;

// The reply bytes a fault turns the reply into; empty for none.
Bytes applyFault(const FakeArcpFault& fault, Bytes reply, const arcp::Request& request) {
    switch (fault.kind) {
        case FakeArcpFault::kWrongSeq:
            arcp::put16(reply, 4, static_cast<uint16_t>(request.seqnum ^ 0x8000u));
            break;
        case FakeArcpFault::kResultZero:
            arcp::put16(reply, 8, 0);
            break;
        case FakeArcpFault::kStatus:
            arcp::put16(reply, 8, static_cast<uint16_t>(fault.arg));
            break;
        case FakeArcpFault::kStatusNoBody:
            reply.resize(arcp::kHeaderSize);
            arcp::put16(reply, 2, arcp::kHeaderSize);
            arcp::put16(reply, 8, static_cast<uint16_t>(fault.arg));
            break;
        case FakeArcpFault::kCount:
            if (reply.size() >= arcp::kBodyStart) {
                reply[11] = static_cast<uint8_t>(fault.arg);
            }
            break;
        case FakeArcpFault::kOffsetPastEnd:
            arcp::put16(reply, fault.arg, static_cast<uint16_t>(reply.size() + 8));
            break;
        case FakeArcpFault::kNoNul:
            if (!reply.empty() && reply.back() == 0) {
                reply.back() = 'X';
            }
            break;
        case FakeArcpFault::kTruncated:
            reply.resize(std::min<size_t>(reply.size(), fault.arg));
            break;
        case FakeArcpFault::kCut:
        case FakeArcpFault::kOversize:
            reply.resize(fault.arg);
            arcp::put16(reply, 2, static_cast<uint16_t>(fault.arg));
            break;
        case FakeArcpFault::kFirstId:
            arcp::put16(reply, arcp::kBodyStart, static_cast<uint16_t>(fault.arg));
            break;
        case FakeArcpFault::kMoreNoProgress: {
            arcp::Writer w(arcp::get16(reply, 0), request.seqnum, request.opcode, kMore);
            w.body(0, 0);
            reply = w.finish();
            break;
        }
        case FakeArcpFault::kRaw:
            reply = fault.raw;
            arcp::put16(reply, 4, request.seqnum);
            break;
        default:
            break;
    }
    return reply;
}

}  // namespace

FakeArcpState fakeArcpDevice(const std::string& name, size_t tx, size_t rx) {
    FakeArcpState state;
    state.name = name;
    for (size_t i = 1; i <= tx; ++i) {
        FakeArcpTxChannel channel;
        channel.name = "Out " + std::to_string(i);
        state.tx.push_back(channel);
    }
    for (size_t i = 1; i <= rx; ++i) {
        FakeArcpRxChannel channel;
        channel.name = "In " + std::to_string(i);
        state.rx.push_back(channel);
    }
    return state;
}

struct FakeArcpResponder::Device {
    std::string address;
    uint16_t port = 0;
    int socket = -1;
    int other = -1;  // another port of the same address
    bool vanishing = false;
    bool silent = false;
    FakeArcpState state;
    std::deque<FakeArcpFault> faults;
};

FakeArcpResponder::FakeArcpResponder() = default;

FakeArcpResponder::~FakeArcpResponder() {
    stop();
}

int FakeArcpResponder::addDevice(const std::string& address, FakeArcpState state, uint16_t port) {
    auto device = std::make_unique<Device>();
    device->address = address;
    device->port = port;
    device->state = std::move(state);
    device->socket = bindUdpSocket(address, port);
    device->other = bindUdpSocket(address, 0);
    if (device->socket < 0 || device->other < 0) {
        closeFd(device->socket);
        closeFd(device->other);
        return -1;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.push_back(std::move(device));
    if (m_wake[1] >= 0) {
        const char byte = 1;
        (void)!::write(m_wake[1], &byte, 1);
    }
    return int(m_devices.size() - 1);
}

bool FakeArcpResponder::start() {
    if (m_thread.joinable() || ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void FakeArcpResponder::stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    if (m_thread.joinable()) {
        const char byte = 1;
        (void)!::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    closeFd(m_wake[0]);
    closeFd(m_wake[1]);
    for (auto& device : m_devices) {
        closeFd(device->socket);
        closeFd(device->other);
    }
}

FakeArcpState FakeArcpResponder::state(size_t device) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_devices.at(device)->state;
}

void FakeArcpResponder::setState(size_t device, FakeArcpState state) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.at(device)->state = std::move(state);
}

void FakeArcpResponder::setSilent(size_t device, bool silent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.at(device)->silent = silent;
}

void FakeArcpResponder::scriptFaults(size_t device, std::vector<FakeArcpFault> faults) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto& queue = m_devices.at(device)->faults;
    queue.insert(queue.end(), faults.begin(), faults.end());
}

void FakeArcpResponder::vanish(size_t device) {
    std::unique_lock<std::mutex> lock(m_mutex);
    Device& d = *m_devices.at(device);
    if (!m_thread.joinable()) {
        closeFd(d.socket);
        return;
    }
    d.vanishing = true;
    const char byte = 1;
    (void)!::write(m_wake[1], &byte, 1);
    m_logged.wait(lock, [&] { return d.socket < 0; });
}

std::vector<FakeArcpRequest> FakeArcpResponder::log() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

std::vector<FakeArcpRequest> FakeArcpResponder::requests(size_t device, uint16_t opcode) const {
    std::vector<FakeArcpRequest> found;
    for (const FakeArcpRequest& request : log()) {
        if (request.device == device && (opcode == 0 || arcp::get16(request.bytes, 6) == opcode)) {
            found.push_back(request);
        }
    }
    return found;
}

void FakeArcpResponder::clearLog() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

bool FakeArcpResponder::waitForRequests(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_logged.wait_for(lock, timeout, [&] { return m_log.size() >= count; });
}

void FakeArcpResponder::run() {
    std::vector<pollfd> fds;
    std::vector<size_t> owners;
    for (;;) {
        fds.clear();
        owners.clear();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping) {
                return;
            }
            for (size_t i = 0; i < m_devices.size(); ++i) {
                Device& device = *m_devices[i];
                if (device.vanishing) {
                    closeFd(device.socket);
                    device.vanishing = false;
                    m_logged.notify_all();
                }
                if (device.socket >= 0) {
                    fds.push_back({device.socket, POLLIN, 0});
                    owners.push_back(i);
                }
            }
        }
        fds.push_back({m_wake[0], POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            continue;
        }
        if (fds.back().revents & POLLIN) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        for (size_t i = 0; i + 1 < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) {
                continue;
            }
            uint8_t buffer[kMaxDatagram];
            sockaddr_in from{};
            socklen_t from_length = sizeof from;
            const ssize_t n = ::recvfrom(fds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &from_length);
            if (n < 0) {
                continue;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            Device& device = *m_devices[owners[i]];
            if (device.socket == fds[i].fd) {
                handle(device, owners[i], buffer, size_t(n), ntohs(from.sin_port),
                       from.sin_addr.s_addr);
            }
        }
    }
}

void FakeArcpResponder::handle(Device& device, size_t index, const uint8_t* data, size_t size,
                               uint16_t port, uint32_t from_address) {
    m_log.push_back({index, Bytes(data, data + size), port, std::chrono::steady_clock::now()});
    m_logged.notify_all();
    arcp::Request request;
    if (!arcp::parseRequest(data, size, &request) || request.result != 0) {
        return;
    }
    FakeArcpFault fault;
    bool faulted = false;
    for (auto it = device.faults.begin(); it != device.faults.end(); ++it) {
        if (it->opcode == 0 || it->opcode == request.opcode) {
            fault = *it;
            device.faults.erase(it);
            faulted = true;
            break;
        }
    }
    Bytes reply = arcp::answer(device.state, request);
    if (device.silent || (faulted && fault.kind == FakeArcpFault::kSilence)) {
        return;
    }
    if (faulted && fault.kind == FakeArcpFault::kVanish) {
        closeFd(device.socket);
        m_logged.notify_all();
        return;
    }
    if (faulted) {
        reply = applyFault(fault, std::move(reply), request);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = from_address;
    const int from =
        faulted && fault.kind == FakeArcpFault::kOtherPort ? device.other : device.socket;
    ::sendto(from, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
}

}  // namespace sim
