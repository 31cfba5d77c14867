#pragma once

// A ride on the trainer channel through an opened driver, then a stick that hangs for 5 s: the
// longest time the main thread is kept from processing events meanwhile, in milliseconds. The host
// goes on sending a resistance command every 250 ms and replies to every trainer page, as the link
// does, while the driver asks the silent stick what is wrong.
#include "antlib/AntDriver.h"
#include "antlib/NetworkKeys.h"
#include "antproto/AntMessage.h"
#include "antproto/DeviceProfiles.h"
#include "platform/Clock.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace caltrix::bench {

// Empty when the trainer was never heard during the 3 s ride before the stall.
inline std::optional<double> longestGapWhileTheStickHangs(platform::Clock& clock, antlib::AntDriver& driver,
                                                          std::uint16_t trainerNumber, const std::function<void()>& stall)
{
    std::array<std::uint8_t, 9> buffer {};
    int packets = 0;
    const std::array<std::uint8_t, 8> resistance { 0x01, 150, 0, 0, 0, 0, 0, 0 };
    auto processFor = [&](std::uint32_t ms, double* longestGap) {
        const auto start = std::chrono::steady_clock::now();
        auto last = start;
        auto nextCommand = start;
        while (last - start < std::chrono::milliseconds(ms)) {
            clock.waitForEvents(1);
            clock.runMainRequests();
            const auto now = std::chrono::steady_clock::now();
            if (longestGap != nullptr)
                *longestGap = std::max(*longestGap, std::chrono::duration<double, std::milli>(now - last).count());
            if (now >= nextCommand) {
                driver.ANT_SendBroadcastData(1, resistance);
                nextCommand = now + std::chrono::milliseconds(250);
            }
            last = now;
        }
    };
    driver.ANT_AssignChannelEventFunction(
        1,
        [&](std::uint8_t, std::uint8_t event) {
            if (event == antproto::code::BroadcastReceived) {
                ++packets;
                driver.ANT_SendBroadcastData(1, resistance); // the link's reply to every trainer page
            }
            return std::uint8_t { 0 };
        },
        buffer);
    const auto& p = antproto::profile::NativeTrainer;
    driver.ANT_SetNetworkKey(p.network, antlib::defaultNetworkKeyB());
    driver.ANT_AssignChannel(1, 0, p.network);
    driver.ANT_SetChannelId(1, trainerNumber, p.deviceType, p.transmissionType);
    driver.ANT_SetChannelPeriod(1, p.period);
    driver.ANT_SetChannelRFFreq(1, p.rfFrequency);
    driver.ANT_OpenChannel(1);
    processFor(3000, nullptr); // riding
    if (packets == 0)
        return std::nullopt;
    stall();
    double longestGap = 0;
    processFor(5000, &longestGap);
    return longestGap;
}

} // namespace caltrix::bench
