// Presets: ".pset" files (32 bytes of model name, then one dsp_t) and the device's slots.
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFile>
#include <QRadioButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "DspMath.h"
#include "PresetFile.h"
#include "Prompts.h"
#include "VireoDevice.h"
#include "WidgetLoading.h"
#include "WindowLog.h"
#include "ZEB_Window.h"
#include "frmPresets.h"

namespace {

using Header = qz_msgs::header_t;

const QString kPresetSuffix = QStringLiteral(".pset");

QString withPresetSuffix(const QString& name) {
    return name.endsWith(kPresetSuffix, Qt::CaseInsensitive) ? name : name + kPresetSuffix;
}

// The file's value within the control's range, so a file cannot send what the control could not.
// Loads it when the control does not show it yet, without a signal; true when it did.
bool loadChanged(DoubleSpinnerSliderLink& link, double& value) {
    const QDoubleSpinBox* spin = link.spinner();
    value = qBound(spin->minimum(), value, spin->maximum());
    const double scale = std::pow(10.0, spin->decimals());
    if (std::abs(spin->value() - std::round(value * scale) / scale) < 0.5 / scale) {
        return false;
    }
    link.setValue(value);
    return true;
}

// Replaces the file with the bytes or leaves it as it was: they go to a temporary file beside
// it, renamed over it only when every byte was written (QSaveFile would rename a short file
// too). Returns why a write failed; a file that cannot be opened is passed over silently.
QString saveWhole(const QString& name, const QByteArray& bytes) {
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        // Qt's error text is not set yet after a failed flush; the system's is.
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    return file.commit() ? QString() : file.errorString();
}

}  // namespace

dsp_t ZEB_Window::presetFromWidgets() {
    dsp_t dsp = dspFor();
    FormVariant& w = *m_current->widgets;
    if (w.singleInput) {
        dsp.set_channel_input(w.singleInput->isChecked() ? dsp_t::SINGLE_INPUT
                                                         : dsp_t::CH_2_VIREO_INPUT);
    }
    dsp.set_ch1_slave(w.ch1Slave && w.ch1Slave->isChecked());
    dsp.set_ch2_slave_a(w.ch2SlaveA && w.ch2SlaveA->isChecked());
    dsp.set_ch2_slave_b(w.ch2SlaveB && w.ch2SlaveB->isChecked());
    dsp.mutable_pink_gen()->set_enable(w.pinkNoiseEnable->isChecked());
    dsp.mutable_pink_gen()->set_level(float(w.pinkNoiseSpin->value()));
    for (int c = 0; c < m_current->numChannels; ++c) {
        ChannelUI& ui = m_current->channels[c];
        channel_t* channel = dsp.add_channel();
        channel->set_channel_id(uint32_t(c));
        channel->mutable_input()->set_gain(float(ui.inputGainLink().spinner()->value()));
        channel->mutable_input()->set_delay_ms(uint32_t(w.channels[c].delaySpin->value()));
        channel->mutable_high_pass_filter()->set_bypass(ui.highPassBypass()->isChecked());
        channel->mutable_high_pass_filter()->set_freq(
            uint32_t(ui.highPassFreqLink().spinner()->value()));
        for (int b = 0; b < ui.bandCount(); ++b) {
            BandUI& band = ui.band(b);
            dsp_peq_t* peq = channel->add_peq();
            peq->set_band_id(uint32_t(b));
            peq->set_bypass(band.bypass()->isChecked());
            peq->set_freq(uint32_t(band.freqLink().spinner()->value()));
            peq->set_gain(float(band.gainLink().spinner()->value()));
            peq->set_q(float(band.qLink().spinner()->value()));
        }
        channel->mutable_low_pass_filter()->set_bypass(ui.lowPassBypass()->isChecked());
        channel->mutable_low_pass_filter()->set_freq(
            uint32_t(ui.lowPassFreqLink().spinner()->value()));
        channel->mutable_output()->set_mute(ui.outputMute()->isChecked());
        channel->mutable_output()->set_invert(ui.outputInvert()->isChecked());
        channel->mutable_output()->set_gain(float(ui.outputGainLink().spinner()->value()));
    }
    return dsp;
}

void ZEB_Window::openPresetDialogSaveFile() {
    QString name = m_prompts.saveFileName(this, QStringLiteral("Save Preset File"),
                                          QDir::homePath(), QStringLiteral("Presets (*.pset)"));
    if (name.isEmpty() || !m_current || !m_device) {
        return;
    }
    name = withPresetSuffix(name);
    const dsp_t dsp = presetFromWidgets();
    QByteArray bytes = presetfile::headerFor(m_device->getModelName());
    const size_t body = dsp.ByteSizeLong();
    bytes.resize(presetfile::kHeaderSize + int(body));
    dsp.SerializePartialToArray(bytes.data() + presetfile::kHeaderSize, int(body));
    const QString failure = saveWhole(name, bytes);
    if (!failure.isEmpty()) {
        qCWarning(zebWindow).noquote() << "preset file" << name << "not saved:" << failure;
    }
}

QByteArray ZEB_Window::openReturnPresetFile() {
    QString name = m_prompts.openFileName(this, QStringLiteral("Open Preset File"),
                                          QDir::homePath(), QStringLiteral("PreSets (*.pset)"));
    if (name.isEmpty()) {
        m_preset_file_name.clear();
        return {};
    }
    name = withPresetSuffix(name);
    QByteArray bytes;
    QFile file(name);
    if (file.open(QIODevice::ReadOnly)) {
        bytes = file.readAll();
        file.close();
    }
    m_preset_file_name = name;
    return bytes;
}

void ZEB_Window::openPresetDialogLoadFile() {
    const QByteArray data = openReturnPresetFile();
    if (!data.isEmpty()) {
        presetLoadFile(data);
    }
}

bool ZEB_Window::presetLoadFile(QByteArray data) {
    if (!m_current || !m_device) {
        return false;
    }
    presetfile::Controls controls;
    controls.input_type = m_current->widgets->singleInput != nullptr;
    for (int c = 0; c < m_current->numChannels; ++c) {
        controls.band_counts.push_back(m_current->channels[c].bandCount());
    }
    dsp_t preset;
    if (!presetfile::read(data, m_device->getModelName(), controls, &preset)) {
        return false;
    }
    applyPreset(preset);
    return true;
}

// Loads every control whose value differs from the preset's and sends that one value, exact.
void ZEB_Window::applyPreset(const dsp_t& preset) {
    FormVariant& w = *m_current->widgets;
    const auto loadLink = [](DoubleSpinnerSliderLink& link, double value, const auto& send) {
        if (loadChanged(link, value)) {
            send(value);
        }
    };
    if (w.singleInput && preset.has_channel_input()) {
        QRadioButton* radio =
            preset.channel_input() == dsp_t::SINGLE_INPUT ? w.singleInput : w.twoChannelInput;
        if (loadChecked(radio, true)) {
            InputChannelTypeChanged();
        }
    }
    if (loadChecked(w.ch1Slave, preset.ch1_slave())) {
        setFullCh1Slave(preset.ch1_slave());
    }
    if (loadChecked(w.ch2SlaveA, preset.ch2_slave_a())) {
        setFullCh2SlaveA(preset.ch2_slave_a());
    }
    if (loadChecked(w.ch2SlaveB, preset.ch2_slave_b())) {
        setFullCh2SlaveB(preset.ch2_slave_b());
    }
    const dsp_pinkgen_t& pink = preset.pink_gen();
    if (loadChecked(w.pinkNoiseEnable, pink.enable())) {
        pinkNoiseEnableChanged(pink.enable());
    }
    loadLink(m_current->pinkNoise, pink.level(), [&](double v) { pinkNoiseLevelChanged(v); });

    for (int c = 0; c < m_current->numChannels; ++c) {
        ChannelUI& ui = m_current->channels[c];
        const channel_t& channel = preset.channel(c);
        loadLink(ui.inputGainLink(), channel.input().gain(),
                 [&](double v) { inputGainChanged(c, v); });
        QSpinBox* delay = w.channels[c].delaySpin;
        const int delay_ms =
            int(qMin<uint32_t>(channel.input().delay_ms(), uint32_t(delay->maximum())));
        if (delay->value() != delay_ms) {
            ui.delayLink().setValue(delay_ms);
            delayChanged(c, delay_ms);
        }
        const dsp_pass_filter_t& high = channel.high_pass_filter();
        if (loadChecked(ui.highPassBypass(), high.bypass())) {
            highPassBypassChanged(c, high.bypass());
        }
        loadLink(ui.highPassFreqLink(), high.freq(), [&](double v) { highPassFreqChanged(c, v); });
        for (int b = 0; b < ui.bandCount(); ++b) {
            BandUI& band = ui.band(b);
            const dsp_peq_t& peq = channel.peq(b);
            if (loadChecked(band.bypass(), peq.bypass())) {
                bandBypassChanged(c, b, peq.bypass());
            }
            loadLink(band.freqLink(), peq.freq(), [&](double v) { bandFreqChanged(c, b, v); });
            loadLink(band.gainLink(), peq.gain(), [&](double v) { bandGainChanged(c, b, v); });
            loadLink(band.qLink(), peq.q(), [&](double v) { bandQChanged(c, b, v); });
        }
        const dsp_pass_filter_t& low = channel.low_pass_filter();
        if (loadChecked(ui.lowPassBypass(), low.bypass())) {
            lowPassBypassChanged(c, low.bypass());
        }
        loadLink(ui.lowPassFreqLink(), low.freq(), [&](double v) { lowPassFreqChanged(c, v); });
        const dsp_output_t& output = channel.output();
        if (loadChecked(ui.outputMute(), output.mute())) {
            outputMuteChanged(c, output.mute());
        }
        if (loadChecked(ui.outputInvert(), output.invert())) {
            outputInvertChanged(c, output.invert());
        }
        loadLink(ui.outputGainLink(), output.gain(), [&](double v) { outputGainChanged(c, v); });
    }
}

int ZEB_Window::openPresetDialogSaveDevice(bool process) {
    auto* dialog = new frmPresets(this, &m_prompts);
    dialog->setWindowTitle(QStringLiteral("Save Preset to Device"));
    dialog->setMode(frmPresets::Save);
    if (!process) {
        disconnect(dialog, SIGNAL(saveDevicePresetSignal(int)), this, SLOT(saveDevicePreset(int)));
    }
    dialog->show();
    const int result = m_prompts.runModal(*dialog);
    const int slot = dialog->selectedPreset();
    delete dialog;
    if (process) {
        return 0;
    }
    return result == QDialog::Accepted ? slot : -1;
}

void ZEB_Window::openPresetDialogLoadDevice() {
    auto* dialog = new frmPresets(this, &m_prompts);
    dialog->setWindowTitle(QStringLiteral("Load Preset from Device"));
    dialog->setMode(frmPresets::Load);
    dialog->show();
    m_prompts.runModal(*dialog);
    delete dialog;
}

void ZEB_Window::waitProcessingEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool ZEB_Window::saveDevicePreset(int slot) {
    m_busy = true;
    QString reply;
    if (m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("SAVEPRESET %1\r").arg(slot),
                                reply) != 0) {
        m_busy = false;
        return false;
    }
    waitProcessingEvents(m_timing.preset_store_wait_ms);
    ZebWidgetSet* previous = m_current;
    m_current = nullptr;
    syncToDevice();
    m_busy = false;
    if (m_current) {
        return true;
    }
    m_current = previous;
    return false;
}

void ZEB_Window::loadDevicePreset(int slot) {
    m_busy = true;
    QString reply;
    m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("LOADPRESET %1\r").arg(slot),
                            reply);
    syncToDevice();
    m_busy = false;
}
