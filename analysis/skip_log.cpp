#include "analysis/skip_log.h"

#include "model/win_guards.h"

#include <cwchar>

namespace {

const size_t kMaxHeaderChars = 1018;
const size_t kMaxFileNameChars = 259;

struct SkipLogState {
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD entries = 0;
    wchar_t fileName[kMaxFileNameChars + 1] = {};
};

SkipLogState g_log;
SkipLogWriteFunction g_write = WriteFile;
// Two scan threads may write at once; each line must reach the file whole.
SRWLOCK g_lock = SRWLOCK_INIT;

class LogLock {
public:
    LogLock() { AcquireSRWLockExclusive(&g_lock); }
    ~LogLock() { ReleaseSRWLockExclusive(&g_lock); }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;
};

bool WriteAll(HANDLE file, const void* bytes, DWORD size) {
    DWORD written = 0;
    return g_write(file, bytes, size, &written, nullptr) && written == size;
}

void CloseLogFile() {
    CloseHandle(g_log.file);
    g_log.file = INVALID_HANDLE_VALUE;
}

bool AppendLineLocked(const wchar_t* text) {
    if (g_log.file == INVALID_HANDLE_VALUE) return false;
    static const wchar_t kLineEnd[] = L"\r\n";
    size_t length = wcslen(text);
    bool written = (length == 0 || WriteAll(g_log.file, text, static_cast<DWORD>(length * sizeof(wchar_t)))) &&
                   WriteAll(g_log.file, kLineEnd, 2 * sizeof(wchar_t));
    if (!written) {
        CloseLogFile();
        return false;
    }
    ++g_log.entries;
    return true;
}

}  // namespace

bool SkipLogOpen(const wchar_t* path, const wchar_t* header) {
    if (!path || !header) return false;
    LogLock lock;
    if (g_log.file != INVALID_HANDLE_VALUE) return false;
    size_t pathLength = wcslen(path);
    size_t headerLength = wcslen(header);
    if (pathLength > kMaxFileNameChars || headerLength > kMaxHeaderChars) return false;
    OwnedHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    // Byte-order mark, header and the blank line go out in one write.
    wchar_t start[1 + kMaxHeaderChars + 4];
    start[0] = 0xFEFF;
    wmemcpy(start + 1, header, headerLength);
    wmemcpy(start + 1 + headerLength, L"\r\n\r\n", 4);
    if (!WriteAll(file.Get(), start, static_cast<DWORD>((headerLength + 5) * sizeof(wchar_t)))) {
        // Closed first: the file is not shared, not even for its deletion.
        file.Close();
        DeleteFileW(path);
        return false;
    }
    // Remembered only once the file is ours, so that a close never deletes a stranger's file.
    wmemcpy(g_log.fileName, path, pathLength + 1);
    g_log.entries = 0;
    g_log.file = file.Release();
    return true;
}

bool LogPathBesideProgram(const wchar_t* name, wchar_t* path) {
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    wchar_t* lastBackslash = wcsrchr(path, L'\\');
    if (!lastBackslash) return false;
    size_t folderLength = static_cast<size_t>(lastBackslash - path) + 1;
    if (folderLength + wcslen(name) >= MAX_PATH) return false;
    wcscpy(lastBackslash + 1, name);
    return true;
}

bool SkipLogAppend(const wchar_t* text) { return SkipLogAppendLines(&text, 1); }

bool SkipLogAppendLines(const wchar_t* const* lines, unsigned count) {
    if (!lines) return false;
    LogLock lock;
    for (unsigned i = 0; i < count; ++i) {
        if (!lines[i] || !AppendLineLocked(lines[i])) return false;
    }
    return true;
}

DWORD SkipLogClose() {
    LogLock lock;
    const bool unused = g_log.entries == 0 && g_log.fileName[0];
    if (g_log.file != INVALID_HANDLE_VALUE) {
        // Emptied before it is deleted: under Wine deleting a file that still
        // holds its header takes 0.5 to 5 ms, an empty one 0.1 ms.
        if (unused && SetFilePointer(g_log.file, 0, nullptr, FILE_BEGIN) == 0) SetEndOfFile(g_log.file);
        CloseLogFile();
    }
    if (unused) DeleteFileW(g_log.fileName);
    DWORD entries = g_log.entries;
    g_log.fileName[0] = 0;
    return entries;
}

void SkipLogSetWriteFunction(SkipLogWriteFunction write) {
    LogLock lock;
    g_write = write ? write : WriteFile;
}
