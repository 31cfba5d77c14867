// The calibration window against the built-in virtual stick on the machine's clock: how long the
// program takes from its start to the window shown, beyond what the simulated radio allows at best;
// what one statistics tick costs in the window with its run strip shown; and the whole program's CPU
// and memory while a rider pedals (the real caltrix binary, offscreen, its run strip shown).
#include "BenchProgram.h"

#include "antlib/AntDriver.h"
#include "antlib/SimTransport.h"
#include "antproto/AntMessage.h"
#include "app/Unit1.h"
#include "app/settings/SampleSettings.h"
#include "device/TavorDeviceANT.h"
#include "hive/CurrentUser.h"
#include "hive/Hive.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

using namespace caltrix;
using Clock = std::chrono::steady_clock;

// From the start of main to a usable application object; set in main.
double applicationStartMs = 0;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The demo's settings in a hive of the benchmark's own.
struct BenchSettings {
    BenchSettings() { app::writeSampleSettings(hive, antlib::defaultWorldOptions().trainerNumber); }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("user.reg"));
    hive::Hive hive { path };
    hive::ScopedCurrentUser user { hive };
};

// A trainer device whose live speed the benchmark chooses.
class ChosenSpeedDevice final : public device::TTavorDeviceANT {
public:
    using TTavorDeviceANT::TTavorDeviceANT;
    double GetSpeed() override { return speed; }
    double speed = 0;
};

// The window with its trainer on the virtual stick. Notes when the stick opened and when it handed
// the host the first broadcast of the trainer and of its speed sensor: the radio's floor lies between,
// and everything else the program does before the window is shown counts against it.
struct SimWindow {
    std::unique_ptr<app::TForm1> create()
    {
        firstTrainerPacket.reset();
        firstSensorPacket.reset();
        return std::make_unique<app::TForm1>([this](platform::TComponent* Owner) {
            device = new ChosenSpeedDevice(Owner);
            device->SetAntLibraryFactory([this] {
                return std::make_unique<antlib::AntDriver>(platform::clock(),
                    antlib::virtualStickFactory(platform::clock(), world, [this](antlib::SimTransport& stick) {
                        stickOpened = Clock::now();
                        stick.stick().onMessage = [this](const antproto::AntMessage& m, bool toHost) {
                            if (!toHost || m.id != antproto::msg::BroadcastData)
                                return;
                            auto& first = m.at(0) == ant::TrainerChannel ? firstTrainerPacket : firstSensorPacket;
                            if (!first)
                                first = Clock::now();
                        };
                    }));
            });
            return device;
        });
    }

    antsim::WorldOptions world = antlib::defaultWorldOptions();
    ChosenSpeedDevice* device = nullptr;
    Clock::time_point stickOpened;
    std::optional<Clock::time_point> firstTrainerPacket;
    std::optional<Clock::time_point> firstSensorPacket;
};

void showAndWaitUntilExposed(app::TForm1& form)
{
    form.ShowCentred();
    while (!form.windowHandle() || !form.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    form.repaint();
}

void BM_StartToWindowShown(benchmark::State& state)
{
    BenchSettings settings;
    SimWindow sim;
    std::optional<double> coldExcess; // the first window: fonts, styles and the logo are loaded then
    double excessSum = 0;
    int runs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto form = sim.create();
        showAndWaitUntilExposed(*form);
        const auto shown = Clock::now();
        if (!sim.device->Connected() || !sim.firstTrainerPacket) {
            state.SkipWithError("the simulated trainer did not connect");
            return;
        }
        const auto lastFirst = std::max(*sim.firstTrainerPacket, sim.firstSensorPacket.value_or(*sim.firstTrainerPacket));
        const double floor = msBetween(sim.stickOpened, lastFirst);
        const double took = msBetween(start, shown);
        std::printf("run %d: window created, connected and shown in %.0f ms; the radio's floor %.0f ms; excess %.1f ms\n",
            runs + 1, took, floor, took - floor);
        if (!coldExcess)
            coldExcess = took - floor;
        excessSum += took - floor;
        ++runs;
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
    std::printf("application object ready %.1f ms after the start of main; mean excess of all runs %.1f ms\n",
        applicationStartMs, excessSum / runs);
    // A program starts once: the figure is the first, cold window.
    caltrix::bench::recordFigure({ "program start to the window shown, beyond the simulated radio's connection floor",
        applicationStartMs + coldExcess.value_or(0), "ms", 150 });
}
BENCHMARK(BM_StartToWindowShown)->Iterations(caltrix::bench::iterations(5))->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StatsTickInTheWindow(benchmark::State& state)
{
    BenchSettings settings;
    SimWindow sim;
    auto form = sim.create();
    showAndWaitUntilExposed(*form);
    if (!form->runStripShown()) {
        state.SkipWithError("the run strip is hidden");
        return;
    }
    int i = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        // The arrow, the number, the strip's trace and its scale change every time; the run is
        // recorded line by line.
        sim.device->speed = 10.37 + (i++ % 30);
        form->TavorDeviceANT1Stats(sim.device);
        QCoreApplication::sendPostedEvents(form.get(), QEvent::UpdateRequest); // paint what changed
    }
    const double perTickMs = msBetween(start, Clock::now()) / static_cast<double>(state.iterations());
    caltrix::bench::recordFigure(
        { "one statistics tick in the window with the run strip shown (arrow, speed label, trace, band, verdict, "
          "record line and repaint)",
            perTickMs, "ms", 1 });
}
BENCHMARK(BM_StatsTickInTheWindow)->Unit(benchmark::kMicrosecond)->UseRealTime();

// ---- the whole program ----------------------------------------------------------------------------

struct ProcessSample {
    double cpuSeconds = 0;
    double residentMb = 0;
};

std::optional<ProcessSample> sample(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Fields after the command name, which may hold spaces: state is field 3, utime 14, stime 15.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    ProcessSample s;
    s.cpuSeconds = (fields[11].toDouble() + fields[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
    for (const QByteArray& l : status.readAll().split('\n'))
        if (l.startsWith("VmRSS:"))
            s.residentMb = l.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    return s;
}

void BM_ProgramRidingOffscreen(benchmark::State& state)
{
    BenchSettings settings;
    constexpr int SettleSeconds = 5; // connected and riding by then, many times over
    constexpr int RideSeconds = 60;
    ProcessSample connected;
    double cpuShare = 0;
    for (auto _ : state) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CALTRIX_ANT"), QStringLiteral("sim"));
        env.insert(QStringLiteral("CALTRIX_REGISTRY"), settings.path);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(CALTRIX_PROGRAM), {});
        if (!program.waitForStarted()) {
            state.SkipWithError("the program did not start");
            return;
        }
        std::this_thread::sleep_for(std::chrono::seconds(SettleSeconds));
        const auto before = sample(program.processId());
        const auto wall0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(RideSeconds));
        const auto after = sample(program.processId());
        const double wall = msBetween(wall0, Clock::now()) / 1000;
        program.kill();
        program.waitForFinished();
        if (!before || !after) {
            state.SkipWithError("the program ended early");
            return;
        }
        connected = *before;
        cpuShare = 100.0 * (after->cpuSeconds - before->cpuSeconds) / wall;
    }
    std::printf("the program: %.1f MB resident after connecting, %.2f %% of a core while riding\n",
        connected.residentMb, cpuShare);
    caltrix::bench::recordFigure(
        { "CPU of the whole program, window shown offscreen, over 60 s of riding", cpuShare, "% of a core", 1.0 });
    caltrix::bench::recordFigure(
        { "resident memory of the whole program after connecting, run strip shown", connected.residentMb, "MB", 45 });
}
BENCHMARK(BM_ProgramRidingOffscreen)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    const auto start = Clock::now();
    caltrix::bench::paintOffscreenUnlessAPlatformIsChosen();
    return caltrix::bench::runBenchmarkProgram<QApplication>(
        argc, argv, [start] { applicationStartMs = msBetween(start, Clock::now()); });
}
