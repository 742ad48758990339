#pragma once

#include <QString>

#include <vector>

#include "FakePrompts.h"
#include "updater/UpdateContext.h"
#include "updater/VireoDevice.h"
#include "updater/VireoDevices.h"

// Stands where the controller will be: owns the device table, keeps the block count and the
// flags, and records the status lines and the ends of runs.
class StandIn : public kolvo::UpdateContext {
public:
    StandIn() : table(*this) {}

    kolvo::VireoDevices& devices() override { return table; }
    bool isUpdateRunning() const override { return running; }
    bool hasImage() const override { return image; }
    int imageBlockCount() const override { return blocks; }
    void setImageBlockCount(int count) override { blocks = count; }
    void reportStatus(const QString& status) override { statuses.push_back(status); }
    void finishedFirmwareUpdates() override { ++finished; }
    Prompts& prompts() override { return boxes; }
    QWidget* dialogParent() override { return nullptr; }

    // An identified "Solano" device of the maker, listed and shown for the test image.
    kolvo::VireoDevice* addDevice(const QString& name, const QString& address,
                                  bool selected = true) {
        auto* device = new kolvo::VireoDevice;
        device->setName(name);
        table.appendDevice(device);
        if (!address.isEmpty()) {
            device->setIpAddress(QHostAddress(address));
        }
        device->setVendorId(QStringLiteral("Corvanti"));
        device->setVireoModel(QStringLiteral("Solano 2"));
        device->setProductId("10122550007");
        device->setCommandPath(2);
        device->setMcuVersion(0x00010000);
        device->setPollState(kolvo::VireoDevice::kPollIdentified);
        device->setSelected(selected);
        table.refresh();
        return device;
    }

    FakePrompts boxes;
    kolvo::VireoDevices table;
    bool running = false;
    bool image = true;
    int blocks = 1;
    int finished = 0;
    std::vector<QString> statuses;
};
