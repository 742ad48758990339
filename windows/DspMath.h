#pragma once

#include <QString>

#include <cstdint>

// Conversions between what the device window shows and what the device holds.
namespace dspmath {

// The filter Q of a bandwidth of `octaves`: sqrt(2^N) / (2^N - 1).
double qFromOctaves(double octaves);
// The bandwidth in octaves of filter Q q: (2 / ln 2) * asinh(1 / (2q)).
double octavesFromQ(double q);
// "v<major>.<minor>" of (major << 16) | minor, or "v-.-" for 0.
QString mcuVersionText(uint32_t version);
// A measured impedance value in the single-precision steps the device's scale uses.
float impedanceFromMeasured(uint32_t measured);

}  // namespace dspmath
