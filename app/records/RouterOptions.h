#pragma once

#include <QObject>
#include <QString>

// How the router treats one device: its name, and whether its capabilities are asked for once
// it is resolved.
class RouterOptions : public QObject {
public:
    explicit RouterOptions(QObject* parent = nullptr) : QObject(parent) {}

    QString deviceName() const { return m_device_name; }
    void setDeviceName(const QString& name) { m_device_name = name; }
    int queryCapabilities() const { return m_query_capabilities; }
    void setQueryCapabilities(int query) { m_query_capabilities = query; }

private:
    QString m_device_name;
    int m_query_capabilities = 1;
};
