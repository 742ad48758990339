#pragma once

#include <QAbstractListModel>
#include <QHostAddress>
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
    // Resets the model when what it shows has changed.
    void invalidateModel();
    void handleRowClick(QModelIndex idx);

private:
    enum class Light { Green, Yellow, Red };

    // What a row shows of its record.
    struct Shown {
        const VireoDevice* device;
        QString name;
        QString location;
        QHostAddress address;
        QString mac;
        Light light;
        bool selected;
        bool operator==(const Shown& o) const;
    };

    QVector<Shown> rowsNow() const;
    void fillRows(const QVector<Shown>& shown);
    static Light lightOf(const VireoDevice& device);

    VireoDevices* m_devices;
    // Records deleted before the next reset read as empty rows.
    QVector<QPointer<VireoDevice>> m_rows;
    QVector<Shown> m_shown;
    QIcon m_green;
    QIcon m_yellow;
    QIcon m_red;
};
