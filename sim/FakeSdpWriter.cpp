#include "FakeSdpWriter.h"

#include <arpa/inet.h>

#include <cstring>

namespace sim::sdp {

std::string text(const Session& s) {
    std::string out;
    auto line = [&](const std::string& value) { out += value + "\r\n"; };
    line("v=0");
    line("o=" + s.user + " " + std::to_string(s.id) + " " + std::to_string(s.version) + " IN IP4 " +
         s.origin);
    line("s=" + s.name);
    line("c=IN IP4 " + s.connection);
    line("t=0 0");
    line("a=keywds:Vireo");
    line("m=" + s.media + " " + std::to_string(s.port) + " RTP/AVP " +
         std::to_string(s.payload_type));
    line("a=recvonly");
    line("a=rtpmap:" + std::to_string(s.payload_type) + " L" + std::to_string(s.bits) + "/" +
         std::to_string(s.rate) + "/" + std::to_string(s.channels));
    line("a=ptime:" + s.ptime);
    line("a=ts-refclk:ptp=IEEE1588-2008:" + s.grandmaster + ":" + s.domain);
    line("a=mediaclk:direct=" + std::to_string(s.media_clock));
    for (const std::string& extra : s.extra) {
        line(extra);
    }
    return out;
}

std::vector<uint8_t> sap(const Packet& p, const std::string& body) {
    std::vector<uint8_t> out;
    out.push_back(uint8_t(0x20 | (p.deletion ? 0x04 : 0) | (p.encrypted ? 0x02 : 0) |
                          (p.compressed ? 0x01 : 0)));
    out.push_back(p.auth_words);
    out.push_back(uint8_t(p.hash >> 8));
    out.push_back(uint8_t(p.hash));
    in_addr source{};
    ::inet_pton(AF_INET, p.source.c_str(), &source);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&source);
    out.insert(out.end(), bytes, bytes + 4);
    out.insert(out.end(), size_t(p.auth_words) * 4, uint8_t(0xa5));
    out.insert(out.end(), p.payload_type.begin(), p.payload_type.end());
    out.push_back(0);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace sim::sdp
