#include "analysis/analyze_log.h"

#include "analysis/skip_log.h"

#include <cwchar>

bool AnalyzeLogPath(wchar_t* path) { return LogPathBesideProgram(kAnalyzeLogName, path); }

bool OpenAnalyzeLog() {
    wchar_t path[MAX_PATH];
    return AnalyzeLogPath(path) && SkipLogOpen(path, kAnalyzeLogHeader);
}
