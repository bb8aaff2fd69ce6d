#include "sync/synchronize_worker.h"

#include "analysis/skip_log.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/system_error.h"
#include "model/text.h"
#include "sync/file_batches.h"
#include "sync/name_and_time.h"
#include "sync/run_journal.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"

#include <cwchar>

namespace {

const DWORD kRunCompleted = 0;
const DWORD kRunEndedEarly = 1;

// One run's state between its passes.
struct Run {
    const SyncRequest* request;
    SyncPlan ownPlan;  // the plan of the request's items, when it brings none
    SyncPlan* plan;
    FileBatches batches;
    Versioning versioning;
    LocationGuard guard;  // every write checked to stay inside its location
    RunJournal ownJournal;  // when the request brings none
    RunJournal* journal;
    uint8_t phase;  // the operations being carried out: those that run at once, then those that wait
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

void Observe(const Run* run, const SyncOperation& operation, DWORD result) {
    const SyncRequest* request = run->request;
    if (request->observer)
        request->observer(request->observerContext, operation, ItemPathOf(run->plan, operation),
                          OtherPathOf(run->plan, operation), result);
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
bool LogRefusal(Run* run, const SyncOperation& operation) {
    wchar_t reason[kSystemErrorUnits];
    DescribeSyncResult(kSyncRefusedTooLong, reason);
    AppendText(reason, kSystemErrorUnits, L"\r\n");
    const wchar_t* lines[] = {ItemPathOf(run->plan, operation), OtherPathOf(run->plan, operation), reason};
    return AppendToLog(run, lines, 3);
}

// A record of an operation not done: what it was and the path it concerns
// (a copy's source and target, a rename's old and new path), then why,
// followed by an empty line.
bool LogNotDone(Run* run, const SyncOperation& operation, DWORD result) {
    wchar_t reason[kSystemErrorUnits];
    DescribeSyncResult(result, reason);
    AppendText(reason, kSystemErrorUnits, L"\r\n");
    const wchar_t* path = TargetOf(run->plan, operation);
    const bool rename = operation.kind == SyncRename;
    const bool twoPaths = IsCopyOperation(operation) || operation.kind == SyncSetTime || rename;
    const wchar_t* labels[2] = {L"Remove folder: ", L""};
    if (IsCopyOperation(operation)) {
        labels[0] = L"Copy from: ";
        labels[1] = L"Copy to: ";
    } else if (operation.kind == SyncSetTime) {
        labels[0] = L"Set time from: ";
        labels[1] = L"Set time of: ";
    } else if (rename) {
        labels[0] = L"Rename: ";
        labels[1] = L"Rename to: ";
    } else if (operation.kind == SyncDeleteFile) {
        labels[0] = L"Delete: ";
    } else if (operation.kind == SyncMakeFolder) {
        labels[0] = L"Create folder: ";
    }
    const size_t units = kPathUnits + 32;
    MemBlock<wchar_t> lines(2 * units);
    MemBlock<wchar_t> renamed(rename ? kPathUnits : 1);
    if (!lines.Get() || !renamed.Get()) {
        const wchar_t* bare[] = {path, reason};
        return AppendToLog(run, bare, 2);
    }
    wchar_t* first = lines.Get();
    wchar_t* second = first + units;
    const wchar_t* paths[2] = {path, path};
    if (rename && RenamedPath(path, PlanText(run->plan, operation.paths[1 - TargetSideOf(operation)]), renamed.Get()))
        paths[1] = renamed.Get();
    if (!rename && twoPaths) paths[0] = SourceOf(run->plan, operation);
    CopyText(first, units, labels[0]);
    AppendText(first, units, paths[0]);
    CopyText(second, units, labels[1]);
    AppendText(second, units, paths[1]);
    const wchar_t* record[] = {first, twoPaths ? second : reason, reason};
    return AppendToLog(run, record, twoPaths ? 3 : 2);
}

// An operation that was not done: its outcome written, told to the observer, counted and logged.
void ReportNotDone(Run* run, SyncOperation* operation, DWORD result) {
    operation->result = result;
    Observe(run, *operation, result);
    ++run->summary.notDone;
    LogNotDone(run, *operation, result);
}

// Every operation refused for its length is logged, once, before anything
// is done; those that asked for something are told and counted as not done.
void LogRefusals(Run* run) {
    for (uint32_t index = 0; index < run->plan->count; ++index) {
        const SyncOperation& operation = run->plan->operations[index];
        if (operation.result != kSyncRefusedTooLong) continue;
        const bool listed = LogRefusal(run, operation);
        if (listed) ++run->refusedLogged;
        if (operation.kind == SyncOnlyLogged) continue;
        if (listed) ++run->refusedListed;
        Observe(run, operation, kSyncRefusedTooLong);
        ++run->summary.notDone;
    }
}

// What creating or removing the folder at `path` left; 0 when it is as the user wanted it.
DWORD HandleFolder(const wchar_t* path, bool create) {
    if (create ? SyncCalls().makeFolder(path, nullptr) : SyncCalls().removeFolder(path)) return ERROR_SUCCESS;
    DWORD result = GetLastError();
    // A folder already there, or already gone, is as the user wanted it; a file of that name is not.
    if (create && result == ERROR_ALREADY_EXISTS) {
        DWORD attributes = GetFileAttributesW(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && IsFolderAttributes(attributes)) return ERROR_SUCCESS;
    }
    if (!create && (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND)) return ERROR_SUCCESS;
    return result;
}

// True when everything in `folder` (a full path ending in a backslash; `below`,
// its path below its root, the same way) is left out by the exclusions, or is a
// folder that holds only such entries: a folder the user's exclusions keep.
bool HoldsOnlyExcluded(const wchar_t* folder, const wchar_t* below, const ExclusionList* exclusions, int depth = 0) {
    // Deeper than any folder a path can name: not looked into.
    if (!exclusions || depth > 2048) return false;
    const size_t folderUnits = wcslen(folder);
    const size_t belowUnits = wcslen(below);
    MemBlock<wchar_t> paths(size_t(2) * kPathUnits);
    if (!paths.Get() || folderUnits + 2 >= kPathUnits) return false;
    wchar_t* child = paths.Get();
    wchar_t* childBelow = child + kPathUnits;
    wmemcpy(child, folder, folderUnits);
    wcscpy(child + folderUnits, L"*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(child, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool only = true;
    do {
        if (IsDotOrDotDot(found.cFileName)) continue;
        const bool isFolder = IsFolderAttributes(found.dwFileAttributes);
        if (IsExcluded(exclusions, below, found.cFileName, isFolder)) continue;
        const size_t nameUnits = wcslen(found.cFileName);
        // A link is never looked through: it is no folder of the location's.
        only = isFolder && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
               folderUnits + nameUnits + 1 < kPathUnits && belowUnits + nameUnits + 1 < kPathUnits;
        if (!only) break;
        wmemcpy(child + folderUnits, found.cFileName, nameUnits);
        wcscpy(child + folderUnits + nameUnits, L"\\");
        wmemcpy(childBelow, below, belowUnits);
        wmemcpy(childBelow + belowUnits, found.cFileName, nameUnits);
        wcscpy(childBelow + belowUnits + nameUnits, L"\\");
        only = HoldsOnlyExcluded(child, childBelow, exclusions, depth + 1);
    } while (only && FindNextFileW(search, &found));
    FindClose(search);
    return only;
}

// Whether the folder that `operation` removes is kept by the exclusions.
bool KeptByExclusions(const Run* run, const SyncOperation& operation) {
    const ExclusionList* exclusions = run->request->exclusions;
    if (!exclusions) return false;
    const wchar_t* path = TargetOf(run->plan, operation);
    const wchar_t* root = PlanText(run->plan, run->plan->roots[TargetSideOf(operation)]);
    const size_t rootUnits = wcslen(root);
    const size_t pathUnits = wcslen(path);
    if (pathUnits <= rootUnits || pathUnits + 2 >= kPathUnits) return false;
    MemBlock<wchar_t> paths(size_t(2) * kPathUnits);
    if (!paths.Get()) return false;
    wchar_t* folder = paths.Get();
    wchar_t* below = folder + kPathUnits;
    wcscpy(folder, path);
    if (folder[pathUnits - 1] != L'\\') wcscpy(folder + pathUnits, L"\\");
    wcscpy(below, folder + rootUnits);
    return HoldsOnlyExcluded(folder, below, exclusions);
}

// Makes the folders (parents first) or removes them (innermost first) in the plan's order.
void HandleFolders(Run* run, bool create, const LocationGuard* guard) {
    const SyncRequest* request = run->request;
    SyncPlan* plan = run->plan;
    const SyncOperationKind kind = create ? SyncMakeFolder : SyncRemoveFolder;
    for (uint32_t step = 0; step < plan->count; ++step) {
        SyncOperation& operation = plan->operations[create ? step : plan->count - 1 - step];
        if (operation.kind != kind || operation.result != kSyncPending) continue;
        if (request->cancel && *request->cancel) {
            ReportNotDone(run, &operation, kSyncCancelled);
            continue;
        }
        // Removal takes only an empty folder: whatever the user left unchecked inside keeps it.
        DWORD result = request->dryRun ? ERROR_SUCCESS : CheckStaysInside(guard, TargetOf(plan, operation));
        if (!request->dryRun && result == ERROR_SUCCESS) result = HandleFolder(TargetOf(plan, operation), create);
        // A folder that holds only what the exclusions leave out stays, as they ask; so does an excluded
        // folder that keeps what is never deleted (a link, a name with a case twin).
        if (!create && result == ERROR_DIR_NOT_EMPTY &&
            (operation.reason == SyncBecauseExcluded || KeptByExclusions(run, operation))) {
            operation.result = kSyncKeptForExcluded;
            ++run->summary.keptForExcluded;
            Observe(run, operation, kSyncKeptForExcluded);
            continue;
        }
        // A folder that keeps what the user left unchecked, or a file that could not go, is no failure of its own.
        if (result == ERROR_SUCCESS || (!create && result == ERROR_DIR_NOT_EMPTY)) {
            operation.result = result;
            if (result == ERROR_SUCCESS) ++(create ? run->summary.created : run->summary.removed);
            Observe(run, operation, result);
        } else {
            ReportNotDone(run, &operation, result);
        }
    }
}

// The renames and the times' settings of the phase, before all else of it: a
// copy over a renamed file then keeps its new spelling.
void RenameAndSetTimes(Run* run, const LocationGuard* guard) {
    const SyncRequest* request = run->request;
    SyncPlan* plan = run->plan;
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        const bool rename = operation.kind == SyncRename;
        if ((!rename && operation.kind != SyncSetTime) || operation.phase != run->phase ||
            operation.result != kSyncPending)
            continue;
        if (request->cancel && *request->cancel) {
            ReportNotDone(run, &operation, kSyncCancelled);
            continue;
        }
        DWORD result = ERROR_SUCCESS;
        if (!request->dryRun)
            result = rename ? RenameAsPlanned(plan, operation, guard) : SetTimeAsPlanned(plan, operation, guard);
        if (result != ERROR_SUCCESS) {
            ReportNotDone(run, &operation, result);
            continue;
        }
        operation.result = ERROR_SUCCESS;
        ++(rename ? run->summary.renamed : run->summary.timesSet);
        Observe(run, operation, ERROR_SUCCESS);
    }
}

// The copiers' settings, by name, for the whole run.
BatchContext ContextOf(Run* run) {
    const SyncRequest* request = run->request;
    BatchContext context = {};
    context.plan = run->plan;
    context.batches = &run->batches;
    context.extraShellFlags = static_cast<FILEOP_FLAGS>(request->unattended ? FOF_NOERRORUI : 0);
    context.unattended = request->unattended;
    context.deleteWithoutRecycleBin = request->deleteWithoutRecycleBin;
    context.timeRule = RuleForFileChecks(request->timeRule);
    context.copier = request->copier;
    context.copiesInFlight = request->copiesInFlight;
    context.verify = request->verify;
    context.versioning = request->versioningFolder ? &run->versioning : nullptr;
    context.cancel = request->cancel;
    context.progress = request->progress;
    context.exclusions = request->exclusions;
    context.journal = run->journal;
    return context;
}

// The room the copies need on their volumes; false, told, when they do not fit, every copy then refused.
bool CheckRoom(Run* run, const BatchContext* context) {
    uint64_t needed = 0;
    uint64_t available = 0;
    if (CheckRoomForCopies(context, &needed, &available)) return true;
    wchar_t text[512];
    swprintf(text, 512, kSyncNoRoomFormat, static_cast<unsigned long long>(needed),
             static_cast<unsigned long long>(available));
    TellUser(run, SyncNoticeError, text);
    run->summary.noRoom = true;
    return false;
}

// The file operations of the phase, checked before and after, and each one's outcome reported.
void RunFiles(Run* run, const BatchContext* context) {
    const SyncRequest* request = run->request;
    SyncPlan* plan = run->plan;
    // A dry run follows its own analysis: the files are as it saw them, so none is read again;
    // what only the run can tell (a file held open, say) the run tells.
    if (!request->dryRun) RecheckPlannedFiles(context, SyncCopies);
    if (!request->stopWhenNoRoom) CheckRoom(run, context);
    if (request->dryRun) {
        AcceptPendingFiles(plan);
    } else {
        RunFileBatches(context);
    }
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (operation.phase != run->phase || IsFolderOperation(operation) || operation.kind == SyncOnlyLogged ||
            operation.kind == SyncRename || operation.kind == SyncSetTime ||
            operation.result == kSyncRefusedTooLong || operation.result == kSyncEarlierKindStays)
            continue;
        if (operation.result != ERROR_SUCCESS) {
            ReportNotDone(run, &operation, operation.result);
            continue;
        }
        const bool copy = IsCopyOperation(operation);
        ++(copy ? run->summary.copied : run->summary.deleted);
        if (operation.kind == SyncReplace) ++run->summary.replaced;
        Observe(run, operation, ERROR_SUCCESS);
    }
}

// A run that stops for want of room: every operation still to do is told as not done.
void StopForRoom(Run* run) {
    SyncPlan* plan = run->plan;
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (operation.result == kSyncNoRoomOnTarget) {
            ReportNotDone(run, &operation, kSyncNoRoomOnTarget);
        } else if (operation.result == kSyncPending || operation.result == kSyncWaiting) {
            ReportNotDone(run, &operation, kSyncRunStoppedForRoom);
        }
    }
}

// The operations that wait for another: those whose awaited operation was
// done are freed to run (a dry run takes the files as done, since what they
// wait for is only said to go); the others are told as not done.
void FreeWaitingOperations(Run* run) {
    SyncPlan* plan = run->plan;
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (operation.result != kSyncWaiting) continue;
        const bool awaitedDone = operation.waitsFor < plan->count &&
                                 plan->operations[operation.waitsFor].result == ERROR_SUCCESS;
        if (!awaitedDone) {
            ReportNotDone(run, &operation, kSyncEarlierKindStays);
        } else {
            operation.result = run->request->dryRun && !IsFolderOperation(operation) ? ERROR_SUCCESS : kSyncPending;
        }
    }
}

bool HasWaitingOperations(const SyncPlan* plan) {
    for (uint32_t index = 0; index < plan->count; ++index) {
        if (plan->operations[index].result == kSyncWaiting) return true;
    }
    return false;
}

// The plan of the request: its own, or one made of its items; false when memory runs out.
bool TakePlan(Run* run) {
    const SyncRequest* request = run->request;
    if (request->plan) {
        run->plan = request->plan;
        return true;
    }
    run->plan = &run->ownPlan;
    return PlanSyncItems(request->direction, request->items, request->currentRoot, request->otherRoot,
                         &run->ownPlan) == ERROR_SUCCESS;
}

// The run's journal: the request's, or one of its own; false, told, when none can be made.
// A run with its own journal (the window program's) first moves aside what
// earlier runs stopped midway left, as the companion does before its analysis:
// an item of this run's list that was such a leftover is then no longer as the
// analysis saw it, and is not copied across as a file of the user's.
bool OpenJournal(Run* run) {
    run->journal = run->request->journal;
    if (run->journal) return true;
    const SyncRequest* request = run->request;
    wchar_t folder[MAX_PATH];
    const wchar_t* const locations[] = {CurrentRootOf(run->plan), OtherRootOf(run->plan), request->versioningFolder};
    const DWORD opened = DefaultJournalFolder(folder) ? RunJournalOpen(&run->ownJournal, folder, locations, 3)
                                                      : ERROR_PATH_NOT_FOUND;
    if (opened == ERROR_SUCCESS) {
        run->journal = &run->ownJournal;
        LeftoverRemoval removal = {};
        RemoveLeftovers(folder, locations, nullptr, &removal);
        run->summary.leftoversRemoved += removal.removed;
        run->summary.notDone += removal.left;
        return true;
    }
    wchar_t reason[kSystemErrorUnits];
    DescribeSyncResult(opened, reason);
    wchar_t text[kSystemErrorUnits + 128];
    swprintf(text, kSystemErrorUnits + 128, L"%ls %ls", kSyncCannotMakeJournal, reason);
    TellUser(run, SyncNoticeError, text);
    return false;
}

// The run from the allocation of the lists to the last notice.
DWORD Synchronize(Run* run) {
    const SyncRequest* request = run->request;
    const uint32_t itemCount = request->plan ? request->plan->count : request->items->count;
    // The shell's batches are made from lists; the engine needs none.
    const bool listed = request->copier == SyncCopyWithEngine ||
                        FileBatchesInit(&run->batches, SyncPathListStartCapacity(itemCount));
    if (!listed || !TakePlan(run)) {
        TellUser(run, SyncNoticeError, kSyncNoMemory);
        FileBatchesFree(&run->batches);
        return kRunEndedEarly;
    }
    wchar_t besideProgram[MAX_PATH];
    const wchar_t* logPath = request->logPath;
    if (!logPath && SyncLogPath(besideProgram)) logPath = besideProgram;
    if (!logPath || !SkipLogOpen(logPath, kSyncLogHeader)) {
        TellUser(run, SyncNoticeError, kSyncCannotCreateLog);
        FileBatchesFree(&run->batches);
        return kRunEndedEarly;
    }
    if (!request->dryRun && !OpenJournal(run)) {
        SkipLogClose();
        FileBatchesFree(&run->batches);
        return kRunEndedEarly;
    }
    LogRefusals(run);
    if (run->refusedLogged > 0) TellUser(run, SyncNoticeWarning, kSyncPathsSkipped);

    if (request->versioningFolder) VersioningInit(&run->versioning, request->versioningFolder);
    run->versioning.journal = run->journal;
    BatchContext context = ContextOf(run);
    context.sourceLinks = NewLinkCheckCache();
    context.targetLinks = NewLinkCheckCache();
    LocationGuardInit(&run->guard, CurrentRootOf(run->plan), OtherRootOf(run->plan));
    context.guard = &run->guard;
    // Where copies that do not fit stop the run, they are weighed before any folder is made.
    if (request->stopWhenNoRoom && !CheckRoom(run, &context)) {
        StopForRoom(run);
    } else {
        for (run->phase = 0; run->phase < 2; ++run->phase) {
            if (run->phase == 1) {
                if (!HasWaitingOperations(run->plan)) break;
                FreeWaitingOperations(run);
            }
            RenameAndSetTimes(run, context.guard);
            HandleFolders(run, true, context.guard);
            RunFiles(run, &context);
            // After the deletions emptied them.
            HandleFolders(run, false, context.guard);
        }
    }
    FreeLinkCheckCache(context.sourceLinks);
    FreeLinkCheckCache(context.targetLinks);
    CopyText(run->summary.versions, MAX_PATH, run->versioning.runFolder);

    FileBatchesFree(&run->batches);
    SkipLogClose();
    run->summary.cancelled = request->cancel && *request->cancel;
    if (run->journal == &run->ownJournal)
        RunJournalClose(&run->ownJournal, run->summary.notDone == 0 && !run->summary.cancelled);
    // A dry run completed nothing; its operations and its summary tell what a run would do.
    if (request->dryRun) return kRunCompleted;
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
    const bool planned = request->plan && request->plan->count > 0;
    const bool listed = !request->plan && request->items && request->items->count > 0 && request->currentRoot &&
                        request->otherRoot;
    if (planned || listed) result = Synchronize(&run);
    if (run.plan == &run.ownPlan) SyncPlanFree(&run.ownPlan);
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
