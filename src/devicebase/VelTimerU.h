#pragma once

#include "platform/Clock.h"
#include "platform/Component.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>

namespace caltrix::devicebase {

// The seven-step thread priority scale.
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Qt's priority for a step of the scale.
QThread::Priority toQtPriority(TThreadPriority priority);

class TVelTimer;

// The worker of a TVelTimer: measures the interval with a timed wait on `WakeEvent` and hands
// each expiry to the main thread, waiting until the tick has run there. It starts parked and is
// started on the first `Resume`. The tick is posted and the worker waits on an event of its own,
// so that the main thread can end the worker from inside a tick (a handler that frees the timer).
//
// Shared with the main thread: `Interval`, the parked and terminated flags (atomics) and the wake
// events (under the clock's lock). Everything else of the timer stays on the main thread.
class TTimerThread final : public QThread {
public:
    TTimerThread(TVelTimer& owner, platform::Clock& clock);
    ~TTimerThread() override;

    // Parks (suspends) the worker: it makes no tick until resumed. Idempotent.
    void Suspend() { parked_ = true; }
    // Starts or un-parks the worker. Idempotent.
    void Resume();
    // Ends the worker and waits for it, running the main thread's share meanwhile. Called inside
    // one of its own ticks, it releases the worker from that tick first.
    void TerminateAndWait();

    void SetPriority(TThreadPriority priority);
    TThreadPriority Priority() const { return priority_; }

    TVelTimer& Owner;
    std::atomic<std::uint32_t> Interval { 1000 };
    platform::WakeEvent WakeEvent;

protected:
    void run() override; // the worker body

private:
    bool waitWhileParked();
    void runTick();

    platform::ClockRef clock_;
    platform::WakeEvent resumeEvent_;
    platform::WakeEvent tickDone_; // set on the main thread when a posted tick has run
    std::atomic<bool> parked_ { true };
    std::atomic<bool> terminated_ { false };
    bool started_ = false; // main thread only
    // Main thread only: cleared when the worker is ended, so that a tick still running on the main
    // thread touches nothing of a timer freed inside it. Shared with the posted ticks.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool ended_ = false;   // set under the clock's lock by the worker's last action
    TThreadPriority priority_ = TThreadPriority::tpNormal;
};

// A timer whose interval a worker thread measures; `OnTimer` runs on the main thread, one tick
// at a time. Besides ticking it keeps the elapsed-time counters a ride clock is read from.
class TVelTimer : public platform::TComponent {
public:
    explicit TVelTimer(platform::TComponent* AOwner);
    ~TVelTimer() override;

    QString ClassName() const override { return QStringLiteral("TVelTimer"); }
    void DefineProperties(platform::PropertyList& properties) override;

    // Published properties.
    bool AllowZero = false;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    std::uint32_t GetInterval() const { return TimerThread.Interval; }
    void SetInterval(std::uint32_t Value);
    platform::TNotifyEvent OnTimer;
    TThreadPriority GetThreadPriority() const { return TimerThread.Priority(); }
    void SetThreadPriority(TThreadPriority Value) { TimerThread.SetPriority(Value); }

    // Counters, main thread only.
    std::uint32_t LastTick = 0;      // tick count at the last tick or counter reset
    std::int32_t Elapsed = 0;        // `Interval` added once per tick
    std::int32_t LastGap = 0;        // measured ms between the previous tick (or reset) and the latest
    std::int32_t MeasuredElapsed = 0; // measured ms over all ticks since the reset
    std::int32_t Mark1 = 0;
    std::int32_t Mark2 = 0;

    virtual void SetMark1(std::int32_t Value);
    virtual void SetMark2(std::int32_t Value);
    virtual void ResetCounters();
    // Puts the counters at `Value` as if that much time had passed; leaves Enabled as it is.
    virtual void RestartAt(std::int32_t Value);
    virtual void ClearMarks();
    // Runs the tick procedure at once on the calling (main) thread.
    virtual void DoTick() { Tick(); }

    // One tick, on the main thread: counters, then OnTimer. Errors are swallowed.
    void Tick();

    TTimerThread TimerThread;

private:
    platform::ClockRef clock_;
    bool enabled_ = false;
};

} // namespace caltrix::devicebase
