#pragma once
// The companion's copier: each file copied by the system's file copy (which
// keeps times, attributes and alternate streams) onto a fresh temporary name
// beside its target, several at a time, each with its own result, and
// stoppable between and (where the system allows) within files.
#include "model/file_times.h"
#include "sync/sync_items.h"
#include "sync/sync_progress.h"
#include "sync/temporary_names.h"

#include <windows.h>

#include <cstdint>

struct EngineCopy {
    const wchar_t* source;
    const wchar_t* target;  // the real name; the copy is made in its folder
    SyncSeenFile seenSource;  // what the analysis saw: the source must be so, to the tick, before and after the copy
    // No file stood under the target's name: the copy takes it at once, by a
    // rename that never replaces a file made there meanwhile. Otherwise the
    // copy waits under its temporary name for the earlier version to go.
    bool placeNow;
    wchar_t temporaryName[kTemporaryNameUnits];  // out: where the copy is
    // out: 0 when placed (kSyncTimeNotKept when placed without its time);
    // kSyncPending when it waits, whole, under its temporary name; otherwise
    // why not, and the temporary file is gone.
    DWORD result;
};

struct CopyEngineSettings {
    unsigned inFlight;  // copies at once, 1 or more
    bool verify;  // each copy read back and compared byte for byte with its source
    BOOL* cancel;  // set to TRUE by another thread to stop; may be null
    SyncProgress* progress;  // may be null
    // Each copy and rename is checked right before it to stay inside its location; null for none.
    const struct LocationGuard* guard;
    struct RunJournal* journal;  // records each temporary file before it is made; null for none
};

// Copies each of `copies` to a temporary name in its target's folder, which
// must exist, its source held against writers meanwhile, checks that the
// source is still as the analysis saw it (and with
// `verify` that the copy holds its bytes), and places the copies that
// replace nothing. Returns when every copy has its result.
void RunEngineCopies(EngineCopy* copies, uint32_t count, const CopyEngineSettings& settings);

// Copies `source` (as `seenSource`) by the system's copy onto a fresh
// temporary name beside `target` (in `temporary` of MAX_PATH units, the name
// alone in `name`), each name recorded in `journal` before the copy is begun,
// never onto an existing file: 0, or why not with nothing of it left behind.
DWORD CopyOntoTemporary(const wchar_t* source, const SyncSeenFile& seenSource, const wchar_t* target,
                        wchar_t* temporary, wchar_t* name, LPPROGRESS_ROUTINE progress, void* data, BOOL* cancel,
                        struct RunJournal* journal);

// 0 when the two files hold the same bytes; kSyncCopyDiffers when they do
// not; otherwise the system's code for what could not be read.
DWORD CompareFileContents(const wchar_t* first, const wchar_t* second);
