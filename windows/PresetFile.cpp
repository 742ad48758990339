#include "PresetFile.h"

#include <cmath>

namespace presetfile {

namespace {

// The model name as Latin-1, padded with zero bytes to 32; a longer name is kept whole.
QByteArray modelBytes(const QString& model) {
    QByteArray bytes = model.toLatin1();
    if (bytes.size() < kHeaderSize) {
        bytes.append(QByteArray(kHeaderSize - bytes.size(), '\0'));
    }
    return bytes;
}

bool whole(const dsp_pass_filter_t& filter) {
    return filter.has_bypass() && filter.has_freq();
}

bool whole(const dsp_peq_t& band) {
    return band.has_bypass() && band.has_freq() && band.has_gain() && band.has_q() &&
           std::isfinite(band.gain()) && std::isfinite(band.q());
}

bool whole(const channel_t& channel, int bands) {
    const dsp_input_t& input = channel.input();
    const dsp_output_t& output = channel.output();
    if (!input.has_gain() || !input.has_delay_ms() || !std::isfinite(input.gain()) ||
        !whole(channel.high_pass_filter()) || !whole(channel.low_pass_filter()) ||
        !output.has_mute() || !output.has_invert() || !output.has_gain() ||
        !std::isfinite(output.gain()) || channel.peq_size() < bands) {
        return false;
    }
    for (int b = 0; b < bands; ++b) {
        if (!whole(channel.peq(b))) {
            return false;
        }
    }
    return true;
}

bool fits(const dsp_t& settings, const Controls& controls) {
    const dsp_pinkgen_t& pink = settings.pink_gen();
    if (!settings.has_ch1_slave() || !settings.has_ch2_slave_a() || !settings.has_ch2_slave_b() ||
        (controls.input_type && !settings.has_channel_input()) || !pink.has_enable() ||
        !pink.has_level() || !std::isfinite(pink.level()) ||
        settings.channel_size() < int(controls.band_counts.size())) {
        return false;
    }
    for (int c = 0; c < int(controls.band_counts.size()); ++c) {
        if (!whole(settings.channel(c), controls.band_counts[c])) {
            return false;
        }
    }
    return true;
}

}  // namespace

QByteArray headerFor(const QString& model) {
    return modelBytes(model).left(kHeaderSize);
}

QByteArray header(const QByteArray& file) {
    return file.left(kHeaderSize);
}

QString modelName(const QByteArray& file) {
    const QByteArray bytes = header(file);
    const int end = bytes.indexOf('\0');
    return QString::fromLatin1(end < 0 ? bytes : bytes.left(end));
}

bool isFor(const QByteArray& file, const QString& model) {
    return file.size() >= kHeaderSize && header(file) == modelBytes(model);
}

bool read(const QByteArray& file, const QString& model, const Controls& controls, dsp_t* settings) {
    return isFor(file, model) &&
           settings->ParseFromArray(file.constData() + kHeaderSize, file.size() - kHeaderSize) &&
           fits(*settings, controls);
}

}  // namespace presetfile
