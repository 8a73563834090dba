// One row of the benchmark table. Every benchmark program prints its figures
// as CSV rows on standard output; scripts/bench gathers them into one table,
// a CSV file and a chart. A ratio of 0 means the figure has no baseline and
// stands against its target alone.
#pragma once

#include <cstdio>
#include <string>

struct BenchRow {
    std::string name;
    std::string unit;
    double measured = 0;
    double baseline = 0;
    double ratio = 0;
    std::string target;
};

inline void PrintRow(const BenchRow& row) {
    std::printf("%s,%s,%.3f,%.3f,%.3f,%s\n", row.name.c_str(), row.unit.c_str(), row.measured,
                row.baseline, row.ratio, row.target.c_str());
    std::fflush(stdout);
}
