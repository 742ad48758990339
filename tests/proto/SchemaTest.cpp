#include <gtest/gtest.h>

#include <string>

#include "PayloadTraits.h"

namespace {

template <class Message>
bool parses(const Message& source) {
    std::string bytes;
    EXPECT_TRUE(source.SerializePartialToString(&bytes));
    Message parsed;
    return parsed.ParseFromString(bytes);
}

TEST(Schema, MissingRequiredFieldsFailTheCheckingParse) {
    dsp_t dsp;
    dsp.mutable_pink_gen()->set_level(1.0f);
    EXPECT_FALSE(parses(dsp));
    dsp.set_dsp_id(0);
    EXPECT_TRUE(parses(dsp));

    dsp.add_channel()->mutable_output()->set_mute(true);
    EXPECT_FALSE(parses(dsp));
    dsp.mutable_channel(0)->set_channel_id(1);
    dsp.mutable_channel(0)->add_peq()->set_gain(-2.5f);
    EXPECT_FALSE(parses(dsp));
    dsp.mutable_channel(0)->mutable_peq(0)->set_band_id(3);
    EXPECT_TRUE(parses(dsp));

    dbg_t dbg;
    dbg.set_id(0);
    dbg.mutable_test()->set_run(true);
    EXPECT_FALSE(parses(dbg));

    qz_msgs::header_t header;
    header.set_msg_type(qz_msgs::header_t::MSG_RESP);
    header.set_payload_type(qz_msgs::header_t::PYLD_AMP);
    EXPECT_FALSE(parses(header));
}

TEST(Schema, EmptyMessages) {
    qz_msgs::empty_payload_t empty;
    EXPECT_TRUE(empty.ParseFromArray(nullptr, 0));
    EXPECT_EQ(amp_t().ByteSizeLong(), 0u);
    EXPECT_EQ(dsp_pinkgen_t().ByteSizeLong(), 0u);
    EXPECT_EQ(qz_msgs::system_t().ByteSizeLong(), 0u);
}

TEST(Schema, FreshHeaderDefaultsAndUnknownAck) {
    qz_msgs::header_t header;
    EXPECT_EQ(header.msg_type(), qz_msgs::header_t::MSG_SET_REQ);
    EXPECT_EQ(header.payload_type(), qz_msgs::header_t::PYLD_NONE);
    EXPECT_EQ(header.seq_num(), 0u);
    EXPECT_EQ(header.ack(), qz_msgs::header_t::ACK);
    EXPECT_FALSE(header.has_ack());

    const std::string bytes("\x08\x03\x10\x05\x18\x01\x20\x04", 8);
    ASSERT_TRUE(header.ParseFromString(bytes));
    EXPECT_FALSE(header.has_ack());
}

}  // namespace
