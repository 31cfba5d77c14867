#pragma once

#include "antlib/FileDescriptor.h"
#include "antlib/ReaderThread.h"
#include "antproto/Transport.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>
#include <string>

#include <termios.h>

namespace caltrix::platform {
class Clock;
}

namespace caltrix::antlib {

// A stick behind a tty (the USB1 stick's serial chip, a stick bound to the kernel's serial driver,
// or a pseudo-terminal of `antsim`), in raw mode at a given baud rate. The tty is held exclusively
// while open, so that a second program is refused instead of taking half the bytes, and its
// settings from before are put back on close. A reader thread blocks in
// poll() and hands every chunk it reads to the listener; a hang-up or I/O error ends it and is
// reported to the listener on the main thread. Writes never block: they join a queue that the
// reader thread drains whenever the tty takes bytes.
class SerialTransport final : public antproto::Transport {
public:
    // A stick that stopped reading: once this much waits unsent, further writes are refused.
    static constexpr std::size_t MaxQueuedBytes = 16 * 1024;

    SerialTransport(platform::Clock& clock, std::string path, std::uint32_t baudRate);
    ~SerialTransport() override;

    bool open(antproto::TransportListener& listener, std::string& error) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    void close() override;

private:
    bool setUp(std::string& error);
    void releaseTty();
    std::string readLoop(antproto::TransportListener& listener);
    int drainQueue();
    void wakeReader();

    std::string path_;
    std::uint32_t baudRate_;
    FileDescriptor fd_;     // used by the reader thread only while it runs; opened and closed around it
    std::optional<termios> savedSettings_; // the tty's settings before open, put back by close
    bool exclusive_ = false;               // this transport made the tty exclusive
    FileDescriptor wakeFd_; // eventfd: written to wake the reader out of poll()
    std::mutex queueMutex_; // guards queue_: filled by the main thread, drained by the reader
    std::vector<std::uint8_t> queue_;
    std::atomic<bool> stopping_ { false }; // asks the reader to end
    ReaderThread reader_;   // last, so that it stops before the descriptors close
};

} // namespace caltrix::antlib
