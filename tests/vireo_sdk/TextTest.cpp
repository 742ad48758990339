#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "util/aud_text.h"

namespace {

TEST(Strlcpy, CopiesWhatFitsAndReturnsTheSourceLength) {
    char buffer[4];
    EXPECT_EQ(aud_strlcpy(buffer, "abcdef", sizeof buffer), 6u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(aud_strlcpy(buffer, "ab", sizeof buffer), 2u);
    EXPECT_STREQ(buffer, "ab");
}

TEST(Strlcat, AppendsAndReportsAFullDestination) {
    char buffer[6] = "ab";
    EXPECT_EQ(aud_strlcat(buffer, "cdefg", sizeof buffer), 7u);
    EXPECT_STREQ(buffer, "abcde");
    char full[3] = {'x', 'y', 'z'};
    EXPECT_EQ(aud_strlcat(full, "q", sizeof full), 3u);
    EXPECT_EQ(full[2], 'z');
}

TEST(Strjoin, AppendsEveryTextAndReturnsTheFullLength) {
    char buffer[8] = "1";
    EXPECT_EQ(aud_strjoin(buffer, sizeof buffer, ",", "22", ",", "333", ",", "4444", nullptr), 13u);
    EXPECT_STREQ(buffer, "1,22,33");
}

TEST(Strcasecmp, IgnoresAsciiCase) {
    EXPECT_EQ(aud_strcasecmp("Vireo", "vIREO"), 0);
    EXPECT_LT(aud_strcasecmp("abc", "ABD"), 0);
    EXPECT_GT(aud_strcasecmp("abcd", "ABC"), 0);
}

TEST(WideText, BoundedCopyAndCompare) {
    char16_t buffer[4];
    EXPECT_EQ(aud_wcslcpy(buffer, u"abcdef", 4), 6u);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(aud_wcslen(u"\u00e9t\u00e9"), 3u);
    EXPECT_EQ(aud_wcscasecmp(u"Eth0", u"eTH0"), 0);
    EXPECT_NE(aud_wcscasecmp(u"eth0", u"eth1"), 0);
}

TEST(WideConversion, RoundTripsAndNeverSplitsACharacter) {
    char text[16];
    EXPECT_EQ(aud_wcstombs(text, u"a\u00e9\u20ac\U0001F600", sizeof text), 10u);
    EXPECT_STREQ(text, "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    char small[4];
    EXPECT_EQ(aud_wcstombs(small, u"a\u00e9\u20ac", sizeof small), 6u);
    EXPECT_STREQ(small, "a\xc3\xa9");

    char16_t wide[8];
    EXPECT_EQ(aud_mbstowcs(wide, "a\xc3\xa9\xf0\x9f\x98\x80", 8), 4u);
    EXPECT_EQ(std::u16string(wide), u"a\u00e9\U0001F600");
    char16_t two[3];
    EXPECT_EQ(aud_mbstowcs(two, "a\xf0\x9f\x98\x80", 3), 3u);
    EXPECT_EQ(std::u16string(two), u"a");
}

TEST(WideConversion, StopsAtTheFirstInvalidCharacter) {
    struct Case {
        const char* text;
        const char16_t* wide;
    };
    for (const Case& c :
         {Case{"ab\xff"
               "cd",
               u"ab"},
          Case{"a\xc0\xaf", u"a"}, Case{"a\xed\xa0\x80z", u"a"}, Case{"x\xe2\x82", u"x"}}) {
        char16_t wide[8];
        aud_mbstowcs(wide, c.text, 8);
        EXPECT_EQ(std::u16string(wide), c.wide) << c.text;
    }
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    char text[8];
    EXPECT_EQ(aud_wcstombs(text, lone, sizeof text), 1u);
    EXPECT_STREQ(text, "a");
}

TEST(WideToText, PlainOrHexUnits) {
    char buffer[32];
    EXPECT_STREQ(aud_wide_to_text(u"eth0", buffer, sizeof buffer), "eth0");
    EXPECT_STREQ(aud_wide_to_text(u"a\u00e9", buffer, sizeof buffer), "0061 00e9");
    EXPECT_STREQ(aud_wide_to_text(u"abc", buffer, 3), "ab");
}

}  // namespace
