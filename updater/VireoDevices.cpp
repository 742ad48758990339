#include "VireoDevices.h"

#include <QMessageBox>

#include "Prompts.h"
#include "UpdateContext.h"
#include "VireoDevice.h"
#include "ZebResources.h"

namespace kolvo {

namespace {

const QString kSolano = QStringLiteral("Solano");

// "V" and the top byte, "." and the next byte.
QString byteVersion(uint32_t version) {
    return QStringLiteral("V%1.%2").arg(version >> 24).arg((version >> 16) & 0xFF);
}

// "V" and the high 16 bits, "." and the low 16 bits.
QString wordVersion(uint32_t version) {
    return QStringLiteral("V%1.%2").arg(version >> 16).arg(version & 0xFFFF);
}

}  // namespace

VireoDevices::VireoDevices(UpdateContext& context, QObject* parent)
    : QAbstractListModel(parent), m_context(context) {
    zebInitResources();
    m_checked = QIcon(QStringLiteral(":/images/checkbox_checked.png"));
    m_unchecked = QIcon(QStringLiteral(":/images/checkbox_unchecked.png"));
}

VireoDevices::~VireoDevices() {
    qDeleteAll(m_devices);
}

int VireoDevices::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows.size();
}

int VireoDevices::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant VireoDevices::data(const QModelIndex& index, int role) const {
    const VireoDevice* device = visibleDevice(index.row());
    if (!device || !index.isValid()) {
        return QVariant();
    }
    if (role == Qt::DecorationRole && index.column() == kSelectedColumn) {
        return device->isSelected() ? m_checked : m_unchecked;
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
    switch (index.column()) {
        case kNameColumn:
            return device->getName();
        case kAddressColumn:
            return device->getIpAddress().toString();
        case kModelVersionColumn:
            return byteVersion(device->getModelVersion());
        case kFirmwareVersionColumn:
            return byteVersion(device->getFirmwareVersion());
        case kMcuVersionColumn:
            return wordVersion(device->getMcuVersion());
        default:
            return QVariant();
    }
}

QVariant VireoDevices::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QVariant();
    }
    switch (section) {
        case kSelectedColumn:
            return QString();
        case kNameColumn:
            return QStringLiteral("Device Name");
        case kAddressColumn:
            return QStringLiteral("IP Address");
        case kModelVersionColumn:
            return QStringLiteral("Model Ver");
        case kFirmwareVersionColumn:
            return QStringLiteral("Firmware Ver");
        case kMcuVersionColumn:
            return QStringLiteral("Mcu Ver");
        case kProgressColumn:
            return QStringLiteral("Firmware Update Status");
        default:
            return QVariant();
    }
}

bool VireoDevices::appendDevice(VireoDevice* device) {
    VireoDevice* listed = findDeviceByName(device->getName(), nullptr);
    if (listed) {
        if (listed->getPollState() == VireoDevice::kPollNotUpdatable) {
            listed->setPollState(VireoDevice::kPollListed);
        }
    } else {
        device->setPollState(VireoDevice::kPollListed);
        m_devices.append(device);
    }
    refresh();
    return listed != nullptr;
}

void VireoDevices::markDeviceGone(const QString& name) {
    VireoDevice* device = findDeviceByName(name, nullptr);
    if (!device) {
        return;
    }
    device->setProductId(QByteArray());
    device->setIpAddress(QHostAddress());
    device->setMcuVersion(0);
    device->setPollState(VireoDevice::kPollNotUpdatable);
    refresh();
}

void VireoDevices::setDeviceAddress(VireoDevice* device, const QHostAddress& address) {
    device->setIpAddress(address);
    refresh();
}

VireoDevice* VireoDevices::findDeviceByName(const QString& name, int* index) const {
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

VireoDevice* VireoDevices::findDeviceByAddress(const QHostAddress& address, int* index) const {
    for (int i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i]->getIpAddress().isEqual(address, QHostAddress::TolerantConversion)) {
            if (index) {
                *index = i;
            }
            return m_devices[i];
        }
    }
    return nullptr;
}

QList<VireoDevice*> VireoDevices::getVisibleDevices() const {
    return m_rows.toList();
}

VireoDevice* VireoDevices::visibleDevice(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows[row] : nullptr;
}

void VireoDevices::clearDevices() {
    beginResetModel();
    qDeleteAll(m_devices);
    m_devices.clear();
    m_visible.clear();
    m_rows.clear();
    endResetModel();
}

void VireoDevices::setImageIds(const QByteArray& product_id, const QByteArray& vendor_id) {
    m_image_product_id = product_id;
    m_image_vendor_id = vendor_id;
}

bool VireoDevices::isShown(const VireoDevice& device) const {
    if (!device.getVireoModel().contains(kSolano)) {
        return false;
    }
    if (device.getPollState() != VireoDevice::kPollIdentified) {
        return device.getProgressValue() > 0;  // a device being updated stays
    }
    if (m_matching_override) {
        return true;
    }
    const QByteArray& product = device.getProductId();
    const QString vendor = device.getVendorId();
    return !m_image_product_id.isEmpty() && !m_image_vendor_id.isEmpty() && !product.isEmpty() &&
           !vendor.isEmpty() && product == m_image_product_id &&
           vendor == QString::fromLatin1(m_image_vendor_id);
}

void VireoDevices::refresh() {
    beginResetModel();
    m_visible.clear();
    int identified = 0;
    int selected = 0;
    for (VireoDevice* device : qAsConst(m_devices)) {
        if (isShown(*device)) {
            m_visible.insert(device->getName(), device);
        }
        const int state = device->getPollState();
        identified +=
            state == VireoDevice::kPollIdentified || state == VireoDevice::kPollNotUpdatable;
        selected += device->isSelected();
    }
    m_rows = m_visible.values().toVector();
    const int total = m_devices.size();
    m_identification_running = identified != total;
    emit enableWaitCursor(m_identification_running);
    const QString status =
        (m_matching_override ? QStringLiteral("[Matching override] ") : QString()) +
        QStringLiteral("Total: %1    Identified: %2    Updateable %3    Selected: %4")
            .arg(total)
            .arg(identified)
            .arg(m_rows.size())
            .arg(selected);
    emit updateStatus(status);
    emit enableSelectAllButtons(!m_rows.isEmpty());
    endResetModel();
    emit vireoDevicesChanged();
}

void VireoDevices::handleRowClick(QModelIndex idx) {
    if (m_context.isUpdateRunning() || !m_context.hasImage()) {
        return;
    }
    VireoDevice* device = visibleDevice(idx.row());
    if (device && !device->getProductId().isEmpty()) {
        if (device->isSelected()) {
            device->setSelected(false);
        } else if (device->getCommandPath() == VireoDevice::kNoDirectUdp) {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"),
                            QStringLiteral("Device does not support direct UDP commands.\n\n"
                                           "Re-program with Vireo firmware V3.0 or later"),
                            QMessageBox::Ok, m_context.dialogParent());
            m_context.prompts().runModal(box);
        } else {
            device->setSelected(true);
        }
    }
    const bool rows = !m_rows.isEmpty();
    emit enableStartUpdateButton(rows);
    emit enableCancelUpdateButton(rows);
    refresh();
}

void VireoDevices::resetProgressValues() {
    for (VireoDevice* device : qAsConst(m_devices)) {
        device->setProgressValue(VireoDevice::kNoProgress);
        device->setSelected(false);
    }
    refresh();
}

}  // namespace kolvo
