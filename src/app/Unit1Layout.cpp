#include "app/Unit1Layout.h"

#include <algorithm>
#include <cmath>

namespace caltrix::app {

namespace {
// Far enough for any placement the window can show, near enough to stay clear of int overflow when
// Qt adds widths and offsets to it.
constexpr long double CoordinateLimit = 1 << 30;

// The roller's circumference over this gives the roll-diameter setting (the constant is 8.89·π).
constexpr long double CircumferencePerRollUnit = 27.928758690413261891L;
} // namespace

int RoundHalfEven(long double value)
{
    if (std::isnan(value))
        return 0;
    // nearbyint rounds in the program's rounding mode, which is never changed from to-nearest-even.
    return static_cast<int>(std::nearbyint(std::clamp(value, -CoordinateLimit, CoordinateLimit)));
}

int ScaleItemLeft(const QRect& bar, int itemWidth, double speed)
{
    // Computed in this order, in double precision, so that halves come out exactly halves.
    const double left = bar.width() * speed / layout::ScaleEnd + bar.left() - itemWidth / 2.0;
    return RoundHalfEven(left);
}

std::int32_t CircumferenceToRollDiameter(std::int32_t circumference)
{
    return RoundHalfEven(static_cast<long double>(circumference) / CircumferencePerRollUnit);
}

} // namespace caltrix::app
