#include "sync/synchronize_worker.h"

#include "analysis/skip_log.h"
#include "model/memory.h"
#include "model/system_error.h"
#include "model/text.h"
#include "sync/file_batches.h"
#include "sync/sync_results.h"

#include <cwchar>

namespace {

const DWORD kRunCompleted = 0;
const DWORD kRunEndedEarly = 1;

// One run's state between its passes.
struct Run {
    const SyncRequest* request;
    wchar_t* otherPath;  // kPathUnits
    FileBatches batches;
    SyncSummary summary;
    uint32_t refusedLogged;  // records of over-long paths that reached the log
    uint32_t refusedListed;  // of those, the operations not done: the warning of pass 1 told of them
    bool logFailed;  // the log could not take a record; told once
};

void SendDone(HWND window) {
    if (window) SendNotifyMessageW(window, WM_SYNCHRONIZE_DONE, 0, 0);
}

void TellUser(const Run* run, SyncNoticeKind kind, const wchar_t* text) {
    if (run->request->notice) run->request->notice(run->request->noticeContext, kind, text);
}

void Observe(const Run* run, SyncAction action, const wchar_t* itemPath, const wchar_t* otherPath, DWORD result) {
    const SyncRequest* request = run->request;
    if (request->observer) request->observer(request->observerContext, action, itemPath, otherPath, result);
}

// Appends the lines to the log; false when it could not take them, which is told once.
bool AppendToLog(Run* run, const wchar_t* const* lines, unsigned count) {
    if (SkipLogAppendLines(lines, count)) return true;
    if (!run->logFailed) TellUser(run, SyncNoticeError, kSyncCannotSaveLog);
    run->logFailed = true;
    return false;
}

// A record of a pair refused for its length: the item path, the other path
// and why, followed by an empty line.
bool LogRefusal(Run* run, const wchar_t* itemPath, const wchar_t* otherPath) {
    wchar_t reason[kSystemErrorUnits];
    DescribeSyncResult(kSyncRefusedTooLong, reason);
    AppendText(reason, kSystemErrorUnits, L"\r\n");
    const wchar_t* lines[] = {itemPath, otherPath, reason};
    return AppendToLog(run, lines, 3);
}

// A record of an operation not done: what it was and the path it concerns
// (a copy's source and target), then why, followed by an empty line.
bool LogNotDone(Run* run, SyncAction action, const wchar_t* itemPath, const wchar_t* otherPath, DWORD result) {
    wchar_t reason[kSystemErrorUnits];
    DescribeSyncResult(result, reason);
    AppendText(reason, kSystemErrorUnits, L"\r\n");
    const bool toOther = action == SyncCopyToOther || action == SyncDeleteOther || action == SyncCreateOther ||
                         action == SyncRemoveOther;
    const wchar_t* path = toOther ? otherPath : itemPath;
    const bool copy = action == SyncCopyToOther || action == SyncCopyFromOther;
    const wchar_t* label = copy                                                      ? L"Copy from: "
                           : action == SyncDeleteItem || action == SyncDeleteOther ? L"Delete: "
                           : action == SyncCreateItem || action == SyncCreateOther ? L"Create folder: "
                                                                                    : L"Remove folder: ";
    const size_t units = kPathUnits + 32;
    MemBlock<wchar_t> lines(2 * units);
    if (!lines.Get()) {
        const wchar_t* bare[] = {path, reason};
        return AppendToLog(run, bare, 2);
    }
    wchar_t* first = lines.Get();
    wchar_t* second = first + units;
    CopyText(first, units, label);
    AppendText(first, units, copy ? (toOther ? itemPath : otherPath) : path);
    CopyText(second, units, L"Copy to: ");
    AppendText(second, units, path);
    const wchar_t* record[] = {first, copy ? second : reason, reason};
    return AppendToLog(run, record, copy ? 3 : 2);
}

// An operation that was not done: told to the observer, counted and logged.
void ReportNotDone(Run* run, SyncAction action, const wchar_t* itemPath, const wchar_t* otherPath, DWORD result) {
    Observe(run, action, itemPath, otherPath, result);
    ++run->summary.notDone;
    LogNotDone(run, action, itemPath, otherPath, result);
}

// A folder's two paths: 0; ERROR_INVALID_PARAMETER for an item outside the
// current root, which has no known other place; kSyncRefusedTooLong when
// either path has MAX_PATH characters or more.
DWORD FolderPaths(const SyncRequest* request, const SyncItem& item, wchar_t* otherPath) {
    DWORD built = BuildOtherPath(item.path, request->currentRoot, request->otherRoot, otherPath, kPathUnits);
    if (built == ERROR_INVALID_PARAMETER) return built;
    if (built != ERROR_SUCCESS || wcsnlen(item.path, MAX_PATH) >= MAX_PATH || wcslen(otherPath) >= MAX_PATH)
        return kSyncRefusedTooLong;
    return ERROR_SUCCESS;
}

// An item whose paths are too long: logged, and an operation of it told and counted as not done.
void Refuse(Run* run, SyncAction action, const wchar_t* itemPath) {
    const bool listed = LogRefusal(run, itemPath, run->otherPath);
    if (listed) ++run->refusedLogged;
    if (action == SyncNoAction) return;
    if (listed) ++run->refusedListed;
    Observe(run, action, itemPath, run->otherPath, kSyncRefusedTooLong);
    ++run->summary.notDone;
}

// Pass 1: every item whose paths are too long is refused, once, before anything
// is done; the file operations are collected for the two shell batches. False
// when a list cannot grow.
bool CollectFiles(Run* run) {
    const SyncRequest* request = run->request;
    const SyncItemList* items = request->items;
    const size_t step = SyncPathListGrowthStep(items->count);
    for (uint32_t index = 0; index < items->count; ++index) {
        const SyncItem& item = items->items[index];
        if (!item.checked) continue;
        if (item.isFolder) {
            SyncAction action = DecideSyncAction(ItemDirection(request->direction, item), true, item.state);
            if (action != SyncNoAction && FolderPaths(request, item, run->otherPath) == kSyncRefusedTooLong)
                Refuse(run, action, item.path);
            continue;
        }
        DWORD built = BuildOtherPath(item.path, request->currentRoot, request->otherRoot, run->otherPath, kPathUnits);
        // An item outside the current root has no known other place: left alone.
        if (built == ERROR_INVALID_PARAMETER) continue;
        SyncAction action = DecideSyncAction(ItemDirection(request->direction, item), false, item.state);
        if (built == ERROR_SUCCESS && IsPathUsable(item.path) && IsPathUsable(run->otherPath)) {
            if (action != SyncNoAction) FileBatchesAdd(&run->batches, index, action, item.path, run->otherPath);
            if (!FileBatchesKeepRoom(&run->batches, step)) return false;
            continue;
        }
        Refuse(run, action, item.path);
    }
    return true;
}

// What creating or removing the folder at `path` left; 0 when it is as the user wanted it.
DWORD HandleFolder(const wchar_t* path, bool create) {
    if (create ? CreateDirectoryW(path, nullptr) : RemoveDirectoryW(path)) return ERROR_SUCCESS;
    DWORD result = GetLastError();
    // A folder already there, or already gone, is as the user wanted it; a file of that name is not.
    if (create && result == ERROR_ALREADY_EXISTS) {
        DWORD attributes = GetFileAttributesW(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && IsFolderAttributes(attributes)) return ERROR_SUCCESS;
    }
    if (!create && (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND)) return ERROR_SUCCESS;
    return result;
}

// Runs pass 2 (create, parents first) or pass 3 (remove, innermost first) over the folders.
void HandleFolders(Run* run, bool create) {
    const SyncRequest* request = run->request;
    const SyncItemList* items = request->items;
    for (uint32_t step = 0; step < items->count; ++step) {
        const SyncItem& item = items->items[create ? step : items->count - 1 - step];
        if (!item.checked || !item.isFolder) continue;
        // Outside the current root, or refused in pass 1.
        if (FolderPaths(request, item, run->otherPath) != ERROR_SUCCESS) continue;
        SyncAction action = DecideSyncAction(ItemDirection(request->direction, item), true, item.state);
        const SyncAction here = create ? SyncCreateItem : SyncRemoveItem;
        const SyncAction there = create ? SyncCreateOther : SyncRemoveOther;
        const wchar_t* path = action == there ? run->otherPath : action == here ? item.path : nullptr;
        if (!path) continue;
        if (request->cancel && *request->cancel) {
            ReportNotDone(run, action, item.path, run->otherPath, kSyncCancelled);
            continue;
        }
        // Removal takes only an empty folder: whatever the user left unchecked inside keeps it.
        DWORD result = request->dryRun ? ERROR_SUCCESS : HandleFolder(path, create);
        // A folder that keeps what the user left unchecked, or a file that could not go, is no failure of its own.
        if (result == ERROR_SUCCESS || (!create && result == ERROR_DIR_NOT_EMPTY)) {
            if (result == ERROR_SUCCESS) ++(create ? run->summary.created : run->summary.removed);
            Observe(run, action, item.path, run->otherPath, result);
        } else {
            ReportNotDone(run, action, item.path, run->otherPath, result);
        }
    }
}

// The shell batches, checked before and after, and every file operation's outcome reported.
void RunFiles(Run* run) {
    const SyncRequest* request = run->request;
    Versioning versioning = {};
    if (request->versioningFolder) VersioningInit(&versioning, request->versioningFolder);
    BatchContext context = {request->items,
                            request->currentRoot,
                            request->otherRoot,
                            run->otherPath,
                            static_cast<FILEOP_FLAGS>(request->unattended ? FOF_NOERRORUI : 0),
                            request->unattended,
                            request->deleteWithoutRecycleBin,
                            RuleForFileChecks(request->timeRule),
                            request->copier,
                            request->copiesInFlight,
                            request->verify,
                            request->versioningFolder ? &versioning : nullptr,
                            request->cancel,
                            request->progress,
                            request->exclusions,
                            NewLinkCheckCache(),
                            NewLinkCheckCache()};
    RecheckPlannedFiles(&context, &run->batches, SyncCopies);
    uint64_t needed = 0;
    uint64_t available = 0;
    if (!CheckRoomForCopies(&context, &run->batches, &needed, &available)) {
        wchar_t text[512];
        swprintf(text, 512, kSyncNoRoomFormat, static_cast<unsigned long long>(needed),
                 static_cast<unsigned long long>(available));
        TellUser(run, SyncNoticeError, text);
    }
    if (request->dryRun) {
        RecheckPlannedFiles(&context, &run->batches, SyncDeletions);
        AcceptPendingFiles(&run->batches);
    } else {
        RunFileBatches(&context, &run->batches);
    }
    for (uint32_t index = 0; index < run->batches.plannedCount; ++index) {
        const PlannedFile& planned = run->batches.planned[index];
        const SyncItem& item = request->items->items[planned.item];
        BuildOtherPath(item.path, request->currentRoot, request->otherRoot, run->otherPath, kPathUnits);
        if (planned.result != ERROR_SUCCESS) {
            ReportNotDone(run, planned.action, item.path, run->otherPath, planned.result);
            continue;
        }
        bool copy = planned.action == SyncCopyToOther || planned.action == SyncCopyFromOther;
        ++(copy ? run->summary.copied : run->summary.deleted);
        if (copy && planned.replaces) ++run->summary.replaced;
        Observe(run, planned.action, item.path, run->otherPath, ERROR_SUCCESS);
    }
    CopyText(run->summary.versions, MAX_PATH, versioning.runFolder);
    FreeLinkCheckCache(context.sourceLinks);
    FreeLinkCheckCache(context.targetLinks);
}

// The run from the allocation of the lists to the last notice.
DWORD Synchronize(Run* run) {
    const uint32_t itemCount = run->request->items->count;
    if (!FileBatchesInit(&run->batches, SyncPathListStartCapacity(itemCount), itemCount)) {
        TellUser(run, SyncNoticeError, kSyncNoMemory);
        return kRunEndedEarly;
    }
    wchar_t besideProgram[MAX_PATH];
    const wchar_t* logPath = run->request->logPath;
    if (!logPath && SyncLogPath(besideProgram)) logPath = besideProgram;
    const bool opened = logPath && (run->request->addToLog ? SkipLogOpenToAdd(logPath, kSyncLogHeader)
                                                           : SkipLogOpen(logPath, kSyncLogHeader));
    if (!opened) {
        TellUser(run, SyncNoticeError, kSyncCannotCreateLog);
        FileBatchesFree(&run->batches);
        return kRunEndedEarly;
    }
    if (!CollectFiles(run)) {
        SkipLogClose();
        TellUser(run, SyncNoticeError, kSyncNoMemory);
        FileBatchesFree(&run->batches);
        return kRunEndedEarly;
    }
    FileBatchesClose(&run->batches);
    if (run->refusedLogged > 0) TellUser(run, SyncNoticeWarning, kSyncPathsSkipped);

    HandleFolders(run, true);
    RunFiles(run);
    // After the deletions emptied them.
    HandleFolders(run, false);

    FileBatchesFree(&run->batches);
    SkipLogClose();
    run->summary.cancelled = run->request->cancel && *run->request->cancel;
    // A dry run completed nothing; its operations and its summary tell what a run would do.
    if (run->request->dryRun) return kRunCompleted;
    // What was refused for its length the warning has told already: a run
    // that did all else completed all the same.
    if (run->summary.notDone > run->refusedListed) {
        // Without a log, no list can be named.
        TellUser(run, SyncNoticeWarning, run->logFailed ? kSyncNotAllDoneUnlisted : kSyncNotAllDone);
    } else {
        TellUser(run, SyncNoticeInformation, kSyncCompleted);
    }
    return kRunCompleted;
}

}  // namespace

const wchar_t* SyncNoticeCaption(SyncNoticeKind kind) {
    switch (kind) {
    case SyncNoticeError:
        return L"Error";
    case SyncNoticeWarning:
        return L"Warning";
    default:
        return L"Information";
    }
}

bool SyncLogPath(wchar_t* path) { return LogPathBesideProgram(kSyncLogName, path); }

DWORD RunSynchronization(const SyncRequest* request) {
    if (!request) return kRunEndedEarly;
    Run run = {};
    run.request = request;
    DWORD result = kRunEndedEarly;
    if (request->items && request->items->count > 0 && request->currentRoot && request->otherRoot) {
        run.otherPath = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
        if (run.otherPath) {
            result = Synchronize(&run);
            MemFree(run.otherPath);
        } else {
            TellUser(&run, SyncNoticeError, kSyncNoMemory);
        }
    }
    if (request->summary) *request->summary = run.summary;
    // The last use of the request: the dialog may end as soon as this arrives.
    SendDone(request->window);
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
