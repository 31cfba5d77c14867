#pragma once

#include "platform/Clock.h"

#include <list>
#include <map>

namespace caltrix::platform {

// A clock for tests: time stands still until the main thread waits on it, then jumps straight to
// the next moment something is due (a worker's timed wait, scheduled work, or the end of the wait).
// Before every jump it waits until each worker thread announced with `threadStarting` is blocked
// in one of the clock's primitives, so the order of events never depends on machine speed.
//
// Rules of use: a worker announced to this clock must block only in the clock's primitives
// (`wait`, `sleep`, `runOnMainAndWait`) or the main thread waits for it forever; and only announced
// threads may use those primitives (a device's reader thread belongs on the real clock), since the
// clock counts every thread that blocks in them as one of its own.
class VirtualClock final : public Clock {
public:
    // `startTick` is the tick count at creation, so tests can start just before a wrap.
    explicit VirtualClock(std::uint32_t startTick = 0);
    ~VirtualClock() override;

    std::uint32_t tickCount() const override;
    void sleep(std::uint32_t ms) override;
    bool wait(WakeEvent& event, std::uint32_t ms) override;
    void waitForEvents(std::uint32_t ms) override;
    ScheduleId callAfter(std::uint32_t ms, std::function<void()> work) override;
    void cancel(ScheduleId id) override;
    void runDueWork() override;
    void threadStarting() override;

    // Milliseconds of virtual time since the clock was created (does not wrap).
    std::uint64_t elapsed() const;

protected:
    void signalled(WakeEvent& event) override;
    void workerBlocked() override { --running_; }
    void workerReleased() override { ++running_; }
    void workerExited() override { --running_; }

private:
    struct Sleeper {
        WakeEvent* event; // null for a plain sleep
        std::uint64_t deadline;
        bool released = false;
    };
    struct Work {
        ScheduleId id;
        std::function<void()> fn;
    };

    void waitUntilWorkersRest(std::unique_lock<std::mutex>& lock);
    void moveTo(std::uint64_t when, std::unique_lock<std::mutex>& lock);
    std::uint64_t nextSleeperDeadline() const;
    bool workDueLocked() const;

    const std::uint32_t startTick_;
    std::uint64_t now_ = 0;      // guarded by mutex_
    int running_ = 0;            // announced workers not blocked in a clock primitive; mutex_
    std::list<Sleeper> sleepers_; // workers in a timed wait or sleep; mutex_
    std::multimap<std::uint64_t, Work> work_; // main-thread work by due time; mutex_
    ScheduleId nextId_ = 1;       // main thread only
};

} // namespace caltrix::platform
