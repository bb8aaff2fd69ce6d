#pragma once
// The temporary files that a stopped run left beside the targets of its
// copies: files of exactly the temporary names' pattern in the folders this
// run's copies write to, that the analysis did not list and no exclusion
// keeps. They go where the run's deletions go, each reported; none is ever
// renamed into place.
#include "sync/planned_files.h"

#include <windows.h>

struct Leftover {
    wchar_t path[MAX_PATH];
    DWORD result;  // kSyncPending until moved aside, then 0 or why not
};

// One heap block: the count, then the leftovers.
struct LeftoverList {
    uint32_t count;
    uint32_t capacity;
    Leftover entries[1];
};

// Finds the leftovers in the folders of the pending copies; 0, or
// ERROR_NOT_ENOUGH_MEMORY. `*list` is null when there are none; the caller frees it.
DWORD FindLeftovers(const BatchContext* context, const FileBatches* batches, LeftoverList** list);
// Moves each to the Recycle Bin (or the versioning folder) and sets its result.
void RemoveLeftovers(const BatchContext* context, LeftoverList* list);
void FreeLeftovers(LeftoverList* list);
