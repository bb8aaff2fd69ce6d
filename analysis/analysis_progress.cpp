#include "analysis/analysis_progress.h"

#include <cwchar>

void FormatTimeSpan(DWORD milliseconds, wchar_t* text) {
    unsigned hours = milliseconds / 3600000;
    unsigned minutes = (milliseconds % 3600000) / 60000;
    unsigned seconds = (milliseconds % 60000) / 1000;
    if (hours > 0) {
        swprintf(text, kTimeSpanUnits, L"%u h %u min %u sec", hours, minutes, seconds);
    } else if (minutes > 0) {
        swprintf(text, kTimeSpanUnits, L"%u min %u sec", minutes, seconds);
    } else {
        swprintf(text, kTimeSpanUnits, L"%u sec", seconds);
    }
}

unsigned ProgressPercent(uint64_t totalBytes, uint64_t doneBytes) {
    return totalBytes ? static_cast<unsigned>(doneBytes * 100 / totalBytes) : 0;
}

bool EstimateRemaining(ProgressSample* reference, ProgressSample* next, DWORD elapsedMs, uint64_t totalBytes,
                       uint64_t doneBytes, DWORD* remainingMs) {
    if (reference->elapsedMs == 0) *reference = {elapsedMs, doneBytes};
    DWORD sinceReference = elapsedMs - reference->elapsedMs;
    uint64_t bytesSinceReference = doneBytes - reference->bytes;
    bool shown = false;
    if (sinceReference > 15000) {
        if (next->elapsedMs == 0) *next = {elapsedMs, doneBytes};
        *remainingMs = 0;
        if (bytesSinceReference != 0) {
            double rate = static_cast<double>(bytesSinceReference) / static_cast<double>(sinceReference);
            *remainingMs =
                static_cast<DWORD>(static_cast<int64_t>(static_cast<double>(totalBytes - doneBytes) / rate));
        }
        shown = true;
    }
    if (sinceReference > 30000) {
        *reference = *next;
        *next = {elapsedMs, doneBytes};
    }
    return shown;
}
