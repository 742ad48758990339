#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "UpdateContext.h"
#include "VireoTftp.h"

class QMutex;

namespace kolvo {

class VireoDevices;

// The user's side of an update: choosing and checking a firmware image, selecting devices,
// the device-matching override, confirming, starting and cancelling the push, its end and the
// way back to discovery. Holds the image, its block count, the update-running flag and the
// pusher; the controller owns it beside the device table and passes its signals on to the
// main window.
class UpdateRun : public QObject, public UpdateContext {
    Q_OBJECT
public:
    // `mutex` guards the device table against the discovery drivers.
    UpdateRun(VireoDevices& devices, QMutex& mutex, Prompts& prompts, QWidget* dialog_parent,
              const VireoTftpTiming& timing = VireoTftpTiming(), QObject* parent = nullptr);
    ~UpdateRun() override;

    VireoDevices& devices() override { return m_devices; }
    bool isUpdateRunning() const override { return m_update_running; }
    bool hasImage() const override { return !m_image_path.isEmpty(); }
    int imageBlockCount() const override { return m_image_block_count; }
    void setImageBlockCount(int count) override { m_image_block_count = count; }
    void reportStatus(const QString& status) override { emit updateStatus(status); }
    Prompts& prompts() override { return m_prompts; }
    QWidget* dialogParent() override { return m_dialog_parent; }

    QString imagePath() const { return m_image_path; }
    int imageMajor() const { return m_image_major; }
    int imageMinor() const { return m_image_minor; }
    QByteArray imageProductId() const { return m_image_product_id; }
    QByteArray imageVendorId() const { return m_image_vendor_id; }
    VireoTftp* pusher() const { return m_pusher; }

signals:
    void guiUpdateFileInfo(QString filename, QString productId, QString major, QString minor);
    void updateStatus(QString status);
    void enableBackButton(bool enable);
    void enableStartUpdateButton(bool enable);
    void enableCancelUpdateButton(bool enable);
    void enableSelectAllButtons(bool enable);
    // Connected to the table's resetProgressValues.
    void clearProgressValues();
    // "Continue": restart the network side now (stop, pause, start).
    void restartNetwork();

public slots:
    void loadImageFile();
    void selectAllDevices();
    void deselectAllDevices();
    void handleOverrideMatching(bool on);
    void startFirmwareUpdates();
    void cancelFirmwareUpdates();
    void finishedFirmwareUpdates() override;
    void backToMainWindow();

private:
    void showBox(const QString& title, const QString& text);

    VireoDevices& m_devices;
    QMutex& m_mutex;
    Prompts& m_prompts;
    QWidget* const m_dialog_parent;
    const VireoTftpTiming m_timing;
    QString m_image_path;
    int m_image_major = 0;
    int m_image_minor = 0;
    QByteArray m_image_product_id;
    QByteArray m_image_vendor_id;
    int m_image_block_count = 1;
    bool m_update_running = false;
    VireoTftp* m_pusher = nullptr;
};

}  // namespace kolvo
