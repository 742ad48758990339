#include <gtest/gtest.h>

#include <string>

#include "DnsName.h"
#include "vireo_dns_sd.h"

namespace {

using vireo_dnssd::Labels;

TEST(FullName, EscapesInstanceAndEndsEveryPartWithADot) {
    const struct {
        const char* service;
        const char* type;
        const char* domain;
        const char* expected;
    } cases[] = {
        {nullptr, "_vireo-arc._udp", "local.", "_vireo-arc._udp.local."},
        {nullptr, "_vireo-arc._udp.", "local", "_vireo-arc._udp.local."},
        {"Amp 1.2", "_vireo-arc._udp.", "local", "Amp 1\\.2._vireo-arc._udp.local."},
        {"back\\slash", "_vireo-cmc._udp", "local", "back\\\\slash._vireo-cmc._udp.local."},
        {"tab\there", "_vireo-arc._udp", "local", "tab\\009here._vireo-arc._udp.local."},
    };
    for (const auto& c : cases) {
        char out[kDNSServiceMaxDomainName];
        ASSERT_EQ(DNSServiceConstructFullName(out, c.service, c.type, c.domain), 0) << c.expected;
        EXPECT_STREQ(out, c.expected);
    }
    char out[kDNSServiceMaxDomainName];
    const std::string label64(64, 'a');
    EXPECT_NE(DNSServiceConstructFullName(out, label64.c_str(), "_a._udp", "local"), 0);
    EXPECT_NE(DNSServiceConstructFullName(out, "x", nullptr, "local"), 0);
    EXPECT_NE(DNSServiceConstructFullName(out, "x", "_a.._udp", "local"), 0);
}

TEST(NameText, ReadsEscapesBackAndRefusesBadText) {
    EXPECT_EQ(vireo_dnssd::parseNameText("Amp 1\\.2._vireo-arc._udp.local."),
              (Labels{"Amp 1.2", "_vireo-arc", "_udp", "local"}));
    EXPECT_EQ(vireo_dnssd::parseNameText("a\\\\b\\009c.local"), (Labels{"a\\b\tc", "local"}));
    for (const char* bad : {"a..local", ".local", "a\\", "a\\25", "a\\256.local"}) {
        EXPECT_FALSE(vireo_dnssd::parseNameText(bad)) << bad;
    }
    const Labels name{"a.b", "c\\d", std::string("e\x01", 2)};
    EXPECT_EQ(vireo_dnssd::parseNameText(vireo_dnssd::nameText(name)), name);
}

TEST(Txt, LooksUpKeysIgnoringCase) {
    // "arcp_vers=3.2.1", "safe", "empty=", "dup=first", "dup=second"
    const std::string record = std::string("\x0f") + "arcp_vers=3.2.1" + "\x04" + "safe" + "\x06" +
                               "empty=" + "\x09" + "dup=first" + "\x0a" + "dup=second";
    const auto length = uint16_t(record.size());
    uint8_t value_length = 99;
    const auto* value = static_cast<const char*>(
        TXTRecordGetValuePtr(length, record.data(), "ARCP_Vers", &value_length));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(value, value_length), "3.2.1");

    value_length = 99;
    EXPECT_NE(TXTRecordGetValuePtr(length, record.data(), "safe", &value_length), nullptr);
    EXPECT_EQ(value_length, 0);
    EXPECT_TRUE(TXTRecordContainsKey(length, record.data(), "SAFE"));

    value_length = 99;
    EXPECT_NE(TXTRecordGetValuePtr(length, record.data(), "empty", &value_length), nullptr);
    EXPECT_EQ(value_length, 0);

    value =
        static_cast<const char*>(TXTRecordGetValuePtr(length, record.data(), "dup", &value_length));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(value, value_length), "first");

    for (const char* absent : {"missing", "saf", "arcp_vers=3", ""}) {
        EXPECT_EQ(TXTRecordGetValuePtr(length, record.data(), absent, &value_length), nullptr)
            << absent;
        EXPECT_FALSE(TXTRecordContainsKey(length, record.data(), absent)) << absent;
    }
}

TEST(Txt, MalformedRecordHasNoKeys) {
    // The second length runs past the end.
    const std::string record = std::string("\x03") + "a=1" + "\x09" + "b=2";
    uint8_t value_length = 0;
    EXPECT_EQ(TXTRecordGetValuePtr(uint16_t(record.size()), record.data(), "a", &value_length),
              nullptr);
    EXPECT_FALSE(TXTRecordContainsKey(uint16_t(record.size()), record.data(), "b"));
    EXPECT_FALSE(TXTRecordContainsKey(0, nullptr, "a"));
    const std::string empty_string("\x00", 1);
    EXPECT_FALSE(TXTRecordContainsKey(1, empty_string.data(), "a"));
}

}  // namespace
