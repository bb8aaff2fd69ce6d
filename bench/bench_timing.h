#pragma once
// The clock and the median of the benchmark programs.
#include <windows.h>

#include <algorithm>
#include <vector>

// Seconds on the performance counter.
inline double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return double(count.QuadPart) / double(frequency.QuadPart);
}

inline double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Medians {
    double ours;
    double floor;
};

// Runs `ours` and `floor` in turns `runs` times, so that a drift of the machine
// weighs on both alike, and gives the median of each.
template <class Ours, class Floor>
Medians TimeInTurns(int runs, Ours ours, Floor floor) {
    std::vector<double> oursTimes, floorTimes;
    for (int run = 0; run < runs; ++run) {
        double start = Now();
        floor();
        floorTimes.push_back(Now() - start);
        start = Now();
        ours();
        oursTimes.push_back(Now() - start);
    }
    return Medians{Median(oursTimes), Median(floorTimes)};
}
