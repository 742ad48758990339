#pragma once

#include <cstdint>
#include <vector>

#include "platform/aud_interface.h"
#include "platform/aud_time.h"
#include "routing/dr_arcp.h"
#include "routing/dr_channels.h"
#include "routing/dr_device.h"
#include "routing/dr_devices.h"
#include "routing/dr_flows.h"
#include "util/aud_list.h"
#include "vireo_dns_sd.h"

enum { DR_ERROR_MESSAGE_SIZE = 128, DR_ERROR_TEXT_SIZE = 256, DR_MAX_INTERFACES = 8 };

struct dr_request {
    bool in_use;
    uint16_t seqnum;  // of the message last sent from the slot
    dr_device* owner;
    dr_request_callback callback;
    int code;
    aud_error_t result;  // overrides the completion's result when non-zero
    void* batch_data;
    aud_time sent;       // when the message was last sent (monotonic)
    uint16_t page_from;  // where the next page of a listing starts
    dr_packet packet;
};

struct dr_devices {
    aud_env* env;
    aud_interface loopback;  // index 0 when none was found
    dr_request* requests;
    unsigned requests_in_use;
    unsigned next_request;
    uint16_t next_seqnum;
    aud_socket_t socket;
    aud_list devices;
    bool processing;
    bool sockets_changed_pending;
    dr_devices_sockets_changed_callback sockets_changed;
    void* context;
    uint32_t request_timeout_ms;
    uint8_t buffer[DR_ARCP_MAX_MESSAGE];
    aud_sockaddr source;
    char error_text[DR_ERROR_TEXT_SIZE];
};

// Address entry flags.
enum { DR_ADDRESS_VALID = 1, DR_ADDRESS_RESOLVING = 2, DR_ADDRESS_QUERYING = 4 };

struct dr_device_address {
    dr_device_addresses* table;
    uint32_t flags;
    uint32_t interface_index;
    uint32_t answer_interface;  // the interface the first answer came on, 0 until then
    DNSServiceRef ref;
    aud_socket_t socket;
    char host[kDNSServiceMaxDomainName];
    uint16_t pending_port;
    aud_sockaddr address;
    bool resolved;  // set when the entry obtained its address in this pass
};

struct dr_device_addresses {
    dr_device* device;
    unsigned count;
    aud_error_t error;  // set by the DNS-SD callbacks
    dr_device_address entries[DR_DEVICE_MAX_ADDRESSES];
};

struct dr_format {
    uint32_t sample_rate;
    uint16_t encoding;
    uint16_t pcm_bits;
    uint16_t size_mask;  // bit n: n + 1 bytes
    uint8_t num_encodings;
    uint16_t encodings[8];
};

struct dr_txchannel {
    dr_device* device;
    uint16_t id;
    uint8_t value;   // 3 bits of the record's flags
    uint16_t extra;  // 0x7FFF when none
    char name[DR_ARCP_NAME_SIZE];
    dr_format format;
    bool stale;
    std::vector<uint16_t> labels;  // ids of the labels it owns, ascending
};

struct dr_rxchannel {
    dr_device* device;
    uint16_t id;
    bool stale;
    bool self_allowed;
    uint8_t value;   // 2 bits of the record's flags
    uint16_t extra;  // 0x7FFF when none
    char name[DR_ARCP_NAME_SIZE];
    dr_format format;
    char sub_channel[DR_ARCP_NAME_SIZE];
    char sub_device[DR_ARCP_NAME_SIZE];
    char subscription[2 * DR_ARCP_NAME_SIZE];  // "channel@device"
    uint8_t status;
    uint8_t presence;
    uint8_t interface_flags;
    uint8_t per_interface[DR_MAX_INTERFACES];
    bool flow_mark;
};

struct dr_label {
    uint16_t id;
    char name[DR_ARCP_NAME_SIZE];
    dr_txchannel* channel;
    bool stale;
};

struct dr_capabilities {
    uint16_t flags;
    uint16_t tx_channels;
    uint16_t rx_channels;
    uint16_t tx_slots;
    uint16_t rx_slots;
    uint16_t tx_flows;
    uint16_t rx_flows;
    uint16_t labels;
    uint16_t interfaces;
    uint32_t flags32;
    uint16_t selector16;
    uint16_t selector32;
};

struct dr_flow_record {
    dr_flow flow;
    std::vector<uint16_t> slots;
    std::vector<dr_flow_address> addresses;
};

enum { DR_FOLLOWUP_PROP_AVAIL = 1, DR_FOLLOWUP_NAMES = 2 };
enum { DR_NUM_PROPERTIES = 16, DR_PROPERTY_TEXT_SIZE = 17, DR_NUM_RXFLOW_TABLES = 5 };

struct dr_device {
    dr_devices* devices;
    aud_env* env;
    aud_list_node link;
    void* context;
    dr_device_changed_callback changed;
    bool in_callback;
    uint32_t pending_changes;
    bool closed;  // closed while in_callback: freed when that ends
    dr_device_addresses addresses;
    dr_device_state state;
    aud_error_t error;
    char error_message[DR_ERROR_MESSAGE_SIZE];
    bool stale[DR_DEVICE_NUM_COMPONENTS];
    bool safe_mode;
    uint8_t router_major;
    uint8_t router_minor;
    uint16_t router_patch;
    uint16_t version;
    char open_name[DR_DEVICE_OPEN_NAME_MAX + 1];
    char name[DR_ARCP_NAME_SIZE];
    char second_name[DR_ARCP_NAME_SIZE];
    char advertised_name[DR_ARCP_NAME_SIZE];
    uint8_t software[3];
    unsigned followups;
    bool have_capabilities;
    dr_capabilities caps;
    uint32_t status_flags;
    uint16_t prop_avail[2];
    uint32_t properties[DR_NUM_PROPERTIES];
    char property_text[DR_PROPERTY_TEXT_SIZE];
    uint16_t values[2];
    std::vector<dr_txchannel*> txchannels;
    std::vector<dr_rxchannel*> rxchannels;
    std::vector<dr_label> labels;
    std::vector<dr_flow_record> txflows;
    std::vector<dr_flow_record> rxflows;
    dr_flow_record rxflow_template;
    std::vector<uint16_t> rxflow_table16;
    std::vector<uint32_t> rxflow_tables32[DR_NUM_RXFLOW_TABLES];
};

// Logging through the environment's log.
void dr_log(aud_env* env, unsigned level, const char* format, ...);

// Context.
void dr_devices_report_sockets_changed(dr_devices* devices);
// The version a request to device carries: min(device version, 10013).
uint16_t dr_request_version(const dr_device* device);
// Builds a header-only request of opcode in the slot's packet.
dr_packet* dr_request_begin(dr_request* request, uint16_t opcode);
// Sends the slot's packet to the owner's addresses.
aud_error_t dr_request_send(dr_request* request);

// Device.
void dr_device_notify(dr_device* device, uint32_t changes);
// Delivers the changes accumulated while the in-callback flag was set.
void dr_device_end_callback(dr_device* device);
void dr_device_handle_response(dr_device* device, dr_request* request, const aud_sockaddr* source,
                               const dr_message* message);
void dr_device_clear_stale(dr_device* device, dr_device_component component);
void dr_device_free_data(dr_device* device);

// Addresses.
void dr_device_addresses_init(dr_device_addresses* table, dr_device* device, unsigned count);
aud_error_t dr_device_addresses_resolve_address_at_index(dr_device_addresses* table, unsigned index,
                                                         uint32_t interface_index);
void dr_device_addresses_release(dr_device_addresses* table);
void dr_device_addresses_get_sockets(const dr_device_addresses* table, aud_socket_set* set);
aud_error_t dr_device_process_sockets(dr_device* device, aud_socket_set* ready);
// Whether a valid entry has this port.
bool dr_device_addresses_has_port(const dr_device_addresses* table, uint16_t port);

// Replies, by opcode (dr_opcodes.cpp holds the table).
typedef void (*dr_reply_handler)(dr_device* device, dr_request* request, const dr_message* message,
                                 bool more);

struct dr_opcode_info {
    uint16_t opcode;
    const char* name;
    uint16_t record_size;  // size of each reply record, 0 when the reply has none
    bool listing;          // status 0x112 reaches the reply handler as "more"
    dr_reply_handler on_reply;
    dr_reply_handler on_error;
};

const dr_opcode_info* dr_opcode_find(uint16_t opcode);

// Completes with the result mapped from the reply status.
void dr_reply_complete_mapped(dr_device* device, dr_request* request, const dr_message* message,
                              bool more);

// Capabilities sequence.
void dr_capabilities_reply(dr_device* device, dr_request* request, const dr_message* message,
                           bool more);
void dr_capabilities_no_data(dr_device* device, dr_request* request, const dr_message* message,
                             bool more);
void dr_prop_avail_reply(dr_device* device, dr_request* request, const dr_message* message,
                         bool more);
void dr_prop_avail_error(dr_device* device, dr_request* request, const dr_message* message,
                         bool more);
void dr_names_reply(dr_device* device, dr_request* request, const dr_message* message, bool more);
void dr_names_error(dr_device* device, dr_request* request, const dr_message* message, bool more);
void dr_run_followups(dr_device* device, dr_request* request);

// Request builders: each writes its query into the slot's packet (nothing is sent); 11 when
// nothing is left to ask for, 31 when it does not fit.
typedef aud_error_t (*dr_request_builder)(dr_device* device, dr_request* request);
extern const uint16_t dr_property_ids[DR_NUM_PROPERTIES];
// The availability bit of a property id, -1 for an unknown id.
int dr_property_index(uint16_t id);
aud_error_t dr_properties_build(dr_device* device, dr_request* request);
aud_error_t dr_txchannels_build(dr_device* device, dr_request* request);
aud_error_t dr_rxchannels_build(dr_device* device, dr_request* request);
aud_error_t dr_labels_build(dr_device* device, dr_request* request);
aud_error_t dr_txflows_build(dr_device* device, dr_request* request);
aud_error_t dr_rxflows_build(dr_device* device, dr_request* request);
// Empties a flow list before its listing (receive: marks the channels its flows used).
void dr_flows_clear(dr_device* device, bool receive);

// Reply handlers.
void dr_properties_reply(dr_device* device, dr_request* request, const dr_message* message,
                         bool more);
void dr_properties_error(dr_device* device, dr_request* request, const dr_message* message,
                         bool more);
void dr_values_reply(dr_device* device, dr_request* request, const dr_message* message, bool more);
void dr_values_error(dr_device* device, dr_request* request, const dr_message* message, bool more);
void dr_txchannels_reply(dr_device* device, dr_request* request, const dr_message* message,
                         bool more);
void dr_txextras_reply(dr_device* device, dr_request* request, const dr_message* message,
                       bool more);
void dr_rxchannels_reply(dr_device* device, dr_request* request, const dr_message* message,
                         bool more);
void dr_subscribe_reply(dr_device* device, dr_request* request, const dr_message* message,
                        bool more);
void dr_labels_reply(dr_device* device, dr_request* request, const dr_message* message, bool more);
void dr_txflows_reply(dr_device* device, dr_request* request, const dr_message* message, bool more);
void dr_rxflows_reply(dr_device* device, dr_request* request, const dr_message* message, bool more);

// A name at offset: absent (no offset, or no NUL inside the message) reads as empty with
// *present false; 3 for a present name that is not valid.
aud_error_t dr_read_name(const dr_message* message, uint16_t offset, uint16_t lower,
                         char (&name)[DR_ARCP_NAME_SIZE], bool* present);

// Asks for the channels of list from the first stale one on, with opcode; 11 when none is
// stale, 31 when the range does not fit.
template <typename Channel>
aud_error_t dr_channels_build(const std::vector<Channel*>& list, dr_request* request,
                              uint16_t opcode) {
    for (const Channel* channel : list) {
        if (channel->stale) {
            dr_packet* packet = dr_request_begin(request, opcode);
            dr_arcp_begin_ranges(packet);
            return dr_arcp_add_range(packet, channel->id, 0) ? AUD_SUCCESS : AUD_ERR_MSGSIZE;
        }
    }
    return AUD_ERR_NOTFOUND;
}

// The channel records of list (a member of dr_device): 3 for a null argument, 5 unless ACTIVE.
template <typename Channel>
aud_error_t dr_device_channels(const dr_device* device, std::vector<Channel*> dr_device::*list,
                               uint16_t* count, Channel* const** channels) {
    if (!device || !count || !channels) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (device->state != DR_DEVICE_STATE_ACTIVE) {
        return AUD_ERR_INVALIDSTATE;
    }
    const std::vector<Channel*>& records = device->*list;
    *count = static_cast<uint16_t>(records.size());
    *channels = records.data();
    return AUD_SUCCESS;
}

// Reads a channel format block at offset (lower bound lower); false when it does not check out.
bool dr_format_read(const dr_message* message, uint16_t offset, uint16_t lower, dr_format* format);

// After a page of a listing: PAGE_DONE when there was no "more" or nothing is left to ask
// for (the caller ends the listing), PAGE_SENT when the next page was asked for, PAGE_ENDED
// when the request was completed (a next request that would repeat the last gives 4).
enum dr_page_result { DR_PAGE_DONE, DR_PAGE_SENT, DR_PAGE_ENDED };
dr_page_result dr_listing_next(dr_device* device, dr_request* request, bool more,
                               dr_request_builder build);

// Fails a request: optionally sets ERROR with code and message, then completes with code.
void dr_request_fail(dr_device* device, dr_request* request, aud_error_t code,
                     const char* error_message);
