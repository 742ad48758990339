#include "DevList.h"

#include <QColor>

#include <iterator>

#include "MdslDev.h"
#include "Mdsl_Window.h"
#include "PresetFile.h"
#include "VireoDevice.h"
#include "VireoDevices.h"
#include "ZEB_Window.h"
#include "ZebResources.h"

namespace {

constexpr int kColumns = 3;
const QString kMaker = QStringLiteral("Corvanti");

}  // namespace

DevList::DevList(Mdsl_Window* window) : QAbstractListModel(window), m_window(window) {
    zebInitResources();
    m_checked = QIcon(QStringLiteral(":/images/checkbox_checked"));
    m_unchecked = QIcon(QStringLiteral(":/images/checkbox_unchecked.png"));
}

DevList::~DevList() = default;

int DevList::rowCount(const QModelIndex&) const {
    return m_devices ? int(m_rows.size()) : 0;
}

int DevList::columnCount(const QModelIndex&) const {
    return kColumns;
}

const std::pair<const QString, std::unique_ptr<MdslDev>>* DevList::entry(int index) const {
    if (index < 0 || index >= int(m_rows.size())) {
        return nullptr;
    }
    return &*std::next(m_rows.begin(), index);
}

MdslDev* DevList::row(int index) const {
    const auto* found = entry(index);
    return found ? found->second.get() : nullptr;
}

MdslDev* DevList::nextPending() const {
    for (const auto& [name, dev] : m_rows) {
        if (dev->isSelected() && dev->getStatus() == MdslDev::kPending) {
            return dev.get();
        }
    }
    return nullptr;
}

bool DevList::anyFailed() const {
    for (const auto& [name, dev] : m_rows) {
        if (dev->getStatus() == MdslDev::kFailed) {
            return true;
        }
    }
    return false;
}

void DevList::setAllSelected(bool selected) {
    for (auto& [name, dev] : m_rows) {
        dev->setSelected(selected);
    }
    reset();
}

void DevList::reset() {
    beginResetModel();
    endResetModel();
}

// Only devices of the file's model are attached: a device the loader does not list is never
// touched, not even by the read-back that attaching does.
void DevList::handleDevicesChanged() {
    beginResetModel();
    m_rows.clear();
    if (m_devices && !m_window->isFileEmpty()) {
        const QByteArray header = m_window->getFileHeader();
        ZEB_Window* window = m_window->deviceWindow();
        for (VireoDevice* device : m_devices->getDevices()) {
            if (device->getManufacturer() != kMaker ||
                !presetfile::isFor(header, device->getModelName())) {
                continue;
            }
            if (window) {
                window->setDevice(device);
                window->stopPeriodicUpdates();
            }
            m_rows[device->getName()] = std::make_unique<MdslDev>(device);
            if (window) {
                window->setDevice(nullptr);
            }
        }
    }
    endResetModel();
}

void DevList::handleRowClick(QModelIndex idx) {
    MdslDev* dev = row(idx.row());
    if (!m_devices || !dev) {
        return;
    }
    beginResetModel();
    dev->setSelected(!dev->isSelected());
    endResetModel();
}

QVariant DevList::data(const QModelIndex& index, int role) const {
    const auto* found = m_devices && index.isValid() ? entry(index.row()) : nullptr;
    if (!found) {
        return {};
    }
    const MdslDev& dev = *found->second;
    if (index.column() == 0 && role == Qt::DecorationRole) {
        return dev.isSelected() ? m_checked : m_unchecked;
    }
    if (index.column() == 1 && role == Qt::DisplayRole) {
        return found->first;
    }
    if (index.column() == 1 && role == Qt::ForegroundRole && dev.getStatus() == MdslDev::kFailed) {
        return QColor(Qt::red);
    }
    return {};
}

QVariant DevList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case 0:
            return QString();
        case 1:
            return QStringLiteral("Device Name");
        case 2:
            return QStringLiteral("Progress");
        default:
            return {};
    }
}
