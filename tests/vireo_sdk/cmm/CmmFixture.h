#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "../dgcp2/Dgcp2Fixture.h"
#include "FakeConfigService.h"
#include "cmm/cmm_client.h"

// A cmm client and a fake configuration service on an ephemeral port of 127.0.0.1.
class CmmFixture : public ::testing::Test {
protected:
    struct Change {
        unsigned changes;
        aud_error_t result;
    };

    void SetUp() override {
        service_.setOptions({{u"eth0", {2, 0, 0, 0, 0, 1}}, {u"Wi-Fi", {2, 0, 0, 0, 0, 2}}});
        ASSERT_TRUE(service_.start());
        client_ = cmm_client_new(env_.env());
        ASSERT_NE(client_, nullptr);
        cmm_client_set_context(client_, this);
        cmm_client_set_event_callback(client_, &CmmFixture::record);
        cmm_client_set_clock(client_, &ManualClock::read, &clock_);
    }
    void TearDown() override { cmm_client_delete(client_); }

    static void record(cmm_client* client, unsigned changes, aud_error_t result) {
        static_cast<CmmFixture*>(cmm_client_get_context(client))
            ->changes_.push_back({changes, result});
    }

    aud_error_t init(uint16_t port) {
        EXPECT_EQ(cmm_client_set_server_port(client_, port), AUD_SUCCESS);
        return cmm_client_init(client_, "OvaltaCmm");
    }

    // Processes (waiting up to 20 ms on the socket each time) until done holds; false on
    // time-out or a failed pass.
    bool pump(const std::function<bool()>& done, int timeout_ms = 2000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            readable(cmm_client_get_socket(client_), 20);
            last_result_ = cmm_client_process(client_, nullptr);
            if (last_result_ != AUD_SUCCESS) {
                return done();
            }
        }
        return true;
    }
    // Processes for a while whatever comes.
    void settle(int milliseconds = 100) {
        pump([] { return false; }, milliseconds);
    }

    // Connected, with the options and the status received.
    void connect() {
        ASSERT_EQ(init(service_.port()), AUD_SUCCESS);
        ASSERT_EQ(cmm_client_connect(client_), AUD_SUCCESS);
        ASSERT_TRUE(pump(
            [this] { return cmm_client_get_options(client_) && cmm_client_get_status(client_); }));
        changes_.clear();
        env_.clear();
    }

    // Asks for the options' interface named name.
    aud_error_t setConfig(const char16_t* name) {
        cmm_system_config* config = cmm_client_get_system_config(client_);
        cmm_interface_list_clear(&config->interfaces);
        const cmm_interface_list* options = cmm_client_get_options(client_);
        const cmm_interface* found = cmm_interface_list_find_by_name(options, name);
        EXPECT_NE(found, nullptr);
        EXPECT_EQ(cmm_system_config_add_interface(&config->interfaces, options,
                                                  cmm_interface_get_mac(found)),
                  AUD_SUCCESS);
        config->flags = CMM_CONFIG_INTERFACES;
        config->lock = false;
        return cmm_client_set_system_config(client_, config);
    }

    LoggedEnv env_{AUD_LOG_VERBOSE};
    ManualClock clock_;
    sim::FakeConfigService service_{0};
    cmm_client* client_ = nullptr;
    std::vector<Change> changes_;
    aud_error_t last_result_ = AUD_SUCCESS;
};
