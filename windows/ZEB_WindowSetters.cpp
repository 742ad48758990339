// The window's setter slots: each sends one set request carrying only its control's value.
#include <QLineEdit>
#include <QRadioButton>

#include "DspMath.h"
#include "ZEB_Window.h"

namespace {

using Header = qz_msgs::header_t;

channel_t* channelOf(dsp_t& dsp) {
    return dsp.mutable_channel(0);
}

dsp_peq_t* bandOf(dsp_t& dsp) {
    return dsp.mutable_channel(0)->mutable_peq(0);
}

dbg_t debugRequest() {
    dbg_t dbg;
    dbg.set_id(0);
    dbg.mutable_test()->set_id(0);
    return dbg;
}

}  // namespace

dsp_t ZEB_Window::dspFor(int channel, int band) {
    dsp_t dsp;
    dsp.set_dsp_id(0);
    if (channel >= 0) {
        channel_t* entry = dsp.add_channel();
        entry->set_channel_id(uint32_t(channel));
        if (band >= 0) {
            entry->add_peq()->set_band_id(uint32_t(band));
        }
    }
    return dsp;
}

void ZEB_Window::sendSet(const dsp_t& dsp) {
    qz_msgs::empty_payload_t reply;
    m_transport.SendRequest(Header::MSG_SET_REQ, dsp, reply);
}

void ZEB_Window::sendSet(const qz_msgs::system_t& system) {
    qz_msgs::empty_payload_t reply;
    m_transport.SendRequest(Header::MSG_SET_REQ, system, reply);
}

void ZEB_Window::sendSet(const dbg_t& dbg) {
    qz_msgs::empty_payload_t reply;
    m_transport.SendRequest(Header::MSG_SET_REQ, dbg, reply);
}

void ZEB_Window::setIdentifyState(int state) {
    qz_msgs::system_t system;
    system.set_identify_state(state != 0);
    sendSet(system);
}

void ZEB_Window::set40WEnable(int state) {
    qz_msgs::system_t system;
    system.set_enable_40w(state != 0);
    sendSet(system);
}

void ZEB_Window::locationChanged() {
    if (!m_current) {
        return;
    }
    qz_msgs::system_t system;
    system.set_location(m_current->widgets->location->text().toLatin1().toStdString());
    sendSet(system);
}

void ZEB_Window::setMonitorEnableCh1(int state) {
    dsp_t dsp = dspFor();
    dsp.set_monitor_ch1(state != 0);
    sendSet(dsp);
}

void ZEB_Window::setMonitorEnableCh2(int state) {
    dsp_t dsp = dspFor();
    dsp.set_monitor_ch2(state != 0);
    sendSet(dsp);
}

void ZEB_Window::setFullCh1Slave(int state) {
    dsp_t dsp = dspFor();
    dsp.set_ch1_slave(state != 0);
    sendSet(dsp);
}

void ZEB_Window::setFullCh2SlaveA(int state) {
    dsp_t dsp = dspFor();
    dsp.set_ch2_slave_a(state != 0);
    sendSet(dsp);
}

void ZEB_Window::setFullCh2SlaveB(int state) {
    dsp_t dsp = dspFor();
    dsp.set_ch2_slave_b(state != 0);
    sendSet(dsp);
}

void ZEB_Window::InputChannelTypeChanged() {
    if (!m_current || !m_current->widgets->singleInput) {
        return;
    }
    dsp_t dsp = dspFor();
    dsp.set_channel_input(m_current->widgets->singleInput->isChecked() ? dsp_t::SINGLE_INPUT
                                                                       : dsp_t::CH_2_VIREO_INPUT);
    sendSet(dsp);
}

void ZEB_Window::inputGainChanged(int chIdx, double value) {
    dsp_t dsp = dspFor(chIdx);
    channelOf(dsp)->mutable_input()->set_gain(float(value));
    sendSet(dsp);
}

void ZEB_Window::delayChanged(int chIdx, int value) {
    dsp_t dsp = dspFor(chIdx);
    channelOf(dsp)->mutable_input()->set_delay_ms(uint32_t(value));
    sendSet(dsp);
}

void ZEB_Window::highPassBypassChanged(int chIdx, int state) {
    dsp_t dsp = dspFor(chIdx);
    channelOf(dsp)->mutable_high_pass_filter()->set_bypass(state != 0);
    sendSet(dsp);
}

void ZEB_Window::highPassFreqChanged(int chIdx, double value) {
    dsp_t dsp = dspFor(chIdx);
    channelOf(dsp)->mutable_high_pass_filter()->set_freq(uint32_t(value));
    sendSet(dsp);
}

void ZEB_Window::lowPassBypassChanged(int chIdx, int state) {
    dsp_t dsp = dspFor(chIdx);
    channelOf(dsp)->mutable_low_pass_filter()->set_bypass(state != 0);
    sendSet(dsp);
}

void ZEB_Window::lowPassFreqChanged(int chIdx, double value) {
    dsp_t dsp = dspFor(chIdx);
    channelOf(dsp)->mutable_low_pass_filter()->set_freq(uint32_t(value));
    sendSet(dsp);
}

void ZEB_Window::outputGainChanged(int channel, double value) {
    dsp_t dsp = dspFor(channel);
    channelOf(dsp)->mutable_output()->set_gain(float(value));
    sendSet(dsp);
}

void ZEB_Window::outputInvertChanged(int channel, int state) {
    dsp_t dsp = dspFor(channel);
    channelOf(dsp)->mutable_output()->set_invert(state != 0);
    sendSet(dsp);
}

void ZEB_Window::outputMuteChanged(int channel, int state) {
    dsp_t dsp = dspFor(channel);
    channelOf(dsp)->mutable_output()->set_mute(state != 0);
    sendSet(dsp);
}

void ZEB_Window::bandBypassChanged(int channel, int band, int state) {
    dsp_t dsp = dspFor(channel, band);
    bandOf(dsp)->set_bypass(state != 0);
    sendSet(dsp);
}

void ZEB_Window::bandFreqChanged(int channel, int band, double value) {
    dsp_t dsp = dspFor(channel, band);
    bandOf(dsp)->set_freq(uint32_t(value));
    sendSet(dsp);
}

void ZEB_Window::bandGainChanged(int channel, int band, double value) {
    dsp_t dsp = dspFor(channel, band);
    bandOf(dsp)->set_gain(float(value));
    sendSet(dsp);
}

void ZEB_Window::bandQChanged(int channel, int band, double value) {
    dsp_t dsp = dspFor(channel, band);
    bandOf(dsp)->set_q(float(dspmath::qFromOctaves(value)));
    sendSet(dsp);
}

void ZEB_Window::pinkNoiseEnableChanged(int state) {
    dsp_t dsp = dspFor();
    dsp.mutable_pink_gen()->set_enable(state != 0);
    sendSet(dsp);
}

void ZEB_Window::pinkNoiseLevelChanged(double value) {
    dsp_t dsp = dspFor();
    dsp.mutable_pink_gen()->set_level(float(value));
    sendSet(dsp);
}

void ZEB_Window::applyDebugParams() {
    if (!m_current) {
        return;
    }
    dbg_t dbg = debugRequest();
    dbg.mutable_test()->set_level(m_current->widgets->testLevel->text().toFloat());
    dbg.mutable_test()->set_freq(m_current->widgets->testFreq->text().toUInt(nullptr, 10));
    sendSet(dbg);
}

void ZEB_Window::manualDebugRun() {
    if (m_current) {
        m_current->widgets->measuredImpedance->clear();
    }
    dbg_t dbg = debugRequest();
    dbg.mutable_test()->set_run(true);
    sendSet(dbg);
}
