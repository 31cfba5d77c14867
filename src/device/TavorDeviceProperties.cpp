// The stored form of the trainer device: which properties it writes and reads, and their declared
// defaults.
#include "device/TavorDeviceANT.h"

#include <algorithm>

namespace caltrix::device {

namespace {

namespace profile = antproto::profile;

std::uint8_t toByte(const QVariant& v) { return static_cast<std::uint8_t>(std::clamp(v.toInt(), 0, 255)); }

} // namespace

void TTavorDeviceANT::DefineProperties(platform::PropertyList& properties)
{
    devicebase::TVelCustomDevice::DefineProperties(properties);
    using Getter = std::function<QVariant()>;
    using Setter = std::function<void(const QVariant&)>;
    using Self = TTavorDeviceANT;
    auto add = [&](const char* name, Getter get, Setter set, std::optional<QVariant> def = std::nullopt) {
        properties.add({ QString::fromLatin1(name), std::move(get), std::move(set), std::move(def) });
    };
    // Plain fields.
    auto integerField = [&](const char* name, std::int32_t& field, std::optional<std::int32_t> def) {
        add(name, [&field] { return QVariant(field); }, [&field](const QVariant& v) { field = v.toInt(); },
            def ? std::optional<QVariant>(*def) : std::nullopt);
    };
    auto booleanField = [&](const char* name, bool& field, bool def) {
        add(name, [&field] { return QVariant(field); }, [&field](const QVariant& v) { field = v.toBool(); }, QVariant(def));
    };
    auto realField = [&]<typename Real>(const char* name, Real& field) {
        add(name, [&field] { return QVariant(static_cast<double>(field)); },
            [&field](const QVariant& v) { field = v.toDouble(); });
    };
    auto byteField = [&](const char* name, std::uint8_t& field, int def) {
        add(name, [&field] { return QVariant(int { field }); }, [&field](const QVariant& v) { field = toByte(v); },
            QVariant(def));
    };
    // Properties read through their getter and written through their setter.
    auto integer = [&](const char* name, auto get, auto set, std::optional<QVariant> def = std::nullopt) {
        add(name, [this, get] { return QVariant(std::int32_t { (this->*get)() }); },
            [this, set](const QVariant& v) { (this->*set)(v.toInt()); }, std::move(def));
    };
    auto boolean = [&](const char* name, auto get, auto set, std::optional<QVariant> def = std::nullopt) {
        add(name, [this, get] { return QVariant(bool { (this->*get)() }); },
            [this, set](const QVariant& v) { (this->*set)(v.toBool()); }, std::move(def));
    };
    auto real = [&](const char* name, auto get, auto set) {
        add(name, [this, get] { return QVariant(static_cast<double>((this->*get)())); },
            [this, set](const QVariant& v) { (this->*set)(v.toDouble()); });
    };

    // A declared default only decides what the stored form leaves out; it is not the value a new
    // component starts with. For CadenceArrayLength (10), SecurityActive (true), PrecisionSpeed (1)
    // and NumberOfSearch (1) it deliberately differs from the initial value, so that a new component
    // stores these four; every other declared default is the initial value itself.
    //
    // Read-only values, events and references to other components are not stored.
    add("Version", [this] { return QVariant(GetVersion()); }, [this](const QVariant& v) { SetVersion(v.toString()); });
    real("TavorVersion", &Self::TavorVersion, &Self::SetTavorVersion);
    integerField("HrArrayLength", HrArrayLength, Initial::HrArrayLength);
    boolean("HeartEnabled", &Self::HeartEnabled, &Self::SetHeartEnabled, QVariant(Initial::HeartEnabled));
    properties.add({ QStringLiteral("RecieverType"), [this] { return QVariant(int { FRecieverType }); },
        [this](const QVariant& v) { SetRecieverType(static_cast<TLumoRecieverType>(std::clamp(v.toInt(), 0, 2))); },
        QVariant(int { Initial::RecieverType }),
        { QStringLiteral("rtTrainerNetwork"), QStringLiteral("rtSpeedSensor"), QStringLiteral("rtSpeedSensorPassive") } });
    booleanField("HeartConnectionActive", HeartConnectionActive, Initial::HeartConnectionActive);
    integer("CadenceArrayLength", &Self::CadenceArrayLength, &Self::SetCadenceArrayLength, QVariant(10));
    integerField("SpeedArrayLength", SpeedArrayLength, Initial::SpeedArrayLength);
    real("RollDiameter", &Self::RollDiameter, &Self::SetRollDiameter);
    boolean("Connected", &Self::Connected, &Self::SetConnected, QVariant(Initial::Connected));
    integer("InitialResistance", &Self::InitialResistance, &Self::SetInitialResistance);
    integer("TavorResistance", &Self::TavorResistance, &Self::SetTavorResistance, QVariant(Initial::TavorResistance));
    integer("TavorElevation", &Self::TavorElevation, &Self::SetTavorElevation, QVariant(Initial::TavorElevation));
    booleanField("SecurityActive", SecurityActive, true);
    real("HighPowerReduceCoefficient", &Self::HighPowerReduceCoefficient, &Self::SetHighPowerReduceCoefficient);
    boolean("HighPowerReduceEnable", &Self::HighPowerReduceEnable, &Self::SetHighPowerReduceEnable,
        QVariant(Initial::HighPowerReduceEnable));
    real("HighPowerReduceStartSpeed", &Self::HighPowerReduceStartSpeed, &Self::SetHighPowerReduceStartSpeed);
    real("HighPowerReduceCoefficientMinimum", &Self::HighPowerReduceCoefficientMinimum,
        &Self::SetHighPowerReduceCoefficientMinimum);
    integer("ResistanceLatency", &Self::ResistanceLatency, &Self::SetResistanceLatency,
        QVariant(Initial::ResistanceLatency));
    realField("ResistanceReducer", ResistanceReducer);
    realField("CurrentSlope", CurrentSlope);
    integerField("CurrentElevation", CurrentElevation, Initial::CurrentElevation);
    integerField("PrecisionSpeed", PrecisionSpeed, 1);
    integerField("PrecisionDistance", PrecisionDistance, std::nullopt);
    realField("Tolerance", Tolerance);
    realField("RealSpeed", RealSpeed);
    real("ResistanceMapAdapter", &Self::ResistanceMapAdapter, &Self::SetResistanceMapAdapter);
    integerField("Time", Time, std::nullopt);
    boolean("VirtualSpeedEnabled", &Self::VirtualSpeedEnabled, &Self::SetVirtualSpeedEnabled);
    realField("VirtualSpeedAttenuation", VirtualSpeedAttenuation);
    realField("InstantSpeed", InstantSpeed);
    realField("Calibration", Calibration);
    integerField("NumberOfSearch", NumberOfSearch, 1);
    integer("DeviceTrainerNumber", &Self::DeviceTrainerNumber, &Self::SetDeviceTrainerNumber,
        QVariant(Initial::DeviceNumber));
    integer("DeviceHrNumber", &Self::DeviceHrNumber, &Self::SetDeviceHrNumber, QVariant(Initial::DeviceNumber));
    integer("DeviceNumberKeyboard", &Self::DeviceNumberKeyboard, &Self::SetDeviceNumberKeyboard,
        QVariant(Initial::DeviceNumber));
    add("eventPerTurn", [this] { return QVariant(int { eventPerTurn() }); },
        [this](const QVariant& v) { SeteventPerTurn(toByte(v)); });
    real("UnitType", &Self::UnitType, &Self::SetUnitType);
    boolean("EnableConsole", &Self::EnableConsole, &Self::SetEnableConsole);
    add("MsgUsbDongleNotFound", [this] { return QVariant(FMsgUsbDongleNotFound); },
        [this](const QVariant& v) { SetMsgUsbDongleNotFound(v.toString()); });
    byteField("ChannelConsole", ChannelConsole, profile::Console.rfFrequency);
    byteField("ChannelTrainer", ChannelTrainer, profile::NativeTrainer.rfFrequency);
    byteField("ChannelSpeedCadence", ChannelSpeedCadence, profile::SpeedCadenceSensor.rfFrequency);
}

} // namespace caltrix::device
