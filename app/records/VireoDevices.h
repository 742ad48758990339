#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QVector>

class VireoDevice;

// The list of every device record, in insertion order. Owns the records.
class VireoDevices : public QObject {
    Q_OBJECT
public:
    explicit VireoDevices(QObject* parent = nullptr);
    ~VireoDevices() override;

    // True when a record of that name exists (then the caller keeps the offered one).
    bool appendDevice(VireoDevice* device);
    void clear();
    VireoDevice* findByIpAddress(const QHostAddress& address, int* index) const;
    VireoDevice* findByName(const QString& name, int* index) const;
    QVector<VireoDevice*> getDevices() const { return m_devices; }
    void ignoreDevice(const QString& name);
    void setDeviceIpAddress(VireoDevice* device, const QHostAddress& address);
    void emitVireoDevicesChanged() { emit vireoDevicesChanged(); }

signals:
    void vireoDevicesChanged();

private:
    QVector<VireoDevice*> m_devices;
};
