#pragma once

#include <chrono>

namespace vireo_dnssd {

// The querier's timings; tests shorten them before the engine starts.
struct Timing {
    using ms = std::chrono::milliseconds;
    ms first_query_min{20};  // the first query of a new question waits 20-120 ms
    ms first_query_max{120};
    ms initial_interval{1000};  // then 1 s, doubling up to 60 min
    ms max_interval{3600 * 1000};
    ms goodbye_delay{1000};       // a record with TTL 0, or flushed, goes after this
    int reconfirm_queries = 3;    // queries sent to reconfirm a record...
    ms reconfirm_interval{1000};  // ...this far apart
    ms reconfirm_wait{5000};      // removed when unanswered this long
    ms reconfirm_holdoff{10000};  // one reconfirmation of a record per this time
};

// Takes effect when the engine next starts.
void setTiming(const Timing& timing);
Timing timing();

}  // namespace vireo_dnssd
