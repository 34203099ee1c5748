#pragma once

// Converting a float that may have come from a file to an integer: a plain
// cast is undefined when the value does not fit, so it is limited first.

#include <limits>

namespace lorvanta {

// Truncation toward zero, limited to the range of int; NaN gives 0.
constexpr int TruncateToInt(double value) {
    if (!(value == value))
        return 0;
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

} // namespace lorvanta
