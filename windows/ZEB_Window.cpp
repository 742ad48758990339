#include "ZEB_Window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>

#include "Prompts.h"
#include "VireoDevice.h"
#include "WidgetLoading.h"
#include "ZEBPluginForm.h"

namespace {

constexpr double kPinkNoiseMin = -88;
constexpr double kPinkNoiseMax = 6;

}  // namespace

QString ZEB_Window::settingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Corvantix ZEB Control/settings.ini");
}

ZEB_Window::ZEB_Window(QWidget* parent, Prompts* prompts, const ZEB_WindowTiming& timing)
    : QDialog(parent),
      m_timing(timing),
      m_prompts(prompts ? *prompts : Prompts::standard()),
      m_form(std::make_unique<ZEBPluginForm>()),
      m_transport(timing.reply_wait_ms, timing.local_port),
      m_settings(settingsPath(), QSettings::IniFormat) {
    m_form->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    for (int page = 0; page < 2; ++page) {
        m_sets[page].widgets = &m_form->variant(page);
        m_sets[page].numChannels = m_form->variant(page).numChannels;
        bindWidgetSet(m_sets[page]);
    }

    m_tftp = new VireoTftp(this, timing.tftp);
    connect(m_tftp, &VireoTftp::startingUpdate, this, &ZEB_Window::startingUpdate);
    connect(m_tftp, &VireoTftp::updateProgress, this, &ZEB_Window::updateProgress);
    connect(m_tftp, &VireoTftp::finishedUpdate, this, &ZEB_Window::finishedUpdate);
    connect(m_tftp, &VireoTftp::errorPerformingUpdate, this, &ZEB_Window::errorPerformingUpdate);

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &ZEB_Window::doPeriodicUpdates);

    if (!m_settings.value(QStringLiteral("MODE/debug"), false).toBool()) {
        for (ZebWidgetSet& set : m_sets) {
            set.widgets->tabBar->removeTab(ZEBPluginForm::kDebugTabIndex);
        }
    }
}

ZEB_Window::~ZEB_Window() = default;

void ZEB_Window::bindWidgetSet(ZebWidgetSet& set) {
    FormVariant& w = *set.widgets;
    connect(w.identify, &QCheckBox::stateChanged, this, &ZEB_Window::setIdentifyState);
    connect(w.location, &QLineEdit::editingFinished, this, &ZEB_Window::locationChanged);
    connect(w.enable40W, &QCheckBox::stateChanged, this, &ZEB_Window::set40WEnable);
    if (w.ch1Slave) {
        connect(w.ch1Slave, &QCheckBox::stateChanged, this, &ZEB_Window::setFullCh1Slave);
        connect(w.ch2SlaveA, &QCheckBox::stateChanged, this, &ZEB_Window::setFullCh2SlaveA);
        connect(w.ch2SlaveB, &QCheckBox::stateChanged, this, &ZEB_Window::setFullCh2SlaveB);
    }
    if (w.singleInput) {
        connect(w.singleInput, &QRadioButton::clicked, this, &ZEB_Window::InputChannelTypeChanged);
        connect(w.twoChannelInput, &QRadioButton::clicked, this,
                &ZEB_Window::InputChannelTypeChanged);
    }

    set.pinkNoise.bind(w.pinkNoiseSlider, w.pinkNoiseSpin);
    set.pinkNoise.setRange(kPinkNoiseMin, kPinkNoiseMax);
    set.pinkNoise.setValue(0);
    connect(w.pinkNoiseEnable, &QCheckBox::stateChanged, this, &ZEB_Window::pinkNoiseEnableChanged);
    connect(&set.pinkNoise, &DoubleSpinnerSliderLink::valueChanged, this,
            &ZEB_Window::pinkNoiseLevelChanged);

    connect(w.recallDevicePreset, &QPushButton::clicked, this,
            &ZEB_Window::openPresetDialogLoadDevice);
    connect(w.saveDevicePreset, &QPushButton::clicked, this,
            [this] { openPresetDialogSaveDevice(); });
    connect(w.loadPresetFile, &QPushButton::clicked, this, &ZEB_Window::openPresetDialogLoadFile);
    connect(w.savePresetFile, &QPushButton::clicked, this, &ZEB_Window::openPresetDialogSaveFile);
    connect(w.applyDebugTesting, &QPushButton::clicked, this, &ZEB_Window::applyDebugParams);
    connect(w.triggerTest, &QPushButton::clicked, this, &ZEB_Window::manualDebugRun);
    connect(w.firmwareUpdate, &QPushButton::clicked, this,
            &ZEB_Window::handlePushBtnFirmwareUpdate);

    for (int c = 0; c < set.numChannels; ++c) {
        ChannelUI& channel = set.channels[c];
        connect(w.resetEq, &QPushButton::clicked, &channel, &ChannelUI::resetEQ);
        connect(w.bypassEq, &QPushButton::clicked, &channel, &ChannelUI::bypassEQ);
        channel.bind(c, w.channels[c]);
        channel.connectTo(this);
    }
}

bool ZEB_Window::setDevice(VireoDevice* device) {
    m_device = device;
    m_transport.SetDevice(device);
    if (!device) {
        m_current = nullptr;
        return false;
    }
    m_current = nullptr;
    syncToDevice();
    if (m_current) {
        m_timer->start(m_timing.update_interval_ms);
        return true;
    }
    m_transport.SetDevice(nullptr);
    return false;
}

void ZEB_Window::stopPeriodicUpdates() {
    m_timer->stop();
}

void ZEB_Window::closeEvent(QCloseEvent*) {
    emit zebPluginClosed();
}

void ZEB_Window::reject() {
    close();
}

void ZEB_Window::syncToDevice() {
    updateDeviceInfo();
    if (!m_current) {
        return;
    }
    updateAmpStatus();
    updateAmpConfig();
    updateDebugStatus();
    for (int c = 0; c < m_current->numChannels; ++c) {
        syncDeviceChannel(c);
    }
    dsp_t pink = dspFor();
    pink.mutable_pink_gen()->set_enable(false);
    pink.mutable_pink_gen()->set_level(0);
    dsp_t reply;
    if (m_transport.SendRequest(qz_msgs::header_t::MSG_GET_REQ, pink, reply) == 0) {
        loadChecked(m_current->widgets->pinkNoiseEnable, reply.pink_gen().enable());
        m_current->pinkNoise.setValue(reply.pink_gen().level());
    }
    if (m_current->widgets->singleInput) {
        dsp_t input = dspFor();
        input.set_channel_input(dsp_t::SINGLE_INPUT);
        if (m_transport.SendRequest(qz_msgs::header_t::MSG_GET_REQ, input, reply) == 0) {
            const bool single = reply.channel_input() == dsp_t::SINGLE_INPUT;
            QRadioButton* radio =
                single ? m_current->widgets->singleInput : m_current->widgets->twoChannelInput;
            loadChecked(radio, true);
        }
    }
}

void ZEB_Window::doPeriodicUpdates() {
    if (m_busy) {
        return;
    }
    updateDeviceInfo();
    if (!m_current) {
        return;
    }
    if (updateAmpStatus() && updateAmpConfig() && updateMeters() && updateDebugMeasured()) {
        return;
    }
    // Stop first, so failures cannot stack boxes while this one is up.
    m_timer->stop();
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("ZEB Plugin"));
    box.setText(QStringLiteral("Device is no longer responding this window will be closed."));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    m_prompts.runModal(box);
    emit zebPluginClosed();
}

void ZEB_Window::handlePushBtnFirmwareUpdate() {
    const QString path = m_prompts.openFileName(this, QStringLiteral("Select binary image file"),
                                                QDir::homePath(), QStringLiteral("bin (*.bin)"));
    if (!path.isEmpty() && !m_tftp->isBusy()) {
        m_tftp->start(m_device, path);
    }
}

void ZEB_Window::setFirmwareButtonsEnabled(bool enabled) {
    for (ZebWidgetSet& set : m_sets) {
        set.widgets->firmwareUpdate->setEnabled(enabled);
    }
}

void ZEB_Window::startingUpdate(VireoDevice*) {
    m_busy = true;
    setFirmwareButtonsEnabled(false);
    m_update_box.setWindowTitle(QStringLiteral("Pleas Wait..."));
    m_update_box.setText(QStringLiteral("Please wait while the image is being updated..."));
    m_update_box.setStandardButtons(QMessageBox::NoButton);
    m_update_box.show();
}

void ZEB_Window::updateProgress(VireoDevice*, int, int) {}

void ZEB_Window::showUpdateResult(const QString& title, const QString& text) {
    m_update_box.hide();
    m_update_box.setWindowTitle(title);
    m_update_box.setText(text);
    m_update_box.setStandardButtons(QMessageBox::Ok);
    m_update_box.setDefaultButton(QMessageBox::Ok);
    m_prompts.runModal(m_update_box);
}

void ZEB_Window::finishedUpdate(VireoDevice*) {
    showUpdateResult(QStringLiteral("Update Finished..."),
                     QStringLiteral("Firmware Update is complete.\n"
                                    "The Plugin window, will close.\n"
                                    "Please cycle power on the unit before\n"
                                    "opening the plugin for this device."));
    close();
    m_busy = false;
    setFirmwareButtonsEnabled(true);
}

void ZEB_Window::errorPerformingUpdate(VireoDevice*) {
    showUpdateResult(QStringLiteral("Update Failed..."),
                     QStringLiteral("Firmware Update has failed.\n"
                                    "Please try the update again..."));
    m_busy = false;
    setFirmwareButtonsEnabled(true);
}
