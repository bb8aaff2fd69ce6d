#include "sync/path_list.h"

#include "model/memory.h"

#include <cwchar>

namespace {

// Keeps a figure in characters below what the heap can be asked for in bytes.
size_t CapacityOrZero(uint64_t characters) {
    const uint64_t limit = SIZE_MAX / sizeof(wchar_t) / 2;
    return characters > limit ? 0 : static_cast<size_t>(characters);
}

}  // namespace

size_t SyncPathListStartCapacity(uint32_t itemCount) { return CapacityOrZero(uint64_t(itemCount) * 80 + 260); }

size_t SyncPathListGrowthStep(uint32_t itemCount) { return CapacityOrZero(uint64_t(itemCount) * 40 + 260); }

bool SyncPathListInit(SyncPathList* list, size_t capacity) {
    list->used = 0;
    list->capacity = 0;
    list->text = nullptr;
    if (capacity == 0) return false;
    list->text = static_cast<wchar_t*>(MemAlloc(capacity * sizeof(wchar_t)));
    if (!list->text) return false;
    list->capacity = capacity;
    list->text[0] = 0;
    return true;
}

bool SyncPathListAppend(SyncPathList* list, const wchar_t* path) {
    size_t units = wcslen(path) + 1;
    if (!list->text || list->capacity - list->used < units + 1) return false;
    wmemcpy(list->text + list->used, path, units);
    list->used += units;
    return true;
}

bool SyncPathListKeepRoom(SyncPathList* list, size_t step) {
    if (list->capacity - list->used >= kSyncPathListReserve) return true;
    size_t capacity = CapacityOrZero(uint64_t(list->capacity) + step);
    if (step == 0 || capacity == 0) return false;
    auto* grown = static_cast<wchar_t*>(MemGrow(list->text, capacity * sizeof(wchar_t)));
    if (!grown) return false;
    list->text = grown;
    list->capacity = capacity;
    return true;
}

void SyncPathListClose(SyncPathList* list) {
    if (list->text && list->used < list->capacity) list->text[list->used] = 0;
}

bool SyncPathListIsEmpty(const SyncPathList* list) { return list->used == 0; }

void SyncPathListFree(SyncPathList* list) {
    MemFree(list->text);
    list->text = nullptr;
    list->capacity = 0;
    list->used = 0;
}

const wchar_t* SyncPathListNext(const SyncPathList* list, const wchar_t* path) {
    if (!list->text) return nullptr;
    const wchar_t* next = path ? path + wcslen(path) + 1 : list->text;
    if (next >= list->text + list->used) return nullptr;
    return next;
}
