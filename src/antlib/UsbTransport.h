#pragma once

#include "antlib/ReaderThread.h"
#include "antproto/Transport.h"

#include <array>
#include <atomic>
#include <mutex>
#include <vector>
#include <cstdint>
#include <memory>
#include <string>

struct libusb_context;
struct libusb_device_handle;
struct libusb_transfer;

namespace caltrix::platform {
class Clock;
}

namespace caltrix::antlib {

// A native USB ANT stick (vendor 0x0FCF, product 0x1008 or 0x1009) through libusb-1.0: the n-th
// such stick in bus/port order, its kernel driver detached, interface 0 claimed, bulk OUT 0x01 and
// bulk IN 0x81. Everything is asynchronous: one IN transfer stays submitted, each write submits an
// OUT transfer and returns at once, and a reader thread runs libusb's event handling, where the
// transfers complete. Closing cancels what is in flight and waits only for the cancellations, and
// for those at most CancelWaitMs: a transfer that never comes back does not keep the stick.
class UsbTransport final : public antproto::Transport {
public:
    static constexpr std::uint16_t VendorId = 0x0FCF;
    static constexpr std::uint16_t ProductUsb2 = 0x1008;
    static constexpr std::uint16_t ProductUsbM = 0x1009;
    static constexpr unsigned char EndpointOut = 0x01;
    static constexpr unsigned char EndpointIn = 0x81;
    // An OUT transfer the stick has not taken by then is given up (a stalled stick).
    static constexpr unsigned WriteTimeoutMs = 500;
    // A stick that stopped taking data: once this many writes are in flight, more are refused.
    static constexpr std::size_t MaxWritesInFlight = 64;
    // Cancelled transfers not back by then are given up: the stick is released without them.
    static constexpr unsigned CancelWaitMs = 1000;

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

    struct FreeTransfer {
        void operator()(libusb_transfer* transfer) const;
    };

    std::string eventLoop(antproto::TransportListener& listener);
    bool openStick(std::string& error);
    void submitRead(libusb_transfer* transfer);
    void noteLoss(std::string reason);
    bool windingDown();
    bool transfersInFlight();
    void cancelAll();
    void releaseStick();
    void finishWrite(libusb_transfer* transfer);
    void finishRead(libusb_transfer* transfer);

    std::uint8_t index_;
    std::unique_ptr<libusb_context, ExitContext> context_; // outlives the handle opened in it
    std::unique_ptr<libusb_device_handle, ReleaseAndClose> handle_; // transfers on it from both threads
    std::unique_ptr<libusb_transfer, FreeTransfer> in_; // submitted and completed on the reader thread
    std::array<unsigned char, 512> inBuffer_ {};
    antproto::TransportListener* listener_ = nullptr; // set before the reader starts
    std::atomic<bool> stop_ { false }; // asks the reader to end
    std::mutex mutex_; // guards the four fields below: writes come from the main thread, completions on the reader
    std::vector<libusb_transfer*> writes_; // OUT transfers in flight
    bool readPending_ = false;             // the IN transfer is submitted
    bool accepting_ = false;               // writes may be submitted (the reader is not winding down)
    std::string lostReason_;               // why the stick was lost, once it was
    std::string cancelFailure_; // the reader's first failed cancellation, for the main thread once it ended
    ReaderThread reader_;              // last, so that it stops before the handles close
};

} // namespace caltrix::antlib
