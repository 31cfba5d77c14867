#include "antlib/ReaderThread.h"

#include "platform/Clock.h"

namespace caltrix::antlib {

using antproto::TransportListener;

ReaderThread::ReaderThread(platform::Clock& clock)
    : clock_(clock)
{
}

ReaderThread::~ReaderThread() { stop(); }

void ReaderThread::start(TransportListener& listener, std::function<std::string()> loop, std::function<void()> wake)
{
    stop();
    listener_ = &listener;
    wake_ = std::move(wake);
    ended_ = false;
    stopping_ = false;
    lost_ = false;
    thread_ = std::thread([this, loop = std::move(loop)] { finish(loop()); });
}

// The thread's last act, run on the main thread.
void ReaderThread::finish(const std::string& lostReason)
{
    clock_.runOnMainAndWait([this, &lostReason] {
        ended_ = true;
        if (!lostReason.empty() && !stopping_ && !lost_) {
            lost_ = true;
            listener_->transportLost(lostReason);
        }
    });
}

void ReaderThread::stop()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    wake_();
    clock_.waitRunningMainRequests([this] { return ended_; });
    thread_.join();
}

} // namespace caltrix::antlib
