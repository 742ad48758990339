#include <QtGlobal>

#include <chrono>

#include "DeviceFixture.h"

namespace {

using sim::FakeFault;
using Header = qz_msgs::header_t;

class Exchange : public DeviceFixture {
protected:
    int getAmp(amp_t& reply) {
        return m_transport.SendRequest(Header::MSG_GET_REQ, amp_t(), reply);
    }
};

TEST_F(Exchange, GetIsAnsweredFromTheDeviceState) {
    amp_t state;
    state.set_temp(amp_t::TEMP_FAIL);
    state.set_spkr(5);
    m_fake.setAmp(state);
    amp_t request, reply;
    request.set_temp(amp_t::TEMP_GOOD);
    request.set_spkr(0);
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_GET_REQ, request, reply), 0);
    EXPECT_EQ(reply.temp(), amp_t::TEMP_FAIL);
    EXPECT_EQ(reply.spkr(), 5u);
    EXPECT_FALSE(reply.has_amp());
    EXPECT_EQ(sends(1), 1u);
}

TEST_F(Exchange, SetRequestMergesByIdentifier) {
    dsp_t set;
    set.set_dsp_id(0);
    auto* band = set.add_channel();
    band->set_channel_id(1);
    band->add_peq()->set_band_id(3);
    band->mutable_peq(0)->set_gain(-2.5f);
    qz_msgs::empty_payload_t reply;
    ASSERT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, set, reply), 0);
    set.mutable_channel(0)->mutable_peq(0)->set_gain(1.0f);
    set.mutable_channel(0)->mutable_peq(0)->set_band_id(4);
    ASSERT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, set, reply), 0);
    const dsp_t state = m_fake.dsp();
    ASSERT_EQ(state.channel_size(), 1);
    ASSERT_EQ(state.channel(0).peq_size(), 2);
    EXPECT_FLOAT_EQ(state.channel(0).peq(0).gain(), -2.5f);
    EXPECT_FLOAT_EQ(state.channel(0).peq(1).gain(), 1.0f);
}

// Scripted replies and what the exchange makes of them.
struct FaultCase {
    const char* name;
    std::vector<FakeFault> faults;
    int result;
    size_t sends;
    const char* logged;
};

class ExchangeFaults : public Exchange, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ExchangeFaults, ResultSendsAndLog) {
    const FaultCase& c = GetParam();
    m_fake.scriptFaults(c.faults);
    ClogCapture log;
    amp_t reply;
    EXPECT_EQ(getAmp(reply), c.result);
    EXPECT_EQ(sends(c.sends), c.sends);
    EXPECT_NE(log.text().find(c.logged), std::string::npos) << log.text();
}

const FaultCase kFaultCases[] = {
    {"StaleReplyIsReadPast",
     {{FakeFault::kStaleFirst}},
     0,
     1,
     "Sequence number mismatch. Got 127, expected 1"},
    {"BadCrcIsResent", {{FakeFault::kBadCrc}}, 0, 2, "ZEB_Device::GetResponse(): CRC mismatch"},
    {"ErrIsResent", {{FakeFault::kErr}}, 0, 2, "Received ERR from device"},
    {"WrongPayloadIsNotResent",
     {{FakeFault::kWrongPayload}},
     0,
     2,
     "Payload type mismatch\nBad message header:\n msg_type: 3 pyld_type: 6 seq_num: 1 has_ack: 1 "
     "ack: 1\nZEB_Device::GetResponse(): Wrong message received\n"
     "ZEB_Device::GetResponse(): No response."},
    {"NoAckIsAWrongMessage", {{FakeFault::kNoAck}}, 0, 2, "ACK/NACK field expected"},
    {"EmptyDatagramIsNoReply",
     {{FakeFault::kEmpty}},
     0,
     2,
     "ZEB_Device::GetResponse(): No response."},
    {"OneByte", {{FakeFault::kTruncated, 1}}, 0, 2, "CRC mismatch"},
    {"TwoBytes", {{FakeFault::kTruncated, 2}}, 0, 2, "CRC mismatch"},
    {"ThreeBytes", {{FakeFault::kTruncated, 3}}, 0, 2, "CRC mismatch"},
    {"HeaderLengthPastTheEnd",
     {{FakeFault::kHeaderPastEnd}},
     0,
     2,
     "Could not parse message\nBad message header:"},
    {"ReplyFromAnotherPortIsNotSeen", {{FakeFault::kOtherPort}}, 0, 2, "No response."},
    {"NackOfAnotherType", {{FakeFault::kNackOtherType}}, 3, 1, ""},
    {"NackOfTheSameType", {{FakeFault::kNackSameType}}, 3, 1, ""},
    {"DeviceAnsweringErrOnly", std::vector<FakeFault>(11, {FakeFault::kErr}), 2, 11,
     "ZEB_Device::GetResponse(): Communications failure."},
    {"WrongSequenceOnly", std::vector<FakeFault>(11, {FakeFault::kWrongSeq}), 1, 6,
     "ZEB_Device::SendRequest(): Request timed out."},
};

INSTANTIATE_TEST_SUITE_P(Faults, ExchangeFaults, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Exchange, NackOfAnotherTypeLeavesTheReplyUntouched) {
    m_fake.scriptFaults({{FakeFault::kNackOtherType}});
    amp_t reply;
    reply.set_spkr(77);
    EXPECT_EQ(getAmp(reply), 3);
    EXPECT_EQ(reply.spkr(), 77u);
}

TEST_F(Exchange, SequenceNumbersRunFrom1To127ThenWrap) {
    amp_t reply;
    for (int i = 0; i < 128; ++i) {
        ASSERT_EQ(getAmp(reply), 0);
    }
    const auto log = m_fake.log();
    ASSERT_EQ(log.size(), 128u);
    for (size_t i = 0; i < log.size(); ++i) {
        const auto frame = sim::decodeFrame(log[i].bytes.data(), log[i].bytes.size());
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->header.seq_num, i < 127 ? i + 1 : 1u);
        EXPECT_FALSE(frame->header.ack);
    }
}

TEST_F(Exchange, TextReplies) {
    struct Case {
        const char* reply;
        int result;
    };
    for (const Case& c :
         {Case{"NACK", 3}, Case{"xNACKx", 3}, Case{"ACK SAVEPRESET 3", 0}, Case{"whatever", 0}}) {
        m_fake.scriptFaults({{FakeFault::kText, 0, c.reply}});
        QString reply;
        EXPECT_EQ(
            m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("SAVEPRESET 3\r"), reply),
            c.result);
        EXPECT_EQ(reply, QString::fromLatin1(c.reply));
    }
}

TEST_F(Exchange, SilentTextRequestIsSentFourTimes) {
    m_fake.setSilent(true);
    ClogCapture log;
    QString reply;
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("LOADPRESET 1\r"), reply),
              1);
    EXPECT_EQ(sends(4), 4u);
    EXPECT_EQ(log.count("ZEB_Device::GetResponse(): No response."), 3);
    EXPECT_EQ(log.count("ZEB_Device::SendRequest(): Request timed out."), 1);
}

TEST_F(Exchange, VersionCommand) {
    m_fake.setVersion(2, 7);
    QString reply;
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("VERSION\r"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("ACK VERSION=2.7"));
}

// The product's own wait: a silent device gets the frame 11 times, a wait apart.
class SilentDevice : public DeviceFixture {
protected:
    SilentDevice() : DeviceFixture("127.0.0.1", QtZEB_Device::kDefaultWaitMs) {}
};

TEST_F(SilentDevice, ElevenIdenticalSendsAboutASecondApart) {
    m_fake.setSilent(true);
    ClogCapture log;
    amp_t reply;
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_GET_REQ, amp_t(), reply), 1);
    ASSERT_TRUE(m_fake.waitForDatagrams(11, std::chrono::seconds(1)));
    const auto datagrams = m_fake.log();
    ASSERT_EQ(datagrams.size(), 11u);
    for (size_t i = 1; i < datagrams.size(); ++i) {
        EXPECT_EQ(datagrams[i].bytes, datagrams[0].bytes);
        const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(
            datagrams[i].when - datagrams[i - 1].when);
        EXPECT_GE(gap.count(), 900);
        EXPECT_LE(gap.count(), 2500);
    }
    EXPECT_EQ(log.count("ZEB_Device::GetResponse(): No response."), 10);
    EXPECT_EQ(log.count("ZEB_Device::SendRequest(): Request timed out."), 1);
}

}  // namespace
