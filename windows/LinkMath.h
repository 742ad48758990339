#pragma once

#include <cmath>

// The arithmetic shared by the slider links: a value range and a slider range mapped linearly
// onto each other in double precision. A degenerate or non-finite range maps to its start.
namespace linkmath {

inline double map(double v, double min, double max, double smin, double smax) {
    if (!(max != min)) {
        return smin;
    }
    return (v - min) / (max - min) * (smax - smin) + smin;
}

inline double unmap(double p, double smin, double smax, double min, double max) {
    if (!(smax != smin)) {
        return min;
    }
    return (p - smin) / (smax - smin) * (max - min) + min;
}

// Truncation toward zero into an int; NaN gives 0 and out-of-range values saturate.
inline int truncToInt(double x) {
    if (std::isnan(x)) {
        return 0;
    }
    if (x >= 2147483647.0) {
        return 2147483647;
    }
    if (x <= -2147483648.0) {
        return -2147483647 - 1;
    }
    return int(std::trunc(x));
}

}  // namespace linkmath
