// Time to read and to change large hives: reading 100,000 values in one key, and imports that set
// them or add many keys, must grow with the size of the file, not with its square.
// Timed in the CPU time of the benchmark's thread (the work runs on it alone).
#include "BenchProgram.h"
#include "hive/HiveDocument.h"
#include "hive/RegeditImport.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using namespace caltrix;

constexpr int ValueCount = 100'000;
const QString BigKey = QStringLiteral("Software\\Bench\\Big");

// `header`, then one key holding ValueCount string values (about 2.3 MB), named as `keyLine` says.
QByteArray oneBigKey(const QByteArray& header, const QByteArray& keyLine)
{
    QByteArray text = header + keyLine;
    for (int i = 0; i < ValueCount; ++i) {
        const QByteArray n = QByteArray::number(i);
        text += "\"Value" + n + "\"=\"Some text " + n + "\"\n";
    }
    return text;
}

double milliseconds(std::chrono::nanoseconds d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Parses the file and reads its last value, as a settings read of that key does.
void BM_ParseHugeKey(benchmark::State& state)
{
    const QByteArray bytes = oneBigKey("WINE REGISTRY Version 2\n\n", "[Software\\\\Bench\\\\Big] 1796864248\n");
    std::chrono::nanoseconds total {};
    for (auto _ : state) {
        const auto start = bench::threadCpuTime();
        const auto doc = hive::HiveDocument::parse(bytes, QStringLiteral("bench.reg"));
        benchmark::DoNotOptimize(doc.findKey(BigKey)->findValue(QStringLiteral("value99999")));
        total += bench::threadCpuTime() - start;
    }
    bench::recordFigure({ "hive parse, 100,000 values in one key",
        milliseconds(total) / static_cast<double>(state.iterations()), "ms", 50 });
}
BENCHMARK(BM_ParseHugeKey)->Iterations(caltrix::bench::iterations(5))->Unit(benchmark::kMillisecond);

// Informational: imports a registry editor export of those values into an empty hive.
void BM_ImportHugeKey(benchmark::State& state)
{
    const QByteArray bytes = oneBigKey("Windows Registry Editor Version 5.00\n\n", "[HKEY_CURRENT_USER\\Software\\Bench\\Big]\n");
    std::chrono::nanoseconds total {};
    for (auto _ : state) {
        hive::HiveDocument doc;
        const auto start = bench::threadCpuTime();
        benchmark::DoNotOptimize(hive::importRegedit(bytes, QStringLiteral("bench.reg"), doc));
        total += bench::threadCpuTime() - start;
    }
    bench::recordFigure({ "hive import, 100,000 values in one key (informational)",
        milliseconds(total) / static_cast<double>(state.iterations()), "ms", 1000 });
}
BENCHMARK(BM_ImportHugeKey)->Iterations(caltrix::bench::iterations(3))->Unit(benchmark::kMillisecond);

// Informational: imports an export of 20,000 keys that the hive does not have yet.
void BM_ImportManyKeys(benchmark::State& state)
{
    QByteArray bytes = "Windows Registry Editor Version 5.00\n\n";
    for (int i = 0; i < 20'000; ++i) {
        bytes += "[HKEY_CURRENT_USER\\Software\\Vendor" + QByteArray::number(i / 100) + "\\App" + QByteArray::number(i)
            + "]\n\"V\"=\"" + QByteArray::number(i) + "\"\n\n";
    }
    std::chrono::nanoseconds total {};
    for (auto _ : state) {
        hive::HiveDocument doc;
        const auto start = bench::threadCpuTime();
        hive::importRegedit(bytes, QStringLiteral("bench.reg"), doc);
        benchmark::DoNotOptimize(doc.serialize(1));
        total += bench::threadCpuTime() - start;
    }
    bench::recordFigure({ "hive import and write, 20,000 new keys (informational)",
        milliseconds(total) / static_cast<double>(state.iterations()), "ms", 1000 });
}
BENCHMARK(BM_ImportManyKeys)->Iterations(caltrix::bench::iterations(3))->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return caltrix::bench::runBenchmarkProgram(argc, argv); }
