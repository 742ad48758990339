#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/aud_env.h"
#include "platform/aud_interface.h"
#include "util/aud_interface_lookup.h"

namespace {

// On whatever machine runs the tests: the real interfaces, listed without a crash.
TEST(HostInterfaces, ListsTheMachinesInterfacesSorted) {
    aud_env* env = nullptr;
    ASSERT_EQ(aud_env_init(&env), AUD_SUCCESS);
    aud_interface* list = nullptr;
    size_t count = 0;
    ASSERT_EQ(aud_interface_list_with_env(env, &list, &count), AUD_SUCCESS);
    for (size_t i = 0; i < count; ++i) {
        EXPECT_GT(list[i].index, 0u) << list[i].adapter_name;
        EXPECT_EQ(list[i].pktinfo_index, list[i].index & 0xFFFF);
        EXPECT_NE(list[i].adapter_name[0], '\0');
        EXPECT_EQ(list[i].friendly_name[AUD_INTERFACE_NAME_SIZE - 1], 0);
        if (i > 0) {
            EXPECT_TRUE(list[i - 1].kind < list[i].kind ||
                        (list[i - 1].kind == list[i].kind && list[i - 1].index < list[i].index));
        }
    }
    std::free(list);
    aud_env_release(env);
    EXPECT_EQ(aud_interface_list(nullptr, &count), AUD_ERR_INVALIDPARAMETER);
}

TEST(HostInterfaces, FindByAnUnusedIndexGivesNotFound) {
    aud_interface entry;
    EXPECT_EQ(aud_interface_find_by_index(&entry, 0), AUD_ERR_NOTFOUND);
    EXPECT_EQ(aud_interface_find_by_index(nullptr, 1), AUD_ERR_INVALIDPARAMETER);
}

}  // namespace
