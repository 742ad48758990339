#pragma once

#include <QObject>

#include "routing/dr_devices.h"

// One slot for an outstanding routing request of a device: the request id the routing API
// gave (null while the slot is free) and what the request is for.
class RouterRequests : public QObject {
public:
    enum { kDescriptionSize = 64 };

    explicit RouterRequests(QObject* parent = nullptr) : QObject(parent) {}

    bool isFree() const { return m_id == nullptr; }
    dr_request_id id() const { return m_id; }
    const char* description() const { return m_description; }
    // Takes the slot for a request of this description (at most 63 characters are kept).
    void take(const char* description);
    void setId(dr_request_id id) { m_id = id; }
    void release();

private:
    dr_request_id m_id = nullptr;
    char m_description[kDescriptionSize] = {};
};
