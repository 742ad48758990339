#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "ZEB_Device.h"

namespace {

using zeb::Frame;
using zeb::ZEB_Device;

uint32_t crcOf(const char* text) {
    return ZEB_Device::Crc32(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
}

TEST(Crc32, KnownVectors) {
    struct Case {
        const char* data;
        uint32_t crc;
    };
    for (const Case& c :
         {Case{"abc", 0xE1208697}, Case{"123456789", 0xAFF19057}, Case{"", 0xFFFFFFFF}}) {
        EXPECT_EQ(crcOf(c.data), c.crc) << '"' << c.data << '"';
    }
}

TEST(Crc32, TrailingBytesArePaddedWithZeros) {
    const uint8_t three[] = {0x61, 0x62, 0x63};
    const uint8_t four[] = {0x61, 0x62, 0x63, 0x00};
    EXPECT_EQ(ZEB_Device::Crc32(three, 3), ZEB_Device::Crc32(four, 4));
}

TEST(BuildFrame, GetAmpWithEmptyPayload) {
    Frame frame;
    ZEB_Device::BuildFrame(qz_msgs::header_t::MSG_GET_REQ, 1, amp_t(), frame);
    EXPECT_EQ(frame,
              (Frame{0x00, 0x06, 0x08, 0x02, 0x10, 0x05, 0x18, 0x01, 0xE3, 0x80, 0x5B, 0xC1}));
}

TEST(BuildFrame, GetSystemWithLocation) {
    qz_msgs::system_t system;
    system.set_location("NA");
    Frame frame;
    ZEB_Device::BuildFrame(qz_msgs::header_t::MSG_GET_REQ, 1, system, frame);
    EXPECT_EQ(frame, (Frame{0x00, 0x06, 0x08, 0x02, 0x10, 0x02, 0x18, 0x01, 0x12, 0x02, 0x4E, 0x41,
                            0x34, 0x38, 0x84, 0xD6}));
}

TEST(BuildFrame, ReplacesOldContentsAndCoversLeadingBytes) {
    Frame frame(50, 0xAA);
    ZEB_Device::BuildFrame(qz_msgs::header_t::MSG_SET_REQ, 127, dbg_t(), frame);
    ASSERT_EQ(frame.size(), 12u);  // H = 6, P = 0: the payload lacks its required id
    EXPECT_EQ(frame[1], 6);
    EXPECT_EQ(frame[3], 1);  // MSG_SET_REQ
    EXPECT_EQ(frame[5], 6);  // PYLD_DBG
    EXPECT_EQ(frame[7], 127);
    const uint32_t crc = ZEB_Device::Crc32(frame.data(), 8);
    EXPECT_EQ(frame[8], uint8_t(crc >> 24));
    EXPECT_EQ(frame[11], uint8_t(crc));
    Frame changed = frame;
    changed[0] = 1;
    EXPECT_NE(ZEB_Device::Crc32(changed.data(), 8), crc);
}

TEST(BuildFrame, PayloadWithoutRequiredFieldIsSentAsItIs) {
    dsp_t dsp;  // no dsp_id
    dsp.mutable_pink_gen()->set_enable(true);
    Frame frame;
    EXPECT_NO_THROW(ZEB_Device::BuildFrame(qz_msgs::header_t::MSG_SET_REQ, 3, dsp, frame));
    EXPECT_EQ(frame.size(), 6u + 6u + 4u);  // 12 02 08 01
}

}  // namespace
