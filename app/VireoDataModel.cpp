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
    fillRows(rowsNow());
    connect(m_devices, &VireoDevices::vireoDevicesChanged, this, &VireoDataModel::invalidateModel);
}

int VireoDataModel::rowCount(const QModelIndex&) const {
    return m_rows.size();
}

int VireoDataModel::columnCount(const QModelIndex&) const {
    return kColumns;
}

bool VireoDataModel::Shown::operator==(const Shown& o) const {
    return device == o.device && name == o.name && location == o.location && address == o.address &&
           mac == o.mac && light == o.light && selected == o.selected;
}

QVector<VireoDataModel::Shown> VireoDataModel::rowsNow() const {
    QVector<Shown> shown;
    for (const VireoDevice* device : m_devices->getDevices()) {
        if (!device->getProductId().isEmpty()) {
            shown.append({device, device->getName(), device->getLocation(), device->getIpAddress(),
                          device->getMacAddress(), lightOf(*device), device->isSelected()});
        }
    }
    return shown;
}

void VireoDataModel::fillRows(const QVector<Shown>& shown) {
    m_shown = shown;
    m_rows.clear();
    for (const Shown& row : shown) {
        m_rows.append(const_cast<VireoDevice*>(row.device));
    }
}

VireoDataModel::Light VireoDataModel::lightOf(const VireoDevice& device) {
    if (device.getAmpStatus1() == 1 || device.getAmpStatus2() == 1 || device.getAmpStatus3() != 0) {
        return Light::Red;
    }
    return device.getPollState() == kPollIdentified ? Light::Green : Light::Yellow;
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
            if (index.column() != 0) {
                return {};
            }
            switch (lightOf(device)) {
                case Light::Green:
                    return m_green;
                case Light::Yellow:
                    return m_yellow;
                case Light::Red:
                    return m_red;
            }
            return {};
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

// A status announcement changes the list every few seconds per device, mostly to what it was:
// only a change a view can see costs a reset (and the repaint of the table).
void VireoDataModel::invalidateModel() {
    const QVector<Shown> shown = rowsNow();
    if (shown == m_shown) {
        return;
    }
    beginResetModel();
    fillRows(shown);
    endResetModel();
}

void VireoDataModel::handleRowClick(QModelIndex) {}
