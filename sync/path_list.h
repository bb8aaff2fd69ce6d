#pragma once
// A list of paths in the shell's form: zero-terminated paths one after the
// other, closed by one more zero (an empty string).
#include <cstddef>
#include <cstdint>

struct SyncPathList {
    wchar_t* text;
    size_t capacity;  // characters
    size_t used;  // characters, without the closing zero
};

// Room a list must keep free after each accepted item: one more path of up
// to 259 characters, its terminator and the closing zero.
const size_t kSyncPathListReserve = 262;

// The starting capacity and the growth step for a run over `itemCount` items;
// 0 when the figure does not fit in memory sizes.
size_t SyncPathListStartCapacity(uint32_t itemCount);
size_t SyncPathListGrowthStep(uint32_t itemCount);

// Allocates an empty list; false when memory runs out.
bool SyncPathListInit(SyncPathList* list, size_t capacity);
// Appends the path and its terminator; false when it would not leave room
// for the closing zero (the list is then unchanged).
bool SyncPathListAppend(SyncPathList* list, const wchar_t* path);
// Grows the list by `step` when its free room is below kSyncPathListReserve;
// false when memory runs out (the list stays as it was).
bool SyncPathListKeepRoom(SyncPathList* list, size_t step);
// Writes the closing zero.
void SyncPathListClose(SyncPathList* list);
bool SyncPathListIsEmpty(const SyncPathList* list);
void SyncPathListFree(SyncPathList* list);

// Walks a closed list: the path after `path` (the first one for null), or
// null at its end.
const wchar_t* SyncPathListNext(const SyncPathList* list, const wchar_t* path);
