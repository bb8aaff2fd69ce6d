#pragma once
// A synchronization's plan: every operation decided once, before anything
// runs, with its two paths, what the analysis saw at each end and why it is
// done. The worker and both copiers carry the plan out in its order and
// write each operation's outcome into it; none of them decides again.
#include "model/left_out.h"
#include "model/text_pool.h"
#include "sync/sync_decision.h"
#include "sync/sync_items.h"
#include "sync/temporary_names.h"

#include <windows.h>

#include <cstdint>

enum SyncOperationKind : uint8_t {
    SyncMakeFolder,
    SyncCopyNew,  // a copy onto a name where the analysis saw nothing
    SyncReplace,  // a copy over a file the analysis saw: that file is moved aside first
    SyncDeleteFile,  // moved aside: to the Recycle Bin or the versioning folder
    SyncRemoveFolder,  // only when empty
    SyncOnlyLogged,  // an item refused for its length that asked for nothing: logged, never run
    // A two-way run: the target takes the source's spelling of its name (the
    // case alone differs), without replacing anything.
    SyncRename,
    // A two-way run: the target file, of the source's bytes, takes the source's last-write time.
    SyncSetTime,
};

// Why an operation is in the plan, which with its action tells its direction.
enum SyncReason : uint8_t {
    SyncBecauseNew,  // the item's state, in a commit or an update
    SyncBecauseModified,
    SyncBecauseMissing,
    SyncBecauseLeftChanged,  // a two-way run: LEFT changed since the last run, RIGHT did not
    SyncBecauseRightChanged,
    SyncBecauseLeftover,  // a two-way run: a stopped run's temporary file goes
    SyncBecauseExcluded,  // a commit or an update that deletes what the exclusions leave out of its target
};

// "make-folder", "copy-new", "replace", "delete-file", "remove-folder", "rename", "set-time" or "none".
const char* SyncOperationKindWord(SyncOperationKind kind);
// "new", "modified", "missing", "left-changed", "right-changed", "leftover" or "excluded".
const char* SyncReasonWord(SyncReason reason);

const uint32_t kNoOperation = UINT32_MAX;

struct SyncOperation {
    SyncAction action;  // which way: the decision table's action
    SyncOperationKind kind;
    SyncReason reason;
    // What the analysis saw is known: an operation without it cannot be checked, so it is not carried out.
    bool seenKnown;
    // 0 for what can run at once; 1 for what waits for another operation of the
    // plan (`waitsFor`) to take away what stands in its place first.
    uint8_t phase;
    uint32_t waitsFor;
    uint32_t origin;  // the planner's own index of what the operation came from: a list item, a two-way row
    uint32_t paths[2];  // the item path (current location) and the other path, as offsets into the plan's text
    SyncSeenFile seen[2];  // what the analysis saw at each path
    // Its outcome: kSyncPending until carried out, then 0 or why it was not done.
    DWORD result;
    // While it is carried out: the earlier version it replaces has been moved
    // aside; a whole copy waits under its temporary name.
    bool replacedGone;
    bool copied;
    wchar_t temporaryName[kTemporaryNameUnits];  // beside the target; empty for none
};

struct SyncPlan {
    SyncOperation* operations;
    uint32_t count;
    uint32_t capacity;
    TextPool text;  // every path of the plan
    uint32_t roots[2];  // the current and the other location's roots, each ending in a backslash
};

// An empty plan over two roots, with room for `operations` and `textUnits`
// characters of paths at first; 0 or ERROR_NOT_ENOUGH_MEMORY (nothing held).
DWORD SyncPlanInit(SyncPlan* plan, const wchar_t* currentRoot, const wchar_t* otherRoot, uint32_t operations,
                   size_t textUnits);
void SyncPlanFree(SyncPlan* plan);
// Appends an operation with its two paths; the plan grows by doubling. Returns
// 0 or ERROR_NOT_ENOUGH_MEMORY (the plan as it was).
DWORD SyncPlanAdd(SyncPlan* plan, const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath);

// An operation that is still to run, with what it needs.
SyncOperation SyncOperationOf(SyncAction action, SyncReason reason, uint32_t origin, const SyncSeenFile& seenHere,
                              const SyncSeenFile& seenThere);

inline const wchar_t* PlanText(const SyncPlan* plan, uint32_t at) { return TextAt(plan->text, at); }
inline const wchar_t* CurrentRootOf(const SyncPlan* plan) { return PlanText(plan, plan->roots[0]); }
inline const wchar_t* OtherRootOf(const SyncPlan* plan) { return PlanText(plan, plan->roots[1]); }
inline const wchar_t* ItemPathOf(const SyncPlan* plan, const SyncOperation& operation) {
    return PlanText(plan, operation.paths[0]);
}
inline const wchar_t* OtherPathOf(const SyncPlan* plan, const SyncOperation& operation) {
    return PlanText(plan, operation.paths[1]);
}

bool IsCopyOperation(const SyncOperation& operation);
bool IsFolderOperation(const SyncOperation& operation);
// The side the operation acts on: 0 the current location, 1 the other.
int TargetSideOf(const SyncOperation& operation);
// The path it changes: a copy's target, the file deleted, the folder made or removed.
const wchar_t* TargetOf(const SyncPlan* plan, const SyncOperation& operation);
// A copy's source, or the file whose time a time's setting takes; null for any other operation.
const wchar_t* SourceOf(const SyncPlan* plan, const SyncOperation& operation);
// A rename's new path: `target`'s folder with the last name of `source`
// (the other side's path, spelt as the target is to be), in `path` of
// kPathUnits; false when it does not fit.
bool RenamedPath(const wchar_t* target, const wchar_t* source, wchar_t* path);
// What the analysis saw at the target, and at a copy's source.
const SyncSeenFile& SeenAtTarget(const SyncOperation& operation);
const SyncSeenFile& SeenAtSource(const SyncOperation& operation);

// True when the paths are too long for the operation: a file's must suit the
// shell (IsPathUsable), a folder's stay below MAX_PATH.
bool SyncPathsTooLong(const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath);

// The plan of a commit or an update over the checked items of a list, in the
// list's order: each file and folder item's operation by the decision table,
// and each item whose paths are too long (IsPathUsable for files, MAX_PATH for
// folders) as an operation already refused (kSyncRefusedTooLong), to be logged.
// Items outside the current root and unchecked items take no part. Returns 0
// or ERROR_NOT_ENOUGH_MEMORY; the caller frees the plan either way.
DWORD PlanSyncItems(SyncDirection direction, const SyncItemList* items, const wchar_t* currentRoot,
                    const wchar_t* otherRoot, SyncPlan* plan);

// Appends to the plan of a commit (the target: the other location) or an
// update (the current one) the deletion of each usable entry of `leftOut`,
// what the target's scan left out (paths below the target's root): files
// moved aside, folders removed once empty. They follow the plan's own
// operations, each folder before what it holds, so that a folder's removal,
// innermost first, comes after what empties it. A link, a name a path would
// change and what an unlisted folder holds are left alone, and so are the
// folders that hold them. Returns 0 or ERROR_NOT_ENOUGH_MEMORY.
DWORD PlanExcludedDeletions(SyncDirection direction, const LeftOutList* leftOut, SyncPlan* plan);
