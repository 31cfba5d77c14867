// Fuzz target: any text read as the stored form of a device either fails with an error and leaves
// the device as it was, or is taken; what is taken is written back as a form that reads back to
// the same form.
#include "devicebase/VelDeviceBaseClasses.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "platform/VirtualClock.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace caltrix;
using namespace caltrix::devicebase;

namespace {
[[noreturn]] void fail(const char* what, const QString& form)
{
    std::fprintf(stderr, "component form fuzz: %s\n%s\n", what, qPrintable(form));
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::VirtualClock clock;
    static platform::ScopedClock scoped(clock);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TVelCustomDevice device(nullptr);
    device.SetName(QStringLiteral("Device1"));
    const QString before = platform::writeComponent(device);
    try {
        platform::readComponent(device, text);
    } catch (const platform::Error&) {
        if (platform::writeComponent(device) != before)
            fail("a form that was refused changed the device", text);
        return 0;
    }
    const QString written = platform::writeComponent(device);
    TVelCustomDevice again(nullptr);
    try {
        platform::readComponent(again, written);
    } catch (const platform::Error& e) {
        fail(qPrintable(QStringLiteral("a written form does not read back: ") + e.message()), written);
    }
    if (platform::writeComponent(again) != written)
        fail("a form read back writes differently", written);
    return 0;
}
