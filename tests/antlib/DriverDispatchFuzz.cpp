// Fuzz target: any message from a stick, for any channel number, reaches the callbacks with the
// registered buffers filled within their sizes; a callback may unregister or close meanwhile.
#include "antlib/AntDriver.h"
#include "platform/VirtualClock.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace caltrix;
using namespace caltrix::antlib;

namespace {
[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "driver dispatch fuzz: %s\n", what);
    std::abort();
}

struct Registered {
    std::array<std::uint8_t, ResponseBufferSize> response {};
    std::array<std::array<std::uint8_t, ReceiveBufferSize>, AntDriver::MaxChannels> receive {};
};
} // namespace

// Input: messages as ID LEN PAYLOAD[LEN] (LEN cut to what is left); the channel-0 callback
// unregisters channel (byte) % 8 when a payload's last byte is 0xEE.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::VirtualClock clock;
    AntDriver driver(clock, [](std::uint8_t, std::uint32_t, std::string&) { return nullptr; });
    Registered r;
    driver.ANT_AssignResponseFunction([](std::uint8_t, std::uint8_t) { return std::uint8_t { 0 }; }, r.response);
    for (std::uint8_t ch = 0; ch < AntDriver::MaxChannels; ++ch) {
        driver.ANT_AssignChannelEventFunction(
            ch,
            [&driver, &r, ch](std::uint8_t channel, std::uint8_t) {
                if (channel != ch)
                    fail("a channel's callback was called for another channel");
                const auto& buffer = r.receive[ch];
                if (ch == 0 && buffer[8] == 0xEE)
                    driver.ANT_AssignChannelEventFunction(buffer[1] % AntDriver::MaxChannels, nullptr, r.receive[0]);
                return std::uint8_t { 0 };
            },
            r.receive[ch]);
    }
    std::size_t at = 0;
    while (at + 2 <= size) {
        const std::uint8_t id = data[at];
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        driver.dispatch(antproto::AntMessage(id, std::span<const std::uint8_t>(data + at + 2, std::min(length, antproto::MaxPayloadSize))));
        at += 2 + length;
    }
    return 0;
}
