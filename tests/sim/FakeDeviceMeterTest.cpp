#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "FakeDevice.h"
#include "UdpAsk.h"

namespace {

constexpr uint32_t kGetRequest = 2;
constexpr uint32_t kPayloadDsp = 4;

// A DSP get request for both channels' measured levels, as the device window sends it.
sim::Bytes meterRequest(uint32_t seq) {
    dsp_t request;
    request.set_dsp_id(0);
    for (uint32_t c = 0; c < 2; ++c) {
        channel_t* channel = request.add_channel();
        channel->set_channel_id(c);
        channel->mutable_input()->set_measured_rms_level(0);
        channel->mutable_output()->set_measured_rms_level(0);
    }
    std::string payload;
    request.SerializeToString(&payload);
    sim::WireHeader header;
    header.msg_type = kGetRequest;
    header.payload_type = kPayloadDsp;
    header.seq_num = seq;
    return sim::encodeFrame(sim::encodeHeader(header), sim::Bytes(payload.begin(), payload.end()));
}

dsp_t meterReply(uint32_t seq) {
    const sim::Bytes reply = askDevice("192.0.2.10", meterRequest(seq));
    const auto frame = sim::decodeFrame(reply.data(), reply.size());
    dsp_t dsp;
    EXPECT_TRUE(frame && dsp.ParseFromArray(frame->payload.data(), int(frame->payload.size())));
    return dsp;
}

// Channel 0 with 6 dB less input gain and 2 dB more output gain, channel 1 muted.
dsp_t deviceState() {
    dsp_t dsp;
    dsp.set_dsp_id(0);
    for (uint32_t c = 0; c < 2; ++c) {
        channel_t* channel = dsp.add_channel();
        channel->set_channel_id(c);
        channel->mutable_input()->set_gain(c == 0 ? -6.0f : 0.0f);
        channel->mutable_output()->set_gain(c == 0 ? 2.0f : 0.0f);
        channel->mutable_output()->set_mute(c == 1);
    }
    return dsp;
}

TEST(FakeDeviceMeters, LevelsWanderNearTheCentreAndFollowGainAndMute) {
    sim::FakeDevice device("192.0.2.10");
    device.setDsp(deviceState());
    device.setMeterLevels(-20.0f, 3.0f, 7);
    ASSERT_TRUE(device.start());

    std::set<float> inputs;
    float previous = -20.0f;
    for (uint32_t seq = 1; seq <= 30; ++seq) {
        const dsp_t reply = meterReply(seq);
        ASSERT_EQ(reply.channel_size(), 2);
        const channel_t& first = reply.channel(0);
        const float input = first.input().measured_rms_level();
        EXPECT_GE(input, -23.0f);
        EXPECT_LE(input, -17.0f);
        EXPECT_LE(std::fabs(input - previous), 1.0f);
        EXPECT_FLOAT_EQ(first.output().measured_rms_level(), input - 4.0f);
        EXPECT_EQ(reply.channel(1).output().measured_rms_level(), sim::FakeMeters::kMutedDb);
        EXPECT_NE(reply.channel(1).input().measured_rms_level(), 0.0f);
        previous = input;
        inputs.insert(input);
    }
    EXPECT_GT(inputs.size(), 20u) << "the level moves";
    // The state itself holds no readings.
    EXPECT_FALSE(device.dsp().channel(0).input().has_measured_rms_level());
}

TEST(FakeDeviceMeters, WithoutLevelsTheStateIsReported) {
    sim::FakeDevice device("192.0.2.10");
    dsp_t state = deviceState();
    state.mutable_channel(0)->mutable_input()->set_measured_rms_level(-9.0f);
    device.setDsp(state);
    ASSERT_TRUE(device.start());
    const dsp_t reply = meterReply(1);
    ASSERT_EQ(reply.channel_size(), 2);
    EXPECT_EQ(reply.channel(0).input().measured_rms_level(), -9.0f);
    EXPECT_EQ(reply.channel(1).output().measured_rms_level(), 0.0f);
}

}  // namespace
