#include "sync/synchronize_worker.h"

#include "analysis/skip_log.h"
#include "framework/message_box.h"
#include "model/memory.h"
#include "sync/path_list.h"

#include <shellapi.h>

#include <cwchar>

namespace {

const DWORD kRunCompleted = 0;
const DWORD kRunEndedEarly = 1;

void ShowError(HWND window, const wchar_t* text) { ShowMessageBox(window, text, L"Error", MB_OK | MB_ICONERROR); }

void SendDone(HWND window) {
    if (window) SendNotifyMessageW(window, WM_SYNCHRONIZE_DONE, 0, 0);
}

struct FileLists {
    SyncPathList copySources;
    SyncPathList copyTargets;
    SyncPathList deletions;
};

void FreeLists(FileLists* lists) {
    SyncPathListFree(&lists->copySources);
    SyncPathListFree(&lists->copyTargets);
    SyncPathListFree(&lists->deletions);
}

bool AllocateLists(FileLists* lists, size_t capacity) {
    bool allocated = SyncPathListInit(&lists->copySources, capacity);
    allocated = SyncPathListInit(&lists->copyTargets, capacity) && allocated;
    allocated = SyncPathListInit(&lists->deletions, capacity) && allocated;
    if (!allocated) FreeLists(lists);
    return allocated;
}

bool KeepRoom(FileLists* lists, size_t step) {
    return SyncPathListKeepRoom(&lists->copySources, step) && SyncPathListKeepRoom(&lists->copyTargets, step) &&
           SyncPathListKeepRoom(&lists->deletions, step);
}

// Adds a file's operation to the lists. The caller keeps room for one more
// path of up to 259 characters in each list, so the appends always fit.
void CollectFileAction(FileLists* lists, SyncAction action, const wchar_t* itemPath, const wchar_t* otherPath) {
    switch (action) {
    case SyncCopyToOther:
        SyncPathListAppend(&lists->copySources, itemPath);
        SyncPathListAppend(&lists->copyTargets, otherPath);
        break;
    case SyncCopyFromOther:
        SyncPathListAppend(&lists->copySources, otherPath);
        SyncPathListAppend(&lists->copyTargets, itemPath);
        break;
    case SyncDeleteItem:
        SyncPathListAppend(&lists->deletions, itemPath);
        break;
    case SyncDeleteOther:
        SyncPathListAppend(&lists->deletions, otherPath);
        break;
    default:
        break;
    }
}

// Writes the refused pair as one record; false when the log could not take it.
bool LogRefusedPair(const wchar_t* itemPath, const wchar_t* otherPath) {
    const wchar_t* lines[] = {itemPath, otherPath, kSyncPathTooLong};
    return SkipLogAppendLines(lines, 3);
}

void Observe(const SyncRequest* request, SyncAction action, const wchar_t* itemPath, const wchar_t* otherPath,
             DWORD result) {
    if (request->observer) request->observer(request->observerContext, action, itemPath, otherPath, result);
}

void RunShellOperation(UINT function, const SyncPathList* from, const SyncPathList* to, unsigned flags) {
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = function;
    operation.pFrom = from->text;
    operation.pTo = to ? to->text : nullptr;
    operation.fFlags = static_cast<FILEOP_FLAGS>(flags);
    operation.lpszProgressTitle = nullptr;
    // The shell shows its own errors; the run goes on whatever it answers.
    SHFileOperationW(&operation);
}

// Passes 2 and 3: a folder's two paths, or false when the item is left out.
bool FolderPaths(const SyncRequest* request, const SyncItem& item, wchar_t* otherPath) {
    if (BuildOtherPath(item.path, request->currentRoot, request->otherRoot, otherPath, kPathUnits) != ERROR_SUCCESS)
        return false;
    return wcsnlen(item.path, MAX_PATH) < MAX_PATH && wcslen(otherPath) < MAX_PATH;
}

void CreateFolders(const SyncRequest* request, wchar_t* otherPath) {
    const SyncItemList* items = request->items;
    for (uint32_t index = 0; index < items->count; ++index) {
        const SyncItem& item = items->items[index];
        if (!item.checked || !item.isFolder || !FolderPaths(request, item, otherPath)) continue;
        SyncAction action = DecideSyncAction(request->direction, true, item.state);
        const wchar_t* path = action == SyncCreateOther ? otherPath : action == SyncCreateItem ? item.path : nullptr;
        if (!path) continue;
        DWORD result = CreateDirectoryW(path, nullptr) ? ERROR_SUCCESS : GetLastError();
        Observe(request, action, item.path, otherPath, result);
    }
}

void RemoveFolders(const SyncRequest* request, wchar_t* otherPath) {
    const SyncItemList* items = request->items;
    for (uint32_t index = items->count; index-- > 0;) {
        const SyncItem& item = items->items[index];
        if (!item.checked || !item.isFolder || !FolderPaths(request, item, otherPath)) continue;
        SyncAction action = DecideSyncAction(request->direction, true, item.state);
        const wchar_t* path = action == SyncRemoveOther ? otherPath : action == SyncRemoveItem ? item.path : nullptr;
        if (!path) continue;
        // Takes only an empty folder: whatever the user left unchecked inside keeps it.
        DWORD result = RemoveDirectoryW(path) ? ERROR_SUCCESS : GetLastError();
        Observe(request, action, item.path, otherPath, result);
    }
}

// The run from the allocation of the lists to the completion notice.
DWORD Synchronize(const SyncRequest* request, wchar_t* otherPath) {
    HWND window = request->window;
    const SyncItemList* items = request->items;
    const uint32_t itemCount = items->count;

    FileLists lists = {};
    if (!AllocateLists(&lists, SyncPathListStartCapacity(itemCount))) {
        ShowError(window, kSyncNoMemory);
        return kRunEndedEarly;
    }
    wchar_t logPath[MAX_PATH];
    if (!SyncLogPath(logPath) || !SkipLogOpen(logPath, kSyncLogHeader)) {
        ShowError(window, kSyncCannotCreateLog);
        FreeLists(&lists);
        return kRunEndedEarly;
    }

    // Pass 1: files, collected for the two shell operations.
    const size_t step = SyncPathListGrowthStep(itemCount);
    for (uint32_t index = 0; index < itemCount; ++index) {
        const SyncItem& item = items->items[index];
        if (!item.checked || item.isFolder) continue;
        DWORD built = BuildOtherPath(item.path, request->currentRoot, request->otherRoot, otherPath, kPathUnits);
        // An item outside the current root has no known other place: left alone.
        if (built == ERROR_INVALID_PARAMETER) continue;
        if (built == ERROR_SUCCESS && IsPathUsable(item.path) && IsPathUsable(otherPath)) {
            SyncAction action = DecideSyncAction(request->direction, false, item.state);
            CollectFileAction(&lists, action, item.path, otherPath);
            if (action != SyncNoAction) Observe(request, action, item.path, otherPath, ERROR_SUCCESS);
            if (!KeepRoom(&lists, step)) {
                SkipLogClose();
                ShowError(window, kSyncNoMemory);
                FreeLists(&lists);
                return kRunEndedEarly;
            }
        } else if (!LogRefusedPair(item.path, otherPath)) {
            ShowError(window, kSyncCannotSaveLog);
        }
    }
    SyncPathListClose(&lists.copySources);
    SyncPathListClose(&lists.copyTargets);
    SyncPathListClose(&lists.deletions);
    if (SkipLogClose() > 0) ShowMessageBox(window, kSyncPathsSkipped, L"Warning", MB_OK | MB_ICONWARNING);

    // Pass 2: folders created, parents first (a folder stands before its contents).
    CreateFolders(request, otherPath);

    if (!SyncPathListIsEmpty(&lists.copySources))
        RunShellOperation(FO_COPY, &lists.copySources, &lists.copyTargets, kSyncCopyFlags);
    if (!SyncPathListIsEmpty(&lists.deletions))
        RunShellOperation(FO_DELETE, &lists.deletions, nullptr, kSyncDeleteFlags);

    // Pass 3: folders removed, innermost first, after the deletions emptied them.
    RemoveFolders(request, otherPath);

    FreeLists(&lists);
    ShowMessageBox(window, kSyncCompleted, L"Information", MB_OK | MB_ICONINFORMATION);
    return kRunCompleted;
}

}  // namespace

bool SyncLogPath(wchar_t* path) {
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    wchar_t* lastBackslash = wcsrchr(path, L'\\');
    if (!lastBackslash) return false;
    size_t folderLength = static_cast<size_t>(lastBackslash - path) + 1;
    if (folderLength + wcslen(kSyncLogName) >= MAX_PATH) return false;
    wcscpy(lastBackslash + 1, kSyncLogName);
    return true;
}

DWORD RunSynchronization(const SyncRequest* request) {
    if (!request) return kRunEndedEarly;
    HWND window = request->window;
    DWORD result = kRunEndedEarly;
    if (request->items && request->items->count > 0 && request->currentRoot && request->otherRoot) {
        auto* otherPath = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
        if (otherPath) {
            result = Synchronize(request, otherPath);
            MemFree(otherPath);
        } else {
            ShowError(window, kSyncNoMemory);
        }
    }
    // The last use of the request: the dialog may end as soon as this arrives.
    SendDone(window);
    return result;
}

DWORD WINAPI SynchronizeWorker(void* request) {
    // The core throws nothing; no exception may leave a thread routine all the same.
    try {
        return RunSynchronization(static_cast<const SyncRequest*>(request));
    } catch (...) {
        return kRunEndedEarly;
    }
}
