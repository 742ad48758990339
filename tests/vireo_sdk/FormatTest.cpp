#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/aud_format.h"
#include "util/aud_format_directive.h"

namespace {

template <class... Args>
std::string format(const char* text, Args... args) {
    char buffer[256];
    const int n = aud_snprintf(buffer, sizeof buffer, text, args...);
    EXPECT_EQ(n, static_cast<int>(std::strlen(buffer))) << text;
    return buffer;
}

TEST(Formatter, Conversions) {
    EXPECT_EQ(format("%s", "text"), "text");
    EXPECT_EQ(format("%5.2f", 3.14159), " 3.14");
    EXPECT_EQ(format("%-4d|", 7), "7   |");
    EXPECT_EQ(format("%zu", size_t{18446744073709551615u}), "18446744073709551615");
    EXPECT_EQ(format("%I64d", int64_t{-1234567890123}), "-1234567890123");
    EXPECT_EQ(format("%I64u %I32d", uint64_t{1} << 40, int32_t{-5}), "1099511627776 -5");
    EXPECT_EQ(format("100%%"), "100%");
    EXPECT_EQ(format("a%yb"), "ayb");
    EXPECT_EQ(format("%5y"), "5y");
    EXPECT_EQ(format("%lld %ld %jd %td", -1LL, -2L, intmax_t{-3}, ptrdiff_t{-4}), "-1 -2 -3 -4");
    EXPECT_EQ(format("%hd %hhu", 70000, 300), "4464 44");
    EXPECT_EQ(format("%x %X %#o %08.3e", 255u, 255u, 8u, 1234.5), "ff FF 010 1.234e+03");
    EXPECT_EQ(format("%+d % d %c", 5, 5, 'z'), "+5  5 z");
    EXPECT_EQ(format("%*d|%-*d|%.*s", 4, 1, 3, 2, 2, "abc"), "   1|2  |ab");
    EXPECT_EQ(format("%s", static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(format("%p", static_cast<void*>(nullptr)), "(nil)");
    EXPECT_EQ(format("\\n\\t%d", 1), "\\n\\t1");
    EXPECT_EQ(format("trailing %"), "trailing ");
}

TEST(Formatter, WideText) {
    EXPECT_EQ(format("%S|%ls|%ws|%hS", u"wide", u"l", u"\u00e9", "narrow"),
              "wide|l|\xc3\xa9|narrow");
    EXPECT_EQ(format("%-6S|", u"ab"), "ab    |");
    EXPECT_EQ(format("%lc%wc", u'x', u'\u20ac'), "x\xe2\x82\xac");
}

TEST(Formatter, PercentNWritesNothingAndKeepsLaterArgumentsInLine) {
    int count = 12345;
    EXPECT_EQ(format("ab%ncd %d", &count, 7), "abncd 7");
    EXPECT_EQ(count, 12345);
}

TEST(Formatter, ReturnsTheFullLengthAndTerminatesWithinTheBuffer) {
    char buffer[6];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(aud_snprintf(buffer, sizeof buffer, "%s-%d", "abcdef", 42), 9);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(aud_snprintf(buffer, 1, "%s", "abc"), 3);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(aud_snprintf(nullptr, 0, "%d", 12345), 5);
    EXPECT_EQ(aud_snprintf(buffer, sizeof buffer, nullptr), -1);
}

TEST(Formatter, LongConversionGrowsItsScratchText) {
    const std::string long_text(5000, 'q');
    char* text = nullptr;
    auto run = [&](const char* f, ...) {
        va_list arguments;
        va_start(arguments, f);
        const int n = aud_vasprintf(&text, f, arguments);
        va_end(arguments);
        return n;
    };
    EXPECT_EQ(run("<%s>%6000d", long_text.c_str(), 1), 11002);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, 5002), "<" + long_text + ">");
    EXPECT_EQ(text[11001], '1');
    std::free(text);
}

TEST(FormatDirective, ReadsFlagsWidthPrecisionAndSize) {
    aud_format_directive directive;
    aud_format_parse_directive("-08.3I64x rest", &directive);
    EXPECT_TRUE(directive.left);
    EXPECT_TRUE(directive.zero);
    EXPECT_EQ(directive.width, 8);
    EXPECT_EQ(directive.precision, 3);
    EXPECT_EQ(directive.size, AUD_FORMAT_SIZE_LONGLONG);
    EXPECT_EQ(directive.conversion, 'x');
    EXPECT_EQ(directive.length, 9u);

    aud_format_parse_directive("*.*ws", &directive);
    EXPECT_EQ(directive.width, AUD_FORMAT_FROM_ARGUMENT);
    EXPECT_EQ(directive.precision, AUD_FORMAT_FROM_ARGUMENT);
    EXPECT_TRUE(directive.wide);

    aud_format_parse_directive("99999999999d", &directive);
    EXPECT_EQ(directive.width, AUD_FORMAT_MAX_WIDTH);

    aud_format_parse_directive("n", &directive);
    EXPECT_EQ(directive.conversion, 0);
    aud_format_parse_directive("-", &directive);
    EXPECT_EQ(directive.conversion, 0);
    EXPECT_EQ(directive.length, 1u);
}

}  // namespace
