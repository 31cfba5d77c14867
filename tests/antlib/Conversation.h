#pragma once

#include "antlib/AntLibrary.h"
#include "antlib/NetworkKeys.h"
#include "antproto/DeviceProfiles.h"
#include "platform/Clock.h"

#include <functional>

namespace caltrix::antlib::test {

// A bound for a failing test on the real clock, never reached when it passes.
inline constexpr std::uint32_t PatienceMs = 10'000;

// Processes messages on the main thread until `done` or the patience runs out.
inline bool processUntil(platform::Clock& clock, const std::function<bool()>& done)
{
    const auto start = clock.tickCount();
    while (!done()) {
        if (clock.tickCount() - start > PatienceMs)
            return false;
        clock.waitForEvents(50);
        clock.runMainRequests();
    }
    return true;
}

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

} // namespace caltrix::antlib::test
