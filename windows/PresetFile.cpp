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

bool fits(const dsp_t& settings, const std::vector<int>& band_counts) {
    if (settings.channel_size() < int(band_counts.size()) ||
        !std::isfinite(settings.pink_gen().level())) {
        return false;
    }
    for (int c = 0; c < int(band_counts.size()); ++c) {
        const channel_t& channel = settings.channel(c);
        if (channel.peq_size() < band_counts[c] || !std::isfinite(channel.input().gain()) ||
            !std::isfinite(channel.output().gain())) {
            return false;
        }
        for (int b = 0; b < band_counts[c]; ++b) {
            if (!std::isfinite(channel.peq(b).gain()) || !std::isfinite(channel.peq(b).q())) {
                return false;
            }
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

bool read(const QByteArray& file, const QString& model, const std::vector<int>& band_counts,
          dsp_t* settings) {
    return isFor(file, model) &&
           settings->ParseFromArray(file.constData() + kHeaderSize, file.size() - kHeaderSize) &&
           fits(*settings, band_counts);
}

}  // namespace presetfile
