#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

// Ride values and resistance levels computed in floating point and kept as whole numbers.
namespace caltrix::device {

// A whole number as a 32-bit integer, saturating instead of overflowing; NaN gives 0.
inline std::int32_t saturatedInt(long double whole)
{
    if (std::isnan(whole))
        return 0;
    constexpr long double lo = std::numeric_limits<std::int32_t>::min();
    constexpr long double hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(whole, lo, hi));
}

// To the nearest integer, halves to the even neighbour (the default rounding mode).
inline std::int32_t roundToInt(long double x) { return saturatedInt(std::nearbyint(x)); }
inline std::int32_t truncToInt(long double x) { return saturatedInt(std::trunc(x)); }

} // namespace caltrix::device
