#pragma once

#include <cstdint>

#include "browse/db_browse_tree.h"
#include "browse/db_browse_types.h"
#include "platform/aud_env.h"
#include "platform/aud_error.h"
#include "platform/aud_socket_set.h"
#include "platform/aud_time.h"

// DNS-SD browsing of Vireo devices (and SAP listening for AES67 sessions) into a device tree.
// Never blocks and owns no thread: the caller waits on the browse's sockets and calls
// db_browse_process.
struct db_browse;

enum { DB_BROWSE_MAX_CONFIG_NETWORKS = 2 };

struct db_browse_config {
    unsigned num_networks;
    uint32_t interface_indexes[DB_BROWSE_MAX_CONFIG_NETWORKS];  // 0: learnt from the first reply
    uint32_t network_mask;
    int include_localhost;    // accept the local loop-back interface as the localhost network
    int64_t timeout_seconds;  // of one resolve
    int32_t timeout_microseconds;
};

enum { DB_BROWSE_DEFAULT_RESOLVES = 16, DB_BROWSE_DEFAULT_TIMEOUT_SECONDS = 30 };

// Options of db_browse_new_with_options.
enum {
    // The update utility's browse: only the rows 0 to 4 (no via rows, no SAP listener).
    DB_BROWSE_OPTION_UPDATER = 1
};

typedef void (*db_browse_changed_fn)(db_browse* browse);
// The browse's clock (monotonic by default): *now is the current time.
typedef void (*db_browse_clock_fn)(void* context, aud_time* now);

void db_browse_config_init(db_browse_config* config);

// 3 for types without any known bit, 6 when out of memory.
aud_error_t db_browse_new(aud_env* env, uint32_t types, db_browse** browse);
aud_error_t db_browse_new_with_options(aud_env* env, uint32_t types, unsigned options,
                                       db_browse** browse);
// Stops and frees the browse (null is accepted).
void db_browse_delete(db_browse* browse);

// n must exceed the number of browsed types (else 3); the rest bounds the concurrent
// resolves. 5 while running.
aud_error_t db_browse_set_max_sockets(db_browse* browse, unsigned n);
unsigned db_browse_get_max_resolves(const db_browse* browse);
uint32_t db_browse_get_types(const db_browse* browse);
unsigned db_browse_get_num_types(const db_browse* browse);

void db_browse_set_node_changed_callback(db_browse* browse, db_browse_node_changed_fn callback);
void db_browse_set_network_changed_callback(db_browse* browse, db_browse_changed_fn callback);
void db_browse_set_sockets_changed_callback(db_browse* browse, db_browse_changed_fn callback);
void db_browse_set_context(db_browse* browse, void* context);
void* db_browse_get_context(const db_browse* browse);
void db_browse_set_clock(db_browse* browse, db_browse_clock_fn clock, void* context);

// 5 when running; 3, 37 or 42 when the SAP listener cannot open; 12 when a browse fails.
aud_error_t db_browse_start_config(db_browse* browse, const db_browse_config* config);
aud_error_t db_browse_stop(db_browse* browse);

// Adds the sockets to wait on. 3 for a null argument, 5 unless running.
aud_error_t db_browse_get_sockets(db_browse* browse, aud_socket_set* set);
// One pass over the ready sockets of set (its ready ones are taken out). next_timeout (may be
// null) gets the deadline of the first active resolve, zero when none.
aud_error_t db_browse_process(db_browse* browse, aud_socket_set* set, aud_time* next_timeout);

db_browse_network* db_browse_get_network(const db_browse* browse);

// Reconfirms the PTR records of the device's types (all when types is 0) on every network
// where it has them and on the localhost network; with_channels also its channel names.
aud_error_t db_browse_device_reconfirm(db_browse_device* device, uint32_t types, int with_channels);
