// The trainer device on the machine's clock against the built-in virtual stick: how long
// ConnectANT takes to raise OnConnected compared with what the radio allows at best, and what a
// ride with the statistics tick running costs in CPU.
#include "BenchProgram.h"

#include "antlib/AntDriver.h"
#include "antproto/AntMessage.h"
#include "antlib/NetworkKeys.h"
#include "antlib/SimTransport.h"
#include "device/TavorDeviceANT.h"
#include "devicebase/Helpers.h"
#include "platform/Platform.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>

namespace {

using namespace caltrix;
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double processCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

antsim::WorldOptions worldOptions()
{
    antsim::WorldOptions o;
    o.keyA = antlib::defaultNetworkKeyA();
    o.keyB = antlib::defaultNetworkKeyB();
    return o;
}

// A device whose links talk to the virtual stick on the real clock. Notes the moment the stick
// hands the host the trainer's first broadcast: nothing can know of the trainer earlier.
struct SimDevice {
    SimDevice()
    {
        device.SetAntLibraryFactory([this] {
            return std::make_unique<antlib::AntDriver>(platform::clock(),
                antlib::virtualStickFactory(platform::clock(), world, [this](antlib::SimTransport& transport) {
                    transport.stick().onMessage = [this](const antproto::AntMessage& m, bool toHost) {
                        if (!toHost || m.id != antproto::msg::BroadcastData)
                            return;
                        auto& first = m.at(0) == ant::TrainerChannel ? firstTrainerPacket : firstSensorPacket;
                        if (!first)
                            first = Clock::now();
                    };
                }));
        });
        // As the calibration window connects: console and heart-rate channels off, the stored
        // trainer number, the roller set and the ride started when the trainer answers.
        device.SetEnableConsole(false);
        device.SetHeartEnabled(false);
        device.SetOnConnected([this](platform::TObject*) {
            connectedAt = Clock::now();
            device.SetRollDiameter(world.rollDiameterMm);
            device.SeteventPerTurn(static_cast<std::uint8_t>(world.eventsPerTurn));
            device.Start();
        });
    }

    bool connect()
    {
        firstTrainerPacket.reset();
        firstSensorPacket.reset();
        connectedAt.reset();
        return device.ConnectANT(world.trainerNumber, 0, 0);
    }

    antsim::WorldOptions world = worldOptions();
    device::TTavorDeviceANT device { nullptr };
    std::optional<Clock::time_point> firstTrainerPacket;
    std::optional<Clock::time_point> firstSensorPacket; // the speed sensor, started after the trainer
    std::optional<Clock::time_point> connectedAt;
};

void BM_ConnectToOnConnected(benchmark::State& state)
{
    SimDevice sim;
    double excessSum = 0;
    double excessMax = 0;
    int runs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!sim.connect() || !sim.connectedAt || !sim.firstTrainerPacket) {
            state.SkipWithError("the simulated trainer did not connect");
            return;
        }
        const double took = msBetween(start, *sim.connectedAt);
        const double trainer = msBetween(start, *sim.firstTrainerPacket);
        const double sensor = sim.firstSensorPacket ? msBetween(start, *sim.firstSensorPacket) : 0;
        // The channels start one after the other and each start waits for its channel's first
        // packet, so OnConnected cannot come before the later of the two first broadcasts.
        const double floor = std::max(trainer, sensor);
        std::printf("run %d: ConnectANT to OnConnected %.0f ms; the trainer's first broadcast at %.0f ms (%.0f ms "
                    "after it), the speed sensor's at %.0f ms; excess over the floor %.0f ms\n",
            runs + 1, took, trainer, took - trainer, sensor, took - floor);
        excessSum += took - floor;
        excessMax = std::max(excessMax, took - floor);
        ++runs;
        state.PauseTiming();
        sim.device.Disconnect();
        state.ResumeTiming();
    }
    state.counters["excess_ms"] = excessSum / runs;
    state.counters["excess_max_ms"] = excessMax;
    caltrix::bench::recordFigure(
        { "ConnectANT to OnConnected, mean excess over the floor (stick reset, first trainer and sensor broadcasts)",
            excessSum / runs, "ms", 100 });
}
BENCHMARK(BM_ConnectToOnConnected)->Iterations(caltrix::bench::iterations(5))->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RidingCpu60s(benchmark::State& state)
{
    SimDevice sim;
    if (!sim.connect()) {
        state.SkipWithError("the simulated trainer did not connect");
        return;
    }
    int ticks = 0;
    sim.device.SetOnStats([&](platform::TObject*) { ++ticks; });
    double share = 0;
    for (auto _ : state) {
        const double cpu0 = processCpuSeconds();
        const auto wall0 = Clock::now();
        devicebase::WaitProcessingMessages(60000);
        const double wall = msBetween(wall0, Clock::now()) / 1000;
        share = 100.0 * (processCpuSeconds() - cpu0) / wall;
    }
    state.counters["cpu_percent"] = share;
    state.counters["ticks"] = ticks;
    std::printf("riding: %d statistics ticks, speed %.1f km/h at the end\n", ticks, sim.device.GetSpeed());
    caltrix::bench::recordFigure(
        { "CPU over 60 s of riding (device, link and simulated stick)", share, "% of a core", 1.0 });
    sim.device.Disconnect();
}
BENCHMARK(BM_RidingCpu60s)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) { return caltrix::bench::runBenchmarkProgram(argc, argv); }
