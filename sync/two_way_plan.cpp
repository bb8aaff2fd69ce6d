#include "sync/two_way_plan.h"

#include "model/location_tree.h"
#include "model/memory.h"
#include "sync/sync_results.h"

namespace {

SyncSeenFile SeenOfSide(const TwoWaySide& side) {
    if (side.kind != TwoWayFile) return SyncSeenFile{};
    return SyncSeenFile{true, side.size, side.time};
}

// The action that puts `source` on side `target` (0 LEFT, 1 RIGHT) in place of what is there.
SyncAction ActionTowards(int target, TwoWayKind source, TwoWayKind there) {
    const bool toRight = target == 1;
    switch (source) {
    case TwoWayFile:
        return toRight ? SyncCopyToOther : SyncCopyFromOther;
    case TwoWayFolder:
        return toRight ? SyncCreateOther : SyncCreateItem;
    default:
        if (there == TwoWayFolder) return toRight ? SyncRemoveOther : SyncRemoveItem;
        return toRight ? SyncDeleteOther : SyncDeleteItem;
    }
}

SyncReason ReasonTowards(int target) { return target == 1 ? SyncBecauseLeftChanged : SyncBecauseRightChanged; }

// The first operation of an earlier row; kNoOperation for none.
uint32_t FirstOperationOf(const SyncPlan* plan, uint32_t row) {
    uint32_t low = 0;
    uint32_t high = plan->count;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        if (plan->operations[middle].origin < row) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low < plan->count && plan->operations[low].origin == row ? low : kNoOperation;
}

// The rename or the time's setting `move` of the entry, from its source's path to its target's.
DWORD PlanTouch(const TwoWayEntry& entry, uint32_t row, TwoWayMove move, SyncOperationKind kind,
                const wchar_t* leftPath, const wchar_t* rightPath, SyncPlan* plan) {
    const int target = TwoWayTargetOf(move);
    SyncOperation operation = SyncOperationOf(target == 1 ? SyncCopyToOther : SyncCopyFromOther, ReasonTowards(target),
                                              row, SeenOfSide(entry.now[0]), SeenOfSide(entry.now[1]));
    operation.kind = kind;
    if (SyncPathsTooLong(operation, leftPath, rightPath)) operation.result = kSyncRefusedTooLong;
    return SyncPlanAdd(plan, operation, leftPath, rightPath);
}

}  // namespace

DWORD PlanTwoWayEntry(const TwoWayEntry* entries, uint32_t row, const wchar_t* leftPath, const wchar_t* rightPath,
                      SyncPlan* plan) {
    const TwoWayEntry& entry = entries[row];
    const int target = TwoWayTarget(entry);
    const wchar_t* paths[2] = {leftPath, rightPath};
    MemBlock<wchar_t> renamed(entry.rename != TwoWayNothing ? kPathUnits : 1);
    if (!renamed.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    if (entry.rename != TwoWayNothing) {
        const DWORD added = PlanTouch(entry, row, entry.rename, SyncRename, leftPath, rightPath, plan);
        if (added != ERROR_SUCCESS) return added;
        // Renamed first, the target is then found under its new spelling, which a copy over it keeps.
        const int renamedSide = TwoWayTargetOf(entry.rename);
        if (RenamedPath(paths[renamedSide], paths[1 - renamedSide], renamed.Get())) paths[renamedSide] = renamed.Get();
    }
    if (entry.time != TwoWayNothing) return PlanTouch(entry, row, entry.time, SyncSetTime, leftPath, rightPath, plan);
    if (target < 0) return ERROR_SUCCESS;
    const TwoWayKind source = entry.now[1 - target].kind;
    const TwoWayKind there = entry.now[target].kind;
    const SyncReason reason = entry.leftover ? SyncBecauseLeftover : ReasonTowards(target);
    // Two steps for a kind change: what is there goes, then the source's kind takes its place.
    const TwoWayKind steps[2][2] = {{entry.kindChange ? TwoWayNone : source, there}, {source, TwoWayNone}};
    const unsigned stepCount = entry.kindChange ? 2 : 1;
    uint32_t awaited = entry.waitsFor == kNoTwoWayParent || entry.kindChange ? kNoOperation
                                                                             : FirstOperationOf(plan, entry.waitsFor);
    for (unsigned step = 0; step < stepCount; ++step) {
        const TwoWayKind put = steps[step][0];
        const TwoWayKind replaced = steps[step][1];
        const SyncSeenFile none = {};
        const SyncSeenFile seenLeft = target == 0 && replaced == TwoWayNone ? none : SeenOfSide(entry.now[0]);
        const SyncSeenFile seenRight = target == 1 && replaced == TwoWayNone ? none : SeenOfSide(entry.now[1]);
        SyncOperation operation =
            SyncOperationOf(ActionTowards(target, put, replaced), reason, row, seenLeft, seenRight);
        if (awaited != kNoOperation) {
            operation.phase = 1;
            operation.waitsFor = awaited;
            operation.result = kSyncWaiting;
        }
        if (SyncPathsTooLong(operation, paths[0], paths[1])) operation.result = kSyncRefusedTooLong;
        const DWORD added = SyncPlanAdd(plan, operation, paths[0], paths[1]);
        if (added != ERROR_SUCCESS) return added;
        awaited = plan->count - 1;
    }
    return ERROR_SUCCESS;
}
