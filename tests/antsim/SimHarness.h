#pragma once

#include "antlib/AntDriver.h"
#include "antlib/NetworkKeys.h"
#include "antlib/SimTransport.h"
#include "antproto/DeviceProfiles.h"
#include "platform/VirtualClock.h"

#include "SimulatedWorld.h"

#include <array>
#include <cstdint>
#include <vector>

namespace caltrix::antsim::test {

// One callback as the library made it: which, channel, id or event code, and the buffer then.
struct Call {
    bool response; // response callback, else channel event
    std::uint8_t channel;
    std::uint8_t code;
    std::array<std::uint8_t, 10> buffer;
};

// The library on a virtual clock with the built-in virtual stick, its callbacks recorded.
class SimHarness {
public:
    explicit SimHarness(WorldOptions options = defaultOptions())
        : driver(clock, antlib::virtualStickFactory(clock, options, [this](antlib::SimTransport& t) { sim = &t; }))
    {
    }

    static WorldOptions defaultOptions() { return caltrix::test::worldWithDefaultKeys(); }

    bool open()
    {
        if (!driver.ANT_Init(0, 57600, 0, 0))
            return false;
        driver.ANT_AssignResponseFunction(
            [this](std::uint8_t ch, std::uint8_t id) {
                record(true, ch, id, response.data(), response.size());
                return std::uint8_t { 0 };
            },
            response);
        return true;
    }

    void listen(std::uint8_t channel)
    {
        driver.ANT_AssignChannelEventFunction(
            channel,
            [this](std::uint8_t ch, std::uint8_t event) {
                record(false, ch, event, receive[ch].data(), receive[ch].size());
                return std::uint8_t { 0 };
            },
            receive[channel]);
    }

    // The configuration conversation the link holds for one channel.
    void configure(std::uint8_t ch, std::uint8_t network, std::uint16_t number, std::uint8_t type, std::uint8_t tx,
                   std::uint16_t period, std::uint8_t timeout, std::uint8_t rf)
    {
        listen(ch);
        const auto key = network == 0 ? antlib::defaultNetworkKeyA() : antlib::defaultNetworkKeyB();
        driver.ANT_SetNetworkKey(network, key);
        driver.ANT_AssignChannel(ch, 0, network);
        driver.ANT_SetChannelId(ch, number, type, tx);
        driver.ANT_SetChannelPeriod(ch, period);
        driver.ANT_SetChannelTxPower(ch, 3);
        driver.ANT_SetChannelSearchTimeout(ch, timeout);
        driver.ANT_SetChannelRFFreq(ch, rf);
        driver.ANT_OpenChannel(ch);
    }

    void configureTrainer(std::uint16_t number = 12345, std::uint8_t timeout = 4)
    {
        const auto& p = antproto::profile::NativeTrainer;
        configure(1, p.network, number, p.deviceType, p.transmissionType, p.period, timeout, p.rfFrequency);
    }

    // Lets `ms` of virtual time pass, running everything that falls due.
    void run(std::uint64_t ms)
    {
        const auto until = clock.elapsed() + ms;
        for (;;) {
            clock.runDueWork();
            clock.runMainRequests();
            if (clock.elapsed() >= until)
                return;
            clock.waitForEvents(static_cast<std::uint32_t>(until - clock.elapsed()));
        }
    }

    std::vector<Call> take()
    {
        std::vector<Call> out;
        out.swap(calls);
        return out;
    }

    std::vector<Call> events(std::uint8_t channel) const
    {
        std::vector<Call> out;
        for (const auto& c : calls)
            if (!c.response && c.channel == channel)
                out.push_back(c);
        return out;
    }

    platform::VirtualClock clock;
    antlib::SimTransport* sim = nullptr;
    antlib::AntDriver driver;
    std::array<std::uint8_t, 10> response {};
    std::array<std::array<std::uint8_t, 9>, 8> receive {};
    std::vector<Call> calls;

private:
    void record(bool isResponse, std::uint8_t ch, std::uint8_t code, const std::uint8_t* buffer, std::size_t size)
    {
        Call c { isResponse, ch, code, {} };
        std::copy_n(buffer, size, c.buffer.begin());
        calls.push_back(c);
    }
};

} // namespace caltrix::antsim::test
