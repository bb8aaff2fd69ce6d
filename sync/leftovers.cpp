#include "sync/leftovers.h"

#include "model/exclusions.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/text.h"
#include "sync/file_batches.h"
#include "sync/file_checks.h"
#include "sync/sync_results.h"

#include <cwchar>

namespace {

const uint32_t kFirstCapacity = 16;

// The root of the location that holds `path`.
const wchar_t* RootOf(const BatchContext* context, const wchar_t* path) {
    const wchar_t* other = context->otherRoot;
    return wcsncmp(path, other, wcslen(other)) == 0 ? other : context->currentRoot;
}

// True when an item of the list stands at `path` on either side: the analysis
// saw it, and the run's own decision (or the user's choice) holds for it.
bool Listed(const BatchContext* context, const wchar_t* path) {
    const wchar_t* relative = path + wcslen(RootOf(context, path));
    const size_t currentUnits = wcslen(context->currentRoot);
    for (uint32_t index = 0; index < context->items->count; ++index) {
        const wchar_t* itemPath = context->items->items[index].path;
        if (CompareNamesIgnoringCase(itemPath + currentUnits, relative) == 0) return true;
    }
    return false;
}

bool Known(const LeftoverList* list, const wchar_t* path) {
    for (uint32_t index = 0; list && index < list->count; ++index) {
        if (CompareNamesIgnoringCase(list->entries[index].path, path) == 0) return true;
    }
    return false;
}

DWORD Append(LeftoverList** list, const wchar_t* path) {
    if (!*list || (*list)->count == (*list)->capacity) {
        const uint32_t capacity = *list ? (*list)->capacity * 2 : kFirstCapacity;
        auto* grown = static_cast<LeftoverList*>(
            MemGrow(*list, sizeof(LeftoverList) + sizeof(Leftover) * (capacity - 1)));
        if (!grown) return ERROR_NOT_ENOUGH_MEMORY;
        if (!*list) grown->count = 0;
        grown->capacity = capacity;
        *list = grown;
    }
    Leftover* entry = &(*list)->entries[(*list)->count++];
    CopyText(entry->path, MAX_PATH, path);
    entry->result = kSyncPending;
    return ERROR_SUCCESS;
}

// The leftovers of one folder (`pattern`: the folder's path and the search pattern).
DWORD SearchFolder(const BatchContext* context, wchar_t* pattern, size_t folderUnits, LeftoverList** list) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
    DWORD result = ERROR_SUCCESS;
    const wchar_t* root = RootOf(context, pattern);
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            !IsTemporaryName(found.cFileName) || folderUnits + wcslen(found.cFileName) >= MAX_PATH)
            continue;
        wchar_t path[MAX_PATH];
        wmemcpy(path, pattern, folderUnits);
        wcscpy(path + folderUnits, found.cFileName);
        wchar_t folder[MAX_PATH];
        const size_t rootUnits = wcslen(root);
        wmemcpy(folder, path + rootUnits, folderUnits - rootUnits);
        folder[folderUnits - rootUnits] = 0;
        if (IsExcluded(context->exclusions, folder, found.cFileName, false) || Listed(context, path) ||
            Known(*list, path))
            continue;
        result = Append(list, path);
    } while (result == ERROR_SUCCESS && FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

}  // namespace

DWORD FindLeftovers(const BatchContext* context, const FileBatches* batches, LeftoverList** list) {
    *list = nullptr;
    wchar_t searched[MAX_PATH] = {};
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        const PlannedFile& planned = batches->planned[index];
        const wchar_t* source = nullptr;
        const wchar_t* target = nullptr;
        if (planned.result != kSyncPending || !IsCopy(planned.action) || !PathsOf(context, planned, &source, &target))
            continue;
        const size_t folderUnits = static_cast<size_t>(wcsrchr(target, L'\\') - target) + 1;
        // Copies come in path order: a folder's files mostly one after the other.
        if (wcsncmp(searched, target, folderUnits) == 0 && searched[folderUnits] == 0) continue;
        wmemcpy(searched, target, folderUnits);
        searched[folderUnits] = 0;
        wchar_t pattern[MAX_PATH + 16];
        swprintf(pattern, MAX_PATH + 16, L"%ls~QM?????.TMP", searched);
        const DWORD found = SearchFolder(context, pattern, folderUnits, list);
        if (found != ERROR_SUCCESS) return found;
    }
    return ERROR_SUCCESS;
}

void RemoveLeftovers(const BatchContext* context, LeftoverList* list) {
    if (!list) return;
    if (context->versioning) {
        for (uint32_t index = 0; index < list->count; ++index) {
            Leftover* entry = &list->entries[index];
            const wchar_t* relative = entry->path + wcslen(RootOf(context, entry->path));
            const DWORD moved = MoveToVersions(context->versioning, entry->path, relative);
            entry->result = moved == ERROR_SUCCESS || moved == ERROR_FILENAME_EXCED_RANGE ? moved : kSyncNotVersioned;
        }
        return;
    }
    SyncPathList paths;
    const bool listed = SyncPathListInit(&paths, size_t(list->count) * MAX_PATH + 1);
    for (uint32_t index = 0; listed && index < list->count; ++index) SyncPathListAppend(&paths, list->entries[index].path);
    if (listed) {
        SyncPathListClose(&paths);
        RunShellDeletion(context, &paths);
    }
    SyncPathListFree(&paths);
    for (uint32_t index = 0; index < list->count; ++index) {
        Leftover* entry = &list->entries[index];
        entry->result = !listed                                              ? ERROR_NOT_ENOUGH_MEMORY
                        : MatchesSeen(entry->path, SyncSeenFile{}, TimeRule{}) ? ERROR_SUCCESS
                                                                             : kSyncNotRecycled;
    }
}

void FreeLeftovers(LeftoverList* list) { MemFree(list); }
