#pragma once

#include "browse/db_browse.h"
#include "util/aud_list.h"
#include "vireo_dns_sd.h"

struct db_browse_sap;

enum { DB_RESOLVE_NAME_SIZE = 64 };

// One resolve: queued, active (its DNS-SD reference open) or finished.
struct db_resolve {
    db_browse* browse;
    unsigned network;
    unsigned type;  // DB_BROWSE_TYPE_INVALID when free
    char name[DB_RESOLVE_NAME_SIZE];
    DNSServiceRef ref;
    aud_socket_t socket;
    bool active;
    aud_time deadline;
    aud_list_node link;
};

struct db_browse {
    aud_env* env;
    uint32_t types;
    unsigned num_types;
    bool running;
    DNSServiceRef refs[DB_BROWSE_NUM_TYPES];
    aud_socket_t sockets[DB_BROWSE_NUM_TYPES];
    db_browse_sap* sap;
    unsigned max_resolves;
    aud_list active;
    aud_list queued;
    aud_list finished;
    aud_time now;
    aud_error_t pass_error;
    bool sockets_changed;
    bool network_changed;
    db_browse_node_changed_fn node_changed;
    db_browse_changed_fn on_network_changed;
    db_browse_changed_fn on_sockets_changed;
    void* context;
    db_browse_clock_fn clock;
    void* clock_context;
    uint32_t localhost_index;
    db_browse_config config;
    db_browse_network* tree;
};

void db_browse_log(const db_browse* browse, unsigned level, const char* format, ...);
// The browse's clock.
void db_browse_time(const db_browse* browse, aud_time* now);
// The interface index of a network (the localhost network's is the loop-back interface's).
uint32_t db_browse_network_interface(const db_browse* browse, unsigned network);

// Queues a resolve of name; 6 when out of memory.
aud_error_t db_resolve_queue(db_browse* browse, unsigned network, unsigned type, const char* name);
aud_error_t db_resolve_resolve(db_resolve* resolve);
// Releases the reference and moves the record to the finished list.
void db_resolve_finish(db_resolve* resolve);
// Finishes every active and queued resolve of network, type and name.
void db_resolve_cancel(db_browse* browse, unsigned network, unsigned type, const char* name);
void db_resolve_free_finished(db_browse* browse);
// Frees every resolve record.
void db_resolve_free_all(db_browse* browse);

// The DNS-SD reply handlers.
void db_dnssd_browse(DNSServiceRef ref, DNSServiceFlags flags, uint32_t interface_index,
                     DNSServiceErrorType error, const char* name, const char* type,
                     const char* domain, void* context);
void db_dnssd_resolve(DNSServiceRef ref, DNSServiceFlags flags, uint32_t interface_index,
                      DNSServiceErrorType error, const char* fullname, const char* host,
                      uint16_t port, uint16_t txt_length, const unsigned char* txt, void* context);

// Reconfirms the PTR record of instance name of a row on an interface; 12 on a DNS-SD error.
aud_error_t db_browse_reconfirm(db_browse* browse, uint32_t interface_index, unsigned type,
                                const char* name);
// The PTR record data of an instance: its wire-form name in buffer (DNS-SD limits); the length,
// 0 when it does not fit.
size_t db_browse_ptr_data(const char* name, unsigned type, uint8_t* buffer, size_t size);
