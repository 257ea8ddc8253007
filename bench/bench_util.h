// Timing helpers shared by the benchmarks: a millisecond clock and the median of a sample.
#pragma once
#include <windows.h>
#include <algorithm>
#include <vector>

// Milliseconds from an arbitrary origin, at the performance counter's resolution.
inline double FfBenchNow()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

// The middle value (the upper one of an even count); 0 for no values.
inline double FfBenchMedian(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}
