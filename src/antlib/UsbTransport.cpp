#include "antlib/UsbTransport.h"

#include "platform/Clock.h"

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <array>
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

std::string openFailure(const Candidate& c, int error)
{
    const std::string stick = "The ANT USB stick on " + where(c);
    if (error == LIBUSB_ERROR_ACCESS)
        return stick + " may not be opened by this user: install the udev rule shipped with Caltrix "
                       "(60-caltrix-ant.rules, into /etc/udev/rules.d/) and plug the stick in again.";
    if (error == LIBUSB_ERROR_BUSY)
        return stick + " is in use by another program (another ANT application or a serial driver): "
                       "close that program and try again.";
    return stick + " cannot be opened: " + libusb_strerror(static_cast<libusb_error>(error)) + ".";
}
} // namespace

void UsbTransport::ExitContext::operator()(libusb_context* context) const { libusb_exit(context); }

void UsbTransport::ReleaseAndClose::operator()(libusb_device_handle* handle) const
{
    libusb_release_interface(handle, 0); // a harmless error when it was never claimed
    libusb_close(handle);
}

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
    stop_ = false;
    reader_.start(listener, [this, &listener] { return readLoop(listener); }, [this] { stop_ = true; });
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

bool UsbTransport::write(std::span<const std::uint8_t> bytes)
{
    if (!handle_ || reader_.lost())
        return false;
    std::vector<unsigned char> data(bytes.begin(), bytes.end());
    int sent = 0;
    const int result = libusb_bulk_transfer(handle_.get(), EndpointOut, data.data(), static_cast<int>(data.size()), &sent,
                                            WriteTimeoutMs);
    return result == 0 && sent == static_cast<int>(data.size());
}

// The reader thread: one bulk IN transfer after another; a transfer may carry several frames or
// part of one (the listener reassembles). Returns why the stick was lost, or "" when asked to stop.
std::string UsbTransport::readLoop(TransportListener& listener)
{
    std::array<unsigned char, 512> buffer {};
    while (!stop_) {
        int received = 0;
        const int result = libusb_bulk_transfer(handle_.get(), EndpointIn, buffer.data(), static_cast<int>(buffer.size()),
                                                &received, ReadTimeoutMs);
        if (received > 0)
            listener.bytesReceived({ buffer.data(), static_cast<std::size_t>(received) });
        if (result != 0 && result != LIBUSB_ERROR_TIMEOUT && result != LIBUSB_ERROR_INTERRUPTED)
            return std::string("USB ") + libusb_strerror(static_cast<libusb_error>(result));
    }
    return {};
}

void UsbTransport::close()
{
    reader_.stop();
    handle_.reset();
    context_.reset();
}

} // namespace caltrix::antlib
