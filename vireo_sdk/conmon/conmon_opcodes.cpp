// The control protocol's opcodes: each listed once, with its name, its check and its handlers.
#include "conmon/conmon_client_internal.h"

namespace {

const conmon_opcode_info kOpcodes[] = {
    {CONMON_OPCODE_NULL, "NULL", nullptr, conmon_client_on_null_response, nullptr},
    {CONMON_OPCODE_CONNECT, "Connect", conmon_validate_connect, conmon_client_on_connect_response,
     nullptr},
    {CONMON_OPCODE_DISCONNECT, "Disconnect", nullptr, nullptr, nullptr},
    {CONMON_OPCODE_SET_DEVICE_NAME, "Set Vireo Device Name", conmon_validate_name_message, nullptr,
     nullptr},
    {CONMON_OPCODE_SET_REMOTE_CONTROL_ALLOWED, "SET_REMOTE_CONTROL_ALLOWED",
     conmon_validate_remote_control, nullptr, nullptr},
    {CONMON_OPCODE_REGISTER, "Register", conmon_validate_register, nullptr, nullptr},
    {CONMON_OPCODE_DEREGISTER, "Deregister", conmon_validate_register, nullptr, nullptr},
    {CONMON_OPCODE_SUBSCRIBE, "Subscribe", conmon_validate_subscribe,
     conmon_client_on_subscribe_response, nullptr},
    {CONMON_OPCODE_UNSUBSCRIBE, "Unsubscribe", conmon_validate_subscribe, nullptr, nullptr},
    {CONMON_OPCODE_ENABLE_TX_METERING, "Enable Tx Metering", nullptr, nullptr, nullptr},
    {CONMON_OPCODE_DISABLE_TX_METERING, "Disable Tx Metering", nullptr, nullptr, nullptr},
    {CONMON_OPCODE_SEND_MESSAGE, "Send Message", conmon_validate_send_message, nullptr, nullptr},
    {CONMON_OPCODE_NETWORKS_CHANGED, "Networks Changed", conmon_validate_networks_changed, nullptr,
     conmon_client_on_networks_changed},
    {CONMON_OPCODE_DEVICE_NAME_CHANGED, "Vireo Device Name Changed", conmon_validate_name_message,
     nullptr, conmon_client_on_device_name_changed},
    {CONMON_OPCODE_DNS_DOMAIN_NAME_CHANGED, "DNS_DOMAIN_NAME_CHANGED",
     conmon_validate_dns_domain_name_changed, nullptr, conmon_client_on_dns_domain_name_changed},
    {CONMON_OPCODE_CHANNEL_MESSAGE, "Channel Message", conmon_validate_channel_message, nullptr,
     conmon_client_on_channel_message},
    {CONMON_OPCODE_NAMED_CHANNEL_MESSAGE, "Named Channel Message",
     conmon_validate_named_channel_message, nullptr, conmon_client_on_named_channel_message},
    {CONMON_OPCODE_LEGACY_METERING_ADDRESSES, "Legacy Metering Addresses",
     conmon_validate_legacy_metering, nullptr, nullptr},
    {CONMON_OPCODE_SUBSCRIPTIONS_CHANGED, "Subscriptions Changed",
     conmon_validate_subscriptions_changed, nullptr, conmon_client_on_subscriptions_changed},
};

}  // namespace

const conmon_opcode_info* conmon_opcode_find(uint16_t opcode) {
    for (const conmon_opcode_info& row : kOpcodes) {
        if (row.opcode == opcode) {
            return &row;
        }
    }
    return nullptr;
}

const char* conmon_opcode_name(uint16_t opcode) {
    const conmon_opcode_info* row = conmon_opcode_find(opcode);
    return row ? row->name : "???";
}
