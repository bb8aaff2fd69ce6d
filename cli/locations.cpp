#include "cli/locations.h"

#include "cli/console.h"
#include "model/catalog.h"
#include "model/location_paths.h"
#include "model/location_tree.h"
#include "model/win_guards.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace cli {

namespace {

// The skipped-items log takes file names of at most this many characters.
const size_t kLogPathChars = MAX_PATH - 1;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Date and time sort the logs of many runs; the process keeps runs of the same
// second apart, and a number those of a process whose id came round again.
std::wstring RunLogBase(const std::wstring& folder) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t name[96];
    swprintf(name, 96, L"quillmar-cli-%04u%02u%02u-%02u%02u%02u-%lu-", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond, static_cast<unsigned long>(GetCurrentProcessId()));
    const std::wstring stem = folder + name;
    std::wstring base = stem;
    for (unsigned again = 2; Exists(base + L"AnalyzeLog.txt") || Exists(base + L"SynchronizeLog.txt"); ++again)
        base = stem + std::to_wstring(again) + L"-";
    return base;
}

// A folder not there yet cannot hold the other one: it overlaps only when its
// parent lies inside the other (or is it).
bool Overlap(const std::wstring (&paths)[2], const LocationKind (&kinds)[2]) {
    for (int side = 0; side < 2; ++side) {
        if (kinds[side] != LocationKind::NewFolder) continue;
        const std::wstring& path = paths[side];
        const std::wstring parent = path.substr(0, path.find_last_of(L'\\', path.size() - 2) + 1);
        return FolderHolds(paths[1 - side].c_str(), parent.c_str());
    }
    return LocationsOverlap(paths[0].c_str(), paths[1].c_str());
}

}  // namespace

// Opening the folder asks for the same right as listing it, without reading
// its entries, which for a large folder costs as much as the scan's own listing of it.
DWORD ListingError(const std::wstring& folder) {
    OwnedHandle handle(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle.IsValid() ? 0 : GetLastError();
}

std::wstring FolderPath(const std::wstring& argument) {
    std::vector<wchar_t> full(kPathUnits);
    DWORD length = GetFullPathNameW(argument.c_str(), kPathUnits, full.data(), nullptr);
    if (length == 0 || length >= kPathUnits - 1) return std::wstring();
    std::wstring path(full.data(), length);
    if (path.back() != L'\\') path += L'\\';
    return path;
}

bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring CheckLocations(const std::wstring (&arguments)[2], std::wstring (&paths)[2],
                            LocationKind (&kinds)[2], bool* argumentProblem, int newFolderSide) {
    *argumentProblem = true;
    for (int side = 0; side < 2; ++side) {
        const std::wstring name = side == 0 ? L"LEFT" : L"RIGHT";
        kinds[side] = LocationKind::Folder;
        paths[side] = FolderPath(arguments[side]);
        if (paths[side].empty()) return name + L" folder path is not valid or too long: " + arguments[side];
        // Also when another spelling (forward slashes) resolves to one.
        if (IsRawDevicePath(arguments[side].c_str()) || IsRawDevicePath(paths[side].c_str()))
            return name + L" folder path in the \\\\?\\ or \\\\.\\ form is not supported: " + arguments[side];
        if (IsFolder(paths[side])) continue;
        const std::wstring file = paths[side].substr(0, paths[side].size() - 1);
        const size_t parent = file.find_last_of(L'\\');
        if (!Exists(file) && side == newFolderSide && parent != std::wstring::npos &&
            IsFolder(file.substr(0, parent + 1))) {
            kinds[side] = LocationKind::NewFolder;
            continue;
        }
        if (!Exists(file)) return name + L" folder not found: " + arguments[side];
        // A catalog is read, never written: it may stand anywhere, even inside the other side.
        if (!IsCatalogFile(file.c_str()))
            return name + L" is not a folder: " + arguments[side] +
                   L" (nor a catalog: line 1 is not a catalog's header)";
        kinds[side] = LocationKind::Catalog;
        paths[side] = file;
    }
    // A synchronization between them would copy a location into itself or delete its own root.
    if (kinds[0] != LocationKind::Catalog && kinds[1] != LocationKind::Catalog && Overlap(paths, kinds))
        return L"LEFT and RIGHT overlap: one lies inside the other, or both are the same folder";
    *argumentProblem = false;
    for (int side = 0; side < 2; ++side) {
        if (kinds[side] != LocationKind::Folder) continue;
        // An unreadable root would look empty, and everything of the other side New.
        DWORD error = ListingError(paths[side]);
        if (error != 0)
            return (side == 0 ? L"LEFT" : L"RIGHT") + std::wstring(L" folder cannot be read: ") + arguments[side] +
                   L": " + SystemMessage(error);
    }
    return std::wstring();
}

std::wstring CheckVersioningFolder(const std::wstring& argument, const std::wstring (&paths)[2],
                                   std::wstring* folder) {
    *folder = FolderPath(argument);
    if (folder->empty()) return L"versioning folder path is not valid or too long: " + argument;
    for (int side = 0; side < 2; ++side) {
        // What it keeps would be part of the folder it was taken from.
        if (FolderHolds(paths[side].c_str(), folder->c_str()))
            return L"the versioning folder lies inside " + std::wstring(side == 0 ? L"LEFT" : L"RIGHT") + L": " +
                   argument;
    }
    if (IsFolder(*folder)) return std::wstring();
    const std::wstring parent = folder->substr(0, folder->find_last_of(L'\\', folder->size() - 2) + 1);
    if (Exists(folder->substr(0, folder->size() - 1)) || !IsFolder(parent))
        return L"versioning folder not found, nor a folder to make it in: " + argument;
    return std::wstring();
}

std::wstring OwnFilePath(const std::wstring& argument, const wchar_t* name, const wchar_t* kind,
                         std::wstring* problem) {
    std::vector<wchar_t> full(kPathUnits);
    const DWORD length = GetFullPathNameW(argument.c_str(), kPathUnits, full.data(), nullptr);
    if (length == 0 || length >= kPathUnits - 32) {
        *problem = std::wstring(name) + L" path is not valid or too long: " + argument;
        return std::wstring();
    }
    std::wstring path(full.data(), length);
    if (IsFolder(path) || path.back() == L'\\') {
        *problem = std::wstring(name) + L" is a folder: " + argument + L" (" + kind + L" is a file)";
        return std::wstring();
    }
    if (!IsFolder(path.substr(0, path.rfind(L'\\') + 1))) {
        *problem = std::wstring(name) + L"'s folder not found: " + argument;
        return std::wstring();
    }
    return path;
}

std::wstring ChooseLogPaths(const std::wstring& folder, RunLogs* logs) {
    std::wstring base;
    if (!folder.empty()) {
        base = FolderPath(folder);
        if (base.empty() || !IsFolder(base)) return L"log folder not found: " + folder;
    } else {
        wchar_t temp[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        if (length == 0 || length > MAX_PATH) return L"the temporary folder cannot be found";
        base = RunLogBase(std::wstring(temp, length));
    }
    logs->analyze = base + L"AnalyzeLog.txt";
    logs->synchronize = base + L"SynchronizeLog.txt";
    if (logs->analyze.size() > kLogPathChars || logs->synchronize.size() > kLogPathChars)
        return L"the log folder's path is too long for the logs: " + base;
    return std::wstring();
}

}  // namespace cli
