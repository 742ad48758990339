#include "IdentificationPoll.h"

#include "VireoDevice.h"
#include "VireoDevices.h"

namespace identification {

namespace {

const QString kModelFamily = QStringLiteral("Solano");
const QString kMaker = QStringLiteral("Corvanti");
constexpr int kTextControlPath = 2;

// Conmon request bodies: 0x071F, request code, value (all big-endian), zero padding.
struct ConmonRequest {
    Question question;
    uint16_t code;
    uint32_t value;
    int length;
};
constexpr ConmonRequest kConmonRequests[] = {
    {Question::VireoInfo, 0x0061, 1000000, 8},
    {Question::ProductId, 0x00C1, 1000000, 8},
    {Question::MacAddress, 0x0013, 0, 16},
};
constexpr uint16_t kConmonBodyHeader = 0x071F;

void putBigEndian(QByteArray& body, int offset, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        body[offset + i] = char(uint8_t(value >> (8 * (bytes - 1 - i))));
    }
}

// The record a conmon reply is for, when the reply still has something to give it.
// Returns the use the reply has already found when it is not to be taken.
VireoDevice* awaitingRecord(VireoDevices& list, const QString& name,
                            bool (*wanted)(const VireoDevice&), ReplyUse* use) {
    VireoDevice* device = list.findByName(name, nullptr);
    if (!device || !wanted(*device)) {
        *use = ReplyUse::Unused;
        return nullptr;
    }
    if (device->getPollState() != kAsked) {
        *use = ReplyUse::OutOfTurn;
        return nullptr;
    }
    *use = ReplyUse::Taken;
    return device;
}

}  // namespace

Question takeTurn(VireoDevice& device, const Outstanding& outstanding) {
    switch (device.getPollState()) {
        case kStart:
            if (device.getVireoModel().isEmpty()) {
                if (!outstanding.conmon_ready) {
                    return Question::None;
                }
                device.setPollState(kAsked);
                return Question::VireoInfo;
            }
            device.setPollState(device.getVireoModel().contains(kModelFamily) ? kModel : kIgnored);
            return Question::None;
        case kAsked:
            if (outstanding.conmon_requests == 0 && !outstanding.text_commands_queued) {
                device.setPollState(kStart);
            }
            return Question::None;
        case kModel:
            if (device.getProductId().isEmpty()) {
                if (!outstanding.conmon_ready) {
                    return Question::None;
                }
                device.setPollState(kAsked);
                return Question::ProductId;
            }
            device.setPollState(kProduct);
            return Question::None;
        case kProduct:
            if (device.getMacAddress().isEmpty()) {
                if (!outstanding.conmon_ready) {
                    return Question::None;
                }
                device.setPollState(kAsked);
                return Question::MacAddress;
            }
            device.setPollState(kLocation);
            return Question::None;
        case kLocation:
            // A location kept from an earlier identification needs no second read.
            if (!device.getLocation().isEmpty()) {
                device.setPollState(kVersion);
                return Question::None;
            }
            if (!device.getIpAddress().isNull() &&
                (device.getCapabilities() & kControlProtocolBit) != 0) {
                return Question::Location;
            }
            return Question::None;
        case kVersion:
            if (device.getMcuVersion() != 0) {
                device.setPollState(kIdentified);
                return Question::None;
            }
            device.setPollState(kAsked);
            return Question::FirmwareVersion;
        default:
            return Question::None;
    }
}

bool anyToIdentify(const QVector<VireoDevice*>& devices) {
    for (const VireoDevice* device : devices) {
        if (device->getPollState() != kIdentified && device->getPollState() != kIgnored) {
            return true;
        }
    }
    return false;
}

void locationRead(VireoDevice& device, const QString& location) {
    if (!location.isEmpty()) {
        device.setLocation(location);
        device.setPollState(kVersion);
    }
}

QByteArray conmonRequestBody(Question question) {
    for (const ConmonRequest& request : kConmonRequests) {
        if (request.question == question) {
            QByteArray body(request.length, '\0');
            putBigEndian(body, 0, kConmonBodyHeader, 2);
            putBigEndian(body, 2, request.code, 2);
            putBigEndian(body, 4, request.value, 4);
            return body;
        }
    }
    return {};
}

void restart(VireoDevice& device) {
    device.setPollState(kStart);
    device.setProductId(QByteArray(""));
    device.setMcuVersion(0);
    device.setVireoModel(QStringLiteral(""));
}

void textCommandSent(VireoDevice& device) {
    device.setTimeoutCount(uint8_t(device.getTimeoutCount() + 1));
}

void textCommandTimedOut(VireoDevice& device) {
    restart(device);
    if (device.getTimeoutCount() < kTimeoutLimit) {
        device.setTimeoutCount(uint8_t(device.getTimeoutCount() + 1));
    } else {
        device.setPollState(kIgnored);
    }
}

bool versionReceived(VireoDevice& device, uint32_t version) {
    device.setTimeoutCount(0);
    if (device.getPollState() == kIgnored || device.getMcuVersion() != 0) {
        return false;
    }
    device.setMcuVersion(version);
    device.setPollState(kIdentified);
    return true;
}

bool nackReceived(VireoDevice& device) {
    if (device.getPollState() != kProduct || device.getMcuVersion() != 0) {
        return false;
    }
    device.setPollState(kIdentified);
    return true;
}

ReplyUse vireoInfoReceived(VireoDevices& list, const QString& name, const QString& model) {
    ReplyUse use;
    VireoDevice* device = awaitingRecord(
        list, name, [](const VireoDevice& d) { return d.getVireoModel().isEmpty(); }, &use);
    if (device) {
        device->setVireoModel(model);
        if (model.contains(kModelFamily)) {
            device->setPollState(kModel);
        } else {
            list.ignoreDevice(name);
        }
        list.emitVireoDevicesChanged();
    }
    return use;
}

ReplyUse productIdReceived(VireoDevices& list, const QString& name, const ProductInfo& product) {
    ReplyUse use;
    VireoDevice* device = awaitingRecord(
        list, name, [](const VireoDevice& d) { return d.getProductId().isEmpty(); }, &use);
    if (!device || device->getManufacturer().isEmpty()) {
        return use;
    }
    if (device->getManufacturer() == kMaker) {
        device->setProductId(product.id);
        device->setModelVersion(product.model_version);
        device->setModelName(product.model_name);
        device->setSoftwareVersion(product.software_version);
        device->setFirmwareVersion(product.firmware_version);
        device->setCapabilities(product.capabilities);
        device->setPollState(kProduct);
        device->setControlPath(kTextControlPath);
        list.emitVireoDevicesChanged();
    } else {
        list.ignoreDevice(name);
    }
    if ((device->getCapabilities() & kControlProtocolBit) == 0) {
        list.ignoreDevice(name);
    }
    return use;
}

ReplyUse macAddressReceived(VireoDevices& list, const QString& name, const QString& mac) {
    if (mac.isEmpty() || mac.at(0) == QChar(0)) {
        return ReplyUse::Unused;
    }
    ReplyUse use;
    VireoDevice* device = awaitingRecord(
        list, name, [](const VireoDevice&) { return true; }, &use);
    if (device) {
        device->setMacAddress(mac);
        list.emitVireoDevicesChanged();
        device->setPollState(kLocation);
    }
    return use;
}

ReplyUse mcuVersionReceived(VireoDevices& list, const QString& name, uint32_t version) {
    ReplyUse use;
    VireoDevice* device = awaitingRecord(
        list, name, [](const VireoDevice& d) { return d.getMcuVersion() == 0; }, &use);
    if (device) {
        device->setMcuVersion(version);
        device->setPollState(kIdentified);
        list.emitVireoDevicesChanged();
    }
    return use;
}

}  // namespace identification
