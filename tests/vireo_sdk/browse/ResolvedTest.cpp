// The resolved handlers' reading of TXT records, the resolve reply's interface check and the
// reconfirmation data, without a network.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "BrowseFixture.h"
#include "browse/db_browse_internal.h"

namespace {

enum Row { kMedia = 0, kChannel = 1, kConmon = 2, kSafe = 3, kUpgrade = 4, kVia = 5 };

class Resolved : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(db_browse_new(log_.env(), DB_BROWSE_ALL_TYPES, &browse_), AUD_SUCCESS);
        browse_->config.interface_indexes[0] = 7;
    }
    void TearDown() override { db_browse_delete(browse_); }

    // Runs the row's resolved handler for name on network 0.
    void resolve(Row row, const std::string& name, const std::vector<std::string>& txt,
                 uint16_t port = 4440) {
        db_resolve record{};
        record.browse = browse_;
        record.network = 0;
        record.type = unsigned(row);
        std::strncpy(record.name, name.c_str(), sizeof record.name - 1);
        const std::vector<unsigned char> data = txtRecord(txt);
        db_browse_types[row].resolved(&record, "amp-1", port, uint16_t(data.size()), data.data());
    }

    db_browse_device* device(const char* name) {
        return db_browse_network_find_device(db_browse_get_network(browse_), name);
    }

    LoggedEnv log_;
    db_browse* browse_ = nullptr;
};

TEST_F(Resolved, MediaDeviceReadsVersionsTextAndIds) {
    resolve(kMedia, "AMP-1",
            {"arcp_vers=2.7.1", "arcp_min=1", "router_vers=x",
             "router_info=" + std::string(200, 'r'), "mf=Corvanti", "model=_00112233445566"});
    db_browse_device* amp = device("AMP-1");
    ASSERT_NE(amp, nullptr);
    EXPECT_EQ(amp->media.arcp_vers.major, 2);
    EXPECT_EQ(amp->media.arcp_vers.minor, 7);
    EXPECT_EQ(amp->media.arcp_vers.build, 1);
    EXPECT_EQ(amp->media.arcp_min.major, 1);
    EXPECT_EQ(amp->media.arcp_min.minor, 0);
    EXPECT_EQ(amp->media.router_vers.major, 0);
    EXPECT_EQ(std::string(amp->media.router_info), std::string(63, 'r'));
    EXPECT_EQ(0, std::memcmp(amp->media.manufacturer_id, "Corvanti", 8));
    const uint8_t model[8] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0};
    EXPECT_EQ(0, std::memcmp(amp->media.model_id, model, 8));
    EXPECT_STREQ(amp->host, "amp-1");
    EXPECT_TRUE(log_.logged("Resolved media device \"AMP-1\""));
}

TEST_F(Resolved, ConmonDeviceFieldsAndFailures) {
    const std::vector<std::string> good = {"id=0011223344556677",  "process=3",
                                           "vid=000000000000C0DE", "vba=1.2.3.4",
                                           "mf=Corvanti",          "model=SOLANO8"};
    resolve(kConmon, "AMP-1", good);
    db_browse_device* amp = device("AMP-1");
    ASSERT_NE(amp, nullptr);
    const uint8_t id[8] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    EXPECT_EQ(0, std::memcmp(amp->conmon.instance_id.device_id, id, 8));
    EXPECT_EQ(amp->conmon.instance_id.process_id, 3);
    EXPECT_EQ(amp->conmon.vendor_id[6], 0xc0);
    EXPECT_EQ(amp->conmon.vendor_id[7], 0xde);
    const uint8_t vba[4] = {1, 2, 3, 4};
    EXPECT_EQ(0, std::memcmp(amp->conmon.vba, vba, 4));
    EXPECT_EQ(0, std::memcmp(amp->conmon.model_id, "SOLANO8", 8));
    EXPECT_TRUE(log_.logged("Adding conmon device \"AMP-1\" (target_name='amp-1')"));

    struct Case {
        std::vector<std::string> txt;
        const char* message;
    };
    const Case cases[] = {
        {{"process=3"}, "txt record 'id' field missing or empty for conmon device \"AMP-2\""},
        {{"id=", "process=3"}, "txt record 'id' field missing or empty for conmon device"},
        {{"id=00112233445566", "process=3"},
         "txt record 'id' field has insufficient data for conmon device \"AMP-2\""},
        {{"id=001122334455667g", "process=3"}, "'id' field has insufficient data"},
        {{"id=0011223344556677"},
         "txt record 'process' field missing or empty for conmon device \"AMP-2\""},
        {{"id=0011223344556677", "process=70000"}, "'process' field missing or empty"},
        {{"id=0011223344556677", "process=3", "vid"},
         "txt record 'vid' field missing or empty for conmon device \"AMP-2\""},
        {{"id=0011223344556677", "process=3", "vid=0011"},
         "txt record 'vid' field has insufficient data for conmon device \"AMP-2\""},
        {{"id=0011223344556677", "process=3", "vba=1.2.3"},
         "txt record 'vsb' field has invalid data for conmon device \"AMP-2\""},
    };
    for (const Case& c : cases) {
        log_.clear();
        resolve(kConmon, "AMP-2", c.txt);
        EXPECT_TRUE(log_.logged(c.message)) << c.message;
        EXPECT_EQ(device("AMP-2"), nullptr) << c.message;
    }
}

TEST_F(Resolved, ModeDevicesAddZerosWhenIdsFail) {
    resolve(kSafe, "AMP-1", {"safe=2", "process=5"});
    EXPECT_TRUE(log_.logged(
        "txt record 'id' field missing or empty for safe mode conmon device \"AMP-1\""));
    db_browse_device* amp = device("AMP-1");
    ASSERT_NE(amp, nullptr);
    EXPECT_EQ(amp->safe.value, 2);
    EXPECT_EQ(amp->safe.instance_id.process_id, 0);
    resolve(kUpgrade, "AMP-1", {"upgr=9", "id=0011223344556677", "process=5"});
    EXPECT_EQ(amp->upgrade.value, 9);
    EXPECT_EQ(amp->upgrade.instance_id.process_id, 5);
    EXPECT_EQ(db_browse_device_get_types(amp), uint32_t(0x18));
    resolve(kUpgrade, "AMP-3", {"upgr=1"});
    EXPECT_TRUE(log_.logged(
        "txt record 'id' field missing or empty for upgrade mode conmon device \"AMP-3\""));
}

TEST_F(Resolved, ViaDeviceVersionsAndPort) {
    resolve(kVia, "AMP-1",
            {"id=0011223344556677", "process=4", "vers_min=1.0.0", "vers_curr=1.4.9"}, 9000);
    db_browse_device* amp = device("AMP-1");
    ASSERT_NE(amp, nullptr);
    EXPECT_EQ(amp->via.port, 9000);
    EXPECT_EQ(amp->via.vers_curr.minor, 4);
    EXPECT_EQ(amp->via.vers_curr.build, 9);
    EXPECT_EQ(amp->via.instance_id.process_id, 4);
    EXPECT_TRUE(log_.logged("Adding via device \"AMP-1\" (target_name='amp-1' target_port=9000)"));
    struct Case {
        std::vector<std::string> txt;
        const char* message;
    };
    const Case cases[] = {
        {{"process=4"}, "txt record 'id' field missing or empty for via device \"AMP-2\""},
        {{"id=0011", "process=4"}, "'id' field has insufficient data for via device"},
        {{"id=0011223344556677"}, "'process' field missing or empty for via device"},
        {{"id=0011223344556677", "process=4", "vers_curr=1.0.0"},
         "txt record 'vers_min' field missing or empty for via device \"AMP-2\""},
        {{"id=0011223344556677", "process=4", "vers_min=beta", "vers_curr=1.0.0"},
         "txt record 'vers_min' has invalid data for via device \"AMP-2\""},
        {{"id=0011223344556677", "process=4", "vers_min=1.0.0"},
         "txt record 'vcp_curr' field missing or empty for via device \"AMP-2\""},
        {{"id=0011223344556677", "process=4", "vers_min=1.0.0",
          "vers_curr=1." + std::string(70, '1')},
         "txt record 'vcp_curr' has invalid data for via device \"AMP-2\""},
    };
    for (const Case& c : cases) {
        log_.clear();
        resolve(kVia, "AMP-2", c.txt);
        EXPECT_TRUE(log_.logged(c.message)) << c.message;
        EXPECT_EQ(device("AMP-2"), nullptr) << c.message;
    }
}

TEST_F(Resolved, ChannelNamesAndTxt) {
    resolve(kChannel, "Out 1", {"id=1", "rate=48000", "enc=24"});
    EXPECT_TRUE(log_.logged("Browse error:... no '@' in name \"Out 1\""));
    resolve(kChannel, "Out 1@AMP-1", {"id=1", "rate=48000", "enc=24 32 1578", "default"});
    db_browse_device* amp = device("AMP-1");
    ASSERT_NE(amp, nullptr);
    ASSERT_EQ(amp->num_channels, 1u);
    const db_browse_channel* out = amp->channels[0];
    EXPECT_STREQ(out->default_name, "Out 1");
    EXPECT_EQ(out->format.sample_rate, 48000u);
    EXPECT_EQ(out->format.encodings.large_count, 1);
    EXPECT_EQ(out->format.encodings.large[0], 1578u);
    resolve(kChannel, "Left@AMP-1", {"id=1", "rate=48000", "enc=24"});
    ASSERT_EQ(out->num_labels, 1u);
    EXPECT_STREQ(out->labels[0]->name, "Left");

    struct Case {
        std::vector<std::string> txt;
        const char* message;
    };
    const Case cases[] = {
        {{"rate=48000", "enc=24"},
         "Resolve error: txt record 'id' field missing or empty for channel \"X@AMP-2\""},
        {{"id=2", "enc=24"},
         "Resolve Error: txt record 'rate' field missing or empty for channel \"X@AMP-2\""},
        {{"id=2", "rate=48000"},
         "Resolve Error: txt record 'enc' field missing or empty for channel \"X@AMP-2\""},
        {{"id=2", "rate=48000", "enc=1 2 3 4 5 6 7 8 9"},
         "Resolve error: out of memory while allocating encodings for channel \"X@AMP-2\""},
    };
    for (const Case& c : cases) {
        log_.clear();
        resolve(kChannel, "X@AMP-2", c.txt);
        EXPECT_TRUE(log_.logged(c.message)) << c.message;
        EXPECT_EQ(device("AMP-2"), nullptr) << c.message;
    }
    EXPECT_EQ(browse_->pass_error, AUD_ERR_NOMEMORY);

    browse_->pass_error = AUD_SUCCESS;
    resolve(kChannel, "X@" + std::string(40, 'd'), {"id=2", "rate=48000", "enc=24"});
    EXPECT_TRUE(log_.logged("Resolve error: failed to add network channel \"X@ddd"));
    EXPECT_EQ(browse_->pass_error, AUD_ERR_INVALIDPARAMETER);
}

TEST_F(Resolved, UnchangedConmonRecordGivesNoReport) {
    static int reports;
    reports = 0;
    db_browse_set_node_changed_callback(
        browse_, [](db_browse*, const db_browse_node_change*, int) { ++reports; });
    const std::vector<std::string> txt = {"id=0011223344556677", "process=3"};
    resolve(kConmon, "AMP-1", txt);
    EXPECT_EQ(reports, 1);
    resolve(kConmon, "AMP-1", txt);
    EXPECT_EQ(reports, 1);
}

// A resolve answered on an interface other than its network's keeps waiting.
TEST_F(Resolved, ReplyOnAnotherInterfaceIsIgnored) {
    ASSERT_EQ(db_resolve_queue(browse_, 0, kMedia, "AMP-1"), AUD_SUCCESS);
    db_resolve* record = static_cast<db_resolve*>(browse_->queued.head->item);
    const std::vector<unsigned char> txt = txtRecord({"arcp_vers=1.0.0"});
    db_dnssd_resolve(nullptr, 0, 9, 0, "AMP-1._vireo-arc._udp.local.", "amp-1.local.", htons(4440),
                     uint16_t(txt.size()), txt.data(), record);
    EXPECT_TRUE(log_.logged("ignoring resolve for AMP-1 on interface 9 (not 7)"));
    EXPECT_EQ(device("AMP-1"), nullptr);
    EXPECT_EQ(browse_->queued.count, 1u);

    db_dnssd_resolve(nullptr, 0, 7, 0, "AMP-1._vireo-arc._udp.local.", "amp-1.local.", htons(4440),
                     uint16_t(txt.size()), txt.data(), record);
    ASSERT_NE(device("AMP-1"), nullptr);
    EXPECT_STREQ(device("AMP-1")->host, "amp-1");
    EXPECT_EQ(browse_->finished.count, 1u);
    EXPECT_TRUE(
        log_.logged("Resolved 'AMP-1' on network 0 using socket -1 (hosttarget=amp-1 port=4440)"));
}

// Browse replies: names must be shorter than the row's limit; a goodbye cancels the resolve.
TEST_F(Resolved, BrowseReplyNameLimits) {
    browse_->localhost_index = 1;
    const struct {
        const char* type;
        std::string name;
        bool queued;
    } cases[] = {
        {"_vireo-arc._udp.", std::string(31, 'a'), true},
        {"_vireo-arc._udp.", std::string(32, 'b'), false},
        {"_vireo-chan._udp.", std::string(30, 'c') + "@" + std::string(32, 'd'), true},
        {"_vireo-chan._udp.", std::string(31, 'e') + "@" + std::string(32, 'f'), false},
        {"_vireo-arc._udp.", "", false},
        {"_other._udp.", "AMP-1", false},
    };
    for (const auto& c : cases) {
        const size_t before = browse_->queued.count;
        db_dnssd_browse(nullptr, kDNSServiceFlagsAdd, 7, 0, c.name.c_str(), c.type, "local.",
                        browse_);
        EXPECT_EQ(browse_->queued.count, before + (c.queued ? 1 : 0)) << c.name;
    }
    EXPECT_TRUE(log_.logged("Ignoring invalid name \"" + std::string(32, 'b') +
                            "\" for service type _vireo-arc._udp."));
    EXPECT_TRUE(log_.logged("unknown service type _other._udp."));
    // Another interface is no network of this browse; the loop-back one is the localhost one.
    db_dnssd_browse(nullptr, kDNSServiceFlagsAdd, 9, 0, "AMP-9", "_vireo-arc._udp.", "local.",
                    browse_);
    EXPECT_TRUE(
        log_.logged("Ignoring advertisement AMP-9._vireo-arc._udp..local. "
                    "flags=0x00000002 on invalid interface index 9"));
    db_dnssd_browse(nullptr, kDNSServiceFlagsAdd, 1, 0, "AMP-L", "_vireo-arc._udp.", "local.",
                    browse_);
    const db_resolve* last = static_cast<db_resolve*>(browse_->queued.tail->item);
    EXPECT_STREQ(last->name, "AMP-L");
    EXPECT_EQ(last->network, unsigned(DB_BROWSE_NETWORK_LOCALHOST));
    const size_t queued = browse_->queued.count;
    db_dnssd_browse(nullptr, 0, 1, 0, "AMP-L", "_vireo-arc._udp.", "local.", browse_);
    EXPECT_EQ(browse_->queued.count, queued - 1);
}

TEST(BrowsePtrData, WireFormOfTheInstance) {
    uint8_t data[256];
    const size_t length = db_browse_ptr_data("AMP-1", 0, data, sizeof data);
    const std::vector<uint8_t> expected = {
        0x05, 0x41, 0x4d, 0x50, 0x2d, 0x31, 0x0a, 0x5f, 0x76, 0x69, 0x72, 0x65, 0x6f, 0x2d, 0x61,
        0x72, 0x63, 0x04, 0x5f, 0x75, 0x64, 0x70, 0x05, 0x6c, 0x6f, 0x63, 0x61, 0x6c, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(data, data + length), expected);
    const size_t via = db_browse_ptr_data("V", 5, data, sizeof data);
    const char tcp[] = "\x01V\x0a_vireo-via\x04_tcp\x05local";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), via), std::string(tcp, sizeof tcp));
    EXPECT_EQ(db_browse_ptr_data("AMP-1", 0, data, 10), 0u);
    EXPECT_EQ(db_browse_ptr_data("AMP-1", 6, data, sizeof data), 0u);
}

TEST(BrowseNew, TypesSocketsAndTheUpdaterBuild) {
    LoggedEnv log;
    db_browse* browse = nullptr;
    EXPECT_EQ(db_browse_new(log.env(), 0, &browse), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(db_browse_new(log.env(), 0x80, &browse), AUD_ERR_INVALIDPARAMETER);
    ASSERT_EQ(db_browse_new(log.env(), DB_BROWSE_ALL_TYPES, &browse), AUD_SUCCESS);
    EXPECT_TRUE(log.logged("db_browse_new: creating new browse (types=0x0000007f)"));
    EXPECT_EQ(db_browse_get_num_types(browse), 7u);
    EXPECT_EQ(db_browse_get_max_resolves(browse), 16u);
    EXPECT_EQ(db_browse_set_max_sockets(browse, 7), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(db_browse_set_max_sockets(browse, 18), AUD_SUCCESS);
    EXPECT_EQ(db_browse_get_max_resolves(browse), 11u);
    aud_socket_set set{};
    EXPECT_EQ(db_browse_get_sockets(browse, &set), AUD_ERR_INVALIDSTATE);
    EXPECT_EQ(db_browse_get_sockets(browse, nullptr), AUD_ERR_INVALIDPARAMETER);
    db_browse_delete(browse);

    ASSERT_EQ(db_browse_new_with_options(log.env(), DB_BROWSE_ALL_TYPES, DB_BROWSE_OPTION_UPDATER,
                                         &browse),
              AUD_SUCCESS);
    EXPECT_EQ(db_browse_get_types(browse), 0x1fu);
    EXPECT_EQ(db_browse_get_num_types(browse), 5u);
    EXPECT_EQ(db_browse_set_max_sockets(browse, 5), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(db_browse_set_max_sockets(browse, 6), AUD_SUCCESS);
    db_browse_delete(browse);
    EXPECT_EQ(db_browse_new_with_options(log.env(), 0x60, DB_BROWSE_OPTION_UPDATER, &browse),
              AUD_ERR_INVALIDPARAMETER);
}

TEST(BrowseTypes, TableLookUp) {
    EXPECT_EQ(db_browse_type_index("_vireo-arc._udp."), 0u);
    EXPECT_EQ(db_browse_type_index("_vireo-via._tcp."), 5u);
    EXPECT_EQ(db_browse_type_index("_vireo-via._udp."), unsigned(DB_BROWSE_TYPE_INVALID));
    EXPECT_EQ(db_browse_type_index("_vireo-arc._udp"), unsigned(DB_BROWSE_TYPE_INVALID));
    EXPECT_EQ(db_browse_type_index(nullptr), unsigned(DB_BROWSE_TYPE_INVALID));
}

}  // namespace
