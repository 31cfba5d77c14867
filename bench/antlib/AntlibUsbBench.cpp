// The USB transport on a hung stick: how long the main thread is kept from processing events while
// an emulated USB stick (umockdev, with the virtual stick behind it) hangs for 5 s mid-ride.
#include "EmulatedUsb.h"
#include "BenchProgram.h"
#include "StickBehindUsb.h"
#include "StickStall.h"

#include "antlib/AntDriver.h"
#include "antlib/UsbTransport.h"
#include "antsim/SimWorld.h"
#include "platform/Clock.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

using namespace caltrix;
using namespace caltrix::antlib;

namespace {

// The stick takes no more transfers and sends nothing, while the host goes on writing.
void BM_MainThreadWhileTheUsbStickHangs(benchmark::State& state)
{
    platform::RealClock clock;
    antlib::test::EmulatedUsb bus;
    auto& usb = bus.addAntStick(0x1008, 1);
    antlib::test::StickBehindUsb stick(clock, usb);
    AntDriver driver(clock, [&](std::uint8_t n, std::uint32_t, std::string&) { return std::make_unique<UsbTransport>(clock, n); });
    for (auto _ : state) {
        if (!driver.ANT_Init(0, 57600, 0, 0)) {
            state.SkipWithError("cannot open the emulated USB stick");
            return;
        }
        const auto longestGap = bench::longestGapWhileTheStickHangs(
            clock, driver, antsim::WorldOptions {}.trainerNumber, [&] { usb.stall(); });
        driver.ANT_Close();
        if (!longestGap) {
            state.SkipWithError("the trainer was not heard");
            return;
        }
        state.counters["longest_gap_ms"] = *longestGap;
        bench::recordFigure({ "main thread kept from events while the USB stick hangs 5 s", *longestGap, "ms", 20.0 });
    }
}
BENCHMARK(BM_MainThreadWhileTheUsbStickHangs)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // libusb must find the emulated bus: the whole process runs under umockdev's preload.
    antlib::test::reexecUnderUmockdev();
    return caltrix::bench::runBenchmarkProgram(argc, argv);
}
