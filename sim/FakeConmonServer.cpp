#include "FakeConmonServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "FakeUdpSocket.h"

namespace sim {

using namespace conmonwire;

namespace {

constexpr uint16_t kNull = 0x000;
constexpr uint16_t kConnect = 0x100;
constexpr uint16_t kDisconnect = 0x101;
constexpr uint16_t kRegister = 0x300;
constexpr uint16_t kDeregister = 0x301;
constexpr uint16_t kSubscribe = 0x310;
constexpr uint16_t kUnsubscribe = 0x311;
constexpr uint16_t kSendMessage = 0x400;
constexpr uint16_t kNamedChannelMessage = 0x511;
constexpr uint16_t kSubscriptionsChanged = 0x521;

// The largest message a client takes (its receive buffer).
constexpr size_t kMaxMessageSize = 6940;

constexpr uint16_t kResponse = 1;
constexpr uint16_t kEvent = 2;
constexpr uint16_t kInvalidSize = 4;
constexpr uint16_t kInvalidOpcode = 5;
constexpr uint16_t kInvalidData = 7;
constexpr uint16_t kNotSupported = 9;
constexpr uint16_t kInvalidState = 11;
constexpr uint16_t kNotFound = 13;
constexpr uint16_t kNoResponse = 0xF;

constexpr uint16_t kStatusChannel = 2;
constexpr uint16_t kRemote = 1;
constexpr size_t kHugeDatagram = 7000;
constexpr size_t kMaxDatagram = 65536;

std::string key(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// A name field of size bytes: the text, or with kTextWithoutZero the text padded with 'X' to
// fill the whole field.
void putName(Bytes& out, const std::string& text, size_t size, const FakeConmonFault& fault) {
    if (fault.kind == FakeConmonFault::kTextWithoutZero) {
        std::string full = text.substr(0, size);
        full.resize(size, 'X');
        putField(out, full, size);
    } else {
        putField(out, text, size);
    }
}

void putInterfaceRecord(Bytes& out, uint32_t index, bool link_up, const std::string& address,
                        size_t size) {
    const size_t start = out.size();
    putLe32(out, index);
    putLe32(out, link_up ? 1 : 0);
    in_addr value{};
    ::inet_pton(AF_INET, address.c_str(), &value);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value.s_addr);
    out.insert(out.end(), bytes, bytes + 4);
    padTo(out, start + size);
}

}  // namespace

FakeConmonDevice fakeConmonAmp(const std::string& name, uint8_t last) {
    FakeConmonDevice device;
    device.name = name;
    device.device_id = {0x00, 0x1d, 0xc1, 0xff, 0xfe, 0x12, 0x34, last};
    device.process_id = 0x0102;
    device.macs = {{0x00, 0x1d, 0xc1, 0x12, 0x34, 0x56}};
    device.vireo_model = "Solano 2-A";
    device.product_id = {0, 0, 0, 0, 0, 0, 1, 2};
    device.software_version = 0x04010002;
    device.firmware_version = 0x04000005;
    device.capabilities = 0x40000000;
    device.model_name = "ZEB-4600";
    device.model_version = 0x00010003;
    return device;
}

FakeConmonServer::FakeConmonServer(uint16_t port) : m_port(port) {}

FakeConmonServer::~FakeConmonServer() {
    stop();
}

bool FakeConmonServer::start() {
    // Started again, it takes the port it had.
    m_socket = bindUdpSocket("127.0.0.1", m_port != 0 ? m_port : m_bound_port);
    m_relay = bindUdpSocket("127.0.0.1", 0);
    if (m_socket < 0 || m_relay < 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        stop();
        return false;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length);
    m_bound_port = ntohs(local.sin_port);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_clients.clear();
        m_relays.clear();
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void FakeConmonServer::stop() {
    if (m_thread.joinable()) {
        const char byte = 0;
        (void)::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    for (int* fd : {&m_socket, &m_relay, &m_wake[0], &m_wake[1]}) {
        closeFd(*fd);
    }
}

uint16_t FakeConmonServer::port() const {
    return m_bound_port;
}

void FakeConmonServer::run() {
    std::vector<uint8_t> buffer(kMaxDatagram);
    for (;;) {
        pollfd fds[3] = {{m_socket, POLLIN, 0}, {m_relay, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[2].revents) {
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & POLLIN)) {
                continue;
            }
            sockaddr_in from{};
            socklen_t from_length = sizeof from;
            const ssize_t length = ::recvfrom(fds[i].fd, buffer.data(), buffer.size(), 0,
                                              reinterpret_cast<sockaddr*>(&from), &from_length);
            if (length < 0) {
                continue;
            }
            const Bytes datagram(buffer.begin(), buffer.begin() + length);
            if (i == 0) {
                handle(datagram, from);
            } else {
                handleRelayAnswer(datagram, from);
            }
        }
    }
}

void FakeConmonServer::handle(const Bytes& datagram, const sockaddr_in& from) {
    FakeConmonFault fault;
    bool silent = false;
    const auto header = readControl(datagram);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.push_back(datagram);
        m_logged.notify_all();
        silent = m_silent;
        if (header) {
            auto& queue = m_faults[header->opcode];
            if (!queue.empty()) {
                fault = queue.front();
                queue.pop_front();
            }
        }
    }
    if (!header || silent || fault.kind == FakeConmonFault::kSilence) {
        return;
    }
    if (header->opcode == kConnect) {
        uint16_t version = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            version = m_version;
        }
        if (header->version >= 0x1400 && version < 0x1400) {
            respond(*header, kInvalidSize, {}, fault, from);  // a Connect longer than it knows
            return;
        }
        if (fault.kind != FakeConmonFault::kStatus) {
            std::lock_guard<std::mutex> lock(m_mutex);
            const bool known =
                std::any_of(m_clients.begin(), m_clients.end(),
                            [&](const sockaddr_in& c) { return sameAddress(c, from); });
            if (!known) {
                m_clients.push_back(from);
            }
        }
        respond(*header, kResponse, connectBody(fault), fault, from);
        return;
    }
    if (!knownClient(from)) {
        respond(*header, kInvalidState, {}, fault, from);
        return;
    }
    switch (header->opcode) {
        case kDisconnect: {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_clients.erase(
                std::remove_if(m_clients.begin(), m_clients.end(),
                               [&](const sockaddr_in& c) { return sameAddress(c, from); }),
                m_clients.end());
            break;
        }
        case kSubscribe:
            respond(*header, kResponse, subscriptionBody(), fault, from);
            return;
        case kSendMessage:
            sendMessage(datagram, *header, fault, from);
            return;
        case kNull:
        case kRegister:
        case kDeregister:
        case kUnsubscribe:
            break;
        default:
            respond(*header, kInvalidOpcode, {}, fault, from);
            return;
    }
    respond(*header, kResponse, {}, fault, from);
}

void FakeConmonServer::respond(const ControlHeader& request, uint16_t status, const Bytes& body,
                               const FakeConmonFault& fault, const sockaddr_in& to) {
    if (request.flags == kNoResponse) {
        return;
    }
    uint16_t version = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        version = m_version;
    }
    uint16_t sequence = request.sequence;
    uint16_t opcode = request.opcode;
    switch (fault.kind) {
        case FakeConmonFault::kOtherSequence:
            sequence = uint16_t(sequence + 0x100);
            break;
        case FakeConmonFault::kOtherOpcode:
            opcode = opcode == kRegister ? kSubscribe : kRegister;
            break;
        case FakeConmonFault::kStatus:
            status = uint16_t(fault.arg);
            break;
        default:
            break;
    }
    Bytes out = control(version, sequence, opcode, status, body);
    if (fault.kind == FakeConmonFault::kHuge) {
        padTo(out, kHugeDatagram);
        out[2] = uint8_t(kHugeDatagram);
        out[3] = uint8_t(kHugeDatagram >> 8);
    } else if (fault.kind == FakeConmonFault::kLengthMismatch) {
        const uint16_t length = uint16_t(out.size() + size_t(fault.arg));
        out[2] = uint8_t(length);
        out[3] = uint8_t(length >> 8);
    }
    sendTo(out, to);
}

Bytes FakeConmonServer::connectBody(const FakeConmonFault& fault) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const DeviceId local_id = {0xEE, 0xEE, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
    const uint16_t local_process = 0x4321;
    std::vector<FakeConmonInterface> interfaces = m_interfaces;
    if (fault.kind == FakeConmonFault::kExcessCount) {
        interfaces.clear();
        for (int i = 0; i < fault.arg; ++i) {
            interfaces.push_back({uint32_t(i + 1), true, "127.0.0." + std::to_string(i % 250 + 1)});
        }
    }
    Bytes body;  // from offset 10
    if (m_version < 0x1200) {
        putLe16(body, 0);
        putName(body, m_local_name, 32, fault);
        body.insert(body.end(), local_id.begin(), local_id.end());
        putLe16(body, local_process);
        putLe16(body, uint16_t(interfaces.size()));
        for (const auto& interface : interfaces) {
            putInterfaceRecord(body, interface.index, interface.link_up, interface.address, 88);
        }
        return body;
    }
    constexpr size_t kRecordSize = 36;
    constexpr size_t kRecords = 324;  // past the fixed fields of every version
    putLe16(body, 1);                 // requests may ask for no response
    putName(body, m_local_name, 32, fault);
    putName(body, m_domain, 256, fault);
    body.insert(body.end(), local_id.begin(), local_id.end());
    putLe16(body, local_process);
    putLe16(body, uint16_t(interfaces.size()));
    putLe16(body, kRecordSize);
    putLe16(body, kRecords);
    padTo(body, kRecords - kControlHead);
    for (const auto& interface : interfaces) {
        putInterfaceRecord(body, interface.index, interface.link_up, interface.address,
                           kRecordSize);
    }
    return body;
}

Bytes FakeConmonServer::subscriptionBody() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    Bytes body;
    if (!m_subscription_records || m_devices.empty()) {
        return body;
    }
    const bool legacy = m_version < 0x1100;
    const size_t record_size = legacy ? 48 : 72;
    const size_t head = legacy ? 12 : 16;
    // As many records as one message holds.
    const size_t count = std::min(m_devices.size(), (kMaxMessageSize - head) / record_size);
    putLe16(body, uint16_t(count));
    padTo(body, head - kControlHead);
    for (size_t i = 0; i < count; ++i) {
        const auto& device = m_devices[i];
        const size_t start = body.size();
        putLe16(body, kStatusChannel);
        putLe16(body, 1);
        putField(body, device.name, 32);
        body.insert(body.end(), device.device_id.begin(), device.device_id.end());
        putLe16(body, device.process_id);
        padTo(body, start + record_size);
    }
    return body;
}

void FakeConmonServer::sendMessage(const Bytes& datagram, const ControlHeader& header,
                                   const FakeConmonFault& fault, const sockaddr_in& from) {
    if (le16(datagram, 10) != 0) {
        respond(header, kNotSupported, {}, fault, from);
        return;
    }
    const std::string name = textAt(datagram, 20, 32);
    const auto request = readChannel(datagram, 52);
    if (!request) {
        respond(header, kInvalidData, {}, fault, from);
        return;
    }
    FakeConmonDevice device;
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (const FakeConmonDevice* known = findDevice(name)) {
            device = *known;
            found = true;
        }
    }
    if (!found) {
        respond(header, kNotFound, {}, fault, from);
        return;
    }
    respond(header, kResponse, {}, fault, from);
    if (fault.kind == FakeConmonFault::kReplySilence || fault.kind == FakeConmonFault::kStatus ||
        header.flags == kNoResponse) {
        return;
    }
    if (request->vendor_id == kOvaltaVendor) {
        if (device.address.empty()) {
            return;
        }
        const std::string text = textAt(request->body, 0, request->body.size());
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(device.port);
        ::inet_pton(AF_INET, device.address.c_str(), &to.sin_addr);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_relays[key(to)].push_back({from, device.name});
        }
        ::sendto(m_relay, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
        return;
    }
    if (request->vendor_id != kStandardVendor) {
        return;
    }
    const Bytes body = replyBody(device, be16(request->body, 2), fault);
    if (!body.empty()) {
        sendTo(namedMessage(device, request->type, kStandardVendor, body, fault), from);
    }
}

Bytes FakeConmonServer::replyBody(const FakeConmonDevice& device, uint16_t opcode,
                                  const FakeConmonFault& fault) const {
    const bool no_zero = fault.kind == FakeConmonFault::kTextWithoutZero;
    Bytes body;
    putBe16(body, device.body_version);
    switch (opcode) {
        case 0x0013: {
            putBe16(body, 0x0011);
            putBe32(body, 0);
            const size_t count = fault.kind == FakeConmonFault::kExcessCount ? size_t(fault.arg)
                                                                             : device.macs.size();
            putBe16(body, uint16_t(count));
            putBe16(body, 0);
            for (const auto& mac : device.macs) {
                const size_t start = body.size();
                padTo(body, start + 6);
                body.insert(body.end(), mac.begin(), mac.end());
                padTo(body, start + 28);
            }
            break;
        }
        case 0x0061:
            putBe16(body, 0x0060);
            putBe32(body, 0);
            padTo(body, 20);
            body.insert(body.end(), device.vireo_model.begin(), device.vireo_model.end());
            if (!no_zero) {
                body.push_back(0);
            }
            break;
        case 0x00C1:
            putBe16(body, 0x00C0);
            putBe32(body, 0);
            padTo(body, 16);
            body.insert(body.end(), device.product_id.begin(), device.product_id.end());
            padTo(body, 32);
            putBe32(body, device.software_version);
            putBe32(body, device.firmware_version);
            putBe32(body, device.capabilities);
            padTo(body, 180);
            putName(body, device.model_name, 128, fault);
            putBe32(body, device.model_version);
            break;
        default:
            return {};
    }
    if (fault.kind == FakeConmonFault::kShortBody) {
        body.resize(std::min(body.size(), size_t(std::max(fault.arg, 0))));
    }
    return body;
}

Bytes FakeConmonServer::namedMessage(const FakeConmonDevice& device, uint16_t type,
                                     const VendorId& vendor, Bytes body,
                                     const FakeConmonFault& fault) {
    uint16_t version = 0;
    ChannelMessage message;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        version = m_version;
        message.sequence = ++m_device_sequence;
    }
    message.type = type;
    message.process_id = device.process_id;
    message.device_id = device.device_id;
    message.vendor_id = vendor;
    message.body = std::move(body);
    Bytes event;
    putLe16(event, kStatusChannel);
    putLe16(event, kRemote);
    putLe16(event, 0);
    putName(event, device.name, 32, fault);
    const size_t embedded = event.size();
    const Bytes channel_bytes = channel(message);
    event.insert(event.end(), channel_bytes.begin(), channel_bytes.end());
    uint16_t length = 0;
    if (fault.kind == FakeConmonFault::kEmbeddedLength) {
        length = uint16_t(fault.arg);
    } else if (fault.kind == FakeConmonFault::kEmbeddedPastEnd) {
        length = uint16_t(channel_bytes.size() + 10);
    }
    if (length != 0 || fault.kind == FakeConmonFault::kEmbeddedLength) {
        event[embedded + 2] = uint8_t(length >> 8);
        event[embedded + 3] = uint8_t(length);
    }
    return control(version, 0, kNamedChannelMessage, kEvent, event);
}

void FakeConmonServer::handleRelayAnswer(const Bytes& datagram, const sockaddr_in& from) {
    Relay relay;
    FakeConmonDevice device;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_relays.find(key(from));
        if (found == m_relays.end() || found->second.empty()) {
            return;
        }
        relay = found->second.front();
        found->second.pop_front();
        const FakeConmonDevice* known = findDevice(relay.device);
        if (!known) {
            return;
        }
        device = *known;
    }
    Bytes body = datagram;
    body.push_back(0);
    sendTo(namedMessage(device, 0xFFFF, kOvaltaVendor, body, {}), relay.client);
}

const FakeConmonDevice* FakeConmonServer::findDevice(const std::string& name) const {
    for (const auto& device : m_devices) {
        if (device.name == name) {
            return &device;
        }
    }
    return nullptr;
}

bool FakeConmonServer::knownClient(const sockaddr_in& from) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_clients.begin(), m_clients.end(),
                       [&](const sockaddr_in& c) { return sameAddress(c, from); });
}

void FakeConmonServer::sendTo(const Bytes& datagram, const sockaddr_in& to) const {
    ::sendto(m_socket, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
}

bool FakeConmonServer::sendToClient(const Bytes& datagram) const {
    sockaddr_in to{};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_clients.empty() || m_socket < 0) {
            return false;
        }
        to = m_clients.back();
    }
    sendTo(datagram, to);
    return true;
}

void FakeConmonServer::setVersion(uint16_t version) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_version = version;
}

void FakeConmonServer::setLocalDevice(const std::string& name, const std::string& domain) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_local_name = name;
    m_domain = domain;
}

void FakeConmonServer::setInterfaces(const std::vector<FakeConmonInterface>& interfaces) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interfaces = interfaces;
}

void FakeConmonServer::addDevice(const FakeConmonDevice& device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.push_back(device);
}

void FakeConmonServer::setSubscriptionRecords(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_subscription_records = on;
}

void FakeConmonServer::setSilent(bool silent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = silent;
}

void FakeConmonServer::scriptFault(uint16_t opcode, const FakeConmonFault& fault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[opcode].push_back(fault);
}

bool FakeConmonServer::sendEvent(uint16_t opcode, const Bytes& body) {
    uint16_t version = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        version = m_version;
    }
    return sendToClient(control(version, 0, opcode, kEvent, body));
}

bool FakeConmonServer::sendRaw(const Bytes& datagram) {
    return sendToClient(datagram);
}

bool FakeConmonServer::sendSubscriptionsChanged() {
    return sendEvent(kSubscriptionsChanged, subscriptionBody());
}

bool FakeConmonServer::sendNamedMessage(const std::string& name, const VendorId& vendor,
                                        const Bytes& body) {
    FakeConmonDevice device;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const FakeConmonDevice* found = findDevice(name);
        if (!found) {
            return false;
        }
        device = *found;
    }
    return sendToClient(namedMessage(device, 0xFFFF, vendor, body, {}));
}

std::vector<Bytes> FakeConmonServer::log() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

void FakeConmonServer::clearLog() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

size_t FakeConmonServer::count(uint16_t opcode) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return size_t(std::count_if(m_log.begin(), m_log.end(), [&](const Bytes& datagram) {
        const auto header = readControl(datagram);
        return header && header->opcode == opcode;
    }));
}

bool FakeConmonServer::waitForDatagrams(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_logged.wait_for(lock, timeout, [&] { return m_log.size() >= count; });
}

bool FakeConmonServer::waitForOpcode(uint16_t opcode, size_t wanted,
                                     std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_logged.wait_for(lock, timeout, [&] {
        return size_t(std::count_if(m_log.begin(), m_log.end(), [&](const Bytes& datagram) {
                   const auto header = readControl(datagram);
                   return header && header->opcode == opcode;
               })) >= wanted;
    });
}

size_t FakeConmonServer::clients() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clients.size();
}

}  // namespace sim
