#pragma once
// The file operations of a synchronization as one batch of copies and one of
// deletions: each checked against what the analysis saw just before the shell
// runs, the copies refused as a whole when their target volume lacks room,
// and each checked again afterwards for whether it took effect.
#include "model/file_times.h"
#include "sync/path_list.h"
#include "sync/sync_decision.h"
#include "sync/sync_items.h"

#include <windows.h>
#include <shellapi.h>

// Results of a file operation of the worker's own, beside the system's codes
// (bit 29 marks codes that an application defines).
const DWORD kSyncRefusedTooLong = 0x20000001;
const DWORD kSyncChangedSinceAnalysis = 0x20000002;
const DWORD kSyncNoRoomOnTarget = 0x20000003;
const DWORD kSyncNotCarriedOut = 0x20000004;
const DWORD kSyncCopyIncomplete = 0x20000005;
// Not done in a batch that the shell reported as failed or cancelled.
const DWORD kSyncStoppedByShell = 0x20000007;
// Not yet decided: the operation is still to run.
const DWORD kSyncPending = 0x20000006;
// The file could not go to the Recycle Bin, and was not deleted for good.
const DWORD kSyncNotRecycled = 0x20000008;
// The file to be replaced could not go to the Recycle Bin, so nothing was copied over it.
const DWORD kSyncReplacedNotRecycled = 0x20000009;
// The copy left its target as it was.
const DWORD kSyncTargetUntouched = 0x2000000A;

// Each source its own target, overwrite without asking, keep undo
// information, create missing target folders.
const FILEOP_FLAGS kSyncCopyFlags = FOF_MULTIDESTFILES | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR;
// No questions, into the Recycle Bin; where a file cannot go there, the
// shell asks before it deletes for good instead of deleting silently.
// Files to be replaced go the same way before the copies make new ones.
const FILEOP_FLAGS kSyncDeleteFlags = FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_WANTNUKEWARNING;

// The system calls of the batches; tests put others in their place.
struct SyncSystemCalls {
    int(WINAPI* fileOperation)(SHFILEOPSTRUCTW* operation);
    BOOL(WINAPI* freeSpace)(const wchar_t* folder, ULARGE_INTEGER* available, ULARGE_INTEGER* total,
                            ULARGE_INTEGER* totalFree);
};
// Null restores the real calls.
void SyncSetSystemCalls(const SyncSystemCalls* calls);

// One file operation that pass 1 accepted, with the item it came from.
struct PlannedFile {
    uint32_t item;
    SyncAction action;
    DWORD result;  // kSyncPending until decided, then 0 or why it was not done
    bool listed;  // its paths still stand in the shell's lists
    bool replaces;  // a copy onto a file the analysis saw: that file goes to the Recycle Bin first
    bool replacedGone;  // the file it replaces has gone to the Recycle Bin
};

// The batches, in the order they run: the files that copies replace go to
// the Recycle Bin, then the copies make new files, then the deletions.
enum SyncBatchKind : uint32_t { SyncReplacements, SyncCopies, SyncDeletions };

struct FileBatches {
    SyncPathList copySources;
    SyncPathList copyTargets;
    SyncPathList deletions;
    SyncPathList replaced;  // the targets of the copies that replace files, made just before they go
    PlannedFile* planned;  // in the order of the lists
    uint32_t plannedCount;
};

// Allocates the three lists of `capacity` characters and room for `itemCount`
// planned operations; false (nothing held) when memory runs out.
bool FileBatchesInit(FileBatches* batches, size_t capacity, uint32_t itemCount);
void FileBatchesFree(FileBatches* batches);
// Adds the operation's paths to the lists and plans it. The caller keeps room
// in the lists (SyncPathListKeepRoom) after each one.
void FileBatchesAdd(FileBatches* batches, uint32_t item, SyncAction action, const wchar_t* itemPath,
                    const wchar_t* otherPath);
bool FileBatchesKeepRoom(FileBatches* batches, size_t step);
void FileBatchesClose(FileBatches* batches);

// The source and the target of a copy, or the path of a deletion (target null).
void PlannedPaths(const PlannedFile& planned, const wchar_t* itemPath, const wchar_t* otherPath,
                  const wchar_t** source, const wchar_t** target);

// Why a text cannot be shown for the result: the worker's own texts for its
// codes, the system's message for the others, in `text` of kSystemErrorUnits.
void DescribeSyncResult(DWORD result, wchar_t* text);

// What the batches need from the run: the items and the paths of each.
struct BatchContext {
    const SyncItemList* items;
    const wchar_t* currentRoot;
    const wchar_t* otherRoot;
    wchar_t* otherPath;  // a buffer of kPathUnits
    FILEOP_FLAGS extraShellFlags;  // added to every batch's flags
    // Nobody can answer the shell: its questions are closed unanswered, so a
    // file that cannot go to the Recycle Bin stays where it is.
    bool unattended;
    // A file that cannot go to the Recycle Bin is deleted for good, without a question.
    bool deleteWithoutRecycleBin;
    TimeRule timeRule;  // when a file's time is still the one the analysis saw, or a copy's its source's
};

// Marks every pending operation of the batch whose files changed since the
// analysis, or that would act on or through a link.
void RecheckPlannedFiles(const BatchContext* context, FileBatches* batches, SyncBatchKind kind);
// The room the pending copies need on each target volume, in whole clusters;
// false when they do not fit on one of them, with its figures, and every
// pending copy then marked: the batch is refused whole.
bool CheckRoomForCopies(const BatchContext* context, FileBatches* batches, uint64_t* needed, uint64_t* available);
// Moves the files that the pending copies replace to the Recycle Bin, runs
// the copies whose targets are gone in one shell call, then re-checks the
// deletions and runs those still pending in another, and marks each
// operation by what it left on disk. A batch that the shell stops at an
// operation it cannot do runs again without that one.
void RunFileBatches(const BatchContext* context, FileBatches* batches);
// For a run that changes nothing: marks every pending operation as done.
void AcceptPendingFiles(FileBatches* batches);
