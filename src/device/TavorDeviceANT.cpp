#include "device/TavorDeviceANT.h"

#include "antlib/NetworkKeys.h"
#include "devicebase/Helpers.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace caltrix::device {

bool StatsBusy = false;

namespace {

using devicebase::cpsPaused;
using devicebase::cpsRunning;
using devicebase::cpsStopped;
using devicebase::RoundToDigits;
using devicebase::umKm;
using devicebase::umMiles;

const QString ComponentVersion = QStringLiteral("1.0.0.10");
const QString DefaultMsgUsbDongleNotFound = QStringLiteral("Usb dongle not found! Check it and restart the software.");

constexpr double MilesPerKm = 0.621371192;
constexpr double SecondsPerHour = 3600;
constexpr double MillisecondsPerHour = 3600000;
constexpr double Gravity = 9.8;
constexpr std::int32_t NoHeartSignalBelow = 35;
constexpr std::int32_t TicksLeftOutOfAveragePower = 10;
constexpr std::uint32_t PollIntervalMs = 100;
constexpr std::uint32_t TrainerWaitMs = 40000;
constexpr std::int32_t DisconnectSettleMs = 400;
constexpr std::uint8_t UsbNumbers = 8;

// The channel plan: every channel receives (ANT channel type 0).
constexpr std::uint8_t ReceivingChannel = 0;
using antproto::profile::DeviceProfile;
namespace profile = antproto::profile;

// Roller diameter of the models that fix it.
struct VersionRoll {
    double version;
    long double rollDiameter;
};
constexpr VersionRoll RollDiameterByVersion[] = {
    { 4.5, 39.5L }, { 5, 45 }, { 6, 40 }, { 7, 30 }, { 9, 40 }, { 10, 45 }, { 11, 85 }, { 12, 30 },
};

// A whole number as a 32-bit integer, saturating instead of overflowing; NaN gives 0.
std::int32_t saturatedInt(long double whole)
{
    if (std::isnan(whole))
        return 0;
    constexpr long double lo = std::numeric_limits<std::int32_t>::min();
    constexpr long double hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(whole, lo, hi));
}

// To the nearest integer, halves to the even neighbour (the default rounding mode).
std::int32_t roundToInt(long double x) { return saturatedInt(std::nearbyint(x)); }
std::int32_t truncToInt(long double x) { return saturatedInt(std::trunc(x)); }

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

std::uint8_t toByte(const QVariant& v) { return static_cast<std::uint8_t>(std::clamp(v.toInt(), 0, 255)); }

template <typename T>
void assignIfDifferent(T& field, const T& value)
{
    if (field != value)
        field = value;
}

ant::lumo_ANT* link() { return ant::AntLink.get(); }

// Each description builds its network key afresh.
void describeChannel(ant::lumo_ANT& l, std::uint8_t channel, const DeviceProfile& kind, std::uint8_t rf,
                     std::uint32_t deviceNumber)
{
    const auto key = kind.network == profile::PublicNetwork ? antlib::networkKeyA() : antlib::networkKeyB();
    l.SetChannelParameters(channel, kind.network, kind.period, kind.deviceType, kind.transmissionType,
                           ReceivingChannel, rf, deviceNumber, key);
}

bool openStick(ant::lumo_ANT& l)
{
    for (std::uint8_t n = 0; n < UsbNumbers; ++n)
        if (l.OpenStick(n))
            return true;
    return false;
}

ant::lumo_Channel* channelRecord(std::uint8_t channel)
{
    auto* l = link();
    return l ? l->ChannelRecord(channel) : nullptr;
}

} // namespace

// ---- TLumoAverage -------------------------------------------------------------------------------

TLumoAverage::TLumoAverage()
    : Values(1, 0.0)
{
}

TLumoAverage::~TLumoAverage() { Values.clear(); }

void TLumoAverage::Add(double Value)
{
    if (Values.empty())
        return;
    std::move_backward(Values.begin(), Values.end() - 1, Values.end());
    Values[0] = Value;
}

void TLumoAverage::SetSize(std::int32_t Count)
{
    if (Count > 0)
        Values.resize(static_cast<std::size_t>(Count), 0.0);
}

double TLumoAverage::GetAverage() const
{
    if (Values.empty())
        return 0;
    double sum = 0;
    for (double v : Values)
        sum += v;
    return sum / static_cast<double>(Values.size());
}

// ---- construction and destruction ---------------------------------------------------------------

TTavorDeviceANT::TTavorDeviceANT(platform::TComponent* AOwner)
    : devicebase::TVelCustomDevice(AOwner)
{
    DebugMemo = nullptr;
    DebugRaw = nullptr;
    ResetSettings();
    StatsTimer().OnTimer = [this](TObject*) { DoStats(); };
    HeartAverager.SetSize(HrArrayLength);
    CadenceAverager.SetSize(FCadenceArrayLength);
    SpeedAverager.SetSize(SpeedArrayLength);
    SetDeviceType(6);
    SetDistance(0);
    createPollTimer();
    FDeviceTrainerNumber = 0;
    FDeviceHrNumber = 0;
    FDeviceNumberKeyboard = 0;
    HeartConnectionRaised = false;
    ConsoleConnectionRaised = false;
    FEnableConsole = true;
    FHeartEnabled = true;
    FUnitType = 0;
    SetMsgUsbDongleNotFound(DefaultMsgUsbDongleNotFound);
    ChannelTrainer = profile::NativeTrainer.rfFrequency;
    ChannelSpeedCadence = profile::SpeedCadenceSensor.rfFrequency;
    ChannelConsole = profile::Console.rfFrequency;
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

void TTavorDeviceANT::ResetSettings()
{
    HrArrayLength = 5;
    FCadenceArrayLength = 1;
    SpeedArrayLength = 3;
    FHighPowerReduceCoefficient = 1.0;
    FHighPowerReduceEnable = false;
    FHighPowerReduceStartSpeed = 7.0;
    FHighPowerReduceCoefficientMinimum = 0.25;
    FResistanceLatency = 0;
    InstantSpeed = 0;
    PrecisionSpeed = 8;
    PrecisionDistance = 8;
    Tolerance = 2.0;
    HeartSamples = 0;
    HeartSum = 0;
    FHeartEnabled = true;
    HeartConnectionActive = true;
    Time = 0;
    FResistanceMapAdapter = 1.0;
    ResistanceReducer = 1.0;
    Calibration = 1.0;
    CaloriesSum = 0;
    SetDistance(0);
    SetTavorResistance(0);
    SetCompetitorState(cpsStopped);
    VirtualSpeedAttenuation = 1.0;
    KeyHoldTicks.fill(0);
}

// ---- stored form ------------------------------------------------------------------------------

void TTavorDeviceANT::DefineProperties(platform::PropertyList& properties)
{
    devicebase::TVelCustomDevice::DefineProperties(properties);
    using Getter = std::function<QVariant()>;
    using Setter = std::function<void(const QVariant&)>;
    auto add = [&](const char* name, Getter get, Setter set, std::optional<QVariant> def = std::nullopt) {
        properties.add({ QString::fromLatin1(name), std::move(get), std::move(set), std::move(def) });
    };
    auto integer = [&](const char* name, std::int32_t& field, std::optional<std::int32_t> def) {
        add(name, [&field] { return QVariant(field); }, [&field](const QVariant& v) { field = v.toInt(); },
            def ? std::optional<QVariant>(*def) : std::nullopt);
    };
    auto real = [&](const char* name, double& field) {
        add(name, [&field] { return QVariant(field); }, [&field](const QVariant& v) { field = v.toDouble(); });
    };
    auto byte = [&](const char* name, std::uint8_t& field, int def) {
        add(name, [&field] { return QVariant(int { field }); }, [&field](const QVariant& v) { field = toByte(v); },
            QVariant(def));
    };

    // Read-only values, events and references to other components are not stored.
    add("Version", [this] { return QVariant(GetVersion()); }, [this](const QVariant& v) { SetVersion(v.toString()); });
    add("TavorVersion", [this] { return QVariant(FTavorVersion); },
        [this](const QVariant& v) { SetTavorVersion(v.toDouble()); });
    integer("HrArrayLength", HrArrayLength, 5);
    add("HeartEnabled", [this] { return QVariant(FHeartEnabled); },
        [this](const QVariant& v) { SetHeartEnabled(v.toBool()); }, QVariant(true));
    properties.add({ QStringLiteral("RecieverType"), [this] { return QVariant(int { FRecieverType }); },
        [this](const QVariant& v) { SetRecieverType(static_cast<TLumoRecieverType>(std::clamp(v.toInt(), 0, 2))); },
        QVariant(0),
        { QStringLiteral("rtTrainerNetwork"), QStringLiteral("rtSpeedSensor"), QStringLiteral("rtSpeedSensorPassive") } });
    add("HeartConnectionActive", [this] { return QVariant(HeartConnectionActive); },
        [this](const QVariant& v) { HeartConnectionActive = v.toBool(); }, QVariant(true));
    add("CadenceArrayLength", [this] { return QVariant(FCadenceArrayLength); },
        [this](const QVariant& v) { SetCadenceArrayLength(v.toInt()); }, QVariant(10));
    integer("SpeedArrayLength", SpeedArrayLength, 3);
    add("RollDiameter", [this] { return QVariant(static_cast<double>(FRollDiameter)); },
        [this](const QVariant& v) { SetRollDiameter(v.toDouble()); });
    add("Connected", [this] { return QVariant(FTrainerConnected); },
        [this](const QVariant& v) { SetConnected(v.toBool()); }, QVariant(false));
    add("InitialResistance", [this] { return QVariant(FInitialResistance); },
        [this](const QVariant& v) { SetInitialResistance(v.toInt()); });
    add("TavorResistance", [this] { return QVariant(FTavorResistance); },
        [this](const QVariant& v) { SetTavorResistance(v.toInt()); }, QVariant(0));
    add("TavorElevation", [this] { return QVariant(FTavorElevation); },
        [this](const QVariant& v) { SetTavorElevation(v.toInt()); }, QVariant(0));
    add("SecurityActive", [this] { return QVariant(SecurityActive); },
        [this](const QVariant& v) { SecurityActive = v.toBool(); }, QVariant(true));
    add("HighPowerReduceCoefficient", [this] { return QVariant(FHighPowerReduceCoefficient); },
        [this](const QVariant& v) { SetHighPowerReduceCoefficient(v.toDouble()); });
    add("HighPowerReduceEnable", [this] { return QVariant(FHighPowerReduceEnable); },
        [this](const QVariant& v) { SetHighPowerReduceEnable(v.toBool()); }, QVariant(false));
    add("HighPowerReduceStartSpeed", [this] { return QVariant(FHighPowerReduceStartSpeed); },
        [this](const QVariant& v) { SetHighPowerReduceStartSpeed(v.toDouble()); });
    add("HighPowerReduceCoefficientMinimum", [this] { return QVariant(FHighPowerReduceCoefficientMinimum); },
        [this](const QVariant& v) { SetHighPowerReduceCoefficientMinimum(v.toDouble()); });
    add("ResistanceLatency", [this] { return QVariant(FResistanceLatency); },
        [this](const QVariant& v) { SetResistanceLatency(v.toInt()); }, QVariant(0));
    real("ResistanceReducer", ResistanceReducer);
    add("CurrentSlope", [this] { return QVariant(static_cast<double>(CurrentSlope)); },
        [this](const QVariant& v) { CurrentSlope = v.toDouble(); });
    integer("CurrentElevation", CurrentElevation, 0);
    integer("PrecisionSpeed", PrecisionSpeed, 1);
    integer("PrecisionDistance", PrecisionDistance, std::nullopt);
    real("Tolerance", Tolerance);
    add("RealSpeed", [this] { return QVariant(static_cast<double>(RealSpeed)); },
        [this](const QVariant& v) { RealSpeed = v.toDouble(); });
    add("ResistanceMapAdapter", [this] { return QVariant(static_cast<double>(FResistanceMapAdapter)); },
        [this](const QVariant& v) { SetResistanceMapAdapter(v.toDouble()); });
    integer("Time", Time, std::nullopt);
    add("VirtualSpeedEnabled", [this] { return QVariant(FVirtualSpeedEnabled); },
        [this](const QVariant& v) { SetVirtualSpeedEnabled(v.toBool()); });
    real("VirtualSpeedAttenuation", VirtualSpeedAttenuation);
    add("InstantSpeed", [this] { return QVariant(static_cast<double>(InstantSpeed)); },
        [this](const QVariant& v) { InstantSpeed = v.toDouble(); });
    real("Calibration", Calibration);
    integer("NumberOfSearch", NumberOfSearch, 1);
    add("DeviceTrainerNumber", [this] { return QVariant(DeviceTrainerNumber()); },
        [this](const QVariant& v) { SetDeviceTrainerNumber(v.toInt()); }, QVariant(0));
    add("DeviceHrNumber", [this] { return QVariant(DeviceHrNumber()); },
        [this](const QVariant& v) { SetDeviceHrNumber(v.toInt()); }, QVariant(0));
    add("DeviceNumberKeyboard", [this] { return QVariant(DeviceNumberKeyboard()); },
        [this](const QVariant& v) { SetDeviceNumberKeyboard(v.toInt()); }, QVariant(0));
    add("eventPerTurn", [this] { return QVariant(int { eventPerTurn() }); },
        [this](const QVariant& v) { SeteventPerTurn(toByte(v)); });
    add("UnitType", [this] { return QVariant(FUnitType); }, [this](const QVariant& v) { SetUnitType(v.toDouble()); });
    add("EnableConsole", [this] { return QVariant(FEnableConsole); },
        [this](const QVariant& v) { SetEnableConsole(v.toBool()); });
    add("MsgUsbDongleNotFound", [this] { return QVariant(FMsgUsbDongleNotFound); },
        [this](const QVariant& v) { SetMsgUsbDongleNotFound(v.toString()); });
    byte("ChannelConsole", ChannelConsole, profile::Console.rfFrequency);
    byte("ChannelTrainer", ChannelTrainer, profile::NativeTrainer.rfFrequency);
    byte("ChannelSpeedCadence", ChannelSpeedCadence, profile::SpeedCadenceSensor.rfFrequency);
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

void TTavorDeviceANT::freeLink()
{
    // The link's value stays the component's after the link is gone.
    FeventPerTurn = eventPerTurn();
    ant::AntLink.reset();
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

// ---- connecting -------------------------------------------------------------------------------

bool TTavorDeviceANT::ConnectANT(std::int32_t TrainerNumber, std::int32_t HrNumber, std::int32_t KeyboardNumber)
{
    // A ConnectANT started from a handler while another one waits would free the link under it.
    if (FConnecting)
        return false;
    FTrainerConnected = false;
    FStickError.clear();
    freeLink();
    if (!createLink())
        return false;
    ant::lumo_ANT& l = *ant::AntLink;
    l.ReceiverMode = FRecieverType;
    if (DebugMemo)
        l.LogMemo = DebugMemo;
    if (DebugRaw)
        l.RawMemo = DebugRaw;
    FTrainerConnected = true;
    l.BaudRate = ant::ANT_BAUD_RATE;
    if (!openStick(l)) {
        FTrainerConnected = false;
        FStickError = l.StickError();
        platform::desktop().showMessageBox(
            { FMsgUsbDongleNotFound, QString(), platform::BoxIcon::Error, /*systemModal=*/true });
        return false;
    }
    if (FDeviceTrainerNumber != 0)
        TrainerNumber = FDeviceTrainerNumber;
    if (FDeviceHrNumber != 0)
        HrNumber = FDeviceHrNumber;
    if (FDeviceNumberKeyboard != 0)
        KeyboardNumber = FDeviceNumberKeyboard;
    TrainerNumber = std::max(TrainerNumber, 0);
    HeartConnectionRaised = false;
    ConsoleConnectionRaised = false;
    describeChannels(l, TrainerNumber, HrNumber, KeyboardNumber);
    l.UseHeartChannel = FHeartEnabled;
    l.UseConsoleChannel = FEnableConsole;

    FConnecting = true;
    FDisconnectedWhileConnecting = false;
    struct EndConnecting {
        bool& flag;
        ~EndConnecting() { flag = false; }
    } endConnecting { FConnecting };
    l.StartChannels();
    waitForTrainer();
    FConnecting = false;
    if (FDisconnectedWhileConnecting) {
        // A handler disconnected while we waited; the link was closed then and is freed now.
        FTrainerConnected = false;
        freeLink();
        return false;
    }

    const bool answered = channelConnected(ant::TrainerChannel);
    FTrainerConnected = answered;
    if (answered) {
        if (!PollTimer)
            createPollTimer();
        if (channelConnected(ant::ConsoleChannel))
            ant::AntLink->KeepAliveTimer.setEnabled(true);
        devicebase::TVelCustomDevice::Connect();
    }
    return answered;
}

bool TTavorDeviceANT::createLink()
{
    try {
        ant::AntLink = ant::CreateAntLink(FLibraryFactory);
    } catch (const std::exception&) {
        ant::AntLink.reset();
    }
    if (ant::AntLink)
        return true;
    platform::desktop().showMessageBox({ QStringLiteral("Error in creating Ant Protocol"), platform::ApplicationTitle });
    return false;
}

void TTavorDeviceANT::describeChannels(ant::lumo_ANT& l, std::int32_t TrainerNumber, std::int32_t HrNumber,
                                       std::int32_t KeyboardNumber)
{
    const auto trainer = static_cast<std::uint32_t>(TrainerNumber);
    describeChannel(l, ant::HeartChannel, profile::HeartRateBelt, profile::HeartRateBelt.rfFrequency, static_cast<std::uint32_t>(HrNumber));
    if (FRecieverType == rtTrainerNetwork) {
        describeChannel(l, ant::TrainerChannel, profile::NativeTrainer, ChannelTrainer, trainer);
        describeChannel(l, ant::SensorChannel, profile::SpeedCadenceSensor, ChannelSpeedCadence, trainer);
    } else {
        describeChannel(l, ant::TrainerChannel, profile::CompactTrainer, profile::CompactTrainer.rfFrequency, trainer);
    }
    describeChannel(l, ant::ConsoleChannel, profile::Console, ChannelConsole, static_cast<std::uint32_t>(KeyboardNumber));
}

void TTavorDeviceANT::waitForTrainer()
{
    platform::Clock& clock = platform::clock();
    const std::uint32_t start = clock.tickCount();
    auto answered = [this] { return FDisconnectedWhileConnecting || channelConnected(ant::TrainerChannel); };
    // Elapsed time as a wrapping difference, so a wrap of the tick counter does not end the wait;
    // each inner wait ends the moment the trainer answers.
    for (std::uint32_t waited = 0; !answered() && waited <= TrainerWaitMs; waited = clock.tickCount() - start)
        devicebase::WaitProcessingMessagesUntil(static_cast<std::int32_t>(TrainerWaitMs - waited + 1), answered);
}

void TTavorDeviceANT::createPollTimer()
{
    if (!FInPollTick)
        FRetiredPollTimers.clear();
    PollTimer = std::make_unique<platform::PeriodicTimer>(platform::clock(), PollIntervalMs, [this] { PollTimerTick(); });
    PollTimer->setEnabled(true);
}

void TTavorDeviceANT::releasePollTimer()
{
    if (!FInPollTick)
        FRetiredPollTimers.clear();
    if (!PollTimer)
        return;
    PollTimer->setEnabled(false);
    // A timer must not be freed from inside its own tick; it waits until the tick is over.
    if (FInPollTick)
        FRetiredPollTimers.push_back(std::move(PollTimer));
    PollTimer.reset();
}

void TTavorDeviceANT::Disconnect()
{
    devicebase::TVelCustomDevice::Disconnect();
    StatsTimer().SetEnabled(false);
    if (auto* l = link()) {
        l->KeepAliveTimer.setEnabled(false);
        l->KeepAliveTimer.setOnTimeout({});
    }
    releasePollTimer();
    if (auto* l = link())
        l->CloseAll();
    devicebase::WaitProcessingMessages(DisconnectSettleMs);
    if (!link())
        return;
    if (FConnecting) {
        // The waiting ConnectANT still works on the link; it frees it when its wait is over.
        FDisconnectedWhileConnecting = true;
        FTrainerConnected = false;
        return;
    }
    if (!destroying())
        FTrainerConnected = false;
    // Freed during destruction too (it is silenced and closed by now): a link left behind would
    // outlive the clock and the library it was made with.
    freeLink();
}

// ---- poll timer -------------------------------------------------------------------------------

void TTavorDeviceANT::PollTimerTick()
{
    FInPollTick = true;
    struct EndTick {
        bool& flag;
        ~EndTick() { flag = false; }
    } endTick { FInPollTick };
    // Handlers may disconnect, so the link is looked up again after each of them.
    auto linkReady = [] {
        const auto* l = link();
        return l && l->Channels.size() >= 4;
    };
    if (!linkReady())
        return;
    if (!HeartConnectionRaised && channelConnected(ant::TrainerChannel)) {
        HeartConnectionRaised = true;
        if (OnHeartConnection)
            OnHeartConnection(this);
    }
    if (!linkReady())
        return;
    if (FEnableConsole && !ConsoleConnectionRaised && channelConnected(ant::ConsoleChannel) && OnConsoleConnection) {
        ConsoleConnectionRaised = true;
        OnConsoleConnection(this);
    }
    if (!OnConsoleKeydown || !linkReady())
        return;
    const std::array<bool, 4> keys = link()->ConsoleKeys;
    // Only the first key held counts; a key is reported once, when it is let go.
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (keys[k]) {
            ++KeyHoldTicks[k];
            break;
        }
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (!keys[k] && KeyHoldTicks[k] > 0) {
            KeyHoldTicks.fill(0);
            OnConsoleKeydown(this, static_cast<devicebase::TConsoleKey>(k));
            break;
        }
}

// ---- statistics tick --------------------------------------------------------------------------

void TTavorDeviceANT::DoStats()
{
    if (destroying() || StatsBusy)
        return;
    StatsBusy = true;
    if (Time == 0)
        PowerSampleSum = 0;
    {
        // A failing step still clears the flag; OnStats is then not raised.
        struct ClearBusy {
            ~ClearBusy() { StatsBusy = false; }
        } clearBusy;
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
        l->QueueResistance(levelByte(FTavorResistance));
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

double TTavorDeviceANT::riderMass() const { return FRiderWeight + (FUOM == umKm ? 10.0 : 22.0); }

double TTavorDeviceANT::ComputePower(double Speed, double Slope)
{
    if (Speed <= 0)
        return 0;
    const double m = riderMass();
    const double v = Speed;
    const double p = FUOM == umKm ? 0.00145 * v * v * v + 0.127 * v * v + (0.027 * m * Slope - 0.37) * v
                                  : 0.006 * v * v * v + 0.33 * v * v + (0.02 * m * Slope - 0.6) * v;
    return p <= 0 ? 0 : p;
}

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
    const double m = riderMass();
    const double slope = static_cast<double>(CurrentSlope);
    FGravityForce = m * std::fabs(slope) * VirtualSpeedAttenuation / 100;
    FPedalingForce = ComputePower(Speed, 0) / Speed;
    const double total = PreviousVirtualSpeed + Speed;
    FAttritionForce = total != 0 ? ComputePower(total, 0) / total : 0;
    NetForce = FPedalingForce + FGravityForce - FAttritionForce;
    double next = 0;
    if (slope < 0)
        next = static_cast<double>(RoundToDigits(PrecisionSpeed, PreviousVirtualSpeed + NetForce / (m / Gravity)));
    else if (std::fabs(PreviousVirtualSpeed) > Tolerance)
        next = PreviousVirtualSpeed - FAttritionForce * 2.5 / (m / Gravity);
    FVirtualSpeed = std::max(next, 0.0);
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
    const double s = previousSpeed;
    const double m = riderMass();
    const double slope = static_cast<double>(CurrentSlope);
    double e = FUOM == umKm ? 4.4e-6 * s * s * s + 1.8e-5 * s * m + 0.002 * s * slope
                            : 1.83e-5 * s * s * s + 1.3e-5 * s * m + 0.0015 * s * slope;
    CaloriesSum += std::max(e, 0.0);
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
