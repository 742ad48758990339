#include <arpa/inet.h>

#include <cstring>
#include <initializer_list>
#include <new>

#include "browse/db_browse_internal.h"
#include "platform/aud_log.h"
#include "util/aud_text.h"

namespace {

constexpr const char* kDomain = "local";

bool sameResolve(const db_resolve* resolve, unsigned network, unsigned type, const char* name) {
    return resolve->network == network && resolve->type == type &&
           std::strcmp(resolve->name, name) == 0;
}

// The network of a reply's interface, or -1 when it belongs to none.
int networkOf(db_browse* browse, uint32_t interface_index, const char* name, const char* type,
              const char* domain, DNSServiceFlags flags) {
    db_browse_config& config = browse->config;
    for (unsigned n = 0; n < config.num_networks; ++n) {
        if (!(config.network_mask & (1u << n))) {
            continue;
        }
        if (config.interface_indexes[n] == 0) {
            db_browse_log(browse, AUD_LOG_WARNING,
                          "%s: No interface index filter defined for network %u, setting "
                          "interface index to %d\n",
                          "db_dnssd_browse", n, int(interface_index));
            config.interface_indexes[n] = interface_index;
        }
        if (config.interface_indexes[n] == interface_index) {
            return int(n);
        }
    }
    if (config.include_localhost && browse->localhost_index != 0 &&
        interface_index == browse->localhost_index) {
        return DB_BROWSE_NETWORK_LOCALHOST;
    }
    db_browse_log(browse, AUD_LOG_DEBUG,
                  "%s: Ignoring advertisement %s.%s.%s flags=0x%08x on invalid interface index %d",
                  "db_dnssd_browse", name, type, domain, flags, int(interface_index));
    return -1;
}

// The first label of an SRV target.
void hostLabel(const char* target, char* host, size_t size) {
    aud_strlcpy(host, target ? target : "", size);
    char* dot = std::strchr(host, '.');
    if (dot) {
        *dot = '\0';
    }
}

}  // namespace

aud_error_t db_resolve_queue(db_browse* browse, unsigned network, unsigned type, const char* name) {
    db_resolve* resolve = nullptr;
    if (browse->finished.head) {
        resolve = static_cast<db_resolve*>(browse->finished.head->item);
    } else {
        resolve = new (std::nothrow) db_resolve();
        if (!resolve) {
            return AUD_ERR_NOMEMORY;
        }
        aud_list_node_init(&resolve->link, resolve);
    }
    resolve->browse = browse;
    resolve->network = network;
    resolve->type = type;
    aud_strlcpy(resolve->name, name, sizeof resolve->name);
    resolve->ref = nullptr;
    resolve->socket = AUD_SOCKET_INVALID;
    resolve->active = false;
    resolve->deadline = aud_time{0, 0};
    aud_list_append(&browse->queued, &resolve->link);
    return AUD_SUCCESS;
}

aud_error_t db_resolve_resolve(db_resolve* resolve) {
    db_browse* browse = resolve->browse;
    if (resolve->active) {
        db_browse_log(browse, AUD_LOG_ERROR, "Error resolving %s: already resolving\n",
                      resolve->name);
        return AUD_ERR_INVALIDSTATE;
    }
    DNSServiceRef ref = nullptr;
    const DNSServiceErrorType error = DNSServiceResolve(
        &ref, 0, db_browse_network_interface(browse, resolve->network), resolve->name,
        db_browse_types[resolve->type].full_type, kDomain, db_dnssd_resolve, resolve);
    if (error != kDNSServiceErr_NoError || !ref) {
        db_browse_log(browse, AUD_LOG_ERROR, "Error resolving %s: %d\n", resolve->name, error);
        return AUD_ERR_DNSSDFAIL;
    }
    resolve->ref = ref;
    resolve->socket = DNSServiceRefSockFD(ref);
    browse->sockets_changed = true;
    const aud_time timeout = {browse->config.timeout_seconds, browse->config.timeout_microseconds};
    resolve->deadline = aud_time_add(&browse->now, &timeout);
    resolve->active = true;
    aud_list_append(&browse->active, &resolve->link);
    db_browse_log(browse, AUD_LOG_DEBUG, "%s: resolve '%s' initiated using socket %d\n", __func__,
                  resolve->name, resolve->socket);
    return AUD_SUCCESS;
}

void db_resolve_finish(db_resolve* resolve) {
    if (resolve->ref) {
        DNSServiceRefDeallocate(resolve->ref);
        resolve->ref = nullptr;
        resolve->browse->sockets_changed = true;
    }
    resolve->socket = AUD_SOCKET_INVALID;
    resolve->active = false;
    resolve->type = DB_BROWSE_TYPE_INVALID;
    aud_list_append(&resolve->browse->finished, &resolve->link);
}

void db_resolve_cancel(db_browse* browse, unsigned network, unsigned type, const char* name) {
    for (aud_list* list : {&browse->active, &browse->queued}) {
        for (aud_list_node* node = list->head; node;) {
            db_resolve* resolve = static_cast<db_resolve*>(node->item);
            node = node->next;
            if (sameResolve(resolve, network, type, name)) {
                db_resolve_finish(resolve);
            }
        }
    }
}

void db_resolve_free_finished(db_browse* browse) {
    while (browse->finished.head) {
        db_resolve* resolve = static_cast<db_resolve*>(browse->finished.head->item);
        aud_list_remove(&resolve->link);
        delete resolve;
    }
}

void db_resolve_free_all(db_browse* browse) {
    for (aud_list* list : {&browse->active, &browse->queued}) {
        while (list->head) {
            db_resolve_finish(static_cast<db_resolve*>(list->head->item));
        }
    }
    db_resolve_free_finished(browse);
}

void db_dnssd_browse(DNSServiceRef, DNSServiceFlags flags, uint32_t interface_index,
                     DNSServiceErrorType error, const char* name, const char* type,
                     const char* domain, void* context) {
    db_browse* browse = static_cast<db_browse*>(context);
    name = name ? name : "";
    type = type ? type : "";
    domain = domain ? domain : "";
    if (error != kDNSServiceErr_NoError) {
        db_browse_log(browse, AUD_LOG_WARNING, "%s: browse %s.%s.%s failed: %d\n", __func__, name,
                      type, domain, error);
        browse->pass_error = AUD_ERR_DNSSDFAIL;
        return;
    }
    const int network = networkOf(browse, interface_index, name, type, domain, flags);
    if (network < 0) {
        return;
    }
    const unsigned index = db_browse_type_index(type);
    if (index >= DB_BROWSE_NUM_TYPES || !(browse->types & db_browse_types[index].bit)) {
        db_browse_log(browse, AUD_LOG_DEBUG, "%s: unknown service type %s\n", __func__, type);
        return;
    }
    const db_browse_type_info& info = db_browse_types[index];
    if (!*name || std::strlen(name) >= info.name_limit) {
        db_browse_log(browse, AUD_LOG_DEBUG,
                      "%s: Ignoring invalid name \"%s\" for service type %s\n", __func__, name,
                      type);
        return;
    }
    if (flags & kDNSServiceFlagsAdd) {
        if (db_resolve_queue(browse, unsigned(network), index, name) != AUD_SUCCESS) {
            browse->pass_error = AUD_ERR_NOMEMORY;
        }
        return;
    }
    info.lost(browse, unsigned(network), name);
    db_resolve_cancel(browse, unsigned(network), index, name);
}

void db_dnssd_resolve(DNSServiceRef, DNSServiceFlags, uint32_t interface_index,
                      DNSServiceErrorType error, const char*, const char* host_target,
                      uint16_t port, uint16_t txt_length, const unsigned char* txt, void* context) {
    db_resolve* resolve = static_cast<db_resolve*>(context);
    db_browse* browse = resolve->browse;
    if (error != kDNSServiceErr_NoError) {
        db_browse_log(browse, AUD_LOG_ERROR,
                      "%s: Error resolving '%s' using socket %d (dns error=%d)\n", __func__,
                      resolve->name, resolve->socket, error);
        browse->pass_error = AUD_ERR_DNSSDFAIL;
        db_resolve_finish(resolve);
        return;
    }
    const uint32_t expected = db_browse_network_interface(browse, resolve->network);
    if (interface_index != expected) {
        if (resolve->network != DB_BROWSE_NETWORK_LOCALHOST) {
            db_browse_log(browse, AUD_LOG_WARNING,
                          "%s: ignoring resolve for %s on interface %u (not %u)", __func__,
                          resolve->name, interface_index, expected);
        }
        return;
    }
    char host[DB_BROWSE_HOST_SIZE];
    hostLabel(host_target, host, sizeof host);
    const uint16_t host_port = ntohs(port);
    db_browse_log(browse, AUD_LOG_DEBUG,
                  "%s: Resolved '%s' on network %u using socket %d (hosttarget=%s port=%d)\n",
                  __func__, resolve->name, resolve->network, resolve->socket, host, host_port);
    db_browse_types[resolve->type].resolved(resolve, host, host_port, txt ? txt_length : 0, txt);
    db_resolve_finish(resolve);
}
