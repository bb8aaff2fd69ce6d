#include "model/enumeration.h"

#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/record_list_builder.h"
#include "model/text.h"
#include "model/win_guards.h"

#include <cstddef>
#include <cwchar>

VolumeList* EnumerateVolumes() {
    UINT types[26];
    uint32_t present = 0;
    for (int letter = 0; letter < 26; ++letter) {
        wchar_t root[4] = {static_cast<wchar_t>(L'A' + letter), L':', L'\\', 0};
        types[letter] = GetDriveTypeW(root);
        if (types[letter] != DRIVE_NO_ROOT_DIR) ++present;
    }
    if (present == 0) return nullptr;
    auto* list = static_cast<VolumeList*>(
        MemAllocZero(offsetof(VolumeList, entries) + sizeof(VolumeInfo) * present));
    if (!list) return nullptr;
    list->count = present;
    VolumeInfo* volume = list->entries;
    for (int letter = 0; letter < 26; ++letter) {
        if (types[letter] == DRIVE_NO_ROOT_DIR) continue;
        volume->rootPath[0] = static_cast<wchar_t>(L'A' + letter);
        volume->rootPath[1] = L':';
        volume->rootPath[2] = L'\\';
        volume->driveType = types[letter];
        // A drive without a medium has no label; it stays listed with an empty one.
        if (!GetVolumeInformationW(volume->rootPath, volume->volumeName, 261, nullptr, nullptr, nullptr, nullptr, 0))
            volume->volumeName[0] = 0;
        ++volume;
    }
    return list;
}

namespace {

// Builds "<folderPath>*" in a new buffer of kPathUnits, or returns null when
// memory runs out or the path leaves no room for the pattern.
wchar_t* MakeSearchPattern(const wchar_t* folderPath, DWORD* error) {
    size_t length = wcsnlen(folderPath, kPathUnits);
    if (length + 1 >= kPathUnits) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return nullptr;
    }
    auto* pattern = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    if (!pattern) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    wmemcpy(pattern, folderPath, length);
    pattern[length] = L'*';
    pattern[length + 1] = 0;
    return pattern;
}

HANDLE StartSearch(const wchar_t* pattern, WIN32_FIND_DATAW* found) {
    // The basic information level leaves out short names, which nobody reads.
    return FindFirstFileExW(pattern, FindExInfoBasic, found, FindExSearchNameMatch, nullptr,
                            FIND_FIRST_EX_LARGE_FETCH);
}

bool ListEntry(void* context, const WIN32_FIND_DATAW& found) {
    auto* listing = static_cast<ListingBuilder<DirEntry>*>(context);
    bool folder = IsFolderAttributes(found.dwFileAttributes);
    CopyFindData(found, listing->NextSlot(folder));
    return listing->Commit(folder);
}

}  // namespace

namespace {

template <class Entry>
void CopyFound(const WIN32_FIND_DATAW& found, Entry* entry) {
    size_t length = wcsnlen(found.cFileName, kMaxNameUnits - 1);
    wmemcpy(entry->name, found.cFileName, length);
    entry->name[length] = 0;
    entry->lastWriteTime = found.ftLastWriteTime;
    entry->size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry->attributes = found.dwFileAttributes;
}

}  // namespace

void CopyFindData(const WIN32_FIND_DATAW& found, DirEntry* entry) { CopyFound(found, entry); }

void CopyFindData(const WIN32_FIND_DATAW& found, NodeRecord* record) { CopyFound(found, record); }

DWORD EnumerateFolder(const wchar_t* folderPath, FoundEntrySink sink, void* context) {
    if (!folderPath || !sink) return ERROR_INVALID_PARAMETER;
    DWORD error = ERROR_SUCCESS;
    wchar_t* pattern = MakeSearchPattern(folderPath, &error);
    if (!pattern) return error;
    WIN32_FIND_DATAW found;
    OwnedFindHandle search(StartSearch(pattern, &found));
    MemFree(pattern);
    if (search.IsValid()) {
        do {
            if (!sink(context, found)) return ERROR_NOT_ENOUGH_MEMORY;
        } while (FindNextFileW(search.Get(), &found));
    }
    error = GetLastError();
    // An empty volume root lists nothing at all and ends with "file not found".
    if (error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND) return error;
    return ERROR_SUCCESS;
}

DWORD ListDirectory(const wchar_t* folderPath, DirEntryList** files, DirEntryList** folders) {
    if (!folderPath || !files || !folders) return ERROR_INVALID_PARAMETER;
    *files = nullptr;
    *folders = nullptr;
    ListingBuilder<DirEntry> listing;
    if (!listing.Start()) return ERROR_NOT_ENOUGH_MEMORY;
    DWORD error = EnumerateFolder(folderPath, ListEntry, &listing);
    if (error != ERROR_SUCCESS) return error;
    listing.Finish(files, folders);
    return ERROR_SUCCESS;
}

bool HasSubfolder(const wchar_t* folderPath) {
    if (!folderPath) return false;
    DWORD error = ERROR_SUCCESS;
    wchar_t* pattern = MakeSearchPattern(folderPath, &error);
    if (!pattern) return false;
    WIN32_FIND_DATAW found;
    OwnedFindHandle search(StartSearch(pattern, &found));
    MemFree(pattern);
    if (!search.IsValid()) return false;
    do {
        if (IsFolderAttributes(found.dwFileAttributes) && !IsDotOrDotDot(found.cFileName)) return true;
    } while (FindNextFileW(search.Get(), &found));
    return false;
}
