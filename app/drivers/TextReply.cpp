#include "TextReply.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

const QString kVersionKey = QStringLiteral("VERSION");

TextReply malformed(TextReply reply, const char* fault) {
    reply.kind = TextReply::Kind::Malformed;
    reply.fault = QString::fromLatin1(fault);
    return reply;
}

bool isDecimal(const QString& text) {
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

}  // namespace

TextReply parseTextReply(const QByteArray& bytes) {
    TextReply reply;
    reply.text =
        QString::fromUtf8(bytes.constData(), int(qstrnlen(bytes.constData(), uint(bytes.size()))));
    if (reply.text.isEmpty()) {
        return malformed(reply, "empty reply");
    }
    if (reply.text.startsWith(QLatin1String("NACK"))) {
        reply.kind = TextReply::Kind::Nack;
        return reply;
    }
    if (!reply.text.startsWith(QLatin1String("ACK"))) {
        return malformed(reply, "neither ACK nor NACK");
    }
    static const QRegularExpression pattern(QStringLiteral("(0?[A-Z]+)[ ]?([0-4]?)[ |=](.+)"));
    const QRegularExpressionMatch match = pattern.match(reply.text.mid(4));
    if (!match.hasMatch()) {
        return malformed(reply, "no key and value after ACK");
    }
    reply.kind = TextReply::Kind::Ack;
    reply.key = match.captured(1);
    reply.value = match.captured(3);
    if (reply.key != kVersionKey) {
        return reply;
    }
    const QStringList parts = reply.value.split(QLatin1Char('.'));
    // The first part must be a decimal number (white space around it aside); the minor number
    // keeps the lenient reading, 0 when it is not a number.
    const QString major_text = parts.at(0).trimmed();
    bool major_ok = isDecimal(major_text);
    const uint32_t major = major_ok ? major_text.toUInt(&major_ok, 10) : 0;
    if (!major_ok) {
        return malformed(reply, "version value is not a number");
    }
    const uint32_t minor = parts.size() > 1 ? uint32_t(parts.at(1).toInt()) : 0u;
    reply.has_version = true;
    reply.version = (major << 16) | (minor & 0xFFFFu);
    return reply;
}
