#include "antlib/SerialTransport.h"

#include "platform/Clock.h"

#include <array>
#include <optional>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace caltrix::antlib {

using antproto::TransportListener;

namespace {
std::optional<speed_t> termiosSpeed(std::uint32_t baud)
{
    switch (baud) {
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return std::nullopt;
    }
}

std::string errorText(int error) { return std::strerror(error); }
} // namespace

SerialTransport::SerialTransport(platform::Clock& clock, std::string path, std::uint32_t baudRate)
    : path_(std::move(path))
    , baudRate_(baudRate)
    , reader_(clock)
{
}

SerialTransport::~SerialTransport() { close(); }

bool SerialTransport::open(TransportListener& listener, std::string& error)
{
    close();
    if (!setUp(error)) {
        releaseTty();
        wakeFd_.reset();
        return false;
    }
    queue_.clear();
    stopping_ = false;
    reader_.start(listener, [this, &listener] { return readLoop(listener); }, [this] {
        stopping_ = true;
        wakeReader();
    });
    return true;
}

// Opens the tty exclusively, in raw mode at the baud rate, and makes the reader's wake-up event.
// Each failure keeps errno at once: building the message may change it.
bool SerialTransport::setUp(std::string& error)
{
    const auto speed = termiosSpeed(baudRate_);
    if (!speed) {
        error = "The serial ANT stick " + path_ + " cannot run at " + std::to_string(baudRate_)
            + " baud; name a standard rate such as 115200 in CALTRIX_ANT (serial:" + path_ + "@115200).";
        return false;
    }
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int openError = errno;
    fd_.reset(fd);
    if (!fd_.valid()) {
        if (openError == EBUSY)
            error = "The serial ANT stick " + path_
                + " is in use by another program: close that program and try again.";
        else
            error = "Cannot open the serial ANT stick " + path_ + ": " + errorText(openError)
                + (openError == EACCES
                       ? " (add yourself to the dialout group or install the udev rule, then log in again)."
                       : ".");
        return false;
    }
    termios tio {};
    if (::tcgetattr(fd_.get(), &tio) != 0) {
        const int e = errno;
        error = "The serial ANT stick " + path_ + " is not a terminal device: " + errorText(e) + ".";
        return false;
    }
    savedSettings_ = tio;
    // A second open of an exclusive tty fails with EBUSY (except for the superuser).
    if (::ioctl(fd_.get(), TIOCEXCL) != 0) {
        const int e = errno;
        error = "Cannot reserve the serial ANT stick " + path_ + " for Caltrix: " + errorText(e)
            + " (check that it is an ANT stick).";
        return false;
    }
    exclusive_ = true;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, *speed);
    ::cfsetospeed(&tio, *speed);
    if (::tcsetattr(fd_.get(), TCSANOW, &tio) != 0) {
        const int e = errno;
        error = "Cannot set up the serial ANT stick " + path_ + " for " + std::to_string(baudRate_)
            + " baud in raw mode: " + errorText(e) + " (check that it is an ANT stick and that no other program "
              "uses it).";
        return false;
    }
    ::tcflush(fd_.get(), TCIOFLUSH);
    wakeFd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wakeFd_.valid()) {
        const int e = errno;
        error = "Cannot watch the serial ANT stick " + path_ + ": " + errorText(e)
            + " (the system is out of file descriptors; close some programs).";
        return false;
    }
    return true;
}

// Main thread, with the reader stopped: puts the tty's settings back, lets other programs open it
// again and closes it. A tty that hung up takes neither; that is no error, it is going away.
void SerialTransport::releaseTty()
{
    if (fd_.valid() && savedSettings_)
        ::tcsetattr(fd_.get(), TCSANOW, &*savedSettings_);
    if (fd_.valid() && exclusive_)
        ::ioctl(fd_.get(), TIOCNXCL);
    savedSettings_.reset();
    exclusive_ = false;
    fd_.reset();
}

void SerialTransport::wakeReader()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_.get(), &one, sizeof one);
}

// Main thread: queues the bytes for the reader thread, which writes them as the tty takes them.
bool SerialTransport::write(std::span<const std::uint8_t> bytes)
{
    if (!fd_.valid() || reader_.lost())
        return false;
    {
        std::lock_guard lock(queueMutex_);
        if (queue_.size() + bytes.size() > MaxQueuedBytes)
            return false;
        queue_.insert(queue_.end(), bytes.begin(), bytes.end());
    }
    wakeReader();
    return true;
}

// Reader thread: writes what the tty takes now, without blocking. Returns 0, or the errno of a
// failed write, taken before the lock is let go.
int SerialTransport::drainQueue()
{
    std::lock_guard lock(queueMutex_);
    while (!queue_.empty()) {
        const auto n = ::write(fd_.get(), queue_.data(), queue_.size());
        if (n > 0) {
            queue_.erase(queue_.begin(), queue_.begin() + n);
            continue;
        }
        const int e = n < 0 ? errno : EIO; // a tty that takes nothing without saying why
        return e == EAGAIN || e == EINTR ? 0 : e;
    }
    return 0;
}

// The reader thread: poll() on the tty (for reading, and for writing while bytes wait) and on the
// wake-up event; bytes go to the listener on this thread (it posts messages to the main thread
// itself). Returns why the stick was lost, or "" when asked to stop.
std::string SerialTransport::readLoop(TransportListener& listener)
{
    std::array<std::uint8_t, 256> buffer {};
    for (;;) {
        bool waiting = false;
        {
            std::lock_guard lock(queueMutex_);
            waiting = !queue_.empty();
        }
        const short events = static_cast<short>(POLLIN | (waiting ? POLLOUT : 0));
        std::array<pollfd, 2> p { pollfd { fd_.get(), events, 0 }, pollfd { wakeFd_.get(), POLLIN, 0 } };
        if (::poll(p.data(), p.size(), -1) < 0) {
            const int e = errno;
            if (e == EINTR)
                continue;
            return "poll failed: " + errorText(e);
        }
        if (p[1].revents != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto n = ::read(wakeFd_.get(), &count, sizeof count);
            if (stopping_)
                return {};
        }
        if ((p[0].revents & POLLOUT) != 0) {
            if (const int e = drainQueue(); e != 0)
                return path_ + ": " + errorText(e);
        }
        if ((p[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        const auto n = ::read(fd_.get(), buffer.data(), buffer.size());
        if (n > 0) {
            listener.bytesReceived({ buffer.data(), static_cast<std::size_t>(n) });
            continue;
        }
        if (n == 0)
            return path_ + " was closed";
        const int e = errno;
        if (e == EAGAIN || e == EINTR)
            continue;
        return path_ + ": " + errorText(e);
    }
}

void SerialTransport::close()
{
    reader_.stop();
    releaseTty();
    wakeFd_.reset();
}

} // namespace caltrix::antlib
