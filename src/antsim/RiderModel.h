#pragma once

#include <cstdint>
#include <functional>

namespace caltrix::antsim {

// A rider on the trainer, so that the simulated numbers mean something: at a given effort a higher
// resistance level gives a lower wheel speed; speed, cadence and heart rate wobble slowly and
// plausibly around their steady values. Time is in milliseconds since the world began; `advanceTo`
// integrates the distance and crank turns up to that moment (never backwards).
class RiderModel {
public:
    explicit RiderModel(std::uint32_t seed);

    void setEffort(double effort); // 0 (resting) .. 1 (flat out); default 0.7
    double effort() const { return effort_; }
    void setResistance(std::uint8_t level);
    std::uint8_t resistance() const { return resistance_; }
    // Called with each level the trainer takes that differs from the one in force.
    std::function<void(std::uint8_t level)> onResistanceChanged;

    void advanceTo(std::uint64_t ms);

    double speedKmh() const;   // at the current moment
    double cadenceRpm() const;
    double heartRateBpm() const;
    double distanceMetres() const { return distanceM_; }
    double crankTurns() const { return crankTurns_; }
    std::uint64_t now() const { return now_; }

    // Steady speed at an effort and resistance level, without the wobble.
    static double steadySpeedKmh(double effort, std::uint8_t level);

private:
    double wobble(double periodMs, double phase) const;

    double effort_ = 0.7;
    std::uint8_t resistance_ = 0;
    double phase_ = 0;
    std::uint64_t now_ = 0;
    double distanceM_ = 0;
    double crankTurns_ = 0;
};

} // namespace caltrix::antsim
