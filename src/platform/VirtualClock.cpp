#include "platform/VirtualClock.h"

#include <algorithm>
#include <limits>

namespace caltrix::platform {

namespace {
constexpr std::uint64_t Never = std::numeric_limits<std::uint64_t>::max();
}

VirtualClock::VirtualClock(std::uint32_t startTick)
    : startTick_(startTick)
{
}

VirtualClock::~VirtualClock() = default;

std::uint32_t VirtualClock::tickCount() const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::uint32_t>(startTick_ + now_);
}

std::uint64_t VirtualClock::elapsed() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualClock::threadStarting()
{
    std::lock_guard lock(mutex_);
    ++running_;
}

void VirtualClock::signalled(WakeEvent& event)
{
    // Auto-reset: one sleeper on the event is released, and counted as running on its behalf
    // right now so that the main thread cannot move time before it has woken up.
    for (auto& s : sleepers_) {
        if (s.event == &event && !s.released) {
            s.released = true;
            ++running_;
            return;
        }
    }
}

bool VirtualClock::wait(WakeEvent& event, std::uint32_t ms)
{
    std::unique_lock lock(mutex_);
    if (event.signalled_) {
        event.signalled_ = false;
        return true;
    }
    const std::uint64_t deadline = ms == Infinite ? Never : now_ + ms;
    auto me = sleepers_.insert(sleepers_.end(), Sleeper { &event, deadline });
    --running_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return me->released; });
    sleepers_.erase(me);
    const bool set = event.signalled_;
    event.signalled_ = false;
    return set;
}

void VirtualClock::sleep(std::uint32_t ms)
{
    std::unique_lock lock(mutex_);
    const std::uint64_t deadline = now_ + ms;
    if (onMainThread()) {
        // A plain sleep of the main thread lets the workers run through the slept time; the main
        // thread's own work waits for the next message processing.
        while (now_ < deadline) {
            waitUntilWorkersRest(lock);
            moveTo(std::min(deadline, nextSleeperDeadline()), lock);
        }
        waitUntilWorkersRest(lock);
        return;
    }
    auto me = sleepers_.insert(sleepers_.end(), Sleeper { nullptr, deadline });
    --running_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return me->released; });
    sleepers_.erase(me);
}

void VirtualClock::waitForEvents(std::uint32_t ms)
{
    std::unique_lock lock(mutex_);
    waitUntilWorkersRest(lock);
    if (ms == 0 || hasMainRequestsLocked() || workDueLocked())
        return;
    const std::uint64_t until = now_ + ms;
    std::uint64_t next = nextSleeperDeadline();
    if (!work_.empty())
        next = std::min(next, work_.begin()->first);
    // Something due at this very moment (a worker's zero-length wait) still costs a millisecond,
    // so a loop of such waits cannot hold virtual time still for ever.
    next = std::clamp(next, now_ + 1, until);
    moveTo(next, lock);
    waitUntilWorkersRest(lock);
}

void VirtualClock::waitUntilWorkersRest(std::unique_lock<std::mutex>& lock)
{
    changed_.wait(lock, [this] { return running_ <= 0; });
}

void VirtualClock::moveTo(std::uint64_t when, std::unique_lock<std::mutex>&)
{
    now_ = std::max(now_, when);
    for (auto& s : sleepers_) {
        if (!s.released && s.deadline <= now_) {
            s.released = true;
            ++running_;
        }
    }
    changed_.notify_all();
}

std::uint64_t VirtualClock::nextSleeperDeadline() const
{
    std::uint64_t next = Never;
    for (const auto& s : sleepers_)
        if (!s.released)
            next = std::min(next, s.deadline);
    return next;
}

bool VirtualClock::workDueLocked() const { return !work_.empty() && work_.begin()->first <= now_; }

ScheduleId VirtualClock::callAfter(std::uint32_t ms, std::function<void()> work)
{
    std::lock_guard lock(mutex_);
    const ScheduleId id = nextId_++;
    work_.emplace(now_ + ms, Work { id, std::move(work) });
    return id;
}

void VirtualClock::cancel(ScheduleId id)
{
    std::lock_guard lock(mutex_);
    auto it = std::find_if(work_.begin(), work_.end(), [id](const auto& w) { return w.second.id == id; });
    if (it != work_.end())
        work_.erase(it);
}

void VirtualClock::runDueWork()
{
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(mutex_);
            if (!workDueLocked())
                return;
            fn = std::move(work_.begin()->second.fn);
            work_.erase(work_.begin());
        }
        fn();
    }
}

} // namespace caltrix::platform
