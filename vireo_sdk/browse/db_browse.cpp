#include "browse/db_browse.h"

#include <cstdarg>
#include <cstring>
#include <new>

#include "browse/db_browse_internal.h"
#include "platform/aud_log.h"
#include "sap/db_browse_sap.h"
#include "util/aud_format.h"
#include "util/aud_interface_lookup.h"
#include "util/aud_text.h"
#include "util/dt_dns_sd.h"

namespace {

constexpr const char* kSapGroup = "239.255.255.255";
constexpr const char* kDomain = "local";
constexpr size_t kInterfaceListSize = 128;

unsigned countBits(uint32_t bits) {
    unsigned count = 0;
    for (; bits; bits &= bits - 1) {
        ++count;
    }
    return count;
}

bool browsed(const db_browse* browse, unsigned type) {
    return browse->types & db_browse_types[type].bit;
}

void logStarted(const db_browse* browse, unsigned type, const char* what, aud_socket_t socket) {
    db_browse_log(browse, AUD_LOG_INFO, "%s: Started browsing for type %s (%s) using socket %d\n",
                  "db_browse_start_config", db_browse_types[type].description, what, socket);
}

aud_error_t startSap(db_browse* browse) {
    const unsigned type = DB_BROWSE_TYPE_INDEX_AES67;
    const aud_error_t result = db_browse_sap_open(browse->sap, kSapGroup);
    if (result == AUD_ERR_INVALIDPARAMETER) {
        db_browse_log(browse, AUD_LOG_ERROR,
                      "%s: Interface index number must be provided for browsing %s\n", __func__,
                      db_browse_types[type].description);
        return result;
    }
    if (result == AUD_ERR_NODEV) {
        return result;
    }
    if (result != AUD_SUCCESS) {
        browse->sockets[type] = AUD_SOCKET_INVALID;
        db_browse_log(browse, AUD_LOG_ERROR, "%s: Error creating socket for type %s, err=%d)\n",
                      __func__, db_browse_types[type].description, 0);
        return AUD_ERR_NOTSOCK;
    }
    browse->sockets[type] = db_browse_sap_socket(browse->sap);
    logStarted(browse, type, "SAP", browse->sockets[type]);
    return AUD_SUCCESS;
}

aud_error_t startType(db_browse* browse, unsigned type) {
    const db_browse_type_info& info = db_browse_types[type];
    DNSServiceRef ref = nullptr;
    const DNSServiceErrorType error =
        DNSServiceBrowse(&ref, 0, 0, info.full_type, kDomain, db_dnssd_browse, browse);
    if (error != kDNSServiceErr_NoError || !ref) {
        db_browse_stop(browse);
        db_browse_log(browse, AUD_LOG_ERROR, "Error starting %s (%s) browse (dnssd err=%d)\n",
                      info.description, info.full_type, error);
        return AUD_ERR_DNSSDFAIL;
    }
    browse->refs[type] = ref;
    browse->sockets[type] = DNSServiceRefSockFD(ref);
    logStarted(browse, type, info.full_type, browse->sockets[type]);
    return AUD_SUCCESS;
}

// Processes one ready browse socket; 12 on a DNS-SD failure.
aud_error_t processType(db_browse* browse, unsigned type, aud_socket_set* set) {
    const aud_socket_t socket = browse->sockets[type];
    if (socket == AUD_SOCKET_INVALID || !aud_socket_set_contains(set, socket)) {
        return AUD_SUCCESS;
    }
    aud_socket_set_remove(set, socket);
    if (type == DB_BROWSE_TYPE_INDEX_AES67) {
        db_browse_log(browse, AUD_LOG_DEBUG, "%s: processing SAP socket %d\n", "db_browse_process",
                      socket);
        db_browse_sap_process(socket, browse->sap);
        return AUD_SUCCESS;
    }
    db_browse_log(browse, AUD_LOG_DEBUG, "%s: processing %s socket %d\n", "db_browse_process",
                  db_browse_types[type].full_type, socket);
    return dt_dns_sd_process_result(socket, browse->refs[type]) == kDNSServiceErr_NoError
               ? AUD_SUCCESS
               : AUD_ERR_DNSSDFAIL;
}

aud_error_t processResolves(db_browse* browse, aud_socket_set* set) {
    for (aud_list_node* node = browse->active.head; node;) {
        db_resolve* resolve = static_cast<db_resolve*>(node->item);
        node = node->next;
        if (resolve->socket == AUD_SOCKET_INVALID ||
            !aud_socket_set_contains(set, resolve->socket)) {
            continue;
        }
        db_browse_log(browse, AUD_LOG_DEBUG,
                      "%s: processing resolve %p (type=%d name=%s sdref=%p s=%u)\n",
                      "db_browse_process", static_cast<void*>(resolve), resolve->type,
                      resolve->name, static_cast<void*>(resolve->ref), resolve->socket);
        const aud_socket_t socket = resolve->socket;
        const int result = dt_dns_sd_process_result(socket, resolve->ref);
        aud_socket_set_remove(set, socket);
        if (result != kDNSServiceErr_NoError) {
            return AUD_ERR_DNSSDFAIL;
        }
        if (browse->pass_error != AUD_SUCCESS) {
            return browse->pass_error;
        }
    }
    return AUD_SUCCESS;
}

void expireResolves(db_browse* browse) {
    for (aud_list_node* node = browse->active.head; node;) {
        db_resolve* resolve = static_cast<db_resolve*>(node->item);
        node = node->next;
        if (aud_time_compare(&resolve->deadline, &browse->now) > 0) {
            continue;
        }
        const db_browse_type_info& info = db_browse_types[resolve->type];
        char full[kDNSServiceMaxDomainName] = {};
        DNSServiceConstructFullName(full, resolve->name, info.full_type, kDomain);
        db_browse_log(browse, AUD_LOG_WARNING,
                      "%s: Resolve %s/%s (%s) timed out, removing and reconfirming\n",
                      "db_browse_process", info.full_type, resolve->name, full);
        const unsigned type = resolve->type;
        const unsigned network = resolve->network;
        char name[DB_RESOLVE_NAME_SIZE];
        aud_strlcpy(name, resolve->name, sizeof name);
        db_resolve_finish(resolve);
        db_browse_reconfirm(browse, db_browse_network_interface(browse, network), type, name);
    }
}

void startQueued(db_browse* browse) {
    while (browse->queued.head && browse->active.count < browse->max_resolves) {
        db_resolve* resolve = static_cast<db_resolve*>(browse->queued.head->item);
        if (db_resolve_resolve(resolve) != AUD_SUCCESS) {
            db_resolve_finish(resolve);
            break;
        }
    }
}

void nextTimeout(const db_browse* browse, aud_time* next) {
    *next = aud_time{0, 0};
    if (browse->active.head) {
        *next = static_cast<const db_resolve*>(browse->active.head->item)->deadline;
    }
}

void monotonic(void*, aud_time* now) {
    aud_time_get_monotonic(now);
}

}  // namespace

void db_browse_log(const db_browse* browse, unsigned level, const char* format, ...) {
    aud_log* log = browse ? aud_env_log(browse->env) : nullptr;
    if (!log) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    aud_log_vprintf(log, level, format, arguments);
    va_end(arguments);
}

void db_browse_time(const db_browse* browse, aud_time* now) {
    browse->clock(browse->clock_context, now);
}

uint32_t db_browse_network_interface(const db_browse* browse, unsigned network) {
    if (network == DB_BROWSE_NETWORK_LOCALHOST) {
        return browse->localhost_index;
    }
    return network < DB_BROWSE_MAX_CONFIG_NETWORKS ? browse->config.interface_indexes[network] : 0;
}

void db_browse_config_init(db_browse_config* config) {
    if (!config) {
        return;
    }
    std::memset(config, 0, sizeof *config);
    config->num_networks = 1;
    config->network_mask = ~0u;
    config->include_localhost = 1;
    config->timeout_seconds = DB_BROWSE_DEFAULT_TIMEOUT_SECONDS;
}

aud_error_t db_browse_new(aud_env* env, uint32_t types, db_browse** browse) {
    return db_browse_new_with_options(env, types, 0, browse);
}

aud_error_t db_browse_new_with_options(aud_env* env, uint32_t types, unsigned options,
                                       db_browse** out) {
    const uint32_t known = (options & DB_BROWSE_OPTION_UPDATER) ? uint32_t(DB_BROWSE_UPDATER_TYPES)
                                                                : uint32_t(DB_BROWSE_ALL_TYPES);
    if (!out || !(types & known)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    *out = nullptr;
    db_browse* browse = new (std::nothrow) db_browse();
    if (!browse) {
        return AUD_ERR_NOMEMORY;
    }
    browse->env = env;
    browse->types = types & known;
    browse->num_types = countBits(browse->types);
    browse->max_resolves = DB_BROWSE_DEFAULT_RESOLVES;
    browse->clock = monotonic;
    for (unsigned i = 0; i < DB_BROWSE_NUM_TYPES; ++i) {
        browse->sockets[i] = AUD_SOCKET_INVALID;
    }
    aud_list_init(&browse->active);
    aud_list_init(&browse->queued);
    aud_list_init(&browse->finished);
    db_browse_config_init(&browse->config);
    db_browse_log(browse, AUD_LOG_INFO, "%s: creating new browse (types=0x%08x)\n", "db_browse_new",
                  browse->types);
    aud_error_t result =
        db_browse_network_new(browse, browse->config.num_networks, browse->types, &browse->tree);
    if (result != AUD_SUCCESS) {
        delete browse;
        return result;
    }
    db_browse_network_set_changed_flag(browse->tree, &browse->network_changed);
    if (known & DB_BROWSE_TYPE_AES67) {
        result = db_browse_sap_new(browse, &browse->sap);
        if (result != AUD_SUCCESS) {
            db_browse_log(browse, AUD_LOG_WARNING, "%s: Error getting AES67 SAP structure : %d\n",
                          "db_browse_new", result);
            db_browse_network_free(browse->tree);
            delete browse;
            return result;
        }
    }
    aud_interface loopback{};
    result = aud_interface_find_loopback(&loopback);
    if (result != AUD_SUCCESS) {
        db_browse_log(browse, AUD_LOG_WARNING, "%s: Error getting localhost interface index: %d\n",
                      "db_browse_new", result);
    } else {
        browse->localhost_index = loopback.index;
        db_browse_log(browse, AUD_LOG_DEBUG, "%s: Found localhost interface with index %d\n",
                      "db_browse_new", int(loopback.index));
    }
    *out = browse;
    return AUD_SUCCESS;
}

void db_browse_delete(db_browse* browse) {
    if (!browse) {
        return;
    }
    db_browse_stop(browse);
    db_browse_network_free(browse->tree);
    db_browse_sap_free(browse->sap);
    delete browse;
}

aud_error_t db_browse_set_max_sockets(db_browse* browse, unsigned n) {
    if (!browse || n <= browse->num_types) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (browse->running) {
        return AUD_ERR_INVALIDSTATE;
    }
    browse->max_resolves = n - browse->num_types;
    return AUD_SUCCESS;
}

unsigned db_browse_get_max_resolves(const db_browse* browse) {
    return browse ? browse->max_resolves : 0;
}

uint32_t db_browse_get_types(const db_browse* browse) {
    return browse ? browse->types : 0;
}

unsigned db_browse_get_num_types(const db_browse* browse) {
    return browse ? browse->num_types : 0;
}

void db_browse_set_node_changed_callback(db_browse* browse, db_browse_node_changed_fn callback) {
    browse->node_changed = callback;
    db_browse_network_set_callback(browse->tree, callback);
    if (browse->sap) {
        db_browse_sap_set_callback(browse->sap, callback);
    }
}

void db_browse_set_network_changed_callback(db_browse* browse, db_browse_changed_fn callback) {
    browse->on_network_changed = callback;
}

void db_browse_set_sockets_changed_callback(db_browse* browse, db_browse_changed_fn callback) {
    browse->on_sockets_changed = callback;
}

void db_browse_set_context(db_browse* browse, void* context) {
    browse->context = context;
}

void* db_browse_get_context(const db_browse* browse) {
    return browse ? browse->context : nullptr;
}

void db_browse_set_clock(db_browse* browse, db_browse_clock_fn clock, void* context) {
    browse->clock = clock ? clock : monotonic;
    browse->clock_context = clock ? context : nullptr;
}

db_browse_network* db_browse_get_network(const db_browse* browse) {
    return browse ? browse->tree : nullptr;
}

aud_error_t db_browse_start_config(db_browse* browse, const db_browse_config* config) {
    if (!browse || !config) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (browse->running) {
        return AUD_ERR_INVALIDSTATE;
    }
    db_browse_network_clear(browse->tree);
    browse->config = *config;
    if (browse->config.num_networks > DB_BROWSE_MAX_CONFIG_NETWORKS) {
        browse->config.num_networks = DB_BROWSE_MAX_CONFIG_NETWORKS;
    }
    char indexes[kInterfaceListSize] = {};
    for (unsigned n = 0; n < browse->config.num_networks; ++n) {
        char one[16];
        aud_snprintf(one, sizeof one, "%s%u", n ? "," : "", browse->config.interface_indexes[n]);
        aud_strlcat(indexes, one, sizeof indexes);
    }
    db_browse_log(browse, AUD_LOG_INFO, "%s: starting browse on %d interfaces: %s\n", __func__,
                  int(browse->config.num_networks), indexes);
    for (unsigned type = 0; type < DB_BROWSE_NUM_TYPES; ++type) {
        if (!browsed(browse, type)) {
            continue;
        }
        const bool sap = type == DB_BROWSE_TYPE_INDEX_AES67;
        const aud_error_t result = sap ? startSap(browse) : startType(browse, type);
        if (result != AUD_SUCCESS) {
            if (sap) {
                db_browse_stop(browse);
            }
            return result;
        }
    }
    browse->running = true;
    return AUD_SUCCESS;
}

aud_error_t db_browse_stop(db_browse* browse) {
    if (!browse) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    for (unsigned type = 0; type < DB_BROWSE_NUM_TYPES; ++type) {
        if (!browsed(browse, type) || browse->sockets[type] == AUD_SOCKET_INVALID) {
            continue;
        }
        const bool sap = type == DB_BROWSE_TYPE_INDEX_AES67;
        db_browse_log(browse, AUD_LOG_INFO, "%s: Stopping browsing for type %s using socket %d\n",
                      __func__, sap ? "AES67" : db_browse_types[type].full_type,
                      browse->sockets[type]);
        if (sap) {
            db_browse_sap_close(browse->sap);
        } else if (browse->refs[type]) {
            DNSServiceRefDeallocate(browse->refs[type]);
            browse->refs[type] = nullptr;
        }
        browse->sockets[type] = AUD_SOCKET_INVALID;
    }
    db_resolve_free_all(browse);
    if (browse->sap) {
        db_browse_sap_clear(browse->sap);
    }
    db_browse_network_clear(browse->tree);
    browse->running = false;
    return AUD_SUCCESS;
}

aud_error_t db_browse_get_sockets(db_browse* browse, aud_socket_set* set) {
    if (!browse || !set) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (!browse->running) {
        return AUD_ERR_INVALIDSTATE;
    }
    for (unsigned type = 0; type < DB_BROWSE_NUM_TYPES; ++type) {
        if (browsed(browse, type)) {
            aud_socket_set_add(set, browse->sockets[type]);
        }
    }
    for (aud_list_node* node = browse->active.head; node; node = node->next) {
        aud_socket_set_add(set, static_cast<db_resolve*>(node->item)->socket);
    }
    return AUD_SUCCESS;
}

aud_error_t db_browse_process(db_browse* browse, aud_socket_set* set, aud_time* next_timeout) {
    if (!browse || !set) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (!browse->running) {
        return AUD_ERR_INVALIDSTATE;
    }
    db_browse_time(browse, &browse->now);
    browse->pass_error = AUD_SUCCESS;
    browse->sockets_changed = false;
    browse->network_changed = false;
    aud_error_t result = processResolves(browse, set);
    if (result == AUD_SUCCESS) {
        expireResolves(browse);
        for (unsigned type = 0; type < DB_BROWSE_NUM_TYPES && result == AUD_SUCCESS; ++type) {
            if (browsed(browse, type)) {
                result = processType(browse, type, set);
                if (result == AUD_SUCCESS) {
                    result = browse->pass_error;
                }
            }
        }
    }
    if (result == AUD_SUCCESS) {
        startQueued(browse);
    }
    db_resolve_free_finished(browse);
    if (browse->network_changed && browse->on_network_changed) {
        browse->on_network_changed(browse);
    }
    if (browse->sockets_changed && browse->on_sockets_changed) {
        browse->on_sockets_changed(browse);
    }
    if (next_timeout) {
        nextTimeout(browse, next_timeout);
    }
    if (browse->sap && db_browse_sap_num_sessions(browse->sap) > 0) {
        db_browse_sap_expire(browse->sap);
    }
    return result == AUD_SUCCESS ? browse->pass_error : result;
}
