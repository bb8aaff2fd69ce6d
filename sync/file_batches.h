#pragma once
// The file operations of a plan carried out by either copier: every copy
// made under a temporary name (the shell's batch, or the copy engine a group
// at a time), checked, the file it replaces moved aside (to the Recycle Bin
// in a shell batch, or to the versioning folder one by one) and renamed into
// place; then the deletions, checked again and moved aside the same way. Each
// operation's outcome is what it left on disk.
#include "sync/file_checks.h"
#include "sync/planned_files.h"
#include "sync/system_calls.h"

#include <windows.h>
#include <shellapi.h>

// Carries out the plan's pending copies and then its pending deletions, and
// writes each one's outcome into the plan. A shell batch that stops at an
// operation it cannot do runs again without that one.
void RunFileBatches(const BatchContext* context);
// For a run that changes nothing: marks every pending file operation as done.
void AcceptPendingFiles(SyncPlan* plan);
