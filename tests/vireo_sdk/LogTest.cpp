#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "platform/aud_env.h"
#include "platform/aud_log.h"
#include "platform/aud_module_log.h"

namespace {

const char* const kTimeColumn = "[A-Z][a-z]{2} [ 123][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2}";

struct Captured {
    std::string time;
    unsigned level;
    std::string text;
    size_t length;
};

void capture(void* context, const char* time, unsigned level, const char* text, size_t length) {
    static_cast<std::vector<Captured>*>(context)->push_back(
        {time ? time : "(none)", level, std::string(text, length), length});
}

class EnvLog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(aud_env_init(&env_), AUD_SUCCESS); }
    void TearDown() override { aud_env_release(env_); }
    aud_log* log() { return aud_env_log(env_); }

    aud_env* env_ = nullptr;
};

TEST_F(EnvLog, DefaultSettingsFormatAndPrintNothing) {
    std::vector<Captured> seen;
    log()->callback = capture;
    log()->callback_context = &seen;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (unsigned level = AUD_LOG_ERROR; level <= AUD_LOG_VERBOSE; ++level) {
        aud_log_printf(log(), level, "%s: message %u\n", "test", level);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(log()->buffer, nullptr);
    EXPECT_EQ(log()->time_flags, 14u);
    for (int sink = 0; sink < AUD_LOG_NUM_SINKS; ++sink) {
        EXPECT_EQ(aud_log_get_threshold(log(), sink), 0u);
        EXPECT_EQ(log()->destinations[sink % 2].socket, AUD_SOCKET_INVALID);
    }
}

TEST_F(EnvLog, LevelNames) {
    const char* names[] = {"None", "Critical", "Error",   "Warning", "Notice",
                           "Info", "Debug",    "Verbose", "Undef",   "Undef"};
    for (unsigned level = 0; level < 10; ++level) {
        EXPECT_STREQ(aud_log_level_name(level), names[level]);
    }
}

TEST_F(EnvLog, StderrLineHasTimeLevelAndOneNewline) {
    aud_log_set_threshold(log(), AUD_LOG_SINK_STDERR, AUD_LOG_WARNING);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    aud_log_printf(log(), AUD_LOG_WARNING, "%s: first %d", "fn", 1);
    aud_log_printf(log(), AUD_LOG_ERROR, "%s: second\n", "fn");
    aud_log_printf(log(), AUD_LOG_NOTICE, "%s: above the threshold\n", "fn");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(
        std::regex_match(err, std::regex(std::string("^") + kTimeColumn + " Warning fn: first 1\n" +
                                         kTimeColumn + " Error fn: second\n$")))
        << err;
}

TEST_F(EnvLog, CallbackGetsTextLengthAndTimeOnlyWithItsFlag) {
    std::vector<Captured> seen;
    log()->callback = capture;
    log()->callback_context = &seen;
    aud_log_set_threshold(log(), AUD_LOG_SINK_CALLBACK, AUD_LOG_DEBUG);
    aud_log_printf(log(), AUD_LOG_DEBUG, "%s: %05.1f|%-3s|", "cb", 2.25, "x");
    log()->time_flags |= AUD_LOG_TIME_DEBUGGER;
    aud_log_printf(log(), AUD_LOG_INFO, "again");
    aud_log_printf(log(), AUD_LOG_VERBOSE, "dropped");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, "cb: 002.2|x  |");
    EXPECT_EQ(seen[0].length, seen[0].text.size());
    EXPECT_EQ(seen[0].time, "(none)");
    EXPECT_EQ(seen[0].level, 6u);
    EXPECT_TRUE(std::regex_match(seen[1].time, std::regex(kTimeColumn))) << seen[1].time;
}

TEST_F(EnvLog, LongTextIsCutToTheBuffer) {
    std::vector<Captured> seen;
    log()->callback = capture;
    log()->callback_context = &seen;
    aud_log_set_threshold(log(), AUD_LOG_SINK_CALLBACK, AUD_LOG_ERROR);
    const std::string text(AUD_LOG_BUFFER_SIZE + 100, 'a');
    aud_log_printf(log(), AUD_LOG_ERROR, "%s", text.c_str());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].length, static_cast<size_t>(AUD_LOG_BUFFER_SIZE - 1));
}

TEST_F(EnvLog, MissingExternalBufferDropsTheMessage) {
    std::vector<Captured> seen;
    log()->callback = capture;
    log()->callback_context = &seen;
    log()->buffer_external = true;
    aud_log_set_threshold(log(), AUD_LOG_SINK_CALLBACK, AUD_LOG_ERROR);
    aud_log_printf(log(), AUD_LOG_ERROR, "lost");
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(log()->buffer, nullptr);
    log()->buffer_external = false;
}

TEST(EnvLogNull, NullLogIsIgnored) {
    aud_log_printf(nullptr, AUD_LOG_ERROR, "nothing");
    EXPECT_EQ(aud_log_get_threshold(nullptr, 0), 0u);
    EXPECT_EQ(aud_log_set_threshold(nullptr, 0, 1), AUD_ERR_INVALIDPARAMETER);
}

TEST(ModuleLog, WritesWarningsAndAboveToStderrWithTime) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    aud_module_log(AUD_MODULE_LOG_NOTICE, "%s: quiet\n", "fn");
    aud_module_log(AUD_MODULE_LOG_WARNING, "%s: loud %d", "fn", 4);
    aud_module_log(AUD_MODULE_LOG_FATAL, "%s: louder\n", "fn");
    aud_module_log(AUD_MODULE_LOG_ERROR, "%s", "");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(
        std::regex_match(err, std::regex(std::string("^") + kTimeColumn + " Warning: fn: loud 4\n" +
                                         kTimeColumn + " Fatal error: fn: louder\n$")))
        << err;
}

TEST(ModuleLog, LevelNamesRunFromNoErrorToUndefined) {
    const char* names[] = {"No error",        "Debug",          "Info",           "Notice",
                           "Warning",         "Error",          "Critical error", "Fatal error",
                           "Undefined error", "Undefined error"};
    for (unsigned level = 0; level < 10; ++level) {
        EXPECT_STREQ(aud_module_log_level_name(level), names[level]);
    }
}

TEST(ModuleLog, CallerBufferAndFileSink) {
    aud_module_log_settings* settings = aud_module_log_get_settings();
    const aud_module_log_settings saved = *settings;
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    char buffer[16];
    settings->sinks = AUD_MODULE_LOG_FILE;
    settings->file = file;
    settings->console_time = false;
    settings->buffer = buffer;
    settings->buffer_size = sizeof buffer;
    aud_module_log(AUD_MODULE_LOG_ERROR, "%s", "a text longer than the buffer");
    *settings = saved;
    std::rewind(file);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
    std::fclose(file);
    EXPECT_STREQ(line, "Error: a text longer t\n");
}

}  // namespace
