#include <QFile>
#include <QPointer>
#include <QSignalSpy>

#include "RunFixture.h"

namespace {

using kolvo::UpdateRun;
using kolvo::VireoDevice;

struct HeaderCase {
    const char* what;
    int size;
    QByteArray header;  // from 0x184 on
    const char* product_id;
    const char* major;
    const char* minor;
};

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

class ImageHeaders : public RunFixture, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(ImageHeaders, ShowTheirFields) {
    const HeaderCase& c = GetParam();
    QSignalSpy info(&m_run, &UpdateRun::guiUpdateFileInfo);
    load(testImage(c.size, c.header));
    ASSERT_EQ(info.count(), 1) << c.what;
    EXPECT_EQ(info[0].at(0).toString(), QStringLiteral("fw_test.bin"));
    EXPECT_EQ(info[0].at(1).toString(), QString::fromLatin1(c.product_id)) << c.what;
    EXPECT_EQ(info[0].at(2).toString(), QString::fromLatin1(c.major)) << c.what;
    EXPECT_EQ(info[0].at(3).toString(), QString::fromLatin1(c.minor)) << c.what;
    EXPECT_TRUE(m_prompts.shown.empty());
    EXPECT_TRUE(m_run.hasImage());
    EXPECT_NE(m_run.pusher(), nullptr);
    EXPECT_EQ(lastFolder(), m_dir.path());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImageHeaders,
    ::testing::Values(HeaderCase{"fw_test", 1000, testHeader(), "10122550007", "2", "10"},
                      HeaderCase{"negative_versions", 1000, hex("FF008000") + testHeader().mid(4),
                                 "10122550007", "65535", "65408"},
                      HeaderCase{"ids_of_00", 1000, hex("00000000") + hex("0000000000000000"),
                                 "00000000", "0", "0"},
                      HeaderCase{"ids_of_10_to_80", 1000, hex("00000000") + hex("0A141E28323C4650"),
                                 "1020304050607080", "0", "0"},
                      HeaderCase{"ids_of_FF", 1000, hex("00000000") + hex("FFFFFFFFFFFFFFFF"),
                                 "255255255255255255255255", "0", "0"},
                      HeaderCase{"smallest", 412, hex("03000400") + hex("0100000000000000"),
                                 "10000000", "3", "4"},
                      HeaderCase{"largest", 16776959, testHeader(), "10122550007", "2", "10"}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.what); });

TEST_F(RunFixture, TheVendorIdKeepsItsZeroBytes) {
    load(testImage(1000, testHeader()));
    EXPECT_EQ(m_run.imageVendorId(), QByteArray("Corvanti"));
    load(testImage(1000, testHeader().left(16) + QByteArray("Cor\0\0\0\0\0", 8)));
    EXPECT_EQ(m_run.imageVendorId(), QByteArray("Cor\0\0\0\0\0", 8));
    // A device that reports "Cor" does not fit it.
    addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"))
        ->setVendorId(QStringLiteral("Cor"));
    EXPECT_EQ(m_devices.rowCount(), 0);
}

class RefusedImages : public RunFixture, public ::testing::WithParamInterface<int> {};

TEST_P(RefusedImages, AreRefusedBeforeAnythingChanges) {
    load(testImage(1000, testHeader()), QStringLiteral("good.bin"));
    const kolvo::VireoTftp* pusher = m_run.pusher();
    QSignalSpy info(&m_run, &UpdateRun::guiUpdateFileInfo);
    QSignalSpy cleared(&m_run, &UpdateRun::clearProgressValues);
    QDir(m_dir.path()).mkdir(QStringLiteral("sub"));
    const QString sub = m_dir.filePath(QStringLiteral("sub"));
    const int size = GetParam();
    if (size >= 0) {
        m_prompts.file_name = writeFile(sub + QStringLiteral("/bad.bin"), testImage(size));
    } else if (size == -1) {
        m_prompts.file_name = sub + QStringLiteral("/missing.bin");
    } else {
        m_prompts.file_name = sub;  // a folder
    }
    m_run.loadImageFile();
    ASSERT_EQ(m_prompts.shown.size(), 1u);
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("Invalid Firmware Image"));
    EXPECT_EQ(m_prompts.shown[0].text,
              QStringLiteral("The file could not be read or is not a valid firmware image."));
    EXPECT_EQ(info.count(), 0);
    EXPECT_EQ(cleared.count(), 0);
    EXPECT_EQ(m_run.pusher(), pusher);
    EXPECT_TRUE(m_run.imagePath().endsWith(QStringLiteral("/good.bin")));
    EXPECT_EQ(m_run.imageMajor(), 2);
    EXPECT_EQ(m_run.imageProductId(), QByteArray("10122550007"));
    EXPECT_EQ(lastFolder(), m_dir.path());
}

// Sizes; -1 a missing file, -2 a folder.
INSTANTIATE_TEST_SUITE_P(Files, RefusedImages,
                         ::testing::Values(411, 0, 16776960, 16777216, -1, -2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == -1   ? std::string("missing")
                                    : info.param == -2 ? std::string("folder")
                                                       : std::to_string(info.param);
                         });

TEST_F(RunFixture, ImageThatOpensButCannotBeReadIsRefused) {
    // Reading this process's memory from address 0 fails.
    m_prompts.file_name = QStringLiteral("/proc/self/mem");
    m_run.loadImageFile();
    ASSERT_EQ(m_prompts.shown.size(), 1u);
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("Invalid Firmware Image"));
    EXPECT_FALSE(m_run.hasImage());
    EXPECT_EQ(m_run.pusher(), nullptr);
}

TEST_F(RunFixture, CancelledDialogChangesNothing) {
    QSignalSpy info(&m_run, &UpdateRun::guiUpdateFileInfo);
    m_prompts.file_name.clear();
    m_run.loadImageFile();
    EXPECT_EQ(info.count(), 0);
    EXPECT_FALSE(m_run.hasImage());
    ASSERT_EQ(m_prompts.file_captions.size(), 1u);
    EXPECT_EQ(m_prompts.file_captions[0], QStringLiteral("Open Firmware Image"));
}

TEST_F(RunFixture, SecondImageReplacesPusherHeaderAndProgress) {
    VireoDevice* a = addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"));
    load(testImage(1000, testHeader()));
    const QPointer<kolvo::VireoTftp> first = m_run.pusher();
    a->setSelected(true);
    a->setProgressValue(3);
    QSignalSpy select_all(&m_run, &UpdateRun::enableSelectAllButtons);
    QSignalSpy start(&m_run, &UpdateRun::enableStartUpdateButton);
    QSignalSpy cancel(&m_run, &UpdateRun::enableCancelUpdateButton);
    load(testImage(2000, hex("0500060001000CFF00000008")), QStringLiteral("second.bin"));
    EXPECT_TRUE(first.isNull());
    EXPECT_NE(m_run.pusher(), nullptr);
    EXPECT_EQ(m_run.imageMajor(), 5);
    EXPECT_EQ(m_run.imageMinor(), 6);
    EXPECT_EQ(m_run.imageProductId(), QByteArray("10122550008"));
    EXPECT_EQ(a->getProgressValue(), -1);
    EXPECT_FALSE(a->isSelected());
    EXPECT_EQ(m_devices.rowCount(), 0);  // the product id no longer fits
    EXPECT_TRUE(select_all.last().at(0).toBool());
    EXPECT_TRUE(start.last().at(0).toBool());
    EXPECT_FALSE(cancel.last().at(0).toBool());
}

TEST_F(RunFixture, SelectAllSkipsDevicesWithoutDirectUdp) {
    VireoDevice* a = addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"));
    VireoDevice* b = addDevice(QStringLiteral("B"), QStringLiteral("192.0.2.12"));
    b->setCommandPath(VireoDevice::kNoDirectUdp);
    QSignalSpy start(&m_run, &UpdateRun::enableStartUpdateButton);

    m_devices.setMatchingOverride(true);
    m_devices.refresh();
    m_run.selectAllDevices();  // no image yet: rows are selected, no button asked for
    EXPECT_TRUE(a->isSelected());
    EXPECT_EQ(start.count(), 0);

    load(testImage(1000, testHeader()));
    m_run.selectAllDevices();
    EXPECT_TRUE(a->isSelected());
    EXPECT_FALSE(b->isSelected());
    ASSERT_EQ(m_prompts.shown.size(), 2u);
    EXPECT_EQ(m_prompts.shown[1].title, QStringLiteral("Warning"));
    EXPECT_EQ(m_prompts.shown[1].text,
              QStringLiteral("Some devices could not be updated and weren't selected.\nBecause "
                             "they do not support direct UDP commands.\n\n"));
    EXPECT_TRUE(start.last().at(0).toBool());

    m_run.deselectAllDevices();
    EXPECT_FALSE(a->isSelected());
    EXPECT_FALSE(start.last().at(0).toBool());
}

TEST_F(RunFixture, SwitchingTheOverrideDeselectsEveryRow) {
    load(testImage(1000, testHeader()));
    VireoDevice* a = addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"));
    VireoDevice* foreign = addDevice(QStringLiteral("F"), QStringLiteral("192.0.2.12"), "77");
    QSignalSpy status(&m_devices, &kolvo::VireoDevices::updateStatus);
    for (bool on : {true, false, true}) {
        m_run.selectAllDevices();
        EXPECT_TRUE(a->isSelected());
        EXPECT_EQ(foreign->isSelected(), !on);  // shown only under the override
        m_run.handleOverrideMatching(on);
        EXPECT_FALSE(a->isSelected()) << on;
        EXPECT_FALSE(foreign->isSelected()) << on;
        EXPECT_EQ(m_devices.rowCount(), on ? 2 : 1);
        EXPECT_EQ(status.last().at(0).toString().startsWith(QStringLiteral("[Matching override] ")),
                  on);
    }
}

TEST_F(RunFixture, StartAsksFirstAndOnlyYesStarts) {
    load(testImage(1000, testHeader()));
    QSignalSpy status(&m_run, &UpdateRun::updateStatus);
    QSignalSpy cancel(&m_run, &UpdateRun::enableCancelUpdateButton);
    m_prompts.answer = [](QDialog&) { return int(QMessageBox::No); };
    m_run.startFirmwareUpdates();
    ASSERT_EQ(m_prompts.shown.size(), 1u);
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("Starting MCU Firmware Update"));
    EXPECT_EQ(m_prompts.shown[0].text, QStringLiteral("Starting MCU firmware update."));
    EXPECT_EQ(m_prompts.shown[0].informative,
              QStringLiteral("WARNING!  This action can result in the device becoming "
                             "inoperable, especially if\n \"Override device matching\" has been "
                             "selected.\n\nAre you sure you want to proceed?"));
    EXPECT_FALSE(m_run.isUpdateRunning());
    EXPECT_EQ(status.count(), 0);

    m_prompts.answer = [](QDialog&) { return int(QMessageBox::Yes); };
    QSignalSpy back(&m_run, &UpdateRun::enableBackButton);
    m_run.startFirmwareUpdates();
    EXPECT_TRUE(m_run.isUpdateRunning());
    EXPECT_TRUE(m_run.pusher()->isRunning());
    EXPECT_EQ(status[0].at(0).toString(), QStringLiteral("Starting Firmware Updates..."));
    EXPECT_TRUE(cancel.last().at(0).toBool());
    // Nothing is selected: the run ends at once, and the flag stays until "Continue".
    ASSERT_TRUE(back.wait(2000));
    EXPECT_TRUE(back.last().at(0).toBool());
    EXPECT_EQ(status.last().at(0).toString(),
              QStringLiteral("Update(s) have completed, click continue or close application"));
    EXPECT_FALSE(cancel.last().at(0).toBool());
    EXPECT_TRUE(m_run.isUpdateRunning());
}

TEST_F(RunFixture, WhileAnUpdateRunsNoImageIsLoaded) {
    load(testImage(1000, testHeader()));
    m_prompts.answer = [](QDialog&) { return int(QMessageBox::Yes); };
    m_run.startFirmwareUpdates();
    m_prompts.file_captions.clear();
    load(testImage(1000, hex("09")), QStringLiteral("other.bin"));
    EXPECT_TRUE(m_prompts.file_captions.empty());
    EXPECT_EQ(m_run.imageMajor(), 2);
}

TEST_F(RunFixture, FinishedRunIdentifiesTheShownDevicesAgain) {
    load(testImage(1000, testHeader()));
    VireoDevice* a = addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"));
    VireoDevice* hidden = addDevice(QStringLiteral("H"), QStringLiteral("192.0.2.12"), "9");
    m_run.finishedFirmwareUpdates();
    EXPECT_EQ(a->getPollState(), VireoDevice::kPollStart);
    EXPECT_TRUE(a->getProductId().isEmpty());
    EXPECT_EQ(a->getMcuVersion(), 0u);
    EXPECT_TRUE(a->getVireoModel().isEmpty());
    EXPECT_EQ(hidden->getPollState(), VireoDevice::kPollIdentified);
}

TEST_F(RunFixture, ContinueClearsTheImageAndRestartsDiscovery) {
    load(testImage(1000, testHeader()));
    VireoDevice* a = addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"));
    m_run.handleOverrideMatching(true);
    a->setSelected(true);
    a->setProgressValue(4);
    QSignalSpy info(&m_run, &UpdateRun::guiUpdateFileInfo);
    QSignalSpy status(&m_run, &UpdateRun::updateStatus);
    QSignalSpy back(&m_run, &UpdateRun::enableBackButton);
    QSignalSpy restart(&m_run, &UpdateRun::restartNetwork);
    m_run.backToMainWindow();
    EXPECT_FALSE(m_run.isUpdateRunning());
    EXPECT_FALSE(m_run.hasImage());
    EXPECT_TRUE(m_run.imageProductId().isEmpty());
    EXPECT_FALSE(m_devices.matchingOverride());
    EXPECT_FALSE(a->isSelected());
    EXPECT_EQ(a->getProgressValue(), -1);
    ASSERT_EQ(info.count(), 1);
    EXPECT_EQ(info[0], QVariantList({QStringLiteral("<EMPTY>"), QString(), QString(), QString()}));
    EXPECT_EQ(status.last().at(0).toString(), QString());
    EXPECT_FALSE(back.last().at(0).toBool());
    EXPECT_EQ(restart.count(), 1);
    EXPECT_EQ(m_devices.rowCount(), 0);
}

}  // namespace
