#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <functional>

namespace caltrix::test {

// A bound for a failing test on the real clock, never reached when it passes.
inline constexpr int PatienceMs = 10'000;

// Processes messages on the main thread until `done`, or false once the patience runs out.
inline bool processUntil(platform::Clock& clock, const std::function<bool()>& done)
{
    const auto start = clock.tickCount();
    while (!done()) {
        if (clock.tickCount() - start > static_cast<std::uint32_t>(PatienceMs))
            return false;
        clock.waitForEvents(50);
        clock.runMainRequests();
    }
    return true;
}

} // namespace caltrix::test
