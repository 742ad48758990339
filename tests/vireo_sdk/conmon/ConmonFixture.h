#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "../browse/BrowseFixture.h"
#include "FakeConmonServer.h"
#include "FakeConmonWire.h"
#include "conmon/conmon_client.h"

// A conmon client of its own environment, driven by the test's own loop, recording every
// completion and delivered channel message.
class ConmonHarness {
public:
    struct Completion {
        conmon_client_request_id id;
        aud_error_t result;
    };
    struct Delivery {
        unsigned channel_type;
        unsigned direction;
        std::string sender;  // by conmon_client_device_name_for_instance_id; "(null)" when none
        std::vector<uint8_t> vendor;
        std::vector<uint8_t> body;
    };

    explicit ConmonHarness(uint16_t port = sim::FakeConmonServer::kPort, size_t max_requests = 0) {
        conmon_client_config* config = conmon_client_config_new("Kolvo CONMON");
        EXPECT_NE(config, nullptr);
        conmon_client_config_set_server_port(config, port);
        EXPECT_EQ(conmon_client_new_config(m_env.env(), config, &m_client), AUD_SUCCESS);
        conmon_client_config_delete(config);
        conmon_client_set_context(m_client, this);
        conmon_client_set_devices_changed_callback(m_client, devicesChanged);
        conmon_client_set_networks_changed_callback(
            m_client, [](conmon_client* client) { ++self(client)->networks_changed; });
        conmon_client_set_device_name_changed_callback(
            m_client, [](conmon_client* client) { ++self(client)->names_changed; });
        conmon_client_set_dns_domain_name_changed_callback(
            m_client, [](conmon_client* client) { ++self(client)->names_changed; });
        if (max_requests) {
            conmon_client_set_max_requests(m_client, max_requests);
        }
    }
    ~ConmonHarness() { conmon_client_delete(m_client); }
    ConmonHarness(const ConmonHarness&) = delete;
    ConmonHarness& operator=(const ConmonHarness&) = delete;

    conmon_client* client() const { return m_client; }
    // Hands the client over to the caller, who deletes it.
    conmon_client* release() {
        conmon_client* client = m_client;
        m_client = nullptr;
        return client;
    }
    LoggedEnv& env() { return m_env; }

    static void done(conmon_client* client, conmon_client_request_id id, aud_error_t result) {
        self(client)->completions.push_back({id, result});
    }
    static void message(conmon_client* client, unsigned type, unsigned direction,
                        const conmon_message* message) {
        conmon_instance_id id{};
        conmon_message_get_source_instance_id(message, &id);
        const char* name = conmon_client_device_name_for_instance_id(client, &id);
        const size_t size = conmon_message_get_body_size(message);
        self(client)->deliveries.push_back(
            {type, direction, name ? name : "(null)",
             std::vector<uint8_t>(message->vendor_id, message->vendor_id + 8),
             std::vector<uint8_t>(message->body, message->body + size)});
    }

    static void devicesChanged(conmon_client* client, size_t count,
                               const conmon_client_subscription* const* changed) {
        std::vector<std::string> names;
        for (size_t i = 0; i < count; ++i) {
            names.push_back(changed[i]->name);
        }
        self(client)->changed_devices.push_back(names);
    }

    // Passes of the client's processing (each after waiting up to 10 ms on its socket) until
    // done holds; false on time-out. Every pass's result is kept in results.
    bool run(const std::function<bool()>& until,
             std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!until()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            pass(std::chrono::milliseconds(10));
        }
        return true;
    }
    // Processes for a while whatever arrives.
    void settle(std::chrono::milliseconds time = std::chrono::milliseconds(100)) {
        run([] { return false; }, time);
    }
    void pass(std::chrono::milliseconds wait) {
        aud_socket_set set{};
        if (conmon_client_get_sockets(m_client, &set) != AUD_SUCCESS) {
            return;
        }
        const aud_time limit = {0, int32_t(wait.count() * 1000)};
        unsigned ready = 0;
        aud_socket_select(&set, nullptr, nullptr, &limit, &ready);
        if (ready > 0) {
            results.push_back(conmon_client_process_sockets(m_client, &set, nullptr));
        }
    }

    // Connects and waits for the connect request's completion; its result.
    aud_error_t connect() {
        conmon_client_request_id id = 0;
        const aud_error_t sent = conmon_client_connect(m_client, done, &id);
        if (sent != AUD_SUCCESS) {
            return sent;
        }
        if (!run([&] { return completed(id); })) {
            return -1;
        }
        return resultOf(id);
    }
    // Connects, registers type 2 remote messages and subscribes globally to type 2.
    void open() {
        ASSERT_EQ(connect(), AUD_SUCCESS);
        registerAndSubscribe();
    }
    void registerAndSubscribe() {
        conmon_client_request_id id = 0;
        ASSERT_EQ(conmon_client_register_monitoring_messages(m_client, done, &id, 2, 1, message),
                  AUD_SUCCESS);
        ASSERT_TRUE(run([&] { return completed(id); }));
        ASSERT_EQ(resultOf(id), AUD_SUCCESS);
        ASSERT_EQ(conmon_client_subscribe_global(m_client, done, &id, 2), AUD_SUCCESS);
        ASSERT_TRUE(run([&] { return completed(id); }));
        ASSERT_EQ(resultOf(id), AUD_SUCCESS);
    }
    aud_error_t send(const std::string& device, const std::vector<uint8_t>& body,
                     const uint8_t* vendor = CONMON_VENDOR_ID_STANDARD,
                     conmon_client_request_id* id = nullptr) {
        return conmon_client_send_control_message(m_client, done, id, device.c_str(), 0xFFFF,
                                                  vendor, body.data(), body.size(), nullptr);
    }

    bool completed(conmon_client_request_id id) const {
        for (const Completion& c : completions) {
            if (c.id == id) {
                return true;
            }
        }
        return false;
    }
    aud_error_t resultOf(conmon_client_request_id id) const {
        for (const Completion& c : completions) {
            if (c.id == id) {
                return c.result;
            }
        }
        return -1;
    }

    std::vector<Completion> completions;
    std::vector<Delivery> deliveries;
    std::vector<aud_error_t> results;
    std::vector<std::vector<std::string>> changed_devices;
    int networks_changed = 0;
    int names_changed = 0;

private:
    static ConmonHarness* self(conmon_client* client) {
        return static_cast<ConmonHarness*>(conmon_client_get_context(client));
    }

    LoggedEnv m_env;
    conmon_client* m_client = nullptr;
};

// A device the fake server knows, with every reply filled in.
inline sim::FakeConmonDevice fakeAmp(const std::string& name = "ZEB-AMP-01") {
    return sim::fakeConmonAmp(name);
}
