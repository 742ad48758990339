#pragma once

#include <QDialog>
#include <QList>
#include <QNetworkInterface>
#include <QString>

class QComboBox;

// Lets the user choose the wired IPv4 interface on which devices are found; keeps the
// interface index of the chosen entry.
class NetworkInterfaceDialog : public QDialog {
    Q_OBJECT
public:
    NetworkInterfaceDialog(QWidget* parent, int preselectedIndex);

    int getSelectedIndex() const { return m_selected_index; }
    QString getCurrentText() const;

    // Whether an address of an interface is offered: IPv4, not loopback, and neither a wireless
    // nor a Bluetooth adapter (by its name, or by the kind the interface list gives it).
    static bool isListed(const QString& address, const QString& name, bool wireless_or_bluetooth);

public slots:
    void setSelectedIndex(int idx);

private:
    void fill();
    void preselect(int index);

    QComboBox* m_combo = nullptr;
    QList<QNetworkInterface> m_interfaces;
    int m_selected_index = 0;
};
