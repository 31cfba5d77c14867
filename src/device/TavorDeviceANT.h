#pragma once

#include "ant/lumo_ant_class.h"
#include "antproto/DeviceProfiles.h"
#include "device/LumoAverage.h"
#include "device/TavorDeviceInterface.h"
#include "devicebase/VelDeviceBaseClasses.h"
#include "platform/PeriodicTimer.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace caltrix::calibration {
class TMapCalibration;
class TResistanceMap;
} // namespace caltrix::calibration

namespace caltrix::device {

using devicebase::TAlarmEvent;
using devicebase::TCompetitorState;
using devicebase::TConsoleKeyDownEvent;
using platform::TNotifyEvent;
using platform::TObject;

// How the trainer is reached.
enum TLumoRecieverType : std::uint8_t {
    // The trainer on its own network with resistance commands, plus the speed-and-cadence sensor
    // and the console.
    rtTrainerNetwork = 0,
    // The trainer heard as a speed-and-cadence device speaking the compact protocol; no
    // resistance commands.
    rtSpeedSensor = 1,
    // The channels of rtSpeedSensor, but the link leaves the trainer channel undecoded.
    rtSpeedSensorPassive = 2,
};

// Set while a statistics tick of any trainer device runs, so that a tick never starts inside
// another one (handlers raised from a tick may process window messages). Main thread only.
extern bool StatsBusy;

// The trainer reached over ANT radio as one component: it creates the process's ANT link and
// lays out its channels, turns what the link decodes into ride values once per statistics tick,
// sends resistance levels to the trainer, and watches the console keys every 100 ms.
//
// Main thread only. The link's callbacks arrive on the main thread too, during message
// processing. ConnectANT and Disconnect process window messages while they wait, so handlers
// (poll and statistics ticks, clicks) may run inside them.
class TTavorDeviceANT : public devicebase::TVelCustomDevice, public ITavorDevice {
public:
    explicit TTavorDeviceANT(platform::TComponent* AOwner);
    ~TTavorDeviceANT() override;

    QString ClassName() const override { return QStringLiteral("TTavorDeviceANT"); }

    // Each setting's initial value is its member's initialiser, written nowhere else. These are
    // the initial values that the stored form also declares as its defaults, so that a component
    // still holding them stores nothing for them.
    struct Initial {
        static constexpr std::int32_t HrArrayLength = 5;
        static constexpr bool HeartEnabled = true;
        static constexpr TLumoRecieverType RecieverType = rtTrainerNetwork;
        static constexpr bool HeartConnectionActive = true;
        static constexpr std::int32_t SpeedArrayLength = 3;
        static constexpr bool Connected = false;
        static constexpr std::int32_t TavorResistance = 0;
        static constexpr std::int32_t TavorElevation = 0;
        static constexpr bool HighPowerReduceEnable = false;
        static constexpr std::int32_t ResistanceLatency = 0;
        static constexpr std::int32_t CurrentElevation = 0;
        static constexpr std::int32_t DeviceNumber = 0; // of the trainer, the heart belt and the console
    };

    void DefineProperties(platform::PropertyList& properties) override;

    // Where a new link gets its ANT library. Unset: the sticks named by CALTRIX_ANT. Tests and
    // benchmarks hand in the built-in virtual stick this way.
    void SetAntLibraryFactory(ant::AntLibraryFactory Factory) { FLibraryFactory = std::move(Factory); }

    // ---- operations ----------------------------------------------------------------------------

    bool ConnectANT(std::int32_t TrainerNumber, std::int32_t HrNumber, std::int32_t KeyboardNumber) override;

    double GetSpeed() override;
    void DoStats() override;
    bool Start() override;
    bool Stop() override;
    bool Pause() override;
    void Disconnect() override;
    // The link's closing waits end on the stick's confirmations (lumo_ANT::ClosePromptly); the
    // settling wait stays.
    void DisconnectPromptly() override;

    virtual QString GetVersion() const;
    virtual void SetVersion(const QString& Value);
    // Raises the component's own OnAlarmHeart.
    virtual void DoAlarmHeart(std::int32_t PercentDelta, bool isHigherLimit, bool AbortedByComponent, bool& doStop);
    // Raises the component's own OnDisconnected.
    virtual void DoDeviceDisconnected();
    virtual void SetMsgUsbDongleNotFound(const QString& Value);

    // Runs on every statistics tick after the power is computed: the resistance factor follows
    // InstantSpeed (minus the virtual speed), from HighPowerReduceCoefficientMinimum at standstill
    // up to 1 at HighPowerReduceStartSpeed.
    void UpdateHighPowerReduce();

    // ---- published properties ------------------------------------------------------------------

    double TavorVersion() const { return FTavorVersion; }
    // Stores the version, sets RollDiameter for the models that fix it, raises OnVersionChange.
    void SetTavorVersion(double Value);
    std::int32_t IDConsole() const { return FIDConsole; }
    calibration::TMapCalibration* MapCalibration = nullptr; // not used by the component
    // Heart samples averaged to decide whether a heart signal is present; read at construction only.
    std::int32_t HrArrayLength = Initial::HrArrayLength;
    bool HeartEnabled() const { return FHeartEnabled; }
    void SetHeartEnabled(bool Value) override { FHeartEnabled = Value; }
    TLumoRecieverType RecieverType() const { return FRecieverType; }
    void SetRecieverType(TLumoRecieverType Value) { FRecieverType = Value; }
    bool HeartConnectionActive = Initial::HeartConnectionActive;
    std::int32_t CadenceArrayLength() const { return FCadenceArrayLength; }
    // Resizes the cadence window at once.
    void SetCadenceArrayLength(std::int32_t Value);
    // Speed samples averaged into the live speed; read at construction only.
    std::int32_t SpeedArrayLength = Initial::SpeedArrayLength;
    long double RollDiameter() const { return FRollDiameter; }
    // Stores the diameter and copies it to the link's speed formula.
    void SetRollDiameter(long double Value) override;
    // The component's own connected flag (true while searching, too); the base's connected state
    // is GetConnected().
    bool Connected() const override { return FTrainerConnected; }
    void SetConnected(bool Value) { FTrainerConnected = Value; }
    std::int32_t InitialResistance() const { return FInitialResistance; }
    void SetInitialResistance(std::int32_t Value);
    std::int32_t TavorResistance() const { return FTavorResistance; }
    // Clamps the level to 0..255 (never 240 or 247), applies the standstill rule and the
    // high-power factor, stores it and queues it on the link. Only with rtTrainerNetwork.
    void SetTavorResistance(std::int32_t Value) override;
    std::int32_t TavorElevation() const { return FTavorElevation; }
    void SetTavorElevation(std::int32_t Value);
    // When set, a level requested while the speed is exactly 0 becomes 0.
    bool SecurityActive = false;
    double HighPowerReduceCoefficient() const { return FHighPowerReduceCoefficient; }
    // Never below HighPowerReduceCoefficientMinimum.
    void SetHighPowerReduceCoefficient(double Value);
    bool HighPowerReduceEnable() const { return FHighPowerReduceEnable; }
    void SetHighPowerReduceEnable(bool Value);
    double HighPowerReduceStartSpeed() const { return FHighPowerReduceStartSpeed; }
    void SetHighPowerReduceStartSpeed(double Value);
    double HighPowerReduceCoefficientMinimum() const { return FHighPowerReduceCoefficientMinimum; }
    void SetHighPowerReduceCoefficientMinimum(double Value);
    std::int32_t ResistanceLatency() const { return FResistanceLatency; }
    void SetResistanceLatency(std::int32_t Value);
    double ResistanceReducer = 1.0;      // not used by the component
    long double CurrentSlope = 0;        // percent, set by the host
    std::int32_t CurrentElevation = Initial::CurrentElevation; // not used by the component
    std::int32_t PrecisionSpeed = 8;     // decimals kept in speed values
    std::int32_t PrecisionDistance = 8;  // decimals kept in VirtualDistance
    double Tolerance = 2.0;              // a smaller virtual speed on the flat drops to 0
    long double RealSpeed = 0;           // the last tick's speed before any virtual speed
    long double ResistanceMapAdapter() const { return FResistanceMapAdapter; }
    void SetResistanceMapAdapter(long double Value);
    calibration::TResistanceMap* ResistanceMap = nullptr; // not used by the component
    // Ticks counted while connected since the last fresh Start.
    std::int32_t Time = 0;
    double VirtualSpeed() const { return FVirtualSpeed; }
    double VirtualDistance() const { return FVirtualDistance; }
    bool VirtualSpeedEnabled() const { return FVirtualSpeedEnabled; }
    void SetVirtualSpeedEnabled(bool Value);
    double VirtualSpeedAttenuation = 1.0; // scales the gravity force of the virtual-speed model
    double AttritionForce() const { return FAttritionForce; }
    double GravityForce() const { return FGravityForce; }
    double PedalingForce() const { return FPedalingForce; }
    long double InstantSpeed = 0; // set by the host; drives the high-power reduction
    double Calibration = 1.0;     // not used by the component
    std::int32_t NumberOfSearch = 0; // not used by the component
    TNotifyEvent OnVersionChange;
    // The component's own event; the base's OnAlarmHeart stays unassigned.
    TAlarmEvent OnAlarmHeart;
    TNotifyEvent OnConnectionRecover; // never raised
    TNotifyEvent OnHeartConnection;
    TConsoleKeyDownEvent OnConsoleKeydown;
    TNotifyEvent OnConsoleConnection;
    TNotifyEvent OnErrorDonglenotFound; // never raised
    // The statistics timer's nominal elapsed milliseconds.
    std::uint32_t TimeElapsed() { return static_cast<std::uint32_t>(StatsTimer().Elapsed); }
    // The component's own event, raised on every tick while the trainer is lost; the base's
    // OnDisconnected (raised by Disconnect) is a different one.
    TNotifyEvent OnDisconnected;
    ant::LogTarget* DebugMemo = nullptr; // the link's command and event log, when set
    ant::LogTarget* DebugRaw = nullptr;  // the link's raw traffic log, when set
    bool OutOfRange() const;
    // The stored number before connecting; the number of the link's channel afterwards.
    std::int32_t DeviceTrainerNumber() const { return deviceNumber(FDeviceTrainerNumber, ant::TrainerChannel); }
    void SetDeviceTrainerNumber(std::int32_t Value) { setDeviceNumber(FDeviceTrainerNumber, ant::TrainerChannel, Value); }
    std::int32_t DeviceHrNumber() const { return deviceNumber(FDeviceHrNumber, ant::HeartChannel); }
    void SetDeviceHrNumber(std::int32_t Value) { setDeviceNumber(FDeviceHrNumber, ant::HeartChannel, Value); }
    std::int32_t DeviceNumberKeyboard() const { return deviceNumber(FDeviceNumberKeyboard, ant::ConsoleChannel); }
    void SetDeviceNumberKeyboard(std::int32_t Value) { setDeviceNumber(FDeviceNumberKeyboard, ant::ConsoleChannel, Value); }
    bool ConnectedTrainer() const { return channelConnected(ant::SensorChannel); }
    bool ConnectedHr() const { return channelConnected(ant::HeartChannel); }
    bool ConnectedKeyboard() const { return channelConnected(ant::ConsoleChannel); }
    // The link's value while there is a link; never 0.
    std::uint8_t eventPerTurn() const;
    void SeteventPerTurn(std::uint8_t Value) override;
    double UnitType() const { return FUnitType; }
    void SetUnitType(double Value);
    bool EnableConsole() const { return FEnableConsole; }
    void SetEnableConsole(bool Value) override { FEnableConsole = Value; }
    const QString& MsgUsbDongleNotFound() const { return FMsgUsbDongleNotFound; }
    QString StickError() const override { return FStickError; }
    // RF frequencies (MHz above 2400) of the console, trainer and speed-and-cadence channels.
    std::uint8_t ChannelConsole = antproto::profile::Console.rfFrequency;
    std::uint8_t ChannelTrainer = antproto::profile::NativeTrainer.rfFrequency;
    std::uint8_t ChannelSpeedCadence = antproto::profile::SpeedCadenceSensor.rfFrequency;

    // On the link's open stick while connected, else on a stick of its own from the library
    // factory, for the trainer channel of the receiver mode (TavorDeviceSearch.cpp).
    std::unique_ptr<TrainerSearch> SearchTrainers(SearchCallbacks callbacks) override;

    void SetOnConnected(TNotifyEvent Handler) override { TVelCustomDevice::OnConnected = std::move(Handler); }
    void SetOnStats(TNotifyEvent Handler) override { OnStats = std::move(Handler); }

    // The three windows of recent values.
    TLumoAverage HeartAverager;
    TLumoAverage CadenceAverager;
    TLumoAverage SpeedAverager;

private:
    static ant::lumo_ANT* link() { return ant::AntLink.get(); }

    void PollTimerTick();
    void ChangeHeartConnectionActive(bool Active);
    void ProcessHeartRate();
    double ComputePower(double Speed, double Slope);
    void UpdateVirtualSpeed(double Speed);
    void ResetVirtualSpeed();

    // Parts of ConnectANT and the statistics tick.
    bool createLink();
    // Frees the link, keeping its events per turn as the component's own.
    void freeLink();
    void describeChannels(ant::lumo_ANT& link, std::int32_t TrainerNumber, std::int32_t HrNumber,
                          std::int32_t KeyboardNumber);
    void waitForTrainer();
    // Describes the channel plan, starts the channels and waits for the trainer.
    void startChannelsAndWait(ant::lumo_ANT& link, std::int32_t TrainerNumber, std::int32_t HrNumber,
                              std::int32_t KeyboardNumber);
    void createPollTimer();
    void releasePollTimer();
    void countConnectedTick();
    void updateHeart();
    void addVirtualSpeed();
    void addCalories(double previousSpeed);
    void updatePower();
    void checkCourseFinished();
    void checkLinkLosses();
    double riderMass() const;
    // Hands the stored level to the link, when there is one.
    void queueResistance();

    std::int32_t deviceNumber(std::int32_t stored, std::uint8_t channel) const;
    void setDeviceNumber(std::int32_t& stored, std::uint8_t channel, std::int32_t value);
    bool channelConnected(std::uint8_t channel) const;

    ant::AntLibraryFactory FLibraryFactory;
    std::unique_ptr<platform::PeriodicTimer> PollTimer;
    // Poll timers released from inside their own tick; freed once no tick runs.
    std::vector<std::unique_ptr<platform::PeriodicTimer>> FRetiredPollTimers;
    bool FInPollTick = false;
    // ConnectANT is waiting (processing messages); a Disconnect meanwhile leaves the link to it.
    bool FConnecting = false;
    bool FDisconnectedWhileConnecting = false;

    double FTavorVersion = 0;
    std::uint8_t FIDConsole = 0; // nothing assigns it
    bool FHeartEnabled = Initial::HeartEnabled;
    TLumoRecieverType FRecieverType = Initial::RecieverType;
    std::int32_t FCadenceArrayLength = 1;
    long double FRollDiameter = 0;
    bool FTrainerConnected = Initial::Connected;
    std::int32_t FInitialResistance = 0;
    std::int32_t FTavorResistance = Initial::TavorResistance;
    std::int32_t FTavorElevation = Initial::TavorElevation;
    double FHighPowerReduceCoefficient = 1.0;
    bool FHighPowerReduceEnable = Initial::HighPowerReduceEnable;
    double FHighPowerReduceStartSpeed = 7.0;
    double FHighPowerReduceCoefficientMinimum = 0.25;
    std::int32_t FResistanceLatency = Initial::ResistanceLatency;
    long double FResistanceMapAdapter = 1.0;
    double FVirtualSpeed = 0;
    double FVirtualDistance = 0;
    bool FVirtualSpeedEnabled = false;
    double FAttritionForce = 0;
    double FGravityForce = 0;
    double FPedalingForce = 0;
    std::int32_t FDeviceTrainerNumber = Initial::DeviceNumber;
    std::int32_t FDeviceHrNumber = Initial::DeviceNumber;
    std::int32_t FDeviceNumberKeyboard = Initial::DeviceNumber;
    std::uint8_t FeventPerTurn = 1;
    double FUnitType = 0;
    bool FEnableConsole = true;
    QString FMsgUsbDongleNotFound = QStringLiteral("Usb dongle not found! Check it and restart the software.");
    QString FStickError; // why the last ConnectANT found no stick, when the library knew

    std::int32_t HeartSamples = 0;
    std::int32_t HeartSum = 0;
    bool HeartConnectionRaised = false;
    bool ConsoleConnectionRaised = false;
    long double CaloriesSum = 0;
    std::int32_t CadenceSum = 0;
    std::int32_t PowerSampleSum = 0;
    double PreviousVirtualSpeed = 0;
    double NetForce = 0;
    std::array<std::int32_t, 4> KeyHoldTicks {};
};

} // namespace caltrix::device
