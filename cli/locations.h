#pragma once
// The folders that the command line names: LEFT and RIGHT, and where the
// logs of a run go.
#include <string>

namespace cli {

// The full path of a folder argument, ending in a backslash; empty when it
// cannot be formed.
std::wstring FolderPath(const std::wstring& argument);
bool IsFolder(const std::wstring& path);

// Checks LEFT and RIGHT and gives their full paths. Returns an empty text when
// both can be analysed and synchronized; otherwise what is wrong, and in
// `usageError` whether it lies in the command line (rather than in a folder
// that exists but cannot be read).
std::wstring CheckLocations(const std::wstring (&arguments)[2], std::wstring (&paths)[2], bool* usageError);

// Where a run writes its logs.
struct RunLogs {
    std::wstring analyze;
    std::wstring synchronize;
};

// In `folder` when one is given (AnalyzeLog.txt and SynchronizeLog.txt);
// otherwise files of this run only in the user's temporary folder, named by
// the date, the time and the process. Returns an empty text, or what is wrong.
std::wstring ChooseLogPaths(const std::wstring& folder, RunLogs* logs);

}  // namespace cli
