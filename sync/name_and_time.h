#pragma once
// The two operations of a two-way run that change no file's bytes: a rename
// that gives the target the source's spelling of its name, and a time's
// setting that gives the target file, of the source's bytes, the source's
// last-write time. Each goes through the system-call seam, its paths checked
// by the location guard right before the call.
#include "sync/file_checks.h"
#include "sync/sync_plan.h"

#include <windows.h>

// Renames the operation's target to RenamedPath, never over another entry:
// 0, kSyncFolderBecameLink, or the system's code.
DWORD RenameAsPlanned(const SyncPlan* plan, const SyncOperation& operation, const LocationGuard* guard);

// Sets the target file's last-write time to the one the analysis saw at the
// source, only while the target is held just as the analysis saw it (size and
// time to the tick): 0, kSyncChangedSinceAnalysis, kSyncFileInUse,
// kSyncFolderBecameLink, or the system's code.
DWORD SetTimeAsPlanned(const SyncPlan* plan, const SyncOperation& operation, const LocationGuard* guard);
