#include "Figure.h"

#include <benchmark/benchmark.h>

#include <QtGlobal>

#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace caltrix::bench {

namespace {
std::map<std::string, Figure>& figures()
{
    static std::map<std::string, Figure> recorded;
    return recorded;
}

// Three significant digits, never in exponent form, so that lines compare at a glance.
std::string number(double v)
{
    char buf[64];
    if (v >= 1000 || v <= -1000)
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else
        std::snprintf(buf, sizeof buf, "%.3g", v);
    if (std::string(buf).find('e') != std::string::npos)
        std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}
} // namespace

void recordFigure(const Figure& figure) { figures()[figure.name] = figure; }

std::string formatFigure(const Figure& f)
{
    return "figure: " + f.name + " = " + number(f.value) + " " + f.unit + " (goal: < " + number(f.limit) + " "
        + f.unit + ")";
}

std::chrono::nanoseconds threadCpuTime()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

bool quickRun() { return qEnvironmentVariableIntValue("CALTRIX_BENCH_QUICK") != 0; }

std::int64_t iterations(std::int64_t count) { return quickRun() ? 1 : count; }

namespace {
// The console's report, noting the benchmarks that ended in an error: their figures are missing.
class ErrorNotingReporter final : public benchmark::ConsoleReporter {
public:
    ErrorNotingReporter()
        : ConsoleReporter(OO_Tabular)
    {
    }
    void ReportRuns(const std::vector<Run>& reports) override
    {
        for (const Run& run : reports)
            if (run.error_occurred)
                failed.push_back(run.benchmark_name() + ": " + run.error_message);
        ConsoleReporter::ReportRuns(reports);
    }
    std::vector<std::string> failed;
};
} // namespace

int runBenchmarksAndPrintFigures(int argc, char** argv)
{
    // The quick run stops each benchmark after its first iteration; a minimum time given on the
    // command line, which comes later, still wins.
    std::vector<char*> arguments(argv, argv + argc);
    static char onceEach[] = "--benchmark_min_time=0";
    if (quickRun())
        arguments.insert(arguments.begin() + 1, onceEach);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data()))
        return 1;
    ErrorNotingReporter reporter; // plain text: the figures go to logs
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const bool judged = !quickRun();
    if (!judged)
        std::printf("quick run: each benchmark ran once; its figures are not judged\n");
    int missed = 0;
    for (const auto& [name, f] : figures()) {
        const bool met = f.value < f.limit;
        missed += met ? 0 : 1;
        std::printf("%s%s\n", formatFigure(f).c_str(), judged && !met ? " MISSED" : "");
    }
    std::fflush(stdout);
    // A benchmark that could not measure fails even in the quick run: it no longer runs to its end.
    for (const std::string& failure : reporter.failed)
        std::fprintf(stderr, "%s: %s\n", argv[0], failure.c_str());
    if (!reporter.failed.empty())
        return 1;
    if (judged && missed > 0) {
        std::fprintf(stderr, "%s: %d goal%s missed\n", argv[0], missed, missed == 1 ? "" : "s");
        return 1;
    }
    return 0;
}

} // namespace caltrix::bench
