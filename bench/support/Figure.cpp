#include "Figure.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace caltrix::bench {

namespace {
std::map<std::string, Figure>& figures()
{
    static std::map<std::string, Figure> recorded;
    return recorded;
}

std::string number(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3g", v);
    return buf;
}
} // namespace

void recordFigure(const Figure& figure) { figures()[figure.name] = figure; }

std::string formatFigure(const Figure& f)
{
    return "figure: " + f.name + " = " + number(f.value) + " " + f.unit + " (goal: < " + number(f.limit) + " "
        + f.unit + ")";
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
