#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// What one message of the monitoring channel tells the controller.
struct ConmonReply {
    enum class Kind {
        None,             // nothing to report (an unknown text, an empty interface list)
        Dropped,          // a standard reply without its fixed fields; see drop_reason
        MacAddress,       // mac
        VireoInfo,        // text: the Vireo model
        ProductId,        // product_id and the versions fields
        CommandResponse,  // text: the device's whole answer; mcu_version when it gave one
    };
    Kind kind = Kind::None;
    QString text;
    QString mac;
    QByteArray product_id;
    uint32_t model_version = 0;
    QString model_name;
    uint32_t software_version = 0;
    uint32_t firmware_version = 0;
    uint32_t capabilities = 0;
    bool has_mcu_version = false;
    uint32_t mcu_version = 0;
    const char* drop_reason = "";
};

// Reads the body of a message of the monitoring channel: a standard reply (interfaces, Vireo
// information, versions) by the opcode at body offset 2, else a vendor text answer.
class ConmonReplyParser {
public:
    // At most 1448 bytes of body are read.
    static ConmonReply parse(const uint8_t* body, size_t size);

    // "ACK" answers: the text from index 4 matched against the key/value pattern; a "VERSION"
    // value "major.minor" (no "." means minor 0) as (major << 16) | minor.
    static ConmonReply parseText(const QString& text);
};
