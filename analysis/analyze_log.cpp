#include "analysis/analyze_log.h"

#include "analysis/skip_log.h"

#include <cwchar>

bool AnalyzeLogPath(wchar_t* path) {
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    wchar_t* lastBackslash = wcsrchr(path, L'\\');
    if (!lastBackslash) return false;
    size_t folderLength = static_cast<size_t>(lastBackslash - path) + 1;
    if (folderLength + wcslen(kAnalyzeLogName) >= MAX_PATH) return false;
    wcscpy(lastBackslash + 1, kAnalyzeLogName);
    return true;
}

bool OpenAnalyzeLog() {
    wchar_t path[MAX_PATH];
    return AnalyzeLogPath(path) && SkipLogOpen(path, kAnalyzeLogHeader);
}
