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
    lost_ = false;
    thread_ = std::thread([this, loop = std::move(loop)] {
        const std::string reason = loop();
        // The thread's last act: the report is posted, and dropped by a stop that comes first.
        if (!reason.empty())
            clock_->postToMain(this, [this, reason] { reportLoss(reason); });
    });
}

void ReaderThread::reportLoss(const std::string& reason)
{
    if (lost_)
        return;
    lost_ = true;
    listener_->transportLost(reason);
}

void ReaderThread::stop()
{
    if (!thread_.joinable())
        return;
    wake_();
    thread_.join();
    clock_->dropPosted(this);
}

} // namespace caltrix::antlib
