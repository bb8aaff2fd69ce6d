#pragma once
// The system calls through which a synchronization changes files; tests put
// others in their place to make the file system misbehave on cue.
#include <windows.h>
#include <shellapi.h>

struct SyncSystemCalls {
    int(WINAPI* fileOperation)(SHFILEOPSTRUCTW* operation);
    BOOL(WINAPI* freeSpace)(const wchar_t* folder, ULARGE_INTEGER* available, ULARGE_INTEGER* total,
                            ULARGE_INTEGER* totalFree);
    // The copy engine's file copy; null for the system's.
    BOOL(WINAPI* copyFile)(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress, void* data,
                           BOOL* cancel, DWORD flags);
    // The renames of the copies into place and of files into the versioning folder.
    BOOL(WINAPI* moveFile)(const wchar_t* from, const wchar_t* to, DWORD flags);
};
// Null restores the real calls; so does a null member for its call.
void SyncSetSystemCalls(const SyncSystemCalls* calls);
const SyncSystemCalls& SyncCalls();
