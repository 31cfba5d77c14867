#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace caltrix::platform {

namespace {

constexpr std::array WatchedSignals { SIGTERM, SIGINT, SIGHUP };

// The pipe's write end for the handler; -1 while no object watches. A lock-free atomic, so that
// the handler may read it.
std::atomic<int> signalWriteEnd { -1 };
static_assert(std::atomic<int>::is_always_lock_free);

std::array<struct sigaction, WatchedSignals.size()> previousActions {};

// Async-signal-safe only: one write of one byte, errno kept for the code it interrupted. A full
// pipe loses the byte, which is harmless: the bytes already there wake the reader.
extern "C" void writeSignalNumber(int signal)
{
    const int savedErrno = errno;
    const int fd = signalWriteEnd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const auto number = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void(int signal)> onSignal)
    : onSignal_(std::move(onSignal))
{
    int ends[2];
    if (signalWriteEnd.load() >= 0 || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readEnd_ = ends[0];
    signalWriteEnd.store(ends[1]);
    struct sigaction action {};
    action.sa_handler = writeSignalNumber;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on, so that no code of the program sees EINTR because of us.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < WatchedSignals.size(); ++i) {
        if (::sigaction(WatchedSignals[i], &action, &previousActions[i]) != 0) {
            restoreHandlers();
            return;
        }
    }
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readSignals(); });
}

TerminationSignals::~TerminationSignals()
{
    delete notifier_;
    restoreHandlers();
}

void TerminationSignals::restoreHandlers()
{
    if (readEnd_ < 0)
        return;
    for (std::size_t i = 0; i < WatchedSignals.size(); ++i)
        ::sigaction(WatchedSignals[i], &previousActions[i], nullptr);
    ::close(signalWriteEnd.exchange(-1));
    ::close(readEnd_);
    readEnd_ = -1;
}

void TerminationSignals::readSignals()
{
    // Everything waiting is read before the call, which may process events and so come back here.
    std::array<unsigned char, 16> numbers {};
    ssize_t count = 0;
    std::array<bool, 256> seen {};
    while ((count = ::read(readEnd_, numbers.data(), numbers.size())) > 0)
        for (ssize_t i = 0; i < count; ++i)
            seen[numbers[static_cast<std::size_t>(i)]] = true;
    for (const int signal : WatchedSignals)
        if (seen[static_cast<std::size_t>(signal)] && onSignal_)
            onSignal_(signal);
}

} // namespace caltrix::platform
