#include <gtest/gtest.h>

#include <string>

#include "RouterModel.h"
#include "VireoDeviceRoute.h"

namespace {

TEST(RouterModel, HasExactly128RequestSlots) {
    RouterModel model;
    for (int i = 0; i < RouterModel::kNumRequests; ++i) {
        RouterRequests* slot = model.takeRequest("Update TXCHANNELS");
        ASSERT_NE(slot, nullptr) << i;
        slot->setId(reinterpret_cast<dr_request_id>(uintptr_t(i + 1)));
    }
    EXPECT_EQ(model.takeRequest("Subscribe"), nullptr);
    EXPECT_TRUE(model.isOutstanding("Update TXCHANNELS"));
    EXPECT_FALSE(model.isOutstanding("Update RXCHANNELS"));
    model.releaseRequest(reinterpret_cast<dr_request_id>(uintptr_t(7)));
    RouterRequests* freed = model.takeRequest("Subscribe");
    ASSERT_NE(freed, nullptr);
    model.releaseRequests();
    EXPECT_FALSE(model.isOutstanding("Update TXCHANNELS"));
}

TEST(RouterModel, KeepsAtMost63CharactersOfADescription) {
    RouterModel model;
    const std::string longer(80, 'd');
    RouterRequests* slot = model.takeRequest(longer.c_str());
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(std::string(slot->description()), longer.substr(0, 63));
}

TEST(RouterModel, RoutesAreKeptPerChannelInTheOrderFirstSeen) {
    RouterModel model;
    EXPECT_TRUE(model.setRoute(3, "", "", 0));
    EXPECT_TRUE(model.setRoute(1, "AMP-2", "Out 1", 1));
    EXPECT_FALSE(model.setRoute(1, "AMP-2", "Out 1", 1));
    EXPECT_TRUE(model.setRoute(1, "AMP-2", "Out 1", 2));
    ASSERT_EQ(model.getRoutes().size(), 2);
    EXPECT_EQ(model.getRoutes()[0]->getChannelIndex(), 3);
    EXPECT_EQ(model.routeOf(1)->getSubscriptionStatus(), 2);
    EXPECT_EQ(model.routeOf(2), nullptr);
}

// A closed device's arrays are gone: nothing may reach them, while the names stay for the
// records that show them.
TEST(RouterModel, ForgetsItsChannelArraysButKeepsTheirNames) {
    RouterModel model;
    dr_txchannel* const tx[2] = {};
    dr_rxchannel* const rx[1] = {};
    model.setChannels(2, tx, 1, rx);
    EXPECT_EQ(model.getTxChannelNames().size(), 2);
    EXPECT_TRUE(model.setTxChannelName(1, "Out 2"));
    EXPECT_FALSE(model.setTxChannelName(2, "Out 3"));
    model.forgetChannels();
    EXPECT_EQ(model.getTxChannelCount(), 0);
    EXPECT_EQ(model.getRxChannelCount(), 0);
    EXPECT_EQ(model.getTxChannelNames().value(1), "Out 2");
}

}  // namespace
