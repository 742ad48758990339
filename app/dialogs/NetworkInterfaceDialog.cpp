#include "NetworkInterfaceDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QIcon>
#include <QSet>
#include <QVBoxLayout>

#include <cstdlib>

#include "platform/aud_interface.h"

namespace {

// Indexes of the interfaces the interface list classes as wireless or Bluetooth: their names
// here do not say so.
QSet<int> wirelessOrBluetooth() {
    QSet<int> indexes;
    aud_interface* list = nullptr;
    size_t count = 0;
    if (aud_interface_list(&list, &count) != AUD_SUCCESS) {
        return indexes;
    }
    for (size_t i = 0; i < count; ++i) {
        if (list[i].kind == AUD_INTERFACE_KIND_WIRELESS ||
            list[i].kind == AUD_INTERFACE_KIND_BLUETOOTH) {
            indexes.insert(int(list[i].index));
        }
    }
    std::free(list);
    return indexes;
}

}  // namespace

NetworkInterfaceDialog::NetworkInterfaceDialog(QWidget* parent, int preselectedIndex)
    : QDialog(parent), m_interfaces(QNetworkInterface::allInterfaces()) {
    setObjectName(QStringLiteral("NetworkInterfaceDialog"));
    auto* outer = new QVBoxLayout(this);
    outer->setObjectName(QStringLiteral("verticalLayout_2"));
    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("groupBox"));
    group->setAlignment(Qt::AlignCenter);
    auto* inner = new QVBoxLayout(group);
    inner->setObjectName(QStringLiteral("verticalLayout"));
    m_combo = new QComboBox(group);
    m_combo->setObjectName(QStringLiteral("comboBox"));
    inner->addWidget(m_combo);
    outer->addWidget(group);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    outer->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setWindowTitle(tr("Network Interface Selection"));
    group->setTitle(tr("Choose Network Interface"));

    setModal(true);
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint) &
                   ~(Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint));
    fill();
    connect(m_combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &NetworkInterfaceDialog::setSelectedIndex);
    preselect(preselectedIndex);
}

bool NetworkInterfaceDialog::isListed(const QString& address, const QString& name,
                                      bool wireless_or_bluetooth) {
    return !address.contains(QLatin1Char(':')) && !address.startsWith(QLatin1String("127")) &&
           !name.contains(QLatin1String("Wireless")) &&
           !name.contains(QLatin1String("Bluetooth")) && !wireless_or_bluetooth;
}

void NetworkInterfaceDialog::fill() {
    const QSet<int> excluded = wirelessOrBluetooth();
    for (const QNetworkInterface& interface : m_interfaces) {
        const QString name = interface.humanReadableName();
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QString address = entry.ip().toString();
            if (isListed(address, name, excluded.contains(interface.index()))) {
                m_combo->addItem(QIcon(),
                                 QStringLiteral("[ ") + address + QStringLiteral(" ]   ") + name,
                                 interface.index());
            }
        }
    }
}

void NetworkInterfaceDialog::preselect(int index) {
    const int found = m_combo->findData(index);
    m_combo->setCurrentIndex(found >= 0 ? found : 0);
    setSelectedIndex(m_combo->currentIndex());
}

void NetworkInterfaceDialog::setSelectedIndex(int idx) {
    m_selected_index = m_combo->itemData(idx).toInt();
}

QString NetworkInterfaceDialog::getCurrentText() const {
    return m_combo->currentText();
}
