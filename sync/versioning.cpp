#include "sync/versioning.h"

#include "model/scan_checks.h"
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
DWORD CopyThenRemove(const wchar_t* path, const wchar_t* version, const SyncSeenFile& seen, RunJournal* journal) {
    OwnedHandle held;
    DWORD result = HoldAsSeen(path, seen, 0, &held);
    if (result != ERROR_SUCCESS) return result;
    wchar_t temporary[MAX_PATH];
    wchar_t name[kTemporaryNameUnits];
    result = CopyOntoTemporary(path, seen, version, temporary, name, nullptr, nullptr, nullptr, journal);
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

// Days of each month of a year that is not a leap year.
const unsigned kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
// 100-nanosecond ticks in a day.
const unsigned long long kDayTicks = 864000000000ULL;

bool IsDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

unsigned DigitsValue(const wchar_t* digits, size_t count) {
    unsigned value = 0;
    for (size_t i = 0; i < count; ++i) value = value * 10 + unsigned(digits[i] - L'0');
    return value;
}

// The time a run folder's name tells, as MakeRunFolder writes it: the stamp
// alone or followed by _2, _3...; false for any other name, or a date that
// is no date.
bool RunFolderTime(const wchar_t* name, ULARGE_INTEGER* time) {
    static const wchar_t kShape[] = L"0000-00-00_000000";
    size_t at = 0;
    for (; kShape[at]; ++at) {
        if (kShape[at] == L'0' ? !IsDigit(name[at]) : name[at] != kShape[at]) return false;
    }
    if (name[at]) {
        // A suffix from 2 up, without leading zeros and without an end of other text.
        if (name[at] != L'_' || name[at + 1] < L'1' || name[at + 1] > L'9') return false;
        const size_t first = ++at;
        while (IsDigit(name[at])) ++at;
        if (name[at] || at - first > 9 || (at - first == 1 && name[first] == L'1')) return false;
    }
    SYSTEMTIME stamp = {};
    stamp.wYear = WORD(DigitsValue(name, 4));
    stamp.wMonth = WORD(DigitsValue(name + 5, 2));
    stamp.wDay = WORD(DigitsValue(name + 8, 2));
    stamp.wHour = WORD(DigitsValue(name + 11, 2));
    stamp.wMinute = WORD(DigitsValue(name + 13, 2));
    stamp.wSecond = WORD(DigitsValue(name + 15, 2));
    if (stamp.wYear < 1601 || stamp.wMonth < 1 || stamp.wMonth > 12 || stamp.wDay < 1 || stamp.wHour > 23 ||
        stamp.wMinute > 59 || stamp.wSecond > 59)
        return false;
    const bool leap = stamp.wYear % 4 == 0 && (stamp.wYear % 100 != 0 || stamp.wYear % 400 == 0);
    if (stamp.wDay > kMonthDays[stamp.wMonth - 1] + (stamp.wMonth == 2 && leap ? 1 : 0)) return false;
    FILETIME file;
    if (!SystemTimeToFileTime(&stamp, &file)) return false;
    time->LowPart = file.dwLowDateTime;
    time->HighPart = file.dwHighDateTime;
    return true;
}

bool IsLink(const WIN32_FIND_DATAW& found) { return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Calls `visit` with each entry of the folder in `path` (ending in a
// backslash, in a buffer of MAX_PATH), the entry's path then in `path`
// (a folder's with its backslash); stops at the first code other than 0,
// and returns it. `path` holds the folder again when it returns.
template <typename Visit>
DWORD ForEachEntry(wchar_t* path, Visit visit) {
    const size_t length = wcslen(path);
    if (length + 2 > MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    path[length] = L'*';
    path[length + 1] = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(path, &found);
    path[length] = 0;
    if (find == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_PATH_NOT_FOUND);
    DWORD result = ERROR_SUCCESS;
    do {
        const wchar_t* name = found.cFileName;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0) continue;
        const bool folder = IsFolderAttributes(found.dwFileAttributes) && !IsLink(found);
        if (length + wcslen(name) + (folder ? 1 : 0) >= MAX_PATH) {
            result = ERROR_FILENAME_EXCED_RANGE;
            break;
        }
        AppendText(path, MAX_PATH, name);
        if (folder) AppendText(path, MAX_PATH, L"\\");
        result = visit(found);
        path[length] = 0;
    } while (result == ERROR_SUCCESS && FindNextFileW(find, &found));
    if (result == ERROR_SUCCESS && GetLastError() != ERROR_NO_MORE_FILES) result = LastErrorOr(ERROR_READ_FAULT);
    FindClose(find);
    return result;
}

// kSyncHoldsLink when a link stands anywhere below the folder in `path`; 0 when none does.
DWORD FindLink(wchar_t* path) {
    return ForEachEntry(path, [path](const WIN32_FIND_DATAW& found) -> DWORD {
        if (IsLink(found)) return kSyncHoldsLink;
        if (IsFolderAttributes(found.dwFileAttributes)) return FindLink(path);
        // Some systems list a link to a file as a plain file: where it resolves to tells.
        const DWORD link = CheckNotLink(path);
        return link == kEntryIsLink ? kSyncHoldsLink : link;
    });
}

// Removes what the folder in `path` holds, and then the folder. A link met
// all the same is removed itself, never entered.
DWORD RemoveTree(wchar_t* path) {
    DWORD result = ForEachEntry(path, [path](const WIN32_FIND_DATAW& found) -> DWORD {
        if (IsFolderAttributes(found.dwFileAttributes)) {
            if (!IsLink(found)) return RemoveTree(path);
            return SyncCalls().removeFolder(path) ? ERROR_SUCCESS : LastErrorOr(ERROR_ACCESS_DENIED);
        }
        // An earlier version keeps its attributes; read-only would stop its deletion.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(path, found.dwFileAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
        return SyncCalls().deleteFile(path) ? ERROR_SUCCESS : LastErrorOr(ERROR_ACCESS_DENIED);
    });
    if (result != ERROR_SUCCESS) return result;
    return SyncCalls().removeFolder(path) ? ERROR_SUCCESS : LastErrorOr(ERROR_ACCESS_DENIED);
}

}  // namespace

void RemoveEarlierRuns(const wchar_t* folder, unsigned keepDays, const SYSTEMTIME& now, EarlierRunsRemoval* removal) {
    *removal = EarlierRunsRemoval{};
    FILETIME nowFile;
    ULARGE_INTEGER nowTicks = {};
    if (SystemTimeToFileTime(&now, &nowFile)) {
        nowTicks.LowPart = nowFile.dwLowDateTime;
        nowTicks.HighPart = nowFile.dwHighDateTime;
    }
    const unsigned long long keep = keepDays * kDayTicks;
    wchar_t path[MAX_PATH];
    if (wcslen(folder) >= MAX_PATH) {
        removal->firstError = ERROR_FILENAME_EXCED_RANGE;
        return;
    }
    CopyText(path, MAX_PATH, folder);
    const DWORD listed = ForEachEntry(path, [&](const WIN32_FIND_DATAW& found) -> DWORD {
        ULARGE_INTEGER named;
        if (!IsFolderAttributes(found.dwFileAttributes) || IsLink(found) || !RunFolderTime(found.cFileName, &named)) return ERROR_SUCCESS;
        if (named.QuadPart >= nowTicks.QuadPart || nowTicks.QuadPart - named.QuadPart <= keep) return ERROR_SUCCESS;
        DWORD result = FindLink(path);
        if (result == ERROR_SUCCESS) result = RemoveTree(path);
        if (result == ERROR_SUCCESS) {
            ++removal->removed;
        } else if (removal->left++ == 0) {
            removal->firstError = result;
            CopyText(removal->firstLeft, MAX_PATH, path);
        }
        return ERROR_SUCCESS;
    });
    // A versioning folder that no run has made yet holds no earlier run.
    if (listed == ERROR_FILE_NOT_FOUND || listed == ERROR_PATH_NOT_FOUND) return;
    if (listed != ERROR_SUCCESS && removal->firstError == ERROR_SUCCESS) {
        removal->firstError = listed;
        CopyText(removal->firstLeft, MAX_PATH, folder);
    }
}

void VersioningInit(Versioning* versioning, const wchar_t* folder) {
    versioning->folder = folder;
    GetLocalTime(&versioning->start);
    versioning->runFolder[0] = 0;
    versioning->journal = nullptr;
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
    return result == ERROR_NOT_SAME_DEVICE ? CopyThenRemove(path, version, seen, versioning->journal) : result;
}
