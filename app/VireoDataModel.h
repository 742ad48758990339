#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <QPointer>
#include <QVector>

class VireoDevice;
class VireoDevices;

// The identified devices as table rows: a status light, name, location, IP and MAC address.
class VireoDataModel : public QAbstractListModel {
    Q_OBJECT
public:
    VireoDataModel(VireoDevices* devices, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    VireoDevices* getVireoDevices() const { return m_devices; }

public slots:
    void invalidateModel();
    void handleRowClick(QModelIndex idx);

private:
    void fillRows();
    QIcon light(const VireoDevice& device) const;

    VireoDevices* m_devices;
    // Records deleted before the next reset read as empty rows.
    QVector<QPointer<VireoDevice>> m_rows;
    QIcon m_green;
    QIcon m_yellow;
    QIcon m_red;
};
