#pragma once
// Flat entry records of the location model and the counted lists that carry them.
#include <windows.h>

#include <cstdint>

// Difference state of one node.
enum DiffState : uint32_t {
    DiffIdentical = 0,
    DiffNew = 1,
    DiffMissing = 2,
    DiffModified = 3,
    DiffUnknown = 4,
};

// DiffState, plus 5 for a folder: 0-4 files, 5-9 folders.
typedef uint32_t StateCode;
const StateCode kFolderStateOffset = 5;

// One bit per StateCode except the two Unknown codes; 0xFF shows everything.
typedef uint8_t StateFilterMask;
const StateFilterMask kShowAllStates = 0xFF;

const unsigned kMaxNameUnits = 260;  // MAX_PATH: at most 259 characters plus terminator

inline bool IsFolderAttributes(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

inline StateCode MakeStateCode(DWORD attributes, DiffState state) {
    return state + (IsFolderAttributes(attributes) ? kFolderStateOffset : 0);
}

// True when `mask` shows a node of this folder flag and state; Unknown never passes.
inline bool StatePassesFilter(DWORD attributes, DiffState state, StateFilterMask mask) {
    if (state == DiffUnknown || state > DiffUnknown) return false;
    unsigned bit = IsFolderAttributes(attributes) ? state + 4 : state;
    return (mask >> bit) & 1;
}

// One entry of a live folder listing.
struct DirEntry {
    wchar_t name[kMaxNameUnits];
    FILETIME lastWriteTime;
    uint64_t size;
    DWORD attributes;
};

// The flat image of a node: a DirEntry widened by its state.
struct NodeRecord {
    wchar_t name[kMaxNameUnits];
    FILETIME lastWriteTime;
    uint64_t size;
    DWORD attributes;
    DiffState state;
};

// A heap block: the count, then the entries. Allocated with room for at least
// one entry; the receiver frees it with FreeRecordList.
template <class Entry>
struct RecordList {
    uint32_t count;
    Entry entries[1];
};

typedef RecordList<NodeRecord> NodeRecordList;
typedef RecordList<DirEntry> DirEntryList;

NodeRecord WidenDirEntry(const DirEntry& entry, DiffState state);

// Sorts into listing order: ".." first, then names ascending ignoring case.
// Returns false only when no list is given.
bool SortListing(NodeRecordList* list);
bool SortListing(DirEntryList* list);

void FreeRecordList(void* list);
