#include "platform/Clock.h"

#include "platform/Desktop.h"
#include "platform/GuardedCall.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include <sys/eventfd.h>
#include <unistd.h>

namespace caltrix::platform {

WakeEvent::WakeEvent(Clock& clock)
    : clock_(clock)
{
}

void WakeEvent::set()
{
    {
        std::lock_guard lock(clock_.mutex_);
        if (!signalled_) {
            signalled_ = true;
            clock_.signalled(*this);
        }
    }
    clock_.changed_.notify_all();
}

Clock::Clock()
    : mainThread_(std::this_thread::get_id())
    , eventFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    // Workers wake the Qt event loop through an eventfd rather than by posting Qt events: a
    // write() shares no memory with the main thread, and the queue itself stays under mutex_.
    if (eventFd_ >= 0 && QCoreApplication::instance()) {
        notifier_ = std::make_unique<QSocketNotifier>(eventFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            std::uint64_t count = 0;
            [[maybe_unused]] auto n = ::read(eventFd_, &count, sizeof count);
            runMainRequests();
        });
    }
}

Clock::~Clock()
{
    if (keepers_ != 0) {
        std::fprintf(stderr,
                     "Caltrix: internal error: a clock was destroyed while %d objects made on it (timers, an ANT "
                     "library, a simulated world) still exist; destroy them before their clock.\n",
                     keepers_.load());
        std::abort();
    }
    notifier_.reset();
    if (eventFd_ >= 0)
        ::close(eventFd_);
}

void Clock::signalled(WakeEvent&) { }

ClockRef::ClockRef(Clock& clock)
    : clock_(clock)
{
    ++clock_.keepers_;
}

ClockRef::~ClockRef() { --clock_.keepers_; }

void Clock::wakeMainLoop()
{
    if (eventFd_ < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(eventFd_, &one, sizeof one);
}

void Clock::notify() { changed_.notify_all(); }

void Clock::threadFinished(bool& ended)
{
    // Notified under the lock: once the main thread sees `ended` it may destroy the clock, so the
    // worker must not touch the condition variable after letting go of the lock.
    std::lock_guard lock(mutex_);
    ended = true;
    workerExited();
    changed_.notify_all();
}

void Clock::queueRequest(const std::shared_ptr<Request>& request)
{
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (request->owner == nullptr)
            workerBlocked();
    }
    changed_.notify_all();
    wakeMainLoop();
}

void Clock::runOnMainAndWait(const std::function<void()>& fn)
{
    if (onMainThread()) {
        fn();
        return;
    }
    // The request owns a copy of `fn`: the main thread may still be inside it after the worker
    // was released and went on.
    const auto request = std::make_shared<Request>(Request { fn });
    queueRequest(request);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return request->done; });
}

void Clock::postToMain(const void* owner, std::function<void()> fn)
{
    queueRequest(std::make_shared<Request>(Request { std::move(fn), owner != nullptr ? owner : this }));
}

void Clock::dropPosted(const void* owner)
{
    std::lock_guard lock(mutex_);
    std::erase_if(requests_, [owner](const auto& r) { return r->owner != nullptr && r->owner == owner; });
}

bool Clock::runMainRequests()
{
    bool ran = false;
    for (;;) {
        std::shared_ptr<Request> request;
        {
            std::lock_guard lock(mutex_);
            if (requests_.empty())
                break;
            request = std::move(requests_.front());
            requests_.pop_front();
        }
        // Nobody up the stack can catch an error of posted work: it is shown like any error that
        // no handler caught.
        guardedCall(Escaped::Shown, "handling a message from a worker thread", request->fn);
        if (request->owner == nullptr) {
            {
                std::lock_guard lock(mutex_);
                request->done = true;
                workerReleased();
            }
            changed_.notify_all();
        }
        ran = true;
    }
    return ran;
}

void Clock::waitRunningMainRequests(const std::function<bool()>& done)
{
    for (;;) {
        runMainRequests();
        std::unique_lock lock(mutex_);
        if (done())
            return;
        if (requests_.empty())
            changed_.wait(lock);
    }
}

// ---------------------------------------------------------------------------------------------

struct RealClock::Impl {
    QObject context; // owns the single-shot timers of callAfter
    std::map<ScheduleId, QObject*> scheduled;
    ScheduleId nextId = 1;
};

RealClock::RealClock()
    : impl_(std::make_unique<Impl>())
{
}

RealClock::~RealClock() = default;

std::uint32_t RealClock::tickCount() const
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void RealClock::sleep(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool RealClock::wait(WakeEvent& event, std::uint32_t ms)
{
    std::unique_lock lock(mutex_);
    auto isSet = [&] { return event.signalled_; };
    bool set = ms == Infinite ? (changed_.wait(lock, isSet), true)
                              : changed_.wait_for(lock, std::chrono::milliseconds(ms), isSet);
    event.signalled_ = false;
    return set;
}

void RealClock::waitForEvents(std::uint32_t ms)
{
    if (!QCoreApplication::instance()) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return hasMainRequestsLocked(); });
        return;
    }
    if (ms == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // A single-shot timer bounds the blocking wait: the event loop sleeps in the kernel until an
    // event, a worker's request or this deadline arrives.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(static_cast<int>(std::min<std::uint32_t>(ms, 0x7FFFFFFF)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

ScheduleId RealClock::callAfter(std::uint32_t ms, std::function<void()> work)
{
    const ScheduleId id = impl_->nextId++;
    auto* timer = new QTimer(&impl_->context);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [this, id, timer, work = std::move(work)] {
        impl_->scheduled.erase(id);
        timer->deleteLater();
        work();
    });
    impl_->scheduled[id] = timer;
    timer->start(static_cast<int>(std::min<std::uint32_t>(ms, 0x7FFFFFFF)));
    return id;
}

void RealClock::cancel(ScheduleId id)
{
    auto it = impl_->scheduled.find(id);
    if (it == impl_->scheduled.end())
        return;
    delete it->second;
    impl_->scheduled.erase(it);
}

} // namespace caltrix::platform
