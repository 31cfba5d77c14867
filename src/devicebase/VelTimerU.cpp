#include "devicebase/VelTimerU.h"

#include "platform/GuardedCall.h"
#include "platform/Platform.h"

namespace caltrix::devicebase {

QThread::Priority toQtPriority(TThreadPriority priority)
{
    switch (priority) {
    case TThreadPriority::tpIdle:
        return QThread::IdlePriority;
    case TThreadPriority::tpLowest:
        return QThread::LowestPriority;
    case TThreadPriority::tpLower:
        return QThread::LowPriority;
    case TThreadPriority::tpNormal:
        return QThread::NormalPriority;
    case TThreadPriority::tpHigher:
        return QThread::HighPriority;
    case TThreadPriority::tpHighest:
        return QThread::HighestPriority;
    case TThreadPriority::tpTimeCritical:
        return QThread::TimeCriticalPriority;
    }
    return QThread::NormalPriority;
}

// ---- TTimerThread -----------------------------------------------------------------------------

TTimerThread::TTimerThread(TVelTimer& owner, platform::Clock& clock)
    : Owner(owner)
    , WakeEvent(clock)
    , clock_(clock)
    , resumeEvent_(clock)
    , tickDone_(clock)
{
}

TTimerThread::~TTimerThread() { TerminateAndWait(); }

void TTimerThread::Resume()
{
    parked_ = false;
    if (!started_) {
        started_ = true;
        ended_ = false;
        terminated_ = false;
        alive_ = std::make_shared<bool>(true);
        clock_->threadStarting();
        start(toQtPriority(priority_));
        return;
    }
    resumeEvent_.set();
}

void TTimerThread::TerminateAndWait()
{
    if (!started_)
        return;
    terminated_ = true;
    *alive_ = false;
    clock_->dropPosted(this);
    WakeEvent.set();
    resumeEvent_.set();
    tickDone_.set(); // a worker waiting for the tick that is running now goes on and ends
    clock_->waitRunningMainRequests([this] { return ended_; });
    wait();
    started_ = false;
}

void TTimerThread::SetPriority(TThreadPriority priority)
{
    priority_ = priority;
    if (started_)
        setPriority(toQtPriority(priority));
}

bool TTimerThread::waitWhileParked()
{
    while (parked_ && !terminated_)
        clock_->wait(resumeEvent_, platform::Clock::Infinite);
    return !terminated_;
}

void TTimerThread::run()
{
    while (waitWhileParked()) {
        const bool signalled = clock_->wait(WakeEvent, Interval.load());
        // A tick that the main thread parks after this test finds the timer disabled and does
        // nothing when it runs.
        if (!signalled && !parked_ && !terminated_)
            runTick();
        if (terminated_)
            break;
    }
    clock_->threadFinished(ended_);
}

// Worker: posts the tick and waits until the main thread ran it, or ended the worker.
void TTimerThread::runTick()
{
    clock_->postToMain(this, [this, alive = alive_] {
        Owner.Tick();
        if (*alive) // else the timer was freed inside its own tick
            tickDone_.set();
    });
    clock_->wait(tickDone_, platform::Clock::Infinite);
}

// ---- TVelTimer --------------------------------------------------------------------------------

TVelTimer::TVelTimer(platform::TComponent* AOwner)
    : platform::TComponent(AOwner)
    , TimerThread(*this, platform::clock())
    , clock_(platform::clock())
{
    ClearMarks();
    ResetCounters();
}

TVelTimer::~TVelTimer()
{
    Destroying();
    enabled_ = false;
    TimerThread.TerminateAndWait();
}

void TVelTimer::DefineProperties(platform::PropertyList& properties)
{
    platform::TComponent::DefineProperties(properties);
    properties.add({ QStringLiteral("AllowZero"), [this] { return QVariant(AllowZero); },
        [this](const QVariant& v) { AllowZero = v.toBool(); }, QVariant(false) });
    properties.add({ QStringLiteral("Enabled"), [this] { return QVariant(Enabled()); },
        [this](const QVariant& v) { SetEnabled(v.toBool()); }, QVariant(false) });
    properties.add({ QStringLiteral("Interval"), [this] { return QVariant(GetInterval()); },
        [this](const QVariant& v) { SetInterval(v.toUInt()); }, QVariant(1000u) });
    properties.add({ QStringLiteral("ThreadPriority"), [this] { return QVariant(static_cast<int>(GetThreadPriority())); },
        [this](const QVariant& v) { SetThreadPriority(static_cast<TThreadPriority>(v.toInt())); },
        QVariant(static_cast<int>(TThreadPriority::tpNormal)),
        { QStringLiteral("tpIdle"), QStringLiteral("tpLowest"), QStringLiteral("tpLower"), QStringLiteral("tpNormal"),
            QStringLiteral("tpHigher"), QStringLiteral("tpHighest"), QStringLiteral("tpTimeCritical") } });
}

void TVelTimer::SetEnabled(bool Value)
{
    if (Value == enabled_)
        return;
    if (designing()) {
        enabled_ = false; // a timer never runs inside a form designer
        return;
    }
    enabled_ = Value;
    if (Value) {
        if (GetInterval() > 0 || AllowZero) {
            // The signal ends a wait the worker was parked in without a tick, so the first tick
            // comes one full interval after enabling.
            TimerThread.WakeEvent.set();
            TimerThread.Resume();
        }
    } else {
        TimerThread.Suspend();
    }
}

void TVelTimer::SetInterval(std::uint32_t Value)
{
    if (Value == GetInterval())
        return;
    const bool wasEnabled = enabled_;
    SetEnabled(false);
    TimerThread.Interval = Value;
    SetEnabled(wasEnabled);
}

void TVelTimer::SetMark1(std::int32_t Value) { Mark1 = Value; }
void TVelTimer::SetMark2(std::int32_t Value) { Mark2 = Value; }

void TVelTimer::ResetCounters()
{
    Elapsed = 0;
    LastGap = 0;
    MeasuredElapsed = 0;
    LastTick = clock_->tickCount();
}

void TVelTimer::RestartAt(std::int32_t Value)
{
    const bool wasEnabled = enabled_;
    enabled_ = false;
    ResetCounters();
    MeasuredElapsed = Value;
    LastGap = 0;
    Elapsed = Value;
    SetMark1(Value);
    enabled_ = wasEnabled;
}

void TVelTimer::ClearMarks()
{
    SetMark1(0);
    SetMark2(0);
}

void TVelTimer::Tick()
{
    if (!enabled_ || !OnTimer || destroying())
        return;
    // A failing handler must not stop the timer: its error ends this tick only.
    platform::guardedCall(platform::Escaped::Stopped, "running the thread timer's tick", [this] {
        const std::uint32_t now = clock_->tickCount();
        const std::uint32_t gap = now - LastTick;
        LastGap = static_cast<std::int32_t>(gap);
        MeasuredElapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(MeasuredElapsed) + gap);
        LastTick = now;
        Elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(Elapsed) + GetInterval());
        OnTimer(this);
    });
}

} // namespace caltrix::devicebase
