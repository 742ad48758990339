#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"
#include "routing/dr_device.h"

// The transmit and receive channels of an ACTIVE device (ids 1..n in array order), their
// transmit labels, and subscriptions of receive channels.
struct dr_txchannel;
struct dr_rxchannel;

// One label of a transmit channel.
struct dr_txlabel {
    const dr_txchannel* channel;
    uint16_t id;
    const char* name;
};

// 5 unless ACTIVE; the count and the array of channel records.
aud_error_t dr_device_get_txchannels(const dr_device* device, uint16_t* count,
                                     dr_txchannel* const** channels);
aud_error_t dr_device_get_rxchannels(const dr_device* device, uint16_t* count,
                                     dr_rxchannel* const** channels);

uint16_t dr_txchannel_get_id(const dr_txchannel* channel);
// The name, empty when none.
const char* dr_txchannel_get_name(const dr_txchannel* channel);
// The sample rate of the channel's format; 0 for a null channel or one without id.
uint32_t dr_txchannel_get_format(const dr_txchannel* channel);
// Fills up to *count entries with the channel's labels in label-id order and sets *count to the
// number it owns. 3 for a null channel, 5 for one without id.
aud_error_t dr_txchannel_get_labels(const dr_txchannel* channel, size_t* count, dr_txlabel* labels);

uint16_t dr_rxchannel_get_id(const dr_rxchannel* channel);
const char* dr_rxchannel_get_name(const dr_rxchannel* channel);
uint32_t dr_rxchannel_get_format(const dr_rxchannel* channel);
// The subscribed transmit channel and device; null when not subscribed.
const char* dr_rxchannel_get_subscription_channel(const dr_rxchannel* channel);
const char* dr_rxchannel_get_subscription_device(const dr_rxchannel* channel);
uint8_t dr_rxchannel_get_status(const dr_rxchannel* channel);

// Subscribes the channel to tx_channel@tx_device (0x3010), or removes its subscription when
// tx_channel is null (0x3014). A device "." (the receiving device) needs the channel's
// self-subscription bit (else 9); other names must be valid (else 3); a channel name needs a
// device name (else 3). 5 for a channel without id.
aud_error_t dr_rxchannel_subscribe(dr_rxchannel* channel, dr_request_callback callback,
                                   dr_request_id* request, const char* tx_device,
                                   const char* tx_channel);
