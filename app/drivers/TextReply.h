#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// One reply to a text command, as a device sends it back in a datagram.
struct TextReply {
    enum class Kind {
        Ack,       // begins "ACK"; key and value when the rest reads as one
        Nack,      // begins "NACK"
        Malformed  // anything else, or an "ACK VERSION" whose value is not a version
    };

    Kind kind = Kind::Malformed;
    QString text;   // the whole reply, decoded as UTF-8 up to its first zero byte
    QString key;    // Ack: the key of the first key/value found after "ACK"; may be empty
    QString value;  // Ack: its value
    bool has_version = false;  // key "VERSION" with a readable value
    uint32_t version = 0;      // (major << 16) | (minor & 0xFFFF)
    QString fault;             // Malformed: what is wrong, for the log
};

// Reads a text-command reply. The character after "ACK" is skipped whatever it is; the first
// match of (0?[A-Z]+)[ ]?([0-4]?)[ |=](.+) in the rest gives key and value. A version value
// without "." has minor 0; one whose first part is not a decimal number is malformed.
TextReply parseTextReply(const QByteArray& bytes);
