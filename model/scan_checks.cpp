#include "model/scan_checks.h"

#include "model/location_paths.h"
#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/system_error.h"
#include "model/win_guards.h"

#include <winternl.h>

#include <cwchar>

namespace {

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$ and CONOUT$ name devices, also
// with an extension and with spaces before it.
bool NamesDevice(const wchar_t* name) {
    size_t stem = 0;
    while (name[stem] && name[stem] != L'.') ++stem;
    while (stem > 0 && name[stem - 1] == L' ') --stem;
    static const wchar_t* const kDevices[] = {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};
    for (const wchar_t* device : kDevices) {
        if (NameMatchesComponent(device, name, stem)) return true;
    }
    if (stem != 4 || name[3] < L'1' || name[3] > L'9') return false;
    return NameMatchesComponent(L"com", name, 3) || NameMatchesComponent(L"lpt", name, 3);
}

// Below this many entries every pair is compared; above it a table is cheaper.
const uint32_t kPairwiseUpTo = 16;

HANDLE OpenFolderForIdentity(const wchar_t* path) {
    // No access is asked for: the identity needs none, and a folder opens only this way.
    return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

DWORD FinalPathOf(HANDLE entry, wchar_t* target) {
    DWORD length = GetFinalPathNameByHandleW(entry, target, kPathUnits, VOLUME_NAME_DOS);
    if (length == 0) return LastErrorOr(ERROR_OPEN_FAILED);
    if (length >= kPathUnits) return ERROR_FILENAME_EXCED_RANGE;
    DropExtendedPrefix(target);
    return ERROR_SUCCESS;
}

}  // namespace

DWORD CheckEntryName(const wchar_t* name) {
    if (!name || !name[0]) return ERROR_INVALID_NAME;
    if (IsDotOrDotDot(name)) return ERROR_SUCCESS;
    size_t length = 0;
    for (; name[length]; ++length) {
        if (IsForbiddenInName(name[length])) return ERROR_INVALID_NAME;
    }
    if (name[length - 1] == L' ' || name[length - 1] == L'.') return ERROR_INVALID_NAME;
    return NamesDevice(name) ? ERROR_INVALID_NAME : ERROR_SUCCESS;
}

bool FindCaseTwins(NameAt nameAt, const void* names, uint32_t count, BYTE* flags) {
    for (uint32_t i = 0; i < count; ++i) flags[i] = 0;
    if (count <= kPairwiseUpTo) {
        for (uint32_t i = 0; i < count; ++i) {
            const wchar_t* name = nameAt(names, i);
            if (IsDotOrDotDot(name)) continue;
            for (uint32_t j = i + 1; j < count; ++j) {
                if (CompareNamesIgnoringCase(name, nameAt(names, j)) == 0) flags[i] = flags[j] = 1;
            }
        }
        return true;
    }
    // Open addressing over entry indexes; each chain holds one name per slot.
    uint32_t capacity = 64;
    while (capacity < count * 2) capacity *= 2;
    auto* slots = static_cast<uint32_t*>(MemAlloc(capacity * sizeof(uint32_t)));
    if (!slots) return false;
    const uint32_t kEmpty = 0xFFFFFFFF;
    for (uint32_t i = 0; i < capacity; ++i) slots[i] = kEmpty;
    for (uint32_t i = 0; i < count; ++i) {
        const wchar_t* name = nameAt(names, i);
        if (IsDotOrDotDot(name)) continue;
        for (uint32_t slot = HashNameIgnoringCase(name) & (capacity - 1);; slot = (slot + 1) & (capacity - 1)) {
            if (slots[slot] == kEmpty) {
                slots[slot] = i;
                break;
            }
            if (CompareNamesIgnoringCase(nameAt(names, slots[slot]), name) == 0) {
                flags[slots[slot]] = flags[i] = 1;
                break;
            }
        }
    }
    MemFree(slots);
    return true;
}

DWORD ReadFolderIdentity(const wchar_t* path, FolderIdentity* identity) {
    OwnedHandle folder(OpenFolderForIdentity(path));
    if (!folder.IsValid()) return LastErrorOr(ERROR_OPEN_FAILED);
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(folder.Get(), &information)) return LastErrorOr(ERROR_OPEN_FAILED);
    identity->volume = information.dwVolumeSerialNumber;
    identity->indexHigh = information.nFileIndexHigh;
    identity->indexLow = information.nFileIndexLow;
    return ERROR_SUCCESS;
}

DWORD ReadFolderIndex(const wchar_t* path, ULONGLONG* index) {
    OwnedHandle folder(OpenFolderForIdentity(path));
    if (!folder.IsValid()) return LastErrorOr(ERROR_OPEN_FAILED);
    IO_STATUS_BLOCK io;
    FILE_INTERNAL_INFORMATION information;
    NTSTATUS status = NtQueryInformationFile(folder.Get(), &io, &information, sizeof information, FileInternalInformation);
    if (!NT_SUCCESS(status)) {
        DWORD error = RtlNtStatusToDosError(status);
        return error ? error : ERROR_OPEN_FAILED;
    }
    *index = static_cast<ULONGLONG>(information.IndexNumber.QuadPart);
    return ERROR_SUCCESS;
}

DWORD ReadFinalPath(const wchar_t* path, wchar_t* target) {
    OwnedHandle entry(OpenFolderForIdentity(path));
    if (!entry.IsValid()) return LastErrorOr(ERROR_OPEN_FAILED);
    return FinalPathOf(entry.Get(), target);
}

bool IsLinkReparseTag(DWORD tag) {
    if (IsReparseTagNameSurrogate(tag)) return true;
    // Cloud files carry their provider's number in bits 12 to 15.
    if ((tag & 0xFFFF0FFF) == IO_REPARSE_TAG_CLOUD) return false;
    static const DWORD kOrdinary[] = {
        0xC0000004 /* hierarchical storage */, 0x80000006 /* its second form */, 0x80000007 /* single instance */,
        0x80000008 /* image file */, 0x80000009 /* cluster volume */, 0x80000012 /* replication */,
        0x80000013 /* deduplicated */, 0x80000015 /* placeholder */, 0x80000017 /* compressed */,
        0x80000018 /* container isolation */, 0x9000001C /* projected */, 0x8000001E /* storage sync */,
        0x80000021 /* cloud drive */};
    for (DWORD ordinary : kOrdinary) {
        if (tag == ordinary) return false;
    }
    return true;
}

bool IsLinkEntry(const WIN32_FIND_DATAW& found) {
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkReparseTag(found.dwReserved0);
}

struct LinkCheckCache {
    wchar_t folder[kPathUnits];  // the folder part of the last path, up to its backslash
    wchar_t resolved[kPathUnits];  // that folder's resolved path, ending in a backslash
    wchar_t final[kPathUnits];  // room for a path's own resolved path
};

LinkCheckCache* NewLinkCheckCache() {
    auto* cache = static_cast<LinkCheckCache*>(MemAlloc(sizeof(LinkCheckCache)));
    if (cache) cache->folder[0] = 0;
    return cache;
}

void FreeLinkCheckCache(LinkCheckCache* cache) { MemFree(cache); }

DWORD CheckNotLinkCached(const wchar_t* path, LinkCheckCache* cache) {
    if (!cache) return ERROR_NOT_ENOUGH_MEMORY;
    // The attributes tell of a reparse point; only then is its tag read, by a search.
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        WIN32_FIND_DATAW found;
        OwnedFindHandle search(FindFirstFileW(path, &found));
        if (!search.IsValid()) return LastErrorOr(ERROR_OPEN_FAILED);
        if (IsLinkEntry(found)) return kEntryIsLink;
    }
    // Some systems list a link to a file as a plain file; its resolved path then
    // ends elsewhere than its folder's resolved path followed by its name.
    const wchar_t* lastBackslash = wcsrchr(path, L'\\');
    if (!lastBackslash) return ERROR_INVALID_PARAMETER;
    const size_t folderLength = static_cast<size_t>(lastBackslash - path) + 1;
    if (wcsncmp(cache->folder, path, folderLength) != 0 || cache->folder[folderLength] != 0) {
        wmemcpy(cache->folder, path, folderLength);
        cache->folder[folderLength] = 0;
        DWORD result = ReadFinalPath(cache->folder, cache->resolved);
        size_t length = result == ERROR_SUCCESS ? wcslen(cache->resolved) : 0;
        if (result == ERROR_SUCCESS && (length == 0 || cache->resolved[length - 1] != L'\\')) {
            if (length + 1 >= kPathUnits) result = ERROR_FILENAME_EXCED_RANGE;
            if (result == ERROR_SUCCESS) wcscpy(cache->resolved + length, L"\\");
        }
        if (result != ERROR_SUCCESS) {
            cache->folder[0] = 0;
            return result;
        }
    }
    DWORD result = ReadFinalPath(path, cache->final);
    if (result != ERROR_SUCCESS) return result;
    const size_t resolvedLength = wcslen(cache->resolved);
    const wchar_t* name = lastBackslash + 1;
    if (resolvedLength + wcslen(name) >= kPathUnits) return ERROR_FILENAME_EXCED_RANGE;
    if (wcslen(cache->final) < resolvedLength || CompareNamesIgnoringCase(cache->final + resolvedLength, name) != 0)
        return kEntryIsLink;
    // The folder part, compared by the same rule as the name.
    const wchar_t kept = cache->final[resolvedLength];
    cache->final[resolvedLength] = 0;
    const bool sameFolder = CompareNamesIgnoringCase(cache->final, cache->resolved) == 0;
    cache->final[resolvedLength] = kept;
    return sameFolder ? ERROR_SUCCESS : kEntryIsLink;
}

DWORD CheckNotLink(const wchar_t* path) {
    LinkCheckCache* cache = NewLinkCheckCache();
    const DWORD result = CheckNotLinkCached(path, cache);
    FreeLinkCheckCache(cache);
    return result;
}
