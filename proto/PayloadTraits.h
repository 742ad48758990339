#pragma once

#include "qz_amp.pb.h"
#include "qz_dbg.pb.h"
#include "qz_dsp.pb.h"
#include "qz_msgs.pb.h"

namespace zeb {

// The one table of payload messages: which payload type each travels as, and whether a
// request frame may carry it.
template <class Message>
struct PayloadTraits;

#define ZEB_PAYLOAD(Message, Type, Requestable)                                           \
    template <>                                                                           \
    struct PayloadTraits<Message> {                                                       \
        static constexpr qz_msgs::header_t::PAYLOAD_TYPES type = qz_msgs::header_t::Type; \
        static constexpr bool requestable = Requestable;                                  \
    };

ZEB_PAYLOAD(qz_msgs::system_t, PYLD_SYSTEM, true)
ZEB_PAYLOAD(dsp_t, PYLD_DSP, true)
ZEB_PAYLOAD(amp_t, PYLD_AMP, true)
ZEB_PAYLOAD(dbg_t, PYLD_DBG, true)
ZEB_PAYLOAD(qz_msgs::empty_payload_t, PYLD_NONE, false)

#undef ZEB_PAYLOAD

}  // namespace zeb
