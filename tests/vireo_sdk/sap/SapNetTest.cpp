// The SAP listener of a browse on the interface sap0 (192.0.2.1/24) of the test's own network
// namespace, fed by the fake announcer.
#include <gtest/gtest.h>

#include <net/if.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "../browse/BrowseFixture.h"
#include "FakeSapAnnouncer.h"
#include "FakeSdpWriter.h"
#include "sap/db_browse_sap.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class SapNet : public ::testing::Test {
protected:
    static void onNode(db_browse* browse, const db_browse_node_change* change, int code) {
        auto* self = static_cast<SapNet*>(db_browse_get_context(browse));
        EXPECT_EQ(change->kind, DB_BROWSE_NODE_AES67);
        const auto* session = static_cast<const db_browse_sap_session*>(change->node);
        self->m_codes.push_back(code);
        self->m_names.push_back(session->announcement.sdp.session_name);
    }
    static void clock(void* context, aud_time* now) { *now = *static_cast<aud_time*>(context); }

    void SetUp() override {
        ASSERT_TRUE(m_announcer.start());
        ASSERT_EQ(db_browse_new(m_log.env(), DB_BROWSE_TYPE_AES67, &m_browse), AUD_SUCCESS);
        db_browse_set_context(m_browse, this);
        db_browse_set_clock(m_browse, clock, &m_now);
        db_browse_set_node_changed_callback(m_browse, onNode);
        db_browse_config_init(&m_config);
        m_config.interface_indexes[0] = ::if_nametoindex("sap0");
    }
    void TearDown() override { db_browse_delete(m_browse); }

    bool run(const std::function<bool()>& done, std::chrono::milliseconds timeout = 3s) {
        return runPasses(m_browse, done, timeout,
                         [](const aud_socket_set& set) { EXPECT_EQ(set.count, 1u); });
    }

    void send(const sim::sdp::Packet& packet, const sim::sdp::Session& session) {
        ASSERT_TRUE(m_announcer.send(sim::sdp::sap(packet, sim::sdp::text(session))));
    }

    LoggedEnv m_log;
    sim::FakeSapAnnouncer m_announcer{"192.0.2.1"};
    db_browse* m_browse = nullptr;
    db_browse_config m_config{};
    aud_time m_now{100, 0};
    std::vector<int> m_codes;
    std::vector<std::string> m_names;
};

TEST_F(SapNet, AnnouncementsRenewalsDeletionAndExpiry) {
    ASSERT_EQ(db_browse_start_config(m_browse, &m_config), AUD_SUCCESS);
    EXPECT_TRUE(m_log.logged("Started browsing for type aes67 device (SAP) using socket"));
    sim::sdp::Packet packet;
    sim::sdp::Session session;
    send(packet, session);
    ASSERT_TRUE(run([&] { return m_codes.size() == 1; }));
    EXPECT_EQ(m_codes[0], DB_BROWSE_NODE_ADDED);

    // Same hash: renewed only; another hash: replaced.
    send(packet, session);
    packet.hash = 0x7777;
    session.name = "AMP-1 : 34";
    send(packet, session);
    ASSERT_TRUE(run([&] { return m_codes.size() == 2; }));
    EXPECT_EQ(m_codes[1], DB_BROWSE_NODE_CHANGED);
    EXPECT_EQ(m_names[1], "AMP-1 : 34");

    packet.deletion = true;
    send(packet, session);
    ASSERT_TRUE(run([&] { return m_codes.size() == 3; }));
    EXPECT_EQ(m_codes[2], DB_BROWSE_NODE_REMOVED);

    // A long announcement (well past 500 bytes) and its expiry 3600 s later.
    packet.deletion = false;
    session.id = 42;
    for (int i = 0; i < 20; ++i) {
        session.extra.push_back("a=x-padding:" + std::string(40, char('a' + i)));
    }
    ASSERT_GT(sim::sdp::text(session).size(), 900u);
    send(packet, session);
    ASSERT_TRUE(run([&] { return m_codes.size() == 4; }));
    EXPECT_EQ(m_codes[3], DB_BROWSE_NODE_ADDED);
    m_now.seconds += 3599;
    ASSERT_FALSE(run([&] { return m_codes.size() == 5; }, 100ms));
    m_now.seconds += 1;
    ASSERT_TRUE(run([&] { return m_codes.size() == 5; }));
    EXPECT_EQ(m_codes[4], DB_BROWSE_NODE_REMOVED);
}

TEST_F(SapNet, BadAndOversizeDatagramsAreDropped) {
    ASSERT_EQ(db_browse_start_config(m_browse, &m_config), AUD_SUCCESS);
    sim::sdp::Packet compressed;
    compressed.compressed = true;
    testing::internal::CaptureStdout();
    send(compressed, sim::sdp::Session());
    ASSERT_TRUE(run([&] { return m_log.logged("failed to parse SAP + SDP packet"); }));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "get_sdp_parsed_structure : sanity check error\n");

    sim::sdp::Session huge;
    huge.extra.assign(40, "a=x-padding:" + std::string(40, 'z'));
    send(sim::sdp::Packet(), huge);
    ASSERT_TRUE(run([&] { return m_log.logged("dropped aes67 datagram larger than 1500 bytes"); }));
    send(sim::sdp::Packet(), sim::sdp::Session());
    ASSERT_TRUE(run([&] { return m_codes.size() == 1; }));
}

TEST_F(SapNet, OpeningNeedsANetworkAndItsInterface) {
    m_config.num_networks = 0;
    EXPECT_EQ(db_browse_start_config(m_browse, &m_config), AUD_ERR_INVALIDPARAMETER);
    EXPECT_TRUE(m_log.logged("Interface index number must be provided for browsing aes67 device"));
    m_config.num_networks = 1;
    m_config.interface_indexes[0] = 999;
    EXPECT_EQ(db_browse_start_config(m_browse, &m_config), AUD_ERR_NODEV);
    EXPECT_TRUE(m_log.logged("failed to get active interface index : 37"));
    m_config.interface_indexes[0] = ::if_nametoindex("sap0");
    EXPECT_EQ(db_browse_start_config(m_browse, &m_config), AUD_SUCCESS);
    EXPECT_EQ(db_browse_stop(m_browse), AUD_SUCCESS);
    EXPECT_TRUE(m_log.logged("Stopping browsing for type AES67 using socket"));
}

}  // namespace
