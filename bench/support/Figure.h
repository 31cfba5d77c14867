#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace caltrix::bench {

// A goal figure: one measured value with the limit it must stay under.
// Printed as "figure: NAME = VALUE UNIT (goal: < LIMIT UNIT)" so runs compare line by line.
struct Figure {
    std::string name;
    double value = 0;
    std::string unit;
    double limit = 0;
};

// Remembers a figure measured inside a benchmark; a later record of the same name replaces it.
void recordFigure(const Figure& figure);

// Formats one figure line (without the newline).
std::string formatFigure(const Figure& figure);

// CPU time the calling thread has used so far. Work that runs on one thread is timed with it, so
// that the figure does not depend on what else the machine is doing meanwhile.
std::chrono::nanoseconds threadCpuTime();

// The quick run (CALTRIX_BENCH_QUICK=1, as `make bench-smoke` sets it): each benchmark as few times
// as Google Benchmark allows, its figures printed but not judged. It shows that every benchmark
// still runs to its end, not how fast.
bool quickRun();

// `count` iterations, or one in the quick run: for the benchmarks that fix their own count.
std::int64_t iterations(std::int64_t count);

// Runs the benchmarks selected on the command line, then prints every recorded figure and judges
// it against its goal: a missed goal is marked on its line and makes the result 1 (not in the
// quick run). A benchmark that ended in an error makes the result 1 in every run.
int runBenchmarksAndPrintFigures(int argc, char** argv);

} // namespace caltrix::bench
