#include "ConmonReplyParser.h"

#include <QRegularExpression>
#include <QStringList>
#include <cstring>

#include "conmon/conmon_body.h"
#include "conmon/conmon_message.h"

namespace {

ConmonReply dropped(const char* reason) {
    ConmonReply reply;
    reply.kind = ConmonReply::Kind::Dropped;
    reply.drop_reason = reason;
    return reply;
}

ConmonReply macAddress(const uint8_t* body, size_t size) {
    if (size < CONMON_INTERFACE_REPLY_MIN_SIZE) {
        return dropped("interface reply without its interface count");
    }
    ConmonReply reply;
    const uint8_t* record = conmon_body_interface_at(body, size, 0);
    if (!record) {
        return reply;
    }
    uint8_t mac[CONMON_MAC_SIZE];
    conmon_interface_get_mac(record, mac);
    reply.kind = ConmonReply::Kind::MacAddress;
    reply.mac = QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                                  mac[4], mac[5]);
    return reply;
}

ConmonReply vireoInfo(const uint8_t* body, size_t size) {
    char text[CONMON_MESSAGE_MAX_BODY_SIZE + 1];
    if (!conmon_vireo_info_get_text(body, size, text, sizeof text)) {
        return dropped("Vireo information reply without its text field");
    }
    ConmonReply reply;
    reply.kind = ConmonReply::Kind::VireoInfo;
    reply.text = QString::fromUtf8(text);
    return reply;
}

ConmonReply versions(const uint8_t* body, size_t size) {
    uint8_t id[CONMON_PRODUCT_ID_SIZE];
    if (size < CONMON_VERSIONS_REPLY_MIN_SIZE || !conmon_versions_get_product_id(body, size, id)) {
        return dropped("versions reply without its version fields");
    }
    ConmonReply reply;
    reply.kind = ConmonReply::Kind::ProductId;
    for (uint8_t byte : id) {
        reply.product_id += QByteArray::number(byte);
    }
    reply.software_version = conmon_versions_get_software_version(body, size);
    reply.firmware_version = conmon_versions_get_firmware_version(body, size);
    reply.capabilities = conmon_versions_get_capabilities(body, size);
    reply.model_version = conmon_versions_get_model_version(body, size);
    char name[CONMON_VERSIONS_MODEL_NAME_SIZE + 1];
    if (conmon_versions_get_model_name(body, size, name, sizeof name)) {
        reply.model_name = QString::fromUtf8(name);
    }
    return reply;
}

ConmonReply vendorText(const uint8_t* body, size_t size) {
    const void* zero = size ? std::memchr(body, 0, size) : nullptr;
    const size_t length = zero ? size_t(static_cast<const uint8_t*>(zero) - body) : size;
    return ConmonReplyParser::parseText(
        QString::fromUtf8(reinterpret_cast<const char*>(body), int(length)));
}

}  // namespace

ConmonReply ConmonReplyParser::parse(const uint8_t* body, size_t size) {
    if (!body) {
        size = 0;
    }
    if (size > CONMON_MESSAGE_MAX_BODY_SIZE) {
        size = CONMON_MESSAGE_MAX_BODY_SIZE;
    }
    uint16_t version = 0;
    uint16_t opcode = 0;
    if (!conmon_body_get_kind(body, size, &version, &opcode)) {
        return vendorText(body, size);
    }
    switch (opcode) {
        case CONMON_BODY_INTERFACE_REPLY:
            return macAddress(body, size);
        case CONMON_BODY_VIREO_INFO_REPLY:
            return vireoInfo(body, size);
        case CONMON_BODY_VERSIONS_REPLY:
            return versions(body, size);
        default:
            return vendorText(body, size);
    }
}

ConmonReply ConmonReplyParser::parseText(const QString& text) {
    ConmonReply reply;
    if (text.startsWith(QLatin1String("ACK"))) {
        static const QRegularExpression pattern(QStringLiteral("(0?[A-Z]+)[ ]?([1-4]?)[ |=](.+)"));
        const QRegularExpressionMatch match = pattern.match(text.mid(4));
        if (match.hasMatch() && match.captured(1) == QLatin1String("VERSION")) {
            const QStringList parts = match.captured(3).split(QLatin1Char('.'));
            const uint32_t major = uint32_t(parts.value(0).toInt());
            const uint32_t minor = parts.size() > 1 ? uint32_t(parts.value(1).toInt()) : 0;
            reply.has_mcu_version = true;
            reply.mcu_version = (major << 16) | (minor & 0xFFFF);
        }
    } else if (!text.startsWith(QLatin1String("NACK"))) {
        return reply;
    }
    reply.kind = ConmonReply::Kind::CommandResponse;
    reply.text = text;
    return reply;
}
