#pragma once

#include <QByteArray>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QString>

#include <memory>

#include "QtZEB_Device.h"
#include "VireoTftp.h"
#include "ZebWidgetSet.h"

class QCloseEvent;
class QTimer;
class Prompts;
class VireoDevice;
class ZEBPluginForm;

// Waits, intervals and the transport's local port of the device window.
struct ZEB_WindowTiming {
    int reply_wait_ms = QtZEB_Device::kDefaultWaitMs;
    quint16 local_port = QtZEB_Device::kDefaultLocalPort;
    int update_interval_ms = 500;
    int preset_store_wait_ms = 2000;
    VireoTftpTiming tftp;
};

// The DSP and system control window of one device. Built once, attached to each device in
// turn: every user change sends one set request, and a timer reads the device back.
class ZEB_Window : public QDialog {
    Q_OBJECT
public:
    explicit ZEB_Window(QWidget* parent = nullptr, Prompts* prompts = nullptr,
                        const ZEB_WindowTiming& timing = ZEB_WindowTiming());
    ~ZEB_Window() override;

    // Attaches to the device (null detaches); true when it answered and a page was chosen.
    bool setDevice(VireoDevice* device);
    void stopPeriodicUpdates();
    QString getPresetFileName() const { return m_preset_file_name; }

    // The settings file: "Corvantix ZEB Control/settings.ini" in the user's config folder.
    static QString settingsPath();

signals:
    void zebPluginClosed();

public slots:
    void closeEvent(QCloseEvent* e) override;
    void startingUpdate(VireoDevice* dev);
    void updateProgress(VireoDevice* dev, int block, int numBlocks);
    void finishedUpdate(VireoDevice* dev);
    void errorPerformingUpdate(VireoDevice* dev);
    void syncToDevice();
    void syncDeviceChannel(int channel);
    void setIdentifyState(int state);
    void set40WEnable(int state);
    void setMonitorEnableCh1(int state);
    void setMonitorEnableCh2(int state);
    void setFullCh1Slave(int state);
    void setFullCh2SlaveA(int state);
    void setFullCh2SlaveB(int state);
    void inputGainChanged(int chIdx, double value);
    void delayChanged(int chIdx, int value);
    void outputGainChanged(int channel, double value);
    void outputInvertChanged(int channel, int state);
    void outputMuteChanged(int channel, int state);
    void highPassBypassChanged(int chIdx, int state);
    void lowPassBypassChanged(int chIdx, int state);
    void highPassFreqChanged(int chIdx, double value);
    void lowPassFreqChanged(int chIdx, double value);
    void pinkNoiseLevelChanged(double value);
    void pinkNoiseEnableChanged(int state);
    void bandBypassChanged(int channel, int band, int state);
    void bandFreqChanged(int channel, int band, double value);
    void bandGainChanged(int channel, int band, double value);
    void bandQChanged(int channel, int band, double value);
    void locationChanged();
    void InputChannelTypeChanged();
    void updateDeviceInfo();
    bool updateAmpStatus();
    bool updateAmpConfig();
    bool updateDebugStatus();
    bool updateDebugMeasured();
    void applyDebugParams();
    void manualDebugRun();
    bool updateMeters();
    void doPeriodicUpdates();
    bool presetLoadFile(QByteArray data);
    QByteArray openReturnPresetFile();
    void openPresetDialogSaveFile();
    void openPresetDialogLoadFile();
    int openPresetDialogSaveDevice(bool process = true);
    void openPresetDialogLoadDevice();
    bool saveDevicePreset(int slot);
    void loadDevicePreset(int slot);
    void handlePushBtnFirmwareUpdate();
    // Escape and the dialog's own reject close the window like its close button.
    void reject() override;

private:
    void bindWidgetSet(ZebWidgetSet& set);
    void sendSet(const dsp_t& dsp);
    void sendSet(const qz_msgs::system_t& system);
    void sendSet(const dbg_t& dbg);
    // A dsp_t for a set request: dsp_id 0, and the channel (and band) when given.
    static dsp_t dspFor(int channel = -1, int band = -1);
    void showUpdateResult(const QString& title, const QString& text);
    void setFirmwareButtonsEnabled(bool enabled);
    dsp_t presetFromWidgets();
    void applyPreset(const dsp_t& preset);
    void waitProcessingEvents(int ms);

    const ZEB_WindowTiming m_timing;
    Prompts& m_prompts;
    std::unique_ptr<ZEBPluginForm> m_form;
    ZebWidgetSet m_sets[2];
    ZebWidgetSet* m_current = nullptr;
    QTimer* m_timer = nullptr;
    QtZEB_Device m_transport;
    bool m_busy = false;
    QPointer<VireoDevice> m_device;
    VireoTftp* m_tftp = nullptr;
    QMessageBox m_update_box;
    QSettings m_settings;
    QString m_preset_file_name;
};
