#include "sync/sync_items.h"

#include "analysis/state_walk.h"
#include "model/location_paths.h"
#include "model/memory.h"
#include "model/names.h"

#include <cstdlib>
#include <cwchar>

namespace {

const uint32_t kFirstItemCapacity = 100;

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

DWORD AppendSyncItem(SyncItemList** list, const SyncItem& item) {
    if (!list || !item.path) return ERROR_INVALID_PARAMETER;
    SyncItemList* items = *list;
    if (!items || items->count == items->capacity) {
        // Doubling keeps the copies of a growing list linear in its length.
        uint32_t capacity = items ? items->capacity * 2 : kFirstItemCapacity;
        if (items && capacity <= items->capacity) return ERROR_NOT_ENOUGH_MEMORY;
        if (capacity > (SIZE_MAX - sizeof(SyncItemList)) / sizeof(SyncItem)) return ERROR_NOT_ENOUGH_MEMORY;
        auto* grown = static_cast<SyncItemList*>(MemGrow(items, ListBytes(capacity)));
        if (!grown) return ERROR_NOT_ENOUGH_MEMORY;
        if (!items) grown->count = 0;
        grown->capacity = capacity;
        *list = items = grown;
    }
    size_t length = wcslen(item.path);
    auto* copy = static_cast<wchar_t*>(MemAlloc((length + 1) * sizeof(wchar_t)));
    if (!copy) return ERROR_NOT_ENOUGH_MEMORY;
    wmemcpy(copy, item.path, length + 1);
    SyncItem& added = items->items[items->count++];
    added = item;
    added.path = copy;
    return ERROR_SUCCESS;
}

DWORD AppendSyncItem(SyncItemList** list, const wchar_t* path, DiffState state, bool isFolder, bool checked) {
    SyncItem item = {};
    item.path = const_cast<wchar_t*>(path);
    item.state = state;
    item.isFolder = isFolder;
    item.checked = checked;
    return AppendSyncItem(list, item);
}

void FreeSyncItemList(SyncItemList* list) {
    if (!list) return;
    for (uint32_t i = 0; i < list->count; ++i) MemFree(list->items[i].path);
    MemFree(list);
}

namespace {

SyncSeenFile SeenOf(const FileNode* node) {
    if (!node || IsFolderNode(node)) return SyncSeenFile{};
    return SyncSeenFile{true, node->size, node->lastWriteTime};
}

// What the analysis saw of a listed node at both places. A New node stands
// alone, a Missing node is the copy of the other location's entry, and a
// Modified file has its counterpart in the other tree at the same tree path.
bool SeenAtBothPlaces(const FileNode* node, DiffState state, const LocationTree* otherTree, wchar_t* treePath,
                      SyncItem* item) {
    item->seenKnown = true;
    item->seenHere = state == DiffMissing ? SyncSeenFile{} : SeenOf(node);
    item->seenThere = state == DiffMissing ? SeenOf(node) : SyncSeenFile{};
    if (state != DiffModified || IsFolderNode(node)) return true;
    if (!BuildNodePath(kRootTreePath, node, treePath)) return false;
    size_t length = wcslen(treePath);
    if (length + 1 >= kPathUnits) return false;
    treePath[length] = L'\\';
    treePath[length + 1] = 0;
    const FileNode* counterpart = FindNodeByPath(otherTree, treePath);
    if (!counterpart || IsFolderNode(counterpart)) return false;
    item->seenThere = SeenOf(counterpart);
    return true;
}

// The walk over the subtree, with the buffers it needs; frees them on every return.
struct ListingBuffers {
    StateWalk* walk = static_cast<StateWalk*>(MemAllocZero(sizeof(StateWalk)));
    wchar_t* path = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    wchar_t* treePath = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    bool Allocated() const { return walk && path && treePath; }
    ~ListingBuffers() {
        if (walk) StateWalkClear(walk);
        MemFree(treePath);
        MemFree(path);
        MemFree(walk);
    }
};

DWORD CollectSyncItems(FileNode* folder, const wchar_t* currentRoot, const LocationTree* otherTree,
                       ListingBuffers& buffers, SyncItemList** items) {
    StateWalk* walk = buffers.walk;
    walk->mask = kSyncListMask;
    walk->folder = folder;
    walk->next = folder->firstChild;
    wcscpy(walk->basePath, currentRoot);
    for (;;) {
        DWORD attributes = 0;
        DiffState state = DiffIdentical;
        FileNode* node = nullptr;
        DWORD step = StateWalkNext(walk, &attributes, &state, buffers.path, &node);
        if (step == ERROR_NO_MORE_FILES) return ERROR_SUCCESS;
        // A path too long for any buffer is passed over, as the dialog passes over an item it cannot add.
        if (step == ERROR_FILENAME_EXCED_RANGE) continue;
        if (step != ERROR_SUCCESS) return step;
        SyncItem item = {};
        item.path = buffers.path;
        item.state = state;
        item.isFolder = IsFolderAttributes(attributes);
        item.checked = true;
        // Without its counterpart a Modified file cannot be checked before it is overwritten.
        if (!SeenAtBothPlaces(node, state, otherTree, buffers.treePath, &item)) item.seenKnown = false;
        step = AppendSyncItem(items, item);
        if (step != ERROR_SUCCESS) return step;
    }
}

}  // namespace

DWORD ListSyncItems(FileNode* folder, const wchar_t* currentRoot, const LocationTree* otherTree,
                    SyncItemList** list) {
    if (!folder || !currentRoot || !otherTree || !list || wcslen(currentRoot) >= kPathUnits)
        return ERROR_INVALID_PARAMETER;
    *list = nullptr;
    ListingBuffers buffers;
    if (!buffers.Allocated()) return ERROR_NOT_ENOUGH_MEMORY;
    SyncItemList* items = nullptr;
    DWORD result = CollectSyncItems(folder, currentRoot, otherTree, buffers, &items);
    if (result != ERROR_SUCCESS) {
        FreeSyncItemList(items);
        return result;
    }
    if (items) qsort(items->items, items->count, sizeof(SyncItem), CompareItemPaths);
    *list = items;
    return ERROR_SUCCESS;
}
