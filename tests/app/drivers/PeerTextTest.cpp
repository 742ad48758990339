#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "PeerText.h"

namespace {

struct EscapeCase {
    const char* name;
    QByteArray bytes;
    QString escaped;
};

void PrintTo(const EscapeCase& c, std::ostream* out) {
    *out << c.name;
}

class EscapePeerText : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapePeerText, GivesOnePrintableLine) {
    const EscapeCase c = GetParam();
    EXPECT_EQ(escapePeerText(c.bytes).toStdString(), c.escaped.toStdString());
}

const QString k200 = QString(200, QLatin1Char('a'));

INSTANTIATE_TEST_SUITE_P(
    Cases, EscapePeerText,
    ::testing::Values(
        EscapeCase{"plain", "amp 1,0", QStringLiteral("amp 1,0")},
        EscapeCase{"empty", "", QString()},
        EscapeCase{"newline and a forged line", "amp 1,0\nzeb.controller: forged",
                   QStringLiteral("amp 1,0\\x0Azeb.controller: forged")},
        EscapeCase{"control characters", QByteArray("\x01\t\r\x1B[2J\x7F", 8),
                   QStringLiteral("\\x01\\x09\\x0D\\x1B[2J\\x7F")},
        EscapeCase{"zero byte", QByteArray("a\0b", 3), QStringLiteral("a\\x00b")},
        EscapeCase{"non-ASCII bytes", "Rack \xC3\xA9\xFF", QStringLiteral("Rack \\xC3\\xA9\\xFF")},
        EscapeCase{"backslash", "a\\x0A\\", QStringLiteral("a\\\\x0A\\\\")},
        EscapeCase{"printable ASCII kept", " ~\"%1", QStringLiteral(" ~\"%1")},
        EscapeCase{"200 characters are not cut", QByteArray(200, 'a'), k200},
        EscapeCase{"201 are cut after 200", QByteArray(201, 'a'), k200 + QStringLiteral("...")},
        EscapeCase{"a long datagram is cut", QByteArray(65000, 'a'), k200 + QStringLiteral("...")},
        EscapeCase{"an escape that does not fit is left out whole", QByteArray(198, 'a') + "\n",
                   QString(198, QLatin1Char('a')) + "..."},
        EscapeCase{"an escaped backslash that fits is kept", QByteArray(198, 'a') + "\\",
                   QString(198, QLatin1Char('a')) + "\\\\"},
        EscapeCase{"escapes up to the limit", QByteArray(60, '\x01'),
                   QStringLiteral("\\x01").repeated(50) + "..."}),
    [](const ::testing::TestParamInfo<EscapeCase>& info) {
        return "case" + std::to_string(info.index);
    });

TEST(EscapePeerTextOfText, EscapesTheUtf8BytesAndCutsLongText) {
    EXPECT_EQ(escapePeerText(QStringLiteral("caf\u00E9\n")), QStringLiteral("caf\\xC3\\xA9\\x0A"));
    EXPECT_EQ(escapePeerText(QString(5000, QLatin1Char('b'))),
              QString(200, QLatin1Char('b')) + "...");
    EXPECT_EQ(escapePeerText(QString(200, QLatin1Char('b'))), QString(200, QLatin1Char('b')));
}

}  // namespace
