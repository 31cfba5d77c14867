#include "devicebase/VelDeviceBaseClasses.h"

#include "platform/Platform.h"

namespace caltrix::devicebase {

namespace {
// The plain setter rule: store only a different value.
template <typename T>
void assignIfDifferent(T& field, const T& value)
{
    if (field != value)
        field = value;
}
} // namespace

TVelCustomDevice::TVelCustomDevice(platform::TComponent* AOwner)
    : platform::TComponent(AOwner)
    , FPhoto(std::make_unique<platform::TPicture>())
    , FStatsTimer(std::make_unique<TVelTimer>(nullptr))
{
    // The remaining start values are the member initialisers above.
    SetDeviceType(0);
    // Dispatched virtually, so a concrete device's statistics handler is the one called.
    FStatsTimer->OnTimer = [this](TObject*) { DoStats(); };
}

TVelCustomDevice::~TVelCustomDevice()
{
    Destroying();
    FStatsTimer->SetEnabled(false);
    FStatsTimer.reset();
    FPhoto.reset();
}

void TVelCustomDevice::DefineProperties(platform::PropertyList& properties)
{
    platform::TComponent::DefineProperties(properties);
    using platform::Property;
    auto text = [&](const char* name, auto get, auto set) {
        properties.add({ QString::fromLatin1(name), [this, get] { return QVariant((this->*get)()); },
            [this, set](const QVariant& v) { (this->*set)(v.toString()); } });
    };
    auto integer = [&](const char* name, auto get, auto set, std::optional<std::int32_t> def) {
        std::optional<QVariant> d;
        if (def)
            d = QVariant(*def);
        properties.add({ QString::fromLatin1(name), [this, get] { return QVariant(static_cast<std::int32_t>((this->*get)())); },
            [this, set](const QVariant& v) { (this->*set)(v.toInt()); }, d });
    };
    auto real = [&](const char* name, auto get, auto set) {
        properties.add({ QString::fromLatin1(name), [this, get] { return QVariant(static_cast<double>((this->*get)())); },
            [this, set](const QVariant& v) { (this->*set)(v.toDouble()); } });
    };
    const QStringList priorities { QStringLiteral("tpIdle"), QStringLiteral("tpLowest"), QStringLiteral("tpLower"),
        QStringLiteral("tpNormal"), QStringLiteral("tpHigher"), QStringLiteral("tpHighest"),
        QStringLiteral("tpTimeCritical") };

    text("RiderName", &TVelCustomDevice::RiderName, &TVelCustomDevice::SetRiderName);
    integer("RiderId", &TVelCustomDevice::RiderId, &TVelCustomDevice::SetRiderId, -1);
    text("LastName", &TVelCustomDevice::LastName, &TVelCustomDevice::SetLastName);
    text("FirstName", &TVelCustomDevice::FirstName, &TVelCustomDevice::SetFirstName);
    real("BirthDate", &TVelCustomDevice::BirthDate, &TVelCustomDevice::SetBirthDate);
    integer("RiderWeight", &TVelCustomDevice::RiderWeight, &TVelCustomDevice::SetRiderWeight, std::nullopt);
    properties.add({ QStringLiteral("UOM"), [this] { return QVariant(static_cast<int>(FUOM)); },
        [this](const QVariant& v) { SetUOM(static_cast<TUnitMeasure>(v.toInt())); }, std::nullopt,
        { QStringLiteral("umKm"), QStringLiteral("umMiles") } });
    properties.add({ QStringLiteral("Photo"), [this] { return QVariant(FPhoto->Data()); },
        [this](const QVariant& v) {
            platform::TPicture picture;
            picture.SetData(v.toByteArray());
            SetPhoto(picture);
        } });
    properties.add({ QStringLiteral("Color"), [this] { return QVariant(FColor); },
        [this](const QVariant& v) { SetColor(v.toUInt()); } });
    integer("HeartMaxLimit", &TVelCustomDevice::HeartMaxLimit, &TVelCustomDevice::SetHeartMaxLimit, 220);
    integer("HeartUpperLimit", &TVelCustomDevice::HeartUpperLimit, &TVelCustomDevice::SetHeartUpperLimit, 0);
    integer("HeartLowerLimit", &TVelCustomDevice::HeartLowerLimit, &TVelCustomDevice::SetHeartLowerLimit, 0);
    properties.add({ QStringLiteral("SimulationMode"), [this] { return QVariant(GetSimulationMode()); },
        [this](const QVariant& v) { SetSimulationMode(v.toBool()); }, QVariant(false) });
    real("DistanceToPerform", &TVelCustomDevice::DistanceToPerform, &TVelCustomDevice::SetDistanceToPerform);
    properties.add({ QStringLiteral("BikeWeight"), [this] { return QVariant(BikeWeight); },
        [this](const QVariant& v) { BikeWeight = v.toDouble(); } });
    properties.add({ QStringLiteral("TimerStatsEnabled"), [this] { return QVariant(GetTimerStatsEnabled()); },
        [this](const QVariant& v) { SetTimerStatsEnabled(v.toBool()); } });
    properties.add({ QStringLiteral("TimerStatsInterval"), [this] { return QVariant(GetTimerStatsInterval()); },
        [this](const QVariant& v) { SetTimerStatsInterval(v.toUInt()); } });
    properties.add({ QStringLiteral("TimerStatsThreadPriority"),
        [this] { return QVariant(static_cast<int>(GetTimerStatsThreadPriority())); },
        [this](const QVariant& v) { SetTimerStatsThreadPriority(static_cast<TThreadPriority>(v.toInt())); },
        std::nullopt, priorities });
    properties.add({ QStringLiteral("TimeToleranceMs"), [this] { return QVariant(FTimeToleranceMs); },
        [this](const QVariant& v) { SetTimeToleranceMs(v.toUInt()); }, QVariant(50u) });
    integer("AlarmHeartHighLimit", &TVelCustomDevice::AlarmHeartHighLimit, &TVelCustomDevice::SetAlarmHeartHighLimit, 210);
    integer("AlarmHeartLowLimit", &TVelCustomDevice::AlarmHeartLowLimit, &TVelCustomDevice::SetAlarmHeartLowLimit, 35);
    integer("AlarmHeartMaxLimit", &TVelCustomDevice::AlarmHeartMaxLimit, &TVelCustomDevice::SetAlarmHeartMaxLimit, 220);
}

void TVelCustomDevice::Assign(const platform::TPersistent* Source)
{
    if (const auto* device = dynamic_cast<const TVelCustomDevice*>(Source)) {
        SetRiderName(device->FRiderName);
        return;
    }
    platform::TComponent::Assign(Source);
}

// ---- accessors --------------------------------------------------------------------------------

void TVelCustomDevice::SetRiderName(const QString& Value) { assignIfDifferent(FRiderName, Value); }
double TVelCustomDevice::GetSpeed() { return FSpeed; }
void TVelCustomDevice::SetSpeed(double Value) { assignIfDifferent(FSpeed, Value); }
void TVelCustomDevice::SetDeviceType(std::uint8_t Value) { assignIfDifferent(FDeviceType, Value); }
bool TVelCustomDevice::GetConnected() { return FConnected; }
void TVelCustomDevice::SetRiderId(std::int32_t Value) { assignIfDifferent(FRiderId, Value); }
void TVelCustomDevice::SetLastName(const QString& Value) { assignIfDifferent(FLastName, Value); }
void TVelCustomDevice::SetFirstName(const QString& Value) { assignIfDifferent(FFirstName, Value); }
void TVelCustomDevice::SetBirthDate(double Value) { assignIfDifferent(FBirthDate, Value); }
void TVelCustomDevice::SetRiderWeight(std::int32_t Value) { assignIfDifferent(FRiderWeight, Value); }
void TVelCustomDevice::SetUOM(TUnitMeasure Value) { assignIfDifferent(FUOM, Value); }
void TVelCustomDevice::SetPhoto(const platform::TPicture& Value) { FPhoto->Assign(&Value); }
void TVelCustomDevice::SetColor(std::uint32_t Value) { assignIfDifferent(FColor, Value); }
std::int32_t TVelCustomDevice::GetCadence() { return FCadence; }
void TVelCustomDevice::SetCadence(std::int32_t Value) { assignIfDifferent(FCadence, Value); }
std::int32_t TVelCustomDevice::GetHeartRate() { return FHeartRate; }
void TVelCustomDevice::SetHeartRate(std::int32_t Value) { assignIfDifferent(FHeartRate, Value); }
std::int32_t TVelCustomDevice::GetMaxCadence() { return FMaxCadence; }
void TVelCustomDevice::SetMaxCadence(std::int32_t Value) { assignIfDifferent(FMaxCadence, Value); }
std::int32_t TVelCustomDevice::GetPower() { return FPower; }
void TVelCustomDevice::SetPower(std::int32_t Value) { assignIfDifferent(FPower, Value); }
std::int32_t TVelCustomDevice::GetAveragePower() { return FAveragePower; }
void TVelCustomDevice::SetAveragePower(std::int32_t Value) { assignIfDifferent(FAveragePower, Value); }
std::int32_t TVelCustomDevice::GetMaxHeartRate() { return FMaxHeartRate; }
void TVelCustomDevice::SetMaxHeartRate(std::int32_t Value) { assignIfDifferent(FMaxHeartRate, Value); }
std::int32_t TVelCustomDevice::GetExtraValue() { return FExtraValue; }
void TVelCustomDevice::SetExtraValue(std::int32_t Value) { assignIfDifferent(FExtraValue, Value); }
bool TVelCustomDevice::GetFinished() { return FFinished; }
void TVelCustomDevice::SetFinished(bool Value) { assignIfDifferent(FFinished, Value); }
bool TVelCustomDevice::GetCompleted() { return FCompleted; }
void TVelCustomDevice::SetCompleted(bool Value) { assignIfDifferent(FCompleted, Value); }
std::int32_t TVelCustomDevice::GetAverageCadence() { return FAverageCadence; }
void TVelCustomDevice::SetAverageCadence(std::int32_t Value) { assignIfDifferent(FAverageCadence, Value); }
std::int32_t TVelCustomDevice::GetAverageHeartRate() { return FAverageHeartRate; }
void TVelCustomDevice::SetAverageHeartRate(std::int32_t Value) { assignIfDifferent(FAverageHeartRate, Value); }
double TVelCustomDevice::GetAverageSpeed() { return FAverageSpeed; }
void TVelCustomDevice::SetAverageSpeed(double Value) { assignIfDifferent(FAverageSpeed, Value); }
std::int32_t TVelCustomDevice::GetCalories() { return FCalories; }
void TVelCustomDevice::SetCalories(std::int32_t Value) { assignIfDifferent(FCalories, Value); }
std::int32_t TVelCustomDevice::GetPowerSample() { return FPowerSample; }
void TVelCustomDevice::SetPowerSample(std::int32_t Value) { assignIfDifferent(FPowerSample, Value); }
std::int32_t TVelCustomDevice::GetExtraStatus() { return 0; }
void TVelCustomDevice::SetHeartMaxLimit(std::int32_t Value) { assignIfDifferent(FHeartMaxLimit, Value); }
void TVelCustomDevice::SetHeartUpperLimit(std::int32_t Value) { assignIfDifferent(FHeartUpperLimit, Value); }
void TVelCustomDevice::SetHeartLowerLimit(std::int32_t Value) { assignIfDifferent(FHeartLowerLimit, Value); }
bool TVelCustomDevice::GetSimulationMode() { return FSimulationMode; }
void TVelCustomDevice::SetSimulationMode(bool Value) { assignIfDifferent(FSimulationMode, Value); }
void TVelCustomDevice::SetDistanceToPerform(double Value) { assignIfDifferent(FDistanceToPerform, Value); }
void TVelCustomDevice::SetDistance(double Value) { assignIfDifferent(FDistance, Value); }
void TVelCustomDevice::SetExtraIndex(std::int32_t Value) { assignIfDifferent(FExtraIndex, Value); }
void TVelCustomDevice::SetTimeToleranceMs(std::uint32_t Value) { assignIfDifferent(FTimeToleranceMs, Value); }
void TVelCustomDevice::SetMaxSpeed(double Value) { assignIfDifferent(FMaxSpeed, Value); }
void TVelCustomDevice::SetMaxPower(std::int32_t Value) { assignIfDifferent(FMaxPower, Value); }
TCompetitorState TVelCustomDevice::GetCompetitorState() { return FCompetitorState; }

void TVelCustomDevice::SetTimerStatsEnabled(bool Value) { FStatsTimer->SetEnabled(Value); }
bool TVelCustomDevice::GetTimerStatsEnabled() { return FStatsTimer->Enabled(); }
void TVelCustomDevice::SetTimerStatsInterval(std::uint32_t Value) { FStatsTimer->SetInterval(Value); }
std::uint32_t TVelCustomDevice::GetTimerStatsInterval() { return FStatsTimer->GetInterval(); }
void TVelCustomDevice::SetTimerStatsThreadPriority(TThreadPriority Value) { FStatsTimer->SetThreadPriority(Value); }
TThreadPriority TVelCustomDevice::GetTimerStatsThreadPriority() { return FStatsTimer->GetThreadPriority(); }

void TVelCustomDevice::setAlarmLimit(std::int32_t& field, std::int32_t value, bool clampAbove, std::int32_t bound)
{
    if (value == field)
        return;
    if (designing() && (clampAbove ? value > bound : value < bound)) {
        value = bound;
        platform::desktop().beep();
    }
    field = value;
}

void TVelCustomDevice::SetAlarmHeartHighLimit(std::int32_t Value) { setAlarmLimit(FAlarmHeartHighLimit, Value, true, 210); }
void TVelCustomDevice::SetAlarmHeartLowLimit(std::int32_t Value) { setAlarmLimit(FAlarmHeartLowLimit, Value, false, 35); }
void TVelCustomDevice::SetAlarmHeartMaxLimit(std::int32_t Value) { setAlarmLimit(FAlarmHeartMaxLimit, Value, true, 220); }

// ---- raisers ----------------------------------------------------------------------------------

void TVelCustomDevice::DoConnected()
{
    if (OnConnected)
        OnConnected(this);
}
void TVelCustomDevice::DoDisconnected()
{
    if (OnDisconnected)
        OnDisconnected(this);
}
void TVelCustomDevice::DoConnectionLost()
{
    if (OnConnectionLost)
        OnConnectionLost(this);
}
void TVelCustomDevice::DoCourseFinished()
{
    if (OnCourseFinished)
        OnCourseFinished(this);
}
void TVelCustomDevice::DoAfterStop()
{
    if (OnAfterStop)
        OnAfterStop(this);
}
void TVelCustomDevice::DoBeforePause()
{
    if (OnBeforePause)
        OnBeforePause(this);
}
void TVelCustomDevice::DoBeforeStart()
{
    if (OnBeforeStart)
        OnBeforeStart(this);
}
void TVelCustomDevice::DoBeforeStop(bool& CanContinue)
{
    if (OnBeforeStop)
        OnBeforeStop(this, CanContinue);
}
void TVelCustomDevice::DoHeartConnectionLost()
{
    if (OnHeartConnectionLost)
        OnHeartConnectionLost(this);
}
void TVelCustomDevice::DoCompetitorStateChanged(TCompetitorState OldCompetitorState, TCompetitorState NewCompetitorState)
{
    if (OnCompetitorStateChanged)
        OnCompetitorStateChanged(this, OldCompetitorState, NewCompetitorState);
}
void TVelCustomDevice::DoStats()
{
    if (OnStats)
        OnStats(this);
}
void TVelCustomDevice::DoHeartCriticalValue()
{
    if (OnHeartCriticalValue)
        OnHeartCriticalValue(this);
}

// ---- lifecycle and state ----------------------------------------------------------------------

bool TVelCustomDevice::Start() { return false; }
bool TVelCustomDevice::Stop() { return false; }
bool TVelCustomDevice::Pause() { return false; }

void TVelCustomDevice::Connect()
{
    FConnected = true;
    DoConnected();
}

void TVelCustomDevice::Disconnect()
{
    FConnected = false;
    DoDisconnected();
}

void TVelCustomDevice::SetSimulationValues(std::int32_t HeartRate, std::int32_t Cadence, double Speed, double Distance,
    std::int32_t /*Interval: not used by the base*/)
{
    SetSpeed(Speed);
    SetDistance(Distance);
    SetHeartRate(HeartRate);
    SetCadence(Cadence);
}

void TVelCustomDevice::SetCompetitorState(TCompetitorState Value)
{
    if (Value == FCompetitorState)
        return;
    const TCompetitorState old = FCompetitorState;
    FCompetitorState = Value;
    DoCompetitorStateChanged(old, Value);
}

bool TVelCustomDevice::IsWithinTimeTolerance(std::uint32_t Time1, std::uint32_t Time2)
{
    return Time1 - Time2 <= FTimeToleranceMs;
}

void TVelCustomDevice::ResetValues()
{
    if (FSimulationMode)
        SetSimulationValues(0, 0, 0.0, 0.0, 1000);
    SetSpeed(0);
    SetAverageSpeed(0);
    SetCadence(0);
    SetAverageCadence(0);
    SetMaxCadence(0);
    SetHeartRate(0);
    SetMaxHeartRate(0);
    SetAverageHeartRate(0);
    FPower = 0;
    SetAveragePower(0);
    SetPowerSample(0);
    SetExtraValue(0);
    SetFinished(false);
    SetCompleted(false);
    SetCalories(0);
    SetDistance(0);
    SetExtraIndex(-1);
}

} // namespace caltrix::devicebase
