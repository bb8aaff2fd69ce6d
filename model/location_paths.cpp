#include "model/location_paths.h"

#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/scan_checks.h"

#include <cwchar>

namespace {

// The full form of a folder path, ending in a backslash, in `full` (kPathUnits); 0 when it cannot be formed.
size_t ResolveFolder(const wchar_t* path, wchar_t* full) {
    DWORD length = GetFullPathNameW(path, kPathUnits, full, nullptr);
    if (length == 0 || length >= kPathUnits - 1) return 0;
    if (full[length - 1] != L'\\') {
        full[length++] = L'\\';
        full[length] = 0;
    }
    return length;
}

// Whether two folders whose indexes agree are one folder: their volumes must agree too.
bool SameFolderAt(const wchar_t* first, const wchar_t* second) {
    FolderIdentity a, b;
    return ReadFolderIdentity(first, &a) == ERROR_SUCCESS && ReadFolderIdentity(second, &b) == ERROR_SUCCESS &&
           SameFolder(a, b);
}

// True when the folder `inner` (resolved, ending in a backslash) is the folder
// `outer` or lies inside it by identity: another drive letter for the same
// place, a short name or a link leads to the same folder. `inner` is cut in
// place and restored.
bool InsideByIdentity(const wchar_t* outer, wchar_t* inner, size_t innerLength) {
    ULONGLONG outerIndex;
    if (ReadFolderIndex(outer, &outerIndex) != ERROR_SUCCESS) return false;
    bool inside = false;
    for (size_t end = innerLength; end > 0 && !inside; --end) {
        if (inner[end - 1] != L'\\') continue;
        wchar_t kept = inner[end];
        inner[end] = 0;
        ULONGLONG index;
        inside = ReadFolderIndex(inner, &index) == ERROR_SUCCESS && index == outerIndex && SameFolderAt(outer, inner);
        inner[end] = kept;
    }
    return inside;
}

}  // namespace

bool LocationsOverlap(const wchar_t* first, const wchar_t* second) {
    return FolderHolds(first, second) || FolderHolds(second, first);
}

bool FolderHolds(const wchar_t* outer, const wchar_t* inner) {
    if (!outer || !inner) return true;
    auto* a = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    auto* b = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    bool holds = true;
    size_t lengthA = a ? ResolveFolder(outer, a) : 0;
    size_t lengthB = b ? ResolveFolder(inner, b) : 0;
    if (lengthA > 0 && lengthB > 0) {
        // Both end in a backslash, so a shorter outer path is a whole folder of the inner one or none.
        holds = (lengthA <= lengthB && NameMatchesComponent(a, b, lengthA)) || InsideByIdentity(a, b, lengthB);
    }
    MemFree(a);
    MemFree(b);
    return holds;
}

void DropExtendedPrefix(wchar_t* path) {
    if (!path || wcsncmp(path, L"\\\\?\\", 4) != 0) return;
    const wchar_t* rest = path + 4;
    if (_wcsnicmp(rest, L"UNC\\", 4) == 0) {
        wmemmove(path + 2, rest + 4, wcslen(rest + 4) + 1);
        return;
    }
    const bool driveLetter = ((rest[0] >= L'A' && rest[0] <= L'Z') || (rest[0] >= L'a' && rest[0] <= L'z')) &&
                             rest[1] == L':' && (rest[2] == L'\\' || rest[2] == 0);
    if (driveLetter) wmemmove(path, rest, wcslen(rest) + 1);
}

bool IsRawDevicePath(const wchar_t* path) {
    return path && path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
}
