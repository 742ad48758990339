#include "FakeDevice.h"

#include <fcntl.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "FakeState.h"
#include "FakeUdpSocket.h"

namespace sim {

namespace {

constexpr uint32_t kSetRequest = 1;
constexpr uint32_t kGetRequest = 2;
constexpr uint32_t kResponse = 3;
constexpr uint32_t kPayloadNone = 1;
constexpr uint32_t kPayloadSystem = 2;
constexpr uint32_t kPayloadDsp = 4;
constexpr uint32_t kPayloadAmp = 5;
constexpr uint32_t kPayloadDbg = 6;
constexpr uint32_t kAck = 1;
constexpr uint32_t kNack = 2;
constexpr uint32_t kErr = 3;
constexpr size_t kMaxDatagram = 65536;

Bytes serialize(const google::protobuf::Message& message) {
    std::string out;
    message.SerializePartialToString(&out);
    return Bytes(out.begin(), out.end());
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

FakeDevice::FakeDevice(std::string address, uint16_t port)
    : m_address(std::move(address)), m_port(port) {
    m_dsp.set_dsp_id(0);
    m_dbg.set_id(0);
}

FakeDevice::~FakeDevice() {
    stop();
}

void FakeDevice::setStatusInterface(std::string interface_name) {
    m_status_interface = std::move(interface_name);
}

bool FakeDevice::start() {
    m_stopping = false;
    m_socket = bindUdpSocket(m_address, m_port);
    m_other_socket = bindUdpSocket(m_address, 0);
    m_status_socket = openStatusSocket();
    if (m_socket < 0 || m_other_socket < 0 || m_status_socket < 0 ||
        ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        stop();
        return false;
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void FakeDevice::stop() {
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        const char byte = 0;
        (void)::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    for (int* fd : {&m_socket, &m_other_socket, &m_status_socket, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

int FakeDevice::openStatusSocket() const {
    const int fd = bindUdpSocket(m_address, 0);
    if (fd < 0) {
        return -1;
    }
    ip_mreqn out{};
    ::inet_pton(AF_INET, m_address.c_str(), &out.imr_address);
    out.imr_ifindex =
        m_status_interface.empty() ? 0 : int(::if_nametoindex(m_status_interface.c_str()));
    const unsigned char loop = 1;
    const unsigned char ttl = 1;
    if ((!m_status_interface.empty() && out.imr_ifindex == 0) ||
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) != 0 ||
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0 ||
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool FakeDevice::sendStatus(const std::string& text) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kStatusPort);
    ::inet_pton(AF_INET, kStatusGroup, &to.sin_addr);
    return m_status_socket >= 0 &&
           ::sendto(m_status_socket, text.data(), text.size(), 0,
                    reinterpret_cast<const sockaddr*>(&to), sizeof to) == ssize_t(text.size());
}

void FakeDevice::sendStatusEvery(std::chrono::milliseconds period, std::string text,
                                 std::chrono::milliseconds first) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status_period = period;
        m_status_text = std::move(text);
        m_status_due = std::chrono::steady_clock::now() + first;
    }
    const char byte = 0;
    (void)::write(m_wake[1], &byte, 1);
}

int FakeDevice::sendDueStatus() {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_status_period.count() <= 0) {
            return -1;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now < m_status_due) {
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(m_status_due - now);
            return int(wait.count()) + 1;
        }
        m_status_due += m_status_period;
        if (m_status_due < now) {
            m_status_due = now + m_status_period;
        }
        text = m_status_text;
    }
    sendStatus(text);
    return int(m_status_period.count());
}

void FakeDevice::setObserver(Observer observer) {
    m_observer = std::move(observer);
}

void FakeDevice::run() {
    std::vector<uint8_t> buffer(kMaxDatagram);
    for (;;) {
        const int timeout = sendDueStatus();
        pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents) {
            char drained[16];
            while (::read(m_wake[0], drained, sizeof drained) > 0) {
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping) {
                return;
            }
        }
        if (!(fds[0].revents & POLLIN)) {
            continue;
        }
        sockaddr_in from{};
        socklen_t from_length = sizeof from;
        const ssize_t length = ::recvfrom(m_socket, buffer.data(), buffer.size(), 0,
                                          reinterpret_cast<sockaddr*>(&from), &from_length);
        if (length < 0) {
            continue;
        }
        const Bytes datagram(buffer.begin(), buffer.begin() + length);
        bool answered = false;
        const bool open = handle(datagram, from, answered);
        if (m_observer) {
            char address[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
            m_observer({datagram, address, ntohs(from.sin_port), std::chrono::steady_clock::now()},
                       answered);
        }
        if (!open) {
            ::close(m_socket);
            m_socket = -1;
            return;
        }
    }
}

bool FakeDevice::handle(const Bytes& datagram, const sockaddr_in& from, bool& answered) {
    FakeFault fault;
    bool silent = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_last_sender_text.empty() || m_last_sender.s_addr != from.sin_addr.s_addr) {
            char address[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
            m_last_sender = from.sin_addr;
            m_last_sender_text = address;
        }
        m_log.push_back(
            {datagram, m_last_sender_text, ntohs(from.sin_port), std::chrono::steady_clock::now()});
        m_logged.notify_all();
        silent = m_silent;
        if (!m_faults.empty()) {
            fault = m_faults.front();
            m_faults.pop_front();
        }
    }
    if (silent) {
        return true;
    }
    if (isFirmwarePacket(datagram)) {
        answered = true;
        return handleFirmware(datagram, fault, from);
    }
    if (fault.kind == FakeFault::kSilence) {
        return true;
    }
    if (fault.kind == FakeFault::kDelay) {
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.arg));
    }
    if (fault.kind == FakeFault::kEmpty) {
        send({}, from, false);
        answered = true;
        return true;
    }
    if (!datagram.empty() && datagram[0] != 0x00) {
        const std::string command(datagram.begin(), datagram.end());
        const std::string text = fault.kind == FakeFault::kText ? fault.text : answerText(command);
        if (!text.empty()) {
            send(Bytes(text.begin(), text.end()), from, fault.kind == FakeFault::kOtherPort);
            answered = true;
        }
        return true;
    }
    const auto request = decodeFrame(datagram.data(), datagram.size());
    if (!request) {
        return true;  // a device drops what it cannot read
    }
    Reply reply;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        reply = answerFrame(*request);
    }
    sendFrameReply(std::move(reply), fault, from);
    answered = true;
    return true;
}

std::string FakeDevice::answerText(const std::string& command) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (command == "FWUPDATE\r") {
        m_update_mode = m_update_mode || !m_refuse_update_mode;
        return {};
    }
    if (command == "VERSION\r") {
        return "ACK VERSION=" + versionLocked();
    }
    const bool save = startsWith(command, "SAVEPRESET ");
    if ((save || startsWith(command, "LOADPRESET ")) && command.size() >= 12 &&
        command.back() == '\r') {
        const std::string digits = command.substr(11, command.size() - 12);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
            digits.size() > 2) {
            return "NACK";
        }
        const int slot = std::stoi(digits);
        if (save) {
            m_preset_slots[slot] = m_dsp;
        } else if (m_preset_slots.count(slot)) {
            m_dsp = m_preset_slots[slot];
        }
        return "ACK " + command.substr(0, command.size() - 1);
    }
    return "NACK";
}

bool FakeDevice::isFirmwarePacket(const Bytes& datagram) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_update_mode && datagram.size() >= 4 && datagram[0] == 0x00 &&
           (datagram[1] == 0x02 || datagram[1] == 0x03);
}

bool FakeDevice::handleFirmware(const Bytes& datagram, const FakeFault& fault,
                                const sockaddr_in& from) {
    constexpr size_t kMajorAt = 0x184;
    constexpr size_t kMinorAt = 0x186;
    const uint16_t block = uint16_t((datagram[2] << 8) | datagram[3]);
    int copies = 1;
    bool closing = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (datagram[1] == 0x02) {
            const auto name_end = std::find(datagram.begin() + 4, datagram.end(), 0);
            m_firmware_name.assign(datagram.begin() + 4, name_end);
            m_firmware_image.clear();
            m_next_block = 1;
            m_firmware_complete = false;
        } else if (block == m_next_block && !m_firmware_complete) {
            m_firmware_image.insert(m_firmware_image.end(), datagram.begin() + 4, datagram.end());
            ++m_next_block;
            m_firmware_complete = datagram.size() - 4 < 256;
            if (m_firmware_complete && m_firmware_image.size() > kMinorAt) {
                m_version_major = m_firmware_image[kMajorAt];
                m_version_minor = m_firmware_image[kMinorAt];
            }
        }
        closing = datagram[1] == 0x03 && block == m_close_after_block;
        if (m_ack_drop > 0 || m_ack_duplicate > 0) {
            std::uniform_real_distribution<double> chance(0.0, 1.0);
            if (chance(m_loss_random) < m_ack_drop) {
                copies = 0;
            } else if (chance(m_loss_random) < m_ack_duplicate) {
                copies = 2;
            }
        }
    }
    if (fault.kind == FakeFault::kSilence) {
        return !closing;  // the block is taken, its acknowledgement lost
    }
    uint16_t acked = block;
    if (fault.kind == FakeFault::kDuplicateAck) {
        acked = uint16_t(block - 1);
    } else if (fault.kind == FakeFault::kWrongAck) {
        acked = uint16_t(block + 7);
    }
    for (int i = 0; i < copies; ++i) {
        send({0x00, 0x04, uint8_t(acked >> 8), uint8_t(acked)}, from, false);
    }
    return !closing;
}

FakeDevice::Reply FakeDevice::answerFrame(const DecodedFrame& request) {
    Reply reply;
    reply.header.msg_type = kResponse;
    reply.header.seq_num = request.header.seq_num;
    reply.header.ack = kAck;
    reply.header.payload_type = request.header.payload_type;

    google::protobuf::Message* state = nullptr;
    switch (request.header.payload_type) {
        case kPayloadSystem:
            state = &m_system;
            break;
        case kPayloadDsp:
            state = &m_dsp;
            break;
        case kPayloadAmp:
            state = &m_amp;
            break;
        case kPayloadDbg:
            state = &m_dbg;
            break;
        default:
            break;
    }
    std::unique_ptr<google::protobuf::Message> body(state ? state->New() : nullptr);
    if (!body ||
        !body->ParsePartialFromArray(request.payload.data(), int(request.payload.size())) ||
        (request.header.msg_type != kSetRequest && request.header.msg_type != kGetRequest)) {
        reply.header.ack = kNack;
        reply.header.payload_type = kPayloadNone;
        return reply;
    }
    if (request.header.msg_type == kSetRequest) {
        mergeById(*state, *body);
        reply.header.payload_type = kPayloadNone;
        return reply;
    }
    fillFromState(*body, *state);
    if (m_meters && state == &m_dsp) {
        m_meters->fill(static_cast<dsp_t&>(*body), m_dsp);
    }
    reply.payload = serialize(*body);
    return reply;
}

void FakeDevice::sendFrameReply(Reply reply, const FakeFault& fault, const sockaddr_in& to) {
    const FakeFault::Kind kind = fault.kind;
    const uint32_t other_type =
        reply.header.payload_type == kPayloadAmp ? kPayloadDbg : kPayloadAmp;
    switch (kind) {
        case FakeFault::kErr:
            reply.header.ack = kErr;
            break;
        case FakeFault::kNackSameType:
            reply.header.ack = kNack;
            break;
        case FakeFault::kNackOtherType:
            reply.header.ack = kNack;
            reply.header.payload_type = other_type;
            reply.payload.clear();
            break;
        case FakeFault::kWrongSeq:
            reply.header.seq_num = reply.header.seq_num % 127 + 1;
            break;
        case FakeFault::kWrongPayload:
            reply.header.payload_type = other_type;
            break;
        case FakeFault::kNoAck:
            reply.header.ack.reset();
            break;
        case FakeFault::kStaleFirst: {
            WireHeader stale = reply.header;
            stale.seq_num = stale.seq_num == 1 ? 127 : stale.seq_num - 1;
            send(encodeFrame(encodeHeader(stale), reply.payload), to, false);
            break;
        }
        default:
            break;
    }
    Bytes frame = encodeFrame(encodeHeader(reply.header), reply.payload);
    if (kind == FakeFault::kBadCrc) {
        frame.back() ^= 0xFF;
    } else if (kind == FakeFault::kTruncated) {
        frame.resize(std::min(frame.size(), size_t(std::max(fault.arg, 0))));
    } else if (kind == FakeFault::kHeaderPastEnd) {
        frame[1] = uint8_t(frame.size());
        const uint32_t crc = wireCrc(frame.data(), frame.size() - 4);
        for (int i = 0; i < 4; ++i) {
            frame[frame.size() - 4 + i] = uint8_t(crc >> (24 - 8 * i));
        }
    }
    send(frame, to, kind == FakeFault::kOtherPort);
}

void FakeDevice::send(const Bytes& bytes, const sockaddr_in& to, bool other_port) {
    ::sendto(other_port ? m_other_socket : m_socket, bytes.data(), bytes.size(), 0,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

qz_msgs::system_t FakeDevice::system() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_system;
}

void FakeDevice::setSystem(const qz_msgs::system_t& system) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_system = system;
}

dsp_t FakeDevice::dsp() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dsp;
}

void FakeDevice::setDsp(const dsp_t& dsp) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dsp = dsp;
}

amp_t FakeDevice::amp() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_amp;
}

void FakeDevice::setAmp(const amp_t& amp) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_amp = amp;
}

dbg_t FakeDevice::dbg() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dbg;
}

void FakeDevice::setDbg(const dbg_t& dbg) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dbg = dbg;
}

void FakeDevice::setVersion(int major, int minor) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_version_major = major;
    m_version_minor = minor;
}

std::string FakeDevice::versionText() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return versionLocked();
}

std::string FakeDevice::versionLocked() const {
    return std::to_string(m_version_major) + "." + std::to_string(m_version_minor);
}

void FakeDevice::setMeterLevels(float centre_db, float swing_db, uint32_t seed) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_meters.emplace(centre_db, swing_db, seed);
}

bool FakeDevice::hasPresetSlot(int slot) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_preset_slots.count(slot) != 0;
}

bool FakeDevice::inUpdateMode() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_update_mode;
}

std::string FakeDevice::firmwareName() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_firmware_name;
}

Bytes FakeDevice::firmwareImage() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_firmware_image;
}

bool FakeDevice::firmwareComplete() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_firmware_complete;
}

void FakeDevice::setSilent(bool silent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = silent;
}

void FakeDevice::setAckLoss(double drop, double duplicate, uint32_t seed) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ack_drop = drop;
    m_ack_duplicate = duplicate;
    m_loss_random.seed(seed);
}

void FakeDevice::setRefuseUpdateMode(bool refuse) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refuse_update_mode = refuse;
}

void FakeDevice::closeAfterBlock(int block) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_close_after_block = block;
}

void FakeDevice::scriptFaults(const std::vector<FakeFault>& faults) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.insert(m_faults.end(), faults.begin(), faults.end());
}

void FakeDevice::dropNext(int count) {
    scriptFaults(
        std::vector<FakeFault>(size_t(std::max(count, 0)), FakeFault{FakeFault::kSilence}));
}

std::vector<LoggedDatagram> FakeDevice::log() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

void FakeDevice::clearLog() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

bool FakeDevice::waitForDatagrams(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_logged.wait_for(lock, timeout, [&] { return m_log.size() >= count; });
}

}  // namespace sim
