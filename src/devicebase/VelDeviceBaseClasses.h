#pragma once

#include "devicebase/VelTimerU.h"
#include "platform/Component.h"
#include "platform/Picture.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace caltrix::devicebase {

using platform::TNotifyEvent;
using platform::TObject;

enum TUnitMeasure : std::uint8_t { umKm = 0, umMiles = 1 };

// Values 1 to 3 exist in the type but are not used.
enum TCompetitorState : std::uint8_t { cpsNone = 0, cpsRunning = 4, cpsPaused = 5, cpsStopped = 6 };

// A console key, 0 to 3.
using TConsoleKey = std::uint8_t;

using TAlarmEvent = std::function<void(TObject* Sender, std::int32_t PercentDelta, bool isHigherLimit,
    bool AbortedByComponent, bool& doStop)>;
using TBeforeStopEvent = std::function<void(TObject* Sender, bool& CanContinue)>;
using TCompetitorStateChangedEvent
    = std::function<void(TObject* Sender, TCompetitorState OldCompetitorState, TCompetitorState NewCompetitorState)>;
using TConsoleKeyDownEvent = std::function<void(TObject* Sender, TConsoleKey key)>;

// Base of every trainer device component: the rider's data, the ride values behind virtual
// accessors (so a concrete device can intercept them), heart-rate limits and alarm limits, the
// competitor state, the connection flag, the statistics timer and the events. Talks to no
// hardware; its lifecycle operations do nothing. Main thread only.
class TVelCustomDevice : public platform::TComponent {
public:
    explicit TVelCustomDevice(platform::TComponent* AOwner);
    ~TVelCustomDevice() override;

    QString ClassName() const override { return QStringLiteral("TVelCustomDevice"); }
    void DefineProperties(platform::PropertyList& properties) override;
    // From another device: copies RiderName only. Anything else: "Cannot assign a %s to a %s".
    void Assign(const platform::TPersistent* Source) override;

    // ---- published properties -----------------------------------------------------------------
    const QString& RiderName() const { return FRiderName; }
    std::int32_t RiderId() const { return FRiderId; }
    const QString& LastName() const { return FLastName; }
    const QString& FirstName() const { return FFirstName; }
    double BirthDate() const { return FBirthDate; }
    std::int32_t RiderWeight() const { return FRiderWeight; }
    TUnitMeasure UOM() const { return FUOM; }
    const platform::TPicture& Photo() const { return *FPhoto; }
    std::uint32_t Color() const { return FColor; }
    std::int32_t HeartMaxLimit() const { return FHeartMaxLimit; }
    std::int32_t HeartUpperLimit() const { return FHeartUpperLimit; }
    std::int32_t HeartLowerLimit() const { return FHeartLowerLimit; }
    double DistanceToPerform() const { return FDistanceToPerform; }
    double BikeWeight = 10.0;
    std::uint32_t TimeToleranceMs() const { return FTimeToleranceMs; }
    std::int32_t AlarmHeartHighLimit() const { return FAlarmHeartHighLimit; }
    std::int32_t AlarmHeartLowLimit() const { return FAlarmHeartLowLimit; }
    std::int32_t AlarmHeartMaxLimit() const { return FAlarmHeartMaxLimit; }

    TNotifyEvent OnConnected;
    TNotifyEvent OnDisconnected;
    TNotifyEvent OnConnectionLost;
    TNotifyEvent OnCourseFinished;
    TNotifyEvent OnAfterStop;
    TAlarmEvent OnAlarmHeart; // the base never raises it
    TCompetitorStateChangedEvent OnCompetitorStateChanged;
    TNotifyEvent OnBeforePause;
    TNotifyEvent OnBeforeStart;
    TBeforeStopEvent OnBeforeStop;
    TNotifyEvent OnHeartConnectionLost;
    TNotifyEvent OnStats;
    TNotifyEvent OnHeartCriticalValue;

    // ---- further state, read directly ---------------------------------------------------------
    double MaxSpeed() const { return FMaxSpeed; }
    std::int32_t MaxPower() const { return FMaxPower; }
    std::uint8_t DeviceType() const { return FDeviceType; }
    std::int32_t ExtraIndex() const { return FExtraIndex; }
    double GetDistance() const { return FDistance; }
    // The statistics timer: calls DoStats on the main thread while TimerStatsEnabled.
    TVelTimer& StatsTimer() { return *FStatsTimer; }

    // ---- virtual operations, in slot order -----------------------------------------------------
    virtual void SetRiderName(const QString& Value);
    virtual double GetSpeed();
    virtual void SetSpeed(double Value);
    virtual void SetDeviceType(std::uint8_t Value);
    virtual bool GetConnected();
    virtual void SetRiderId(std::int32_t Value);
    virtual void SetLastName(const QString& Value);
    virtual void SetFirstName(const QString& Value);
    virtual void SetBirthDate(double Value);
    virtual void SetRiderWeight(std::int32_t Value);
    virtual void SetUOM(TUnitMeasure Value);
    virtual void SetPhoto(const platform::TPicture& Value);
    virtual void SetColor(std::uint32_t Value);
    virtual std::int32_t GetCadence();
    virtual void SetCadence(std::int32_t Value);
    virtual std::int32_t GetHeartRate();
    virtual void SetHeartRate(std::int32_t Value);
    virtual std::int32_t GetMaxCadence();
    virtual void SetMaxCadence(std::int32_t Value);
    virtual std::int32_t GetPower();
    virtual void SetPower(std::int32_t Value);
    virtual std::int32_t GetAveragePower();
    virtual void SetAveragePower(std::int32_t Value);
    virtual std::int32_t GetMaxHeartRate();
    virtual void SetMaxHeartRate(std::int32_t Value);
    virtual std::int32_t GetExtraValue();
    virtual void SetExtraValue(std::int32_t Value);
    virtual bool GetFinished();
    virtual void SetFinished(bool Value);
    virtual bool GetCompleted();
    virtual void SetCompleted(bool Value);
    virtual std::int32_t GetAverageCadence();
    virtual void SetAverageCadence(std::int32_t Value);
    virtual std::int32_t GetAverageHeartRate();
    virtual void SetAverageHeartRate(std::int32_t Value);
    virtual double GetAverageSpeed();
    virtual void SetAverageSpeed(double Value);
    virtual std::int32_t GetCalories();
    virtual void SetCalories(std::int32_t Value);
    virtual std::int32_t GetPowerSample();
    virtual void SetPowerSample(std::int32_t Value);
    virtual std::int32_t GetExtraStatus();
    virtual void SetHeartMaxLimit(std::int32_t Value);
    virtual void SetHeartUpperLimit(std::int32_t Value);
    virtual void SetHeartLowerLimit(std::int32_t Value);
    virtual bool GetSimulationMode();
    virtual void SetSimulationMode(bool Value);
    virtual void SetDistanceToPerform(double Value);
    virtual void SetDistance(double Value);
    virtual void SetExtraIndex(std::int32_t Value);
    virtual void DoConnected();
    virtual void DoDisconnected();
    virtual void DoConnectionLost();
    virtual void DoCourseFinished();
    virtual void DoAfterStop();
    virtual void DoBeforePause();
    virtual void DoBeforeStart();
    virtual void DoBeforeStop(bool& CanContinue);
    virtual void DoHeartConnectionLost();
    virtual void DoCompetitorStateChanged(TCompetitorState OldCompetitorState, TCompetitorState NewCompetitorState);
    virtual void SetTimerStatsEnabled(bool Value);
    virtual bool GetTimerStatsEnabled();
    virtual void SetTimerStatsInterval(std::uint32_t Value);
    virtual std::uint32_t GetTimerStatsInterval();
    virtual void SetTimerStatsThreadPriority(TThreadPriority Value);
    virtual TThreadPriority GetTimerStatsThreadPriority();
    virtual TCompetitorState GetCompetitorState();
    virtual void DoStats();
    virtual void SetTimeToleranceMs(std::uint32_t Value);
    virtual void SetMaxSpeed(double Value);
    virtual void SetMaxPower(std::int32_t Value);
    virtual void SetAlarmHeartHighLimit(std::int32_t Value);
    virtual void SetAlarmHeartLowLimit(std::int32_t Value);
    virtual void SetAlarmHeartMaxLimit(std::int32_t Value);
    virtual void DoHeartCriticalValue();
    virtual bool Start();
    virtual bool Stop();
    virtual bool Pause();
    virtual void Connect();
    virtual void Disconnect();
    virtual void SetSimulationValues(std::int32_t HeartRate, std::int32_t Cadence, double Speed, double Distance,
        std::int32_t Interval);
    virtual void SetCompetitorState(TCompetitorState Value);
    // Whether Time1 − Time2 (wrapping 32-bit) is at most TimeToleranceMs.
    virtual bool IsWithinTimeTolerance(std::uint32_t Time1, std::uint32_t Time2);

    // Clears the ride values (MaxSpeed and MaxPower stay).
    void ResetValues();

protected:
    QString FRiderName;
    std::int32_t FRiderId = -1;
    QString FLastName;
    QString FFirstName;
    double FBirthDate = 0;
    std::int32_t FRiderWeight = 0;
    TUnitMeasure FUOM = umKm;
    std::unique_ptr<platform::TPicture> FPhoto;
    std::uint32_t FColor = 0;
    std::int32_t FHeartMaxLimit = 220;
    std::int32_t FHeartUpperLimit = 0;
    std::int32_t FHeartLowerLimit = 0;
    bool FSimulationMode = false;
    double FDistanceToPerform = 0;
    std::uint32_t FTimeToleranceMs = 100;
    std::int32_t FAlarmHeartHighLimit = 210;
    std::int32_t FAlarmHeartLowLimit = 35;
    std::int32_t FAlarmHeartMaxLimit = 220;

    double FSpeed = 0;
    std::uint8_t FDeviceType = 0;
    bool FConnected = false;
    std::int32_t FCadence = 0;
    std::int32_t FHeartRate = 0;
    std::int32_t FMaxCadence = 0;
    std::int32_t FPower = 0;
    std::int32_t FAveragePower = 0;
    std::int32_t FMaxHeartRate = 0;
    std::int32_t FExtraValue = 0;
    bool FFinished = false;
    bool FCompleted = false;
    std::int32_t FAverageCadence = 0;
    std::int32_t FAverageHeartRate = 0;
    double FAverageSpeed = 0;
    std::int32_t FCalories = 0;
    std::int32_t FPowerSample = 0;
    double FDistance = 0;
    std::int32_t FExtraIndex = 0;
    TCompetitorState FCompetitorState = cpsNone;
    double FMaxSpeed = 0;
    std::int32_t FMaxPower = 0;

    std::unique_ptr<TVelTimer> FStatsTimer;

private:
    // Stores `value` into `field` when different, clamping it in design mode with a beep.
    void setAlarmLimit(std::int32_t& field, std::int32_t value, bool clampAbove, std::int32_t bound);
};

} // namespace caltrix::devicebase
