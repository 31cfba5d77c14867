// The link's cost per trainer packet, end to end through the library layer: the frame's bytes as
// the stick delivers them, decoded, dispatched to the link's channel callback, the packet step,
// and the resistance reply encoded and written back to the stick.
#include "BenchProgram.h"
#include "ant/lumo_ant_class.h"
#include "antlib/AntDriver.h"
#include "antproto/Commands.h"
#include "antproto/DeviceProfiles.h"
#include "antlib/NetworkKeys.h"
#include "platform/Platform.h"
#include "platform/VirtualClock.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

using namespace caltrix;
using namespace caltrix::ant;

namespace {

// A stick that hands the bytes the test gives it to the library and swallows what is written.
class LoopbackTransport final : public antproto::Transport {
public:
    explicit LoopbackTransport(antproto::TransportListener*& listener)
        : listener_(listener)
    {
    }
    bool open(antproto::TransportListener& listener, std::string&) override
    {
        listener_ = &listener;
        return true;
    }
    bool write(std::span<const std::uint8_t> bytes) override
    {
        written += bytes.size();
        return true;
    }
    void close() override { listener_ = nullptr; }
    static inline std::uint64_t written = 0;

private:
    antproto::TransportListener*& listener_;
};

// The trainer's broadcasts: page 0x11 with a changing value, as frames on the wire.
std::vector<antproto::Frame> trainerFrames(int count)
{
    std::vector<antproto::Frame> frames;
    for (int i = 0; i < count; ++i) {
        const std::array<std::uint8_t, 8> data { 0x11, static_cast<std::uint8_t>(i), 0, 0, 0, 0, 0, 0 };
        frames.push_back(antproto::encodeFrame(antproto::command::broadcastData(1, data)));
    }
    return frames;
}

void runTrainerPackets(benchmark::State& state, bool logging, const char* figure, double limitNs)
{
    constexpr int Batch = 1000;
    platform::VirtualClock clock;
    platform::ScopedClock scoped(clock);
    antproto::TransportListener* listener = nullptr;
    antlib::AntDriver driver(clock, [&listener](std::uint8_t, std::uint32_t, std::string&) {
        return std::make_unique<LoopbackTransport>(listener);
    });
    MemoryLog log;
    MemoryLog raw;
    AntLink = std::make_unique<lumo_ANT>(driver);
    lumo_ANT& link = *AntLink;
    link.BaudRate = 57600;
    link.OpenStick(0);
    const auto& trainer = antproto::profile::NativeTrainer;
    link.SetChannelParameters(1, trainer.network, trainer.period, trainer.deviceType, trainer.transmissionType, 0,
                              trainer.rfFrequency, 12345, antlib::defaultNetworkKeyB());
    link.StartChannelSetup(1);
    link.QueueResistance(120);
    link.LogMemo = logging ? &log : nullptr;
    link.RawMemo = logging ? &raw : nullptr;

    const auto frames = trainerFrames(Batch);
    double seconds = 0;
    std::int64_t packets = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const auto& frame : frames)
            listener->bytesReceived(frame.bytes());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        packets += Batch;
        // The logs would otherwise grow without bound over millions of packets.
        state.PauseTiming();
        log.clear();
        raw.clear();
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(LoopbackTransport::written);
    if (link.RxCount != packets || !link.Channels[1]->Connected)
        state.SkipWithError("the packets did not reach the link");
    AntLink.reset();
    state.SetItemsProcessed(packets);
    const double nsPerPacket = seconds * 1e9 / static_cast<double>(packets);
    state.counters["ns_per_packet"] = nsPerPacket;
    bench::recordFigure({ figure, nsPerPacket, "ns/packet", limitNs });
}

// Goal: under 2 us per packet with logging off.
void BM_TrainerPacketLoggingOff(benchmark::State& state)
{
    runTrainerPackets(state, false, "trainer packet end to end, logging off", 2000.0);
}
BENCHMARK(BM_TrainerPacketLoggingOff)->Unit(benchmark::kMicrosecond);

// With both logs on, three lines are formatted per packet (raw receive, summary, reply). 10 us
// keeps the link at well under 1% of a core at the trainer's one packet per second, and far below
// the 4 packets per second of the busiest channel.
void BM_TrainerPacketBothLogsToMemory(benchmark::State& state)
{
    runTrainerPackets(state, true, "trainer packet end to end, both logs to memory", 10000.0);
}
BENCHMARK(BM_TrainerPacketBothLogsToMemory)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) { return caltrix::bench::runBenchmarkProgram(argc, argv); }
