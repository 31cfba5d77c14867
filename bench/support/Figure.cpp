#include "Figure.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <map>

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

int runBenchmarksAndPrintFigures(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [name, f] : figures())
        std::printf("%s\n", formatFigure(f).c_str());
    return 0;
}

} // namespace caltrix::bench
