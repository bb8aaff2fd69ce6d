#pragma once
// Carries out a commit or an update for the checked items of the Synchronize
// dialog's list: file copies and deletions in one shell operation each,
// folders created and removed one by one, over-long file paths logged to
// "SynchronizeLog.txt" beside the executable and left out.
#include "sync/sync_decision.h"
#include "sync/sync_items.h"

#include <windows.h>

const UINT WM_SYNCHRONIZE_DONE = WM_USER + 5;  // both parameters 0

const wchar_t kSyncLogName[] = L"SynchronizeLog.txt";
const wchar_t kSyncLogHeader[] = L"The following files were sikpped during the synchronization process:";
// The third line of a refused pair carries its own line break, so that an
// empty line follows every record.
const wchar_t kSyncPathTooLong[] = L"The path is too long! Both files were skipped.\r\n";

const wchar_t kSyncNoMemory[] = L"No enough memory!";
const wchar_t kSyncCannotCreateLog[] = L"Can not create error log file!";
const wchar_t kSyncCannotSaveLog[] = L"Error log can not be saved!";
const wchar_t kSyncPathsSkipped[] =
    L"Some file paths are too long and will not be included in the synchronization process. "
    L"A list of these files was saved to <SynchronizeLog.txt>!";
const wchar_t kSyncCompleted[] = L"File operations completed.";

// Flags of the two shell operations: each source its own target, overwrite
// without asking, keep undo information, create missing target folders.
const unsigned kSyncCopyFlags = 0x251;
// No questions; deleted files go to the Recycle Bin.
const unsigned kSyncDeleteFlags = 0x50;

// Told of every operation with the item path and the other path: files as
// pass 1 collects them for the shell (`result` 0; they run only when the run
// completes), folders after the attempt (`result` 0 or the system's code).
// It runs on the worker's thread and must not throw.
typedef void (*SyncObserver)(void* context, SyncAction action, const wchar_t* itemPath, const wchar_t* otherPath,
                             DWORD result);

// The worker's whole input. The Synchronize dialog fills it at Start from its
// list (AppendSyncItem with the "File Name" text, SyncStateFromText of the
// "State" text, the node's folder flag and the check box) and keeps it, with
// the item list, until WM_SYNCHRONIZE_DONE arrives.
struct SyncRequest {
    SyncDirection direction;
    const SyncItemList* items;  // null for none
    const wchar_t* currentRoot;  // ends in a backslash; every item path begins with it
    const wchar_t* otherRoot;  // ends in a backslash
    // Owns the message boxes and receives WM_SYNCHRONIZE_DONE; may be null.
    HWND window;
    SyncObserver observer;  // optional
    void* observerContext;
};

// Runs one synchronization to its end and sends WM_SYNCHRONIZE_DONE as its
// last use of the request. Returns 0 after a complete run, 1 after an early
// end; every early end leaves both locations untouched.
DWORD RunSynchronization(const SyncRequest* request);

// Thread routine; the parameter is a SyncRequest that outlives the run.
// Exit code as RunSynchronization's.
DWORD WINAPI SynchronizeWorker(void* request);

// The log's path: the executable's folder and kSyncLogName, in `path` of
// MAX_PATH units. False when it cannot be formed within MAX_PATH.
bool SyncLogPath(wchar_t* path);
