#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <QString>

#include <map>
#include <memory>

class MdslDev;
class Mdsl_Window;
class VireoDevices;

// The loader's rows: the maker's devices whose model matches the preset file, by name.
// Columns: tick, device name, progress.
class DevList : public QAbstractListModel {
    Q_OBJECT
public:
    explicit DevList(Mdsl_Window* window);
    ~DevList() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    VireoDevices* getVireoDevices() const { return m_devices; }
    void setVireoDevices(VireoDevices* devices) { m_devices = devices; }
    // The row's object, or null past the end.
    MdslDev* row(int index) const;
    // The first ticked row still pending, in name order.
    MdslDev* nextPending() const;
    bool anyFailed() const;
    // Ticks or unticks every row.
    void setAllSelected(bool selected);
    // Tells the views that everything may have changed.
    void reset();

public slots:
    void handleDevicesChanged();
    void handleRowClick(QModelIndex idx);

private:
    // The row's name (kept when the record is deleted) and object.
    const std::pair<const QString, std::unique_ptr<MdslDev>>* entry(int index) const;

    Mdsl_Window* m_window;
    VireoDevices* m_devices = nullptr;
    std::map<QString, std::unique_ptr<MdslDev>> m_rows;
    QIcon m_checked;
    QIcon m_unchecked;
};
