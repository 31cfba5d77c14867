#pragma once

#include "antproto/Transport.h"

#include <functional>
#include <string>
#include <thread>

namespace caltrix::platform {
class Clock;
}

namespace caltrix::antlib {

// The reader thread of a transport, and its ending: a loss it found goes to the listener on the
// main thread, once; a stop asked by the main thread waits for the thread while running the
// main-thread requests, so that a reader blocked handing messages over never deadlocks it.
class ReaderThread {
public:
    explicit ReaderThread(platform::Clock& clock);
    ~ReaderThread(); // stops a thread still running, so that none is left joinable
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    // Main thread: runs `loop` on a new thread. The loop returns why the stick was lost, or an
    // empty text when it was asked to stop; `wake` makes it return from any thread. A thread
    // still running is stopped first.
    void start(antproto::TransportListener& listener, std::function<std::string()> loop,
               std::function<void()> wake);

    // Main thread: wakes the loop, then waits for the thread to end. A loss found meanwhile is not
    // reported. Does nothing when no thread runs.
    void stop();

    // Main thread: the loss was reported (the stick is gone).
    bool lost() const { return lost_; }

private:
    void finish(const std::string& lostReason);

    platform::Clock& clock_;
    antproto::TransportListener* listener_ = nullptr; // set before the thread starts, unchanged while it runs
    std::function<void()> wake_;                       // likewise
    bool ended_ = false;   // main thread only (set by the thread's last main-thread request)
    bool stopping_ = false; // main thread only
    bool lost_ = false;     // main thread only
    std::thread thread_;
};

} // namespace caltrix::antlib
