// The statistics tick: what the link decoded becomes the ride values once per tick, with the
// heart alarms, the virtual speed, calories and power, the course distance and a lost trainer.
#include "device/TavorDeviceANT.h"

#include "device/RidePhysics.h"
#include "device/WholeNumbers.h"
#include "devicebase/Helpers.h"

#include <QScopedValueRollback>

#include <algorithm>
#include <limits>

namespace caltrix::device {

bool StatsBusy = false;

namespace {

using devicebase::RoundToDigits;
using devicebase::umMiles;

constexpr double MilesPerKm = 0.621371192;
constexpr double SecondsPerHour = 3600;
constexpr double MillisecondsPerHour = 3600000;
constexpr std::int32_t NoHeartSignalBelow = 35;
constexpr std::int32_t TicksLeftOutOfAveragePower = 10;

} // namespace

// ---- statistics tick --------------------------------------------------------------------------

void TTavorDeviceANT::DoStats()
{
    if (destroying() || StatsBusy)
        return;
    {
        // A failing step still clears the flag; OnStats is then not raised.
        const QScopedValueRollback busy(StatsBusy, true);
        if (Time == 0)
            PowerSampleSum = 0;
        const double previousSpeed = GetSpeed();
        if (FTrainerConnected)
            countConnectedTick();
        updateHeart();
        RealSpeed = GetSpeed();
        if (FVirtualSpeedEnabled)
            addVirtualSpeed();
        addCalories(previousSpeed);
        updatePower();
        checkCourseFinished();
        checkLinkLosses();
    }
    devicebase::TVelCustomDevice::DoStats();
}

void TTavorDeviceANT::countConnectedTick()
{
    ++Time;
    if (auto* l = link()) {
        double v = l->Speed;
        if (FUOM == umMiles)
            v *= MilesPerKm;
        SetDistance(GetDistance() + v / SecondsPerHour);
        SpeedAverager.Add(v);
        SetSpeed(static_cast<double>(RoundToDigits(PrecisionSpeed, SpeedAverager.GetAverage())));
    }
    const std::int32_t elapsed = StatsTimer().Elapsed;
    SetAverageSpeed(elapsed > 0
            ? static_cast<double>(RoundToDigits(PrecisionSpeed, GetDistance() / (elapsed / MillisecondsPerHour)))
            : 0.0);
    SetMaxSpeed(std::max(GetSpeed(), MaxSpeed()));
    if (auto* l = link()) {
        // The current level goes to the trainer again on every tick.
        queueResistance();
        SetCadence(static_cast<std::int32_t>(std::min<std::uint32_t>(l->Cadence, std::numeric_limits<std::int32_t>::max())));
        CadenceAverager.Add(GetCadence());
        SetCadence(roundToInt(CadenceAverager.GetAverage()));
    }
    SetMaxCadence(std::max(GetMaxCadence(), GetCadence()));
    CadenceSum += GetCadence();
    SetAverageCadence(roundToInt(static_cast<long double>(CadenceSum) / Time));
    if (const auto* l = link()) {
        HeartAverager.Add(l->HeartRate);
        SetHeartRate(truncToInt(HeartAverager.GetAverage()));
    }
    if (Time > TicksLeftOutOfAveragePower) {
        PowerSampleSum += GetPowerSample();
        SetAveragePower(roundToInt(static_cast<long double>(PowerSampleSum) / (Time - TicksLeftOutOfAveragePower)));
    }
}

void TTavorDeviceANT::updateHeart()
{
    if (!FHeartEnabled) {
        SetHeartRate(0);
        SetAverageHeartRate(0);
        return;
    }
    if (GetHeartRate() < NoHeartSignalBelow) {
        ChangeHeartConnectionActive(false);
        // An absent signal reads 0, not the partial average that decided it was absent.
        SetHeartRate(0);
    } else if (!HeartConnectionActive) {
        ChangeHeartConnectionActive(true);
    }
    if (HeartConnectionActive)
        ProcessHeartRate();
}

void TTavorDeviceANT::ChangeHeartConnectionActive(bool Active)
{
    if (Active == HeartConnectionActive)
        return;
    HeartConnectionActive = Active;
    if (!Active) {
        SetHeartRate(0);
        SetAverageHeartRate(0);
    }
}

void TTavorDeviceANT::ProcessHeartRate()
{
    // The reported heart rate is the latest value; the average only decided that a signal is there.
    if (const auto* l = link())
        SetHeartRate(l->HeartRate);
    const std::int32_t hr = GetHeartRate();
    const std::int32_t high = AlarmHeartHighLimit();
    const std::int32_t low = AlarmHeartLowLimit();
    if (hr >= high || hr <= low) {
        const bool isHigherLimit = hr >= high;
        bool doStop = true;
        // Without a positive low limit there is no scale for the excess; 0 is reported.
        std::int32_t percentDelta = 0;
        if (low > 0)
            percentDelta = isHigherLimit ? roundToInt(static_cast<long double>(hr - high) / high * 100)
                                         : roundToInt(static_cast<long double>(low - hr) / low * 100);
        if (hr > AlarmHeartMaxLimit()) {
            SetTavorResistance(0);
            SetTavorElevation(0);
        }
        DoAlarmHeart(percentDelta, isHigherLimit, /*AbortedByComponent=*/false, doStop);
    }
    SetMaxHeartRate(std::max(GetMaxHeartRate(), GetHeartRate()));
    HeartSamples += 1;
    HeartSum += GetHeartRate();
    if (HeartSamples > 0 && HeartSum > 0)
        SetAverageHeartRate(roundToInt(static_cast<long double>(HeartSum) / HeartSamples));
}

double TTavorDeviceANT::riderMass() const { return ride::riderMass(FRiderWeight, FUOM); }

double TTavorDeviceANT::ComputePower(double Speed, double Slope) { return ride::power(Speed, Slope, riderMass(), FUOM); }

void TTavorDeviceANT::addVirtualSpeed()
{
    SetSpeed(static_cast<double>(RealSpeed + FVirtualSpeed));
    if (CurrentSlope < 0 || FVirtualSpeed > 0)
        UpdateVirtualSpeed(static_cast<double>(RealSpeed));
    else
        ResetVirtualSpeed();
    FVirtualDistance = FVirtualSpeed != 0
        ? static_cast<double>(RoundToDigits(PrecisionDistance, FVirtualSpeed / SecondsPerHour))
        : 0.0;
}

void TTavorDeviceANT::UpdateVirtualSpeed(double Speed)
{
    if (Speed == 0) {
        ResetVirtualSpeed();
        return;
    }
    PreviousVirtualSpeed = FVirtualSpeed;
    const ride::VirtualSpeedStep step = ride::nextVirtualSpeed({ .previousSpeed = PreviousVirtualSpeed,
        .realSpeed = Speed,
        .slope = static_cast<double>(CurrentSlope),
        .attenuation = VirtualSpeedAttenuation,
        .mass = riderMass(),
        .uom = FUOM,
        .tolerance = Tolerance,
        .precision = PrecisionSpeed });
    FGravityForce = step.gravityForce;
    FPedalingForce = step.pedalingForce;
    FAttritionForce = step.attritionForce;
    NetForce = step.netForce;
    FVirtualSpeed = step.speed;
}

void TTavorDeviceANT::ResetVirtualSpeed()
{
    PreviousVirtualSpeed = 0;
    FVirtualDistance = 0;
    FVirtualSpeed = 0;
    FAttritionForce = 0;
    FGravityForce = 0;
    FPedalingForce = 0;
}

void TTavorDeviceANT::addCalories(double previousSpeed)
{
    CaloriesSum += ride::caloriesPerSecond(previousSpeed, static_cast<double>(CurrentSlope), riderMass(), FUOM);
    SetCalories(roundToInt(CaloriesSum));
}

void TTavorDeviceANT::updatePower()
{
    SetPower(roundToInt(ComputePower(static_cast<double>(RealSpeed), static_cast<double>(CurrentSlope))));
    UpdateHighPowerReduce();
    SetMaxPower(std::max(MaxPower(), GetPower()));
    // With the compact protocol the link sends the power back to the trainer.
    if (auto* l = link())
        l->CompactValue = static_cast<std::uint16_t>(GetPower());
}

void TTavorDeviceANT::checkCourseFinished()
{
    if (DistanceToPerform() <= 0 || GetDistance() < DistanceToPerform())
        return;
    Stop();
    SetCompleted(true);
    SetFinished(true);
    DoCourseFinished();
}

void TTavorDeviceANT::checkLinkLosses()
{
    if (const auto* l = link(); l && !l->HeartEventSeen)
        DoHeartConnectionLost();
    // The link keeps TrainerLost set, so this repeats on every tick until the timer is stopped.
    if (const auto* l = link(); l && l->TrainerLost) {
        FTrainerConnected = false;
        devicebase::TVelCustomDevice::Disconnect();
        DoDeviceDisconnected();
    }
}

} // namespace caltrix::device
