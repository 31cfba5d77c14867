// The umockdev side stays in this file: GLib's headers and Qt's keywords do not mix.
#include "EmulatedUsb.h"

#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sys/ioctl.h> // before linux/usbdevice_fs.h, whose request macros need it
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <unistd.h>

namespace caltrix::antlib::test {

namespace {
// umockdev hands each ioctl to its worker thread through GLib, whose synchronisation the thread
// checker cannot see (GLib is not instrumented). A handler is published under this lock once it is
// made, and the worker takes it before touching one, so that the checker sees the hand-over.
std::mutex publication;

constexpr unsigned char EndpointOut = 0x01;
constexpr unsigned char EndpointIn = 0x81;

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "emulated USB: %s\n", what.c_str());
    std::abort();
}

std::string hex4(unsigned v)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04x", v);
    return text;
}

// The device descriptor and the whole configuration descriptor, as sysfs "descriptors" holds them:
// configuration 1, interface 0 with bulk OUT 0x01 and bulk IN 0x81, 64-byte packets.
std::string descriptors(std::uint16_t vendor, std::uint16_t product)
{
    auto le = [](unsigned v) {
        char text[16];
        std::snprintf(text, sizeof text, "%02x%02x", v & 0xFF, v >> 8);
        return std::string(text);
    };
    return "12010002000000" "20" + le(vendor) + le(product) + "0001" "010203" "01"
           "09022000010100" "80" "32"
           "0904000002ff000000"
           "07050102400001"
           "07058102400001";
}

std::string devnodeOf(int port) { return "/dev/bus/usb/001/" + std::string(port + 1 < 10 ? "00" : "0") + std::to_string(port + 1); }

// A device as udev and sysfs describe it. Attribute values end in a literal "\n", as real sysfs
// values end in a newline.
std::string description(std::uint16_t vendor, std::uint16_t product, int port)
{
    const std::string devnum = std::to_string(port + 1);
    const std::string node = devnodeOf(port);
    return "P: /devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(port) + "\n"
           "N: " + node.substr(5) + "\n"
           "E: DEVNAME=" + node + "\n"
           "E: DEVTYPE=usb_device\n"
           "E: DRIVER=usb\n"
           "E: SUBSYSTEM=usb\n"
           "E: BUSNUM=001\n"
           "E: DEVNUM=" + std::string(3 - devnum.size(), '0') + devnum + "\n"
           "E: MAJOR=189\n"
           "E: MINOR=" + std::to_string(port) + "\n"
           "A: idVendor=" + hex4(vendor) + "\\n\n"
           "A: idProduct=" + hex4(product) + "\\n\n"
           "A: bcdDevice=0100\\n\n"
           "A: busnum=1\\n\n"
           "A: devnum=" + devnum + "\\n\n"
           "A: devpath=" + std::to_string(port) + "\\n\n"
           "A: speed=12\\n\n"
           "A: bConfigurationValue=1\\n\n"
           "A: bNumConfigurations=1\\n\n"
           "A: bNumInterfaces= 1\\n\n"
           "A: bDeviceClass=00\\n\n"
           "A: bMaxPacketSize0=32\\n\n"
           "A: dev=189:" + std::to_string(port) + "\\n\n"
           "H: descriptors=" + descriptors(vendor, product) + "\n\n";
}

} // namespace

void reexecUnderUmockdev()
{
    const char* old = std::getenv("LD_PRELOAD");
    if (old != nullptr && std::strstr(old, "libumockdev-preload") != nullptr)
        return;
    // A sanitizer runtime must stay the first preloaded library.
    std::string preload = CALTRIX_SANITIZER_RUNTIME;
    if (!preload.empty())
        preload += ":";
    preload += "libumockdev-preload.so.0";
    if (old != nullptr && *old != '\0')
        preload += std::string(":") + old;
    ::setenv("LD_PRELOAD", preload.c_str(), 1);
    std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> args;
    for (std::string arg; std::getline(cmdline, arg, '\0');)
        args.push_back(arg);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv("/proc/self/exe", argv.data());
    die(std::string("cannot re-run under umockdev: ") + std::strerror(errno));
}

// ---------------------------------------------------------------------------------------------

EmulatedUsb::EmulatedUsb()
    : testbed_(umockdev_testbed_new())
{
    if (!umockdev_in_mock_environment())
        die("not running under libumockdev-preload.so.0");
}

EmulatedUsb::~EmulatedUsb()
{
    sticks_.clear();
    g_object_unref(testbed_);
}

void EmulatedUsb::addDevice(std::uint16_t vendor, std::uint16_t product, int port)
{
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, description(vendor, product, port).c_str(), &error))
        die(error->message);
}

EmulatedAntStick& EmulatedUsb::addAntStick(std::uint16_t product, int port)
{
    addDevice(0x0FCF, product, port);
    sticks_.push_back(std::unique_ptr<EmulatedAntStick>(new EmulatedAntStick(testbed_, devnodeOf(port))));
    return *sticks_.back();
}

// ---------------------------------------------------------------------------------------------

struct EmulatedAntStick::Handler {
    // A URB the host submitted: its struct and buffer as umockdev resolved them. umockdev writes
    // both back into the host's memory when the URB is handed out by a reap.
    struct Urb {
        UMockdevIoctlClient* client;
        UMockdevIoctlData* urb;
        UMockdevIoctlData* buffer; // null for an empty buffer
        usbdevfs_urb* data() const { return reinterpret_cast<usbdevfs_urb*>(urb->data); }
    };

    EmulatedAntStick* owner = nullptr;
    UMockdevTestbed* testbed = nullptr;
    std::string devnode;
    UMockdevIoctlBase* base = nullptr;

    mutable std::mutex mutex; // everything below
    std::deque<Urb> pendingIn;
    std::deque<Urb> pendingOut; // held by a hung stick
    std::function<void(std::vector<std::uint8_t>)> hostBytes;
    std::deque<Urb> reapable;
    std::deque<std::uint8_t> inData;
    std::vector<std::uint8_t> written;
    std::size_t maxTransfer = 4096;
    bool busy = false;
    bool claimed = false;
    bool gone = false;
    bool stalled = false;
    bool holdCancelled = false;
    unsigned discards = 0;
    int fifo = -1; // our end of the device node, see updateReadiness

    static void release(Urb& u)
    {
        if (u.buffer)
            g_object_unref(u.buffer);
        g_object_unref(u.urb);
        g_object_unref(u.client);
    }

    void finish(Urb u, int status, int length)
    {
        u.data()->status = status;
        u.data()->actual_length = length;
        reapable.push_back(u);
    }

    // Lock held, worker thread.
    void feedPendingIn()
    {
        while (gone && !pendingIn.empty()) {
            finish(pendingIn.front(), -ENODEV, 0);
            pendingIn.pop_front();
        }
        while (!stalled && !pendingIn.empty() && !inData.empty()) {
            Urb u = pendingIn.front();
            pendingIn.pop_front();
            const std::size_t n = std::min({ inData.size(), maxTransfer, static_cast<std::size_t>(u.data()->buffer_length) });
            std::copy_n(inData.begin(), n, reinterpret_cast<std::uint8_t*>(u.buffer->data));
            inData.erase(inData.begin(), inData.begin() + static_cast<long>(n));
            finish(u, 0, static_cast<int>(n));
        }
    }

    // umockdev makes the device node a plain file, which poll() always reports writable, so
    // libusb's event loop would never sleep. The node is a FIFO instead, kept full (not writable)
    // while nothing can be reaped and drained (writable) when something can. Lock held.
    void updateReadiness()
    {
        static std::uint8_t scratch[65536];
        if (fifo < 0)
            return;
        const bool ready = !reapable.empty() || gone || (!stalled && !pendingIn.empty() && !inData.empty());
        if (ready)
            while (::read(fifo, scratch, sizeof scratch) > 0) { }
        else
            while (::write(fifo, scratch, sizeof scratch) > 0) { }
    }

    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg)
    {
        GError* error = nullptr;
        UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
        if (urbData == nullptr) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return;
        }
        Urb u { static_cast<UMockdevIoctlClient*>(g_object_ref(client)), urbData, nullptr };
        if (u.data()->buffer_length > 0) {
            u.buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                   static_cast<gsize>(u.data()->buffer_length), &error);
            if (u.buffer == nullptr) {
                g_clear_error(&error);
                release(u);
                umockdev_ioctl_client_complete(client, -1, EFAULT);
                return;
            }
        }
        std::unique_lock lock(mutex);
        if (gone) {
            lock.unlock();
            release(u);
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return;
        }
        const auto type = u.data()->type;
        const auto endpoint = u.data()->endpoint;
        if (type == USBDEVFS_URB_TYPE_BULK && endpoint == EndpointOut && stalled) {
            pendingOut.push_back(u);
        } else if (type == USBDEVFS_URB_TYPE_BULK && endpoint == EndpointOut) {
            const auto* bytes = u.buffer ? reinterpret_cast<const std::uint8_t*>(u.buffer->data) : nullptr;
            std::vector<std::uint8_t> out(bytes, bytes + (bytes ? u.data()->buffer_length : 0));
            written.insert(written.end(), out.begin(), out.end());
            finish(u, 0, u.data()->buffer_length);
            auto deliver = hostBytes;
            lock.unlock();
            if (deliver)
                deliver(std::move(out));
            lock.lock();
        } else if (type == USBDEVFS_URB_TYPE_BULK && endpoint == EndpointIn) {
            pendingIn.push_back(u);
            feedPendingIn();
        } else if (type == USBDEVFS_URB_TYPE_CONTROL) {
            finish(u, -EPIPE, 0); // control requests are not emulated: the device stalls them
        } else {
            lock.unlock();
            release(u);
            umockdev_ioctl_client_complete(client, -1, ENOENT);
            return;
        }
        updateReadiness();
        lock.unlock();
        umockdev_ioctl_client_complete(client, 0, 0);
    }

    void reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg)
    {
        GError* error = nullptr;
        UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
        if (pointer == nullptr) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return;
        }
        std::optional<Urb> found;
        {
            std::lock_guard lock(mutex);
            feedPendingIn();
            const auto it = std::ranges::find_if(reapable, [&](const Urb& u) { return u.client == client; });
            if (it != reapable.end()) {
                found = *it;
                reapable.erase(it);
            }
            updateReadiness();
        }
        if (!found) {
            g_object_unref(pointer);
            umockdev_ioctl_client_complete(client, -1, EAGAIN);
            return;
        }
        // Point the host's "struct usbdevfs_urb *" at its own URB.
        umockdev_ioctl_data_set_ptr(pointer, 0, found->urb);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(pointer);
        release(*found);
    }

    void discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg)
    {
        const auto address = *reinterpret_cast<gulong*>(arg->data); // the host's URB address itself
        bool found = false;
        {
            std::lock_guard lock(mutex);
            for (auto* pending : { &pendingIn, &pendingOut }) {
                const auto it = std::ranges::find_if(
                    *pending, [&](const Urb& u) { return u.client == client && u.urb->client_addr == address; });
                if (it == pending->end())
                    continue;
                if (!holdCancelled) {
                    const Urb u = *it;
                    pending->erase(it);
                    finish(u, -ENOENT, 0);
                }
                found = true;
                ++discards;
                break;
            }
            updateReadiness();
        }
        umockdev_ioctl_client_complete(client, found ? 0 : -1, found ? 0 : EINVAL);
    }

    void claim(UMockdevIoctlClient* client, UMockdevIoctlData* arg, gulong request)
    {
        GError* error = nullptr;
        const gsize size = request == USBDEVFS_DISCONNECT_CLAIM ? sizeof(usbdevfs_disconnect_claim) : sizeof(unsigned);
        UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, size, &error);
        if (d == nullptr) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return;
        }
        const unsigned interface = request == USBDEVFS_DISCONNECT_CLAIM
            ? reinterpret_cast<usbdevfs_disconnect_claim*>(d->data)->interface
            : *reinterpret_cast<unsigned*>(d->data);
        g_object_unref(d);
        std::unique_lock lock(mutex);
        int result = 0;
        if (interface != 0)
            result = ENOENT;
        else if (request != USBDEVFS_RELEASEINTERFACE && busy)
            result = EBUSY;
        else
            claimed = request != USBDEVFS_RELEASEINTERFACE;
        lock.unlock();
        umockdev_ioctl_client_complete(client, result ? -1 : 0, result);
    }

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* h = static_cast<Handler*>(self);
        { std::lock_guard published(publication); }
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            GError* error = nullptr;
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), &error);
            if (d == nullptr) {
                g_clear_error(&error);
                umockdev_ioctl_client_complete(client, -1, EFAULT);
                return TRUE;
            }
            // One URB per transfer, whatever its length.
            *reinterpret_cast<guint32*>(d->data) =
                USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
            umockdev_ioctl_client_complete(client, 0, 0);
            g_object_unref(d);
            return TRUE;
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM:
            h->claim(client, arg, request);
            return TRUE;
        case USBDEVFS_GETDRIVER:
        case USBDEVFS_IOCTL:
            umockdev_ioctl_client_complete(client, -1, ENODATA); // no kernel driver bound
            return TRUE;
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_SETCONFIGURATION:
        case USBDEVFS_CLEAR_HALT:
        case USBDEVFS_RESETEP:
        case USBDEVFS_RESET:
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SUBMITURB:
            h->submit(client, arg);
            return TRUE;
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            h->reap(client, arg);
            return TRUE;
        case USBDEVFS_DISCARDURB:
            h->discard(client, arg);
            return TRUE;
        default:
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
            return TRUE;
        }
    }
};

EmulatedAntStick::EmulatedAntStick(UMockdevTestbed* testbed, const std::string& devnode)
    : handler_(std::make_unique<Handler>())
{
    auto& h = *handler_;
    h.owner = this;
    h.testbed = testbed;
    h.devnode = devnode;
    gchar* root = umockdev_testbed_get_root_dir(testbed);
    const std::string node = std::string(root) + devnode;
    g_free(root);
    if (::unlink(node.c_str()) < 0 || ::mkfifo(node.c_str(), 0666) < 0
        || (h.fifo = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0)
        die("cannot make the device node " + node + " a FIFO: " + std::strerror(errno));
    {
        std::lock_guard lock(h.mutex);
        h.updateReadiness();
    }
    { std::lock_guard published(publication); }
    h.base = umockdev_ioctl_base_new();
    g_signal_connect(h.base, "handle-ioctl", G_CALLBACK(&Handler::onIoctl), &h);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed, devnode.c_str(), h.base, &error))
        die(error->message);
}

EmulatedAntStick::~EmulatedAntStick()
{
    auto& h = *handler_;
    GError* error = nullptr;
    umockdev_testbed_detach_ioctl(h.testbed, h.devnode.c_str(), &error);
    g_clear_error(&error);
    g_signal_handlers_disconnect_by_data(h.base, &h);
    g_object_unref(h.base);
    // The worker's last ioctl reached the host through umockdev's socket, which no sanitizer sees;
    // taking the lock once orders that ioctl's use of our state before its destruction.
    { std::lock_guard lock(h.mutex); }
    for (auto& u : h.pendingIn)
        Handler::release(u);
    for (auto& u : h.pendingOut)
        Handler::release(u);
    for (auto& u : h.reapable)
        Handler::release(u);
    if (h.fifo >= 0)
        ::close(h.fifo);
}

void EmulatedAntStick::queueIn(std::span<const std::uint8_t> bytes)
{
    std::lock_guard lock(handler_->mutex);
    handler_->inData.insert(handler_->inData.end(), bytes.begin(), bytes.end());
    handler_->updateReadiness();
}

void EmulatedAntStick::setMaxTransfer(std::size_t bytes)
{
    std::lock_guard lock(handler_->mutex);
    handler_->maxTransfer = std::max<std::size_t>(1, bytes);
}

void EmulatedAntStick::setBusy(bool busy)
{
    std::lock_guard lock(handler_->mutex);
    handler_->busy = busy;
}

void EmulatedAntStick::unplug()
{
    std::lock_guard lock(handler_->mutex);
    handler_->gone = true;
    handler_->updateReadiness(); // wakes libusb, whose next reap finds the URBs failed
}

void EmulatedAntStick::setHostBytesHandler(std::function<void(std::vector<std::uint8_t>)> handler)
{
    std::lock_guard lock(handler_->mutex);
    handler_->hostBytes = std::move(handler);
}

void EmulatedAntStick::stall()
{
    std::lock_guard lock(handler_->mutex);
    handler_->stalled = true;
    handler_->updateReadiness();
}

void EmulatedAntStick::holdCancelledTransfers()
{
    std::lock_guard lock(handler_->mutex);
    handler_->holdCancelled = true;
}

bool EmulatedAntStick::claimed() const
{
    std::lock_guard lock(handler_->mutex);
    return handler_->claimed;
}

unsigned EmulatedAntStick::discards() const
{
    std::lock_guard lock(handler_->mutex);
    return handler_->discards;
}

std::size_t EmulatedAntStick::pendingReads() const
{
    std::lock_guard lock(handler_->mutex);
    return handler_->pendingIn.size();
}

std::vector<std::uint8_t> EmulatedAntStick::written() const
{
    std::lock_guard lock(handler_->mutex);
    return handler_->written;
}

} // namespace caltrix::antlib::test
