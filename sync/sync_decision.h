#pragma once
// The decision table of a synchronization and the path rules it relies on.
#include "model/records.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

enum SyncDirection : uint32_t {
    SyncCommit = 0,  // make the other location like the current one
    SyncUpdate = 1,  // make the current location like the other one
};

enum SyncAction : uint32_t {
    SyncNoAction = 0,
    SyncCopyToOther,  // file: copy the item path to the other path, overwriting
    SyncCopyFromOther,  // file: copy the other path to the item path, overwriting
    SyncDeleteItem,  // file: delete the item path (Recycle Bin)
    SyncDeleteOther,  // file: delete the other path (Recycle Bin)
    SyncCreateOther,  // folder: create the other path (pass 2)
    SyncCreateItem,  // folder: create the item path (pass 2)
    SyncRemoveOther,  // folder: remove the other path when empty (pass 3)
    SyncRemoveItem,  // folder: remove the item path when empty (pass 3)
};

// What a checked item of this kind and state asks for in this direction.
SyncAction DecideSyncAction(SyncDirection direction, bool isFolder, DiffState state);

// True when the shell can take the file path: fewer than 260 characters, and
// its last backslash stands early enough (position + 13 below 260) to leave
// room for an 8.3 name and the terminator. A path without a backslash is
// not a full path and is refused.
bool IsPathUsable(const wchar_t* path);

// The item's place below the other root: `otherRoot` followed by the part of
// `itemPath` behind `currentRoot`, in `otherPath` of `capacity` units.
// Returns 0; ERROR_FILENAME_EXCED_RANGE when the result was cut to fit;
// ERROR_INVALID_PARAMETER (and an empty result) when the item path does not
// begin with the current root, so that the item has no known other place.
DWORD BuildOtherPath(const wchar_t* itemPath, const wchar_t* currentRoot, const wchar_t* otherRoot,
                     wchar_t* otherPath, size_t capacity);
