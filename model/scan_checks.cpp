#include "model/scan_checks.h"

#include "model/location_paths.h"
#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/win_guards.h"

#include <winternl.h>

#include <cwchar>

namespace {

bool IsRejectedUnit(wchar_t unit) {
    if (unit < 0x20) return true;
    switch (unit) {
    case L'*': case L'?': case L'"': case L'<': case L'>': case L'|': case L':': case L'/': case L'\\':
        return true;
    default:
        return false;
    }
}

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

DWORD LastErrorOr(DWORD fallback) {
    DWORD error = GetLastError();
    return error ? error : fallback;
}

}  // namespace

DWORD CheckEntryName(const wchar_t* name) {
    if (!name || !name[0]) return ERROR_INVALID_NAME;
    if (IsDotOrDotDot(name)) return ERROR_SUCCESS;
    size_t length = 0;
    for (; name[length]; ++length) {
        if (IsRejectedUnit(name[length])) return ERROR_INVALID_NAME;
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

DWORD ReadFinalFolderPath(const wchar_t* path, wchar_t* target) {
    OwnedHandle folder(OpenFolderForIdentity(path));
    if (!folder.IsValid()) return LastErrorOr(ERROR_OPEN_FAILED);
    DWORD length = GetFinalPathNameByHandleW(folder.Get(), target, kPathUnits, VOLUME_NAME_DOS);
    if (length == 0) return LastErrorOr(ERROR_OPEN_FAILED);
    if (length >= kPathUnits) return ERROR_FILENAME_EXCED_RANGE;
    DropExtendedPrefix(target);
    return ERROR_SUCCESS;
}
