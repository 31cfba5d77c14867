#include "antlib/UsbTransport.h"

#include "platform/Clock.h"

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace caltrix::antlib {

using antproto::TransportListener;

namespace {
struct Candidate {
    libusb_device* device;
    std::uint8_t bus;
    std::array<std::uint8_t, 8> ports;
    int portCount;
};

bool isAntStick(const libusb_device_descriptor& d)
{
    return d.idVendor == UsbTransport::VendorId
        && (d.idProduct == UsbTransport::ProductUsb2 || d.idProduct == UsbTransport::ProductUsbM);
}

std::string where(const Candidate& c)
{
    return "bus " + std::to_string(c.bus) + " device " + std::to_string(libusb_get_device_address(c.device));
}

// A transfer goes from the thread that fills it to the reader that completes it through libusb,
// whose own locks the thread checker cannot see (libusb is not instrumented). The filling thread
// lets go of this lock after filling and every completion takes it before reading the transfer,
// so the hand-over is visible. Never contended for long: nothing is done while holding it.
std::mutex handOver;

void published() { std::lock_guard lock(handOver); }

std::string openFailure(const Candidate& c, int error)
{
    const std::string stick = "The ANT USB stick on " + where(c);
    if (error == LIBUSB_ERROR_ACCESS)
        return stick + " may not be opened by this user: install the Caltrix package, or copy its udev rules "
                       "(60-caltrix-ant.rules and 61-caltrix-ant-uaccess.rules) into /etc/udev/rules.d/; then plug "
                       "the stick in again.";
    if (error == LIBUSB_ERROR_BUSY)
        return stick + " is in use by another program (another ANT application or a serial driver): "
                       "close that program and try again.";
    return stick + " cannot be opened: " + libusb_strerror(static_cast<libusb_error>(error)) + " ("
        + libusb_error_name(error) + ").";
}

// The name of a libusb error or transfer status, as libusb's own messages give it.
std::string named(const std::string& what, int code) { return what + ": " + libusb_error_name(code); }
} // namespace

void UsbTransport::ExitContext::operator()(libusb_context* context) const { libusb_exit(context); }

void UsbTransport::ReleaseAndClose::operator()(libusb_device_handle* handle) const
{
    libusb_release_interface(handle, 0); // a harmless error when it was never claimed
    libusb_close(handle);
}

void UsbTransport::FreeTransfer::operator()(libusb_transfer* transfer) const { libusb_free_transfer(transfer); }

UsbTransport::UsbTransport(platform::Clock& clock, std::uint8_t index)
    : index_(index)
    , reader_(clock)
{
}

UsbTransport::~UsbTransport() { close(); }

bool UsbTransport::open(TransportListener& listener, std::string& error)
{
    close();
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0)
        return false; // no USB at all: no stick to find
    context_.reset(context);
    if (!openStick(error)) {
        context_.reset();
        return false;
    }
    in_.reset(libusb_alloc_transfer(0));
    if (!in_) {
        error = "The ANT USB stick cannot be read: the system is out of memory; close some programs.";
        close();
        return false;
    }
    libusb_fill_bulk_transfer(in_.get(), handle_.get(), EndpointIn, inBuffer_.data(), static_cast<int>(inBuffer_.size()),
        [](libusb_transfer* t) {
            published();
            static_cast<UsbTransport*>(t->user_data)->finishRead(t);
        },
        this, 0);
    listener_ = &listener;
    stop_ = false;
    lostReason_.clear();
    accepting_ = true;
    readPending_ = false;
    reader_.start(listener, [this, &listener] { return eventLoop(listener); }, [this] {
        stop_ = true;
        libusb_interrupt_event_handler(context_.get());
    });
    return true;
}

// Opens the index_-th stick in bus/port order, its kernel driver detached and interface 0 claimed.
bool UsbTransport::openStick(std::string& error)
{
    libusb_device** list = nullptr;
    const auto count = libusb_get_device_list(context_.get(), &list);
    const std::unique_ptr<libusb_device*, void (*)(libusb_device**)> ownedList(
        list, [](libusb_device** l) { libusb_free_device_list(l, 1); });
    std::vector<Candidate> sticks;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor {};
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0 || !isAntStick(descriptor))
            continue;
        Candidate c { list[i], libusb_get_bus_number(list[i]), {}, 0 };
        c.portCount = std::max(0, libusb_get_port_numbers(list[i], c.ports.data(), static_cast<int>(c.ports.size())));
        sticks.push_back(c);
    }
    std::ranges::sort(sticks, [](const Candidate& a, const Candidate& b) {
        return std::tie(a.bus, a.ports, a.portCount) < std::tie(b.bus, b.ports, b.portCount);
    });
    if (index_ >= sticks.size())
        return false;
    const Candidate& stick = sticks[index_];
    libusb_device_handle* handle = nullptr;
    int result = libusb_open(stick.device, &handle);
    if (result == 0) {
        handle_.reset(handle);
        libusb_set_auto_detach_kernel_driver(handle, 1);
        result = libusb_claim_interface(handle, 0);
        if (result != 0)
            handle_.reset();
    }
    if (result != 0)
        error = openFailure(stick, result);
    return result == 0;
}

// Main thread: submits one OUT transfer and returns; the reader thread sees it complete.
bool UsbTransport::write(std::span<const std::uint8_t> bytes)
{
    if (!handle_ || reader_.lost())
        return false;
    auto* buffer = static_cast<unsigned char*>(std::malloc(bytes.size())); // freed with the transfer
    libusb_transfer* transfer = libusb_alloc_transfer(0);
    if (buffer == nullptr || transfer == nullptr) {
        std::free(buffer);
        libusb_free_transfer(transfer);
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), buffer);
    libusb_fill_bulk_transfer(transfer, handle_.get(), EndpointOut, buffer, static_cast<int>(bytes.size()),
        [](libusb_transfer* t) {
            published();
            static_cast<UsbTransport*>(t->user_data)->finishWrite(t);
        },
        this, WriteTimeoutMs);
    transfer->flags = LIBUSB_TRANSFER_FREE_BUFFER;
    published();
    {
        std::lock_guard lock(mutex_);
        if (!accepting_ || writes_.size() >= MaxWritesInFlight) {
            libusb_free_transfer(transfer);
            return false;
        }
        writes_.push_back(transfer); // before submitting: it may complete at once on the reader
    }
    // Submitted outside the lock: libusb takes its own locks here and around the completions.
    if (libusb_submit_transfer(transfer) == 0)
        return true;
    std::lock_guard lock(mutex_);
    std::erase(writes_, transfer);
    libusb_free_transfer(transfer);
    return false;
}

// Reader thread, lock held: the IN transfer goes out (again); a stick that refuses it is lost.
void UsbTransport::submitRead(libusb_transfer* transfer)
{
    const int result = libusb_submit_transfer(transfer);
    readPending_ = result == 0;
    if (result != 0 && lostReason_.empty())
        lostReason_ = named("USB cannot read from the stick", result);
}

// Reader thread: the first reason the stick was lost is the one reported.
void UsbTransport::noteLoss(std::string reason)
{
    std::lock_guard lock(mutex_);
    if (lostReason_.empty())
        lostReason_ = std::move(reason);
}

bool UsbTransport::windingDown()
{
    std::lock_guard lock(mutex_);
    return stop_ || !lostReason_.empty();
}

namespace {
std::string lossText(int status)
{
    const std::string ended = std::string("the USB transfer ended in ") + libusb_error_name(status);
    switch (status) {
    case LIBUSB_TRANSFER_NO_DEVICE: return ended + ", the stick may have been disconnected";
    case LIBUSB_TRANSFER_STALL: return ended + ", an endpoint stalled";
    case LIBUSB_TRANSFER_OVERFLOW: return ended + ", the stick sent more than was asked for";
    default: return ended;
    }
}
bool isLoss(int status)
{
    return status != LIBUSB_TRANSFER_COMPLETED && status != LIBUSB_TRANSFER_CANCELLED && status != LIBUSB_TRANSFER_TIMED_OUT;
}
} // namespace

// Reader thread, inside libusb's event handling.
void UsbTransport::finishWrite(libusb_transfer* transfer)
{
    std::lock_guard lock(mutex_);
    std::erase(writes_, transfer);
    if (isLoss(transfer->status) && lostReason_.empty())
        lostReason_ = lossText(transfer->status);
    libusb_free_transfer(transfer);
}

// Reader thread, inside libusb's event handling: hands the bytes on and submits the transfer again.
void UsbTransport::finishRead(libusb_transfer* transfer)
{
    if (transfer->status == LIBUSB_TRANSFER_COMPLETED && transfer->actual_length > 0)
        listener_->bytesReceived({ inBuffer_.data(), static_cast<std::size_t>(transfer->actual_length) });
    std::lock_guard lock(mutex_);
    readPending_ = false;
    if (isLoss(transfer->status) && lostReason_.empty())
        lostReason_ = lossText(transfer->status);
    if (stop_ || !lostReason_.empty() || transfer->status == LIBUSB_TRANSFER_CANCELLED)
        return;
    submitRead(transfer);
}

bool UsbTransport::transfersInFlight()
{
    std::lock_guard lock(mutex_);
    return readPending_ || !writes_.empty();
}

// Reader thread, outside the event handling, so that no transfer completes (and is freed) meanwhile.
// A transfer that is no longer in flight cannot be cancelled (LIBUSB_ERROR_NOT_FOUND): it has
// completed already. Any other failure is kept for the message of a close that gives up waiting.
void UsbTransport::cancelAll()
{
    std::vector<libusb_transfer*> transfers;
    {
        std::lock_guard lock(mutex_);
        accepting_ = false;
        transfers = writes_;
        if (readPending_)
            transfers.push_back(in_.get());
    }
    for (auto* t : transfers) {
        const int result = libusb_cancel_transfer(t);
        if (result != 0 && result != LIBUSB_ERROR_NOT_FOUND && cancelFailure_.empty())
            cancelFailure_ = libusb_error_name(result);
    }
}

// The reader thread: keeps the IN transfer submitted and runs libusb's event handling, where the
// transfers complete. On a stop or a loss it cancels what is in flight and ends once all of it came
// back, or CancelWaitMs later. Returns why the stick was lost, or "" when asked to stop.
std::string UsbTransport::eventLoop(TransportListener&)
{
    using Clock = std::chrono::steady_clock;
    {
        std::lock_guard lock(mutex_);
        submitRead(in_.get());
    }
    std::optional<Clock::time_point> giveUpAt;
    for (;;) {
        if (!giveUpAt && windingDown()) {
            cancelAll();
            giveUpAt = Clock::now() + std::chrono::milliseconds(CancelWaitMs);
        }
        if (giveUpAt && (!transfersInFlight() || Clock::now() >= *giveUpAt))
            break;
        // Bounded, so that even a lost interruption costs at most this long; never a spin. Winding
        // down, the cancellations wake it, and the deadline ends it.
        auto wait = std::chrono::microseconds(250'000);
        if (giveUpAt)
            wait = std::min(wait, std::chrono::ceil<std::chrono::microseconds>(*giveUpAt - Clock::now()));
        timeval timeout { 0, static_cast<suseconds_t>(std::max<std::int64_t>(wait.count(), 0)) };
        const int result = libusb_handle_events_timeout_completed(context_.get(), &timeout, nullptr);
        if (result == 0 || result == LIBUSB_ERROR_INTERRUPTED)
            continue;
        noteLoss(named("USB event handling failed", result));
        if (giveUpAt)
            break; // without event handling nothing comes back: waiting longer is in vain
    }
    std::lock_guard lock(mutex_);
    return stop_ ? std::string() : lostReason_;
}

// Main thread, the reader ended: what is still in flight did not come back when cancelled. The
// handle is closed first (libusb then forgets the transfers still in flight on it, and the kernel
// discards them), so that they may be freed.
void UsbTransport::releaseStick()
{
    std::vector<libusb_transfer*> stuck;
    bool readStuck = false;
    {
        std::lock_guard lock(mutex_);
        stuck = std::exchange(writes_, {});
        readStuck = std::exchange(readPending_, false);
    }
    if (const auto count = stuck.size() + (readStuck ? 1 : 0); count > 0) {
        const std::string why = cancelFailure_.empty() ? "" : " (cancelling failed: " + cancelFailure_ + ")";
        std::fprintf(stderr,
                     "The ANT USB stick did not give back %zu cancelled transfer%s within %u ms%s; it is released "
                     "without them.\n",
                     count, count == 1 ? "" : "s", CancelWaitMs, why.c_str());
    }
    handle_.reset();
    for (auto* t : stuck)
        libusb_free_transfer(t);
    in_.reset();
    cancelFailure_.clear();
}

void UsbTransport::close()
{
    reader_.stop();
    releaseStick();
    context_.reset();
}

} // namespace caltrix::antlib
