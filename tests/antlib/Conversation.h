#pragma once

#include "antlib/AntLibrary.h"
#include "antlib/NetworkKeys.h"
#include "antproto/DeviceProfiles.h"
#include "platform/Clock.h"

#include "ProcessUntil.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace caltrix::antlib::test {

// The configuration of the native trainer's channel (1, network 1) as the link sends it.
inline void configureTrainerChannel(AntLibrary& library, std::uint16_t deviceNumber)
{
    const auto& p = antproto::profile::NativeTrainer;
    library.ANT_SetNetworkKey(p.network, defaultNetworkKeyB());
    library.ANT_AssignChannel(1, 0, p.network);
    library.ANT_SetChannelId(1, deviceNumber, p.deviceType, p.transmissionType);
    library.ANT_SetChannelPeriod(1, p.period);
    library.ANT_SetChannelTxPower(1, 3);
    library.ANT_SetChannelSearchTimeout(1, 4);
    library.ANT_SetChannelRFFreq(1, p.rfFrequency);
    library.ANT_OpenChannel(1);
}

// Registers a channel-1 callback that closes the library from inside its own delivery, as a
// trainer-lost handler that disconnects does, and then sets `closed`.
inline void closeFromInsideADelivery(AntLibrary& library, ReceiveBuffer buffer, bool& closed)
{
    library.ANT_AssignChannelEventFunction(
        1,
        [&library, &closed](std::uint8_t, std::uint8_t) {
            library.ANT_Close();
            closed = true;
            return std::uint8_t { 0 };
        },
        buffer);
}

// Once `events` (the trainer channel's) shows it delivers, clears them, runs `fault` and waits
// until the channel reports its loss: a search timeout, then closed. Returns what was said on
// standard error meanwhile, or nothing when the channel never delivered or was never lost.
inline std::optional<std::string> lossAfter(platform::Clock& clock, std::vector<std::uint8_t>& events,
                                            const std::function<void()>& fault)
{
    if (!caltrix::test::processUntil(clock, [&] { return !events.empty(); }))
        return std::nullopt;
    events.clear();
    testing::internal::CaptureStderr();
    fault();
    const bool lost = caltrix::test::processUntil(clock, [&] { return events.size() >= 2; });
    std::string said = testing::internal::GetCapturedStderr();
    if (!lost)
        return std::nullopt;
    return said;
}

} // namespace caltrix::antlib::test
