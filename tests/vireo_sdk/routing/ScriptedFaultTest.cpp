// One table of scripted faults: each meets one device while another goes through the whole
// capabilities sequence and a refresh beside it.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "RoutingFixture.h"

namespace {

using Fault = sim::FakeArcpFault;

enum class Stage { kCapabilities, kRequery, kTxChannels, kRxChannels, kLabels, kTxFlows, kRxFlows };

struct FaultCase {
    const char* name;
    Fault fault;
    Stage stage;
    std::function<void(sim::FakeArcpState&)> edit;  // applied just before the stage
    aud_error_t result;
    dr_device_state state;
    const char* message;  // the device's error message
    const char* log;      // a text logged on the way
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

Fault fault(Fault::Kind kind, uint16_t opcode, uint32_t arg = 0) {
    Fault made;
    made.kind = kind;
    made.opcode = opcode;
    made.arg = arg;
    return made;
}

// Nothing scripted: the fault comes from the edited state.
Fault none() {
    return fault(Fault::kStatus, 0xFFFF, 1);
}

const auto kQuerying = DR_DEVICE_STATE_QUERYING;
const auto kActive = DR_DEVICE_STATE_ACTIVE;
const auto kError = DR_DEVICE_STATE_ERROR;

const FaultCase kCases[] = {
    {"Silence", fault(Fault::kSilence, 0x1000), Stage::kCapabilities, nullptr, AUD_ERR_TIMEDOUT,
     kQuerying, "", "timed out"},
    {"WrongSequenceNumber", fault(Fault::kWrongSeq, 0x1000), Stage::kCapabilities, nullptr,
     AUD_ERR_TIMEDOUT, kQuerying, "", "Unhandled response"},
    {"ResultZero", fault(Fault::kResultZero, 0x1000), Stage::kCapabilities, nullptr,
     AUD_ERR_TIMEDOUT, kQuerying, "", "Unexpected request"},
    {"ErrorStatus", fault(Fault::kStatus, 0x2000, 0x0105), Stage::kTxChannels, nullptr,
     AUD_ERR_INVALIDDATA, kActive, "", ""},
    {"NamesNotSupported", fault(Fault::kStatusNoBody, 0x1002, 0x0031), Stage::kCapabilities,
     nullptr, AUD_SUCCESS, kActive, "", ""},
    {"PropertyAvailabilityError", fault(Fault::kStatusNoBody, 0x1102, 0x0200), Stage::kCapabilities,
     nullptr, AUD_ERR_FAULT, kError, "QueryCapabilities: Error handling PROP_AVAIL", ""},
    {"CountPastTheMessage", fault(Fault::kCount, 0x3000, 200), Stage::kRxChannels, nullptr,
     AUD_ERR_INVALIDDATA, kActive, "", ""},
    {"FormatOffsetPastTheMessage", fault(Fault::kOffsetPastEnd, 0x2000, 16), Stage::kTxChannels,
     nullptr, AUD_ERR_INVALIDDATA, kActive, "", ""},
    {"NameWithoutNul", fault(Fault::kNoNul, 0x2000), Stage::kTxChannels, nullptr, AUD_SUCCESS,
     kActive, "", ""},
    {"DeviceNameWithoutNul", fault(Fault::kNoNul, 0x1002), Stage::kCapabilities, nullptr,
     AUD_ERR_INVALIDDATA, kQuerying, "", ""},
    {"TruncatedHeaderLengthKept", fault(Fault::kTruncated, 0x1000, 30), Stage::kCapabilities,
     nullptr, AUD_ERR_TIMEDOUT, kQuerying, "", "Dropping a malformed message"},
    {"ShorterThanAHeader", fault(Fault::kTruncated, 0x1000, 8), Stage::kCapabilities, nullptr,
     AUD_ERR_TIMEDOUT, kQuerying, "", "Dropping a malformed message"},
    {"OverMaximumSize", fault(Fault::kOversize, 0x1000, 1500), Stage::kCapabilities, nullptr,
     AUD_ERR_TIMEDOUT, kQuerying, "", "Error reading socket"},
    {"CapabilitiesCutShort", fault(Fault::kCut, 0x1000, 30), Stage::kCapabilities, nullptr,
     AUD_ERR_INVALIDDATA, kError, "Querying capabilities", ""},
    {"OtherSourcePort", fault(Fault::kOtherPort, 0x1000), Stage::kCapabilities, nullptr,
     AUD_ERR_ADDRNOTAVAIL, kError, "Invalid source port in recved message",
     "Message source port does not match any known addresses!"},
    {"TransmitIdZero", fault(Fault::kFirstId, 0x2000, 0), Stage::kTxChannels, nullptr,
     DR_ERR_PROTOCOL, kError, "TxChannelQuery: invalid ID", ""},
    {"ReceiveIdPastTheCount", fault(Fault::kFirstId, 0x3000, 3), Stage::kRxChannels, nullptr,
     DR_ERR_PROTOCOL, kError, "RxChannelQuery: invalid ID", ""},
    {"LabelIdPastTheTable", fault(Fault::kFirstId, 0x2010, 99), Stage::kLabels, nullptr,
     DR_ERR_PROTOCOL, kError, "TxLabelQuery: invalid ID in response", ""},
    {"LabelChannelPastTheCount", none(), Stage::kLabels,
     [](sim::FakeArcpState& s) {
         s.labels = {{1, 5, "X"}};
     },
     DR_ERR_PROTOCOL, kError, "TxLabelQuery: invalid ID in response", ""},
    {"MoreWithoutProgress", fault(Fault::kMoreNoProgress, 0x2000), Stage::kTxChannels, nullptr,
     AUD_ERR_INVALIDDATA, kActive, "", ""},
    {"VanishingMidQuery", fault(Fault::kVanish, 0x1102), Stage::kCapabilities, nullptr,
     AUD_ERR_TIMEDOUT, kQuerying, "", ""},
    {"ChangedCapabilities", none(), Stage::kRequery,
     [](sim::FakeArcpState& s) { s.tx.push_back(s.tx[0]); }, DR_ERR_PROTOCOL, kError,
     "Querying capabilities", ""},
    {"NineInterfaces", none(), Stage::kCapabilities,
     [](sim::FakeArcpState& s) { s.interfaces = 9; }, AUD_ERR_INVALIDDATA, kError,
     "Querying capabilities", ""},
    {"NamesBlockPastTheMessage", fault(Fault::kOffsetPastEnd, 0x1003, 12), Stage::kCapabilities,
     [](sim::FakeArcpState& s) { s.capability_flags = 0x0100; }, AUD_ERR_INVALIDDATA, kQuerying, "",
     ""},
    {"TransmitFlowWithTooManySlots", none(), Stage::kTxFlows,
     [](sim::FakeArcpState& s) {
         s.tx_flows = {{1, 0, 48000, 24, {1, 2, 1, 2, 1}, "f", {}}};
     },
     DR_ERR_PROTOCOL, kError, "AddTxFlow: NumSlots > MaxSlots", ""},
    {"ReceiveFlowOnTooManyInterfaces", none(), Stage::kRxFlows,
     [](sim::FakeArcpState& s) {
         s.rx_flows = {{1, 0, 48000, 24, {1}, "f", {{0x7F000001u, 1}, {0x7F000001u, 2}}}};
     },
     DR_ERR_PROTOCOL, kError, "AddRxFlow: NumInterfaces > MaxInterfaces", ""},
    {"FlowIdPastTheCount", none(), Stage::kRxFlows,
     [](sim::FakeArcpState& s) {
         s.rx_flows = {{5, 0, 48000, 24, {1}, "f", {}}};
     },
     DR_ERR_PROTOCOL, kError, "RxFlowQuery: Invalid ID", ""},
};

class ScriptedFault : public RoutingTest, public ::testing::WithParamInterface<FaultCase> {};

dr_device_component componentOf(Stage stage) {
    switch (stage) {
        case Stage::kTxChannels:
            return DR_DEVICE_COMPONENT_TXCHANNELS;
        case Stage::kRxChannels:
            return DR_DEVICE_COMPONENT_RXCHANNELS;
        case Stage::kLabels:
            return DR_DEVICE_COMPONENT_TXLABELS;
        case Stage::kTxFlows:
            return DR_DEVICE_COMPONENT_TXFLOWS;
        default:
            return DR_DEVICE_COMPONENT_RXFLOWS;
    }
}

TEST_P(ScriptedFault, GivesAClearResultAndSparesTheOthers) {
    const FaultCase& c = GetParam();
    dr_devices_set_request_timeout(m_devices, 200);
    sim::FakeArcpState state = sim::fakeArcpDevice("AMP-1", 2, 2);
    state.labels = {{1, 1, "Front"}};
    const int fake = addFake("127.0.0.2", state);
    addFake("127.0.0.3", sim::fakeArcpDevice("AMP-2", 2, 2));
    dr_device* device = openAt("127.0.0.2");
    dr_device* other = openAt("127.0.0.3");
    if (c.stage != Stage::kCapabilities) {
        activate(device);
    }
    if (c.edit) {
        c.edit(state);
        m_fake.setState(size_t(fake), state);
    }
    m_fake.scriptFaults(size_t(fake), {c.fault});

    dr_request_id request = nullptr;
    if (c.stage == Stage::kCapabilities || c.stage == Stage::kRequery) {
        ASSERT_EQ(dr_device_query_capabilities(device, onDone, &request), AUD_SUCCESS);
    } else {
        dr_device_mark_component_stale(device, componentOf(c.stage));
        ASSERT_EQ(dr_device_update_component(device, onDone, &request, componentOf(c.stage)),
                  AUD_SUCCESS);
        ASSERT_NE(request, nullptr);
    }
    dr_request_id beside = nullptr;
    ASSERT_EQ(dr_device_query_capabilities(other, onDone, &beside), AUD_SUCCESS);

    EXPECT_EQ(await(request), c.result);
    EXPECT_EQ(dr_device_get_state(device), c.state);
    EXPECT_STREQ(dr_device_get_error_message(device), c.message);
    if (c.log[0]) {
        EXPECT_TRUE(logged(c.log)) << c.log;
    }
    EXPECT_EQ(await(beside), AUD_SUCCESS);
    activate(other);
    EXPECT_STREQ(dr_txchannel_get_name(tx(other, 1)), "Out 2");
}

INSTANTIATE_TEST_SUITE_P(Table, ScriptedFault, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
