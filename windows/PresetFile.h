#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "qz_dsp.pb.h"

// A ".pset" file: the device's model name as Latin-1 in 32 bytes, padded with zero bytes, then
// one serialised dsp_t.
namespace presetfile {

constexpr int kHeaderSize = 32;

// The header of a model's file: exactly 32 bytes, a longer name cut to fit.
QByteArray headerFor(const QString& model);
// The file's first 32 bytes (fewer when the file is shorter).
QByteArray header(const QByteArray& file);
// The model name the header holds: its text up to the first zero byte.
QString modelName(const QByteArray& file);
// True when the file is one of this model's: its header is the name padded to 32 bytes. A name
// longer than 32 bytes matches no file.
bool isFor(const QByteArray& file, const QString& model);

// The controls a file is applied to: the bands of each channel shown, and whether the input
// type is shown.
struct Controls {
    std::vector<int> band_counts;
    bool input_type = false;
};

// The settings of a file for the model, when they parse and hold every value applied to the
// controls, so that a cut file is refused: the three slave flags (every page writes them), the
// pink noise, the input type where shown, and at least one channel per entry of `band_counts`
// with all its values and at least that many whole bands; every level and Q a finite number.
bool read(const QByteArray& file, const QString& model, const Controls& controls, dsp_t* settings);

}  // namespace presetfile
