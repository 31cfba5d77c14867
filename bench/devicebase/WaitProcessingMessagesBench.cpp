// CPU cost of waiting while processing messages on the machine's clock: the wait must sleep in
// the kernel between events, not spin.
#include "BenchProgram.h"
#include "devicebase/Helpers.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

namespace {

double processCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void BM_WaitProcessingMessages2000(benchmark::State& state)
{
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double cpu0 = processCpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        caltrix::devicebase::WaitProcessingMessages(2000);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        cpu += processCpuSeconds() - cpu0;
    }
    const double share = 100.0 * cpu / wall;
    state.counters["cpu_percent"] = share;
    caltrix::bench::recordFigure({ "WaitProcessingMessages(2000) CPU", share, "% of a core", 2.0 });
}
BENCHMARK(BM_WaitProcessingMessages2000)->Iterations(caltrix::bench::iterations(3))->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) { return caltrix::bench::runBenchmarkProgram(argc, argv); }
