// The trainer device: construction, the settings and what they forward to the link, the
// resistance levels it sends, and the ride's start, pause and stop.
#include "device/TavorDeviceANT.h"

#include "device/WholeNumbers.h"

#include <algorithm>

namespace caltrix::device {

namespace {

using devicebase::cpsPaused;
using devicebase::cpsRunning;
using devicebase::cpsStopped;

const QString ComponentVersion = QStringLiteral("1.0.0.10");

// Roller diameter of the models that fix it.
struct VersionRoll {
    double version;
    long double rollDiameter;
};
constexpr VersionRoll RollDiameterByVersion[] = {
    { 4.5, 39.5L }, { 5, 45 }, { 6, 40 }, { 7, 30 }, { 9, 40 }, { 10, 45 }, { 11, 85 }, { 12, 30 },
};

// Levels 240 and 247 are never asked of the trainer.
std::int32_t clampLevel(std::int32_t level)
{
    if (level < 0)
        return 0;
    if (level > 255)
        return 255;
    if (level == 240)
        return 239;
    if (level == 247)
        return 246;
    return level;
}

// The byte the link carries: a level scaled beyond 0..255 goes as the nearest end, not wrapped.
std::uint8_t levelByte(std::int32_t level) { return static_cast<std::uint8_t>(std::clamp(level, 0, 255)); }

template <typename T>
void assignIfDifferent(T& field, const T& value)
{
    if (field != value)
        field = value;
}

ant::lumo_Channel* channelRecord(std::uint8_t channel)
{
    auto* l = ant::AntLink.get();
    return l ? l->ChannelRecord(channel) : nullptr;
}

} // namespace

// ---- construction and destruction ---------------------------------------------------------------

TTavorDeviceANT::TTavorDeviceANT(platform::TComponent* AOwner)
    : devicebase::TVelCustomDevice(AOwner)
{
    // Every setting starts at its member's initial value; the ride starts stopped, which the base
    // notifies as a change from its own initial state.
    SetCompetitorState(cpsStopped);
    StatsTimer().OnTimer = [this](TObject*) { DoStats(); };
    HeartAverager.SetSize(HrArrayLength);
    CadenceAverager.SetSize(FCadenceArrayLength);
    SpeedAverager.SetSize(SpeedArrayLength);
    SetDeviceType(6);
    createPollTimer();
}

TTavorDeviceANT::~TTavorDeviceANT()
{
    Destroying();
    // Callbacks arriving while the link closes must find nothing to do.
    if (auto* l = link())
        l->Silenced = true;
    DebugMemo = nullptr;
    Disconnect();
}

// ---- simple accessors -------------------------------------------------------------------------

double TTavorDeviceANT::GetSpeed() { return devicebase::TVelCustomDevice::GetSpeed(); }
QString TTavorDeviceANT::GetVersion() const { return ComponentVersion; }
void TTavorDeviceANT::SetVersion(const QString&) { }

void TTavorDeviceANT::SetMsgUsbDongleNotFound(const QString& Value) { assignIfDifferent(FMsgUsbDongleNotFound, Value); }
void TTavorDeviceANT::SetTavorElevation(std::int32_t Value) { assignIfDifferent(FTavorElevation, Value); }
void TTavorDeviceANT::SetHighPowerReduceEnable(bool Value) { assignIfDifferent(FHighPowerReduceEnable, Value); }
void TTavorDeviceANT::SetHighPowerReduceStartSpeed(double Value) { assignIfDifferent(FHighPowerReduceStartSpeed, Value); }
void TTavorDeviceANT::SetHighPowerReduceCoefficientMinimum(double Value)
{
    assignIfDifferent(FHighPowerReduceCoefficientMinimum, Value);
}
void TTavorDeviceANT::SetResistanceLatency(std::int32_t Value) { assignIfDifferent(FResistanceLatency, std::max(Value, 0)); }
void TTavorDeviceANT::SetResistanceMapAdapter(long double Value) { assignIfDifferent(FResistanceMapAdapter, Value); }
void TTavorDeviceANT::SetUnitType(double Value) { assignIfDifferent(FUnitType, Value); }

void TTavorDeviceANT::SetCadenceArrayLength(std::int32_t Value)
{
    FCadenceArrayLength = Value;
    CadenceAverager.SetSize(Value);
}

void TTavorDeviceANT::SetVirtualSpeedEnabled(bool Value)
{
    if (Value != FVirtualSpeedEnabled && !Value)
        ResetVirtualSpeed();
    FVirtualSpeedEnabled = Value;
}

bool TTavorDeviceANT::OutOfRange() const
{
    const auto* l = link();
    return l && l->OutOfRange;
}

std::int32_t TTavorDeviceANT::deviceNumber(std::int32_t stored, std::uint8_t channel) const
{
    if (!link())
        return stored;
    const auto* record = channelRecord(channel);
    return record ? static_cast<std::int32_t>(record->DeviceNumber) : 0;
}

void TTavorDeviceANT::setDeviceNumber(std::int32_t& stored, std::uint8_t channel, std::int32_t value)
{
    stored = value;
    if (auto* record = channelRecord(channel))
        record->DeviceNumber = static_cast<std::uint32_t>(value);
}

bool TTavorDeviceANT::channelConnected(std::uint8_t channel) const
{
    const auto* record = channelRecord(channel);
    return record && record->Connected;
}

// ---- events -----------------------------------------------------------------------------------

void TTavorDeviceANT::DoAlarmHeart(std::int32_t PercentDelta, bool isHigherLimit, bool AbortedByComponent, bool& doStop)
{
    if (OnAlarmHeart)
        OnAlarmHeart(this, PercentDelta, isHigherLimit, AbortedByComponent, doStop);
}

void TTavorDeviceANT::DoDeviceDisconnected()
{
    if (OnDisconnected)
        OnDisconnected(this);
}

// ---- resistance and trainer settings ----------------------------------------------------------

void TTavorDeviceANT::SetTavorResistance(std::int32_t Value)
{
    // The sensor variants reach a trainer that takes no resistance commands.
    if (FRecieverType != rtTrainerNetwork || Value == FTavorResistance)
        return;
    std::int32_t level = clampLevel(Value);
    if (SecurityActive && GetSpeed() == 0)
        level = 0;
    FTavorResistance = roundToInt(level * static_cast<long double>(FHighPowerReduceCoefficient));
    queueResistance();
}

void TTavorDeviceANT::queueResistance()
{
    if (auto* l = link())
        l->QueueResistance(levelByte(FTavorResistance));
}

void TTavorDeviceANT::SetInitialResistance(std::int32_t Value)
{
    const std::int32_t level = clampLevel(Value);
    if (level == FInitialResistance)
        return;
    FInitialResistance = level;
    SetTavorResistance(level);
}

void TTavorDeviceANT::SetHighPowerReduceCoefficient(double Value)
{
    if (Value != FHighPowerReduceCoefficient)
        FHighPowerReduceCoefficient = std::max(Value, FHighPowerReduceCoefficientMinimum);
}

void TTavorDeviceANT::UpdateHighPowerReduce()
{
    if (destroying())
        return;
    double factor = 1.0;
    if (FHighPowerReduceEnable) {
        double v = static_cast<double>(InstantSpeed);
        if (FVirtualSpeedEnabled)
            v -= FVirtualSpeed;
        const double minimum = FHighPowerReduceCoefficientMinimum;
        if (v < FHighPowerReduceStartSpeed)
            factor = minimum + (1 - minimum) * v / FHighPowerReduceStartSpeed;
    }
    SetHighPowerReduceCoefficient(factor);
}

void TTavorDeviceANT::SetRollDiameter(long double Value)
{
    assignIfDifferent(FRollDiameter, Value);
    if (auto* l = link())
        l->WheelDiameter = FRollDiameter;
}

std::uint8_t TTavorDeviceANT::eventPerTurn() const
{
    const auto* l = link();
    return std::max<std::uint8_t>(1, l ? l->EventsPerTurn : FeventPerTurn);
}

void TTavorDeviceANT::SeteventPerTurn(std::uint8_t Value)
{
    FeventPerTurn = Value == 0 ? 1 : Value;
    if (auto* l = link())
        l->EventsPerTurn = FeventPerTurn;
}

void TTavorDeviceANT::SetTavorVersion(double Value)
{
    FTavorVersion = Value;
    for (const auto& model : RollDiameterByVersion)
        if (model.version == Value)
            SetRollDiameter(model.rollDiameter);
    if (OnVersionChange)
        OnVersionChange(this);
}

// ---- ride lifecycle ---------------------------------------------------------------------------

bool TTavorDeviceANT::Start()
{
    if (GetCompetitorState() == cpsRunning)
        return false;
    DoBeforeStart();
    StatsTimer().SetEnabled(false);
    StatsTimer().OnTimer = [this](TObject*) { DoStats(); };
    const TCompetitorState old = GetCompetitorState();
    if (old != cpsPaused) {
        CadenceSum = 0;
        Time = 0;
        SetDistance(0);
        SetMaxHeartRate(0);
        SetMaxSpeed(0);
        SetMaxCadence(0);
        SetMaxPower(0);
        if (auto* l = link())
            l->DistanceBase = -1;
    } else if (auto* l = link()) {
        l->DistanceBase = 2 * l->Distance;
    }
    if (old == cpsStopped) {
        SetCalories(0);
        CaloriesSum = 0;
        ResetValues();
        StatsTimer().ResetCounters();
    }
    SetCompleted(false);
    SetFinished(false);
    SetTavorResistance(FInitialResistance);
    PowerSampleSum = 0;
    StatsTimer().SetEnabled(true);
    SetCompetitorState(cpsRunning);
    // A second notice of the same change, as hosts of this component have always received it.
    DoCompetitorStateChanged(old, GetCompetitorState());
    return true;
}

bool TTavorDeviceANT::Stop()
{
    const TCompetitorState old = GetCompetitorState();
    bool CanContinue = true;
    DoBeforeStop(CanContinue);
    if (!CanContinue)
        return false;
    SetTavorResistance(FInitialResistance);
    StatsTimer().SetEnabled(false);
    SetCompetitorState(cpsStopped);
    DoCompetitorStateChanged(old, GetCompetitorState());
    DoAfterStop();
    return true;
}

bool TTavorDeviceANT::Pause()
{
    const TCompetitorState old = GetCompetitorState();
    DoBeforePause();
    StatsTimer().SetEnabled(false);
    SetCompetitorState(cpsPaused);
    DoCompetitorStateChanged(old, GetCompetitorState());
    return true;
}

} // namespace caltrix::device
