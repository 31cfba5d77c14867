#pragma once

#include "antlib/ReaderThread.h"
#include "antproto/Transport.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct libusb_context;
struct libusb_device_handle;

namespace caltrix::platform {
class Clock;
}

namespace caltrix::antlib {

// A native USB ANT stick (vendor 0x0FCF, product 0x1008 or 0x1009) through libusb-1.0: the n-th
// such stick in bus/port order, its kernel driver detached, interface 0 claimed, bulk OUT 0x01 and
// bulk IN 0x81. A reader thread waits in libusb for IN data (waking every ReadTimeoutMs to see
// whether it should stop); writes wait at most WriteTimeoutMs.
class UsbTransport final : public antproto::Transport {
public:
    static constexpr std::uint16_t VendorId = 0x0FCF;
    static constexpr std::uint16_t ProductUsb2 = 0x1008;
    static constexpr std::uint16_t ProductUsbM = 0x1009;
    static constexpr unsigned char EndpointOut = 0x01;
    static constexpr unsigned char EndpointIn = 0x81;
    static constexpr unsigned ReadTimeoutMs = 200;
    static constexpr unsigned WriteTimeoutMs = 500;

    UsbTransport(platform::Clock& clock, std::uint8_t index);
    ~UsbTransport() override;

    // Fails without a message when there is no n-th stick; with one line naming the fix when the
    // stick is there but cannot be opened or claimed.
    bool open(antproto::TransportListener& listener, std::string& error) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    void close() override;

private:
    // Owning handles: the context ends libusb, the device handle gives back interface 0 and closes.
    struct ExitContext {
        void operator()(libusb_context* context) const;
    };
    struct ReleaseAndClose {
        void operator()(libusb_device_handle* handle) const;
    };

    std::string readLoop(antproto::TransportListener& listener);
    bool openStick(std::string& error);

    std::uint8_t index_;
    std::unique_ptr<libusb_context, ExitContext> context_; // outlives the handle opened in it
    std::unique_ptr<libusb_device_handle, ReleaseAndClose> handle_; // transfers on it from both threads
    std::atomic<bool> stop_ { false }; // asks the reader to end
    ReaderThread reader_;              // last, so that it stops before the handles close
};

} // namespace caltrix::antlib
