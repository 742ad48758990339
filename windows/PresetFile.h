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
// The settings of a file for the model, when they parse, hold at least one channel per entry of
// `band_counts` with at least that many bands, and every level and Q is a finite number.
bool read(const QByteArray& file, const QString& model, const std::vector<int>& band_counts,
          dsp_t* settings);

}  // namespace presetfile
