#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FakeMdnsResponder.h"

// The service types that Vireo devices advertise, as services of the fake mDNS responder.
namespace sim::vireo {

enum class Row { kMediaDevice, kMediaChannel, kConmonDevice, kSafeMode, kUpgradeMode, kVia };

// "_vireo-arc._udp" .. "_vireo-via._tcp" (the via service runs over TCP).
const char* serviceType(Row row);

// One service of a row; channels are named "channel@device" (see channel()).
FakeMdnsService service(Row row, const std::string& instance, std::vector<std::string> txt,
                        uint16_t port = 0);
// A channel's default name (is_default) or a label: "channel@device".
FakeMdnsService channel(const std::string& channel, const std::string& device, uint16_t id,
                        bool is_default, const std::string& rate = "48000",
                        const std::string& encodings = "24 32");

// TXT records of a typical device of each row.
std::vector<std::string> mediaTxt();
std::vector<std::string> conmonTxt(const std::string& id = "0011223344556677",
                                   const std::string& process = "3");
std::vector<std::string> viaTxt();

// A device named name on host and address with the media and conmon services.
FakeMdnsDevice amplifier(const std::string& name, const std::string& host,
                         const std::string& address);

}  // namespace sim::vireo
