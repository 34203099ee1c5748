#pragma once

#include <cmath>

namespace lorvanta {

// The amplitude factor of a level in decibels: 10^(dB / 20), worked in double
// precision and used in single.
inline float DbToGain(double db) {
    return static_cast<float>(std::pow(10.0, db / 20.0));
}

} // namespace lorvanta
