#include "PeerText.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

QString escapePeerText(const QByteArray& bytes) {
    QString escaped;
    escaped.reserve(qMin(bytes.size(), kPeerTextLimit) + 3);
    for (const char c : bytes) {
        const auto byte = uchar(c);
        char piece[4] = {c, 0, 0, 0};
        int length = 1;
        if (c == '\\') {
            piece[1] = '\\';
            length = 2;
        } else if (byte < 0x20 || byte >= 0x7F) {
            piece[0] = '\\';
            piece[1] = 'x';
            piece[2] = kHexDigits[byte >> 4];
            piece[3] = kHexDigits[byte & 0x0F];
            length = 4;
        }
        if (escaped.size() + length > kPeerTextLimit) {
            escaped += QLatin1String("...");
            break;
        }
        escaped += QLatin1String(piece, length);
    }
    return escaped;
}

QString escapePeerText(const QString& text) {
    // Every character gives at least one escaped one: what lies past the limit is cut anyway.
    return escapePeerText(text.left(kPeerTextLimit + 1).toUtf8());
}
