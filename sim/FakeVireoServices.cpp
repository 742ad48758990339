#include "FakeVireoServices.h"

#include <utility>

namespace sim::vireo {

const char* serviceType(Row row) {
    switch (row) {
        case Row::kMediaDevice:
            return "_vireo-arc._udp";
        case Row::kMediaChannel:
            return "_vireo-chan._udp";
        case Row::kConmonDevice:
            return "_vireo-cmc._udp";
        case Row::kSafeMode:
            return "_vireo-safe._udp";
        case Row::kUpgradeMode:
            return "_vireo-upgr._udp";
        case Row::kVia:
            return "_vireo-via._tcp";
    }
    return "";
}

FakeMdnsService service(Row row, const std::string& instance, std::vector<std::string> txt,
                        uint16_t port) {
    FakeMdnsService made;
    made.instance = instance;
    made.type = serviceType(row);
    made.port = port;
    made.txt = std::move(txt);
    return made;
}

FakeMdnsService channel(const std::string& channel, const std::string& device, uint16_t id,
                        bool is_default, const std::string& rate, const std::string& encodings) {
    std::vector<std::string> txt = {"id=" + std::to_string(id), "rate=" + rate, "enc=" + encodings};
    if (is_default) {
        txt.push_back("default");
    }
    return service(Row::kMediaChannel, channel + "@" + device, std::move(txt), 4455);
}

std::vector<std::string> mediaTxt() {
    return {"arcp_vers=2.7.1",    "arcp_min=1.0.0", "router_vers=4.1.32",
            "router_info=Solano", "mf=Corvanti",    "model=_00000000000a1b2c"};
}

std::vector<std::string> conmonTxt(const std::string& id, const std::string& process) {
    return {"id=" + id,    "process=" + process, "vid=000000000000c0de",
            "vba=1.2.3.4", "mf=Corvanti",        "model=SOLANO8"};
}

std::vector<std::string> viaTxt() {
    return {"id=0011223344556677", "process=4", "vers_min=1.0.0", "vers_curr=1.4.9"};
}

FakeMdnsDevice amplifier(const std::string& name, const std::string& host,
                         const std::string& address) {
    FakeMdnsDevice device;
    device.host = host;
    device.address = address;
    device.services.push_back(service(Row::kMediaDevice, name, mediaTxt(), 4440));
    device.services.push_back(service(Row::kConmonDevice, name, conmonTxt(), 8800));
    return device;
}

}  // namespace sim::vireo
