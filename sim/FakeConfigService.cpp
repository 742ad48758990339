#include "FakeConfigService.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "FakeUdpSocket.h"

namespace sim {

namespace {

constexpr uint16_t kConnect = 1;
constexpr uint16_t kDisconnect = 2;
constexpr uint16_t kKeepalive = 0;
constexpr uint16_t kOptions = 0x100;
constexpr uint16_t kState = 0x101;
constexpr uint16_t kSetConfig = 0x110;
constexpr uint16_t kResponse = 1;
constexpr uint16_t kEvent = 2;
constexpr uint16_t kUnrecognisedOpcode = 49;
constexpr uint16_t kNotConnected = 129;
constexpr size_t kMaxDatagram = 65536;
constexpr size_t kOversize = 1473;

void put16(Bytes* bytes, size_t at, uint16_t value) {
    (*bytes)[at] = static_cast<uint8_t>(value >> 8);
    (*bytes)[at + 1] = static_cast<uint8_t>(value & 0xFF);
}

// A config item: a one-slot array holding the offset of the interface list array.
uint16_t writeConfig(DgcpBodyWriter* writer, const std::vector<FakeCmmInterface>& list) {
    const uint16_t config = writer->array(1);
    const uint16_t entries = writer->array(static_cast<uint16_t>(list.size()));
    writer->slot(config, 0, entries);
    for (size_t i = 0; i < list.size(); ++i) {
        const uint16_t entry = writer->array(2);
        writer->slot(entries, static_cast<uint16_t>(i), entry);
        writer->slot(entry, 0, writer->wide(list[i].name));
        writer->slot(entry, 1, writer->bytes(list[i].mac.data(), list[i].mac.size()));
    }
    return config;
}

// The interfaces of a SET_CONFIG request's config item.
bool readConfig(const DgcpBodyReader& reader, uint16_t offset, std::vector<FakeCmmInterface>* out) {
    std::vector<uint16_t> config;
    std::vector<uint16_t> entries;
    if (!reader.arraySlots(offset, &config) || config.empty() ||
        !reader.arraySlots(config[0], &entries)) {
        return false;
    }
    for (uint16_t at : entries) {
        std::vector<uint16_t> entry;
        FakeCmmInterface interface;
        Bytes mac;
        if (!reader.arraySlots(at, &entry) || entry.size() < 2 ||
            !reader.wide(entry[0], &interface.name) || !reader.bytes(entry[1], 6, &mac)) {
            return false;
        }
        std::copy(mac.begin(), mac.end(), interface.mac.begin());
        out->push_back(interface);
    }
    return true;
}

}  // namespace

FakeConfigService::FakeConfigService(uint16_t port) : m_port(port) {}

FakeConfigService::~FakeConfigService() {
    stop();
}

bool FakeConfigService::start() {
    m_socket = bindUdpSocket("127.0.0.1", m_port);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (m_socket < 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC) != 0) {
        stop();
        return false;
    }
    m_port = ntohs(local.sin_port);
    {
        // A service started again knows no client and has its first configuration.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connected = false;
        m_client = sockaddr_in{};
        m_client_header = DgcpHeader{};
        m_client_name.clear();
        m_client_pid = 0;
        m_code = 1;
        m_current.clear();
        m_requested.clear();
        m_changing = false;
        m_ready_at.reset();
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void FakeConfigService::stop() {
    if (m_thread.joinable()) {
        const char byte = 0;
        (void)::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int* fd : {&m_socket, &m_wake[0], &m_wake[1]}) {
        closeFd(*fd);
    }
}

void FakeConfigService::closeSocket() {
    stop();
}

void FakeConfigService::setOptions(std::vector<FakeCmmInterface> options) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options = std::move(options);
}

void FakeConfigService::setDeviceName(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_device_name = name;
}

void FakeConfigService::setSetConfigMode(SetConfigMode mode,
                                         std::chrono::milliseconds changing_delay) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mode = mode;
    m_changing_delay = changing_delay;
}

void FakeConfigService::setConnectStatus(uint16_t status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connect_status = status;
}

void FakeConfigService::setSetConfigStatus(uint16_t status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set_config_status = status;
}

void FakeConfigService::setCarryPendingWhenReady(bool carry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_carry_pending = carry;
}

void FakeConfigService::setEarlyEvent(bool early) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_early_event = early;
}

void FakeConfigService::setCloseAfterConnect(bool close) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_close_after_connect = close;
}

void FakeConfigService::setSilent(bool silent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = silent;
}

void FakeConfigService::setSilentFor(uint16_t opcode, bool silent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent_for[opcode] = silent;
}

void FakeConfigService::scriptFault(uint16_t opcode, FakeCmmFault fault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.emplace(opcode, fault);
}

void FakeConfigService::sendOptions() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_connected) {
        sendEvent(kOptions, optionsBody());
    }
}

void FakeConfigService::sendState() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_connected) {
        sendEvent(kState, stateBody());
    }
}

std::vector<FakeCmmDatagram> FakeConfigService::log() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

std::vector<FakeCmmDatagram> FakeConfigService::logOf(uint16_t opcode) const {
    std::vector<FakeCmmDatagram> out;
    for (const FakeCmmDatagram& datagram : log()) {
        if (datagram.header && datagram.header->opcode == opcode) {
            out.push_back(datagram);
        }
    }
    return out;
}

bool FakeConfigService::waitForOpcode(uint16_t opcode, size_t count,
                                      std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_heard.wait_for(lock, timeout, [&] {
        return static_cast<size_t>(std::count_if(m_log.begin(), m_log.end(), [&](const auto& d) {
                   return d.header && d.header->opcode == opcode;
               })) >= count;
    });
}

void FakeConfigService::run() {
    std::vector<uint8_t> buffer(kMaxDatagram);
    for (;;) {
        int timeout = -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_ready_at) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    *m_ready_at - std::chrono::steady_clock::now());
                timeout = static_cast<int>(std::max<int64_t>(0, left.count()));
            }
        }
        int socket = -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            socket = m_socket;
        }
        pollfd fds[2] = {{socket, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents) {
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_ready_at && std::chrono::steady_clock::now() >= *m_ready_at) {
                finishChange();
            }
        }
        if (!(fds[0].revents & POLLIN)) {
            continue;
        }
        sockaddr_in from{};
        socklen_t from_length = sizeof from;
        const ssize_t length = ::recvfrom(socket, buffer.data(), buffer.size(), 0,
                                          reinterpret_cast<sockaddr*>(&from), &from_length);
        if (length >= 0) {
            handle(Bytes(buffer.begin(), buffer.begin() + length), from);
        }
    }
}

FakeCmmDatagram FakeConfigService::read(const Bytes& datagram, uint16_t from_port) const {
    FakeCmmDatagram entry;
    entry.bytes = datagram;
    entry.from_port = from_port;
    entry.when = std::chrono::steady_clock::now();
    entry.header = parseDgcpHeader(datagram);
    if (!entry.header) {
        return entry;
    }
    const DgcpBodyReader reader(datagram.data() + kDgcpHeaderSize,
                                datagram.size() - kDgcpHeaderSize);
    std::vector<uint16_t> root;
    switch (entry.header->opcode) {
        case kConnect:
            entry.readable = reader.arraySlots(0, &root) && root.size() >= 3 &&
                             reader.text(root[0], &entry.client_name) &&
                             reader.number(root[1], &entry.process_id);
            break;
        case kSetConfig:
            entry.readable = reader.arraySlots(0, &root) && root.size() >= 3;
            if (entry.readable) {
                entry.config_flags = root[0];
                entry.lock = (root[0] & 2) && root[2] != 0;
                if (root[0] & 1) {
                    entry.readable = readConfig(reader, root[1], &entry.config);
                }
            }
            break;
        default:
            entry.readable = true;
            break;
    }
    return entry;
}

void FakeConfigService::handle(const Bytes& datagram, const sockaddr_in& from) {
    std::lock_guard<std::mutex> lock(m_mutex);
    FakeCmmDatagram entry = read(datagram, ntohs(from.sin_port));
    const std::optional<DgcpHeader> header = entry.header;
    m_log.push_back(std::move(entry));
    m_heard.notify_all();
    if (!header || (m_silent_for.count(header->opcode) && m_silent_for[header->opcode])) {
        return;
    }
    const FakeCmmDatagram& request = m_log.back();
    const bool known = m_connected && from.sin_port == m_client.sin_port;
    switch (header->opcode) {
        case kConnect: {
            m_client = from;
            m_client_header = *header;
            if (m_connect_status != kResponse) {
                reply(*header, m_connect_status, {});
                return;
            }
            m_connected = true;
            m_client_name = request.client_name;
            m_client_pid = request.process_id;
            if (m_early_event) {
                sendEvent(kState, stateBody());
            }
            DgcpBodyWriter record;
            const uint16_t root = record.array(4);
            for (uint16_t i = 0; i < 4; ++i) {
                record.slot(root, i, static_cast<uint16_t>(i + 1));
            }
            reply(*header, kResponse, record.body());
            sendEvent(kOptions, optionsBody());
            sendEvent(kState, stateBody());
            if (m_close_after_connect) {
                ::close(m_socket);
                m_socket = -1;
            }
            return;
        }
        case kDisconnect:
            reply(*header, known ? kResponse : kNotConnected, {});
            if (known) {
                m_connected = false;
            }
            return;
        case kKeepalive:
            reply(*header, known ? kResponse : kNotConnected, {});
            return;
        case kSetConfig:
            if (!known || m_set_config_status != kResponse) {
                reply(*header, known ? m_set_config_status : kNotConnected, {});
                return;
            }
            m_requested = request.config;
            m_ready_at.reset();
            if (m_mode == SetConfigMode::kReady) {
                m_current = m_requested;
                m_code = 1;
                m_changing = false;
            } else {
                m_code = 2;
                m_changing = true;
                if (m_mode == SetConfigMode::kChangingThenReady) {
                    m_ready_at = std::chrono::steady_clock::now() + m_changing_delay;
                }
            }
            reply(*header, kResponse, stateBody());
            return;
        default:
            reply(*header, kUnrecognisedOpcode, {});
            return;
    }
}

void FakeConfigService::finishChange() {
    m_ready_at.reset();
    m_current = m_requested;
    m_code = 1;
    m_changing = false;
    if (m_connected) {
        sendEvent(kState, stateBody());
    }
}

void FakeConfigService::reply(const DgcpHeader& request, uint16_t status, const Bytes& body) {
    DgcpHeader header = request;
    header.status = status;
    send(header, body);
}

void FakeConfigService::sendEvent(uint16_t opcode, const Bytes& body) {
    DgcpHeader header = m_client_header;
    header.seqnum = m_event_seqnum++;
    header.opcode = opcode;
    header.status = kEvent;
    send(header, body);
}

void FakeConfigService::send(DgcpHeader header, const Bytes& body) {
    if (m_silent || m_socket < 0) {
        return;
    }
    std::optional<FakeCmmFault> fault;
    const auto scripted = m_faults.find(header.opcode);
    if (scripted != m_faults.end()) {
        fault = scripted->second;
        m_faults.erase(scripted);
    }
    Bytes content = body;
    if (fault == FakeCmmFault::kOffsetPastBody && content.size() >= 4) {
        const uint16_t count = static_cast<uint16_t>(content[0] << 8 | content[1]);
        if (count > 0) {
            put16(&content, 2 + 2 * size_t{count - 1u},
                  static_cast<uint16_t>((content.size() + 2) & ~size_t{1}));
        }
    }
    if (fault == FakeCmmFault::kItemPastBody && content.size() >= 2) {
        content.resize(content.size() - 2);
    }
    if (fault == FakeCmmFault::kNoBody) {
        content.clear();
    }
    if (fault == FakeCmmFault::kWrongSequence) {
        ++header.seqnum;
    }
    Bytes datagram = dgcpMessage(header, content);
    if (fault == FakeCmmFault::kLengthPlusOne) {
        put16(&datagram, 2, static_cast<uint16_t>(datagram.size() + 1));
    } else if (fault == FakeCmmFault::kLengthMinusOne) {
        put16(&datagram, 2, static_cast<uint16_t>(datagram.size() - 1));
    } else if (fault == FakeCmmFault::kNineteenBytes) {
        datagram.resize(19);
    } else if (fault == FakeCmmFault::kOversized) {
        datagram.resize(std::max(datagram.size(), kOversize), 0);
        put16(&datagram, 2, static_cast<uint16_t>(datagram.size()));
    }
    ::sendto(m_socket, datagram.data(), datagram.size(), 0,
             reinterpret_cast<const sockaddr*>(&m_client), sizeof m_client);
}

Bytes FakeConfigService::optionsBody() const {
    DgcpBodyWriter writer;
    const uint16_t root = writer.array(1);
    const uint16_t entries = writer.array(static_cast<uint16_t>(m_options.size()));
    writer.slot(root, 0, entries);
    for (size_t i = 0; i < m_options.size(); ++i) {
        const uint16_t entry = writer.array(2);
        writer.slot(entries, static_cast<uint16_t>(i), entry);
        writer.slot(entry, 0, writer.wide(m_options[i].name));
        writer.slot(entry, 1, writer.bytes(m_options[i].mac.data(), m_options[i].mac.size()));
    }
    return writer.body();
}

Bytes FakeConfigService::stateBody() const {
    DgcpBodyWriter writer;
    const uint16_t root = writer.array(5);
    writer.slot(root, 0, m_code);
    writer.slot(root, 1, writer.text(m_device_name));
    writer.slot(root, 2, writeConfig(&writer, m_current));
    if (m_changing || (m_carry_pending && !m_requested.empty())) {
        writer.slot(root, 3, writeConfig(&writer, m_requested));
    }
    const uint16_t processes = writer.array(m_connected ? 1 : 0);
    writer.slot(root, 4, processes);
    if (m_connected) {
        const uint16_t entry = writer.array(3);
        writer.slot(processes, 0, entry);
        writer.slot(entry, 0, writer.text(m_client_name));
        writer.slot(entry, 1, writer.number(m_client_pid));
        writer.slot(entry, 2, 1);
    }
    return writer.body();
}

}  // namespace sim
