#pragma once

#include <cstdint>

#include "platform/aud_error.h"

// Records of the cmm configuration client: interfaces the service offers, its system status
// and the configuration a SET_CONFIG request asks for.

enum {
    CMM_DEFAULT_PORT = 8850,
    CMM_PROTOCOL = 0x1001,
    CMM_INTERFACE_NAME_SIZE = 64,  // wide units, NUL included
    CMM_MAC_SIZE = 6,
    CMM_MAX_INTERFACES = 16,
    CMM_MAX_CONFIG_INTERFACES = 2,
    CMM_MAX_PROCESSES = 16,
    CMM_CLIENT_NAME_SIZE = 64,
    CMM_DEVICE_NAME_SIZE = 32,
    CMM_PROCESS_NAME_SIZE = 64
};

enum {
    CMM_OPCODE_CONNECT = 1,
    CMM_OPCODE_DISCONNECT = 2,
    CMM_OPCODE_OPTIONS = 0x100,
    CMM_OPCODE_STATE = 0x101,
    CMM_OPCODE_SET_CONFIG = 0x110
};

// Status codes of the system status.
enum {
    CMM_STATUS_UNKNOWN = 0,
    CMM_STATUS_READY = 1,
    CMM_STATUS_CHANGING = 2,
    CMM_STATUS_INVALID_CONFIG = 3,
    CMM_STATUS_OPTIONS_CHANGED = 4
};

// Response status values the configuration service adds to the dgcp ones.
enum {
    CMM_RESPONSE_INVALID_API = 256,
    CMM_RESPONSE_INVALID_DATA = 257,
    CMM_RESPONSE_INVALID_STATE = 258,
    CMM_RESPONSE_SYSTEM_ERROR = 259
};

// Flags of cmm_system_config.
enum { CMM_CONFIG_INTERFACES = 1, CMM_CONFIG_LOCK = 2 };

struct cmm_interface {
    char16_t name[CMM_INTERFACE_NAME_SIZE];
    uint8_t mac[CMM_MAC_SIZE];
};

// The offered interfaces hold up to 16 entries, a configuration's list up to 2.
struct cmm_interface_list {
    uint16_t count;
    cmm_interface interfaces[CMM_MAX_INTERFACES];
};

struct cmm_process {
    char name[CMM_PROCESS_NAME_SIZE];
    uint32_t id;
    bool flag;
};

struct cmm_status {
    uint16_t code;
    char device_name[CMM_DEVICE_NAME_SIZE];
    cmm_interface_list current;
    cmm_interface_list pending;  // empty when none
    uint16_t num_processes;
    cmm_process processes[CMM_MAX_PROCESSES];
};

// What the connect response tells about the service.
struct cmm_server_record {
    uint8_t numbers[3];
    uint16_t value;
};

struct cmm_client_info {
    char name[CMM_CLIENT_NAME_SIZE];
    uint32_t process_id;
    uint32_t flags;
};

struct cmm_system_config {
    uint32_t flags;  // CMM_CONFIG_*
    cmm_interface_list interfaces;
    bool lock;
};

uint16_t cmm_interface_list_count(const cmm_interface_list* list);
// Null when index is out of range.
const cmm_interface* cmm_interface_list_at(const cmm_interface_list* list, unsigned index);
void cmm_interface_list_clear(cmm_interface_list* list);
const uint8_t* cmm_interface_get_mac(const cmm_interface* interface);
// The first entry whose name equals name, ignoring the case of ASCII letters; null when none.
const cmm_interface* cmm_interface_list_find_by_name(const cmm_interface_list* list,
                                                     const char16_t* name);
uint16_t cmm_available_interfaces_count(const cmm_interface_list* options);
bool cmm_interface_list_equal(const cmm_interface_list* a, const cmm_interface_list* b);

// 3 when an argument is missing or the list holds 2 entries; 4 when no option has the MAC.
aud_error_t cmm_system_config_add_interface(cmm_interface_list* list,
                                            const cmm_interface_list* options, const uint8_t* mac);

// The current configuration unless the code is 0; the pending one only while "Changing".
const cmm_interface_list* cmm_status_get_current_config(const cmm_status* status);
const cmm_interface_list* cmm_status_get_pending_config(const cmm_status* status);
uint16_t cmm_status_num_processes(const cmm_status* status);
const cmm_process* cmm_status_process_at(const cmm_status* status, unsigned index);
bool cmm_status_equal(const cmm_status* a, const cmm_status* b);

// "Unknown" .. "Options Changed", "???" for others.
const char* cmm_status_code_name(uint16_t code);
// The dgcp status names and "Invalid API" .. "System error".
const char* cmm_response_status_name(uint16_t status);
// A response status as a result code.
aud_error_t cmm_status_to_error(uint16_t status);
