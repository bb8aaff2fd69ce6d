#include "model/location_paths.h"

#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/scan_checks.h"
#include "model/text.h"
#include "model/win_guards.h"

#include <winioctl.h>

#include <cstring>
#include <cwchar>

namespace {

// Ends the folder path `path` of `length` units in a backslash; 0 when it does not fit in kPathUnits.
size_t EndInBackslash(wchar_t* path, size_t length) {
    if (length == 0 || path[length - 1] == L'\\') return length;
    if (length >= kPathUnits - 1) return 0;
    path[length++] = L'\\';
    path[length] = 0;
    return length;
}

// The full form of a folder path, ending in a backslash, in `full` (kPathUnits); 0 when it cannot be formed.
size_t ResolveFolder(const wchar_t* path, wchar_t* full) {
    DWORD length = GetFullPathNameW(path, kPathUnits, full, nullptr);
    if (length == 0 || length >= kPathUnits - 1) return 0;
    return EndInBackslash(full, length);
}

// How much of a full path names the place it starts from, above which no walk
// up the path goes: "C:\", "\\server\share\", "\\?\Volume{...}\", "\\.\unix\".
size_t RootLength(const wchar_t* path) {
    if (path[0] && path[1] == L':') return 3;
    if (path[0] != L'\\' || path[1] != L'\\') return 0;
    size_t at = 2;
    for (int part = 0; part < 2 && path[at]; ++part) {
        while (path[at] && path[at] != L'\\') ++at;
        if (path[at]) ++at;
    }
    return at;
}

// Whether two folders whose indexes agree are one folder: their volumes must agree too.
bool SameFolderAt(const wchar_t* first, const wchar_t* second) {
    FolderIdentity a, b;
    return ReadFolderIdentity(first, &a) == ERROR_SUCCESS && ReadFolderIdentity(second, &b) == ERROR_SUCCESS &&
           SameFolder(a, b);
}

// True when the folder `outer`, of index `outerIndex`, is by identity the
// folder `inner` (full, ending in a backslash) or one above it on its path:
// another drive letter for the same place, a short name or a link leads to the
// same folder. `inner` is cut in place at each backslash and restored.
bool OnPathByIdentity(const wchar_t* outer, ULONGLONG outerIndex, wchar_t* inner, size_t innerLength) {
    const size_t root = RootLength(inner);
    bool inside = false;
    for (size_t end = innerLength; end > 0 && end >= root && !inside; --end) {
        if (inner[end - 1] != L'\\') continue;
        wchar_t kept = inner[end];
        inner[end] = 0;
        ULONGLONG index;
        inside = ReadFolderIndex(inner, &index) == ERROR_SUCCESS && index == outerIndex && SameFolderAt(outer, inner);
        inner[end] = kept;
    }
    return inside;
}

// Wine's record of a drive in its mount manager, which also asks for one.
struct WineDriveRecord {
    ULONG size;
    ULONG type;
    ULONG fileSystem;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT folderOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};
const DWORD kReadWineDrive = CTL_CODE('m', 33, METHOD_BUFFERED, FILE_READ_ACCESS);
const DWORD kWineReplyBytes = 8192;  // within one path buffer
typedef char*(CDECL* WineUnixName)(const wchar_t*);

// Appends the Linux path `text` (UTF-8) to `path` of `length` units, slashes
// turned to backslashes; 0 when it does not fit in kPathUnits or is not UTF-8.
size_t AppendLinuxPath(wchar_t* path, size_t length, const char* text) {
    size_t units = 0;
    if (length >= kPathUnits ||
        Utf8ToWide(text, strlen(text), path + length, kPathUnits - length - 1, &units) != ERROR_SUCCESS)
        return 0;
    path[length + units] = 0;
    for (size_t end = length + units; length < end; ++length) {
        if (path[length] == L'/') path[length] = L'\\';
    }
    return length;
}

// Under Wine a drive letter is a link into the Linux tree, and a final path
// names a folder from the drive whose root lies deepest above it, so no path
// leads above a drive's root. Wine's mount manager keeps each drive's link as
// it was set up, or found when Wine started: the folder it leads to, in Wine's
// form "\\.\unix\...", goes to `folder` (kPathUnits), ending in a backslash.
// 0 when not under Wine, when the drive has no folder, and when the folder is
// not the drive's root (the link was changed since). `scratch` holds kPathUnits.
size_t WineDriveFolder(wchar_t letter, wchar_t* folder, wchar_t* scratch) {
    auto unixName = reinterpret_cast<WineUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return 0;
    OwnedHandle manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    if (!manager.IsValid()) return 0;
    const wchar_t root[] = {letter, L':', L'\\', 0};
    WineDriveRecord request = {};
    request.size = sizeof request;
    request.letter = letter;
    auto* reply = reinterpret_cast<char*>(folder);
    DWORD got = 0;
    if (!DeviceIoControl(manager.Get(), kReadWineDrive, &request, sizeof request, reply, kWineReplyBytes, &got,
                         nullptr) ||
        got < sizeof(WineDriveRecord) || got > kWineReplyBytes)
        return 0;
    const USHORT offset = reinterpret_cast<const WineDriveRecord*>(reply)->folderOffset;
    const char* link = reply + offset;
    if (offset < sizeof(WineDriveRecord) || offset >= got || !memchr(link, 0, got - offset) || !link[0]) return 0;
    wcscpy(scratch, L"\\\\.\\unix");
    size_t length = wcslen(scratch);
    if (link[0] != '/') {
        // A relative link starts from the folder that holds the drive's own link.
        char* own = unixName(root);
        if (!own) return 0;
        length = AppendLinuxPath(scratch, length, own);
        if (length > 0) length = AppendLinuxPath(scratch, length, "/../");
        HeapFree(GetProcessHeap(), 0, own);
    }
    if (length > 0) length = AppendLinuxPath(scratch, length, link);
    if (length > 0) length = ResolveFolder(scratch, folder);
    return length > 0 && SameFolderAt(folder, root) ? length : 0;
}

// The folder that a drive stands for under Wine (WineDriveFolder), read once
// for both directions of a check: reading it asks the mount manager, and both
// locations mostly lie on one drive.
struct WineDrive {
    wchar_t letter;  // 0 until read
    size_t length;  // of `folder`; 0 for none
    wchar_t* folder;  // kPathUnits
};

// True when the folder `outer` (full) is by identity the folder `inner` (full,
// ending in a backslash, cut and restored) or lies above it: on the path of
// `inner` as given, on its final path (every link resolved, a substituted or
// mapped drive named as the folder it stands for), or above the folder that
// its drive stands for under Wine. `spare` holds 2 * kPathUnits.
bool HoldsByIdentity(const wchar_t* outer, wchar_t* inner, size_t innerLength, wchar_t* spare, WineDrive* drive) {
    ULONGLONG outerIndex;
    if (ReadFolderIndex(outer, &outerIndex) != ERROR_SUCCESS) return false;
    if (OnPathByIdentity(outer, outerIndex, inner, innerLength)) return true;
    size_t length = ReadFinalPath(inner, spare) == ERROR_SUCCESS ? EndInBackslash(spare, wcslen(spare)) : 0;
    if (length > 0 && CompareNamesIgnoringCase(spare, inner) != 0 && OnPathByIdentity(outer, outerIndex, spare, length))
        return true;
    // What does not exist yet lies on the drive its path names.
    const wchar_t* named = length > 0 ? spare : inner;
    if (RootLength(named) != 3) return false;
    if (drive->letter != named[0]) {
        drive->letter = named[0];
        drive->length = WineDriveFolder(drive->letter, drive->folder, spare);
    }
    return drive->length > 0 && OnPathByIdentity(outer, outerIndex, drive->folder, drive->length);
}

// FolderHolds with room for its paths: `room` holds 5 * kPathUnits, the last
// of them the drive's folder.
bool HoldsWithin(const wchar_t* outer, const wchar_t* inner, wchar_t* room, WineDrive* drive) {
    wchar_t* a = room;
    wchar_t* b = a + kPathUnits;
    size_t lengthA = ResolveFolder(outer, a);
    size_t lengthB = ResolveFolder(inner, b);
    if (lengthA == 0 || lengthB == 0) return true;
    // Both end in a backslash, so a shorter outer path is a whole folder of the inner one or none.
    return (lengthA <= lengthB && NameMatchesComponent(a, b, lengthA)) ||
           HoldsByIdentity(a, b, lengthB, b + kPathUnits, drive);
}

// Checks whether `outer` holds `inner`, and when `both` is set also the other way round.
bool Holds(const wchar_t* outer, const wchar_t* inner, bool both) {
    if (!outer || !inner) return true;
    MemBlock<wchar_t> room(5 * kPathUnits);
    if (!room.Get()) return true;
    WineDrive drive = {0, 0, room.Get() + 4 * kPathUnits};
    return HoldsWithin(outer, inner, room.Get(), &drive) || (both && HoldsWithin(inner, outer, room.Get(), &drive));
}

}  // namespace

bool LocationsOverlap(const wchar_t* first, const wchar_t* second) { return Holds(first, second, true); }

bool FolderHolds(const wchar_t* outer, const wchar_t* inner) { return Holds(outer, inner, false); }

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
