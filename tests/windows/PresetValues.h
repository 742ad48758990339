#pragma once

#include <QByteArray>

#include <string>

#include "DspMath.h"
#include "WindowFixture.h"

// Preset values the window shows exactly, and files made of them.

// A device state with non-integer dB and Q values the window can show exactly.
inline dsp_t richDsp() {
    dsp_t dsp = deviceDsp();
    dsp.set_ch1_slave(true);
    dsp.set_ch2_slave_a(false);
    dsp.set_ch2_slave_b(true);
    dsp.set_channel_input(dsp_t::CH_2_VIREO_INPUT);
    dsp.mutable_pink_gen()->set_enable(true);
    dsp.mutable_pink_gen()->set_level(-12.5f);
    for (int c = 0; c < 2; ++c) {
        channel_t* channel = dsp.mutable_channel(c);
        channel->mutable_input()->set_gain(-3.5f - c);
        channel->mutable_input()->set_delay_ms(uint32_t(17 + c));
        channel->mutable_output()->set_gain(1.5f);
        channel->mutable_output()->set_mute(c == 1);
        channel->mutable_output()->set_invert(c == 0);
        channel->mutable_high_pass_filter()->set_bypass(true);
        channel->mutable_high_pass_filter()->set_freq(uint32_t(80 + c));
        channel->mutable_low_pass_filter()->set_freq(uint32_t(15000 + c));
        for (int b = 0; b < 8; ++b) {
            dsp_peq_t* band = channel->mutable_peq(b);
            band->set_bypass(b % 2 == 1);
            band->set_freq(uint32_t(100 + 250 * b + c));
            band->set_gain(-2.5f + 0.5f * float(b));
            band->set_q(float(dspmath::qFromOctaves(0.75 + 0.25 * b)));
        }
    }
    return dsp;
}

// The fields a preset carries, as a comparable text.
inline std::string presetFields(const dsp_t& dsp, int channels) {
    dsp_t kept;
    kept.set_dsp_id(0);
    kept.set_ch1_slave(dsp.ch1_slave());
    kept.set_ch2_slave_a(dsp.ch2_slave_a());
    kept.set_ch2_slave_b(dsp.ch2_slave_b());
    kept.set_channel_input(dsp.channel_input());
    *kept.mutable_pink_gen() = dsp.pink_gen();
    for (int c = 0; c < channels; ++c) {
        const channel_t& from = dsp.channel(c);
        channel_t* to = kept.add_channel();
        to->set_channel_id(from.channel_id());
        to->mutable_input()->set_gain(from.input().gain());
        to->mutable_input()->set_delay_ms(from.input().delay_ms());
        to->mutable_high_pass_filter()->set_bypass(from.high_pass_filter().bypass());
        to->mutable_high_pass_filter()->set_freq(from.high_pass_filter().freq());
        to->mutable_low_pass_filter()->set_bypass(from.low_pass_filter().bypass());
        to->mutable_low_pass_filter()->set_freq(from.low_pass_filter().freq());
        to->mutable_output()->set_mute(from.output().mute());
        to->mutable_output()->set_invert(from.output().invert());
        to->mutable_output()->set_gain(from.output().gain());
        for (const dsp_peq_t& band : from.peq()) {
            dsp_peq_t* copy = to->add_peq();
            copy->set_band_id(band.band_id());
            copy->set_bypass(band.bypass());
            copy->set_freq(band.freq());
            copy->set_gain(band.gain());
            copy->set_q(band.q());
        }
    }
    return kept.DebugString();
}

// A file of our own making: the header, then a dsp_t edited by the test.
inline QByteArray presetFile(const dsp_t& dsp) {
    std::string body;
    dsp.SerializePartialToString(&body);
    QByteArray bytes("ZEB-2X100");
    bytes.append(QByteArray(23, '\0'));
    bytes.append(body.data(), int(body.size()));
    return bytes;
}

// The device state of richDsp() as a file holds it: every value the window writes, Q in
// octaves.
inline dsp_t richPreset() {
    dsp_t preset = richDsp();
    for (channel_t& channel : *preset.mutable_channel()) {
        channel.mutable_low_pass_filter()->set_bypass(false);
        for (dsp_peq_t& band : *channel.mutable_peq()) {
            band.set_q(float(0.75 + 0.25 * band.band_id()));
        }
    }
    return preset;
}
