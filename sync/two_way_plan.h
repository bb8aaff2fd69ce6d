#pragma once
// A two-way run's plan: each decided entry's move as operations of a
// synchronization, LEFT being the plan's current location and RIGHT its other.
#include "sync/sync_plan.h"
#include "sync/two_way.h"

// Adds the operations of entry `row` of `entries` (decided by PlanTwoWay) to
// the plan, `leftPath` and `rightPath` being its full paths on each side;
// rows must be added in their order. A move adds one operation; a kind change
// two: the earlier kind goes, and the new one waits for that. What waits for a
// kind change above it waits for that entry's first operation. A rename comes
// before the entry's copy, which then finds its target under the new
// spelling; a time's setting stands alone. An entry whose
// paths are too long has its operations refused (kSyncRefusedTooLong).
// Returns 0 or ERROR_NOT_ENOUGH_MEMORY.
DWORD PlanTwoWayEntry(const TwoWayEntry* entries, uint32_t row, const wchar_t* leftPath, const wchar_t* rightPath,
                      SyncPlan* plan);
