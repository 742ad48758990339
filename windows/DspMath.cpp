#include "DspMath.h"

#include <cmath>

namespace dspmath {

double qFromOctaves(double octaves) {
    const double power = std::pow(2.0, octaves);
    return std::sqrt(power) / (power - 1.0);
}

double octavesFromQ(double q) {
    const double half_inverse = 1.0 / (2.0 * q);
    return (2.0 / std::log(2.0)) *
           std::log(half_inverse + std::sqrt(half_inverse * half_inverse + 1.0));
}

QString mcuVersionText(uint32_t version) {
    if (version == 0) {
        return QStringLiteral("v-.-");
    }
    return QStringLiteral("v%1.%2").arg(version >> 16).arg(version & 0xFFFF);
}

float impedanceFromMeasured(uint32_t measured) {
    float x = float(measured);
    x = float(double(x) * std::ldexp(1.0, -23));
    x = float(double(x) * 96.32959861 + 12.04);
    return x - 191.0f;
}

}  // namespace dspmath
