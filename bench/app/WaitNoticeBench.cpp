// How quickly the wait notice is up and painted, and what one repaint of it costs.
#include "BenchProgram.h"
#include "app/WaitDlg.h"
#include "app/WaitUnit.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>

using namespace caltrix::app;

namespace {
const QString Connecting = QStringLiteral("Wait Connection....");

// ShowWaitNotice returns once the notice has been painted; taking it down is not counted.
void BM_ShowWaitNoticeUntilPainted(benchmark::State& state)
{
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ShowWaitNotice(Connecting, false, true, 1);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        HideWaitNotice();
    }
    caltrix::bench::recordFigure(
        { "ShowWaitNotice until painted", 1e3 * total / static_cast<double>(state.iterations()), "ms", 20 });
}
BENCHMARK(BM_ShowWaitNoticeUntilPainted)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RepaintWaitNotice(benchmark::State& state)
{
    ShowWaitNotice(Connecting, true, true, 1);
    TWaitDlgForm* notice = WaitNotice();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        notice->repaint();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    HideWaitNotice();
    caltrix::bench::recordFigure(
        { "wait notice repaint", 1e3 * seconds / static_cast<double>(state.iterations()), "ms", 1 });
}
BENCHMARK(BM_RepaintWaitNotice)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    caltrix::bench::paintOffscreenUnlessAPlatformIsChosen();
    return caltrix::bench::runBenchmarkProgram<QApplication>(argc, argv);
}
