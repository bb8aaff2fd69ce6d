#pragma once
// The checks of a synchronization's file operations against what the
// analysis saw: just before they run, and on disk afterwards.
#include "model/win_guards.h"
#include "sync/planned_files.h"

#include <windows.h>

// A file checked against what was seen of it earlier, on its own volume: the
// same size and the same time to the tick. A TimeRule's allowance is for
// comparing two volumes only, a copy with its source.
const TimeRule kSameFileRule = {0, false, true};

// True when the path holds just what was seen: the same file, or nothing when nothing was seen.
bool MatchesSeen(const wchar_t* path, const SyncSeenFile& seen, const TimeRule& rule);
// True when both exist with the same size and times the rule holds the same:
// copies keep the source's time, to the resolution of the target's file system.
bool LooksLike(const SyncSeenFile& file, const SyncSeenFile& model, const TimeRule& rule);
// What is at `path` now, as a seen file (exists false for nothing, or for a folder).
SyncSeenFile SeenNow(const wchar_t* path);
// What the open file is now.
SyncSeenFile SeenThrough(HANDLE file);

// Opens the file for reading, shared with readers only (and with `share`'s
// other rights), so that while `held` holds it nobody writes to it, and
// without FILE_SHARE_DELETE nobody renames or deletes it either; then checks
// that it is just as seen, to the tick. 0; kSyncFileInUse when another
// program has it open for writing; kSyncChangedSinceAnalysis; or the system's code.
DWORD HoldAsSeen(const wchar_t* path, const SyncSeenFile& seen, DWORD share, OwnedHandle* held);
// The same with the rights `access` (which must let the file's size and times be read).
DWORD OpenAsSeen(const wchar_t* path, const SyncSeenFile& seen, DWORD access, DWORD share, OwnedHandle* held);

// The two locations of a run: a write into either is checked right before it
// is made, so that a folder that became a link during the run never leads a
// copy, a rename, a move aside or a deletion out of the location. The roots
// are the user's own choice, followed where they lead.
struct LocationGuard {
    const wchar_t* roots[2];  // each ending in a backslash
};
void LocationGuardInit(LocationGuard* guard, const wchar_t* currentRoot, const wchar_t* otherRoot);
// 0 when no folder from the root of its location down to the one that holds
// `path` is a link now; kSyncFolderBecameLink when one is. 0 as well where a
// folder is not there (a write there fails by itself), for a path in neither
// location, and for a null guard.
DWORD CheckStaysInside(const LocationGuard* guard, const wchar_t* path);

// Marks every pending operation of the batch whose files changed since the
// analysis, or that would act on or through a link.
enum SyncBatchKind : uint32_t { SyncReplacements, SyncCopies, SyncDeletions };
void RecheckPlannedFiles(const BatchContext* context, SyncBatchKind kind);
// The room the pending copies need on each target volume, in whole clusters;
// false when they do not fit on one of them, with its figures, and every
// pending copy then marked: the batch is refused whole.
bool CheckRoomForCopies(const BatchContext* context, uint64_t* needed, uint64_t* available);
