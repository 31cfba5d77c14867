// The shipped program: how much room its package takes once installed, and how long the real
// caltrix binary takes from its start to its window shown on a real X server (Xvfb) over antsim's
// serial stick, beyond what the simulated radio allows at best.
#include "BenchProgram.h"
#include "X11Session.h"

#include "app/settings/SampleSettings.h"
#include "hive/Hive.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <optional>
#include <thread>

namespace {

using namespace caltrix;

constexpr std::uint16_t TrainerNumber = 12345; // antsim's trainer
constexpr double KiB = 1024;

// The bytes of every file under `folder`.
qint64 sizeOfFiles(const QString& folder)
{
    qint64 total = 0;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        total += QFileInfo(it.next()).size();
    return total;
}

// What the package installs: a stripped install of the build, as the package is made of.
void BM_InstalledPackageSize(benchmark::State& state)
{
    QTemporaryDir stage;
    qint64 bytes = 0;
    for (auto _ : state) {
        QProcess install;
        install.start(QStringLiteral("cmake"), { QStringLiteral("--install"), QStringLiteral(CALTRIX_BUILD_FOLDER),
            QStringLiteral("--prefix"), stage.path(), QStringLiteral("--strip") });
        if (!install.waitForFinished(e2e::PatienceMs) || install.exitCode() != 0) {
            state.SkipWithError("cmake --install failed");
            return;
        }
        bytes = sizeOfFiles(stage.path());
    }
    std::printf("installed: %lld bytes\n", static_cast<long long>(bytes));
    bench::recordFigure({ "installed package size", static_cast<double>(bytes) / KiB, "KiB", 2048 });
}
BENCHMARK(BM_InstalledPackageSize)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// antsim with its messages in and out on standard error (-v), timed as they arrive: the stick is
// opened at the host's first message; the radio's floor ends when the trainer and its speed
// sensor have each handed the host their first broadcast.
struct TimedAntsim {
    bool start(const QElapsedTimer& clock)
    {
        process.start(QStringLiteral(ANTSIM_PATH), { QStringLiteral("-v") });
        if (!process.waitForStarted(e2e::PatienceMs) || !e2e::waitUntil([&] { return process.canReadLine(); }))
            return false;
        path = QString::fromLocal8Bit(process.readLine()).trimmed();
        QObject::connect(&process, &QProcess::readyReadStandardError, [this, &clock] {
            while (process.canReadLine()) {
                const QString line = QString::fromLocal8Bit(process.readLine());
                note(line, clock.elapsed());
            }
        });
        process.setReadChannel(QProcess::StandardError);
        return true;
    }
    void note(const QString& line, qint64 at)
    {
        if (!stickOpened && line.startsWith(QLatin1String("->")))
            stickOpened = at;
        // "<- BroadcastData [CC …]": CC is the channel; the trainer's is 01, its sensor's another.
        if (!line.startsWith(QLatin1String("<- BroadcastData [")))
            return;
        auto& first = line.startsWith(QLatin1String("<- BroadcastData [01")) ? firstTrainer : firstSensor;
        if (!first)
            first = at;
    }
    std::optional<qint64> floor() const
    {
        if (!stickOpened || !firstTrainer)
            return std::nullopt;
        return std::max(*firstTrainer, firstSensor.value_or(*firstTrainer)) - *stickOpened;
    }
    ~TimedAntsim()
    {
        process.kill();
        process.waitForFinished(e2e::PatienceMs);
    }

    QProcess process;
    QString path;
    std::optional<qint64> stickOpened, firstTrainer, firstSensor;
};

// Looks for the main window on `display` as fast as xdotool answers; the moment it is seen, or -2
// when it is not seen within the patience. Any thread.
qint64 whenWindowShown(const QString& display, const QElapsedTimer& clock)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    while (clock.elapsed() < e2e::PatienceMs) {
        QProcess search;
        search.setProcessEnvironment(env);
        search.start(QStringLiteral("xdotool"),
            { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), QStringLiteral("^Form1") });
        search.waitForFinished(e2e::PatienceMs);
        if (search.exitCode() == 0 && !search.readAllStandardOutput().trimmed().isEmpty())
            return clock.elapsed();
    }
    return -2;
}

// The trainer settings of a configured Caltrix (antsim's trainer), in a folder of their own.
struct SampleSettings {
    SampleSettings()
    {
        hive::Hive hive(registry);
        app::writeSampleSettings(hive, TrainerNumber);
    }
    QTemporaryDir folder;
    QString registry = folder.filePath(QStringLiteral("user.reg"));
};

// caltrix over antsim's terminal at `path`, with the settings in `registry` and `runtime` as its
// session's runtime folder.
QProcessEnvironment caltrixEnvironment(const e2e::XSession& x, const QString& path, const QString& registry,
                                       const QString& runtime)
{
    QProcessEnvironment env = x.environment();
    env.insert(QStringLiteral("CALTRIX_ANT"), QStringLiteral("serial:") + path);
    env.insert(QStringLiteral("CALTRIX_REGISTRY"), registry);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    return env;
}

void BM_StartToWindowShownOverAntsim(benchmark::State& state)
{
    e2e::XSession x;
    const SampleSettings settings;
    const QString& registry = settings.registry;
    std::optional<double> coldExcess; // the first start: nothing of the program is in the page cache yet
    double excessSum = 0;
    int runs = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        TimedAntsim antsim;
        QProcess caltrix;
        if (!x.running() || !antsim.start(clock)) {
            state.SkipWithError("Xvfb or antsim did not start");
            return;
        }
        const QTemporaryDir runtime; // a session of its own: a clean first start every time
        caltrix.setProcessEnvironment(caltrixEnvironment(x, antsim.path, registry, runtime.path()));
        const qint64 start = clock.elapsed();
        caltrix.start(QStringLiteral(CALTRIX_PATH), {});
        // The window is looked for on a thread of its own, so that antsim's lines are timed here as
        // they arrive.
        std::atomic<qint64> shownAt { -1 };
        std::thread looking([&] { shownAt = whenWindowShown(x.display(), clock); });
        e2e::waitUntil([&] { return shownAt != -1; });
        looking.join();
        const bool shown = shownAt >= 0;
        const qint64 took = shownAt - start;
        const auto floor = antsim.floor();
        caltrix.kill();
        caltrix.waitForFinished(e2e::PatienceMs);
        if (!shown || !floor) {
            std::fprintf(stderr, "caltrix said:\n%s\nantsim said:\n%s\n", caltrix.readAllStandardError().constData(),
                antsim.process.readAllStandardError().constData());
            state.SkipWithError("the window did not appear over antsim");
            return;
        }
        const double excess = static_cast<double>(took - *floor);
        std::printf("run %d: caltrix started to its window shown in %lld ms; the radio's floor %lld ms; excess %.0f ms "
                    "(%lld ms before the stick opened)\n",
            runs + 1, static_cast<long long>(took), static_cast<long long>(*floor), excess,
            static_cast<long long>(*antsim.stickOpened - start));
        if (!coldExcess)
            coldExcess = excess;
        excessSum += excess;
        ++runs;
    }
    std::printf("mean excess of all runs %.0f ms\n", excessSum / runs);
    bench::recordFigure({ "caltrix started to its window shown over antsim, beyond the connection floor",
        coldExcess.value_or(0), "ms", 150 });
}
BENCHMARK(BM_StartToWindowShownOverAntsim)->Iterations(caltrix::bench::iterations(3))->Unit(benchmark::kMillisecond)->UseRealTime();

// A logout's SIGTERM while riding on P1, to the program's exit: the device's Disconnect (the
// waits after closing each open channel and after the stick's reset, ending on the stick's
// confirmations; the settling waits in full) and the run's end line, as Close.
void BM_SigtermToExitOverAntsim(benchmark::State& state)
{
    e2e::XSession x;
    const SampleSettings settings;
    const QString& registry = settings.registry;
    qint64 worst = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        TimedAntsim antsim;
        if (!x.running() || !antsim.start(clock)) {
            state.SkipWithError("Xvfb or antsim did not start");
            return;
        }
        const QTemporaryDir runtime;
        QProcess caltrix;
        caltrix.setProcessEnvironment(caltrixEnvironment(x, antsim.path, registry, runtime.path()));
        caltrix.start(QStringLiteral(CALTRIX_PATH), {});
        // The window is shown once the trainer answered and P1 was applied.
        if (whenWindowShown(x.display(), clock) < 0) {
            caltrix.kill();
            caltrix.waitForFinished(e2e::PatienceMs);
            state.SkipWithError("the window did not appear over antsim");
            return;
        }
        const qint64 signalled = clock.elapsed();
        ::kill(static_cast<pid_t>(caltrix.processId()), SIGTERM);
        const bool ended = caltrix.waitForFinished(e2e::PatienceMs) && caltrix.exitStatus() == QProcess::NormalExit
            && caltrix.exitCode() == 0;
        const qint64 took = clock.elapsed() - signalled;
        if (!ended) {
            caltrix.kill();
            caltrix.waitForFinished(e2e::PatienceMs);
            state.SkipWithError("caltrix did not end with status 0 after SIGTERM");
            return;
        }
        std::printf("SIGTERM to exit: %lld ms\n", static_cast<long long>(took));
        worst = std::max(worst, took);
    }
    bench::recordFigure({ "SIGTERM to exit over antsim", static_cast<double>(worst), "ms", 2000 });
}
BENCHMARK(BM_SigtermToExitOverAntsim)->Iterations(caltrix::bench::iterations(3))->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) { return caltrix::bench::runBenchmarkProgram(argc, argv); }
