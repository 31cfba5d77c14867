#pragma once

#include "antproto/Transport.h"
#include "antsim/VirtualStick.h"

#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace caltrix::antsim {

// The virtual stick behind a pseudo-terminal, so that a program opens it as a serial stick: the
// host's bytes arrive on the master side and go to the stick, the stick's answers are written
// back. Main thread (a Qt event loop watches the master side).
class PtyStick final : private antproto::TransportListener {
public:
    explicit PtyStick(VirtualStick& stick);
    ~PtyStick() override;

    // Creates the pseudo-terminal and plugs the stick in. False with `error` set on failure.
    bool start(std::string& error);
    // The path a serial transport opens, e.g. /dev/pts/3.
    const std::string& path() const { return path_; }
    // Pulls the stick out: the pseudo-terminal closes, so its user sees a hang-up.
    void unplug();
    bool running() const { return master_ >= 0; }

private:
    void bytesReceived(std::span<const std::uint8_t> bytes) override;
    void transportLost(const std::string& reason) override;
    void readHost();
    void closeMaster();

    VirtualStick& stick_;
    int master_ = -1;
    int slave_ = -1; // our own hold on the terminal
    std::string path_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace caltrix::antsim
