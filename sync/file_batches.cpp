#include "sync/file_batches.h"

#include "model/memory.h"
#include "model/scan_checks.h"
#include "model/system_error.h"
#include "model/text.h"
#include "sync/copy_engine.h"
#include "sync/run_journal.h"
#include "sync/shell_questions.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"

#include <cwchar>

namespace {

// The engine's copies in flight at once, at most: their temporary files, and
// the earlier versions they replace, go on together.
const uint32_t kEngineGroupFiles = 256;
const uint64_t kEngineGroupBytes = 64ull << 20;

// Whether the operation belongs to the batch and is still to run in it.
bool PendingIn(const SyncOperation& operation, SyncBatchKind kind) {
    if (operation.result != kSyncPending) return false;
    const bool copy = IsCopyOperation(operation);
    switch (kind) {
    case SyncReplacements:
        return copy && operation.copied && operation.kind == SyncReplace && !operation.replacedGone;
    case SyncCopies:
        return copy && !operation.copied && operation.temporaryName[0];
    default:
        return operation.kind == SyncDeleteFile;
    }
}

// The copy's temporary file, in `path` of MAX_PATH units; false when it has none.
bool TemporaryOf(const SyncPlan* plan, const SyncOperation& operation, wchar_t* path) {
    return operation.temporaryName[0] && TemporaryPathOf(TargetOf(plan, operation), operation.temporaryName, path);
}

// Marks the operation as not done; a copy's temporary file goes, the earlier version stays.
void MarkNotDone(const BatchContext* context, SyncOperation* operation, DWORD result) {
    operation->result = result;
    wchar_t temporary[MAX_PATH];
    if (IsCopyOperation(*operation) && TemporaryOf(context->plan, *operation, temporary))
        SyncCalls().deleteFile(temporary);
    operation->temporaryName[0] = 0;
    operation->copied = false;
}

// Makes the folders of the operation's target below the root it lies in, as
// the shell's copies do for a file whose folder the user did not choose to make.
DWORD MakeFolderOf(const BatchContext* context, const SyncOperation& operation) {
    const wchar_t* path = TargetOf(context->plan, operation);
    wchar_t folder[MAX_PATH];
    const wchar_t* lastBackslash = wcsrchr(path, L'\\');
    const size_t units = lastBackslash ? static_cast<size_t>(lastBackslash - path) : 0;
    if (units == 0 || units >= MAX_PATH) return ERROR_PATH_NOT_FOUND;
    wmemcpy(folder, path, units);
    folder[units] = 0;
    if (GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES) return ERROR_SUCCESS;
    const wchar_t* root = PlanText(context->plan, context->plan->roots[TargetSideOf(operation)]);
    for (size_t at = wcslen(root); at <= units; ++at) {
        if (at < units && folder[at] != L'\\') continue;
        const wchar_t kept = folder[at];
        folder[at] = 0;
        const DWORD inside = CheckStaysInside(context->guard, folder);
        if (inside != ERROR_SUCCESS) return inside;
        if (!SyncCalls().makeFolder(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return LastErrorOr(ERROR_PATH_NOT_FOUND);
        folder[at] = kept;
    }
    return ERROR_SUCCESS;
}

// Makes `list` an empty list of at least `units` characters; false when memory runs out.
bool MakeRoom(SyncPathList* list, size_t units) {
    if (list->text && list->capacity >= units) {
        list->used = 0;
        list->text[0] = 0;
        return true;
    }
    SyncPathListFree(list);
    return SyncPathListInit(list, units);
}

// Rebuilds the batch's shell lists from its pending operations: the paths
// of the deletions or of the replaced files, or the sources of the copies and
// their temporary files. False when memory runs out for them.
bool ListPending(const BatchContext* context, SyncBatchKind kind, SyncPathList** from, SyncPathList** to) {
    FileBatches* batches = context->batches;
    const SyncPlan* plan = context->plan;
    *from = kind == SyncCopies ? &batches->copySources : kind == SyncDeletions ? &batches->deletions
                                                                               : &batches->replaced;
    *to = kind == SyncCopies ? &batches->temporaries : nullptr;
    size_t fromUnits = 1;
    size_t toUnits = 1;
    for (uint32_t index = 0; index < plan->count; ++index) {
        const SyncOperation& operation = plan->operations[index];
        if (!PendingIn(operation, kind)) continue;
        fromUnits += wcslen(kind == SyncCopies ? SourceOf(plan, operation) : TargetOf(plan, operation)) + 1;
        // The temporary file stands beside the target, under a name no longer than the target's room for one.
        if (kind == SyncCopies) toUnits += wcslen(TargetOf(plan, operation)) + kTemporaryNameUnits;
    }
    if (!MakeRoom(*from, fromUnits) || (*to && !MakeRoom(*to, toUnits))) return false;
    bool fits = true;
    for (uint32_t index = 0; fits && index < plan->count; ++index) {
        const SyncOperation& operation = plan->operations[index];
        if (!PendingIn(operation, kind)) continue;
        if (kind == SyncCopies) {
            wchar_t temporary[MAX_PATH];
            fits = TemporaryOf(plan, operation, temporary) && SyncPathListAppend(*from, SourceOf(plan, operation)) &&
                   SyncPathListAppend(*to, temporary);
        } else {
            fits = SyncPathListAppend(*from, TargetOf(plan, operation));
        }
    }
    SyncPathListClose(*from);
    if (*to) SyncPathListClose(*to);
    return fits;
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

// 0 when the operation did what its batch is for; otherwise why not, as far as the disk tells.
DWORD OutcomeOf(const BatchContext* context, const SyncOperation& operation, SyncBatchKind kind, bool shellCompleted) {
    const DWORD notDone = shellCompleted ? kSyncNotCarriedOut : kSyncStoppedByShell;
    const SyncPlan* plan = context->plan;
    const TimeRule& rule = context->timeRule;
    if (kind == SyncDeletions) return MatchesSeen(TargetOf(plan, operation), SyncSeenFile{}, rule) ? ERROR_SUCCESS : notDone;
    if (kind == SyncReplacements)
        return MatchesSeen(TargetOf(plan, operation), SyncSeenFile{}, rule) ? ERROR_SUCCESS : kSyncReplacedNotRecycled;
    const SyncSeenFile& seenSource = SeenAtSource(operation);
    wchar_t temporary[MAX_PATH];
    const SyncSeenFile copy = TemporaryOf(plan, operation, temporary) ? SeenNow(temporary) : SyncSeenFile{};
    if (LooksLike(copy, seenSource, rule)) return ERROR_SUCCESS;
    return copy.exists && copy.size != seenSource.size && copy.size != 0 ? kSyncCopyIncomplete : notDone;
}

// Why the operation at which the shell stopped was not done: a question about
// the Recycle Bin closed unanswered, or what is on disk.
DWORD StoppedBecause(SyncBatchKind kind, DWORD onDisk, unsigned questions) {
    if (questions == 0 || kind == SyncCopies) return onDisk;
    return kind == SyncDeletions ? kSyncNotRecycled : kSyncReplacedNotRecycled;
}

// What an operation that its batch did leaves to do: a deletion is done, a
// replaced file is gone, a copy waits under its temporary name.
void Succeeded(SyncOperation* operation, SyncBatchKind kind) {
    if (kind == SyncReplacements) {
        operation->replacedGone = true;
    } else if (kind == SyncCopies) {
        operation->copied = true;
    } else {
        operation->result = ERROR_SUCCESS;
    }
}

// Each pending operation of the batch whose folder has become a link is not done.
void GuardPending(const BatchContext* context, SyncBatchKind kind) {
    SyncPlan* plan = context->plan;
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (!PendingIn(operation, kind)) continue;
        const DWORD inside = CheckStaysInside(context->guard, TargetOf(plan, operation));
        if (inside != ERROR_SUCCESS) MarkNotDone(context, &operation, inside);
    }
}

// Runs the batch's pending operations through the shell until each is
// decided: when the shell stops at one it cannot do, that one is marked and
// the rest run again.
void RunSettled(const BatchContext* context, SyncBatchKind kind) {
    SyncPlan* plan = context->plan;
    const bool copies = kind == SyncCopies;
    FILEOP_FLAGS flags = (copies ? kSyncCopyFlags : kSyncDeleteFlags) | context->extraShellFlags;
    if (!copies && context->deleteWithoutRecycleBin) flags &= ~FOF_WANTNUKEWARNING;
    GuardPending(context, kind);
    for (;;) {
        SyncPathList* from = nullptr;
        SyncPathList* to = nullptr;
        const bool listed = ListPending(context, kind, &from, &to);
        if (listed && SyncPathListIsEmpty(from)) return;
        unsigned questions = 0;
        const bool completed = listed && RunShellBatch(copies ? FO_COPY : FO_DELETE, from, to, flags,
                                                       context->unattended, &questions);
        SyncOperation* stoppedAt = nullptr;
        for (uint32_t index = 0; index < plan->count; ++index) {
            SyncOperation& operation = plan->operations[index];
            if (!PendingIn(operation, kind)) continue;
            const DWORD outcome = listed ? OutcomeOf(context, operation, kind, completed) : ERROR_NOT_ENOUGH_MEMORY;
            if (outcome == ERROR_SUCCESS) {
                Succeeded(&operation, kind);
            } else if (completed || !listed) {
                MarkNotDone(context, &operation, outcome);
            } else if (!stoppedAt) {
                // The first one not done is where the shell stopped; the rest go again.
                stoppedAt = &operation;
                MarkNotDone(context, &operation, StoppedBecause(kind, outcome, questions));
            }
        }
        // Everything decided, or the shell stopped with nothing left undone.
        if (completed || !listed || !stoppedAt) return;
    }
}

// The files that the waiting copies replace, and the files to delete, go to
// the versioning folder one by one.
void MoveToVersioning(const BatchContext* context, SyncBatchKind kind) {
    SyncPlan* plan = context->plan;
    const size_t rootUnits = wcslen(CurrentRootOf(plan));
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (!PendingIn(operation, kind)) continue;
        const DWORD inside = CheckStaysInside(context->guard, TargetOf(plan, operation));
        if (inside != ERROR_SUCCESS) {
            MarkNotDone(context, &operation, inside);
            continue;
        }
        const wchar_t* relative = ItemPathOf(plan, operation) + rootUnits;
        const DWORD moved =
            MoveToVersions(context->versioning, TargetOf(plan, operation), relative, SeenAtTarget(operation));
        // A reason of its own is told as it is; any other says that the file could not go there.
        const bool toldAsIs =
            moved == ERROR_FILENAME_EXCED_RANGE || moved == kSyncChangedSinceAnalysis || moved == kSyncFileInUse;
        if (moved == ERROR_SUCCESS) {
            Succeeded(&operation, kind);
        } else if (toldAsIs) {
            MarkNotDone(context, &operation, moved);
        } else {
            MarkNotDone(context, &operation, kind == SyncDeletions ? kSyncNotVersioned : kSyncReplacedNotVersioned);
        }
    }
}

// Sends the files of the batch where the run keeps what it removes.
void MoveAside(const BatchContext* context, SyncBatchKind kind) {
    if (context->versioning) {
        MoveToVersioning(context, kind);
        return;
    }
    RunSettled(context, kind);
}

// Why a waiting copy cannot take its place: its source changed while it was
// copied, the copy is not whole, or the target changed or became a link. Each
// file is checked against what the analysis saw of it to the tick; the copy
// against its source, on another volume, by the run's rule.
DWORD CheckWaitingCopy(const BatchContext* context, const SyncOperation& operation) {
    const SyncPlan* plan = context->plan;
    wchar_t temporary[MAX_PATH];
    if (!TemporaryOf(plan, operation, temporary)) return kSyncNotCarriedOut;
    const SyncSeenFile& seenSource = SeenAtSource(operation);
    const SyncSeenFile& seenTarget = SeenAtTarget(operation);
    if (!MatchesSeen(SourceOf(plan, operation), seenSource, kSameFileRule)) return kSyncSourceChangedDuringCopy;
    const SyncSeenFile copy = SeenNow(temporary);
    if (!LooksLike(copy, seenSource, context->timeRule))
        return copy.size != seenSource.size ? kSyncCopyIncomplete : kSyncNotCarriedOut;
    // A target that was not there needs no look: the rename never replaces a file made under its name meanwhile.
    if (!seenTarget.exists) return kSyncPending;
    const wchar_t* target = TargetOf(plan, operation);
    if (!MatchesSeen(target, seenTarget, kSameFileRule)) return kSyncChangedSinceAnalysis;
    const DWORD link = CheckNotLinkCached(target, context->targetLinks);
    return link == ERROR_SUCCESS ? kSyncPending : link;
}

// The waiting copies, each checked again, their earlier versions moved aside,
// and each renamed into place.
void SettleCopies(const BatchContext* context) {
    SyncPlan* plan = context->plan;
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (operation.result != kSyncPending || !operation.copied) continue;
        const DWORD check = CheckWaitingCopy(context, operation);
        if (check != kSyncPending) MarkNotDone(context, &operation, check);
    }
    MoveAside(context, SyncReplacements);
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (operation.result != kSyncPending || !operation.copied) continue;
        wchar_t temporary[MAX_PATH];
        DWORD renamed = TemporaryOf(plan, operation, temporary) ? CheckStaysInside(context->guard, TargetOf(plan, operation))
                                                                : kSyncNotCarriedOut;
        if (renamed == ERROR_SUCCESS) renamed = TakeRealName(temporary, TargetOf(plan, operation));
        if (renamed == ERROR_SUCCESS || renamed == kSyncTimeNotKept) {
            operation.result = renamed;
            operation.temporaryName[0] = 0;
        } else {
            MarkNotDone(context, &operation, renamed);
        }
    }
}

// Counts the pending copies into the progress record.
void CountCopies(const BatchContext* context) {
    const SyncPlan* plan = context->plan;
    uint64_t files = 0;
    uint64_t bytes = 0;
    for (uint32_t index = 0; index < plan->count; ++index) {
        const SyncOperation& operation = plan->operations[index];
        if (operation.result != kSyncPending || !IsCopyOperation(operation)) continue;
        ++files;
        bytes += SeenAtSource(operation).size;
    }
    SyncProgressAddTotal(context->progress, files, bytes);
}

// Files held open as HoldAsSeen holds them, up to a count; all closed when it goes.
class HeldFiles {
public:
    explicit HeldFiles(uint32_t capacity) : m_block(capacity), m_capacity(capacity) {}
    ~HeldFiles() {
        for (uint32_t index = 0; index < m_count; ++index) CloseHandle(m_block.Get()[index]);
    }
    HeldFiles(const HeldFiles&) = delete;
    HeldFiles& operator=(const HeldFiles&) = delete;

    DWORD Hold(const wchar_t* path, const SyncSeenFile& seen) {
        if (!m_block.Get() || m_count == m_capacity) return ERROR_NOT_ENOUGH_MEMORY;
        OwnedHandle file;
        const DWORD result = HoldAsSeen(path, seen, 0, &file);
        if (result == ERROR_SUCCESS) m_block.Get()[m_count++] = file.Release();
        return result;
    }

private:
    MemBlock<HANDLE> m_block;
    uint32_t m_capacity;
    uint32_t m_count = 0;
};

// The shell copies every pending file onto a temporary name reserved beside
// its target, each source held against writers from before the batch until
// its copy is checked, so that what is copied is one version of it.
void CopyThroughShell(const BatchContext* context) {
    SyncPlan* plan = context->plan;
    HeldFiles sources(plan->count);
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (operation.result != kSyncPending || !IsCopyOperation(operation)) continue;
        wchar_t temporary[MAX_PATH];
        DWORD reserved = sources.Hold(SourceOf(plan, operation), SeenAtSource(operation));
        if (reserved == ERROR_SUCCESS) reserved = MakeFolderOf(context, operation);
        if (reserved == ERROR_SUCCESS) reserved = CheckStaysInside(context->guard, TargetOf(plan, operation));
        if (reserved == ERROR_SUCCESS)
            reserved = ReserveTemporaryFile(TargetOf(plan, operation), temporary, operation.temporaryName,
                                            context->journal, SeenAtSource(operation));
        if (reserved != ERROR_SUCCESS) MarkNotDone(context, &operation, reserved);
    }
    RunSettled(context, SyncCopies);
    SettleCopies(context);
}

// The next group of pending copies from `*next` on, as engine copies; the count.
uint32_t GatherGroup(const BatchContext* context, uint32_t* next, EngineCopy* copies, uint32_t* operationOf) {
    SyncPlan* plan = context->plan;
    uint32_t count = 0;
    uint64_t bytes = 0;
    const wchar_t* previous = nullptr;
    for (; *next < plan->count && count < kEngineGroupFiles && bytes < kEngineGroupBytes; ++*next) {
        SyncOperation& operation = plan->operations[*next];
        if (operation.result != kSyncPending || !IsCopyOperation(operation)) continue;
        const wchar_t* target = TargetOf(plan, operation);
        // Copies come in path order: a folder is looked at once for its files.
        const size_t folderUnits = static_cast<size_t>(wcsrchr(target, L'\\') - target) + 1;
        const bool sameFolder = previous && wcsncmp(previous, target, folderUnits) == 0 &&
                                !wcschr(previous + folderUnits, L'\\');
        const DWORD folder = sameFolder ? ERROR_SUCCESS : MakeFolderOf(context, operation);
        if (folder != ERROR_SUCCESS) {
            MarkNotDone(context, &operation, folder);
            continue;
        }
        const SyncSeenFile& seenSource = SeenAtSource(operation);
        copies[count] = EngineCopy{SourceOf(plan, operation), target, seenSource, operation.kind != SyncReplace, {},
                                   kSyncPending};
        operationOf[count++] = *next;
        previous = target;
        bytes += seenSource.size;
    }
    return count;
}

// The engine copies the pending files a group at a time, places those that
// replace nothing as they come, and settles the rest of each group before the
// next begins; a stop drops the copies in flight.
void CopyWithEngine(const BatchContext* context) {
    SyncPlan* plan = context->plan;
    MemBlock<EngineCopy> copyBlock(kEngineGroupFiles);
    MemBlock<uint32_t> operationBlock(kEngineGroupFiles);
    EngineCopy* copies = copyBlock.Get();
    uint32_t* operationOf = operationBlock.Get();
    const CopyEngineSettings settings = {context->copiesInFlight ? context->copiesInFlight : 1, context->verify,
                                         context->cancel, context->progress, context->guard, context->journal};
    uint32_t next = 0;
    while (copies && operationOf && !StopRequested(context)) {
        const uint32_t count = GatherGroup(context, &next, copies, operationOf);
        if (count == 0) break;
        RunEngineCopies(copies, count, settings);
        for (uint32_t index = 0; index < count; ++index) {
            SyncOperation& operation = plan->operations[operationOf[index]];
            const EngineCopy& copy = copies[index];
            if (copy.result != kSyncPending) {
                operation.result = copy.result;
            } else if (StopRequested(context)) {
                // Stopped before any earlier version moved: the copy goes, the target stays.
                CopyText(operation.temporaryName, kTemporaryNameUnits, copy.temporaryName);
                MarkNotDone(context, &operation, kSyncCancelled);
            } else {
                CopyText(operation.temporaryName, kTemporaryNameUnits, copy.temporaryName);
                operation.copied = true;
            }
        }
        SettleCopies(context);
    }
    const DWORD notRun = copies && operationOf ? kSyncCancelled : ERROR_NOT_ENOUGH_MEMORY;
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (operation.result == kSyncPending && IsCopyOperation(operation)) MarkNotDone(context, &operation, notRun);
    }
}

}  // namespace

void RunFileBatches(const BatchContext* context) {
    CountCopies(context);
    if (context->copier == SyncCopyWithEngine) {
        CopyWithEngine(context);
    } else {
        CopyThroughShell(context);
    }
    SyncPlan* plan = context->plan;
    if (StopRequested(context)) {
        for (uint32_t index = 0; index < plan->count; ++index) {
            SyncOperation& operation = plan->operations[index];
            if (operation.result == kSyncPending && !IsFolderOperation(operation)) operation.result = kSyncCancelled;
        }
        return;
    }
    // The copies may take minutes: the files to delete are checked again just before they go.
    RecheckPlannedFiles(context, SyncDeletions);
    MoveAside(context, SyncDeletions);
}

void AcceptPendingFiles(SyncPlan* plan) {
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (operation.result == kSyncPending && !IsFolderOperation(operation)) operation.result = ERROR_SUCCESS;
    }
}
