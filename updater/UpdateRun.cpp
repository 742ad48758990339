#include "UpdateRun.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QMutexLocker>
#include <QSettings>

#include "FirmwareImage.h"
#include "Prompts.h"
#include "Settings.h"
#include "VireoDevice.h"
#include "VireoDevices.h"

namespace kolvo {

namespace {

const QString kLastFolder = QStringLiteral("lastFolder");

}  // namespace

UpdateRun::UpdateRun(VireoDevices& devices, QMutex& mutex, Prompts& prompts, QWidget* dialog_parent,
                     const VireoTftpTiming& timing, QObject* parent)
    : QObject(parent),
      m_devices(devices),
      m_mutex(mutex),
      m_prompts(prompts),
      m_dialog_parent(dialog_parent),
      m_timing(timing) {
    connect(this, &UpdateRun::clearProgressValues, &m_devices, &VireoDevices::resetProgressValues);
}

UpdateRun::~UpdateRun() {
    delete m_pusher;
}

void UpdateRun::loadImageFile() {
    if (m_update_running) {
        return;
    }
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    const QString folder = settings.value(kLastFolder, QDir::homePath()).toString();
    const QString path =
        m_prompts.openFileName(m_dialog_parent, QStringLiteral("Open Firmware Image"), folder,
                               QStringLiteral("BIN (*.bin);;All (*.*)"));
    if (path.isEmpty()) {
        return;
    }
    // Checked before anything changes: the bytes checked here are the bytes pushed.
    const std::optional<FirmwareImage> image = FirmwareImage::load(path);
    if (!image) {
        showBox(QStringLiteral("Invalid Firmware Image"),
                QStringLiteral("The file could not be read or is not a valid firmware image."));
        return;
    }
    settings.setValue(kLastFolder, QFileInfo(path).absolutePath());
    settings.sync();

    delete m_pusher;
    m_pusher = new VireoTftp(*this, path, image->bytes, m_timing, this);

    m_image_path = path;
    m_image_major = image->major;
    m_image_minor = image->minor;
    m_image_product_id = image->product_id;
    m_image_vendor_id = image->vendor_id;
    m_devices.setImageIds(m_image_product_id, m_image_vendor_id);

    emit guiUpdateFileInfo(image->fileName(), QString::fromLatin1(m_image_product_id),
                           QString::number(m_image_major), QString::number(m_image_minor));
    emit clearProgressValues();
    m_devices.refresh();
    emit enableSelectAllButtons(true);
    emit enableStartUpdateButton(true);
    emit enableCancelUpdateButton(false);
}

void UpdateRun::selectAllDevices() {
    bool skipped = false;
    {
        QMutexLocker lock(&m_mutex);
        for (VireoDevice* device : m_devices.getVisibleDevices()) {
            if (device->getCommandPath() == VireoDevice::kNoDirectUdp) {
                skipped = true;
            } else {
                device->setSelected(true);
            }
        }
    }
    if (skipped) {
        showBox(QStringLiteral("Warning"),
                QStringLiteral("Some devices could not be updated and weren't selected.\n"
                               "Because they do not support direct UDP commands.\n\n"));
    }
    m_devices.refresh();
    if (hasImage()) {
        emit enableStartUpdateButton(true);
        emit enableCancelUpdateButton(true);
    }
}

void UpdateRun::deselectAllDevices() {
    {
        QMutexLocker lock(&m_mutex);
        for (VireoDevice* device : m_devices.getVisibleDevices()) {
            device->setSelected(false);
        }
    }
    m_devices.refresh();
    emit enableStartUpdateButton(false);
    emit enableCancelUpdateButton(false);
}

void UpdateRun::handleOverrideMatching(bool on) {
    m_devices.setMatchingOverride(on);
    deselectAllDevices();
    m_devices.refresh();
    emit enableSelectAllButtons(true);
}

void UpdateRun::startFirmwareUpdates() {
    if (!m_pusher) {
        return;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Starting MCU Firmware Update"),
                    QStringLiteral("Starting MCU firmware update."),
                    QMessageBox::Yes | QMessageBox::No, m_dialog_parent);
    box.setInformativeText(QStringLiteral(
        "WARNING!  This action can result in the device becoming inoperable, especially if\n "
        "\"Override device matching\" has been selected.\n\nAre you sure you want to proceed?"));
    if (m_prompts.runModal(box) != QMessageBox::Yes) {
        return;
    }
    m_update_running = true;
    emit updateStatus(QStringLiteral("Starting Firmware Updates..."));
    emit enableSelectAllButtons(false);
    emit enableBackButton(false);
    emit enableStartUpdateButton(false);
    emit enableCancelUpdateButton(true);
    m_pusher->startFirmwareUpdates();
}

void UpdateRun::cancelFirmwareUpdates() {
    if (m_pusher) {
        m_pusher->cancelFirmwareUpdates();
    }
    emit updateStatus(QStringLiteral("Canceling operations"));
}

void UpdateRun::finishedFirmwareUpdates() {
    emit updateStatus(
        QStringLiteral("Update(s) have completed, click continue or close application"));
    emit enableSelectAllButtons(false);
    emit enableBackButton(true);
    emit enableStartUpdateButton(false);
    emit enableCancelUpdateButton(false);
    // Identify the updated devices again, to read back their new versions.
    QMutexLocker lock(&m_mutex);
    for (VireoDevice* device : m_devices.getVisibleDevices()) {
        device->setProductId(QByteArray());
        device->setMcuVersion(0);
        device->setVireoModel(QString());
        device->setPollState(VireoDevice::kPollStart);
    }
}

void UpdateRun::backToMainWindow() {
    m_update_running = false;
    m_image_path.clear();
    m_image_major = 0;
    m_image_minor = 0;
    m_image_product_id.clear();
    m_devices.setImageIds(m_image_product_id, m_image_vendor_id);

    m_devices.setMatchingOverride(false);
    deselectAllDevices();
    m_devices.refresh();
    emit enableSelectAllButtons(true);

    emit guiUpdateFileInfo(QStringLiteral("<EMPTY>"), QString(), QString(), QString());
    emit updateStatus(QString());
    emit enableSelectAllButtons(false);
    emit enableBackButton(false);
    emit enableStartUpdateButton(false);
    emit enableCancelUpdateButton(false);
    emit clearProgressValues();

    emit restartNetwork();
    m_devices.refresh();
}

void UpdateRun::showBox(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, m_dialog_parent);
    m_prompts.runModal(box);
}

}  // namespace kolvo
