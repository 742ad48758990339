#include <gtest/gtest.h>

#include <cstring>

#include "cmm/cmm_types.h"

namespace {

cmm_interface_list offered() {
    cmm_interface_list list{};
    const char16_t* names[] = {u"eth0", u"Ethernet 2", u"wlan0"};
    for (uint8_t i = 0; i < 3; ++i) {
        std::memcpy(list.interfaces[i].name, names[i],
                    (std::char_traits<char16_t>::length(names[i]) + 1) * sizeof(char16_t));
        const uint8_t mac[6] = {2, 0, 0, 0, 0, static_cast<uint8_t>(i + 1)};
        std::memcpy(list.interfaces[i].mac, mac, sizeof mac);
    }
    list.count = 3;
    return list;
}

TEST(CmmRecords, ResponseStatusesMapOntoResults) {
    const std::pair<uint16_t, aud_error_t> cases[] = {
        {0, AUD_SUCCESS},
        {1, AUD_SUCCESS},
        {2, AUD_SUCCESS},
        {16, AUD_ERR_VERSION},
        {17, AUD_ERR_SYSTEM},
        {20, AUD_ERR_VERSION},
        {22, AUD_ERR_VERSION},
        {32, AUD_ERR_MSGSIZE},
        {35, AUD_ERR_MSGSIZE},
        {48, AUD_ERR_INVALIDDATA},
        {49, AUD_ERR_INVALIDDATA},
        {50, AUD_ERR_NOTSUPPORTED},
        {64, AUD_ERR_INVALIDDATA},
        {128, AUD_ERR_SYSTEM},
        {129, AUD_ERR_NOTCONN},
        {130, AUD_ERR_NOBUFS},
        {256, AUD_ERR_INVALIDDATA},
        {257, AUD_ERR_INVALIDDATA},
        {258, AUD_ERR_INVALIDSTATE},
        {259, AUD_ERR_SYSTEM},
    };
    for (const auto& [status, result] : cases) {
        EXPECT_EQ(cmm_status_to_error(status), result) << status;
    }
}

TEST(CmmRecords, Names) {
    EXPECT_STREQ(cmm_status_code_name(2), "Changing");
    EXPECT_STREQ(cmm_status_code_name(4), "Options Changed");
    EXPECT_STREQ(cmm_status_code_name(5), "???");
    EXPECT_STREQ(cmm_response_status_name(129), "Not connected");
    EXPECT_STREQ(cmm_response_status_name(258), "Invalid State");
    EXPECT_STREQ(cmm_response_status_name(260), "?");
}

TEST(CmmRecords, InterfacesAreFoundByNameIgnoringCase) {
    const cmm_interface_list options = offered();
    const cmm_interface* found = cmm_interface_list_find_by_name(&options, u"ETHERNET 2");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(cmm_interface_get_mac(found)[5], 2);
    EXPECT_EQ(cmm_interface_list_find_by_name(&options, u"eth"), nullptr);
    EXPECT_EQ(cmm_interface_list_find_by_name(&options, u""), nullptr);
}

TEST(CmmRecords, AConfigTakesTwoOfferedInterfaces) {
    const cmm_interface_list options = offered();
    cmm_interface_list list{};
    const uint8_t unknown[6] = {2, 0, 0, 0, 0, 9};
    EXPECT_EQ(cmm_system_config_add_interface(&list, &options, unknown), AUD_ERR_INVALIDDATA);
    EXPECT_EQ(cmm_system_config_add_interface(&list, &options, options.interfaces[2].mac),
              AUD_SUCCESS);
    EXPECT_EQ(cmm_system_config_add_interface(&list, &options, options.interfaces[0].mac),
              AUD_SUCCESS);
    EXPECT_EQ(cmm_system_config_add_interface(&list, &options, options.interfaces[1].mac),
              AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(cmm_system_config_add_interface(nullptr, &options, unknown),
              AUD_ERR_INVALIDPARAMETER);
    ASSERT_EQ(cmm_interface_list_count(&list), 2);
    EXPECT_EQ(std::u16string(cmm_interface_list_at(&list, 0)->name), u"wlan0");
    cmm_interface_list_clear(&list);
    EXPECT_EQ(cmm_interface_list_count(&list), 0);
}

TEST(CmmRecords, ThePendingConfigShowsOnlyWhileChanging) {
    cmm_status status{};
    status.pending.count = 1;
    EXPECT_EQ(cmm_status_get_current_config(&status), nullptr);
    status.code = CMM_STATUS_READY;
    EXPECT_EQ(cmm_status_get_current_config(&status), &status.current);
    EXPECT_EQ(cmm_status_get_pending_config(&status), nullptr);
    status.code = CMM_STATUS_CHANGING;
    EXPECT_EQ(cmm_status_get_pending_config(&status), &status.pending);
}

}  // namespace
