#include <gtest/gtest.h>

#include <QSignalSpy>

#include <vector>

#include "IdentificationPoll.h"
#include "VireoDevice.h"
#include "VireoDevices.h"

namespace {

using namespace identification;

constexpr uint32_t kProtocol = kControlProtocolBit;

// A record that has been through the whole identification once.
void identify(VireoDevice& device) {
    device.setVireoModel(QStringLiteral("Solano 2x"));
    device.setManufacturer(QStringLiteral("Corvanti"));
    device.setProductId(QByteArray("1234"));
    device.setMacAddress(QStringLiteral("00:1d:c1:00:00:01"));
    device.setLocation(QStringLiteral("Rack 3"));
    device.setCapabilities(kProtocol);
    device.setIpAddress(QHostAddress(QStringLiteral("192.0.2.10")));
    device.setMcuVersion(65541);
    device.setPollState(kIdentified);
}

struct TurnCase {
    const char* what;
    int state;
    const char* model;
    const char* product_id;
    const char* mac;
    const char* location;
    const char* address;
    uint32_t capabilities;
    uint32_t mcu_version;
    Outstanding outstanding;
    int next_state;
    Question question;
};

void PrintTo(const TurnCase& c, std::ostream* out) {
    *out << c.what;
}

class TurnTable : public ::testing::TestWithParam<TurnCase> {};

TEST_P(TurnTable, MovesAndAsks) {
    const TurnCase& c = GetParam();
    VireoDevice device;
    device.setPollState(c.state);
    device.setVireoModel(QString::fromLatin1(c.model));
    device.setProductId(QByteArray(c.product_id));
    device.setMacAddress(QString::fromLatin1(c.mac));
    device.setLocation(QString::fromLatin1(c.location));
    if (*c.address) {
        device.setIpAddress(QHostAddress(QString::fromLatin1(c.address)));
    }
    device.setCapabilities(c.capabilities);
    device.setMcuVersion(c.mcu_version);
    EXPECT_EQ(takeTurn(device, c.outstanding), c.question) << c.what;
    EXPECT_EQ(device.getPollState(), c.next_state) << c.what;
}

const Outstanding kNothing{};
const Outstanding kConmon{1, false};
const Outstanding kText{0, true};
const Outstanding kNotReady{0, false, false};
const char* const kIp = "192.0.2.10";

INSTANTIATE_TEST_SUITE_P(
    States, TurnTable,
    ::testing::Values(
        TurnCase{"new", 1, "", "", "", "", kIp, 0, 0, kNothing, 2, Question::VireoInfo},
        TurnCase{"model known", 1, "Solano 4", "", "", "", kIp, 0, 0, kNothing, 6, Question::None},
        TurnCase{"lower case", 1, "solano 4", "", "", "", kIp, 0, 0, kNothing, 9, Question::None},
        TurnCase{"asked, conmon busy", 2, "", "", "", "", kIp, 0, 0, kConmon, 2, Question::None},
        TurnCase{"asked, text queued", 2, "", "", "", "", kIp, 0, 0, kText, 2, Question::None},
        TurnCase{"asked, all quiet", 2, "", "", "", "", kIp, 0, 0, kNothing, 1, Question::None},
        TurnCase{"no product id", 6, "Solano", "", "", "", kIp, 0, 0, kNothing, 2,
                 Question::ProductId},
        TurnCase{"product id", 6, "Solano", "12", "", "", kIp, 0, 0, kNothing, 3, Question::None},
        TurnCase{"no MAC", 3, "Solano", "12", "", "", kIp, 0, 0, kNothing, 2, Question::MacAddress},
        TurnCase{"MAC", 3, "Solano", "12", "m", "", kIp, 0, 0, kNothing, 5, Question::None},
        TurnCase{"location wanted", 5, "S", "1", "m", "", kIp, kProtocol, 0, kNothing, 5,
                 Question::Location},
        TurnCase{"no address", 5, "S", "1", "m", "", "", kProtocol, 0, kNothing, 5, Question::None},
        TurnCase{"no protocol", 5, "S", "1", "m", "", kIp, 0, 0, kNothing, 5, Question::None},
        TurnCase{"location kept", 5, "S", "1", "m", "Hall", "", 0, 0, kNothing, 4, Question::None},
        TurnCase{"version wanted", 4, "S", "1", "m", "Hall", kIp, kProtocol, 0, kNothing, 2,
                 Question::FirmwareVersion},
        TurnCase{"version known", 4, "S", "1", "m", "Hall", kIp, kProtocol, 7, kNothing, 8,
                 Question::None},
        TurnCase{"new, conmon not ready", 1, "", "", "", "", kIp, 0, 0, kNotReady, 1,
                 Question::None},
        TurnCase{"no product id, conmon not ready", 6, "Solano", "", "", "", kIp, 0, 0, kNotReady,
                 6, Question::None},
        TurnCase{"no MAC, conmon not ready", 3, "Solano", "12", "", "", kIp, 0, 0, kNotReady, 3,
                 Question::None},
        TurnCase{"version, conmon not ready", 4, "S", "1", "m", "Hall", kIp, kProtocol, 0,
                 kNotReady, 2, Question::FirmwareVersion},
        TurnCase{"identified", 8, "", "", "", "", kIp, 0, 0, kNothing, 8, Question::None},
        TurnCase{"ignored", 9, "", "", "", "", kIp, 0, 0, kNothing, 9, Question::None}));

TEST(IdentificationPoll, LocationReadMovesOnOnlyWithText) {
    VireoDevice device;
    device.setPollState(kLocation);
    locationRead(device, QString());
    EXPECT_EQ(device.getPollState(), kLocation);
    locationRead(device, QStringLiteral("Rack 3"));
    EXPECT_EQ(device.getPollState(), kVersion);
    EXPECT_EQ(device.getLocation(), QStringLiteral("Rack 3"));
}

TEST(IdentificationPoll, ConmonRequestBodies) {
    EXPECT_EQ(conmonRequestBody(Question::VireoInfo).toHex(' '),
              QByteArray("07 1f 00 61 00 0f 42 40"));
    EXPECT_EQ(conmonRequestBody(Question::ProductId).toHex(' '),
              QByteArray("07 1f 00 c1 00 0f 42 40"));
    EXPECT_EQ(conmonRequestBody(Question::MacAddress),
              QByteArray::fromHex("071f0013") + QByteArray(12, '\0'));
    EXPECT_TRUE(conmonRequestBody(Question::FirmwareVersion).isEmpty());
}

TEST(IdentificationPoll, ThirdUnansweredVersionInARowIgnores) {
    VireoDevice device;
    identify(device);
    device.setMcuVersion(0);
    for (int round = 1; round <= 3; ++round) {
        device.setPollState(kAsked);
        textCommandSent(device);
        textCommandTimedOut(device);
        EXPECT_EQ(device.getPollState(), round < 3 ? kStart : kIgnored) << round;
        EXPECT_TRUE(device.getProductId().isEmpty());
        EXPECT_FALSE(device.getProductId().isNull());
        EXPECT_EQ(device.getVireoModel(), QStringLiteral(""));
        EXPECT_EQ(device.getLocation(), QStringLiteral("Rack 3"));
    }
}

TEST(IdentificationPoll, VersionReplyResetsTheCountAndIdentifiesOnce) {
    VireoDevice device;
    device.setPollState(kStart);
    device.setTimeoutCount(4);
    EXPECT_TRUE(versionReceived(device, 65541));
    EXPECT_EQ(device.getPollState(), kIdentified);
    EXPECT_EQ(device.getTimeoutCount(), 0);

    device.setTimeoutCount(3);
    device.setPollState(kAsked);
    EXPECT_FALSE(versionReceived(device, 131072));
    EXPECT_EQ(device.getMcuVersion(), 65541u);
    EXPECT_EQ(device.getPollState(), kAsked);
    EXPECT_EQ(device.getTimeoutCount(), 0);

    VireoDevice ignored;
    ignored.setPollState(kIgnored);
    ignored.setTimeoutCount(5);
    EXPECT_FALSE(versionReceived(ignored, 65541));
    EXPECT_EQ(ignored.getMcuVersion(), 0u);
    EXPECT_EQ(ignored.getTimeoutCount(), 0);
}

TEST(IdentificationPoll, NackIdentifiesOnlyInStateThreeWithoutVersion) {
    for (int state : {1, 2, 4, 5, 6, 8, 9}) {
        VireoDevice device;
        device.setPollState(state);
        EXPECT_FALSE(nackReceived(device));
        EXPECT_EQ(device.getPollState(), state);
    }
    VireoDevice device;
    device.setPollState(kProduct);
    EXPECT_TRUE(nackReceived(device));
    EXPECT_EQ(device.getPollState(), kIdentified);
    EXPECT_EQ(device.getMcuVersion(), 0u);
}

class ReplyFixture : public ::testing::Test {
protected:
    ReplyFixture() {
        auto* record = new VireoDevice;
        record->setName(QStringLiteral("amp-1"));
        list.appendDevice(record);
        device = record;
        device->setPollState(kAsked);
        device->setManufacturer(QStringLiteral("Corvanti"));
    }

    ProductInfo product(uint32_t capabilities) const {
        ProductInfo info;
        info.id = QByteArray("0001");
        info.model_name = QStringLiteral("ZEB 4");
        info.capabilities = capabilities;
        return info;
    }

    VireoDevices list;
    VireoDevice* device;
};

TEST_F(ReplyFixture, VireoModelDecidesTheFamily) {
    QSignalSpy changed(&list, &VireoDevices::vireoDevicesChanged);
    EXPECT_EQ(vireoInfoReceived(list, "amp-1", "Solano 2x"), ReplyUse::Taken);
    EXPECT_EQ(device->getPollState(), kModel);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(vireoInfoReceived(list, "amp-1", "Other"), ReplyUse::Unused);
    EXPECT_EQ(device->getVireoModel(), QStringLiteral("Solano 2x"));

    device->setVireoModel(QString());
    EXPECT_EQ(vireoInfoReceived(list, "amp-1", "solano"), ReplyUse::OutOfTurn);
    device->setPollState(kAsked);
    EXPECT_EQ(vireoInfoReceived(list, "amp-1", "solano"), ReplyUse::Taken);
    EXPECT_EQ(device->getPollState(), kIgnored);
    EXPECT_EQ(vireoInfoReceived(list, "amp-2", "Solano"), ReplyUse::Unused);
}

TEST_F(ReplyFixture, ProductIdNeedsTheMakerAndTheProtocol) {
    EXPECT_EQ(productIdReceived(list, "amp-1", product(kProtocol | 1)), ReplyUse::Taken);
    EXPECT_EQ(device->getPollState(), kProduct);
    EXPECT_EQ(device->getControlPath(), 2);
    EXPECT_EQ(device->getModelName(), QStringLiteral("ZEB 4"));
    EXPECT_EQ(device->getCapabilities(), kProtocol | 1);

    device->setProductId(QByteArray());
    device->setCapabilities(0);
    device->setPollState(kAsked);
    EXPECT_EQ(productIdReceived(list, "amp-1", product(0)), ReplyUse::Taken);
    EXPECT_EQ(device->getPollState(), kIgnored);
    EXPECT_EQ(device->getProductId(), QByteArray("0001"));
}

TEST_F(ReplyFixture, ProductIdOfAnotherMakerIsNotKept) {
    device->setManufacturer(QStringLiteral("corvanti"));
    EXPECT_EQ(productIdReceived(list, "amp-1", product(kProtocol)), ReplyUse::Taken);
    EXPECT_EQ(device->getPollState(), kIgnored);
    EXPECT_TRUE(device->getProductId().isEmpty());
}

TEST_F(ReplyFixture, ProductIdWithoutManufacturerWaits) {
    device->setManufacturer(QString());
    EXPECT_EQ(productIdReceived(list, "amp-1", product(kProtocol)), ReplyUse::Taken);
    EXPECT_EQ(device->getPollState(), kAsked);
    EXPECT_TRUE(device->getProductId().isEmpty());
}

TEST_F(ReplyFixture, MacAddressAndMcuVersion) {
    EXPECT_EQ(macAddressReceived(list, "amp-1", QString()), ReplyUse::Unused);
    EXPECT_EQ(macAddressReceived(list, "amp-1", QString(QChar(0))), ReplyUse::Unused);
    EXPECT_EQ(macAddressReceived(list, "amp-1", "00:1d:c1:00:00:01"), ReplyUse::Taken);
    EXPECT_EQ(device->getPollState(), kLocation);
    EXPECT_EQ(macAddressReceived(list, "amp-1", "00:1d:c1:00:00:02"), ReplyUse::OutOfTurn);
    EXPECT_EQ(device->getMacAddress(), QStringLiteral("00:1d:c1:00:00:01"));

    device->setPollState(kAsked);
    EXPECT_EQ(mcuVersionReceived(list, "amp-1", 65541), ReplyUse::Taken);
    EXPECT_EQ(device->getPollState(), kIdentified);
    EXPECT_EQ(mcuVersionReceived(list, "amp-1", 7), ReplyUse::Unused);
    EXPECT_EQ(device->getMcuVersion(), 65541u);
}

// Drives one device's turns, answering each conmon question as the device would.
std::vector<Question> askedUntilIdentified(VireoDevices& list, VireoDevice& device) {
    std::vector<Question> asked;
    for (int turn = 0; turn < 30 && device.getPollState() != kIdentified; ++turn) {
        const Question question = takeTurn(device, {});
        if (question == Question::None) {
            continue;
        }
        asked.push_back(question);
        const QString name = device.getName();
        switch (question) {
            case Question::VireoInfo:
                vireoInfoReceived(list, name, "Solano 2x");
                break;
            case Question::ProductId: {
                ProductInfo info;
                info.id = "1234";
                info.capabilities = kProtocol;
                productIdReceived(list, name, info);
                break;
            }
            case Question::MacAddress:
                macAddressReceived(list, name, "00:1d:c1:00:00:01");
                break;
            case Question::Location:
                locationRead(device, "Rack 3");
                break;
            case Question::FirmwareVersion:
                versionReceived(device, 65541);
                break;
            case Question::None:
                break;
        }
    }
    return asked;
}

TEST_F(ReplyFixture, AfterATimeOutAsksModelAndProductIdThenVersion) {
    identify(*device);
    textCommandTimedOut(*device);
    EXPECT_EQ(askedUntilIdentified(list, *device),
              (std::vector<Question>{Question::VireoInfo, Question::ProductId,
                                     Question::FirmwareVersion}));
}

TEST_F(ReplyFixture, ReReportedIdentifiedDeviceComesBackWithoutQuestions) {
    identify(*device);
    device->setPollState(kStart);
    EXPECT_TRUE(askedUntilIdentified(list, *device).empty());
    EXPECT_EQ(device->getPollState(), kIdentified);
}

TEST_F(ReplyFixture, NewDeviceIsAskedEverythingOnce) {
    device->setPollState(kStart);
    device->setIpAddress(QHostAddress(QStringLiteral("192.0.2.10")));
    EXPECT_EQ(askedUntilIdentified(list, *device),
              (std::vector<Question>{Question::VireoInfo, Question::ProductId, Question::MacAddress,
                                     Question::Location, Question::FirmwareVersion}));
}

}  // namespace
