#pragma once

#include "antproto/Transport.h"
#include "platform/Clock.h"

#include <functional>
#include <string>
#include <thread>

namespace caltrix::antlib {

// The reader thread of a transport, and its ending. The thread never waits for the main thread:
// what it hands over (its bytes through the listener, the loss it found) is posted, so that the
// main thread may stop it at any moment, even from inside a delivery of its own bytes, and the
// stop only wakes the loop and joins it.
class ReaderThread {
public:
    explicit ReaderThread(platform::Clock& clock);
    ~ReaderThread(); // stops a thread still running, so that none is left joinable
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    // Main thread: runs `loop` on a new thread. The loop returns why the stick was lost, or an
    // empty text when it was asked to stop; `wake` makes it return from any thread, promptly, and
    // the loop must not block on the main thread. A thread still running is stopped first.
    void start(antproto::TransportListener& listener, std::function<std::string()> loop,
               std::function<void()> wake);

    // Main thread: wakes the loop, then waits for the thread to end. A loss found meanwhile and
    // not yet reported is not reported. Does nothing when no thread runs.
    void stop();

    // Main thread: the loss was reported (the stick is gone).
    bool lost() const { return lost_; }

private:
    void reportLoss(const std::string& reason);

    platform::ClockRef clock_;
    antproto::TransportListener* listener_ = nullptr; // set before the thread starts, unchanged while it runs
    std::function<void()> wake_;                       // likewise
    bool lost_ = false;                                // main thread only
    std::thread thread_;
};

} // namespace caltrix::antlib
