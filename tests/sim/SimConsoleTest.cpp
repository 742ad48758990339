#include <gtest/gtest.h>

#include "FakeWire.h"
#include "SimConsole.h"
#include "qz_dsp.pb.h"
#include "qz_msgs.pb.h"

namespace {

using sim::SimCommand;

TEST(SimConsole, Commands) {
    struct Case {
        const char* line;
        SimCommand::Kind kind;
        const char* device;
        const char* status;
    };
    const Case cases[] = {
        {"", SimCommand::kNone, "", ""},
        {"   ", SimCommand::kNone, "", ""},
        {"quit", SimCommand::kQuit, "", ""},
        {"leave ZEB-AMP-03", SimCommand::kLeave, "ZEB-AMP-03", ""},
        {"join ZEB-AMP-03", SimCommand::kJoin, "ZEB-AMP-03", ""},
        {"status ZEB-AMP-01 1,0,0", SimCommand::kStatus, "ZEB-AMP-01", "amp 1,0,0"},
        {"  status  ZEB-AMP-02   0,0,4 ", SimCommand::kStatus, "ZEB-AMP-02", "amp 0,0,4"},
        {"status ZEB-AMP-01 1,0", SimCommand::kInvalid, "ZEB-AMP-01", ""},
        {"status ZEB-AMP-01 1,0,0,0", SimCommand::kInvalid, "ZEB-AMP-01", ""},
        {"status ZEB-AMP-01 1,,0", SimCommand::kInvalid, "ZEB-AMP-01", ""},
        {"status ZEB-AMP-01 1,0,", SimCommand::kInvalid, "ZEB-AMP-01", ""},
        {"status ZEB-AMP-01 a,0,0", SimCommand::kInvalid, "ZEB-AMP-01", ""},
        {"status ZEB-AMP-01 -1,0,0", SimCommand::kInvalid, "ZEB-AMP-01", ""},
        {"status ZEB-AMP-01", SimCommand::kInvalid, "ZEB-AMP-01", ""},
        {"status ZEB-AMP-01 1,0,0 more", SimCommand::kInvalid, "ZEB-AMP-01", ""},
        {"leave", SimCommand::kInvalid, "", ""},
        {"leave A B", SimCommand::kInvalid, "A", ""},
        {"join", SimCommand::kInvalid, "", ""},
        {"join A B", SimCommand::kInvalid, "A", ""},
        {"quit now", SimCommand::kInvalid, "now", ""},
        {"reboot ZEB-AMP-01", SimCommand::kInvalid, "ZEB-AMP-01", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const SimCommand command = sim::parseSimCommand(c.line);
        EXPECT_EQ(command.kind, c.kind);
        if (c.kind != SimCommand::kInvalid) {
            EXPECT_EQ(command.device, c.device);
            EXPECT_EQ(command.status, c.status);
        } else {
            EXPECT_FALSE(command.error.empty());
        }
    }
}

// A datagram as the device logs it, from the application's port 6.
sim::LoggedDatagram seen(sim::Bytes bytes) {
    return {std::move(bytes), "192.0.2.1", 6, {}};
}

sim::LoggedDatagram frame(uint32_t msg_type, uint32_t payload_type, const sim::Bytes& payload) {
    sim::WireHeader header;
    header.msg_type = msg_type;
    header.payload_type = payload_type;
    header.seq_num = 7;
    return seen(sim::encodeFrame(sim::encodeHeader(header), payload));
}

sim::LoggedDatagram text(const std::string& command) {
    return seen(sim::Bytes(command.begin(), command.end()));
}

TEST(SimConsole, ReportsSetsTextsAndAnsweredVersions) {
    const sim::Bytes mute = {0x08, 0x00, 0x1A, 0x06, 0x08, 0x00, 0x2A, 0x02, 0x08, 0x01};
    EXPECT_EQ(
        sim::reportLines("ZEB-AMP-01", frame(1, qz_msgs::header_t::PYLD_DSP, mute), true, "1.5"),
        std::vector<std::string>{
            "ZEB-AMP-01 set dsp_t [08 00 1A 06 08 00 2A 02 08 01] "
            "{dsp_id: 0 channel { channel_id: 0 output { mute: true } }} from 192.0.2.1:6"});
    EXPECT_EQ(sim::reportLines("A", frame(1, 9, {0x01}), true, "1.5"),
              std::vector<std::string>{"A set payload type 9 [01] from 192.0.2.1:6"});
    EXPECT_EQ(sim::reportLines("A", frame(1, qz_msgs::header_t::PYLD_DSP, {0xFF}), true, "1.5"),
              std::vector<std::string>{"A set dsp_t [FF] (unreadable) from 192.0.2.1:6"});
    EXPECT_TRUE(
        sim::reportLines("A", frame(2, qz_msgs::header_t::PYLD_DSP, mute), true, "1.5").empty());
    EXPECT_TRUE(sim::reportLines("A", seen({0x00, 0x05, 0x01}), true, "1.5").empty());
    EXPECT_TRUE(sim::reportLines("A", seen({}), true, "1.5").empty());

    EXPECT_EQ(sim::reportLines("A", text("VERSION\r"), true, "1.5"),
              std::vector<std::string>(
                  {"A text \"VERSION\\r\" from 192.0.2.1:6", "A answered VERSION 1.5"}));
    EXPECT_EQ(sim::reportLines("A", text("VERSION\r"), false, "1.5"),
              std::vector<std::string>{"A text \"VERSION\\r\" from 192.0.2.1:6"});
    EXPECT_EQ(sim::reportLines("A", text("SAVEPRESET 3\r\x01\""), true, "1.5"),
              std::vector<std::string>{"A text \"SAVEPRESET 3\\r\\x01\\\"\" from 192.0.2.1:6"});
}

TEST(SimConsole, AddressesOfTheSimulatedNetworkOnly) {
    for (const char* allowed : {"127.0.0.1", "127.255.0.9", "192.0.2.0", "192.0.2.10",
                                "192.0.2.255", "198.18.0.10", "198.19.255.255"}) {
        EXPECT_TRUE(sim::isSimAddress(allowed)) << allowed;
    }
    for (const char* refused :
         {"192.0.3.1", "192.0.1.255", "10.0.0.1", "128.0.0.1", "0.0.0.0", "224.0.0.251", "::1",
          "localhost", "", "192.0.2", "198.17.255.255", "198.20.0.0"}) {
        EXPECT_FALSE(sim::isSimAddress(refused)) << refused;
    }
}

}  // namespace
