// The ANT library's speed: how fast the codec decodes and dispatches messages, and how long a
// frame takes from the serial line to its callback on the main thread.
#include "BenchProgram.h"
#include "StickStall.h"
#include "antlib/AntDriver.h"
#include "antproto/Commands.h"
#include "antproto/FrameDecoder.h"
#include "antlib/NetworkKeys.h"
#include "antlib/SerialTransport.h"
#include "antproto/DeviceProfiles.h"
#include "antsim/PtyStick.h"
#include "antsim/SimWorld.h"
#include "antsim/VirtualStick.h"
#include "platform/Clock.h"
#include "platform/VirtualClock.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace caltrix;
using namespace caltrix::antlib;
using namespace caltrix::antproto;

namespace {

// A stream as a busy stick sends it: broadcast data on four channels with an RF event now and then.
std::vector<std::uint8_t> busyStream(int messages)
{
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < messages; ++i) {
        const auto channel = static_cast<std::uint8_t>(i % 4);
        const std::array<std::uint8_t, 8> data { 0x11, static_cast<std::uint8_t>(i), 3, 4, 5, 6, 7, 8 };
        const auto frame = encodeFrame(i % 10 == 9 ? command::channelEvent(channel, 2) : command::broadcastData(channel, data));
        stream.insert(stream.end(), frame.bytes().begin(), frame.bytes().end());
    }
    return stream;
}

// Decode plus dispatch to the registered callbacks, on one core, in 64-byte reads as a USB stick
// delivers them. A throughput goal of more than a million messages a second is recorded as a time
// per message under 1000 ns.
void BM_DecodeAndDispatch(benchmark::State& state)
{
    constexpr int Messages = 10'000;
    const auto stream = busyStream(Messages);
    platform::VirtualClock clock;
    AntDriver driver(clock, [](std::uint8_t, std::uint32_t, std::string&) { return nullptr; });
    std::array<std::array<std::uint8_t, 9>, 4> buffers {};
    std::uint64_t received = 0;
    for (std::uint8_t ch = 0; ch < 4; ++ch)
        driver.ANT_AssignChannelEventFunction(
            ch,
            [&](std::uint8_t c, std::uint8_t) {
                received += buffers[c][1];
                return std::uint8_t { 0 };
            },
            buffers[ch]);
    FrameDecoder decoder;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t at = 0; at < stream.size(); at += 64) {
            const auto n = std::min<std::size_t>(64, stream.size() - at);
            decoder.feed({ stream.data() + at, n }, [&](const AntMessage& m) { driver.dispatch(m); });
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    benchmark::DoNotOptimize(received);
    const double messages = static_cast<double>(state.iterations()) * Messages;
    state.SetItemsProcessed(static_cast<std::int64_t>(messages));
    const double nsPerMessage = seconds * 1e9 / messages;
    state.counters["ns_per_message"] = nsPerMessage;
    bench::recordFigure({ "codec decode+dispatch", nsPerMessage, "ns/message", 1000.0 });
}
BENCHMARK(BM_DecodeAndDispatch)->Unit(benchmark::kMillisecond);

// From the moment a frame's last byte is written into the line (the master side of a
// pseudo-terminal whose other side the serial transport reads) to its callback on the main thread.
void BM_SerialFrameToCallback(benchmark::State& state)
{
    platform::RealClock clock;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::grantpt(master);
    ::unlockpt(master);
    const std::string path = ::ptsname(master);
    AntDriver driver(clock, [&](std::uint8_t, std::uint32_t baud, std::string&) {
        return std::make_unique<SerialTransport>(clock, path, baud);
    });
    if (!driver.ANT_Init(0, 57600, 0, 0)) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    std::array<std::uint8_t, 9> buffer {};
    using Time = std::chrono::steady_clock::time_point;
    Time arrived {};
    bool called = false;
    std::vector<double> latencies;
    driver.ANT_AssignChannelEventFunction(
        0,
        [&](std::uint8_t, std::uint8_t) {
            latencies.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - arrived).count());
            called = true;
            return std::uint8_t { 0 };
        },
        buffer);
    const std::array<std::uint8_t, 8> data { 1, 2, 3, 4, 5, 6, 7, 8 };
    const auto frame = encodeFrame(command::broadcastData(0, data));
    for (auto _ : state) {
        called = false;
        [[maybe_unused]] auto n = ::write(master, frame.data.data(), frame.size);
        arrived = std::chrono::steady_clock::now();
        while (!called) {
            clock.waitForEvents(100);
            clock.runMainRequests();
        }
    }
    driver.ANT_Close();
    ::close(master);
    std::ranges::sort(latencies);
    const double median = latencies[latencies.size() / 2];
    const double p99 = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
    state.counters["median_ms"] = median;
    state.counters["p99_ms"] = p99;
    bench::recordFigure({ "serial frame to callback, median", median, "ms", 1.0 });
    // Our own bound for the tail: ten times the median's goal.
    bench::recordFigure({ "serial frame to callback, 99th percentile", p99, "ms", 10.0 });
}
BENCHMARK(BM_SerialFrameToCallback)->Iterations(caltrix::bench::iterations(2000))->Unit(benchmark::kMicrosecond);

// The longest time the main thread is kept from processing events while the stick hangs for 5 s in
// the middle of a ride, over the serial transport: the stick (behind a pseudo-terminal, served by
// this thread) stops reading and answering.
void BM_MainThreadWhileTheStickHangs(benchmark::State& state)
{
    platform::RealClock clock;
    antsim::WorldOptions options;
    options.keyA = defaultNetworkKeyA();
    options.keyB = defaultNetworkKeyB();
    antsim::SimWorld world(clock, options);
    antsim::VirtualStick stick(world);
    antsim::PtyStick pty(stick);
    std::string error;
    if (!pty.start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    AntDriver driver(clock, [&](std::uint8_t, std::uint32_t baud, std::string&) {
        return std::make_unique<SerialTransport>(clock, pty.path(), baud);
    });
    for (auto _ : state) {
        if (!driver.ANT_Init(0, 57600, 0, 0)) {
            state.SkipWithError("cannot open the pseudo-terminal");
            return;
        }
        const auto longestGap
            = bench::longestGapWhileTheStickHangs(clock, driver, options.trainerNumber, [&] { stick.stall(); });
        driver.ANT_Close();
        if (!longestGap) {
            state.SkipWithError("the trainer was not heard");
            return;
        }
        state.counters["longest_gap_ms"] = *longestGap;
        bench::recordFigure({ "main thread kept from events while the serial stick hangs 5 s", *longestGap, "ms", 20.0 });
    }
}
BENCHMARK(BM_MainThreadWhileTheStickHangs)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return caltrix::bench::runBenchmarkProgram(argc, argv); }
