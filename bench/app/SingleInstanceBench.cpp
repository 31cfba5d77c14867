// What the one-Caltrix-per-stick check adds to a start: the lock, the attempt to reach a running
// Caltrix and listening on the stick's socket, in a runtime folder where none runs yet.
#include "BenchProgram.h"
#include "app/SingleInstance.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

#include <stdlib.h>

namespace {

void BM_SingleInstanceCheckAtAFirstStart(benchmark::State& state)
{
    const QTemporaryDir runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        caltrix::app::SingleInstance instance(caltrix::app::StickOfThisStart(), {});
        const bool first = !instance.claim();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (!first) {
            state.SkipWithError("another Caltrix answered in a runtime folder of its own");
            return;
        }
    }
    caltrix::bench::recordFigure(
        { "one-Caltrix-per-stick check at start", 1e3 * total / static_cast<double>(state.iterations()), "ms", 5 });
}
BENCHMARK(BM_SingleInstanceCheckAtAFirstStart)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
