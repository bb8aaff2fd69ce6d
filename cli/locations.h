#pragma once
// The folders that the command line names: LEFT and RIGHT, and where the
// logs of a run go.
#include <windows.h>

#include <string>

namespace cli {

// The two locations' names in what the companion tells.
const wchar_t* const kSideNames[2] = {L"LEFT", L"RIGHT"};

// The full path of a folder argument, ending in a backslash; empty when it
// cannot be formed.
std::wstring FolderPath(const std::wstring& argument);
bool IsFolder(const std::wstring& path);
// 0 when the folder can be opened for listing, otherwise the system's code.
DWORD ListingError(const std::wstring& folder);

// What a LEFT or RIGHT argument names: a folder, or a catalog of one (a file
// whose first line is a catalog's header), which stands for the folder as it was.
// A synchronization's target may also be a folder not there yet, whose parent
// is: the run makes it (a dry run takes it as empty).
enum class LocationKind { Folder, Catalog, NewFolder };

// Checks LEFT and RIGHT and gives their full paths (a folder's ending in a
// backslash) and kinds. Returns an empty text when both can be analysed, and
// two folders synchronized; otherwise what is wrong, and in `argumentProblem`
// whether the command line names what cannot be used (rather than a folder
// that exists but cannot be read).
// `newFolderSide` (0 or 1; -1 for none) may name a folder that is not there yet.
std::wstring CheckLocations(const std::wstring (&arguments)[2], std::wstring (&paths)[2],
                            LocationKind (&kinds)[2], bool* argumentProblem, int newFolderSide = -1);

// The versioning folder of --backup-dir as a full path ending in a backslash,
// in `folder`. Returns an empty text, or why it cannot be one: it lies inside
// LEFT or RIGHT (or is one), or neither it nor its parent exists.
std::wstring CheckVersioningFolder(const std::wstring& argument, const std::wstring (&paths)[2],
                                   std::wstring* folder);

// The full path of a file the run writes (a catalog, a baseline), named `name`
// in what is told, which is `kind`; empty, with the reason in `problem`, when
// it cannot go there: a path too long, a folder, a folder that is not there.
std::wstring OwnFilePath(const std::wstring& argument, const wchar_t* name, const wchar_t* kind,
                         std::wstring* problem);

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
