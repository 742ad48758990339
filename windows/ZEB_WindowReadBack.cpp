// The window's read-backs: get requests whose replies fill the widgets. Nothing here sends a
// set request: widgets are loaded with their signals blocked.
#include <QCheckBox>
#include <QLineEdit>
#include <QStackedWidget>

#include "DspMath.h"
#include "OVMeter.h"
#include "OvLED.h"
#include "VireoDevice.h"
#include "WidgetLoading.h"
#include "ZEBPluginForm.h"
#include "ZEB_Window.h"

namespace {

using Header = qz_msgs::header_t;

void setLed(OvLED* led, bool on) {
    if (led) {
        led->setState(on);
    }
}

}  // namespace

void ZEB_Window::updateDeviceInfo() {
    qz_msgs::system_t request;
    request.set_model_number(0);
    request.set_location("");
    request.set_num_channels(0);
    request.set_full_bandwidth(false);
    request.set_poeplus_avail(false);
    request.set_dc_avail(false);
    request.set_enable_40w(false);
    qz_msgs::system_t reply;
    if (!m_device || m_transport.SendRequest(Header::MSG_GET_REQ, request, reply) != 0) {
        hide();
        return;
    }
    const int page = reply.full_bandwidth() ? 1 : 0;
    m_form->stackedWidget->setCurrentIndex(page);
    m_current = &m_sets[page];

    FormVariant& w = *m_current->widgets;
    w.enable40W->setEnabled(reply.poeplus_avail());
    loadChecked(w.enable40W, reply.enable_40w());
    setLed(w.dcLed, reply.dc_avail());
    setLed(w.poeLed, !(reply.dc_avail() || reply.poeplus_avail()));
    setLed(w.poePlusLed, reply.poeplus_avail());

    w.deviceName->setText(m_device->getName());
    if (!isActiveWindow()) {
        // Written as Latin-1 by locationChanged, so read the same way.
        w.location->setText(
            QString::fromLatin1(reply.location().data(), int(reply.location().size())));
    }
    w.ipAddress->setText(m_device->getIpAddress().toString());
    w.mac->setText(m_device->getMacAddress());
    w.fwVersion->setText(dspmath::mcuVersionText(m_device->getMcuVersion()));
    w.model->setText(m_device->getModelName());
}

bool ZEB_Window::updateAmpStatus() {
    if (!m_current || !m_device) {
        return true;
    }
    FormVariant& w = *m_current->widgets;
    m_current->speakerStatus = m_device->getAmpStatus3();
    setLed(w.speakerStatusLed, m_current->speakerStatus != 0);
    setLed(w.ampStatusLed, m_device->getAmpStatus1() != 0);
    setLed(w.temperatureLed, m_device->getAmpStatus2() != 0);
    return true;
}

bool ZEB_Window::updateAmpConfig() {
    amp_t amp;
    amp.set_spkr(0);
    amp_t amp_reply;
    if (m_transport.SendRequest(Header::MSG_GET_REQ, amp, amp_reply) != 0) {
        return false;
    }
    dsp_t request = dspFor();
    request.set_ch1_slave(false);
    request.set_ch2_slave_a(false);
    request.set_ch2_slave_b(false);
    dsp_t reply;
    if (m_transport.SendRequest(Header::MSG_GET_REQ, request, reply) != 0) {
        return false;
    }
    if (m_current) {
        FormVariant& w = *m_current->widgets;
        loadChecked(w.ch1Slave, reply.ch1_slave());
        loadChecked(w.ch2SlaveA, reply.ch2_slave_a());
        loadChecked(w.ch2SlaveB, reply.ch2_slave_b());
    }
    return true;
}

bool ZEB_Window::updateMeters() {
    if (!m_current) {
        return false;
    }
    dsp_t request = dspFor();
    for (int c = 0; c < m_current->numChannels; ++c) {
        channel_t* channel = request.add_channel();
        channel->set_channel_id(uint32_t(c));
        channel->mutable_input()->set_measured_rms_level(0);
        channel->mutable_output()->set_measured_rms_level(0);
    }
    dsp_t reply;
    if (m_transport.SendRequest(Header::MSG_GET_REQ, request, reply) != 0) {
        return false;
    }
    for (int i = 0; i < m_current->numChannels && i < reply.channel_size(); ++i) {
        const channel_t& channel = reply.channel(i);
        if (channel.channel_id() >= uint32_t(m_current->numChannels)) {
            continue;
        }
        ChannelUI& ui = m_current->channels[channel.channel_id()];
        ui.inputMeter()->setDbValuePort1(channel.input().measured_rms_level());
        ui.outputMeter()->setDbValuePort1(channel.output().measured_rms_level());
    }
    return true;
}

bool ZEB_Window::updateDebugStatus() {
    dbg_t request;
    request.set_id(0);
    impedence_test_t* test = request.mutable_test();
    test->set_id(0);
    test->set_level(0);
    test->set_freq(0);
    test->set_failed(false);
    dbg_t reply;
    if (!m_current || m_transport.SendRequest(Header::MSG_GET_REQ, request, reply) != 0) {
        return false;
    }
    m_current->widgets->testFreq->setText(QString::number(reply.test().freq()));
    m_current->widgets->testLevel->setText(QString::number(double(reply.test().level()), 'f', 1));
    return true;
}

bool ZEB_Window::updateDebugMeasured() {
    dbg_t request;
    request.set_id(0);
    impedence_test_t* test = request.mutable_test();
    test->set_id(0);
    test->set_measured_imp_a(0);
    test->set_measured_imp_b(0);
    test->set_measured_imp_c(0);
    test->set_measured_imp_d(0);
    test->set_failed(false);
    dbg_t reply;
    if (!m_current || m_transport.SendRequest(Header::MSG_GET_REQ, request, reply) != 0) {
        return false;
    }
    const impedence_test_t& measured = reply.test();
    const uint32_t values[ZebWidgetSet::kImpedances] = {
        measured.measured_imp_a(), measured.measured_imp_b(), measured.measured_imp_c(),
        measured.measured_imp_d()};
    QStringList texts;
    for (int j = 0; j < ZebWidgetSet::kImpedances; ++j) {
        m_current->measuredImpedance[j] = dspmath::impedanceFromMeasured(values[j]);
        texts << QString::number(double(m_current->measuredImpedance[j]), 'f', 1);
        setLed(m_current->widgets->impedanceLeds[j], (m_current->speakerStatus >> j) & 1);
    }
    m_current->widgets->measuredImpedance->setText(texts.join(QLatin1Char(',')));
    return true;
}

void ZEB_Window::syncDeviceChannel(int channel) {
    if (!m_current || channel < 0 || channel >= m_current->numChannels) {
        return;
    }
    ChannelUI& ui = m_current->channels[channel];
    dsp_t request = dspFor(channel);
    channel_t* asked = request.mutable_channel(0);
    asked->mutable_input()->set_gain(0);
    asked->mutable_input()->set_delay_ms(0);
    asked->mutable_output()->set_mute(false);
    asked->mutable_output()->set_invert(false);
    asked->mutable_output()->set_gain(0);
    for (dsp_pass_filter_t* filter :
         {asked->mutable_high_pass_filter(), asked->mutable_low_pass_filter()}) {
        filter->set_bypass(false);
        filter->set_freq(0);
    }
    for (int b = 0; b < ui.bandCount(); ++b) {
        dsp_peq_t* band = asked->add_peq();
        band->set_band_id(uint32_t(b));
        band->set_bypass(false);
        band->set_freq(0);
        band->set_gain(0);
        band->set_q(0);
    }
    dsp_t reply;
    if (m_transport.SendRequest(Header::MSG_GET_REQ, request, reply) != 0 ||
        reply.channel_size() != 1 || reply.channel(0).channel_id() != uint32_t(channel)) {
        return;
    }
    const channel_t& got = reply.channel(0);
    ui.delayLink().setValue(int(qMin<uint32_t>(got.input().delay_ms(), INT32_MAX)));
    ui.inputGainLink().setValue(got.input().gain());
    loadChecked(ui.outputInvert(), got.output().invert());
    loadChecked(ui.outputMute(), got.output().mute());
    ui.outputGainLink().setValue(got.output().gain());
    loadChecked(ui.highPassBypass(), got.high_pass_filter().bypass());
    ui.highPassFreqLink().setValue(got.high_pass_filter().freq());
    loadChecked(ui.lowPassBypass(), got.low_pass_filter().bypass());
    ui.lowPassFreqLink().setValue(got.low_pass_filter().freq());
    for (int i = 0; i < got.peq_size() && i < ui.bandCount(); ++i) {
        const dsp_peq_t& band = got.peq(i);
        if (band.band_id() >= uint32_t(ui.bandCount())) {
            continue;
        }
        BandUI& widgets = ui.band(int(band.band_id()));
        loadChecked(widgets.bypass(), band.bypass());
        widgets.freqLink().setValue(band.freq());
        widgets.gainLink().setValue(band.gain());
        widgets.qLink().setValue(dspmath::octavesFromQ(band.q()));
    }
}
