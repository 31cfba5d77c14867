// Time of one settings read (one value of the device key, as the calibration tool reads it) from
// a 5 MB hive: unchanged since the last read, and changed before every read.
#include "BenchProgram.h"
#include "app/settings/StoredSettings.h"
#include "hive/CurrentUser.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using namespace caltrix;

constexpr qsizetype HiveSize = 5 * 1024 * 1024;

// A hive of about 5 MB in Wine's format: many keys of mixed values, the device key among them
// holding `deviceNumber` (four digits, so that every variant has the same size).
QByteArray bigHive(int deviceNumber)
{
    QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n";
    for (int key = 0; text.size() < HiveSize; ++key) {
        if (key == 3000) {
            text += "[" + app::DeviceKeyPath.toLatin1().replace("\\", "\\\\") + "] 1796864248\n#time=1dd88416dcd2ede\n\""
                + app::TrainerDeviceNumberName.toLatin1() + "\"=\"" + QByteArray::number(deviceNumber) + "\"\n\""
                + app::UnitTypeName.toLatin1() + "\"=\"5\"\n\n";
        }
        text += "[Software\\\\Bench\\\\Vendor" + QByteArray::number(key / 100) + "\\\\App" + QByteArray::number(key)
            + "] 1796864248\n#time=1dd88416dcd2ede\n";
        for (int value = 0; value < 8; ++value) {
            const QByteArray n = QByteArray::number(value);
            text += "\"Text" + n + "\"=\"C:\\\\Program Files\\\\Vendor\\\\file" + n + ".dat \\xe9\"\n";
            text += "\"Number" + n + "\"=dword:0000000" + n + "\n";
            text += "\"Blob" + n + "\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f\n";
        }
        text += '\n';
    }
    return text;
}

class BenchHive {
public:
    BenchHive()
        : variants { bigHive(1234), bigHive(4321) }
    {
        change(0);
    }
    QString path() const { return dir.filePath(QStringLiteral("user.reg")); }
    // Rewrites the file in place with other content of the same size, and gives it an old
    // modification time (a different one each step), as a hive changed a while ago.
    void change(int step)
    {
        QFile file(path());
        file.open(QIODevice::ReadWrite | QIODevice::Truncate);
        file.write(variants[step % 2]);
        file.setFileTime(QDateTime::fromSecsSinceEpoch(1'700'000'000 + step), QFileDevice::FileModificationTime);
    }

private:
    QTemporaryDir dir;
    QByteArray variants[2];
};

BenchHive& benchHive()
{
    static BenchHive hive;
    return hive;
}

double microseconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void BM_SettingsReadUnchangedHive(benchmark::State& state)
{
    hive::Hive hive(benchHive().path());
    hive::ScopedCurrentUser user(hive);
    benchmark::DoNotOptimize(app::ReadTrainerDeviceNumber()); // the first read parses the file
    std::chrono::steady_clock::duration total {};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(app::ReadTrainerDeviceNumber());
        total += std::chrono::steady_clock::now() - start;
    }
    bench::recordFigure({ "settings read, unchanged 5 MB hive",
        microseconds(total) / static_cast<double>(state.iterations()), "us", 50 });
}
BENCHMARK(BM_SettingsReadUnchangedHive)->Unit(benchmark::kMicrosecond);

// A changed file is read and parsed again, once per change; timed in the CPU time of the thread
// (reading the file included), so that other work on the machine does not count.
void BM_SettingsReadChangedHive(benchmark::State& state)
{
    hive::Hive hive(benchHive().path());
    hive::ScopedCurrentUser user(hive);
    std::chrono::nanoseconds total {};
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        benchHive().change(++step);
        state.ResumeTiming();
        const auto start = bench::threadCpuTime();
        benchmark::DoNotOptimize(app::ReadTrainerDeviceNumber());
        total += bench::threadCpuTime() - start;
    }
    bench::recordFigure({ "settings read, changed 5 MB hive",
        std::chrono::duration<double, std::milli>(total).count() / static_cast<double>(state.iterations()), "ms", 20 });
}
BENCHMARK(BM_SettingsReadChangedHive)->Iterations(caltrix::bench::iterations(20))->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return caltrix::bench::runBenchmarkProgram(argc, argv); }
