// The SAP header check, the SDP line table and its handlers, and the session list.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSdpWriter.h"
#include "browse/db_browse_internal.h"
#include "sap/db_browse_sap.h"
#include "sap/sap_announcement.h"

namespace {

aud_error_t parsePacket(const std::vector<uint8_t>& packet, sap_announcement* out) {
    return get_sdp_parsed_structure(packet.data(), packet.size(), out);
}

aud_error_t parseText(const std::string& text, sdp_description* out) {
    return sdp_parse(text.data(), text.size(), out);
}

TEST(SapHeader, ChecksPrintTheSanityLineAndGiveFour) {
    const std::string body = sim::sdp::text(sim::sdp::Session());
    struct Case {
        const char* what;
        sim::sdp::Packet packet;
    };
    sim::sdp::Packet compressed;
    compressed.compressed = true;
    sim::sdp::Packet encrypted;
    encrypted.encrypted = true;
    sim::sdp::Packet no_hash;
    no_hash.hash = 0;
    sim::sdp::Packet no_source;
    no_source.source = "0.0.0.0";
    sim::sdp::Packet other_type;
    other_type.payload_type = "application/xyz";
    const Case cases[] = {{"compressed", compressed},
                          {"encrypted", encrypted},
                          {"no hash", no_hash},
                          {"no source", no_source},
                          {"payload type", other_type}};
    for (const Case& c : cases) {
        sap_announcement parsed{};
        testing::internal::CaptureStdout();
        EXPECT_EQ(parsePacket(sim::sdp::sap(c.packet, body), &parsed), AUD_ERR_INVALIDDATA)
            << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "get_sdp_parsed_structure : sanity check error\n")
            << c.what;
    }
    std::vector<uint8_t> version2 = sim::sdp::sap(sim::sdp::Packet(), body);
    version2[0] = 0x40;
    std::vector<uint8_t> short_packet(8, 0x20);
    std::vector<uint8_t> no_body = sim::sdp::sap(sim::sdp::Packet(), "");
    for (const auto* packet : {&version2, &short_packet, &no_body}) {
        sap_announcement parsed{};
        testing::internal::CaptureStdout();
        EXPECT_EQ(parsePacket(*packet, &parsed), AUD_ERR_INVALIDDATA);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "get_sdp_parsed_structure : sanity check error\n");
    }
}

TEST(SapHeader, AuthenticationLengthCountsWords) {
    const std::string body = sim::sdp::text(sim::sdp::Session());
    sim::sdp::Packet packet;
    packet.auth_words = 2;
    packet.deletion = true;
    packet.hash = 0xbeef;
    sap_announcement parsed{};
    ASSERT_EQ(parsePacket(sim::sdp::sap(packet, body), &parsed), AUD_SUCCESS);
    EXPECT_EQ(parsed.message_type, SAP_DELETION);
    EXPECT_EQ(parsed.hash, 0xbeef);
    EXPECT_EQ(parsed.source, inet_addr("192.0.2.20"));
    EXPECT_EQ(parsed.sdp.session_name, std::string("AMP-1 : 32"));
}

TEST(Sdp, FullDescription) {
    sim::sdp::Session session;
    session.extra = {"a=framecount:48"};
    sdp_description sdp{};
    ASSERT_EQ(parseText(sim::sdp::text(session), &sdp), AUD_SUCCESS);
    EXPECT_EQ(sdp.presence,
              uint32_t(SDP_HAS_ORIGIN | SDP_HAS_CONNECTION | SDP_HAS_TIME | SDP_HAS_MEDIA));
    EXPECT_EQ(sdp.attributes,
              uint32_t(SDP_ATTR_RTPMAP | SDP_ATTR_PTIME | SDP_ATTR_TS_REFCLK | SDP_ATTR_MEDIACLK));
    EXPECT_TRUE(sdp.vireo);
    EXPECT_STREQ(sdp.origin.user, "-");
    EXPECT_EQ(sdp.origin.session_id, 1311738121u);
    EXPECT_EQ(sdp.origin.address, inet_addr("192.0.2.20"));
    EXPECT_EQ(sdp.connection.address, inet_addr("239.69.1.2"));
    EXPECT_EQ(sdp.connection.ttl, 32);
    EXPECT_EQ(sdp.connection.count, 1);
    EXPECT_EQ(sdp.media.port, 5004);
    EXPECT_EQ(sdp.media.num_ports, 1);
    EXPECT_EQ(sdp.media.payload_type, 98);
    EXPECT_EQ(sdp.bits_per_sample, 24);
    EXPECT_EQ(sdp.sample_rate, 48000u);
    EXPECT_EQ(sdp.channels, 2);
    EXPECT_EQ(sdp.packet_time_us, 1000u);
    EXPECT_EQ(sdp.direction, SDP_RECVONLY);
    const uint8_t gm[6] = {0x00, 0x1d, 0xc1, 0x12, 0x34, 0x56};
    EXPECT_EQ(0, memcmp(sdp.grandmaster, gm, 6));
    EXPECT_STREQ(sdp.ptp_domain, "0");
    EXPECT_EQ(sdp.media_clock_offset, 0u);
}

TEST(Sdp, PacketTimes) {
    const std::pair<const char*, uint32_t> cases[] = {{"1", 1000},    {"0.5", 500},   {"0.25", 250},
                                                      {"0.125", 125}, {"0.333", 333}, {"4", 4000},
                                                      {"1.0", 1000}};
    for (const auto& c : cases) {
        sim::sdp::Session session;
        session.ptime = c.first;
        sdp_description sdp{};
        ASSERT_EQ(parseText(sim::sdp::text(session), &sdp), AUD_SUCCESS) << c.first;
        EXPECT_EQ(sdp.packet_time_us, c.second) << c.first;
    }
}

TEST(Sdp, RefusedAndToleratedLines) {
    sdp_description sdp{};
    const std::string good = sim::sdp::text(sim::sdp::Session());
    EXPECT_EQ(parseText("v=1\r\n" + good.substr(5), &sdp), AUD_ERR_NOTSUPPORTED);
    EXPECT_EQ(parseText(good.substr(0, good.size() - 2), &sdp), AUD_ERR_INVALIDDATA);
    EXPECT_EQ(parseText("o=- 1 1 IN IP4 1.2.3.4\r\n", &sdp), AUD_ERR_INVALIDDATA);
    EXPECT_EQ(parseText("v=0\r\nnonsense\r\n", &sdp), AUD_ERR_INVALIDDATA);
    // A required line passed over.
    EXPECT_EQ(parseText("v=0\r\no=- 1 1 IN IP4 1.2.3.4\r\nt=0 0\r\n", &sdp), AUD_ERR_INVALIDDATA);
    EXPECT_EQ(parseText("v=0\r\no=- 1 1 IN IP4 1.2.3.4\r\ns=\r\nt=0 0\r\n", &sdp),
              AUD_ERR_INVALIDDATA);
    EXPECT_EQ(parseText("v=0\r\no=- 1 1 IN IP4 1.2.3.4\r\ns=x\r\nt=0 0\r\n", &sdp), AUD_SUCCESS);
    // Runs of line ends between lines; an IPv6 origin is tolerated but not stored.
    EXPECT_EQ(parseText("v=0\n\r\no=- 1 1 IN IP6 ::1\r\r\ns=x\nt=0 0\n", &sdp), AUD_SUCCESS);
    EXPECT_EQ(sdp.presence & SDP_HAS_ORIGIN, 0u);
    // A line that fits no later place ends the parse.
    EXPECT_EQ(
        parseText("v=0\r\no=- 1 1 IN IP4 1.2.3.4\r\ns=x\r\nt=0 0\r\nv=7\r\nm=audio\r\n", &sdp),
        AUD_SUCCESS);
    EXPECT_EQ(sdp.presence & SDP_HAS_MEDIA, 0u);
}

TEST(Sdp, VideoSectionSkippedAudioKept) {
    const std::string text =
        "v=0\r\no=- 7 1 IN IP4 192.0.2.20\r\ns=AV\r\nt=0 0\r\n"
        "m=video 5006 RTP/AVP 96\r\na=rtpmap:96 L16/90000/1\r\na=ptime:9\r\n"
        "m=audio 5004 RTP/AVP 97\r\ni=Stage\r\na=rtpmap:97 L32/96000/8\r\na=ptime:0.125\r\n"
        "m=audio 6000 RTP/AVP 98\r\na=ptime:3\r\n";
    sdp_description sdp{};
    ASSERT_EQ(parseText(text, &sdp), AUD_SUCCESS);
    EXPECT_EQ(sdp.media.port, 5004);
    EXPECT_EQ(sdp.media.payload_type, 97);
    EXPECT_STREQ(sdp.media_title, "Stage");
    EXPECT_EQ(sdp.bits_per_sample, 32);
    EXPECT_EQ(sdp.channels, 8);
    EXPECT_EQ(sdp.packet_time_us, 125u);
}

TEST(Sdp, AttributeRules) {
    struct Case {
        std::string extra;
        uint32_t attributes;  // expected attribute flags beside the writer's own
    };
    sim::sdp::Session base;
    sdp_description sdp{};
    // An rtpmap of another payload type or an odd width is not taken.
    base.payload_type = 98;
    std::string text = sim::sdp::text(base);
    text.replace(text.find("a=rtpmap:98"), 11, "a=rtpmap:99");
    ASSERT_EQ(parseText(text, &sdp), AUD_SUCCESS);
    EXPECT_EQ(sdp.attributes & SDP_ATTR_RTPMAP, 0u);
    base.bits = 20;
    ASSERT_EQ(parseText(sim::sdp::text(base), &sdp), AUD_SUCCESS);
    EXPECT_EQ(sdp.attributes & SDP_ATTR_RTPMAP, 0u);
    // A grandmaster id without FF FE in its middle, or another clock standard.
    sim::sdp::Session clock;
    clock.grandmaster = "00-1D-C1-12-34-56-78-9A";
    ASSERT_EQ(parseText(sim::sdp::text(clock), &sdp), AUD_SUCCESS);
    EXPECT_EQ(sdp.attributes & SDP_ATTR_TS_REFCLK, 0u);
    // A second ptime is ignored.
    sim::sdp::Session twice;
    twice.extra = {"a=ptime:4"};
    ASSERT_EQ(parseText(sim::sdp::text(twice), &sdp), AUD_SUCCESS);
    EXPECT_EQ(sdp.packet_time_us, 1000u);
    sim::sdp::Session sendonly;
    sendonly.extra = {"a=sendonly"};
    ASSERT_EQ(parseText(sim::sdp::text(sendonly), &sdp), AUD_SUCCESS);
    EXPECT_EQ(sdp.direction, SDP_SENDONLY);
}

// Sessions of a listener without a socket: announcements handed in directly.
class Sessions : public ::testing::Test {
protected:
    static void record(db_browse* browse, const db_browse_node_change* change, int code) {
        auto* self = static_cast<Sessions*>(db_browse_get_context(browse));
        ASSERT_EQ(change->kind, DB_BROWSE_NODE_AES67);
        self->codes_.push_back(code);
    }
    static void clock(void* context, aud_time* now) { *now = *static_cast<aud_time*>(context); }

    void SetUp() override {
        ASSERT_EQ(db_browse_new(nullptr, DB_BROWSE_TYPE_AES67, &browse_), AUD_SUCCESS);
        db_browse_set_context(browse_, this);
        db_browse_set_clock(browse_, clock, &now_);
        db_browse_set_node_changed_callback(browse_, record);
    }
    void TearDown() override { db_browse_delete(browse_); }

    aud_error_t hand(const sim::sdp::Packet& packet, const sim::sdp::Session& session) {
        const std::vector<uint8_t> bytes = sim::sdp::sap(packet, sim::sdp::text(session));
        return db_browse_sap_handle(browse_->sap, bytes.data(), bytes.size());
    }

    db_browse* browse_ = nullptr;
    aud_time now_{5000, 0};
    std::vector<int> codes_;
};

TEST_F(Sessions, AnnounceRenewReplaceDeleteAndExpire) {
    sim::sdp::Packet packet;
    sim::sdp::Session session;
    ASSERT_EQ(hand(packet, session), AUD_SUCCESS);
    EXPECT_EQ(codes_, (std::vector<int>{DB_BROWSE_NODE_ADDED}));
    ASSERT_EQ(hand(packet, session), AUD_SUCCESS);
    EXPECT_EQ(codes_.size(), 1u);
    packet.hash = 0x4321;
    session.name = "renamed";
    ASSERT_EQ(hand(packet, session), AUD_SUCCESS);
    EXPECT_EQ(codes_, (std::vector<int>{DB_BROWSE_NODE_ADDED, DB_BROWSE_NODE_CHANGED}));
    ASSERT_EQ(db_browse_sap_num_sessions(browse_->sap), 1u);
    EXPECT_STREQ(db_browse_sap_session_at(browse_->sap, 0)->announcement.sdp.session_name,
                 "renamed");
    packet.deletion = true;
    ASSERT_EQ(hand(packet, session), AUD_SUCCESS);
    EXPECT_EQ(codes_.back(), DB_BROWSE_NODE_REMOVED);
    EXPECT_EQ(db_browse_sap_num_sessions(browse_->sap), 0u);

    // A second session (another origin id) expires 3600 s after its last announcement.
    codes_.clear();
    packet.deletion = false;
    session.id = 99;
    ASSERT_EQ(hand(packet, session), AUD_SUCCESS);
    now_.seconds += 1800;
    ASSERT_EQ(hand(packet, session), AUD_SUCCESS);
    now_.seconds += 3599;
    db_browse_sap_expire(browse_->sap);
    EXPECT_EQ(codes_, (std::vector<int>{DB_BROWSE_NODE_ADDED}));
    now_.seconds += 1;
    db_browse_sap_expire(browse_->sap);
    EXPECT_EQ(codes_, (std::vector<int>{DB_BROWSE_NODE_ADDED, DB_BROWSE_NODE_REMOVED}));
    EXPECT_EQ(db_browse_sap_num_sessions(browse_->sap), 0u);
}

TEST_F(Sessions, BadPacketsAreDropped) {
    sim::sdp::Session session;
    session.origin = "not-an-address";
    testing::internal::CaptureStdout();
    EXPECT_EQ(hand(sim::sdp::Packet(), session), AUD_ERR_INVALIDDATA);
    sim::sdp::Packet encrypted;
    encrypted.encrypted = true;
    EXPECT_EQ(hand(encrypted, sim::sdp::Session()), AUD_ERR_INVALIDDATA);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(codes_.empty());
}

}  // namespace
