#pragma once
// Listing of the live file system: logical volumes and single folders.
#include "model/records.h"

struct VolumeInfo {
    wchar_t rootPath[4];     // "C:\"
    wchar_t volumeName[261]; // the label; empty when none can be read
    uint32_t driveType;      // DRIVE_UNKNOWN, DRIVE_REMOVABLE ... DRIVE_RAMDISK
};

// A heap block: count (at least 1), then the volumes in drive-letter order.
struct VolumeList {
    uint32_t count;
    VolumeInfo entries[1];
};

// Every drive letter that has a root, or null when none has or memory runs out.
// Free with FreeRecordList.
VolumeList* EnumerateVolumes();

// Lists a folder path ending in a backslash into two new lists in the system's
// order, "." and ".." included. Returns 0 or a Win32 error code.
DWORD ListDirectory(const wchar_t* folderPath, DirEntryList** files, DirEntryList** folders);

// Takes one entry of a folder as the search finds it; false when memory ran out.
typedef bool (*FoundEntrySink)(void* context, const WIN32_FIND_DATAW& found);
// Hands every entry of a folder path ending in a backslash to `sink`, in the
// system's order, "." and ".." included. Returns 0, ERROR_NOT_ENOUGH_MEMORY
// once the sink has refused an entry, or the search's Win32 error code.
DWORD EnumerateFolder(const wchar_t* folderPath, FoundEntrySink sink, void* context);
// Writes what a search found into `entry`; only the name's own units are copied.
void CopyFindData(const WIN32_FIND_DATAW& found, DirEntry* entry);
// The same into a node's record, whose state is left as it is.
void CopyFindData(const WIN32_FIND_DATAW& found, NodeRecord* record);

// True when the folder holds a folder other than "." and "..".
bool HasSubfolder(const wchar_t* folderPath);
