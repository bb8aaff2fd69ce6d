#pragma once
// The file operations of a synchronization run as shell batches: the files
// that copies replace go to the Recycle Bin, then one batch of copies, then
// one of deletions, each checked on disk afterwards for whether it took
// effect.
#include "sync/file_checks.h"
#include "sync/planned_files.h"

#include <windows.h>
#include <shellapi.h>

// Each source its own target, overwrite without asking, keep undo
// information, create missing target folders.
const FILEOP_FLAGS kSyncCopyFlags = FOF_MULTIDESTFILES | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR;
// No questions, into the Recycle Bin; where a file cannot go there, the
// shell asks before it deletes for good instead of deleting silently.
// Files to be replaced go the same way before the copies make new ones.
const FILEOP_FLAGS kSyncDeleteFlags = FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_WANTNUKEWARNING;

// Moves the files that the pending copies replace to the Recycle Bin, runs
// the copies whose targets are gone in one shell call, then re-checks the
// deletions and runs those still pending in another, and marks each
// operation by what it left on disk. A batch that the shell stops at an
// operation it cannot do runs again without that one.
void RunFileBatches(const BatchContext* context);
// For a run that changes nothing: marks every pending file operation as done.
void AcceptPendingFiles(SyncPlan* plan);
