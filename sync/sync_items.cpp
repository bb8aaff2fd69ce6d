#include "sync/sync_items.h"

#include "analysis/state_walk.h"
#include "model/memory.h"
#include "model/names.h"

#include <cstdlib>
#include <cwchar>

namespace {

const uint32_t kItemGrowth = 100;

size_t ListBytes(uint32_t capacity) { return sizeof(SyncItemList) + (capacity - 1) * sizeof(SyncItem); }

int CompareItemPaths(const void* a, const void* b) {
    return CompareNamesIgnoringCase(static_cast<const SyncItem*>(a)->path, static_cast<const SyncItem*>(b)->path);
}

}  // namespace

DiffState SyncStateFromText(const wchar_t* text) {
    if (!text) return DiffUnknown;
    if (wcscmp(text, L"New") == 0) return DiffNew;
    if (wcscmp(text, L"Modified") == 0) return DiffModified;
    if (wcscmp(text, L"Missing") == 0) return DiffMissing;
    return DiffUnknown;
}

const wchar_t* SyncStateText(DiffState state) {
    switch (state) {
    case DiffNew:
        return L"New";
    case DiffModified:
        return L"Modified";
    case DiffMissing:
        return L"Missing";
    default:
        return L"";
    }
}

DWORD AppendSyncItem(SyncItemList** list, const wchar_t* path, DiffState state, bool isFolder, bool checked) {
    if (!list || !path) return ERROR_INVALID_PARAMETER;
    SyncItemList* items = *list;
    if (!items || items->count == items->capacity) {
        uint32_t capacity = (items ? items->capacity : 0) + kItemGrowth;
        if (capacity > (SIZE_MAX - sizeof(SyncItemList)) / sizeof(SyncItem)) return ERROR_NOT_ENOUGH_MEMORY;
        auto* grown = static_cast<SyncItemList*>(MemGrow(items, ListBytes(capacity)));
        if (!grown) return ERROR_NOT_ENOUGH_MEMORY;
        if (!items) grown->count = 0;
        grown->capacity = capacity;
        *list = items = grown;
    }
    size_t length = wcslen(path);
    auto* copy = static_cast<wchar_t*>(MemAlloc((length + 1) * sizeof(wchar_t)));
    if (!copy) return ERROR_NOT_ENOUGH_MEMORY;
    wmemcpy(copy, path, length + 1);
    items->items[items->count++] = SyncItem{copy, state, isFolder, checked};
    return ERROR_SUCCESS;
}

void FreeSyncItemList(SyncItemList* list) {
    if (!list) return;
    for (uint32_t i = 0; i < list->count; ++i) MemFree(list->items[i].path);
    MemFree(list);
}

DWORD ListSyncItems(FileNode* folder, const wchar_t* currentRoot, SyncItemList** list) {
    if (!folder || !currentRoot || !list || wcslen(currentRoot) >= kPathUnits) return ERROR_INVALID_PARAMETER;
    *list = nullptr;
    auto* walk = static_cast<StateWalk*>(MemAllocZero(sizeof(StateWalk)));
    auto* path = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    DWORD result = walk && path ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
    if (result == ERROR_SUCCESS) {
        walk->mask = kSyncListMask;
        walk->folder = folder;
        walk->next = folder->firstChild;
        wcscpy(walk->basePath, currentRoot);
        SyncItemList* items = nullptr;
        for (;;) {
            DWORD attributes = 0;
            DiffState state = DiffIdentical;
            DWORD step = StateWalkNext(walk, &attributes, &state, path);
            if (step == ERROR_NO_MORE_FILES) break;
            // A path too long for any buffer is passed over, as the dialog passes over an item it cannot add.
            if (step == ERROR_FILENAME_EXCED_RANGE) continue;
            if (step == ERROR_SUCCESS) step = AppendSyncItem(&items, path, state, IsFolderAttributes(attributes), true);
            if (step != ERROR_SUCCESS) {
                result = step;
                break;
            }
        }
        StateWalkClear(walk);
        if (result == ERROR_SUCCESS && items) {
            qsort(items->items, items->count, sizeof(SyncItem), CompareItemPaths);
        }
        if (result == ERROR_SUCCESS) {
            *list = items;
        } else {
            FreeSyncItemList(items);
        }
    }
    MemFree(path);
    MemFree(walk);
    return result;
}
