#pragma once
// The figures that the Analyze dialog and the console companion show about a
// running content comparison: percentage, time spans and the remaining time.
#include <windows.h>

#include <cstdint>

const unsigned kTimeSpanUnits = 2048;

// "1 h 0 min 0 sec", "1 min 1 sec" or "59 sec" into `text` (kTimeSpanUnits).
void FormatTimeSpan(DWORD milliseconds, wchar_t* text);

// done x 100 / total, rounded down; 0 when total is 0.
unsigned ProgressPercent(uint64_t totalBytes, uint64_t doneBytes);

// A point of the estimate: elapsed time and bytes compared; elapsed 0 means not taken yet.
struct ProgressSample {
    DWORD elapsedMs;
    uint64_t bytes;
};

// One progress report (not the last, where done equals total) fed to the
// estimate: the remaining bytes over the rate since `reference`, a point moved
// forward to `next` once it is more than 30 seconds old. True with
// `remainingMs` set once the reference is more than 15 seconds old; 0 when no
// byte was compared since the reference.
bool EstimateRemaining(ProgressSample* reference, ProgressSample* next, DWORD elapsedMs, uint64_t totalBytes,
                       uint64_t doneBytes, DWORD* remainingMs);
