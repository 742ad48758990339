#pragma once

#include <QObject>
#include <QString>

// The routing record of one device, kept by the router driver. Holds the device name that
// device records match against.
class RouterModel : public QObject {
    Q_OBJECT
public:
    explicit RouterModel(QObject* parent = nullptr);

    QString getDeviceName() const { return m_device_name; }
    void setDeviceName(const QString& name) { m_device_name = name; }

private:
    QString m_device_name;
};
