#include "sync/sync_decision.h"

#include "model/text.h"

#include <cwchar>

SyncAction DecideSyncAction(SyncDirection direction, bool isFolder, DiffState state) {
    const bool commit = direction == SyncCommit;
    if (!commit && direction != SyncUpdate) return SyncNoAction;
    if (isFolder) {
        switch (state) {
        case DiffNew:
            return commit ? SyncCreateOther : SyncRemoveItem;
        case DiffMissing:
            return commit ? SyncRemoveOther : SyncCreateItem;
        default:
            return SyncNoAction;  // Modified folders are never listed
        }
    }
    switch (state) {
    case DiffNew:
        return commit ? SyncCopyToOther : SyncDeleteItem;
    case DiffModified:
        return commit ? SyncCopyToOther : SyncCopyFromOther;
    case DiffMissing:
        return commit ? SyncDeleteOther : SyncCopyFromOther;
    default:
        return SyncNoAction;
    }
}

bool IsPathUsable(const wchar_t* path) {
    if (!path) return false;
    size_t length = wcsnlen(path, 260);
    if (length >= 260) return false;
    const wchar_t* lastBackslash = wcsrchr(path, L'\\');
    if (!lastBackslash) return false;
    return static_cast<size_t>(lastBackslash - path) + 13 < 260;
}

DWORD BuildOtherPath(const wchar_t* itemPath, const wchar_t* currentRoot, const wchar_t* otherRoot,
                     wchar_t* otherPath, size_t capacity) {
    if (!itemPath || !currentRoot || !otherRoot || !otherPath || capacity == 0) return ERROR_INVALID_PARAMETER;
    otherPath[0] = 0;
    size_t rootLength = wcslen(currentRoot);
    if (wcsncmp(itemPath, currentRoot, rootLength) != 0) return ERROR_INVALID_PARAMETER;
    const wchar_t* below = itemPath + rootLength;
    size_t otherLength = wcslen(otherRoot);
    size_t belowLength = wcslen(below);
    bool fits = otherLength + belowLength < capacity;
    CopyText(otherPath, capacity, otherRoot);
    AppendText(otherPath, capacity, below);
    return fits ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
}
