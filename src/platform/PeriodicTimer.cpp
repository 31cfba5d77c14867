#include "platform/PeriodicTimer.h"

#include "platform/GuardedCall.h"

namespace caltrix::platform {

PeriodicTimer::PeriodicTimer(Clock& clock, std::uint32_t intervalMs, std::function<void()> onTimeout)
    : clock_(clock)
    , interval_(intervalMs)
    , onTimeout_(std::move(onTimeout))
{
}

PeriodicTimer::~PeriodicTimer() { setEnabled(false); }

void PeriodicTimer::setInterval(std::uint32_t ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    if (enabled()) {
        setEnabled(false);
        setEnabled(true);
    }
}

void PeriodicTimer::setEnabled(bool enabled)
{
    if (enabled == this->enabled())
        return;
    if (enabled) {
        arm();
    } else {
        clock_->cancel(id_);
        id_ = 0;
    }
}

void PeriodicTimer::arm()
{
    // A zero interval would run the handler back to back without ever letting time pass.
    id_ = clock_->callAfter(interval_ == 0 ? 1 : interval_, [this] { fire(); });
}

void PeriodicTimer::fire()
{
    arm(); // re-armed first, so the handler may stop or restart the timer
    if (onTimeout_)
        guardedCall(Escaped::Shown, "running a timer", onTimeout_);
}

} // namespace caltrix::platform
