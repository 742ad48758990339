#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/aud_interface.h"
#include "util/aud_interface_lookup.h"
#include "util/aud_text.h"

namespace {

// The namespace of this binary holds lo and veth0 (192.0.2.1/24) with its peer veth0-p
// (192.0.2.2/24).
std::string dotted(const aud_sockaddr& address) {
    char text[16] = "";
    aud_inet_ntoa(address.in.sin_addr.s_addr, text, sizeof text);
    return text;
}

TEST(Interfaces, ListHoldsLoopbackAndVethSortedByKindAndIndex) {
    aud_interface* list = nullptr;
    size_t count = 0;
    ASSERT_EQ(aud_interface_list(&list, &count), AUD_SUCCESS);
    ASSERT_EQ(count, 3u);
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        names.push_back(list[i].adapter_name);
    }
    const unsigned veth = if_nametoindex("veth0");
    const unsigned peer = if_nametoindex("veth0-p");
    const std::vector<std::string> expected =
        veth < peer ? std::vector<std::string>{"lo", "veth0", "veth0-p"}
                    : std::vector<std::string>{"lo", "veth0-p", "veth0"};
    ASSERT_EQ(names, expected);

    const aud_interface& lo = list[0];
    EXPECT_EQ(lo.kind, AUD_INTERFACE_KIND_LOOPBACK);
    EXPECT_TRUE(lo.up);
    EXPECT_TRUE(lo.loopback);
    EXPECT_EQ(lo.index, if_nametoindex("lo"));
    EXPECT_EQ(dotted(lo.address), "127.0.0.1");
    EXPECT_EQ(dotted(lo.netmask), "255.0.0.0");
    EXPECT_EQ(std::u16string(lo.friendly_name), u"lo");

    const aud_interface& v = list[veth < peer ? 1 : 2];
    EXPECT_EQ(v.kind, AUD_INTERFACE_KIND_VIRTUAL);
    EXPECT_EQ(v.index, veth);
    EXPECT_EQ(v.pktinfo_index, veth & 0xFFFF);
    EXPECT_TRUE(v.up);
    EXPECT_FALSE(v.loopback);
    EXPECT_TRUE(v.multicast);
    EXPECT_EQ(dotted(v.address), "192.0.2.1");
    EXPECT_EQ(dotted(v.netmask), "255.255.255.0");
    EXPECT_EQ(v.address.length, 16);
    EXPECT_NE(std::vector<uint8_t>(v.physical, v.physical + 6), std::vector<uint8_t>(6, 0));
    EXPECT_GT(v.link_speed_mbps, 0u);
    EXPECT_EQ(dotted(list[veth < peer ? 2 : 1].address), "192.0.2.2");
    std::free(list);
}

TEST(Interfaces, AnAddressAliasBelongsToItsInterface) {
    ASSERT_EQ(std::system("ip addr add 192.0.2.50/24 dev veth0 label veth0:1"), 0);
    aud_interface* list = nullptr;
    size_t count = 0;
    ASSERT_EQ(aud_interface_list(&list, &count), AUD_SUCCESS);
    EXPECT_EQ(std::system("ip addr del 192.0.2.50/24 dev veth0"), 0);
    EXPECT_EQ(count, 3u);
    for (size_t i = 0; i < count; ++i) {
        EXPECT_NE(list[i].index, 0u) << list[i].adapter_name;
        EXPECT_EQ(std::strchr(list[i].adapter_name, ':'), nullptr) << list[i].adapter_name;
        if (std::strcmp(list[i].adapter_name, "veth0") == 0) {
            EXPECT_EQ(dotted(list[i].address), "192.0.2.1");
        }
    }
    std::free(list);
}

TEST(Interfaces, FindAndResolve) {
    aud_interface entry{};
    ASSERT_EQ(aud_interface_find_loopback(&entry), AUD_SUCCESS);
    EXPECT_STREQ(entry.adapter_name, "lo");
    ASSERT_EQ(aud_interface_find_by_index(&entry, if_nametoindex("veth0")), AUD_SUCCESS);
    EXPECT_STREQ(entry.adapter_name, "veth0");

    aud_interface_request requests[3] = {};
    requests[0].flags = AUD_INTERFACE_BY_NAME;
    aud_mbstowcs(requests[0].name, "VETH0", AUD_INTERFACE_NAME_SIZE);
    requests[1].flags = AUD_INTERFACE_BY_INDEX;
    requests[1].index = if_nametoindex("lo");
    requests[2].flags = AUD_INTERFACE_BY_NAME;
    aud_mbstowcs(requests[2].name, "eth7", AUD_INTERFACE_NAME_SIZE);
    ASSERT_EQ(aud_interface_resolve(requests, 3), AUD_SUCCESS);
    EXPECT_EQ(requests[0].flags, unsigned{AUD_INTERFACE_RESOLVED});
    EXPECT_EQ(requests[0].index, if_nametoindex("veth0"));
    EXPECT_EQ(requests[1].flags, unsigned{AUD_INTERFACE_RESOLVED});
    EXPECT_EQ(std::u16string(requests[1].name), u"lo");
    EXPECT_EQ(requests[2].flags, 0u);
}

}  // namespace
