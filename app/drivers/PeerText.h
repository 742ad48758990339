#pragma once

#include <QByteArray>
#include <QString>

// The most characters of escaped peer text that go into one log line.
constexpr int kPeerTextLimit = 200;

// Text that a peer sent, made fit for one log line: a backslash becomes "\\", and every
// control character (below 0x20 and 0x7F) and every byte above 0x7F becomes "\xNN" (two
// upper-case hex digits). When the result would be longer than kPeerTextLimit characters it
// is cut before the escape that does not fit and "..." follows.
QString escapePeerText(const QByteArray& bytes);
// The same over the text's UTF-8 bytes.
QString escapePeerText(const QString& text);
