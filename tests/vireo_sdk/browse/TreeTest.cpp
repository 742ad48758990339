#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "browse/db_browse_tree.h"

namespace {

struct Report {
    int kind;
    int code;
    std::string name;
    bool operator==(const Report& other) const {
        return kind == other.kind && code == other.code && name == other.name;
    }
};

std::ostream& operator<<(std::ostream& out, const Report& r) {
    return out << "{" << r.kind << "," << r.code << "," << r.name << "}";
}

std::vector<Report>* g_reports = nullptr;

void record(db_browse*, const db_browse_node_change* change, int code) {
    std::string name;
    switch (change->kind) {
        case DB_BROWSE_NODE_DEVICE:
            name = static_cast<db_browse_device*>(change->node)->name;
            break;
        case DB_BROWSE_NODE_CHANNEL:
            name = static_cast<db_browse_channel*>(change->node)->default_name;
            break;
        case DB_BROWSE_NODE_LABEL:
            name = static_cast<db_browse_label*>(change->node)->name;
            break;
    }
    g_reports->push_back({change->kind, code, name});
}

constexpr int kDevice = DB_BROWSE_NODE_DEVICE;
constexpr int kChannel = DB_BROWSE_NODE_CHANNEL;
constexpr int kLabel = DB_BROWSE_NODE_LABEL;
constexpr int kAdded = DB_BROWSE_NODE_ADDED;
constexpr int kChanged = DB_BROWSE_NODE_CHANGED;
constexpr int kRemoved = DB_BROWSE_NODE_REMOVED;

class Tree : public ::testing::Test {
protected:
    void SetUp() override {
        g_reports = &reports_;
        ASSERT_EQ(db_browse_network_new(nullptr, 2, 0x7f, &tree_), AUD_SUCCESS);
        db_browse_network_set_callback(tree_, record);
        db_browse_network_set_changed_flag(tree_, &changed_);
    }
    void TearDown() override {
        db_browse_network_free(tree_);
        g_reports = nullptr;
    }

    // The reports since the last call.
    std::vector<Report> take() {
        std::vector<Report> out;
        out.swap(reports_);
        return out;
    }

    aud_error_t media(const char* name, unsigned network = 0, uint8_t minor = 1) {
        db_browse_media_info info{};
        info.arcp_vers = {1, minor, 3};
        std::memcpy(info.manufacturer_id, "Corvanti", 8);
        return db_browse_network_add_media_device(tree_, network, name, "amp-host", &info, nullptr);
    }

    aud_error_t conmon(const char* name, uint16_t process, unsigned network = 0) {
        db_browse_conmon_info info{};
        info.instance_id.process_id = process;
        return db_browse_network_add_conmon_device(tree_, network, name, "amp-host", &info,
                                                   nullptr);
    }

    aud_error_t channel(const char* name, uint16_t id, unsigned network) {
        db_browse_channel_format format{48000, {}};
        return db_browse_network_add_channel(tree_, network, "AMP-1", name, id, &format);
    }

    db_browse_network* tree_ = nullptr;
    std::vector<Report> reports_;
    bool changed_ = false;
};

TEST_F(Tree, DevicesSortedWithoutRegardToCaseAndTableGrows) {
    const char* names[] = {"delta",   "Bravo", "alpha", "ECHO", "charlie",
                           "foxtrot", "Golf",  "hotel", "India"};
    for (size_t i = 0; i < 8; ++i) {
        ASSERT_EQ(media(names[i]), AUD_SUCCESS);
    }
    EXPECT_EQ(db_browse_network_device_capacity(tree_), 8u);
    ASSERT_EQ(media(names[8]), AUD_SUCCESS);
    EXPECT_EQ(db_browse_network_device_capacity(tree_), 16u);
    const std::vector<std::string> sorted = {"alpha",   "Bravo", "charlie", "delta", "ECHO",
                                             "foxtrot", "Golf",  "hotel",   "India"};
    ASSERT_EQ(db_browse_network_num_devices(tree_), sorted.size());
    for (size_t i = 0; i < sorted.size(); ++i) {
        EXPECT_EQ(db_browse_device_get_name(db_browse_network_device_at_index(tree_, i)),
                  sorted[i]);
    }
    EXPECT_EQ(db_browse_network_device_at_index(tree_, sorted.size()), nullptr);
    // One device whatever the case of its name.
    ASSERT_EQ(media("ALPHA", 1), AUD_SUCCESS);
    EXPECT_EQ(db_browse_network_num_devices(tree_), sorted.size());
}

TEST_F(Tree, DeviceTypesGiveExactlyTheirReports) {
    EXPECT_EQ(media("AMP-1"), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kDevice, kAdded, "AMP-1"}}));
    EXPECT_TRUE(changed_);
    changed_ = false;
    EXPECT_EQ(media("AMP-1"), AUD_SUCCESS);
    EXPECT_TRUE(take().empty());
    EXPECT_FALSE(changed_);
    EXPECT_EQ(conmon("amp-1", 3), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kDevice, kChanged, "AMP-1"}}));
    EXPECT_EQ(conmon("AMP-1", 3), AUD_SUCCESS);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(conmon("AMP-1", 4), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kDevice, kChanged, "AMP-1"}}));
    EXPECT_EQ(media("AMP-1", 0, 2), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kDevice, kChanged, "AMP-1"}}));

    db_browse_device* device = db_browse_network_find_device(tree_, "AMP-1");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(db_browse_device_get_types(device), 0x05u);
    EXPECT_EQ(device->media.arcp_vers.minor, 2);
    EXPECT_EQ(device->conmon.instance_id.process_id, 4);
    EXPECT_STREQ(device->host, "amp-host");

    // On a second network too, then lost there: the data stay while network 0 keeps the type.
    EXPECT_EQ(media("AMP-1", 1, 2), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kDevice, kChanged, "AMP-1"}}));
    EXPECT_EQ(device->flags.network[1], uint32_t(DB_BROWSE_TYPE_MEDIA_DEVICE));
    EXPECT_EQ(db_browse_network_remove_type(tree_, 1, "AMP-1", DB_BROWSE_TYPE_MEDIA_DEVICE),
              AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kDevice, kChanged, "AMP-1"}}));
    EXPECT_EQ(device->media.arcp_vers.minor, 2);

    EXPECT_EQ(db_browse_network_remove_type(tree_, 0, "AMP-1", DB_BROWSE_TYPE_MEDIA_DEVICE),
              AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kDevice, kChanged, "AMP-1"}}));
    EXPECT_EQ(device->media.arcp_vers.minor, 0);
    EXPECT_EQ(db_browse_device_get_types(device), 0x04u);
    // A type the device does not have: nothing changes.
    EXPECT_EQ(db_browse_network_remove_type(tree_, 0, "AMP-1", DB_BROWSE_TYPE_MEDIA_DEVICE),
              AUD_SUCCESS);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(db_browse_network_remove_type(tree_, 0, "AMP-1", DB_BROWSE_TYPE_CONMON_DEVICE),
              AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kDevice, kRemoved, "AMP-1"}}));
    EXPECT_EQ(db_browse_network_num_devices(tree_), 0u);

    EXPECT_EQ(db_browse_network_remove_type(tree_, 0, "AMP-1", DB_BROWSE_TYPE_CONMON_DEVICE),
              DB_BROWSE_ERR_NO_DEVICE);
    EXPECT_EQ(media("AMP-2"), AUD_SUCCESS);
    take();
    EXPECT_EQ(db_browse_network_remove_type(tree_, 0, "AMP-9", DB_BROWSE_TYPE_MEDIA_DEVICE),
              DB_BROWSE_ERR_NO_DEVICE);
    EXPECT_TRUE(take().empty());
}

TEST_F(Tree, NameLengthsAndArguments) {
    const std::string longest(31, 'a');
    EXPECT_EQ(media(longest.c_str()), AUD_SUCCESS);
    EXPECT_EQ(media(std::string(32, 'b').c_str()), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(media(""), AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(db_browse_network_add_channel(tree_, 0, "AMP-1", nullptr, 1, nullptr),
              AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(db_browse_network_add_label(nullptr, 0, "AMP-1", "x", 1, nullptr),
              AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(db_browse_network_add_channel(tree_, 0, nullptr, "x", 1, nullptr),
              AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(db_browse_network_num_devices(tree_), 1u);
}

TEST_F(Tree, ChannelDefaultNameAcrossNetworks) {
    EXPECT_EQ(channel("Out 1", 1, 0), AUD_SUCCESS);
    EXPECT_EQ(take(),
              (std::vector<Report>{{kDevice, kAdded, "AMP-1"}, {kChannel, kAdded, "Out 1"}}));
    EXPECT_EQ(channel("Out 1", 1, 1), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kChannel, kChanged, "Out 1"}}));
    EXPECT_EQ(channel("Out 1", 1, 1), AUD_SUCCESS);
    EXPECT_TRUE(take().empty());

    EXPECT_EQ(db_browse_network_remove_channel(tree_, 0, "AMP-1", "out 1"), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kChannel, kChanged, "Out 1"}}));
    EXPECT_EQ(db_browse_network_remove_channel(tree_, 1, "AMP-1", "Out 1"), AUD_SUCCESS);
    EXPECT_EQ(take(),
              (std::vector<Report>{{kChannel, kRemoved, "Out 1"}, {kDevice, kRemoved, "AMP-1"}}));
    EXPECT_EQ(db_browse_network_remove_channel(tree_, 1, "AMP-1", "Out 1"),
              DB_BROWSE_ERR_NO_DEVICE);
}

TEST_F(Tree, LabelsAndChannelOrder) {
    EXPECT_EQ(channel("Out 3", 3, 0), AUD_SUCCESS);
    EXPECT_EQ(channel("Out 1", 1, 0), AUD_SUCCESS);
    take();
    db_browse_channel_format format{48000, {}};
    EXPECT_EQ(db_browse_network_add_label(tree_, 0, "AMP-1", "Left", 1, &format), AUD_SUCCESS);
    EXPECT_EQ(db_browse_network_add_label(tree_, 0, "AMP-1", "front", 1, &format), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kLabel, kAdded, "Left"}, {kLabel, kAdded, "front"}}));
    EXPECT_EQ(db_browse_network_add_label(tree_, 0, "AMP-1", "Left", 1, &format), AUD_SUCCESS);
    EXPECT_TRUE(take().empty());
    // A label of a channel not seen yet makes the channel.
    EXPECT_EQ(db_browse_network_add_label(tree_, 0, "AMP-1", "Sub", 2, &format), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kChannel, kAdded, ""}, {kLabel, kAdded, "Sub"}}));

    db_browse_device* device = db_browse_network_find_device(tree_, "AMP-1");
    ASSERT_EQ(device->num_channels, 3u);
    EXPECT_EQ(device->channels[0]->id, 1);
    EXPECT_EQ(device->channels[1]->id, 2);
    EXPECT_EQ(device->channels[2]->id, 3);
    ASSERT_EQ(device->channels[0]->num_labels, 2u);
    EXPECT_STREQ(device->channels[0]->labels[0]->name, "front");
    EXPECT_STREQ(device->channels[0]->labels[1]->name, "Left");

    EXPECT_EQ(db_browse_network_remove_channel(tree_, 0, "AMP-1", "Left"), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kLabel, kRemoved, "Left"}}));
    EXPECT_EQ(db_browse_network_remove_channel(tree_, 0, "AMP-1", "Sub"), AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kLabel, kRemoved, "Sub"}, {kChannel, kRemoved, ""}}));
    EXPECT_EQ(db_browse_network_remove_channel(tree_, 0, "AMP-1", "Nothing"),
              DB_BROWSE_ERR_NO_CHANNEL);
    EXPECT_EQ(db_browse_network_remove_channel(tree_, 1, "AMP-1", "front"),
              DB_BROWSE_ERR_NO_CHANNEL);
    EXPECT_TRUE(take().empty());
}

TEST_F(Tree, DeviceWithChannelsOutlivesItsLastType) {
    EXPECT_EQ(media("AMP-1"), AUD_SUCCESS);
    EXPECT_EQ(channel("Out 1", 1, 0), AUD_SUCCESS);
    take();
    EXPECT_EQ(db_browse_network_remove_type(tree_, 0, "AMP-1", DB_BROWSE_TYPE_MEDIA_DEVICE),
              AUD_SUCCESS);
    EXPECT_EQ(take(), (std::vector<Report>{{kDevice, kChanged, "AMP-1"}}));
    db_browse_device* device = db_browse_network_find_device(tree_, "AMP-1");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(db_browse_device_get_types(device), 0u);
    EXPECT_STREQ(device->host, "");
}

TEST_F(Tree, ManufacturerIdPrefersConmon) {
    db_browse_conmon_info info{};
    ASSERT_EQ(db_browse_network_add_conmon_device(tree_, 0, "AMP-1", "h", &info, nullptr),
              AUD_SUCCESS);
    db_browse_device* device = db_browse_network_find_device(tree_, "AMP-1");
    EXPECT_EQ(db_browse_device_get_manufacturer_id(device), nullptr);
    ASSERT_EQ(media("AMP-1"), AUD_SUCCESS);
    EXPECT_EQ(db_browse_device_get_manufacturer_id(device), device->media.manufacturer_id);
    std::memcpy(info.manufacturer_id, "OtherMfr", 8);
    ASSERT_EQ(db_browse_network_add_conmon_device(tree_, 0, "AMP-1", "h", &info, nullptr),
              AUD_SUCCESS);
    EXPECT_EQ(db_browse_device_get_manufacturer_id(device), device->conmon.manufacturer_id);
    EXPECT_EQ(db_browse_device_get_manufacturer_id(nullptr), nullptr);
}

}  // namespace
