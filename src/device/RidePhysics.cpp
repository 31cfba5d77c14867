#include "device/RidePhysics.h"

#include "devicebase/Helpers.h"

#include <algorithm>
#include <cmath>

namespace caltrix::device::ride {

namespace {

constexpr double Gravity = 9.8;

} // namespace

double riderMass(double riderWeight, TUnitMeasure uom) { return riderWeight + (uom == devicebase::umKm ? 10.0 : 22.0); }

double power(double speed, double slope, double mass, TUnitMeasure uom)
{
    if (speed <= 0)
        return 0;
    const double m = mass;
    const double v = speed;
    const double p = uom == devicebase::umKm ? 0.00145 * v * v * v + 0.127 * v * v + (0.027 * m * slope - 0.37) * v
                                             : 0.006 * v * v * v + 0.33 * v * v + (0.02 * m * slope - 0.6) * v;
    return p <= 0 ? 0 : p;
}

double caloriesPerSecond(double speed, double slope, double mass, TUnitMeasure uom)
{
    const double s = speed;
    const double m = mass;
    const double e = uom == devicebase::umKm ? 4.4e-6 * s * s * s + 1.8e-5 * s * m + 0.002 * s * slope
                                             : 1.83e-5 * s * s * s + 1.3e-5 * s * m + 0.0015 * s * slope;
    return std::max(e, 0.0);
}

VirtualSpeedStep nextVirtualSpeed(const VirtualSpeedInput& in)
{
    VirtualSpeedStep step;
    if (in.realSpeed == 0)
        return step;
    const double m = in.mass;
    const double previous = in.previousSpeed;
    step.gravityForce = m * std::fabs(in.slope) * in.attenuation / 100;
    step.pedalingForce = power(in.realSpeed, 0, m, in.uom) / in.realSpeed;
    const double total = previous + in.realSpeed;
    step.attritionForce = total != 0 ? power(total, 0, m, in.uom) / total : 0;
    step.netForce = step.pedalingForce + step.gravityForce - step.attritionForce;
    double next = 0;
    if (in.slope < 0)
        next = static_cast<double>(devicebase::RoundToDigits(in.precision, previous + step.netForce / (m / Gravity)));
    else if (std::fabs(previous) > in.tolerance)
        next = previous - step.attritionForce * 2.5 / (m / Gravity);
    step.speed = std::max(next, 0.0);
    return step;
}

} // namespace caltrix::device::ride
