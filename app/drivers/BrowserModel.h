#pragma once

#include <QObject>
#include <QString>

struct db_browse;

// The record that every report of the browse driver overwrites: the browse it runs, the name of
// the device of the latest report and the manufacturer id of the latest report that had one.
// A member of the driver; every browse signal carries its address.
class BrowserModel : public QObject {
    Q_OBJECT
public:
    explicit BrowserModel(QObject* parent = nullptr);
    // Releases the browse.
    ~BrowserModel() override;

    db_browse* browse() const { return m_browse; }
    void setBrowse(db_browse* browse) { m_browse = browse; }
    // Stops and deletes the browse, if any.
    void releaseBrowse();

    const QString& deviceName() const { return m_device_name; }
    void setDeviceName(const QString& name) { m_device_name = name; }
    const QString& vendorId() const { return m_vendor_id; }
    void setVendorId(const QString& id) { m_vendor_id = id; }

private:
    db_browse* m_browse = nullptr;
    QString m_device_name;
    QString m_vendor_id;
};
