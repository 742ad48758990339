#pragma once

#include <QObject>
#include <QPointer>

#include "VireoDevice.h"

// One row of the multi-device loader: a device of the file's model, its tick and how far the
// run got with it. The record may be deleted by a refresh meanwhile; then the device is null.
class MdslDev : public QObject {
    Q_OBJECT
public:
    enum Status { kPending = 0, kDone = 1, kFailed = 2 };

    explicit MdslDev(VireoDevice* device = nullptr);

    VireoDevice* getDevice() const { return m_device; }
    int getStatus() const { return m_status; }
    void setStatus(int status) { m_status = status; }
    int getProgress() const { return m_progress; }
    void setProgress(int progress) { m_progress = progress; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected) { m_selected = selected; }

private:
    QPointer<VireoDevice> m_device;
    int m_status = kPending;
    int m_progress = 0;
    bool m_selected = false;
};
