#include "sync/versioning.h"

#include "model/system_error.h"
#include "model/text.h"
#include "sync/copy_engine.h"
#include "sync/file_checks.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"

#include <cwchar>

namespace {

// Suffixes tried for a run folder whose name is taken, before giving up.
const unsigned kRunFolderAttempts = 100;

// True when `path` is a folder, made now or there before.
bool MakeFolder(const wchar_t* path) {
    if (SyncCalls().makeFolder(path, nullptr)) return true;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes the run's own folder: never one that exists, so nothing in it is an earlier run's.
DWORD MakeRunFolder(Versioning* versioning) {
    if (versioning->runFolder[0]) return ERROR_SUCCESS;
    if (!MakeFolder(versioning->folder)) return LastErrorOr(ERROR_PATH_NOT_FOUND);
    const SYSTEMTIME& time = versioning->start;
    wchar_t stamp[32];
    swprintf(stamp, 32, L"%04u-%02u-%02u_%02u%02u%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
             time.wSecond);
    for (unsigned attempt = 1; attempt <= kRunFolderAttempts; ++attempt) {
        wchar_t path[MAX_PATH];
        int length = attempt == 1 ? swprintf(path, MAX_PATH, L"%ls%ls\\", versioning->folder, stamp)
                                  : swprintf(path, MAX_PATH, L"%ls%ls_%u\\", versioning->folder, stamp, attempt);
        if (length < 0 || length >= MAX_PATH - 1) return ERROR_FILENAME_EXCED_RANGE;
        if (SyncCalls().makeFolder(path, nullptr)) {
            CopyText(versioning->runFolder, MAX_PATH, path);
            return ERROR_SUCCESS;
        }
        const DWORD error = LastErrorOr(ERROR_PATH_NOT_FOUND);
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return error;
    }
    return ERROR_ALREADY_EXISTS;
}

// Makes the folders of `path` below the run's folder.
DWORD MakeFoldersOf(const Versioning* versioning, wchar_t* path) {
    for (wchar_t* at = path + wcslen(versioning->runFolder); *at; ++at) {
        if (*at != L'\\') continue;
        *at = 0;
        const bool made = MakeFolder(path);
        *at = L'\\';
        if (!made) return LastErrorOr(ERROR_PATH_NOT_FOUND);
    }
    return ERROR_SUCCESS;
}

// Removes the original once its version took its name: held again, shared
// with the deletion alone, so that nobody writes to it between its last look
// and its removal.
DWORD RemoveAsHeld(const wchar_t* path, const SyncSeenFile& seen) {
    OwnedHandle held;
    const DWORD result = HoldAsSeen(path, seen, FILE_SHARE_DELETE, &held);
    if (result != ERROR_SUCCESS) return result;
    return SyncCalls().deleteFile(path) ? ERROR_SUCCESS : LastErrorOr(ERROR_ACCESS_DENIED);
}

// Across volumes the version is written as any copy is: the original held
// against writers, copied onto a temporary name in the run's folder, the copy
// checked against it and renamed into place without replacing; only then
// does the original go. A stop at any step leaves no part of a file under a
// real name there, and the original where it was.
DWORD CopyThenRemove(const wchar_t* path, const wchar_t* version, const SyncSeenFile& seen) {
    OwnedHandle held;
    DWORD result = HoldAsSeen(path, seen, 0, &held);
    if (result != ERROR_SUCCESS) return result;
    wchar_t temporary[MAX_PATH];
    wchar_t name[kTemporaryNameUnits];
    result = CopyOntoTemporary(path, version, temporary, name, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) return result;
    // The original against itself to the tick; its copy, on another volume, within the allowance of one.
    const SyncSeenFile original = SeenThrough(held.Get());
    if (!LooksLike(original, seen, kSameFileRule)) result = kSyncChangedSinceAnalysis;
    if (result == ERROR_SUCCESS && !LooksLike(SeenNow(temporary), original, TimeRule{})) result = kSyncCopyIncomplete;
    // A version whose volume dropped its time at the rename is whole all the same.
    if (result == ERROR_SUCCESS) result = TakeRealName(temporary, version);
    if (result == kSyncTimeNotKept) result = ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) {
        SyncCalls().deleteFile(temporary);
        return result;
    }
    held.Close();
    result = RemoveAsHeld(path, seen);
    // Only the version made here is taken back; the original stays where it was.
    if (result != ERROR_SUCCESS) SyncCalls().deleteFile(version);
    return result;
}

}  // namespace

void VersioningInit(Versioning* versioning, const wchar_t* folder) {
    versioning->folder = folder;
    GetLocalTime(&versioning->start);
    versioning->runFolder[0] = 0;
}

DWORD MoveToVersions(Versioning* versioning, const wchar_t* path, const wchar_t* relative, const SyncSeenFile& seen) {
    DWORD result = MakeRunFolder(versioning);
    if (result != ERROR_SUCCESS) return result;
    wchar_t version[MAX_PATH];
    if (wcslen(versioning->runFolder) + wcslen(relative) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    CopyText(version, MAX_PATH, versioning->runFolder);
    AppendText(version, MAX_PATH, relative);
    result = MakeFoldersOf(versioning, version);
    if (result != ERROR_SUCCESS) return result;
    // Without MOVEFILE_REPLACE_EXISTING nothing there is overwritten, and
    // without MOVEFILE_COPY_ALLOWED another volume says so.
    if (SyncCalls().moveFile(path, version, 0)) return ERROR_SUCCESS;
    result = LastErrorOr(ERROR_ACCESS_DENIED);
    return result == ERROR_NOT_SAME_DEVICE ? CopyThenRemove(path, version, seen) : result;
}
