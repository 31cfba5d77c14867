#include "antsim/PtyStick.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace caltrix::antsim {

PtyStick::PtyStick(VirtualStick& stick)
    : stick_(stick)
{
}

PtyStick::~PtyStick()
{
    stick_.close();
    closeMaster();
}

bool PtyStick::start(std::string& error)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error = std::string("Cannot create a pseudo-terminal: ") + std::strerror(errno);
        closeMaster();
        return false;
    }
    path_ = ::ptsname(master_);
    // Holding the slave side ourselves keeps the terminal from hanging up between two hosts (a
    // master without any slave open reads as a hang-up, which would wake the event loop for ever).
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Raw from the start, so that nothing the host writes is echoed back before it sets its modes.
    termios tio {};
    if (slave_ >= 0 && ::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
    }
    if (!stick_.open(*this, error)) {
        closeMaster();
        return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readHost(); });
    return true;
}

void PtyStick::readHost()
{
    if (stick_.stalled()) {
        // A hung stick reads nothing: the host's bytes stay in the terminal until it is full.
        notifier_->setEnabled(false);
        return;
    }
    std::array<std::uint8_t, 512> buffer {};
    for (;;) {
        const auto n = ::read(master_, buffer.data(), buffer.size());
        if (n > 0) {
            stick_.write({ buffer.data(), static_cast<std::size_t>(n) });
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            notifier_->setEnabled(false); // cannot happen while we hold the slave side; never spin
        return;
    }
}

void PtyStick::bytesReceived(std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const auto n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return; // the host is not reading: the stick's answers are lost, as on a real line
        done += static_cast<std::size_t>(n);
    }
}

void PtyStick::transportLost(const std::string&) { closeMaster(); }

void PtyStick::unplug() { stick_.unplug(); }

void PtyStick::closeMaster()
{
    notifier_.reset();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = -1;
    slave_ = -1;
}

} // namespace caltrix::antsim
