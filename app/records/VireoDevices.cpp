#include "VireoDevices.h"

#include "VireoDevice.h"

namespace {
constexpr int kPollStart = 1;
}

VireoDevices::VireoDevices(QObject* parent) : QObject(parent) {}

VireoDevices::~VireoDevices() {
    clear();
}

bool VireoDevices::appendDevice(VireoDevice* device) {
    VireoDevice* existing = findByName(device->getName(), nullptr);
    if (existing) {
        if (existing->getPollState() == VireoDevice::kPollIgnored) {
            existing->setPollState(kPollStart);
        }
    } else {
        m_devices.append(device);
        device->setPollState(kPollStart);
    }
    emit vireoDevicesChanged();
    return existing != nullptr;
}

void VireoDevices::clear() {
    qDeleteAll(m_devices);
    m_devices.clear();
}

VireoDevice* VireoDevices::findByIpAddress(const QHostAddress& address, int* index) const {
    const quint32 wanted = address.toIPv4Address();
    for (int i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i]->getIpAddress().toIPv4Address() == wanted) {
            if (index) {
                *index = i;
            }
            return m_devices[i];
        }
    }
    return nullptr;
}

VireoDevice* VireoDevices::findByName(const QString& name, int* index) const {
    for (int i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i]->getName() == name) {
            if (index) {
                *index = i;
            }
            return m_devices[i];
        }
    }
    return nullptr;
}

void VireoDevices::ignoreDevice(const QString& name) {
    if (VireoDevice* device = findByName(name, nullptr)) {
        device->setPollState(VireoDevice::kPollIgnored);
        emit vireoDevicesChanged();
    }
}

void VireoDevices::setDeviceIpAddress(VireoDevice* device, const QHostAddress& address) {
    device->setIpAddress(address);
    emit vireoDevicesChanged();
}
