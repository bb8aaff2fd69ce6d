#include "sync/planned_files.h"

bool StopRequested(const BatchContext* context) { return context->cancel && *context->cancel; }

bool FileBatchesInit(FileBatches* batches, size_t capacity) {
    *batches = FileBatches{};
    bool allocated = SyncPathListInit(&batches->copySources, capacity);
    allocated = SyncPathListInit(&batches->copyTargets, capacity) && allocated;
    allocated = SyncPathListInit(&batches->deletions, capacity) && allocated;
    if (!allocated) FileBatchesFree(batches);
    return allocated;
}

void FileBatchesFree(FileBatches* batches) {
    SyncPathListFree(&batches->copySources);
    SyncPathListFree(&batches->copyTargets);
    SyncPathListFree(&batches->deletions);
    SyncPathListFree(&batches->replaced);
    SyncPathListFree(&batches->temporaries);
}
