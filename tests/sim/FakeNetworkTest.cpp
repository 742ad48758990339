#include <gtest/gtest.h>

#include <chrono>

#include "FakeNetwork.h"
#include "UdpAsk.h"

namespace {

using namespace std::chrono_literals;

TEST(FakeNetwork, StartsOnceWithEachDevicesSettings) {
    sim::FakeNetwork network({sim::FakeNetwork::amplifier("amp-1", "192.0.2.10", 1),
                              sim::FakeNetwork::amplifier("amp-2", "192.0.2.11", 2)});
    EXPECT_EQ(network.size(), 2u);
    EXPECT_EQ(network.indexOf("amp-2"), 1);
    EXPECT_EQ(network.indexOf("amp-3"), -1);
    EXPECT_EQ(network.device(1).system().location(), "Rack 2");
    ASSERT_TRUE(network.start());
    EXPECT_FALSE(network.start());
    EXPECT_TRUE(network.device(0).sendStatus("amp 1,0,0"));
    network.stop();
    network.stop();
}

TEST(FakeNetwork, ADeviceThatCannotBindStopsEverything) {
    sim::FakeNetwork network({sim::FakeNetwork::amplifier("amp-1", "192.0.2.10", 1),
                              sim::FakeNetwork::amplifier("amp-x", "198.51.100.7", 2)});
    EXPECT_FALSE(network.start());
    // Nothing holds the fixed ports any more.
    sim::FakeNetwork again({sim::FakeNetwork::amplifier("amp-1", "192.0.2.10", 1)});
    EXPECT_TRUE(again.start());
}

TEST(FakeNetwork, ADeviceThatLeftComesBackAnsweringAsBefore) {
    sim::FakeNetwork network({sim::FakeNetwork::amplifier("amp-1", "192.0.2.10", 1),
                              sim::FakeNetwork::amplifier("amp-2", "192.0.2.11", 2)});
    ASSERT_TRUE(network.start());
    const sim::Bytes version = textBytes("VERSION\r");
    EXPECT_EQ(askDevice("192.0.2.10", version), textBytes("ACK VERSION=1.5"));
    EXPECT_FALSE(network.join(0)) << "it has not left";

    EXPECT_TRUE(network.leave(0));
    EXPECT_TRUE(network.hasLeft(0));
    EXPECT_FALSE(network.leave(0));
    EXPECT_TRUE(askDevice("192.0.2.10", version, 200).empty());
    EXPECT_EQ(askDevice("192.0.2.11", version), textBytes("ACK VERSION=1.5"));

    EXPECT_TRUE(network.join(0));
    EXPECT_FALSE(network.hasLeft(0));
    EXPECT_FALSE(network.join(0));
    EXPECT_EQ(askDevice("192.0.2.10", version), textBytes("ACK VERSION=1.5"));
}

}  // namespace
