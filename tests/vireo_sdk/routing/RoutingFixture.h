#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../LoggedEnv.h"
#include "FakeArcpResponder.h"
#include "platform/aud_env.h"
#include "platform/aud_log.h"
#include "routing/dr_channels.h"
#include "routing/dr_device.h"
#include "routing/dr_devices.h"

// A routing context beside fake ARCP devices, with the completions and change flags that the
// SDK reports, and the environment's log lines.
class RoutingTest : public ::testing::Test {
protected:
    using Bytes = sim::Bytes;

    struct Completion {
        dr_device* device;
        dr_request_id request;
        aud_error_t result;
    };

    void SetUp() override {
        ASSERT_EQ(dr_devices_new(m_log.env(), &m_devices), AUD_SUCCESS);
        dr_devices_set_context(m_devices, this);
        ASSERT_TRUE(m_fake.start());
    }

    void TearDown() override {
        m_fake.stop();
        for (dr_device* device : m_open) {
            dr_device_close(device);
        }
        EXPECT_EQ(dr_devices_delete(m_devices), AUD_SUCCESS);
    }

    static RoutingTest* self(dr_device* device) {
        return static_cast<RoutingTest*>(dr_devices_get_context(dr_device_get_devices(device)));
    }

    static void onDone(dr_device* device, dr_request_id request, aud_error_t result) {
        self(device)->m_completions.push_back({device, request, result});
    }

    static void onChanged(dr_device* device, uint32_t changes) {
        RoutingTest* test = self(device);
        test->m_changes[device] |= changes;
        test->m_callbacks[device] += 1;
    }

    bool logged(const std::string& text) const { return m_log.logged(text); }

    int addFake(const std::string& address, sim::FakeArcpState state,
                uint16_t port = sim::FakeArcpResponder::kPort) {
        const int index = m_fake.addDevice(address, std::move(state), port);
        EXPECT_GE(index, 0) << address;
        return index;
    }

    // Opens a device at the explicit address (port 4440).
    dr_device* openAt(const std::string& address, uint16_t port = sim::FakeArcpResponder::kPort) {
        dr_device_open_config config{};
        config.name = "";
        config.num_entries = 1;
        config.flags = DR_DEVICE_OPEN_EXPLICIT_ADDRESSES;
        config.addresses[0].address = inet_addr(address.c_str());
        config.addresses[0].port = port;
        dr_device* device = nullptr;
        EXPECT_EQ(dr_device_open_with_config(m_devices, &config, &device), AUD_SUCCESS);
        return track(device);
    }

    dr_device* track(dr_device* device) {
        if (device) {
            dr_device_set_changed_callback(device, onChanged);
            m_open.push_back(device);
        }
        return device;
    }

    void close(dr_device* device) {
        for (auto it = m_open.begin(); it != m_open.end(); ++it) {
            if (*it == device) {
                m_open.erase(it);
                break;
            }
        }
        EXPECT_EQ(dr_device_close(device), AUD_SUCCESS);
    }

    // One processing pass after waiting up to 20 ms on the context's sockets.
    void pass() {
        aud_socket_set set{};
        dr_devices_get_sockets(m_devices, &set);
        const aud_time wait = {0, 20000};
        aud_socket_select(&set, nullptr, nullptr, &wait, nullptr);
        dr_devices_process(m_devices, &set);
    }

    bool run(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            pass();
        }
        return true;
    }

    // Waits for the completion of request and takes it; 999 when none came.
    aud_error_t await(dr_request_id request,
                      std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        aud_error_t result = 999;
        run(
            [&] {
                for (auto it = m_completions.begin(); it != m_completions.end(); ++it) {
                    if (it->request == request) {
                        result = it->result;
                        m_completions.erase(it);
                        return true;
                    }
                }
                return false;
            },
            timeout);
        return result;
    }

    aud_error_t queryCapabilities(dr_device* device) {
        dr_request_id request = nullptr;
        const aud_error_t sent = dr_device_query_capabilities(device, onDone, &request);
        return sent != AUD_SUCCESS ? sent : await(request);
    }

    aud_error_t update(dr_device* device, dr_device_component component) {
        dr_request_id request = nullptr;
        const aud_error_t sent = dr_device_update_component(device, onDone, &request, component);
        if (sent != AUD_SUCCESS || !request) {
            return sent;
        }
        return await(request);
    }

    // Capabilities, then every stale component.
    void activate(dr_device* device) {
        ASSERT_EQ(queryCapabilities(device), AUD_SUCCESS);
        ASSERT_EQ(dr_device_get_state(device), DR_DEVICE_STATE_ACTIVE);
        for (int c = 0; c < DR_DEVICE_NUM_COMPONENTS; ++c) {
            ASSERT_EQ(update(device, dr_device_component(c)), AUD_SUCCESS)
                << dr_device_component_to_string(c);
        }
    }

    dr_txchannel* tx(dr_device* device, size_t index) {
        uint16_t count = 0;
        dr_txchannel* const* channels = nullptr;
        EXPECT_EQ(dr_device_get_txchannels(device, &count, &channels), AUD_SUCCESS);
        return index < count ? channels[index] : nullptr;
    }

    dr_rxchannel* rx(dr_device* device, size_t index) {
        uint16_t count = 0;
        dr_rxchannel* const* channels = nullptr;
        EXPECT_EQ(dr_device_get_rxchannels(device, &count, &channels), AUD_SUCCESS);
        return index < count ? channels[index] : nullptr;
    }

    // The opcodes a fake device was asked, in order.
    std::vector<uint16_t> opcodes(size_t device) const {
        std::vector<uint16_t> found;
        for (const sim::FakeArcpRequest& request : m_fake.requests(device)) {
            found.push_back(static_cast<uint16_t>(request.bytes[6] << 8 | request.bytes[7]));
        }
        return found;
    }

    // A request's bytes with the sequence number zeroed.
    static Bytes withoutSeqnum(Bytes bytes) {
        bytes[4] = bytes[5] = 0;
        return bytes;
    }

    LoggedEnv m_log;
    dr_devices* m_devices = nullptr;
    sim::FakeArcpResponder m_fake;
    std::vector<dr_device*> m_open;
    std::vector<Completion> m_completions;
    std::map<dr_device*, uint32_t> m_changes;
    std::map<dr_device*, int> m_callbacks;
};
