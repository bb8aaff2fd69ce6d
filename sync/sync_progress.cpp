#include "sync/sync_progress.h"

#include "model/win_guards.h"

void SyncProgressInit(SyncProgress* progress) {
    InitializeCriticalSection(&progress->lock);
    progress->figures = SyncProgressFigures{};
}

void SyncProgressFree(SyncProgress* progress) { DeleteCriticalSection(&progress->lock); }

void SyncProgressAddTotal(SyncProgress* progress, uint64_t files, uint64_t bytes) {
    if (!progress) return;
    ScopedLock hold(&progress->lock);
    progress->figures.filesTotal += files;
    progress->figures.bytesTotal += bytes;
}

void SyncProgressAddDone(SyncProgress* progress, uint64_t files, uint64_t bytes) {
    if (!progress) return;
    ScopedLock hold(&progress->lock);
    progress->figures.filesDone += files;
    progress->figures.bytesDone += bytes;
}

SyncProgressFigures SyncProgressRead(SyncProgress* progress) {
    ScopedLock hold(&progress->lock);
    return progress->figures;
}
