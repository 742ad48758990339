#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"
#include "routing/dr_arcp.h"
#include "routing/dr_device.h"

// Transmit and receive flows of a device, from the 0x2200 and 0x3200 listings. Each reply
// record is the u16 offset of a flow record (4-byte aligned), laid out as follows.
//
// Transmit flow record, 16 bytes:
//   0 u16 flow id (1 .. transmit flows)     2 u16 flags
//   4 u32 sample rate                        8 u16 encoding
//  10 u16 number of slots (at most the slots per transmit flow)
//  12 u16 offset of the slot block: one u16 transmit channel id per slot (0: empty), 2-aligned
//  14 u16 offset of the name block (from version 0x2601; else the name is the id in decimal)
// Receive flow record, 20 bytes:
//   0 .. 13 as above, the slot block holding receive channel ids
//  14 u16 offset of the name block (from version 0x2600)
//  16 u8 number of interfaces (at most the device's)   17 u8 zero
//  18 u16 offset of the address block: per interface u32 IPv4 address, u16 port, u16 zero;
//         4-aligned (0 when there are no interfaces)
// Name block, 10 bytes, 2-aligned: u16 offsets of the name and of two further texts (0: none),
// then two u16 values. Texts hold at most 32 characters.

struct dr_flow_address {
    uint32_t address;  // IPv4, network order
    uint16_t port;
};

struct dr_flow {
    uint16_t id;
    uint16_t flags;
    uint32_t sample_rate;
    uint16_t encoding;
    char name[DR_ARCP_NAME_SIZE];
    char texts[2][DR_ARCP_NAME_SIZE];
    uint16_t values[2];
    uint16_t num_slots;
    const uint16_t* slot_channels;  // channel id per slot, 0 for an empty one
    uint8_t num_interfaces;
    const dr_flow_address* addresses;  // receive flows only
};

// The number of transmit (receive false) or receive flows listed.
size_t dr_device_num_flows(const dr_device* device, bool receive);
// Flow index of the list, in the order first listed; 3 for a null argument, 13 past the end.
// The pointers stay valid until the next listing of that kind.
aud_error_t dr_device_get_flow(const dr_device* device, bool receive, size_t index, dr_flow* flow);
