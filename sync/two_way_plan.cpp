#include "sync/two_way_plan.h"

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

}  // namespace

DWORD PlanTwoWayEntry(const TwoWayEntry* entries, uint32_t row, const wchar_t* leftPath, const wchar_t* rightPath,
                      SyncPlan* plan) {
    const TwoWayEntry& entry = entries[row];
    const int target = TwoWayTarget(entry);
    if (target < 0) return ERROR_SUCCESS;
    const TwoWayKind source = entry.now[1 - target].kind;
    const TwoWayKind there = entry.now[target].kind;
    const SyncReason reason = entry.leftover ? SyncBecauseLeftover
                              : target == 1  ? SyncBecauseLeftChanged
                                             : SyncBecauseRightChanged;
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
        if (SyncPathsTooLong(operation, leftPath, rightPath)) operation.result = kSyncRefusedTooLong;
        const DWORD added = SyncPlanAdd(plan, operation, leftPath, rightPath);
        if (added != ERROR_SUCCESS) return added;
        awaited = plan->count - 1;
    }
    return ERROR_SUCCESS;
}
