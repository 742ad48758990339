#include <gtest/gtest.h>

#include "platform/aud_env.h"
#include "platform/aud_platform.h"

namespace {

TEST(Env, InitTwiceAndReleaseTwiceStartAndStopThePlatformOnce) {
    const unsigned starts = aud_platform_start_count();
    aud_env* first = nullptr;
    aud_env* second = nullptr;
    ASSERT_EQ(aud_env_init(&first), AUD_SUCCESS);
    ASSERT_EQ(aud_env_init(&second), AUD_SUCCESS);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->references, 2);
    EXPECT_NE(aud_env_log(first), nullptr);
    EXPECT_EQ(aud_platform_start_count(), starts + 1);

    EXPECT_EQ(aud_env_release(first), AUD_SUCCESS);
    EXPECT_TRUE(aud_platform_running());
    EXPECT_NE(aud_env_log(first), nullptr);
    EXPECT_EQ(aud_env_release(second), AUD_SUCCESS);
    EXPECT_FALSE(aud_platform_running());
    EXPECT_EQ(aud_env_log(first), nullptr);

    aud_env* third = nullptr;
    ASSERT_EQ(aud_env_init(&third), AUD_SUCCESS);
    EXPECT_TRUE(aud_platform_running());
    EXPECT_EQ(aud_platform_start_count(), starts + 2);
    EXPECT_NE(aud_env_log(third), nullptr);
    EXPECT_EQ(aud_env_release(third), AUD_SUCCESS);
}

TEST(Env, RejectsMissingArgumentAndAcceptsNullRelease) {
    EXPECT_EQ(aud_env_init(nullptr), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(aud_env_release(nullptr), AUD_SUCCESS);
}

TEST(Env, ExtraReleaseDoesNotBreakTheNextStart) {
    aud_env* env = nullptr;
    ASSERT_EQ(aud_env_init(&env), AUD_SUCCESS);
    ASSERT_EQ(aud_env_release(env), AUD_SUCCESS);
    EXPECT_EQ(aud_env_release(env), AUD_ERR_INVALIDSTATE);
    ASSERT_EQ(aud_env_init(&env), AUD_SUCCESS);
    EXPECT_EQ(env->references, 1);
    EXPECT_TRUE(aud_platform_running());
    EXPECT_NE(aud_env_log(env), nullptr);
    EXPECT_EQ(aud_env_release(env), AUD_SUCCESS);
}

}  // namespace
