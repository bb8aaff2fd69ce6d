#pragma once
// The system calls through which a synchronization changes files: every
// file or folder it makes, copies, renames, moves aside or deletes goes
// through one of them, so that tests can make the file system misbehave on
// cue or watch the calls in their order.
#include <windows.h>
#include <shellapi.h>

// How the shell's file operation is asked for a synchronization's batches.
// Each source its own target, overwrite without asking, keep undo
// information, create missing target folders.
const FILEOP_FLAGS kSyncCopyFlags = FOF_MULTIDESTFILES | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR;
// No questions, into the Recycle Bin; where a file cannot go there, the
// shell asks before it deletes for good instead of deleting silently.
// Files to be replaced go the same way before the copies make new ones.
const FILEOP_FLAGS kSyncDeleteFlags = FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_WANTNUKEWARNING;

struct SyncSystemCalls {
    int(WINAPI* fileOperation)(SHFILEOPSTRUCTW* operation);
    BOOL(WINAPI* freeSpace)(const wchar_t* folder, ULARGE_INTEGER* available, ULARGE_INTEGER* total,
                            ULARGE_INTEGER* totalFree);
    // The copy engine's file copy; null for the system's.
    BOOL(WINAPI* copyFile)(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress, void* data,
                           BOOL* cancel, DWORD flags);
    // The renames of the copies into place and of files into the versioning folder.
    BOOL(WINAPI* moveFile)(const wchar_t* from, const wchar_t* to, DWORD flags);
    // The temporary files that the shell's batch copies onto, made empty first.
    HANDLE(WINAPI* createFile)(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                               DWORD disposition, DWORD flags, HANDLE model);
    BOOL(WINAPI* deleteFile)(const wchar_t* path);  // a temporary file, or a file moved to another volume
    BOOL(WINAPI* makeFolder)(const wchar_t* path, SECURITY_ATTRIBUTES* security);
    BOOL(WINAPI* removeFolder)(const wchar_t* path);
    // A placed copy's last-write time set again, where its volume dropped it at the rename.
    BOOL(WINAPI* setFileTime)(HANDLE file, const FILETIME* created, const FILETIME* accessed, const FILETIME* written);
};
// Null restores the real calls; so does a null member for its call.
void SyncSetSystemCalls(const SyncSystemCalls* calls);
const SyncSystemCalls& SyncCalls();
