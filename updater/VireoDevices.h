#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QHostAddress>
#include <QIcon>
#include <QList>
#include <QMap>
#include <QString>
#include <QVector>

namespace kolvo {

class UpdateContext;
class VireoDevice;

// Every device record, in order of arrival (owned), and the 7-column table of those the
// loaded image fits: a check mark for the selection, name, address, three versions and the
// push's progress. Builds the status line and asks for the buttons and the wait cursor.
class VireoDevices : public QAbstractListModel {
    Q_OBJECT
public:
    enum Column {
        kSelectedColumn = 0,
        kNameColumn,
        kAddressColumn,
        kModelVersionColumn,
        kFirmwareVersionColumn,
        kMcuVersionColumn,
        kProgressColumn,
        kColumnCount
    };

    explicit VireoDevices(UpdateContext& context, QObject* parent = nullptr);
    ~VireoDevices() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Takes the record, in poll state 0, unless one of that name is listed: then that one
    // stays (back from state 8 to 0) and the caller keeps the offered record. True when a
    // record of that name was listed.
    bool appendDevice(VireoDevice* device);
    // The record stays, in state 8, without product id, address and MCU version.
    void markDeviceGone(const QString& name);
    void setDeviceAddress(VireoDevice* device, const QHostAddress& address);
    VireoDevice* findDeviceByName(const QString& name, int* index) const;
    VireoDevice* findDeviceByAddress(const QHostAddress& address, int* index) const;
    QList<VireoDevice*> getAllDevices() const { return m_devices; }
    // The shown records, in row order.
    QList<VireoDevice*> getVisibleDevices() const;
    VireoDevice* visibleDevice(int row) const;
    void clearDevices();
    void setMatchingOverride(bool on) { m_matching_override = on; }
    bool matchingOverride() const { return m_matching_override; }
    // The loaded image's product id (decimal text) and vendor id (its 8 bytes); empty when
    // no image is loaded.
    void setImageIds(const QByteArray& product_id, const QByteArray& vendor_id);
    // Some record is not yet identified (state 7) or given up (state 8).
    bool identificationRunning() const { return m_identification_running; }
    // Recomputes which records are shown, the status line and the button requests.
    void refresh();

signals:
    void vireoDevicesChanged();
    void updateStatus(QString status);
    void enableStartUpdateButton(bool enable);
    void enableCancelUpdateButton(bool enable);
    void enableSelectAllButtons(bool enable);
    void enableWaitCursor(bool enable);

public slots:
    void handleRowClick(QModelIndex idx);
    void resetProgressValues();

private:
    bool isShown(const VireoDevice& device) const;

    UpdateContext& m_context;
    QByteArray m_image_product_id;
    QByteArray m_image_vendor_id;
    QList<VireoDevice*> m_devices;
    QMap<QString, VireoDevice*> m_visible;
    QVector<VireoDevice*> m_rows;  // m_visible's records in row order
    bool m_matching_override = false;
    bool m_identification_running = false;
    QIcon m_checked;
    QIcon m_unchecked;
};

}  // namespace kolvo
