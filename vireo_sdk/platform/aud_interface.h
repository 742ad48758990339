#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"
#include "platform/aud_sockaddr.h"

struct aud_env;

enum aud_interface_kind {
    AUD_INTERFACE_KIND_OTHER = 0,
    AUD_INTERFACE_KIND_WIRED = 1,
    AUD_INTERFACE_KIND_LOOPBACK = 2,
    AUD_INTERFACE_KIND_WIRELESS = 3,
    AUD_INTERFACE_KIND_VIRTUAL = 4,
    AUD_INTERFACE_KIND_IEEE1394 = 5,
    AUD_INTERFACE_KIND_BLUETOOTH = 6
};

enum {
    AUD_INTERFACE_NAME_SIZE = 64,
    AUD_INTERFACE_DNS_SUFFIX_SIZE = 64,
    AUD_INTERFACE_ADAPTER_NAME_SIZE = 256,
    AUD_INTERFACE_PHYSICAL_SIZE = 8
};

// One entry of the PC's interface list.
struct aud_interface {
    char16_t friendly_name[AUD_INTERFACE_NAME_SIZE];
    uint32_t index;
    uint16_t pktinfo_index;  // the low 16 bits of index
    aud_interface_kind kind;
    uint8_t physical[AUD_INTERFACE_PHYSICAL_SIZE];
    uint32_t link_speed_mbps;  // 0 when not known
    bool up;
    bool loopback;
    bool multicast;
    aud_sockaddr address;  // first IPv4 address, family 0 when there is none
    aud_sockaddr netmask;
    aud_sockaddr dns_server;
    aud_sockaddr gateway;
    char dns_suffix[AUD_INTERFACE_DNS_SUFFIX_SIZE];
    char adapter_name[AUD_INTERFACE_ADAPTER_NAME_SIZE];
};

// A snapshot of the interfaces, sorted by kind, then index; one allocation that the caller
// frees with free(). env (may be null) gives the log; aud_interface_list does not log.
aud_error_t aud_interface_list_with_env(aud_env* env, aud_interface** list, size_t* count);
aud_error_t aud_interface_list(aud_interface** list, size_t* count);

// Netmask value (network order) of a prefix length: 24 gives 255.255.255.0.
uint32_t aud_interface_netmask_of_prefix(unsigned prefix);
