#pragma once

#include "devicebase/VelDeviceBaseClasses.h"

#include <cstdint>

// The ride model of the trainer device: the rider's mass, the power needed to hold a speed, the
// calories of one second, and one step of the virtual speed a rider gains downhill. With umKm
// speeds are in km/h and masses in kg; with umMiles in mph and pounds. Slopes are in percent.
namespace caltrix::device::ride {

using devicebase::TUnitMeasure;

// The rider's weight plus the bicycle's: 10 kg, or 22 lb.
double riderMass(double riderWeight, TUnitMeasure uom);

// Watts needed to hold `speed` on `slope`; 0 at standstill and wherever the model gives no
// positive power (slow speeds, steep descents).
double power(double speed, double slope, double mass, TUnitMeasure uom);

// Calories burnt in one second (one statistics tick) at `speed` on `slope`; never negative.
double caloriesPerSecond(double speed, double slope, double mass, TUnitMeasure uom);

// What one tick's step of the virtual speed starts from.
struct VirtualSpeedInput {
    double previousSpeed = 0; // the virtual speed of the previous tick
    double realSpeed = 0;     // the measured speed
    double slope = 0;         // below 0 downhill
    double attenuation = 1;   // scales the gravity force
    double mass = 0;
    TUnitMeasure uom = devicebase::umKm;
    double tolerance = 0;         // on the flat or uphill, a smaller virtual speed drops to 0
    std::int32_t precision = 8;   // decimals kept in the speed gained downhill
};

// The forces of the step (per unit of speed, as the power model gives them) and its result.
struct VirtualSpeedStep {
    double gravityForce = 0;
    double pedalingForce = 0;
    double attritionForce = 0;
    double netForce = 0;
    double speed = 0; // the new virtual speed, never negative
};

// Downhill, the net force of pedalling and gravity against attrition adds to the virtual speed; on
// the flat or uphill it decays by the attrition until it is within the tolerance and drops to 0.
// A real speed of 0 gives a step of zeros: a rider who stopped gains nothing.
VirtualSpeedStep nextVirtualSpeed(const VirtualSpeedInput& in);

} // namespace caltrix::device::ride
