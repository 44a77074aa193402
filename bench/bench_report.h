#pragma once
// What every benchmark program shares: a monotonic clock, medians, and the summary rows that
// scripts/bench.sh lifts out of each program's section into the report's summary table.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

inline double Seconds()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One row of the summary table: what was measured, the figure, the goal and whether it is met
// ("met", "not met", or "reported" where the goal is only to report).
inline void PrintSummaryRow(const char* measurement, const char* result, const char* goal, const char* verdict)
{
    std::printf("summary|%s|%s|%s|%s\n", measurement, result, goal, verdict);
}
