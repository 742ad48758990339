#include "SimConsole.h"
#include "HexText.h"

#include <arpa/inet.h>

#include <cstdio>
#include <memory>
#include <sstream>

#include "qz_amp.pb.h"
#include "qz_dbg.pb.h"
#include "qz_dsp.pb.h"
#include "qz_msgs.pb.h"

namespace sim {

namespace {

constexpr uint32_t kSetRequest = 1;

bool isDecimal(const std::string& text) {
    return !text.empty() && text.size() <= 9 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

// "a,b,c", three decimal numbers.
bool isStatusTriple(const std::string& text) {
    std::istringstream parts(text);
    std::string part;
    int count = 0;
    while (std::getline(parts, part, ',')) {
        if (!isDecimal(part)) {
            return false;
        }
        ++count;
    }
    return count == 3 && text.back() != ',';
}

// Printable, with control characters escaped.
std::string quoted(const Bytes& bytes) {
    std::string text = "\"";
    char escaped[8];
    for (uint8_t b : bytes) {
        if (b == '\r') {
            text += "\\r";
        } else if (b == '\n') {
            text += "\\n";
        } else if (b == '"' || b == '\\') {
            text += '\\';
            text += char(b);
        } else if (b < 0x20 || b >= 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            text += escaped;
        } else {
            text += char(b);
        }
    }
    return text + "\"";
}

std::unique_ptr<google::protobuf::Message> messageOf(uint32_t payload_type) {
    switch (payload_type) {
        case qz_msgs::header_t::PYLD_SYSTEM:
            return std::make_unique<qz_msgs::system_t>();
        case qz_msgs::header_t::PYLD_DIRECT_DSP:
            return std::make_unique<qz_msgs::direct_dsp_t>();
        case qz_msgs::header_t::PYLD_DSP:
            return std::make_unique<dsp_t>();
        case qz_msgs::header_t::PYLD_AMP:
            return std::make_unique<amp_t>();
        case qz_msgs::header_t::PYLD_DBG:
            return std::make_unique<dbg_t>();
        default:
            return nullptr;
    }
}

std::string setLine(const std::string& device, const DecodedFrame& frame) {
    std::string line = device + " set ";
    const auto message = messageOf(frame.header.payload_type);
    if (!message) {
        return line + "payload type " + std::to_string(frame.header.payload_type) + " [" +
               hexText(frame.payload) + "]";
    }
    line += message->GetTypeName() + " [" + hexText(frame.payload) + "] ";
    if (message->ParsePartialFromArray(frame.payload.data(), int(frame.payload.size()))) {
        return line + "{" + message->ShortDebugString() + "}";
    }
    return line + "(unreadable)";
}

}  // namespace

SimCommand parseSimCommand(const std::string& line) {
    std::istringstream words(line);
    std::string verb;
    SimCommand command;
    if (!(words >> verb)) {
        return command;
    }
    std::string argument;
    std::string extra;
    words >> command.device >> argument >> extra;
    if (verb == "quit" && command.device.empty()) {
        command.kind = SimCommand::kQuit;
    } else if ((verb == "leave" || verb == "join") && !command.device.empty() && argument.empty()) {
        command.kind = verb == "leave" ? SimCommand::kLeave : SimCommand::kJoin;
    } else if (verb == "status" && !command.device.empty() && isStatusTriple(argument) &&
               extra.empty()) {
        command.kind = SimCommand::kStatus;
        command.status = "amp " + argument;
    } else {
        command.kind = SimCommand::kInvalid;
        command.error = "commands: status NAME a,b,c | leave NAME | join NAME | quit";
    }
    return command;
}

std::vector<std::string> reportLines(const std::string& device, const LoggedDatagram& datagram,
                                     bool answered, const std::string& version) {
    const Bytes& bytes = datagram.bytes;
    if (bytes.empty()) {
        return {};
    }
    const std::string sender =
        " from " + datagram.from_address + ":" + std::to_string(datagram.from_port);
    if (bytes[0] != 0x00) {
        std::vector<std::string> lines{device + " text " + quoted(bytes) + sender};
        static const std::string kVersion = "VERSION\r";
        if (answered && std::string(bytes.begin(), bytes.end()) == kVersion) {
            lines.push_back(device + " answered VERSION " + version);
        }
        return lines;
    }
    const auto frame = decodeFrame(bytes.data(), bytes.size());
    if (!frame || frame->header.msg_type != kSetRequest) {
        return {};
    }
    return {setLine(device, *frame) + sender};
}

bool isSimAddress(const std::string& dotted) {
    in_addr address{};
    if (::inet_pton(AF_INET, dotted.c_str(), &address) != 1) {
        return false;
    }
    const uint32_t host = ntohl(address.s_addr);
    // 127.0.0.0/8, 192.0.2.0/24 and the benchmarking range 198.18.0.0/15.
    return (host >> 24) == 127 || (host >> 8) == 0xC00002 || (host >> 17) == (0xC612u >> 1);
}

}  // namespace sim
