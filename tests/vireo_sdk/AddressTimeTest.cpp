#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <ctime>
#include <regex>
#include <string>

#include "platform/aud_interface.h"
#include "platform/aud_sockaddr.h"
#include "platform/aud_time.h"

namespace {

TEST(Sockaddr, TextAndPort) {
    aud_sockaddr address{};
    ASSERT_EQ(aud_sockaddr_from_string(&address, AF_INET, "192.168.1.5", 8850), AUD_SUCCESS);
    char text[64];
    EXPECT_STREQ(aud_sockaddr_to_string(&address, text, sizeof text), "192.168.1.5:8850 (len=16)");
    EXPECT_EQ(aud_sockaddr_get_port(&address), 8850);
    EXPECT_EQ(aud_sockaddr_set_port(&address, 49494), AUD_SUCCESS);
    EXPECT_EQ(ntohs(address.in.sin_port), 49494);
    EXPECT_EQ(sizeof(aud_sockaddr), 20u);

    EXPECT_EQ(aud_sockaddr_from_string(&address, 0, "1.2.3.4", 1), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(aud_sockaddr_from_string(&address, AF_INET6, "1.2.3.4", 1), AUD_ERR_NOTSUPPORTED);
    EXPECT_EQ(aud_sockaddr_from_string(&address, AF_INET, "1.2.3.400", 1),
              AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(aud_sockaddr_set_any(&address, AF_INET6, 1), AUD_ERR_NOTSUPPORTED);
    ASSERT_EQ(aud_sockaddr_set_any(&address, AF_INET, 5353), AUD_SUCCESS);
    EXPECT_EQ(address.in.sin_addr.s_addr, 0u);

    aud_sockaddr_clear(&address);
    EXPECT_STREQ(aud_sockaddr_to_string(&address, text, sizeof text), "");
    EXPECT_EQ(aud_sockaddr_get_port(&address), 0);
    EXPECT_EQ(aud_sockaddr_set_port(&address, 1), AUD_ERR_AFNOSUPPORT);
}

TEST(Sockaddr, InetTextRules) {
    uint32_t value = 0;
    EXPECT_EQ(aud_inet_aton("255.255.255.255", &value), AUD_SUCCESS);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_EQ(aud_inet_aton("10.0.0.1", &value), AUD_SUCCESS);
    EXPECT_EQ(value, htonl(0x0A000001));
    EXPECT_EQ(aud_inet_aton("not an address", &value), AUD_ERR_INVALIDPARAMETER);
    char small[8];
    EXPECT_EQ(aud_inet_ntoa(htonl(0xC0A80105), small, sizeof small), nullptr);
    char text[16];
    EXPECT_STREQ(aud_inet_ntoa(htonl(0xC0A80105), text, sizeof text), "192.168.1.5");
}

TEST(Sockaddr, EqualityComparesLengthsFirstAndAtMostTheAddress) {
    aud_sockaddr a{};
    aud_sockaddr b{};
    aud_sockaddr_set(&a, htonl(0xC0000201), 8700);
    aud_sockaddr_set(&b, htonl(0xC0000201), 8700);
    EXPECT_TRUE(aud_sockaddr_equal(&a, &b));
    b.in.sin_port = htons(8701);
    EXPECT_FALSE(aud_sockaddr_equal(&a, &b));
    b = a;
    b.length = 8;
    EXPECT_FALSE(aud_sockaddr_equal(&a, &b));
    a.length = 200;
    b.length = 200;
    b.spare[0] = 1;
    EXPECT_TRUE(aud_sockaddr_equal(&a, &b));
    aud_sockaddr none{};
    EXPECT_FALSE(aud_sockaddr_equal(&none, &none));
    EXPECT_FALSE(aud_sockaddr_equal(&a, nullptr));
}

TEST(Sockaddr, Multicast) {
    aud_sockaddr address{};
    for (const char* group : {"224.0.0.251", "239.255.255.255", "239.255.10.99"}) {
        aud_sockaddr_from_string(&address, AF_INET, group, 0);
        EXPECT_TRUE(aud_sockaddr_is_multicast(&address)) << group;
    }
    for (const char* plain : {"223.255.255.255", "240.0.0.1", "192.0.2.1"}) {
        aud_sockaddr_from_string(&address, AF_INET, plain, 0);
        EXPECT_FALSE(aud_sockaddr_is_multicast(&address)) << plain;
    }
}

TEST(Netmask, FromPrefixLength) {
    struct Case {
        unsigned prefix;
        uint32_t mask;
    };
    for (const Case& c :
         {Case{0, 0}, Case{8, 0xFF000000}, Case{24, 0xFFFFFF00}, Case{32, 0xFFFFFFFF}}) {
        EXPECT_EQ(aud_interface_netmask_of_prefix(c.prefix), htonl(c.mask)) << c.prefix;
    }
}

TEST(Time, WallClockAndCalendarText) {
    aud_time now{};
    ASSERT_EQ(aud_time_get(&now), AUD_SUCCESS);
    EXPECT_LE(std::abs(now.seconds - static_cast<int64_t>(std::time(nullptr))), 2);
    EXPECT_GE(now.microseconds, 0);
    EXPECT_LT(now.microseconds, 1000000);
    EXPECT_EQ(aud_time_get(nullptr), AUD_ERR_INVALIDPARAMETER);

    setenv("TZ", "UTC", 1);
    tzset();
    const aud_time moment{1546398245, 0};  // 2019-01-02 03:04:05 UTC
    char text[AUD_TIME_STRING_SIZE];
    EXPECT_STREQ(aud_time_to_string(&moment, text), "Wed Jan  2 03:04:05 2019\n");
    const std::string current = aud_time_to_string(nullptr, nullptr);
    EXPECT_TRUE(std::regex_match(current, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] "
                                                     "[0-9:]{8} [0-9]{4}\n")))
        << current;
}

TEST(Time, NormaliseAddCompare) {
    aud_time t{1, 2500000};
    aud_time_normalise(&t);
    EXPECT_EQ(t.seconds, 3);
    EXPECT_EQ(t.microseconds, 500000);
    aud_time negative{3, -1};
    aud_time_normalise(&negative);
    EXPECT_EQ(negative.seconds, 2);
    EXPECT_EQ(negative.microseconds, 999999);
    const aud_time a{1, 600000};
    const aud_time sum = aud_time_add(&a, &a);
    EXPECT_EQ(sum.seconds, 3);
    EXPECT_EQ(sum.microseconds, 200000);
    EXPECT_LT(aud_time_compare(&a, &sum), 0);
    EXPECT_EQ(aud_time_compare(&a, &a), 0);
}

TEST(Process, IdAndOsVersion) {
    uint32_t id = 0;
    EXPECT_EQ(aud_process_get_id(&id), AUD_SUCCESS);
    EXPECT_EQ(id, static_cast<uint32_t>(getpid()));
    uint32_t major = 0;
    uint32_t minor = 0;
    EXPECT_EQ(aud_os_version(&major, &minor), AUD_SUCCESS);
    EXPECT_GE(major, 3u);
}

}  // namespace
