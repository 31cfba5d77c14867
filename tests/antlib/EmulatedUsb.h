#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace caltrix::antlib::test {

// Re-runs the current process under umockdev's preload library unless it already runs under it
// (a sanitizer's runtime, when the build has one, stays first in LD_PRELOAD). Call before anything
// touches USB. Returns only when already preloaded.
void reexecUnderUmockdev();

class EmulatedAntStick;

// A USB bus that exists only for this process: umockdev's testbed with devices on ports of bus 1.
// libusb sees them like real ones (enumeration, descriptors, usbdevfs ioctls).
class EmulatedUsb {
public:
    EmulatedUsb();
    ~EmulatedUsb();
    EmulatedUsb(const EmulatedUsb&) = delete;
    EmulatedUsb& operator=(const EmulatedUsb&) = delete;

    // A device that no one answers for, e.g. another vendor's, on port `port` (1..).
    void addDevice(std::uint16_t vendor, std::uint16_t product, int port);
    // An ANT stick whose usbdevfs ioctls are answered by the returned emulation.
    EmulatedAntStick& addAntStick(std::uint16_t product, int port);

private:
    UMockdevTestbed* testbed_;
    std::vector<std::unique_ptr<EmulatedAntStick>> sticks_;
};

// The device side of one emulated ANT stick: bulk OUT 0x01 bytes go to the host-bytes handler, bytes given
// to `queueIn` come back on bulk IN 0x81. The ioctl handler runs on umockdev's worker thread and
// is the only one to touch the URBs; the rest of the state is shared under `mutex_`.
class EmulatedAntStick {
public:
    ~EmulatedAntStick();

    // `handler` is called on umockdev's worker thread with each OUT transfer; it must not block.
    // Any thread; an empty one drops the bytes.
    void setHostBytesHandler(std::function<void(std::vector<std::uint8_t>)> handler);

    // Device-to-host bytes, any thread. At most `maxTransfer` go in one IN transfer.
    void queueIn(std::span<const std::uint8_t> bytes);
    void setMaxTransfer(std::size_t bytes);
    // Claiming interface 0 fails with "busy", as when another program holds the stick.
    void setBusy(bool busy);
    // Pulled out: transfers in flight and every later one fail with "no device".
    void unplug();
    // Hung: OUT transfers are never taken (they stay in flight until the host cancels them) and
    // no IN data is sent.
    void stall();
    // Cancellations are taken but never carried out: a discarded transfer stays in flight for ever,
    // as with a driver that never gives it back.
    void holdCancelledTransfers();

    bool claimed() const;
    unsigned discards() const;
    std::size_t pendingReads() const; // IN transfers submitted and not yet answered
    std::vector<std::uint8_t> written() const;

private:
    friend class EmulatedUsb;
    struct Handler;
    EmulatedAntStick(UMockdevTestbed* testbed, const std::string& devnode);

    std::unique_ptr<Handler> handler_;
};

} // namespace caltrix::antlib::test
