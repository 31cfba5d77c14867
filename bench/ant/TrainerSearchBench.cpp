// "Find my trainer": how soon the search reports a trainer after that trainer's first broadcast
// once the search channel is open, over antsim's pseudo-terminal and the serial transport on the
// real clock (the broadcast, the channel-ID request and its answer all travel as bytes).
#include "BenchProgram.h"
#include "ant/TrainerSearch.h"
#include "antlib/AntDriver.h"
#include "antlib/NetworkKeys.h"
#include "antlib/SerialTransport.h"
#include "antproto/DeviceProfiles.h"
#include "antsim/PtyStick.h"
#include "antsim/SimWorld.h"
#include "antsim/VirtualStick.h"
#include "platform/Platform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

using namespace caltrix;
using Clock = std::chrono::steady_clock;

namespace {

// One search on a fresh world; the milliseconds from the trainer's first broadcast on the open
// search channel to its report, or nothing when the search found nothing.
std::optional<double> reportDelayMs(platform::Clock& clock)
{
    auto options = antsim::WorldOptions {};
    options.keyA = antlib::defaultNetworkKeyA();
    options.keyB = antlib::defaultNetworkKeyB();
    antsim::SimWorld world(clock, options);
    antsim::VirtualStick stick(world);
    antsim::PtyStick pty(stick);
    std::string error;
    if (!pty.start(error))
        return std::nullopt;
    bool channelOpen = false;
    std::optional<Clock::time_point> firstBroadcast;
    stick.onMessage = [&](const antproto::AntMessage& m, bool toHost) {
        if (!toHost && m.id == antproto::msg::OpenChannel)
            channelOpen = true;
        else if (toHost && channelOpen && m.id == antproto::msg::BroadcastData && !firstBroadcast)
            firstBroadcast = Clock::now();
    };
    ant::AntLibraryFactory serialStick = [&] {
        return std::make_unique<antlib::AntDriver>(
            clock, [&](std::uint8_t n, std::uint32_t baud, std::string&) -> std::unique_ptr<antproto::Transport> {
                return n == 0 ? std::make_unique<antlib::SerialTransport>(clock, pty.path(), baud) : nullptr;
            });
    };
    std::optional<Clock::time_point> reported;
    bool ended = false;
    auto search = ant::TrainerSearch::onOwnStick(
        serialStick, { antproto::profile::NativeTrainer, antlib::defaultNetworkKeyB() },
        { [&](const ant::FoundTrainer&) { reported = Clock::now(); }, [&](ant::SearchEnd, const QString&) { ended = true; } });
    while (!reported && !ended) {
        clock.waitForEvents(100);
        clock.runMainRequests();
    }
    search.reset();
    if (!reported || !firstBroadcast)
        return std::nullopt;
    return std::chrono::duration<double, std::milli>(*reported - *firstBroadcast).count();
}

void BM_FindReportsTheTrainerAfterItsFirstBroadcast(benchmark::State& state)
{
    std::vector<double> delays;
    for (auto _ : state) {
        const auto delay = reportDelayMs(platform::clock());
        if (!delay) {
            state.SkipWithError("the search found no trainer");
            return;
        }
        delays.push_back(*delay);
    }
    const double worst = *std::ranges::max_element(delays);
    state.counters["worst_ms"] = worst;
    bench::recordFigure({ "find: trainer reported after its first broadcast", worst, "ms", 100.0 });
}
BENCHMARK(BM_FindReportsTheTrainerAfterItsFirstBroadcast)->Iterations(caltrix::bench::iterations(5))->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return caltrix::bench::runBenchmarkProgram(argc, argv); }
