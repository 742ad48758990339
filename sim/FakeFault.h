#pragma once

#include <string>
#include <utility>

namespace sim {

// One scripted misbehaviour of the fake device, applied to the next datagram it receives
// (a silence there drops a firmware acknowledgement).
struct FakeFault {
    enum Kind {
        kNone,           // the usual reply
        kSilence,        // no reply
        kDelay,          // reply after `arg` ms
        kBadCrc,         // reply with a broken CRC
        kErr,            // ack ERR
        kNackSameType,   // ack NACK with the expected payload type
        kNackOtherType,  // ack NACK with another payload type
        kWrongSeq,       // reply carries another sequence number
        kStaleFirst,     // a reply with the previous sequence number, then the right one
        kWrongPayload,   // ACK with another payload type
        kNoAck,          // header without ack
        kEmpty,          // an empty datagram
        kTruncated,      // only the first `arg` bytes of the reply
        kHeaderPastEnd,  // good CRC, header length reaching past the frame
        kOtherPort,      // the reply comes from another port
        kText,           // reply `text` instead of the usual answer
        kDuplicateAck,   // firmware: acknowledge the previous block instead
        kWrongAck,       // firmware: acknowledge a block that was not sent
    };
    FakeFault(Kind kind_ = kNone, int arg_ = 0, std::string text_ = {})
        : kind(kind_), arg(arg_), text(std::move(text_)) {}

    Kind kind;
    int arg;
    std::string text;
};

}  // namespace sim
