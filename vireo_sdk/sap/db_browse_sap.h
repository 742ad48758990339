#pragma once

#include <cstddef>
#include <cstdint>

#include "browse/db_browse_tree.h"
#include "platform/aud_error.h"
#include "platform/aud_socket.h"
#include "sap/sap_announcement.h"

// The SAP listener of a browse: AES67 sessions announced on the SAP group, reported to the
// node-changed callback as kind 3.
struct db_browse_sap;

enum { DB_BROWSE_SAP_PORT = 9875, DB_BROWSE_SAP_BUFFER_SIZE = 1500 };

// One announced session.
struct db_browse_sap_session {
    sap_announcement announcement;
};

aud_error_t db_browse_sap_new(db_browse* browse, db_browse_sap** sap);
void db_browse_sap_free(db_browse_sap* sap);
void db_browse_sap_set_callback(db_browse_sap* sap, db_browse_node_changed_fn callback);

// Opens the listener on group on network 0's interface: 3 without a network, 37 when that
// interface is not there, else a socket error.
aud_error_t db_browse_sap_open(db_browse_sap* sap, const char* group);
// 46 when it was not open.
aud_error_t db_browse_sap_close(db_browse_sap* sap);
aud_socket_t db_browse_sap_socket(const db_browse_sap* sap);

// Receives and handles one datagram: 4 when it does not parse.
aud_error_t db_browse_sap_process(aud_socket_t socket, db_browse_sap* sap);
// Handles one received datagram.
aud_error_t db_browse_sap_handle(db_browse_sap* sap, const uint8_t* data, size_t length);

// Reports and frees the sessions not announced for the maximum age.
void db_browse_sap_expire(db_browse_sap* sap);
// Frees every session without reports.
void db_browse_sap_clear(db_browse_sap* sap);
size_t db_browse_sap_num_sessions(const db_browse_sap* sap);
// Session i in list order, or null.
const db_browse_sap_session* db_browse_sap_session_at(const db_browse_sap* sap, size_t i);
