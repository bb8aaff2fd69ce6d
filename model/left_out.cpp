#include "model/left_out.h"

#include "model/enumeration.h"
#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/scan_checks.h"

#include <cwchar>

namespace {

const uint32_t kFirstEntries = 64;

const wchar_t* EntryName(const void* names, uint32_t index) {
    const auto* list = static_cast<const LeftOutList*>(names);
    const wchar_t* path = LeftOutPath(list, list->entries[index]);
    const wchar_t* lastBackslash = wcsrchr(path, L'\\');
    return lastBackslash ? lastBackslash + 1 : path;
}

// The entries of one folder being listed.
struct FolderListing {
    LeftOutList* list;
    const wchar_t* folder;  // below the location, ending in a backslash
};

bool TakeInside(void* context, const WIN32_FIND_DATAW& found) {
    auto* listing = static_cast<FolderListing*>(context);
    if (IsDotOrDotDot(found.cFileName)) return true;
    return AddLeftOut(listing->list, listing->folder, found) == ERROR_SUCCESS;
}

}  // namespace

DWORD AddLeftOut(LeftOutList* list, const wchar_t* folder, const WIN32_FIND_DATAW& found) {
    if (list->count == list->capacity) {
        const uint32_t capacity = list->capacity ? 2 * list->capacity : kFirstEntries;
        if (capacity <= list->capacity || capacity > SIZE_MAX / sizeof(LeftOutEntry)) return ERROR_NOT_ENOUGH_MEMORY;
        auto* grown = static_cast<LeftOutEntry*>(MemGrow(list->entries, capacity * sizeof(LeftOutEntry)));
        if (!grown) return ERROR_NOT_ENOUGH_MEMORY;
        list->entries = grown;
        list->capacity = capacity;
    }
    const size_t folderUnits = wcslen(folder);
    const size_t nameUnits = wcslen(found.cFileName);
    const size_t length = folderUnits + nameUnits;
    // Beyond any path: nothing could act on it, so it is not recorded, and its folder stays.
    if (length + 1 >= kPathUnits) return ERROR_SUCCESS;
    if (TextPoolReserve(&list->text, length + 1) != ERROR_SUCCESS) return ERROR_NOT_ENOUGH_MEMORY;
    LeftOutEntry entry = {};
    entry.path = static_cast<uint32_t>(list->text.used);
    wchar_t* path = list->text.text + list->text.used;
    wmemcpy(path, folder, folderUnits);
    wmemcpy(path + folderUnits, found.cFileName, nameUnits);
    path[length] = 0;
    list->text.used += length + 1;
    entry.attributes = found.dwFileAttributes;
    entry.size = (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry.lastWriteTime = found.ftLastWriteTime;
    entry.usable = !IsLinkEntry(found) && CheckEntryName(found.cFileName) == ERROR_SUCCESS;
    list->entries[list->count++] = entry;
    return ERROR_SUCCESS;
}

bool MarkUnusableNames(LeftOutList* list, uint32_t first) {
    if (list->count <= first + 1) return true;
    // The names of the folder's entries, each a view into the list's text.
    const uint32_t count = list->count - first;
    MemBlock<BYTE> twins(count);
    if (!twins.Get()) return false;
    struct Range {
        const LeftOutList* list;
        uint32_t first;
    } range = {list, first};
    NameAt nameAt = [](const void* names, uint32_t index) {
        const auto* of = static_cast<const Range*>(names);
        return EntryName(of->list, of->first + index);
    };
    if (!FindCaseTwins(nameAt, &range, count, twins.Get())) return false;
    for (uint32_t index = 0; index < count; ++index) {
        if (twins.Get()[index]) list->entries[first + index].usable = false;
    }
    return true;
}

DWORD ListInsideLeftOut(LeftOutList* list, const wchar_t* locationPath, const volatile LONG* cancelled) {
    const size_t rootUnits = wcslen(locationPath);
    MemBlock<wchar_t> path(kPathUnits);
    if (!path.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    wmemcpy(path.Get(), locationPath, rootUnits);
    // The list grows while it is read: what a folder holds is listed when its turn comes.
    for (uint32_t index = 0; index < list->count; ++index) {
        if (cancelled && *cancelled) return ERROR_SUCCESS;
        const LeftOutEntry entry = list->entries[index];
        if (!entry.usable || !IsFolderAttributes(entry.attributes)) continue;
        // The folder's path below the location, ending in a backslash, copied first: the text
        // may move as the list grows.
        const wchar_t* below = LeftOutPath(list, entry);
        const size_t belowUnits = wcslen(below);
        if (rootUnits + belowUnits + 1 >= kPathUnits) {
            list->entries[index].usable = false;
            continue;
        }
        MemBlock<wchar_t> folder(belowUnits + 2);
        if (!folder.Get()) return ERROR_NOT_ENOUGH_MEMORY;
        wmemcpy(folder.Get(), below, belowUnits);
        wcscpy(folder.Get() + belowUnits, L"\\");
        wcscpy(path.Get() + rootUnits, folder.Get());
        const uint32_t first = list->count;
        FolderListing listing = {list, folder.Get()};
        const DWORD listed = EnumerateFolder(path.Get(), TakeInside, &listing);
        if (listed == ERROR_NOT_ENOUGH_MEMORY) return listed;
        if (listed != ERROR_SUCCESS) {
            // What it holds is unknown: neither it nor anything listed of it is touched.
            list->count = first;
            list->entries[index].usable = false;
            continue;
        }
        if (!MarkUnusableNames(list, first)) return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

void FreeLeftOut(LeftOutList* list) {
    MemFree(list->entries);
    TextPoolFree(&list->text);
    *list = LeftOutList{};
}
