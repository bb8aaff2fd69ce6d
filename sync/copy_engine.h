#pragma once
// The companion's copier: each file copied by the system's file copy (which
// keeps times, attributes and alternate streams) onto a fresh temporary name
// beside its target, several at a time, each with its own result, and
// stoppable between and (where the system allows) within files.
#include "sync/sync_progress.h"
#include "sync/temporary_names.h"

#include <windows.h>

#include <cstdint>

struct EngineCopy {
    const wchar_t* source;
    const wchar_t* target;  // the real name; the copy is made in its folder
    uint64_t size;  // what the analysis saw, for the progress
    wchar_t temporaryName[kTemporaryNameUnits];  // out: where the copy is
    DWORD result;  // out: 0, or why not; the temporary file is then gone
};

struct CopyEngineSettings {
    unsigned inFlight;  // copies at once, 1 or more
    bool verify;  // each copy read back and compared byte for byte with its source
    BOOL* cancel;  // set to TRUE by another thread to stop; may be null
    SyncProgress* progress;  // may be null
};

// Copies each of `copies` to a temporary name in its target's folder, which
// must exist. Returns when every copy has its result.
void RunEngineCopies(EngineCopy* copies, uint32_t count, const CopyEngineSettings& settings);

// 0 when the two files hold the same bytes; kSyncCopyDiffers when they do
// not; otherwise the system's code for what could not be read.
DWORD CompareFileContents(const wchar_t* first, const wchar_t* second);
