// Routed devices opened by explicit address against fake ARCP devices on 127.0.0.x:4440,
// inside the test's own network namespace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "RoutingFixture.h"
#include "routing/dr_flows.h"
#include "routing/dr_internal.h"

namespace {

using Bytes = sim::Bytes;

sim::FakeArcpState amp(const std::string& name, size_t tx, size_t rx) {
    return sim::fakeArcpDevice(name, tx, rx);
}

TEST_F(RoutingTest, SubscriptionRequestAndItsResultAfterTheNextUpdate) {
    addFake("127.0.0.2", amp("AMP-1", 0, 2));
    dr_device* device = openAt("127.0.0.2");
    activate(device);
    dr_rxchannel* channel = rx(device, 1);
    EXPECT_EQ(dr_rxchannel_get_subscription_channel(channel), nullptr);

    dr_request_id request = nullptr;
    ASSERT_EQ(dr_rxchannel_subscribe(channel, onDone, &request, "AMP-2", "Out 1"), AUD_SUCCESS);
    EXPECT_TRUE(logged("dr_rxchannel_subscribe: subscribing 2 to Out 1@AMP-2"));
    EXPECT_EQ(await(request), AUD_SUCCESS);
    const auto sent = m_fake.requests(0, 0x3010);
    ASSERT_EQ(sent.size(), 1u);
    Bytes expected = {0x27, 0x1D, 0x00, 0x2C, 0x00, 0x00, 0x30, 0x10, 0x00,
                      0x00, 0x01, 0x01, 0x00, 0x02, 0x00, 0x20, 0x00, 0x26};
    expected.insert(expected.end(), 14, 0x00);
    for (const char* text : {"Out 1", "AMP-2"}) {
        expected.insert(expected.end(), text, text + std::strlen(text) + 1);
    }
    EXPECT_EQ(withoutSeqnum(sent[0].bytes), expected);

    // Seen after the next receive channel update, which asks from the channel on.
    EXPECT_EQ(dr_rxchannel_get_subscription_channel(channel), nullptr);
    EXPECT_TRUE(dr_device_is_component_stale(device, DR_DEVICE_COMPONENT_RXCHANNELS));
    EXPECT_TRUE(dr_device_is_component_stale(device, DR_DEVICE_COMPONENT_RXFLOWS));
    m_changes.clear();
    ASSERT_EQ(update(device, DR_DEVICE_COMPONENT_RXCHANNELS), AUD_SUCCESS);
    EXPECT_EQ(withoutSeqnum(m_fake.requests(0, 0x3000).back().bytes),
              (Bytes{0x27, 0x1D, 0x00, 0x10, 0, 0, 0x30, 0x00, 0, 0, 0, 1, 0, 2, 0, 0}));
    EXPECT_STREQ(dr_rxchannel_get_subscription_channel(channel), "Out 1");
    EXPECT_STREQ(dr_rxchannel_get_subscription_device(channel), "AMP-2");
    EXPECT_TRUE(m_changes[device] & DR_DEVICE_CHANGE_RXCHANNELS);
}

TEST_F(RoutingTest, LabelsAreAskedForAsMergedRangesOfTheStaleEntries) {
    sim::FakeArcpState state = amp("AMP-1", 2, 0);
    state.label_entries = 10;
    addFake("127.0.0.2", state);
    dr_device* device = openAt("127.0.0.2");
    activate(device);
    for (dr_label& label : device->labels) {
        label.stale = label.id == 3 || label.id == 4 || label.id == 5 || label.id == 9;
    }
    device->stale[DR_DEVICE_COMPONENT_TXLABELS] = true;
    ASSERT_EQ(update(device, DR_DEVICE_COMPONENT_TXLABELS), AUD_SUCCESS);
    EXPECT_EQ(withoutSeqnum(m_fake.requests(0, 0x2010).back().bytes),
              (Bytes{0x27, 0x1D, 0x00, 0x14, 0x00, 0x00, 0x20, 0x10, 0x00, 0x00,
                     0x00, 0x02, 0x00, 0x03, 0x00, 0x05, 0x00, 0x00, 0x00, 0x09}));
}

// The transmit channel reply of two channels "Out 1" and "Out 2" at 48000.
const Bytes kTwoChannels = {0x27, 0x1D, 0x00, 0x38, 0x00, 0x00, 0x20, 0x00, 0x00, 0x01, 0x02, 0x02,
                            0x00, 0x01, 0x01, 0x00, 0x00, 0x1C, 0x00, 0x2C, 0x00, 0x02, 0x00, 0x02,
                            0x00, 0x1C, 0x00, 0x32, 0x00, 0x00, 0xBB, 0x80, 0x01, 0x01, 0x00, 0x18,
                            0x00, 0x00, 0x00, 0x18, 0x00, 0x18, 0x00, 0x04, 0x4F, 0x75, 0x74, 0x20,
                            0x31, 0x00, 0x4F, 0x75, 0x74, 0x20, 0x32, 0x00};

TEST_F(RoutingTest, ActiveDeviceTakesATransmitChannelReply) {
    struct Case {
        const char* what;
        Bytes reply;
        aud_error_t result;
        const char* names[2];
        uint32_t rate;
        bool changed;
    };
    Bytes six_records = kTwoChannels;
    six_records[11] = 6;
    Bytes cut(kTwoChannels.begin(), kTwoChannels.end() - 1);
    cut[3] = 55;
    const Case cases[] = {
        {"as sent", kTwoChannels, AUD_SUCCESS, {"Out 1", "Out 2"}, 48000, true},
        {"six records", six_records, AUD_ERR_INVALIDDATA, {"A", "B"}, 44100, false},
        {"cut to 55", cut, AUD_SUCCESS, {"Out 1", ""}, 48000, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::FakeArcpState state = amp("AMP-1", 2, 0);
        state.tx[0].name = "A";
        state.tx[1].name = "B";
        state.tx[0].format.rate = state.tx[1].format.rate = 44100;
        const std::string address = "127.0.0." + std::to_string(2 + n);
        const int fake = addFake(address, state);
        dr_device* device = openAt(address);
        activate(device);
        ASSERT_STREQ(dr_txchannel_get_name(tx(device, 0)), "A");
        sim::FakeArcpFault raw;
        raw.kind = sim::FakeArcpFault::kRaw;
        raw.opcode = 0x2000;
        raw.raw = c.reply;
        m_fake.scriptFaults(size_t(fake), {raw});
        dr_device_mark_component_stale(device, DR_DEVICE_COMPONENT_TXCHANNELS);
        m_changes.clear();
        EXPECT_EQ(update(device, DR_DEVICE_COMPONENT_TXCHANNELS), c.result);
        EXPECT_STREQ(dr_txchannel_get_name(tx(device, 0)), c.names[0]);
        EXPECT_STREQ(dr_txchannel_get_name(tx(device, 1)), c.names[1]);
        EXPECT_EQ(dr_txchannel_get_format(tx(device, 0)), c.rate);
        EXPECT_EQ(bool(m_changes[device] & DR_DEVICE_CHANGE_TXCHANNELS), c.changed);
        EXPECT_EQ(dr_device_get_state(device), DR_DEVICE_STATE_ACTIVE);
        ++n;
    }
}

TEST_F(RoutingTest, SeventeenthRequestFindsNoSlot) {
    const int fake = addFake("127.0.0.2", amp("AMP-1", 1, 1));
    m_fake.setSilent(size_t(fake), true);
    dr_device* device = openAt("127.0.0.2");
    dr_request_id request = nullptr;
    for (int i = 0; i < DR_DEVICES_NUM_REQUESTS; ++i) {
        ASSERT_EQ(dr_device_query_capabilities(device, onDone, &request), AUD_SUCCESS) << i;
    }
    EXPECT_EQ(dr_device_query_capabilities(device, onDone, &request), AUD_ERR_NOBUFS);
}

TEST_F(RoutingTest, SilentDeviceReleasesItsSlotsAtTheTimeOut) {
    dr_devices_set_request_timeout(m_devices, 200);
    const int silent = addFake("127.0.0.2", amp("AMP-1", 1, 1));
    addFake("127.0.0.3", amp("AMP-2", 1, 1));
    m_fake.setSilent(size_t(silent), true);
    dr_device* mute = openAt("127.0.0.2");
    dr_device* other = openAt("127.0.0.3");
    dr_request_id request = nullptr;
    for (int i = 0; i < DR_DEVICES_NUM_REQUESTS; ++i) {
        ASSERT_EQ(dr_device_query_capabilities(mute, onDone, &request), AUD_SUCCESS);
    }
    EXPECT_EQ(dr_device_query_capabilities(other, onDone, &request), AUD_ERR_NOBUFS);
    ASSERT_TRUE(run([&] { return m_completions.size() == DR_DEVICES_NUM_REQUESTS; }));
    for (const Completion& c : m_completions) {
        EXPECT_EQ(c.device, mute);
        EXPECT_EQ(c.result, AUD_ERR_TIMEDOUT);
    }
    EXPECT_TRUE(logged("timed out"));
    m_completions.clear();
    EXPECT_EQ(queryCapabilities(other), AUD_SUCCESS);
    EXPECT_EQ(dr_device_get_state(other), DR_DEVICE_STATE_ACTIVE);
}

TEST_F(RoutingTest, ContextWithAnOpenDeviceIsNotDeleted) {
    addFake("127.0.0.2", amp("AMP-1", 1, 0));
    dr_device* device = openAt("127.0.0.2");
    EXPECT_EQ(dr_devices_delete(m_devices), AUD_ERR_INVALIDSTATE);
    EXPECT_EQ(queryCapabilities(device), AUD_SUCCESS);
}

TEST_F(RoutingTest, OpenRefusesABadConfiguration) {
    struct Case {
        const char* what;
        const char* name;
        unsigned entries;
        uint32_t flags;
        uint32_t address;
        aud_error_t result;
    };
    const std::string long_name(64, 'a');
    const Case cases[] = {
        {"all addresses zero", "", 2, DR_DEVICE_OPEN_EXPLICIT_ADDRESSES, 0, AUD_ERR_NOTFOUND},
        {"no name, no addresses", "", 1, 0, 0, AUD_ERR_INVALIDPARAMETER},
        {"no name, no entries", "", 0, DR_DEVICE_OPEN_EXPLICIT_ADDRESSES, 0,
         AUD_ERR_INVALIDPARAMETER},
        {"three entries", "", 3, DR_DEVICE_OPEN_EXPLICIT_ADDRESSES, inet_addr("127.0.0.2"),
         AUD_ERR_INVALIDPARAMETER},
        {"name past a label", long_name.c_str(), 0, 0, 0, AUD_ERR_INVALIDPARAMETER},
    };
    for (const Case& c : cases) {
        dr_device_open_config config{};
        config.name = c.name;
        config.num_entries = c.entries;
        config.flags = c.flags;
        config.addresses[0].address = c.address;
        dr_device* device = reinterpret_cast<dr_device*>(1);
        EXPECT_EQ(dr_device_open_with_config(m_devices, &config, &device), c.result) << c.what;
        EXPECT_EQ(device, nullptr) << c.what;
    }
    dr_device* device = nullptr;
    EXPECT_EQ(dr_device_open_with_config(m_devices, nullptr, &device), AUD_ERR_INVALIDPARAMETER);
}

TEST_F(RoutingTest, NullHandlesGiveInvalidParameter) {
    dr_request_id request = nullptr;
    uint32_t flags = 0, address = 0;
    uint16_t port = 0, count = 0;
    dr_txchannel* const* txs = nullptr;
    size_t labels = 0;
    aud_socket_set set{};
    EXPECT_EQ(dr_devices_delete(nullptr), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_devices_process(nullptr, &set), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_devices_get_sockets(nullptr, &set), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_devices_cancel_request(m_devices, nullptr), AUD_ERR_INVALIDPARAMETER);
    EXPECT_TRUE(logged("dr_devices_cancel_request: Unknown request id"));
    EXPECT_EQ(dr_device_close(nullptr), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_device_query_capabilities(nullptr, onDone, &request), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_device_update_component(nullptr, onDone, &request, DR_DEVICE_COMPONENT_TXCHANNELS),
              AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_device_mark_component_stale(nullptr, DR_DEVICE_COMPONENT_TXCHANNELS),
              AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_device_get_status_flags(nullptr, &flags), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_device_get_address(nullptr, &address, &port), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_device_get_txchannels(nullptr, &count, &txs), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_device_set_changed_callback(nullptr, onChanged), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_txchannel_get_labels(nullptr, &labels, nullptr), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_rxchannel_subscribe(nullptr, onDone, &request, "A", "B"),
              AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(dr_device_get_state(nullptr), DR_DEVICE_STATE_ERROR);
    EXPECT_STREQ(dr_device_get_name(nullptr), "");
    EXPECT_EQ(dr_txchannel_get_format(nullptr), 0u);
    EXPECT_EQ(dr_rxchannel_get_subscription_device(nullptr), nullptr);
}

TEST_F(RoutingTest, DeviceWithoutCapabilityDataIsActiveWithoutChannels) {
    for (uint32_t status : {0x000Fu, 0x0601u}) {
        SCOPED_TRACE(status);
        const std::string address = status == 0x000F ? "127.0.0.2" : "127.0.0.3";
        const int fake = addFake(address, amp("AMP-1", 2, 2));
        sim::FakeArcpFault fault;
        fault.kind = sim::FakeArcpFault::kStatusNoBody;
        fault.opcode = 0x1000;
        fault.arg = status;
        m_fake.scriptFaults(size_t(fake), {fault});
        dr_device* device = openAt(address);
        EXPECT_EQ(queryCapabilities(device), AUD_SUCCESS);
        EXPECT_EQ(dr_device_get_state(device), DR_DEVICE_STATE_ACTIVE);
        uint32_t flags = 0;
        EXPECT_EQ(dr_device_get_status_flags(device, &flags), AUD_SUCCESS);
        EXPECT_EQ(flags, uint32_t{DR_DEVICE_STATUS_NO_CHANNELS});
        uint16_t count = 9;
        dr_txchannel* const* channels = nullptr;
        EXPECT_EQ(dr_device_get_txchannels(device, &count, &channels), AUD_SUCCESS);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(opcodes(size_t(fake)), (std::vector<uint16_t>{0x1000}));
    }
}

TEST_F(RoutingTest, LargestCountsMakeEveryRecordOnce) {
    sim::FakeArcpState state = amp("AMP-1", 65535, 65535);
    state.label_entries = 65535;
    state.rx_slots = 65535;
    state.rx_flow_count = 65535;
    state.interfaces = 8;
    state.selector16 = 1;
    state.selector32 = 0x1F;
    addFake("127.0.0.2", state);
    dr_device* device = openAt("127.0.0.2");
    ASSERT_EQ(queryCapabilities(device), AUD_SUCCESS);
    ASSERT_EQ(dr_device_get_state(device), DR_DEVICE_STATE_ACTIVE);
    uint16_t count = 0;
    dr_txchannel* const* txs = nullptr;
    ASSERT_EQ(dr_device_get_txchannels(device, &count, &txs), AUD_SUCCESS);
    ASSERT_EQ(count, 65535);
    dr_rxchannel* const* rxs = nullptr;
    ASSERT_EQ(dr_device_get_rxchannels(device, &count, &rxs), AUD_SUCCESS);
    ASSERT_EQ(count, 65535);
    for (size_t i = 0; i < 65535; ++i) {
        ASSERT_EQ(dr_txchannel_get_id(txs[i]), i + 1);
        ASSERT_EQ(dr_rxchannel_get_id(rxs[i]), i + 1);
        ASSERT_EQ(device->labels[i].id, i + 1);
    }
    EXPECT_EQ(device->labels.size(), 65535u);
    EXPECT_EQ(device->rxflow_template.slots.size(), 65535u);
    EXPECT_EQ(device->rxflow_table16.size(), 65535u * 8);
    for (const std::vector<uint32_t>& table : device->rxflow_tables32) {
        EXPECT_EQ(table.size(), 65535u * 8);
    }
}

TEST_F(RoutingTest, TwoPagesOfReceiveChannelsCompleteOnce) {
    sim::FakeArcpState state = amp("AMP-1", 0, 3);
    state.page_size = 2;
    addFake("127.0.0.2", state);
    dr_device* device = openAt("127.0.0.2");
    ASSERT_EQ(queryCapabilities(device), AUD_SUCCESS);
    dr_request_id request = nullptr;
    ASSERT_EQ(dr_device_update_component(device, onDone, &request, DR_DEVICE_COMPONENT_RXCHANNELS),
              AUD_SUCCESS);
    EXPECT_EQ(await(request), AUD_SUCCESS);
    for (int i = 0; i < 5; ++i) {
        pass();
    }
    EXPECT_TRUE(m_completions.empty());
    const auto sent = m_fake.requests(0, 0x3000);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].bytes[13], 1);  // from channel 1
    EXPECT_EQ(sent[1].bytes[13], 3);  // from the first channel still stale
    EXPECT_STREQ(dr_rxchannel_get_name(rx(device, 2)), "In 3");
    EXPECT_FALSE(dr_device_is_component_stale(device, DR_DEVICE_COMPONENT_RXCHANNELS));
}

TEST_F(RoutingTest, ChannelReportedUnsubscribedLosesBothNames) {
    sim::FakeArcpState state = amp("AMP-1", 0, 1);
    state.rx[0].sub_channel = "Out 1";
    state.rx[0].sub_device = "AMP-2";
    const int fake = addFake("127.0.0.2", state);
    dr_device* device = openAt("127.0.0.2");
    activate(device);
    ASSERT_STREQ(dr_rxchannel_get_subscription_device(rx(device, 0)), "AMP-2");
    state.rx[0].sub_channel.clear();
    state.rx[0].sub_device.clear();
    m_fake.setState(size_t(fake), state);
    dr_device_mark_component_stale(device, DR_DEVICE_COMPONENT_RXCHANNELS);
    m_changes.clear();
    ASSERT_EQ(update(device, DR_DEVICE_COMPONENT_RXCHANNELS), AUD_SUCCESS);
    EXPECT_EQ(dr_rxchannel_get_subscription_channel(rx(device, 0)), nullptr);
    EXPECT_EQ(dr_rxchannel_get_subscription_device(rx(device, 0)), nullptr);
    EXPECT_TRUE(m_changes[device] & DR_DEVICE_CHANGE_RXCHANNELS);
}

TEST_F(RoutingTest, TransmitChannelOwningTwoLabels) {
    sim::FakeArcpState state = amp("AMP-1", 2, 0);
    state.label_entries = 4;
    state.labels = {{1, 1, "Front"}, {3, 1, "Left"}, {4, 2, "Right"}};
    addFake("127.0.0.2", state);
    dr_device* device = openAt("127.0.0.2");
    activate(device);
    dr_txlabel labels[2] = {};
    size_t count = 1;
    ASSERT_EQ(dr_txchannel_get_labels(tx(device, 0), &count, labels), AUD_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(labels[0].id, 1);
    EXPECT_STREQ(labels[0].name, "Front");
    EXPECT_EQ(labels[0].channel, tx(device, 0));
    EXPECT_EQ(labels[1].name, nullptr);
    count = 2;
    ASSERT_EQ(dr_txchannel_get_labels(tx(device, 0), &count, labels), AUD_SUCCESS);
    EXPECT_STREQ(labels[1].name, "Left");
}

TEST_F(RoutingTest, SubscribeChecksItsNames) {
    sim::FakeArcpState state = amp("AMP-1", 0, 2);
    state.rx[1].flags = 0x0008;  // self-subscription allowed
    addFake("127.0.0.2", state);
    dr_device* device = openAt("127.0.0.2");
    activate(device);
    struct Case {
        size_t channel;
        const char* device;
        const char* name;
        aud_error_t result;
    };
    const std::string long_name(33, 'x');
    const Case cases[] = {
        {0, ".", "Out 1", AUD_ERR_NOTSUPPORTED},
        {1, ".", "Out 1", AUD_SUCCESS},
        {0, "AMP-2", long_name.c_str(), AUD_ERR_INVALIDPARAMETER},
        {0, "AMP-2", "Out.1", AUD_ERR_INVALIDPARAMETER},
        {0, "AMP@2", "Out 1", AUD_ERR_INVALIDPARAMETER},
        {0, nullptr, "Out 1", AUD_ERR_INVALIDPARAMETER},
        {0, nullptr, nullptr, AUD_SUCCESS},
    };
    for (const Case& c : cases) {
        dr_request_id request = nullptr;
        EXPECT_EQ(dr_rxchannel_subscribe(rx(device, c.channel), onDone, &request, c.device, c.name),
                  c.result)
            << (c.device ? c.device : "(null)") << " " << (c.name ? c.name : "(null)");
        if (request) {
            EXPECT_EQ(await(request), AUD_SUCCESS);
        }
    }
    EXPECT_EQ(withoutSeqnum(m_fake.requests(0, 0x3014).back().bytes),
              (Bytes{0x27, 0x1D, 0x00, 0x10, 0, 0, 0x30, 0x14, 0, 0, 0, 1, 0, 0, 0, 1}));
}

TEST_F(RoutingTest, ValuesAreAskedForFromVersion2600) {
    for (uint16_t version : {0x2500, 0x2600}) {
        SCOPED_TRACE(version);
        sim::FakeArcpState state = amp("AMP-1", 1, 0);
        state.version = version;
        state.capability_flags = 0x0100;  // names and versions by 0x1003
        state.values[0] = 7;
        const std::string address = version == 0x2500 ? "127.0.0.2" : "127.0.0.3";
        const int fake = addFake(address, state);
        dr_device* device = openAt(address);
        activate(device);
        EXPECT_EQ(dr_device_get_arcp_version(device), version);
        EXPECT_EQ(m_fake.requests(size_t(fake), 0x3300).size(), version >= 0x2600 ? 1u : 0u);
        uint16_t values[2] = {};
        dr_device_get_values(device, values);
        EXPECT_EQ(values[0], version >= 0x2600 ? 7 : 0);
    }
}

TEST_F(RoutingTest, PropertiesAndNamesAreStored) {
    sim::FakeArcpState state = amp("AMP-1", 1, 0);
    state.capability_flags = 0x0100;
    state.second_name = "Second";
    state.advertised_name = "Stage left";
    state.properties = {{0x0210, 5, "", 1},
                        {0x00F0, 9, "", 3},
                        {0x8204, 0x12345678, "", 1},
                        {0x8021, 0, "Solano", 1},
                        {0x7777, 1, "", 1}};
    addFake("127.0.0.2", state);
    dr_device* device = openAt("127.0.0.2");
    activate(device);
    EXPECT_STREQ(dr_device_get_name(device), "Stage left");
    EXPECT_EQ(device->prop_avail[0], (1u << 2) | (1u << 12) | 1u | (1u << 11));
    EXPECT_EQ(device->prop_avail[1], 1u << 12);
    uint32_t value = 0;
    EXPECT_EQ(dr_device_get_property(device, 0x0210, &value), AUD_SUCCESS);
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(dr_device_get_property(device, 0x00F0, &value), AUD_SUCCESS);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(dr_device_get_property(device, 0x8204, &value), AUD_SUCCESS);
    EXPECT_EQ(value, 0x12345678u);
    EXPECT_EQ(dr_device_get_property(device, 0x0211, &value), AUD_SUCCESS);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(dr_device_get_property(device, 0x7777, &value), AUD_ERR_NOTFOUND);
    EXPECT_STREQ(dr_device_get_property_text(device), "Solano");
    uint8_t software[3] = {};
    dr_device_get_software_version(device, software);
    EXPECT_EQ(software[0], 1);
    EXPECT_EQ(software[2], 3);
    uint32_t flags = 0;
    dr_device_get_status_flags(device, &flags);
    EXPECT_TRUE(flags & DR_DEVICE_STATUS_ADVERTISED_NAME);
    // The 16 ids in availability-bit order.
    const auto sent = m_fake.requests(0, 0x1100);
    ASSERT_EQ(sent.size(), 1u);
    const Bytes& bytes = sent[0].bytes;
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(bytes[10], 0);
    EXPECT_EQ(bytes[11], 16);
    EXPECT_EQ(bytes[12] << 8 | bytes[13], 0x8204);
    EXPECT_EQ(bytes[42] << 8 | bytes[43], 0x8060);
}

TEST_F(RoutingTest, WireOrderOfTheCapabilitiesSequence) {
    sim::FakeArcpState with_names3 = amp("AMP-1", 1, 1);
    with_names3.capability_flags = 0x0100;
    addFake("127.0.0.2", amp("AMP-1", 1, 1));
    addFake("127.0.0.3", with_names3);
    dr_device* a = openAt("127.0.0.2");
    dr_device* b = openAt("127.0.0.3");
    dr_request_id ra = nullptr, rb = nullptr;
    ASSERT_EQ(dr_device_query_capabilities(a, onDone, &ra), AUD_SUCCESS);
    ASSERT_EQ(dr_device_query_capabilities(b, onDone, &rb), AUD_SUCCESS);
    EXPECT_EQ(dr_device_get_state(a), DR_DEVICE_STATE_QUERYING);
    EXPECT_EQ(await(ra), AUD_SUCCESS);
    EXPECT_EQ(await(rb), AUD_SUCCESS);
    EXPECT_EQ(opcodes(0), (std::vector<uint16_t>{0x1000, 0x1102, 0x1002}));
    EXPECT_EQ(opcodes(1), (std::vector<uint16_t>{0x1000, 0x1102, 0x1003}));
    // One counter for every message of the context.
    std::vector<int> seqnums;
    for (const sim::FakeArcpRequest& request : m_fake.log()) {
        seqnums.push_back(request.bytes[4] << 8 | request.bytes[5]);
    }
    std::sort(seqnums.begin(), seqnums.end());
    for (size_t i = 0; i < seqnums.size(); ++i) {
        EXPECT_EQ(seqnums[i], int(i));
    }
}

TEST_F(RoutingTest, FlowsAreListedPageByPage) {
    sim::FakeArcpState state = amp("AMP-1", 2, 2);
    state.page_size = 1;
    state.tx_flows = {{1, 0, 48000, 24, {1, 2}, "tx-one", {}},
                      {3, 0, 48000, 24, {2}, "tx-three", {}}};
    state.rx_flows = {{2, 0, 96000, 32, {2, 0}, "rx-two", {{0xC0000201u, 5004}}}};
    const int fake = addFake("127.0.0.2", state);
    dr_device* device = openAt("127.0.0.2");
    activate(device);
    ASSERT_EQ(dr_device_num_flows(device, false), 2u);
    dr_flow flow{};
    ASSERT_EQ(dr_device_get_flow(device, false, 1, &flow), AUD_SUCCESS);
    EXPECT_EQ(flow.id, 3);
    EXPECT_STREQ(flow.name, "tx-three");
    ASSERT_EQ(flow.num_slots, 1);
    EXPECT_EQ(flow.slot_channels[0], 2);
    ASSERT_EQ(dr_device_num_flows(device, true), 1u);
    ASSERT_EQ(dr_device_get_flow(device, true, 0, &flow), AUD_SUCCESS);
    EXPECT_EQ(flow.sample_rate, 96000u);
    ASSERT_EQ(flow.num_interfaces, 1);
    EXPECT_EQ(flow.addresses[0].address, inet_addr("192.0.2.1"));
    EXPECT_EQ(flow.addresses[0].port, 5004);
    EXPECT_EQ(dr_device_get_flow(device, true, 1, &flow), AUD_ERR_RANGE);
    const auto pages = m_fake.requests(size_t(fake), 0x2200);
    ASSERT_EQ(pages.size(), 2u);  // from 1, then after the highest id seen
    EXPECT_EQ(pages[0].bytes[13], 1);
    EXPECT_EQ(pages[1].bytes[13], 2);

    // A receive channel that leaves every flow is reported changed.
    state.rx_flows.clear();
    m_fake.setState(size_t(fake), state);
    dr_device_mark_component_stale(device, DR_DEVICE_COMPONENT_RXFLOWS);
    m_changes.clear();
    ASSERT_EQ(update(device, DR_DEVICE_COMPONENT_RXFLOWS), AUD_SUCCESS);
    EXPECT_EQ(dr_device_num_flows(device, true), 0u);
    EXPECT_EQ(m_changes[device] & (DR_DEVICE_CHANGE_RXCHANNELS | DR_DEVICE_CHANGE_RXFLOWS),
              uint32_t{DR_DEVICE_CHANGE_RXCHANNELS | DR_DEVICE_CHANGE_RXFLOWS});
}

TEST_F(RoutingTest, ThirtyTwoCharacterNamesAreKeptWhole) {
    const std::string name32(32, 'n');
    const std::string device32(32, 'd');
    sim::FakeArcpState state = amp("AMP-1", 1, 1);
    state.tx[0].name = name32;
    state.rx[0].sub_channel = name32;
    state.rx[0].sub_device = device32;
    addFake("127.0.0.2", state);
    dr_device* device = openAt("127.0.0.2");
    activate(device);
    EXPECT_EQ(dr_txchannel_get_name(tx(device, 0)), name32);
    EXPECT_EQ(dr_rxchannel_get_subscription_channel(rx(device, 0)), name32);
    EXPECT_EQ(dr_rxchannel_get_subscription_device(rx(device, 0)), device32);
    EXPECT_EQ(std::string(rx(device, 0)->subscription), name32 + "@" + device32);
}

TEST_F(RoutingTest, ChangesOfOneReplyArriveInOneCallback) {
    addFake("127.0.0.2", amp("AMP-1", 2, 2));
    dr_device* device = openAt("127.0.0.2");
    ASSERT_EQ(queryCapabilities(device), AUD_SUCCESS);
    m_callbacks.clear();
    m_changes.clear();
    ASSERT_EQ(update(device, DR_DEVICE_COMPONENT_TXCHANNELS), AUD_SUCCESS);
    EXPECT_EQ(m_callbacks[device], 1);
    EXPECT_EQ(m_changes[device], uint32_t{DR_DEVICE_CHANGE_TXCHANNELS | DR_DEVICE_CHANGE_STALE});
}

}  // namespace

// A completion callback may close the device whose reply it completes: the device is freed
// once the reply's handling is over, and no change of the closed device is reported.
TEST_F(RoutingTest, CompletionCallbackMayCloseItsDevice) {
    addFake("127.0.0.2", amp("AMP-1", 2, 2));
    dr_device* device = openAt("127.0.0.2");
    ASSERT_EQ(queryCapabilities(device), AUD_SUCCESS);
    static bool closed;
    closed = false;
    const dr_request_callback closeDevice = [](dr_device* owner, dr_request_id, aud_error_t) {
        closed = dr_device_close(owner) == AUD_SUCCESS;
    };
    dr_request_id request = nullptr;
    ASSERT_EQ(
        dr_device_update_component(device, closeDevice, &request, DR_DEVICE_COMPONENT_TXCHANNELS),
        AUD_SUCCESS);
    m_open.clear();
    const int callbacks = m_callbacks[device];
    ASSERT_TRUE(run([&] { return closed; }));
    EXPECT_EQ(m_callbacks[device], callbacks);

    // The context goes on with the next device.
    addFake("127.0.0.3", amp("AMP-2", 1, 1));
    EXPECT_EQ(queryCapabilities(openAt("127.0.0.3")), AUD_SUCCESS);
}
