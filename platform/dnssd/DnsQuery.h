#pragma once

#include <vector>

#include "DnsMessage.h"

namespace vireo_dnssd {

// Largest query we send: fits an Ethernet frame.
constexpr size_t kMaxQuery = 1472;
constexpr uint16_t kFlagTruncated = 0x0200;

// One multicast query (id 0) for `question` with `known` as known answers, each carrying its
// remaining TTL. Known answers that do not fit continue in further packets without a question;
// every packet but the last has TC set. Names are compressed within each packet. A record too
// large for a packet of its own is left out.
std::vector<Bytes> encodeQuery(const DnsQuestion& question, const std::vector<DnsRecord>& known);

}  // namespace vireo_dnssd
