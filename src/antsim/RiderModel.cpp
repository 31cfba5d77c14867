#include "antsim/RiderModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace caltrix::antsim {

namespace {
constexpr double FlatOutSpeedKmh = 50;  // effort 1 at resistance 0
constexpr double ResistanceHalving = 85; // the level at which the steady speed halves
constexpr double StepMs = 100;           // integration step
} // namespace

RiderModel::RiderModel(std::uint32_t seed)
    : phase_(static_cast<double>(seed % 1000) / 1000.0 * 2 * std::numbers::pi)
{
}

void RiderModel::setResistance(std::uint8_t level)
{
    if (level == resistance_)
        return;
    resistance_ = level;
    if (onResistanceChanged)
        onResistanceChanged(level);
}

void RiderModel::setEffort(double effort) { effort_ = std::clamp(effort, 0.0, 1.0); }

double RiderModel::steadySpeedKmh(double effort, std::uint8_t level)
{
    return FlatOutSpeedKmh * effort / (1.0 + level / ResistanceHalving);
}

double RiderModel::wobble(double periodMs, double phase) const
{
    return std::sin(2 * std::numbers::pi * static_cast<double>(now_) / periodMs + phase_ + phase);
}

double RiderModel::speedKmh() const
{
    return steadySpeedKmh(effort_, resistance_) * (1.0 + 0.03 * wobble(20000, 0));
}

double RiderModel::cadenceRpm() const
{
    return std::clamp(55.0 + speedKmh() + 3 * wobble(13000, 1), 40.0, 120.0);
}

double RiderModel::heartRateBpm() const
{
    return 65 + 95 * effort_ + 0.4 * speedKmh() + 2 * wobble(17000, 2);
}

void RiderModel::advanceTo(std::uint64_t ms)
{
    while (now_ < ms) {
        const auto step = std::min<std::uint64_t>(ms - now_, static_cast<std::uint64_t>(StepMs));
        const double seconds = static_cast<double>(step) / 1000.0;
        distanceM_ += speedKmh() / 3.6 * seconds;
        crankTurns_ += cadenceRpm() / 60.0 * seconds;
        now_ += step;
    }
}

} // namespace caltrix::antsim
