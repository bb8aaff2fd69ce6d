#include "sync/temporary_names.h"

#include "model/system_error.h"
#include "model/win_guards.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"

#include <cwchar>

namespace {

const wchar_t kPrefix[] = L"~QM";
const wchar_t kSuffix[] = L".TMP";
const unsigned kDigits = 5;
const unsigned kSerialMask = 0xFFFFF;  // five hexadecimal digits

volatile LONG g_serial = -1;

bool IsUpperHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'); }

// Starts from the process and the clock, so that two runs at once seldom try the same names.
unsigned NextSerial() {
    if (g_serial == -1)
        InterlockedCompareExchange(&g_serial, static_cast<LONG>((GetCurrentProcessId() * 7919u + GetTickCount()) &
                                                                kSerialMask),
                                   -1);
    return static_cast<unsigned>(InterlockedIncrement(&g_serial)) & kSerialMask;
}

// The file's last-write time; false when it cannot be read.
bool LastWriteTimeOf(const wchar_t* path, FILETIME* time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
    *time = data.ftLastWriteTime;
    return true;
}

// Some volumes' drivers (FAT's, for one) drop a file's last-write time when it
// is renamed, and the next analysis would find the copy modified: the placed
// file's time is read back and, where it went, set again.
DWORD KeepLastWriteTime(const wchar_t* target, const FILETIME& time) {
    FILETIME now;
    if (LastWriteTimeOf(target, &now) && CompareFileTime(&now, &time) == 0) return ERROR_SUCCESS;
    OwnedHandle file(CreateFileW(target, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    return file.IsValid() && SyncCalls().setFileTime(file.Get(), nullptr, nullptr, &time) ? ERROR_SUCCESS
                                                                                         : kSyncTimeNotKept;
}

}  // namespace

bool IsTemporaryName(const wchar_t* name) {
    if (wcslen(name) != kTemporaryNameUnits - 1 || wcsncmp(name, kPrefix, 3) != 0) return false;
    for (unsigned index = 0; index < kDigits; ++index) {
        if (!IsUpperHexDigit(name[3 + index])) return false;
    }
    return wcscmp(name + 3 + kDigits, kSuffix) == 0;
}

bool TemporaryPathOf(const wchar_t* target, const wchar_t* name, wchar_t* path) {
    const wchar_t* lastBackslash = wcsrchr(target, L'\\');
    if (!lastBackslash) return false;
    const size_t folderUnits = static_cast<size_t>(lastBackslash - target) + 1;
    if (folderUnits + wcslen(name) >= MAX_PATH) return false;
    wmemcpy(path, target, folderUnits);
    wcscpy(path + folderUnits, name);
    return true;
}

bool NextTemporaryPath(const wchar_t* target, wchar_t* path, wchar_t* name) {
    swprintf(name, kTemporaryNameUnits, L"%ls%05X%ls", kPrefix, NextSerial(), kSuffix);
    return TemporaryPathOf(target, name, path);
}

DWORD TakeRealName(const wchar_t* temporary, const wchar_t* target) {
    FILETIME time;
    const bool timeKnown = LastWriteTimeOf(temporary, &time);
    // Without MOVEFILE_REPLACE_EXISTING.
    if (SyncCalls().moveFile(temporary, target, 0)) return timeKnown ? KeepLastWriteTime(target, time) : ERROR_SUCCESS;
    const DWORD error = LastErrorOr(ERROR_ACCESS_DENIED);
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? kSyncNameTaken : error;
}
