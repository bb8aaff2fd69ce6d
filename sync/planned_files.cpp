#include "sync/planned_files.h"

#include "model/memory.h"
#include "model/text.h"
#include "sync/sync_results.h"

bool StopRequested(const BatchContext* context) { return context->cancel && *context->cancel; }

bool IsCopy(SyncAction action) { return action == SyncCopyToOther || action == SyncCopyFromOther; }

// What was seen at the source and at the target of a copy, or at the path of a deletion.
void SeenOfPlanned(const SyncItem& item, SyncAction action, SyncSeenFile* source, SyncSeenFile* target) {
    const bool fromHere = action == SyncCopyToOther || action == SyncDeleteItem;
    *source = fromHere ? item.seenHere : item.seenThere;
    *target = fromHere ? item.seenThere : item.seenHere;
}

bool PathsOf(const BatchContext* context, const PlannedFile& planned, const wchar_t** source,
             const wchar_t** target) {
    const SyncItem& item = context->items->items[planned.item];
    if (BuildOtherPath(item.path, context->currentRoot, context->otherRoot, context->otherPath, kPathUnits) !=
        ERROR_SUCCESS)
        return false;
    PlannedPaths(planned, item.path, context->otherPath, source, target);
    return true;
}

bool FileBatchesInit(FileBatches* batches, size_t capacity, uint32_t itemCount) {
    *batches = FileBatches{};
    bool allocated = SyncPathListInit(&batches->copySources, capacity);
    allocated = SyncPathListInit(&batches->copyTargets, capacity) && allocated;
    allocated = SyncPathListInit(&batches->deletions, capacity) && allocated;
    if (allocated) {
        batches->planned = static_cast<PlannedFile*>(MemAlloc(sizeof(PlannedFile) * (itemCount ? itemCount : 1)));
        allocated = batches->planned != nullptr;
    }
    if (!allocated) FileBatchesFree(batches);
    return allocated;
}

void FileBatchesFree(FileBatches* batches) {
    SyncPathListFree(&batches->copySources);
    SyncPathListFree(&batches->copyTargets);
    SyncPathListFree(&batches->deletions);
    SyncPathListFree(&batches->replaced);
    SyncPathListFree(&batches->temporaries);
    MemFree(batches->planned);
    batches->planned = nullptr;
    batches->plannedCount = 0;
}

void FileBatchesAdd(FileBatches* batches, uint32_t item, SyncAction action, const wchar_t* itemPath,
                    const wchar_t* otherPath) {
    const wchar_t* source = nullptr;
    const wchar_t* target = nullptr;
    PlannedFile planned = {item, action, kSyncPending, false, false, false, {}};
    PlannedPaths(planned, itemPath, otherPath, &source, &target);
    if (!source) return;
    if (target) {
        SyncPathListAppend(&batches->copySources, source);
        SyncPathListAppend(&batches->copyTargets, target);
    } else {
        SyncPathListAppend(&batches->deletions, source);
    }
    batches->planned[batches->plannedCount++] = planned;
}

bool FileBatchesKeepRoom(FileBatches* batches, size_t step) {
    return SyncPathListKeepRoom(&batches->copySources, step) && SyncPathListKeepRoom(&batches->copyTargets, step) &&
           SyncPathListKeepRoom(&batches->deletions, step);
}

void FileBatchesClose(FileBatches* batches) {
    SyncPathListClose(&batches->copySources);
    SyncPathListClose(&batches->copyTargets);
    SyncPathListClose(&batches->deletions);
}

void PlannedPaths(const PlannedFile& planned, const wchar_t* itemPath, const wchar_t* otherPath,
                  const wchar_t** source, const wchar_t** target) {
    *source = nullptr;
    *target = nullptr;
    switch (planned.action) {
    case SyncCopyToOther:
        *source = itemPath;
        *target = otherPath;
        break;
    case SyncCopyFromOther:
        *source = otherPath;
        *target = itemPath;
        break;
    case SyncDeleteItem:
        *source = itemPath;
        break;
    case SyncDeleteOther:
        *source = otherPath;
        break;
    default:
        break;
    }
}

