// The ride model: rider mass, power, calories and the virtual speed, each a table of inputs and
// the values worked out by hand from the formulas.
#include "device/RidePhysics.h"

#include <gtest/gtest.h>

using namespace caltrix::device::ride;
using caltrix::devicebase::umKm;
using caltrix::devicebase::umMiles;

namespace {

// A speed on a slope for a rider of a mass, and what the model gives there.
struct RideRow {
    double speed, slope, mass;
    TUnitMeasure uom;
    double expected;
};

} // namespace

TEST(RidePhysics, RiderMassAddsTheBicycleInTheRidersUnit)
{
    EXPECT_EQ(riderMass(70, umKm), 80);
    EXPECT_EQ(riderMass(70, umMiles), 92);
    EXPECT_EQ(riderMass(0, umKm), 10);
}

TEST(RidePhysics, PowerNeverNegative)
{
    const RideRow rows[] = {
        { 30, 0, 80, umKm, 142.35 },   // 39.15 + 114.3 - 11.1
        { 20, 5, 80, umKm, 271.0 },    // 11.6 + 50.8 + (10.8 - 0.37) x 20
        { 2, 0, 80, umKm, 0 },         // 0.0116 + 0.508 - 0.74 < 0
        { 20, -10, 80, umKm, 0 },      // the descent pulls harder than the rider
        { 0, 5, 80, umKm, 0 },         // standstill
        { -5, 5, 80, umKm, 0 },
        { 20, 0, 92, umMiles, 168 },   // 48 + 132 - 12
        { 10, 2, 92, umMiles, 69.8 },  // 6 + 33 + (3.68 - 0.6) x 10
    };
    for (const auto& r : rows)
        EXPECT_NEAR(power(r.speed, r.slope, r.mass, r.uom), r.expected, 1e-9) << r.speed << " on " << r.slope;
}

TEST(RidePhysics, CaloriesOfOneSecondNeverNegative)
{
    const RideRow rows[] = {
        { 30, 0, 80, umKm, 0.162 },      // 4.4e-6 x 27000 + 1.8e-5 x 30 x 80
        { 30, 5, 80, umKm, 0.462 },      // + 0.002 x 30 x 5
        { 20, -10, 80, umKm, 0 },        // 0.0352 + 0.0288 - 0.4 < 0
        { 0, 3, 80, umKm, 0 },
        { 20, 0, 92, umMiles, 0.17032 }, // 1.83e-5 x 8000 + 1.3e-5 x 20 x 92
        { 20, 3, 92, umMiles, 0.26032 }, // + 0.0015 x 20 x 3
    };
    for (const auto& r : rows)
        EXPECT_NEAR(caloriesPerSecond(r.speed, r.slope, r.mass, r.uom), r.expected, 1e-12)
            << r.speed << " on " << r.slope;
}

TEST(RidePhysics, VirtualSpeedGrowsDownhillAndDecaysElsewhere)
{
    // Pedalling force at 30 km/h and 80 kg: 142.35 / 30 = 4.745; m / g = 80 / 9.8.
    const struct {
        const char* what;
        VirtualSpeedInput in;
        VirtualSpeedStep out;
    } rows[] = {
        { "downhill from rest: only gravity is left",
            { .previousSpeed = 0, .realSpeed = 30, .slope = -5, .mass = 80, .tolerance = 2 },
            { .gravityForce = 4, .pedalingForce = 4.745, .attritionForce = 4.745, .netForce = 4, .speed = 0.49 } },
        { "attenuated gravity",
            { .previousSpeed = 0, .realSpeed = 30, .slope = -5, .attenuation = 0.5, .mass = 80, .tolerance = 2 },
            { .gravityForce = 2, .pedalingForce = 4.745, .attritionForce = 4.745, .netForce = 2, .speed = 0.245 } },
        { "downhill speed rounded to the precision",
            { .previousSpeed = 0, .realSpeed = 30, .slope = -5, .mass = 80, .tolerance = 2, .precision = 1 },
            { .gravityForce = 4, .pedalingForce = 4.745, .attritionForce = 4.745, .netForce = 4, .speed = 0.5 } },
        { "downhill, attrition at 30.49 km/h: 1.347978145 + 3.87223 - 0.37",
            { .previousSpeed = 0.49, .realSpeed = 30, .slope = -5, .mass = 80, .tolerance = 2 },
            { .gravityForce = 4, .pedalingForce = 4.745, .attritionForce = 4.850208145, .netForce = 3.894791855,
                .speed = 0.967112 } },
        { "flat: decays by 2.5 x attrition at 35 km/h (5.85125) / (m / g)",
            { .previousSpeed = 5, .realSpeed = 30, .slope = 0, .mass = 80, .tolerance = 2 },
            { .gravityForce = 0, .pedalingForce = 4.745, .attritionForce = 5.85125, .netForce = -1.10625,
                .speed = 3.2080546875 } },
        { "flat within the tolerance drops to 0",
            { .previousSpeed = 2, .realSpeed = 30, .slope = 0, .mass = 80, .tolerance = 2 },
            { .gravityForce = 0, .pedalingForce = 4.745, .attritionForce = 5.1788, .netForce = -0.4338, .speed = 0 } },
        { "uphill: a decay below 0 stops at 0",
            { .previousSpeed = 2.1, .realSpeed = 60, .slope = 3, .mass = 80, .tolerance = 2 },
            { .gravityForce = 2.4, .pedalingForce = 12.47, .attritionForce = 13.1084945, .netForce = 1.7615055,
                .speed = 0 } },
        { "miles and pounds",
            { .previousSpeed = 0, .realSpeed = 20, .slope = -5, .mass = 92, .uom = umMiles, .tolerance = 2 },
            { .gravityForce = 4.6, .pedalingForce = 8.4, .attritionForce = 8.4, .netForce = 4.6, .speed = 0.49 } },
        { "no attrition when the speeds cancel",
            { .previousSpeed = -30, .realSpeed = 30, .slope = 0, .mass = 80, .tolerance = 2 },
            { .gravityForce = 0, .pedalingForce = 4.745, .attritionForce = 0, .netForce = 4.745, .speed = 0 } },
        { "standing still gains nothing",
            { .previousSpeed = 3, .realSpeed = 0, .slope = -5, .mass = 80, .tolerance = 2 }, {} },
    };
    for (const auto& r : rows) {
        const VirtualSpeedStep step = nextVirtualSpeed(r.in);
        EXPECT_NEAR(step.gravityForce, r.out.gravityForce, 1e-9) << r.what;
        EXPECT_NEAR(step.pedalingForce, r.out.pedalingForce, 1e-9) << r.what;
        EXPECT_NEAR(step.attritionForce, r.out.attritionForce, 1e-9) << r.what;
        EXPECT_NEAR(step.netForce, r.out.netForce, 1e-9) << r.what;
        EXPECT_NEAR(step.speed, r.out.speed, 1e-9) << r.what;
    }
}
