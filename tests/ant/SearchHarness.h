#pragma once

#include "ant/TrainerSearch.h"
#include "antlib/NetworkKeys.h"
#include "antproto/DeviceProfiles.h"

#include <QString>

#include <optional>
#include <vector>

namespace caltrix::ant::test {

// What a search reported, and when (milliseconds of the search).
struct SearchOutcome {
    std::vector<FoundTrainer> found;
    std::vector<std::uint32_t> foundAtMs;
    std::optional<SearchEnd> end;
    QString detail;
    const TrainerSearch* search = nullptr; // set by the test, for the times

    std::vector<std::uint16_t> numbers() const
    {
        std::vector<std::uint16_t> out;
        for (const auto& t : found)
            out.push_back(t.deviceNumber);
        return out;
    }

    SearchCallbacks callbacks()
    {
        return { [this](const FoundTrainer& t) {
                    found.push_back(t);
                    foundAtMs.push_back(search ? search->elapsedMs() : 0);
                },
                 [this](SearchEnd e, const QString& why) {
                     end = e;
                     detail = why;
                 } };
    }
};

// The native trainer's channel on the default keys, as the device component searches for it.
inline SearchChannelPlan nativeTrainerPlan()
{
    return { antproto::profile::NativeTrainer, antlib::defaultNetworkKeyB() };
}

} // namespace caltrix::ant::test
