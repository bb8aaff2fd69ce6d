#pragma once
// A run's journal of its temporary files, so that the next run can take away
// what a run stopped without its end (a killed process, a power cut) left:
// one file per run in the user's local application data, never in the user's
// folders, naming the run's locations and then each temporary file's path,
// written before the file is made. The run holds it open, not shared for
// deletion, until it ends: a journal that cannot be opened for deletion is a
// live run's, and is left alone.
#include "sync/sync_items.h"
#include "sync/versioning.h"

#include <windows.h>

#include <cstdint>

struct RunJournal {
    HANDLE file;  // null when no journal is open
    wchar_t path[MAX_PATH];
    CRITICAL_SECTION lock;  // the copy threads append one line at a time
    volatile LONG recorded;  // temporary files recorded so far
};

// %LOCALAPPDATA%\Quillmar\journals\ in `folder` of MAX_PATH units; false when
// the user's local application data cannot be found.
bool DefaultJournalFolder(wchar_t* folder);

// Makes the run's journal in `folder` (a full path ending in a backslash,
// made when missing) naming the run's `locations` (full paths, each ending in
// a backslash; null ones left out) and holds it open. 0, or the system's code
// with nothing held.
DWORD RunJournalOpen(RunJournal* journal, const wchar_t* folder, const wchar_t* const* locations, unsigned count);

// Records the temporary file `path` before it is made, with the size and
// last-write time of its source, which tell the program's file from a user's
// look-alike. A null journal records nothing. 0, or kSyncNotJournaled: the
// file must not be made.
DWORD RecordTemporary(RunJournal* journal, const wchar_t* path, const SyncSeenFile& source);

// Makes an empty file under a fresh temporary name beside `target`, without
// replacing anything, each name recorded in `journal` (with what its copy's
// `source` is) before the file is made: the shell's batch copies onto it. 0 or
// the system's code; `path` of MAX_PATH units and `name` of kTemporaryNameUnits.
DWORD ReserveTemporaryFile(const wchar_t* target, wchar_t* path, wchar_t* name, RunJournal* journal,
                           const SyncSeenFile& source);

// Ends the run's journal: deleted after a `clean` run (every temporary file
// took its name or was removed) or when none it recorded is left; otherwise
// kept for the next run.
void RunJournalClose(RunJournal* journal, bool clean);

// What taking away the earlier runs' leftovers came to.
struct LeftoverRemoval {
    uint32_t removed;  // moved to the Recycle Bin or the versioning folder
    uint32_t left;  // recorded and still there, but could not be moved aside
    uint32_t liveJournals;  // journals of runs still going, left alone
    DWORD firstError;  // why the first one was left
    wchar_t firstLeft[MAX_PATH];  // its path; empty when none was left
};

// Before a changing run's analysis: reads the journals in `folder` of
// stopped runs that name one of `locations` (LEFT, RIGHT and the versioning
// folder or null, each ending in a backslash), and moves aside each recorded
// temporary file in LEFT or RIGHT that is still there and still the run's own
// (the recorded name exactly, a plain file, no larger than its source, with
// its source's time or one since the run began): into `versioning` when it is
// not null, otherwise to the Recycle Bin, each checked by the location guard
// first. One in the versioning folder goes to the Recycle Bin. A journal
// whose recorded files are all gone is deleted; one that keeps any is kept
// for the next run. Every move and deletion goes through SyncCalls().
void RemoveLeftovers(const wchar_t* folder, const wchar_t* const* locations, Versioning* versioning,
                     LeftoverRemoval* removal);
