#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The SAP announcer's own SDP and SAP encoding, kept apart from the SDK's parser.
namespace sim::sdp {

struct Session {
    std::string user = "-";
    uint64_t id = 1311738121;
    uint64_t version = 1;
    std::string origin = "192.0.2.20";
    std::string name = "AMP-1 : 32";
    std::string connection = "239.69.1.2/32";
    std::string media = "audio";
    uint16_t port = 5004;
    unsigned payload_type = 98;
    unsigned bits = 24;
    unsigned rate = 48000;
    unsigned channels = 2;
    std::string ptime = "1";
    std::string grandmaster = "00-1D-C1-FF-FE-12-34-56";
    std::string domain = "0";
    unsigned media_clock = 0;
    std::vector<std::string> extra;  // more attribute lines of the media section
};

// The description's text, lines ended by CR LF.
std::string text(const Session& session);

struct Packet {
    bool deletion = false;
    bool encrypted = false;
    bool compressed = false;
    uint8_t auth_words = 0;  // 32-bit words of authentication data
    uint16_t hash = 0x1234;
    std::string source = "192.0.2.20";
    std::string payload_type = "application/sdp";
};

// A SAP packet carrying body.
std::vector<uint8_t> sap(const Packet& packet, const std::string& body);

}  // namespace sim::sdp
