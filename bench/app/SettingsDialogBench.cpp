// How quickly the settings dialog is open and painted: read from a configured registry and the
// run settings file, laid out, shown and painted once. The first opening in the process counts,
// as a rider meets it (nothing of the dialog's style is cached yet); the mean of all follows.
#include "BenchProgram.h"
#include "app/SettingsDialog.h"
#include "app/settings/SampleSettings.h"
#include "hive/CurrentUser.h"
#include "hive/Hive.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>

namespace {

using namespace caltrix;

void openAndPaint()
{
    app::SettingsDialog dialog({});
    dialog.show();
    while (!dialog.windowHandle() || !dialog.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    dialog.repaint();
}

void BM_SettingsDialogOpenedAndPainted(benchmark::State& state)
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    hive::Hive hive(dir.filePath(QStringLiteral("user.reg")));
    app::writeSampleSettings(hive, 12345);
    const hive::ScopedCurrentUser user(hive);
    std::optional<double> first;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        openAndPaint();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(ms / 1e3);
        first = first.value_or(ms);
        total += ms;
    }
    std::printf("settings dialog: first %.1f ms, mean %.1f ms\n", first.value_or(0),
        total / static_cast<double>(state.iterations()));
    bench::recordFigure({ "settings dialog opened and painted (first opening)", first.value_or(0), "ms", 100 });
}
BENCHMARK(BM_SettingsDialogOpenedAndPainted)->UseManualTime()->Iterations(caltrix::bench::iterations(20))->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    caltrix::bench::paintOffscreenUnlessAPlatformIsChosen();
    return caltrix::bench::runBenchmarkProgram<QApplication>(argc, argv);
}
