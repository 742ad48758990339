#pragma once

#include <gtest/gtest.h>

#include <QMutex>
#include <QSettings>
#include <QTemporaryDir>

#include "FakePrompts.h"
#include "TestImages.h"
#include "updater/Settings.h"
#include "updater/UpdateRun.h"
#include "updater/VireoDevice.h"
#include "updater/VireoDevices.h"

// An update run on its own device table, with its settings in a folder of the test's own and
// its dialogs answered from a script.
class RunFixture : public ::testing::Test {
protected:
    RunFixture() { qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8()); }

    static kolvo::VireoTftpTiming shortTiming() {
        kolvo::VireoTftpTiming timing;
        timing.command_pause_ms = 20;
        timing.ack_timeout_ms = 1000;
        timing.resend_pause_ms = 10;
        timing.end_pause_ms = 10;
        return timing;
    }

    // Loads `bytes` written to `name` through the file dialog.
    void load(const QByteArray& bytes, const QString& name = QStringLiteral("fw_test.bin")) {
        m_prompts.file_name = writeFile(m_dir.filePath(name), bytes);
        m_run.loadImageFile();
    }

    kolvo::VireoDevice* addDevice(const QString& name, const QString& address,
                                  const QByteArray& product_id = "10122550007") {
        auto* device = new kolvo::VireoDevice;
        device->setName(name);
        m_devices.appendDevice(device);
        device->setIpAddress(QHostAddress(address));
        device->setVendorId(QStringLiteral("Corvanti"));
        device->setVireoModel(QStringLiteral("Solano 2"));
        device->setProductId(product_id);
        device->setCommandPath(2);
        device->setMcuVersion(0x00010000);
        device->setPollState(kolvo::VireoDevice::kPollIdentified);
        m_devices.refresh();
        return device;
    }

    QString lastFolder() const {
        return QSettings(kolvo::settingsFilePath(), QSettings::IniFormat)
            .value(QStringLiteral("lastFolder"))
            .toString();
    }

    QTemporaryDir m_dir;
    QMutex m_mutex;
    FakePrompts m_prompts;
    kolvo::VireoDevices m_devices{m_run};
    kolvo::UpdateRun m_run{m_devices, m_mutex, m_prompts, nullptr, shortTiming()};
};
