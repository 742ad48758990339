#include "VireoDataModel.h"

#include <QBrush>
#include <QPalette>

#include "VireoDevice.h"
#include "VireoDevices.h"
#include "ZebResources.h"

namespace {

constexpr int kColumns = 5;
constexpr int kPollIdentified = 8;

}  // namespace

VireoDataModel::VireoDataModel(VireoDevices* devices, QObject* parent)
    : QAbstractListModel(parent), m_devices(devices) {
    zebInitResources();
    m_green = QIcon(QStringLiteral(":/images/green_led.png"));
    m_yellow = QIcon(QStringLiteral(":/images/yellow_led.png"));
    m_red = QIcon(QStringLiteral(":/images/red_led.png"));
    fillRows();
    connect(m_devices, &VireoDevices::vireoDevicesChanged, this, &VireoDataModel::invalidateModel);
}

int VireoDataModel::rowCount(const QModelIndex&) const {
    return m_rows.size();
}

int VireoDataModel::columnCount(const QModelIndex&) const {
    return kColumns;
}

void VireoDataModel::fillRows() {
    m_rows.clear();
    for (VireoDevice* device : m_devices->getDevices()) {
        if (!device->getProductId().isEmpty()) {
            m_rows.append(device);
        }
    }
}

QIcon VireoDataModel::light(const VireoDevice& device) const {
    if (device.getAmpStatus1() == 1 || device.getAmpStatus2() == 1 || device.getAmpStatus3() != 0) {
        return m_red;
    }
    return device.getPollState() == kPollIdentified ? m_green : m_yellow;
}

QVariant VireoDataModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || !m_rows[index.row()]) {
        return {};
    }
    const VireoDevice& device = *m_rows[index.row()];
    switch (role) {
        case Qt::TextAlignmentRole:
            return int(Qt::AlignCenter);
        case Qt::DecorationRole:
            return index.column() == 0 ? QVariant(light(device)) : QVariant();
        case Qt::BackgroundRole:
            return device.isSelected() ? QPalette().brush(QPalette::Button)
                                       : QPalette().brush(QPalette::NoRole);
        case Qt::DisplayRole:
            switch (index.column()) {
                case 1:
                    return device.getName();
                case 2:
                    return device.getLocation();
                case 3:
                    return device.getIpAddress().toString();
                case 4:
                    return device.getMacAddress();
                default:
                    return {};
            }
        default:
            return {};
    }
}

QVariant VireoDataModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[kColumns] = {"", "Device Name", "Location", "IP Address",
                                                   "Mac Address"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumns) {
        return {};
    }
    return QString::fromLatin1(kHeaders[section]);
}

void VireoDataModel::invalidateModel() {
    beginResetModel();
    fillRows();
    endResetModel();
}

void VireoDataModel::handleRowClick(QModelIndex) {}
