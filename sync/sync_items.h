#pragma once
// What a synchronization works on: the listed items of the current location,
// filled by the Synchronize dialog from its list or by the console companion
// from an analysed tree.
#include "model/location_tree.h"
#include "sync/sync_decision.h"

#include <windows.h>

#include <cstdint>

// A file as the analysis saw it at one place, so that the worker can tell
// whether it changed before it overwrites, deletes or copies it.
struct SyncSeenFile {
    bool exists;
    uint64_t size;
    FILETIME lastWriteTime;
};

struct SyncItem {
    wchar_t* path;  // full path in the current location, owned by the list
    DiffState state;  // New, Modified or Missing; anything else is left alone
    bool isFolder;
    bool checked;
    // What the analysis saw at the item path and at the other path. An item
    // without it cannot be checked, so its file operations are not carried out.
    bool seenKnown;
    SyncSeenFile seenHere;
    SyncSeenFile seenThere;
};

// One heap block: the count and the capacity, then the items. A folder
// stands before the items inside it (the dialog's list is sorted by path).
struct SyncItemList {
    uint32_t count;
    uint32_t capacity;
    SyncItem items[1];
};

// The state named by a "State" text of the dialog's list, compared exactly:
// "New", "Modified" or "Missing"; DiffUnknown for any other text.
DiffState SyncStateFromText(const wchar_t* text);
// The "State" text of a listed state; empty for a state that is never listed.
const wchar_t* SyncStateText(DiffState state);

// Appends a copy of the item (its path copied); the list (null at first) starts
// with room for 100 items and doubles when full. Returns 0, ERROR_NOT_ENOUGH_MEMORY or
// ERROR_INVALID_PARAMETER; on failure the list stays as it was.
DWORD AppendSyncItem(SyncItemList** list, const SyncItem& item);
// The same for an item of which nothing was seen (`seenKnown` false).
DWORD AppendSyncItem(SyncItemList** list, const wchar_t* path, DiffState state, bool isFolder, bool checked);
void FreeSyncItemList(SyncItemList* list);

// The states that are listed for a synchronization: files New, Missing or
// Modified, folders New or Missing.
const StateFilterMask kSyncListMask = 0x6E;

// Lists, all checked, every item below `folder` (a node of an analysed tree)
// that calls for work, in the dialog's order: sorted by path, ignoring case,
// each with what the analysis saw of it here and in `otherTree`, the other
// location's analysed tree. `currentRoot` is the location's root path,
// ending in a backslash. Returns 0, ERROR_NOT_ENOUGH_MEMORY or
// ERROR_INVALID_PARAMETER; the caller frees `*list` (null when nothing is
// listed) on success.
DWORD ListSyncItems(FileNode* folder, const wchar_t* currentRoot, const LocationTree* otherTree,
                    SyncItemList** list);
