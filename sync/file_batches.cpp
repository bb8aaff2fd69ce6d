#include "sync/file_batches.h"

#include "model/scan_checks.h"
#include "sync/file_checks.h"
#include "sync/shell_questions.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"

#include <cwchar>

namespace {

// Whether the operation belongs to the batch and is still to run in it.
bool PendingIn(const PlannedFile& planned, SyncBatchKind kind) {
    if (planned.result != kSyncPending) return false;
    switch (kind) {
    case SyncReplacements:
        return IsCopy(planned.action) && planned.replaces && !planned.replacedGone;
    case SyncCopies:
        return IsCopy(planned.action);
    default:
        return !IsCopy(planned.action);
    }
}

// Moves the paths of the batch's pending operations to the front of its lists,
// in order, and drops the others' paths from them.
void KeepPendingPaths(FileBatches* batches, SyncBatchKind kind) {
    SyncPathList* lists[2] = {kind == SyncCopies ? &batches->copySources : &batches->deletions,
                              kind == SyncCopies ? &batches->copyTargets : nullptr};
    size_t read[2] = {0, 0};
    size_t written[2] = {0, 0};
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        PlannedFile& planned = batches->planned[index];
        if (!planned.listed || IsCopy(planned.action) != (kind == SyncCopies)) continue;
        const bool keep = PendingIn(planned, kind);
        for (int list = 0; list < 2 && lists[list]; ++list) {
            wchar_t* text = lists[list]->text;
            size_t units = wcslen(text + read[list]) + 1;
            if (keep) {
                wmemmove(text + written[list], text + read[list], units);
                written[list] += units;
            }
            read[list] += units;
        }
        planned.listed = keep;
    }
    for (int list = 0; list < 2 && lists[list]; ++list) {
        lists[list]->used = written[list];
        SyncPathListClose(lists[list]);
    }
}

// The targets of the copies whose files still have to go to the Recycle Bin,
// in the list of replaced files, which the copy targets' capacity always fits.
void ListReplacedFiles(FileBatches* batches) {
    SyncPathList* replaced = &batches->replaced;
    replaced->used = 0;
    const wchar_t* target = nullptr;
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        const PlannedFile& planned = batches->planned[index];
        if (!IsCopy(planned.action) || !planned.listed) continue;
        target = SyncPathListNext(&batches->copyTargets, target);
        if (target && PendingIn(planned, SyncReplacements)) SyncPathListAppend(replaced, target);
    }
    SyncPathListClose(replaced);
}

// Runs one batch; true when the shell says it did all of it. `questions`
// counts the questions closed unanswered when the run is unattended.
bool RunShellBatch(UINT function, const SyncPathList* from, const SyncPathList* to, FILEOP_FLAGS flags,
                   bool unattended, unsigned* questions) {
    if (SyncPathListIsEmpty(from)) return true;
    UnansweredQuestions guard(unattended);
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = function;
    operation.pFrom = from->text;
    operation.pTo = to ? to->text : nullptr;
    operation.fFlags = flags;
    // A refused or cancelled part of a batch (a file held open, a name the shell rejects, a deletion
    // the user declined) may stop the rest of it; each operation is checked on disk afterwards.
    const bool completed = SyncCalls().fileOperation(&operation) == 0 && !operation.fAnyOperationsAborted;
    *questions += guard.Closed();
    return completed;
}

// 0 when the operation took effect; otherwise why not, as far as can be told.
DWORD ResultOnDisk(const BatchContext* context, const PlannedFile& planned, bool shellCompleted) {
    const DWORD notDone = shellCompleted ? kSyncNotCarriedOut : kSyncStoppedByShell;
    const wchar_t* source = nullptr;
    const wchar_t* target = nullptr;
    if (!PathsOf(context, planned, &source, &target)) return notDone;
    SyncSeenFile seenSource;
    SyncSeenFile seenTarget;
    SeenOfPlanned(context->items->items[planned.item], planned.action, &seenSource, &seenTarget);
    const TimeRule& rule = context->timeRule;
    if (!target) return MatchesSeen(source, SyncSeenFile{}, rule) ? ERROR_SUCCESS : notDone;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(target, GetFileExInfoStandard, &data) || IsFolderAttributes(data.dwFileAttributes))
        return notDone;
    SyncSeenFile now = {true, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow, data.ftLastWriteTime};
    const bool untouched = seenTarget.exists && !planned.replacedGone && LooksLike(now, seenTarget, rule);
    if (untouched && !LooksLike(seenTarget, seenSource, rule)) return kSyncTargetUntouched;
    if (now.size != seenSource.size) return kSyncCopyIncomplete;
    if (!LooksLike(now, seenSource, rule)) return notDone;
    // A target that already looked like its source (same size and time, other
    // content) cannot tell a copy from none: only the shell's word can.
    return LooksLike(seenTarget, seenSource, rule) && !shellCompleted ? notDone : ERROR_SUCCESS;
}


// 0 when the operation did what its batch is for; otherwise why not.
DWORD OutcomeOf(const BatchContext* context, const PlannedFile& planned, SyncBatchKind kind, bool shellCompleted) {
    if (kind != SyncReplacements) return ResultOnDisk(context, planned, shellCompleted);
    const wchar_t* source = nullptr;
    const wchar_t* target = nullptr;
    if (PathsOf(context, planned, &source, &target) && MatchesSeen(target, SyncSeenFile{}, context->timeRule))
        return ERROR_SUCCESS;
    return kSyncReplacedNotRecycled;
}

// Why the operation at which the shell stopped was not done: a question about
// the Recycle Bin closed unanswered, or what is on disk.
DWORD StoppedBecause(SyncBatchKind kind, DWORD onDisk, unsigned questions) {
    if (questions == 0 || kind == SyncCopies) return onDisk;
    return kind == SyncDeletions ? kSyncNotRecycled : kSyncReplacedNotRecycled;
}

// Runs the batch's pending operations until each is decided: when the shell
// stops at one it cannot do, that one is marked and the rest run again.
void RunSettled(const BatchContext* context, FileBatches* batches, SyncBatchKind kind) {
    const bool copies = kind == SyncCopies;
    FILEOP_FLAGS flags = (copies ? kSyncCopyFlags : kSyncDeleteFlags) | context->extraShellFlags;
    if (!copies && context->deleteWithoutRecycleBin) flags &= ~FOF_WANTNUKEWARNING;
    for (;;) {
        const SyncPathList* from = nullptr;
        if (kind == SyncReplacements) {
            ListReplacedFiles(batches);
            from = &batches->replaced;
        } else {
            KeepPendingPaths(batches, kind);
            from = copies ? &batches->copySources : &batches->deletions;
        }
        if (SyncPathListIsEmpty(from)) return;
        unsigned questions = 0;
        const bool completed = RunShellBatch(copies ? FO_COPY : FO_DELETE, from, copies ? &batches->copyTargets : nullptr,
                                             flags, context->unattended, &questions);
        PlannedFile* stoppedAt = nullptr;
        for (uint32_t index = 0; index < batches->plannedCount; ++index) {
            PlannedFile& planned = batches->planned[index];
            if (!PendingIn(planned, kind)) continue;
            DWORD outcome = OutcomeOf(context, planned, kind, completed);
            if (outcome == ERROR_SUCCESS && kind == SyncReplacements) {
                planned.replacedGone = true;
            } else if (outcome == ERROR_SUCCESS || completed) {
                planned.result = outcome;
            } else if (!stoppedAt) {
                // The first one not done is where the shell stopped; the rest go again.
                stoppedAt = &planned;
                planned.result = StoppedBecause(kind, outcome, questions);
            }
        }
        // Everything decided, or the shell stopped with nothing left undone.
        if (completed || !stoppedAt) return;
    }
}

}  // namespace

void RunFileBatches(const BatchContext* context, FileBatches* batches) {
    KeepPendingPaths(batches, SyncCopies);
    // The files that copies replace go to the Recycle Bin first, so that their
    // earlier versions can be got back, and other names of a hard link keep
    // their content when the copy makes a new file.
    if (SyncPathListInit(&batches->replaced, batches->copyTargets.capacity)) {
        RunSettled(context, batches, SyncReplacements);
    } else {
        for (uint32_t index = 0; index < batches->plannedCount; ++index) {
            PlannedFile& planned = batches->planned[index];
            if (PendingIn(planned, SyncReplacements)) planned.result = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    SyncPathListFree(&batches->replaced);
    RunSettled(context, batches, SyncCopies);
    // A copy batch may take minutes: the files to delete are checked again just before they go.
    RecheckPlannedFiles(context, batches, SyncDeletions);
    RunSettled(context, batches, SyncDeletions);
}

void AcceptPendingFiles(FileBatches* batches) {
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        PlannedFile& planned = batches->planned[index];
        if (planned.result == kSyncPending) planned.result = ERROR_SUCCESS;
    }
}
