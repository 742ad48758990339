#pragma once

#include <vector>

#include "DnsMessage.h"

namespace vireo_dnssd {

// Largest query we send: fits an Ethernet frame.
constexpr size_t kMaxQuery = 1472;

// One multicast query (id 0) for `question`, with as many of `known` as fit as known
// answers; each known answer carries its remaining TTL.
Bytes encodeQuery(const DnsQuestion& question, const std::vector<DnsRecord>& known);

}  // namespace vireo_dnssd
