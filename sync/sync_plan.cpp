#include "sync/sync_plan.h"

#include "model/location_tree.h"
#include "model/memory.h"
#include "sync/path_list.h"
#include "sync/sync_results.h"

#include <cwchar>

namespace {

const uint32_t kFirstOperations = 100;
const size_t kFirstTextUnits = 1024;  // for a plan that cannot tell how many paths it will hold

// Appends `path` with its terminator to the plan's text; its offset in `*at`.
DWORD AddText(SyncPlan* plan, const wchar_t* path, uint32_t* at) {
    return TextPoolAdd(&plan->text, path, wcslen(path), at);
}

SyncReason ReasonOfState(DiffState state) {
    return state == DiffNew ? SyncBecauseNew : state == DiffModified ? SyncBecauseModified : SyncBecauseMissing;
}

}  // namespace

const char* SyncOperationKindWord(SyncOperationKind kind) {
    switch (kind) {
    case SyncMakeFolder:
        return "make-folder";
    case SyncCopyNew:
        return "copy-new";
    case SyncReplace:
        return "replace";
    case SyncDeleteFile:
        return "delete-file";
    case SyncRemoveFolder:
        return "remove-folder";
    case SyncRename:
        return "rename";
    case SyncSetTime:
        return "set-time";
    default:
        return "none";
    }
}

const char* SyncReasonWord(SyncReason reason) {
    switch (reason) {
    case SyncBecauseNew:
        return "new";
    case SyncBecauseModified:
        return "modified";
    case SyncBecauseMissing:
        return "missing";
    case SyncBecauseLeftChanged:
        return "left-changed";
    case SyncBecauseRightChanged:
        return "right-changed";
    case SyncBecauseExcluded:
        return "excluded";
    default:
        return "leftover";
    }
}

DWORD SyncPlanInit(SyncPlan* plan, const wchar_t* currentRoot, const wchar_t* otherRoot, uint32_t operations,
                   size_t textUnits) {
    *plan = SyncPlan{};
    if (operations == 0) operations = kFirstOperations;
    if (operations > SIZE_MAX / sizeof(SyncOperation)) return ERROR_NOT_ENOUGH_MEMORY;
    plan->operations = static_cast<SyncOperation*>(MemAlloc(sizeof(SyncOperation) * operations));
    if (!plan->operations || TextPoolReserve(&plan->text, textUnits ? textUnits : kFirstTextUnits) != ERROR_SUCCESS) {
        SyncPlanFree(plan);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    plan->capacity = operations;
    DWORD added = AddText(plan, currentRoot, &plan->roots[0]);
    if (added == ERROR_SUCCESS) added = AddText(plan, otherRoot, &plan->roots[1]);
    if (added != ERROR_SUCCESS) SyncPlanFree(plan);
    return added;
}

void SyncPlanFree(SyncPlan* plan) {
    MemFree(plan->operations);
    TextPoolFree(&plan->text);
    *plan = SyncPlan{};
}

DWORD SyncPlanAdd(SyncPlan* plan, const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath) {
    if (plan->count == plan->capacity) {
        const uint32_t capacity = plan->capacity * 2;
        if (capacity <= plan->capacity || capacity > SIZE_MAX / sizeof(SyncOperation)) return ERROR_NOT_ENOUGH_MEMORY;
        auto* grown = static_cast<SyncOperation*>(MemGrow(plan->operations, sizeof(SyncOperation) * capacity));
        if (!grown) return ERROR_NOT_ENOUGH_MEMORY;
        plan->operations = grown;
        plan->capacity = capacity;
    }
    const size_t textBefore = plan->text.used;
    SyncOperation added = operation;
    DWORD result = AddText(plan, itemPath, &added.paths[0]);
    if (result == ERROR_SUCCESS) result = AddText(plan, otherPath, &added.paths[1]);
    if (result != ERROR_SUCCESS) {
        plan->text.used = textBefore;
        return result;
    }
    plan->operations[plan->count++] = added;
    return ERROR_SUCCESS;
}

SyncOperation SyncOperationOf(SyncAction action, SyncReason reason, uint32_t origin, const SyncSeenFile& seenHere,
                              const SyncSeenFile& seenThere) {
    SyncOperation operation = {};
    operation.action = action;
    operation.reason = reason;
    operation.seenKnown = true;
    operation.waitsFor = kNoOperation;
    operation.origin = origin;
    operation.seen[0] = seenHere;
    operation.seen[1] = seenThere;
    operation.result = kSyncPending;
    switch (action) {
    case SyncCopyToOther:
        operation.kind = seenThere.exists ? SyncReplace : SyncCopyNew;
        break;
    case SyncCopyFromOther:
        operation.kind = seenHere.exists ? SyncReplace : SyncCopyNew;
        break;
    case SyncDeleteItem:
    case SyncDeleteOther:
        operation.kind = SyncDeleteFile;
        break;
    case SyncCreateItem:
    case SyncCreateOther:
        operation.kind = SyncMakeFolder;
        break;
    case SyncRemoveItem:
    case SyncRemoveOther:
        operation.kind = SyncRemoveFolder;
        break;
    default:
        operation.kind = SyncOnlyLogged;
        break;
    }
    return operation;
}

bool IsCopyOperation(const SyncOperation& operation) {
    return operation.kind == SyncCopyNew || operation.kind == SyncReplace;
}

bool IsFolderOperation(const SyncOperation& operation) {
    return operation.kind == SyncMakeFolder || operation.kind == SyncRemoveFolder;
}

int TargetSideOf(const SyncOperation& operation) {
    switch (operation.action) {
    case SyncCopyToOther:
    case SyncDeleteOther:
    case SyncCreateOther:
    case SyncRemoveOther:
        return 1;
    default:
        return 0;
    }
}

const wchar_t* TargetOf(const SyncPlan* plan, const SyncOperation& operation) {
    return PlanText(plan, operation.paths[TargetSideOf(operation)]);
}

const wchar_t* SourceOf(const SyncPlan* plan, const SyncOperation& operation) {
    const bool sourced = IsCopyOperation(operation) || operation.kind == SyncSetTime;
    return sourced ? PlanText(plan, operation.paths[1 - TargetSideOf(operation)]) : nullptr;
}

bool RenamedPath(const wchar_t* target, const wchar_t* source, wchar_t* path) {
    const wchar_t* targetSlash = wcsrchr(target, L'\\');
    const wchar_t* sourceSlash = wcsrchr(source, L'\\');
    const size_t folderUnits = targetSlash ? static_cast<size_t>(targetSlash - target) + 1 : 0;
    const wchar_t* name = sourceSlash ? sourceSlash + 1 : source;
    const size_t nameUnits = wcslen(name);
    if (folderUnits + nameUnits >= kPathUnits) return false;
    wmemcpy(path, target, folderUnits);
    wmemcpy(path + folderUnits, name, nameUnits + 1);
    return true;
}

const SyncSeenFile& SeenAtTarget(const SyncOperation& operation) { return operation.seen[TargetSideOf(operation)]; }
const SyncSeenFile& SeenAtSource(const SyncOperation& operation) {
    return operation.seen[1 - TargetSideOf(operation)];
}

bool SyncPathsTooLong(const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath) {
    // A renamed folder (nothing seen of it as a file) is a folder too.
    if (IsFolderOperation(operation) || (operation.kind == SyncRename && !SeenAtTarget(operation).exists))
        return wcsnlen(itemPath, MAX_PATH) >= MAX_PATH || wcsnlen(otherPath, MAX_PATH) >= MAX_PATH;
    return !IsPathUsable(itemPath) || !IsPathUsable(otherPath);
}

DWORD PlanSyncItems(SyncDirection direction, const SyncItemList* items, const wchar_t* currentRoot,
                    const wchar_t* otherRoot, SyncPlan* plan) {
    const uint32_t count = items ? items->count : 0;
    DWORD result = SyncPlanInit(plan, currentRoot, otherRoot, count, SyncPathListStartCapacity(count));
    MemBlock<wchar_t> otherPath(kPathUnits);
    if (result == ERROR_SUCCESS && !otherPath.Get()) result = ERROR_NOT_ENOUGH_MEMORY;
    for (uint32_t index = 0; result == ERROR_SUCCESS && index < count; ++index) {
        const SyncItem& item = items->items[index];
        if (!item.checked) continue;
        const DWORD built = BuildOtherPath(item.path, currentRoot, otherRoot, otherPath.Get(), kPathUnits);
        // An item outside the current root has no known other place: left alone.
        if (built == ERROR_INVALID_PARAMETER) continue;
        const SyncAction action = DecideSyncAction(direction, item.isFolder, item.state);
        // A folder that asks for nothing is never looked at, not even for its length.
        if (item.isFolder && action == SyncNoAction) continue;
        SyncOperation operation =
            SyncOperationOf(action, ReasonOfState(item.state), index, item.seenHere, item.seenThere);
        operation.seenKnown = item.seenKnown;
        if (built != ERROR_SUCCESS || SyncPathsTooLong(operation, item.path, otherPath.Get())) {
            operation.result = kSyncRefusedTooLong;
        } else if (action == SyncNoAction) {
            continue;
        }
        result = SyncPlanAdd(plan, operation, item.path, otherPath.Get());
    }
    return result;
}

DWORD PlanExcludedDeletions(SyncDirection direction, const LeftOutList* leftOut, SyncPlan* plan) {
    const bool commit = direction == SyncCommit;
    const size_t rootUnits[2] = {wcslen(CurrentRootOf(plan)), wcslen(OtherRootOf(plan))};
    MemBlock<wchar_t> paths(size_t(2) * kPathUnits);
    if (!paths.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    wchar_t* const sidePaths[2] = {paths.Get(), paths.Get() + kPathUnits};
    for (uint32_t index = 0; index < leftOut->count; ++index) {
        const LeftOutEntry& entry = leftOut->entries[index];
        if (!entry.usable) continue;
        const bool isFolder = IsFolderAttributes(entry.attributes);
        const wchar_t* below = LeftOutPath(leftOut, entry);
        const size_t belowUnits = wcslen(below);
        bool fits = true;
        for (int side = 0; side < 2; ++side) {
            fits = fits && rootUnits[side] + belowUnits < kPathUnits;
            if (!fits) break;
            wmemcpy(sidePaths[side], PlanText(plan, plan->roots[side]), rootUnits[side]);
            wmemcpy(sidePaths[side] + rootUnits[side], below, belowUnits);
            sidePaths[side][rootUnits[side] + belowUnits] = 0;
        }
        // Beyond any path: no operation could name it, and its folder stays.
        if (!fits) continue;
        const SyncAction action = isFolder ? (commit ? SyncRemoveOther : SyncRemoveItem)
                                           : (commit ? SyncDeleteOther : SyncDeleteItem);
        const SyncSeenFile seen = {true, entry.size, entry.lastWriteTime};
        const SyncSeenFile absent = {};
        SyncOperation operation = SyncOperationOf(action, SyncBecauseExcluded, kNoOperation,
                                                  commit ? absent : seen, commit ? seen : absent);
        if (SyncPathsTooLong(operation, sidePaths[0], sidePaths[1])) operation.result = kSyncRefusedTooLong;
        const DWORD added = SyncPlanAdd(plan, operation, sidePaths[0], sidePaths[1]);
        if (added != ERROR_SUCCESS) return added;
    }
    return ERROR_SUCCESS;
}
