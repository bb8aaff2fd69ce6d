#pragma once
// Where a run keeps what it deletes or replaces when the user names a
// versioning folder instead of the Recycle Bin:
// FOLDER\<the run's start, local time, YYYY-MM-DD_HHMMSS>\<path below the location>.
// Nothing there is ever overwritten: a run folder of that name that exists
// already gets a suffix, and each file is moved without replacing one.
#include "sync/sync_items.h"

#include <windows.h>

struct Versioning {
    const wchar_t* folder;  // full path, ending in a backslash
    SYSTEMTIME start;  // the run's start, local time
    wchar_t runFolder[MAX_PATH];  // FOLDER\stamp\ once made; empty before
    struct RunJournal* journal;  // records the temporary files of copies to another volume; null for none
};

// Takes the run's start time; the folders are made on first use.
void VersioningInit(Versioning* versioning, const wchar_t* folder);

// Moves the file `path` to the run's folder under `relative`, its path below
// its location: renamed within a volume; across volumes copied as any copy
// is, onto a temporary name there while the original is held against
// writers, checked against it and renamed into place, and only then is the
// original, still as `seen` (what the analysis saw of it), removed. 0, or why
// not: ERROR_FILENAME_EXCED_RANGE when the path there would be too long,
// kSyncChangedSinceAnalysis, kSyncFileInUse when another program has it open
// for writing, or the system's code; the file is then where it was.
DWORD MoveToVersions(Versioning* versioning, const wchar_t* path, const wchar_t* relative, const SyncSeenFile& seen);

// What removing the earlier runs' folders came to.
struct EarlierRunsRemoval {
    unsigned removed;  // run folders removed whole
    unsigned left;  // old run folders left, whole or in part
    DWORD firstError;  // why the first of those was left: kSyncHoldsLink, or the system's code
    wchar_t firstLeft[MAX_PATH];  // its path; empty when none was left
};

// Removes for good the run folders in `folder` (full path, ending in a
// backslash) whose names, as MakeRunFolder makes them (YYYY-MM-DD_HHMMSS,
// with or without a suffix _2, _3...), tell a time more than `keepDays` days
// before `now` (local time, as the names are). Nothing else there is touched:
// not files, not folders of other names, not a link with such a name. A run
// folder that holds a link anywhere inside is left whole (kSyncHoldsLink), so
// that no removal can reach what a link leads to; one that cannot be removed
// whole keeps what could not be removed. Every deletion goes through
// SyncCalls(). A versioning folder that cannot be listed leaves `removal`
// with nothing removed and its code.
void RemoveEarlierRuns(const wchar_t* folder, unsigned keepDays, const SYSTEMTIME& now, EarlierRunsRemoval* removal);
