#include "sap/db_browse_sap.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "browse/db_browse_internal.h"
#include "platform/aud_interface.h"
#include "platform/aud_log.h"
#include "util/aud_expiry.h"

struct db_browse_sap {
    db_browse* browse;
    aud_expiry_list* sessions;
    aud_socket_t socket;
    uint8_t buffer[DB_BROWSE_SAP_BUFFER_SIZE];
    sap_announcement announcement;
    db_browse_node_changed_fn callback;
};

namespace {

void report(db_browse_sap* sap, db_browse_sap_session* session, int code) {
    if (sap->callback) {
        const db_browse_node_change change = {DB_BROWSE_NODE_AES67, session};
        sap->callback(sap->browse, &change, code);
    }
}

void expired(void* owner, int, void* data) {
    report(static_cast<db_browse_sap*>(owner), static_cast<db_browse_sap_session*>(data),
           DB_BROWSE_NODE_REMOVED);
}

int64_t browseSeconds(void* context) {
    aud_time now{};
    db_browse_time(static_cast<db_browse*>(context), &now);
    return now.seconds;
}

db_browse_sap_session* findSession(db_browse_sap* sap, const sdp_origin& origin) {
    for (void* data = aud_expiry_list_next(sap->sessions, nullptr); data;
         data = aud_expiry_list_next(sap->sessions, data)) {
        db_browse_sap_session* session = static_cast<db_browse_sap_session*>(data);
        const sdp_origin& known = session->announcement.sdp.origin;
        if (known.session_id == origin.session_id && known.address == origin.address) {
            return session;
        }
    }
    return nullptr;
}

// Picks network 0's interface, or the first one when its index is 0.
aud_error_t findInterface(db_browse_sap* sap, uint32_t index, aud_interface* found) {
    aud_interface* list = nullptr;
    size_t count = 0;
    const aud_error_t result = aud_interface_list_with_env(sap->browse->env, &list, &count);
    if (result != AUD_SUCCESS) {
        db_browse_log(sap->browse, AUD_LOG_ERROR, "%s: failed to get interface list: %s (%d)",
                      "db_browse_sap_open", aud_error_get_name(result), result);
        return result;
    }
    bool matched = false;
    for (size_t i = 0; i < count && !matched; ++i) {
        if (index == 0 || list[i].index == index) {
            *found = list[i];
            matched = true;
        }
    }
    std::free(list);
    if (!matched) {
        db_browse_log(sap->browse, AUD_LOG_ERROR, "%s: failed to get active interface index : %d",
                      "db_browse_sap_open", AUD_ERR_NODEV);
        return AUD_ERR_NODEV;
    }
    return AUD_SUCCESS;
}

aud_error_t openSocket(db_browse_sap* sap, const char* group) {
    db_browse* browse = sap->browse;
    aud_error_t result = AUD_SUCCESS;
    if (sap->socket == AUD_SOCKET_INVALID) {
        result = aud_socket_create(&sap->socket, AF_INET);
        if (result != AUD_SUCCESS) {
            db_browse_log(browse, AUD_LOG_ERROR, "%s: failed to create aes67 udp socket",
                          "db_browse_sap_open");
            return result;
        }
        // A datagram that poll() reported may be gone by the time it is read.
        aud_socket_set_blocking(sap->socket, false);
    }
    result = aud_socket_set_reuse_address(sap->socket, 1);
    if (result != AUD_SUCCESS) {
        db_browse_log(browse, AUD_LOG_WARNING,
                      "%s: failed to setopt for reusing aes67 sap address : erronum (%d)",
                      "db_browse_sap_open", result);
    }
    result = aud_socket_set_reuse_port(sap->socket, 1);
    if (result != AUD_SUCCESS) {
        db_browse_log(browse, AUD_LOG_WARNING,
                      "%s: failed to setopt for reusing aes67 sap port : erronum (%d)",
                      "db_browse_sap_open", result);
    }
    aud_sockaddr any{};
    aud_sockaddr_set_any(&any, AF_INET, DB_BROWSE_SAP_PORT);
    result = aud_socket_bind(sap->socket, &any);
    if (result != AUD_SUCCESS) {
        db_browse_log(browse, AUD_LOG_ERROR, "%s: failed to listen bind() for aes67 %d",
                      "db_browse_sap_open", result);
        return result;
    }
    aud_interface chosen{};
    result = findInterface(sap, browse->config.interface_indexes[0], &chosen);
    if (result != AUD_SUCCESS) {
        return result;
    }
    aud_sockaddr address{};
    result = aud_sockaddr_from_string(&address, AF_INET, group, DB_BROWSE_SAP_PORT);
    if (result == AUD_SUCCESS) {
        result = aud_socket_join_group(sap->socket, &address, &chosen);
    }
    if (result != AUD_SUCCESS) {
        db_browse_log(browse, AUD_LOG_ERROR,
                      "%s: failed to add membership to interface index %d, %s (%d)",
                      "db_browse_sap_open", int(chosen.index), aud_error_get_name(result), result);
    }
    return result;
}

}  // namespace

aud_error_t db_browse_sap_new(db_browse* browse, db_browse_sap** out) {
    if (!out) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    db_browse_sap* sap = new (std::nothrow) db_browse_sap();
    if (!sap) {
        return AUD_ERR_NOMEMORY;
    }
    sap->browse = browse;
    sap->socket = AUD_SOCKET_INVALID;
    const aud_error_t result = aud_expiry_list_new(sap, &sap->sessions);
    if (result != AUD_SUCCESS) {
        delete sap;
        return result;
    }
    aud_expiry_list_set_callback(sap->sessions, expired);
    if (browse) {
        aud_expiry_list_set_clock(sap->sessions, browseSeconds, browse);
    }
    *out = sap;
    return AUD_SUCCESS;
}

void db_browse_sap_free(db_browse_sap* sap) {
    if (sap) {
        db_browse_sap_close(sap);
        aud_expiry_list_free(sap->sessions);
        delete sap;
    }
}

void db_browse_sap_set_callback(db_browse_sap* sap, db_browse_node_changed_fn callback) {
    sap->callback = callback;
}

aud_error_t db_browse_sap_open(db_browse_sap* sap, const char* group) {
    if (!sap || !group || !sap->browse || sap->browse->config.num_networks == 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const aud_error_t result = openSocket(sap, group);
    if (result != AUD_SUCCESS) {
        aud_socket_close(&sap->socket);
    }
    return result;
}

aud_error_t db_browse_sap_close(db_browse_sap* sap) {
    if (!sap || sap->socket == AUD_SOCKET_INVALID) {
        return AUD_ERR_SOCKTNOSUPPORT;
    }
    return aud_socket_close(&sap->socket);
}

aud_socket_t db_browse_sap_socket(const db_browse_sap* sap) {
    return sap ? sap->socket : AUD_SOCKET_INVALID;
}

aud_error_t db_browse_sap_process(aud_socket_t socket, db_browse_sap* sap) {
    if (!sap || socket == AUD_SOCKET_INVALID) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    size_t length = sizeof sap->buffer;
    const aud_error_t result = aud_socket_recv(socket, sap->buffer, &length);
    if (result == AUD_ERR_TIMEDOUT) {
        return AUD_SUCCESS;  // nothing waiting after all
    }
    if (result == AUD_ERR_MSGSIZE) {
        db_browse_log(sap->browse, AUD_LOG_WARNING,
                      "%s: dropped aes67 datagram larger than %u bytes", __func__,
                      unsigned(sizeof sap->buffer));
        return result;
    }
    if (result != AUD_SUCCESS) {
        db_browse_log(sap->browse, AUD_LOG_ERROR,
                      "%s: failed to get aes67 socket data - errno - %d", __func__, result);
        return result;
    }
    return db_browse_sap_handle(sap, sap->buffer, length);
}

aud_error_t db_browse_sap_handle(db_browse_sap* sap, const uint8_t* data, size_t length) {
    sap_announcement& parsed = sap->announcement;
    if (get_sdp_parsed_structure(data, length, &parsed) != AUD_SUCCESS) {
        db_browse_log(sap->browse, AUD_LOG_ERROR, "%s: failed to parse SAP + SDP packet",
                      "db_browse_sap_process");
        return AUD_ERR_INVALIDDATA;
    }
    db_browse_sap_session* session = findSession(sap, parsed.sdp.origin);
    if (parsed.message_type == SAP_DELETION) {
        if (session) {
            report(sap, session, DB_BROWSE_NODE_REMOVED);
            aud_expiry_list_remove(sap->sessions, session);
        }
        return AUD_SUCCESS;
    }
    if (session) {
        aud_expiry_list_touch(sap->sessions, session);
        if (session->announcement.hash != parsed.hash) {
            session->announcement = parsed;
            report(sap, session, DB_BROWSE_NODE_CHANGED);
        }
        return AUD_SUCCESS;
    }
    void* data_block = nullptr;
    const aud_error_t result =
        aud_expiry_list_add(sap->sessions, sizeof(db_browse_sap_session), &data_block);
    if (result != AUD_SUCCESS) {
        return result;
    }
    session = static_cast<db_browse_sap_session*>(data_block);
    session->announcement = parsed;
    report(sap, session, DB_BROWSE_NODE_ADDED);
    return AUD_SUCCESS;
}

void db_browse_sap_expire(db_browse_sap* sap) {
    if (sap) {
        aud_expiry_list_expire(sap->sessions);
    }
}

void db_browse_sap_clear(db_browse_sap* sap) {
    if (sap) {
        aud_expiry_list_clear(sap->sessions);
    }
}

size_t db_browse_sap_num_sessions(const db_browse_sap* sap) {
    return sap ? aud_expiry_list_count(sap->sessions) : 0;
}

const db_browse_sap_session* db_browse_sap_session_at(const db_browse_sap* sap, size_t i) {
    void* data = sap ? aud_expiry_list_next(sap->sessions, nullptr) : nullptr;
    while (data && i-- > 0) {
        data = aud_expiry_list_next(sap->sessions, data);
    }
    return static_cast<const db_browse_sap_session*>(data);
}
