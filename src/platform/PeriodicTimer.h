#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <functional>

namespace caltrix::platform {

// A window-message timer: calls `onTimeout` on the main thread every `interval` milliseconds
// while enabled, during message processing, on the clock it was created with. A tick that comes
// due while the main thread is busy runs late; ticks never queue up. Main thread only.
class PeriodicTimer {
public:
    explicit PeriodicTimer(Clock& clock, std::uint32_t intervalMs = 1000, std::function<void()> onTimeout = {});
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    void setOnTimeout(std::function<void()> onTimeout) { onTimeout_ = std::move(onTimeout); }
    // Changing the interval of a running timer restarts the count.
    void setInterval(std::uint32_t ms);
    std::uint32_t interval() const { return interval_; }
    void setEnabled(bool enabled);
    bool enabled() const { return id_ != 0; }

private:
    void arm();
    void fire();

    ClockRef clock_;
    std::uint32_t interval_;
    std::function<void()> onTimeout_;
    ScheduleId id_ = 0;
};

} // namespace caltrix::platform
