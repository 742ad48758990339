#include "platform/aud_interface.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netpacket/packet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/aud_env.h"
#include "util/aud_text.h"

namespace {

const char* kFunction = "aud_interface_list_with_env";

std::string sysfs(const std::string& name, const char* item) {
    return "/sys/class/net/" + name + "/" + item;
}

bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool readLine(const std::string& path, std::string* line) {
    std::ifstream in(path);
    return in && std::getline(in, *line);
}

// The kind from sysfs: loopback, wireless, bluetooth, IEEE 1394, virtual (no device behind
// it), else wired.
aud_interface_kind kindOf(const std::string& name, unsigned flags) {
    std::string type;
    const long arpType =
        readLine(sysfs(name, "type"), &type) ? std::strtol(type.c_str(), nullptr, 10) : -1;
    if ((flags & IFF_LOOPBACK) || arpType == ARPHRD_LOOPBACK) {
        return AUD_INTERFACE_KIND_LOOPBACK;
    }
    if (exists(sysfs(name, "wireless")) || exists(sysfs(name, "phy80211"))) {
        return AUD_INTERFACE_KIND_WIRELESS;
    }
    std::ifstream uevent(sysfs(name, "uevent"));
    for (std::string line; std::getline(uevent, line);) {
        if (line == "DEVTYPE=bluetooth") {
            return AUD_INTERFACE_KIND_BLUETOOTH;
        }
    }
    if (arpType == ARPHRD_IEEE1394) {
        return AUD_INTERFACE_KIND_IEEE1394;
    }
    if (!exists(sysfs(name, "device"))) {
        return AUD_INTERFACE_KIND_VIRTUAL;
    }
    return AUD_INTERFACE_KIND_WIRED;
}

// Link speed in Mbit/s as the driver reports it (asked through a socket, so it answers for the
// network namespace we run in), else from sysfs; false when neither knows one.
bool linkSpeed(const std::string& name, uint32_t* speed) {
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe >= 0) {
        ethtool_cmd command{};
        command.cmd = ETHTOOL_GSET;
        ifreq request{};
        aud_strlcpy(request.ifr_name, name.c_str(), sizeof request.ifr_name);
        request.ifr_data = reinterpret_cast<char*>(&command);
        const bool asked = ioctl(probe, SIOCETHTOOL, &request) == 0;
        close(probe);
        const uint32_t value = ethtool_cmd_speed(&command);
        if (asked && value != 0 && value != static_cast<uint32_t>(SPEED_UNKNOWN)) {
            *speed = value;
            return true;
        }
    }
    std::string line;
    if (!readLine(sysfs(name, "speed"), &line)) {
        return false;
    }
    const long value = std::strtol(line.c_str(), nullptr, 10);
    *speed = value > 0 ? static_cast<uint32_t>(value) : 0;
    return value > 0;
}

// Default gateways by interface name, from the kernel's routing table.
std::map<std::string, uint32_t> defaultGateways() {
    std::map<std::string, uint32_t> gateways;
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string name;
        std::string destination;
        std::string gateway;
        if (fields >> name >> destination >> gateway && destination == "00000000" &&
            gateways.find(name) == gateways.end()) {
            gateways[name] = static_cast<uint32_t>(std::strtoul(gateway.c_str(), nullptr, 16));
        }
    }
    return gateways;
}

struct Resolver {
    uint32_t nameserver = 0;  // network order; 0 when none
    std::string suffix;
};

Resolver resolverSettings() {
    Resolver resolver;
    std::ifstream conf("/etc/resolv.conf");
    for (std::string line; std::getline(conf, line);) {
        std::istringstream fields(line);
        std::string key;
        std::string value;
        if (!(fields >> key >> value)) {
            continue;
        }
        in_addr address;
        if (key == "nameserver" && resolver.nameserver == 0 &&
            inet_pton(AF_INET, value.c_str(), &address) == 1) {
            resolver.nameserver = address.s_addr;
        } else if ((key == "domain" || key == "search") && resolver.suffix.empty()) {
            resolver.suffix = value;
        }
    }
    return resolver;
}

void logAt(aud_env* env, unsigned level, const char* format, ...) {
    if (!env) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    aud_log_vprintf(aud_env_log(env), level, format, arguments);
    va_end(arguments);
}

aud_interface* entryFor(std::vector<aud_interface>& entries, const char* name) {
    for (aud_interface& entry : entries) {
        if (std::strcmp(entry.adapter_name, name) == 0) {
            return &entry;
        }
    }
    entries.emplace_back();
    aud_interface& entry = entries.back();
    std::memset(&entry, 0, sizeof entry);
    aud_strlcpy(entry.adapter_name, name, sizeof entry.adapter_name);
    aud_mbstowcs(entry.friendly_name, name, AUD_INTERFACE_NAME_SIZE);
    entry.index = if_nametoindex(name);
    return &entry;
}

}  // namespace

uint32_t aud_interface_netmask_of_prefix(unsigned prefix) {
    if (prefix == 0) {
        return 0;
    }
    const uint32_t mask = prefix >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefix);
    return htonl(mask);
}

aud_error_t aud_interface_list_with_env(aud_env* env, aud_interface** list, size_t* count) {
    if (!list || !count) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    *list = nullptr;
    *count = 0;
    ifaddrs* addresses = nullptr;
    if (getifaddrs(&addresses) != 0) {
        return aud_error_from_errno(errno, 0);
    }
    std::vector<aud_interface> entries;
    const std::map<std::string, uint32_t> gateways = defaultGateways();
    const Resolver resolver = resolverSettings();
    for (ifaddrs* a = addresses; a; a = a->ifa_next) {
        if (!a->ifa_name) {
            continue;
        }
        // An address alias ("eth0:1") belongs to its interface, which keeps its first address.
        const std::string name(a->ifa_name, std::strcspn(a->ifa_name, ":"));
        aud_interface* entry = entryFor(entries, name.c_str());
        entry->up = (a->ifa_flags & IFF_UP) && (a->ifa_flags & IFF_RUNNING);
        entry->loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
        entry->multicast = (a->ifa_flags & IFF_MULTICAST) != 0;
        if (!a->ifa_addr) {
            continue;
        }
        if (a->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
            const size_t n = std::min<size_t>(link->sll_halen, AUD_INTERFACE_PHYSICAL_SIZE);
            std::memcpy(entry->physical, link->sll_addr, n);
        } else if (a->ifa_addr->sa_family == AF_INET && entry->address.in.sin_family == 0) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
            aud_sockaddr_set(&entry->address, in->sin_addr.s_addr, 0);
            const uint32_t mask =
                a->ifa_netmask
                    ? reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr
                    : 0;
            aud_sockaddr_set(&entry->netmask, mask, 0);
        }
    }
    freeifaddrs(addresses);

    for (aud_interface& entry : entries) {
        const std::string name = entry.adapter_name;
        const unsigned flags = entry.loopback ? IFF_LOOPBACK : 0;
        entry.kind = kindOf(name, flags);
        entry.pktinfo_index = static_cast<uint16_t>(entry.index & 0xFFFF);
        if (entry.index != entry.pktinfo_index) {
            logAt(env, AUD_LOG_WARNING,
                  "%s: Possible windows interface index corruption: interface %s claims to have "
                  "index %d.Setting pktinfo_index to %d.\n",
                  kFunction, entry.adapter_name, entry.index, entry.pktinfo_index);
        }
        if (entry.up && !linkSpeed(name, &entry.link_speed_mbps) && !entry.loopback) {
            logAt(env, AUD_LOG_WARNING,
                  "%s: Error using GetIfEntry to get link speed for interface %u: %s\n", kFunction,
                  entry.index, aud_error_message(AUD_ERR_NOTSUPPORTED, nullptr));
        }
        logAt(env, AUD_LOG_DEBUG, "%s: UP=%u TX=%u RX=%u\n", kFunction, entry.up,
              entry.link_speed_mbps, entry.link_speed_mbps);
        const auto gateway = gateways.find(name);
        if (gateway != gateways.end()) {
            aud_sockaddr_set(&entry.gateway, gateway->second, 0);
        }
        if (!entry.loopback && entry.address.in.sin_family == AF_INET) {
            if (resolver.nameserver) {
                aud_sockaddr_set(&entry.dns_server, resolver.nameserver, 0);
            }
            aud_strlcpy(entry.dns_suffix, resolver.suffix.c_str(), sizeof entry.dns_suffix);
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const aud_interface& a, const aud_interface& b) {
                         return a.kind != b.kind ? a.kind < b.kind : a.index < b.index;
                     });
    if (entries.empty()) {
        return AUD_SUCCESS;
    }
    auto* copy = static_cast<aud_interface*>(std::calloc(entries.size(), sizeof(aud_interface)));
    if (!copy) {
        return AUD_ERR_NOMEMORY;
    }
    std::copy(entries.begin(), entries.end(), copy);
    *list = copy;
    *count = entries.size();
    return AUD_SUCCESS;
}

aud_error_t aud_interface_list(aud_interface** list, size_t* count) {
    return aud_interface_list_with_env(nullptr, list, count);
}
