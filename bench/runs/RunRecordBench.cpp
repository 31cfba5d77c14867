// Time to record one statistics tick of a run: the line is made and written to the file at once,
// so that a killed program loses at most that line. Timed in the CPU time of the benchmark's
// thread, which includes the system's work for the write.
#include "BenchProgram.h"
#include "runs/RunRecord.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

using namespace caltrix;

double milliseconds(std::chrono::nanoseconds d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_RecordLine(benchmark::State& state)
{
    QTemporaryDir folder;
    std::string failure;
    runs::RunRecord record(folder.path(), QDateTime::currentDateTime(),
        [&failure](const QString& message) { failure = message.toStdString(); });
    record.startRun(QDateTime::currentDateTime(), { 12345, 5, 74, 1 }, { QStringLiteral("P2"), 25, 6 });
    record.recordTick({ 0, 25, true }); // makes the file and its header outside the timing
    int second = 1;
    std::chrono::nanoseconds total {};
    for (auto _ : state) {
        const auto start = bench::threadCpuTime();
        record.recordTick({ second, 24.5 + (second % 100) / 100.0, second % 3 != 0 });
        total += bench::threadCpuTime() - start;
        ++second;
    }
    if (!failure.empty()) {
        state.SkipWithError(failure.c_str());
        return;
    }
    bench::recordFigure({ "one record line written and flushed",
        milliseconds(total) / static_cast<double>(state.iterations()), "ms", 0.2 });
}
BENCHMARK(BM_RecordLine)->Iterations(caltrix::bench::iterations(10'000))->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) { return caltrix::bench::runBenchmarkProgram(argc, argv); }
