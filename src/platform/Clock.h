#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class QSocketNotifier;

namespace caltrix::platform {

class Clock;

// An auto-reset event for the timed waits of worker threads. It belongs to one clock, so that a
// virtual clock knows which sleeping threads a signal wakes. Its state lives under the clock's lock.
class WakeEvent {
public:
    explicit WakeEvent(Clock& clock);
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // Signals the event: the next (or the current) wait on it ends at once, reporting the signal.
    // Any thread.
    void set();

private:
    friend class Clock;
    friend class RealClock;
    friend class VirtualClock;
    Clock& clock_;
    bool signalled_ = false; // guarded by the clock's lock
    int waiters_ = 0;        // guarded by the clock's lock
};

// Identifier of work scheduled with Clock::callAfter; 0 is never used.
using ScheduleId = std::uint64_t;

// The time source and the waiting primitives of the whole program, in one replaceable seam:
// the 32-bit wrapping millisecond tick counter, a plain sleep, timed waits of worker threads,
// work scheduled on the main thread, and running a function on the main thread from a worker.
//
// The real clock follows the machine's monotonic clock. The virtual clock (tests) only moves when
// the main thread waits on it, after every thread it knows of has come to rest, so that waits of
// many virtual seconds run in milliseconds and always in the same order.
class Clock {
public:
    static constexpr std::uint32_t Infinite = 0xFFFFFFFFu;

    Clock();
    virtual ~Clock();
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    // Milliseconds since an arbitrary origin, wrapping at 2^32. Any thread.
    virtual std::uint32_t tickCount() const = 0;

    // Blocks the calling thread for `ms` milliseconds without processing anything. Any thread.
    virtual void sleep(std::uint32_t ms) = 0;

    // Worker threads: waits until `event` is signalled (true, and the event is reset) or `ms`
    // milliseconds have passed (false). `Infinite` waits for the signal only.
    virtual bool wait(WakeEvent& event, std::uint32_t ms) = 0;

    // Main thread: blocks until there may be something to process (a request, a window event,
    // scheduled work that fell due) or at most `ms` milliseconds have passed. Never spins.
    virtual void waitForEvents(std::uint32_t ms) = 0;

    // Main thread: runs `work` once on the main thread, during message processing, when at least
    // `ms` milliseconds have passed. `cancel` before then drops it.
    virtual ScheduleId callAfter(std::uint32_t ms, std::function<void()> work) = 0;
    virtual void cancel(ScheduleId id) = 0;

    // Main thread: runs the scheduled work that is due. The real clock's work runs from the Qt
    // event loop instead, so there this does nothing.
    virtual void runDueWork() { }

    // A worker thread that uses this clock is announced before it starts running (by the thread
    // that starts it) and says goodbye as its very last action, setting `ended` under the clock's
    // lock so that `waitRunningMainRequests` can wait for it. The virtual clock waits for such
    // threads to come to rest before it moves time.
    virtual void threadStarting() { }
    void threadFinished(bool& ended);

    // From a worker: runs `fn` on the main thread and blocks until it has run; an error thrown by
    // `fn` is reported as an unhandled error. From the main thread: runs `fn` at once.
    void runOnMainAndWait(const std::function<void()>& fn);

    // Any thread: queues `fn` to run on the main thread during message processing and returns at
    // once, so that the caller never waits for the main thread. `owner` tags the work for
    // `dropPosted`. An error thrown by `fn` is reported as an unhandled error.
    void postToMain(const void* owner, std::function<void()> fn);

    // Main thread: forgets the posted work of `owner` that has not started yet; none of it runs.
    void dropPosted(const void* owner);

    // Main thread: runs the functions that workers are waiting on and the posted work. Returns
    // whether any ran.
    bool runMainRequests();

    // Main thread: keeps running main-thread requests until `done` reports true. Used when the
    // main thread waits for a worker to end, which may itself be waiting for the main thread.
    // `done` is evaluated under the clock's lock; make it read state that is set before
    // `threadFinished` or `notify` is called.
    void waitRunningMainRequests(const std::function<bool()>& done);

    // Wakes every waiter of this clock so that it re-checks its condition. Any thread.
    void notify();

    // The thread the clock was created on (the main thread).
    bool onMainThread() const { return std::this_thread::get_id() == mainThread_; }

protected:
    friend class WakeEvent;
    friend class ClockRef;
    // Called with the lock held, when `event` gets a signal.
    virtual void signalled(WakeEvent& event);
    // Blocking bookkeeping of worker threads for the virtual clock; lock held.
    virtual void workerBlocked() { }
    virtual void workerReleased() { }
    virtual void workerExited() { }

    bool hasMainRequestsLocked() const { return !requests_.empty(); }

    mutable std::mutex mutex_;       // guards every field below and the state of the clock's events
    std::condition_variable changed_; // any change of that state

private:
    struct Request {
        std::function<void()> fn;
        const void* owner = nullptr; // posted work: its tag; waited-for requests: null
        bool done = false;           // waited-for requests: set once `fn` ran
    };
    void queueRequest(const std::shared_ptr<Request>& request);
    void wakeMainLoop();

    std::thread::id mainThread_;
    std::atomic<int> keepers_ { 0 }; // ClockRefs alive: objects that keep this clock
    std::deque<std::shared_ptr<Request>> requests_;
    int eventFd_ = -1;                         // written by workers to wake the Qt event loop
    std::unique_ptr<QSocketNotifier> notifier_; // main thread only
};

// How an object keeps the clock it was made on: a clock destroyed while any such object still
// exists (a test's clock going out of scope before the timer or ANT library made on it) ends the
// program with a sentence saying so, instead of leaving the object with a dangling clock.
class ClockRef {
public:
    explicit ClockRef(Clock& clock);
    ~ClockRef();
    ClockRef(const ClockRef&) = delete;
    ClockRef& operator=(const ClockRef&) = delete;

    Clock* operator->() const { return &clock_; }
    Clock& operator*() const { return clock_; }

private:
    Clock& clock_;
};

// The clock of the running program: the machine's monotonic clock, in milliseconds.
class RealClock final : public Clock {
public:
    RealClock();
    ~RealClock() override;

    std::uint32_t tickCount() const override;
    void sleep(std::uint32_t ms) override;
    bool wait(WakeEvent& event, std::uint32_t ms) override;
    void waitForEvents(std::uint32_t ms) override;
    ScheduleId callAfter(std::uint32_t ms, std::function<void()> work) override;
    void cancel(ScheduleId id) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace caltrix::platform
