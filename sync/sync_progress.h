#pragma once
// How far the copies of a run have come: the copiers write the record under
// its lock, and whoever shows progress reads it on a thread of its own.
#include <windows.h>

#include <cstdint>

struct SyncProgressFigures {
    uint64_t filesTotal;
    uint64_t bytesTotal;
    uint64_t filesDone;
    uint64_t bytesDone;
};

struct SyncProgress {
    CRITICAL_SECTION lock;
    SyncProgressFigures figures;
};

void SyncProgressInit(SyncProgress* progress);
void SyncProgressFree(SyncProgress* progress);
// Each does nothing for a null record.
void SyncProgressAddTotal(SyncProgress* progress, uint64_t files, uint64_t bytes);
void SyncProgressAddDone(SyncProgress* progress, uint64_t files, uint64_t bytes);
SyncProgressFigures SyncProgressRead(SyncProgress* progress);
