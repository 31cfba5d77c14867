#pragma once

#include "antlib/FileDescriptor.h"
#include "antlib/ReaderThread.h"
#include "antproto/Transport.h"

#include <cstdint>
#include <string>

namespace caltrix::platform {
class Clock;
}

namespace caltrix::antlib {

// A stick behind a tty (the USB1 stick's serial chip, a stick bound to the kernel's serial driver,
// or a pseudo-terminal of `antsim`), in raw mode at a given baud rate. A reader thread blocks in
// poll() and hands every chunk it reads to the listener; a hang-up or I/O error ends it and is
// reported to the listener on the main thread.
class SerialTransport final : public antproto::Transport {
public:
    static constexpr int WriteTimeoutMs = 500;

    SerialTransport(platform::Clock& clock, std::string path, std::uint32_t baudRate);
    ~SerialTransport() override;

    bool open(antproto::TransportListener& listener, std::string& error) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    void close() override;

private:
    std::string readLoop(antproto::TransportListener& listener);

    std::string path_;
    std::uint32_t baudRate_;
    FileDescriptor fd_;     // read by the reader thread only while it runs; opened and closed around it
    FileDescriptor stopFd_; // eventfd: written to wake the reader out of poll()
    ReaderThread reader_;   // last, so that it stops before the descriptors close
};

} // namespace caltrix::antlib
