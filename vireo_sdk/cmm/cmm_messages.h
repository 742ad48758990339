#pragma once

#include "cmm/cmm_types.h"
#include "dgcp2/dgcp_message.h"
#include "platform/aud_error.h"

// Bodies of the cmm messages in the dgcp body encoding; the root array is at offset 0. Items
// are written depth first in slot order. Readers fill a cleared record and give 36 for an
// array with fewer slots than its kind needs, or the body reader's error.

aud_error_t cmm_encode_connect(dgcp_message* message, const cmm_client_info* info);
aud_error_t cmm_encode_set_config(dgcp_message* message, const cmm_system_config* config);

aud_error_t cmm_decode_server_record(const dgcp_message* message, cmm_server_record* record);
aud_error_t cmm_decode_options(const dgcp_message* message, cmm_interface_list* options);
aud_error_t cmm_decode_state(const dgcp_message* message, cmm_status* status);
