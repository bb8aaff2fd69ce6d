#include "sync/file_batches.h"

#include "model/memory.h"
#include "model/scan_checks.h"
#include "model/system_error.h"
#include "model/text.h"
#include "sync/copy_engine.h"
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
bool PendingIn(const PlannedFile& planned, SyncBatchKind kind) {
    if (planned.result != kSyncPending) return false;
    switch (kind) {
    case SyncReplacements:
        return IsCopy(planned.action) && planned.copied && planned.replaces && !planned.replacedGone;
    case SyncCopies:
        return IsCopy(planned.action) && !planned.copied && planned.temporaryName[0];
    default:
        return !IsCopy(planned.action);
    }
}

// The copy's temporary file, in `path` of MAX_PATH units; false when the paths cannot be formed.
bool TemporaryOf(const BatchContext* context, const PlannedFile& planned, wchar_t* path) {
    const wchar_t* source = nullptr;
    const wchar_t* target = nullptr;
    return planned.temporaryName[0] && PathsOf(context, planned, &source, &target) && target &&
           TemporaryPathOf(target, planned.temporaryName, path);
}

// Marks the operation as not done; a copy's temporary file goes, the earlier version stays.
void MarkNotDone(const BatchContext* context, PlannedFile* planned, DWORD result) {
    planned->result = result;
    wchar_t temporary[MAX_PATH];
    if (IsCopy(planned->action) && TemporaryOf(context, *planned, temporary)) DeleteFileW(temporary);
    planned->temporaryName[0] = 0;
    planned->copied = false;
}

// Makes the folders of `path` below the root it lies in, as the shell's
// copies do for a file whose folder the user did not choose to make.
DWORD MakeFolderOf(const BatchContext* context, const wchar_t* path) {
    wchar_t folder[MAX_PATH];
    const wchar_t* lastBackslash = wcsrchr(path, L'\\');
    const size_t units = lastBackslash ? static_cast<size_t>(lastBackslash - path) : 0;
    if (units == 0 || units >= MAX_PATH) return ERROR_PATH_NOT_FOUND;
    wmemcpy(folder, path, units);
    folder[units] = 0;
    if (GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES) return ERROR_SUCCESS;
    const wchar_t* root = context->otherRoot;
    if (wcsncmp(path, root, wcslen(root)) != 0) root = context->currentRoot;
    for (size_t at = wcslen(root); at <= units; ++at) {
        if (at < units && folder[at] != L'\\') continue;
        const wchar_t kept = folder[at];
        folder[at] = 0;
        if (!CreateDirectoryW(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return LastErrorOr(ERROR_PATH_NOT_FOUND);
        folder[at] = kept;
    }
    return ERROR_SUCCESS;
}

// Rebuilds the batch's shell lists from its pending operations: the paths
// of the deletions or of the replaced files, or the sources of the copies and
// their temporary files. False when the lists cannot hold them.
bool ListPending(const BatchContext* context, FileBatches* batches, SyncBatchKind kind, SyncPathList** from,
                 SyncPathList** to) {
    *from = kind == SyncCopies ? &batches->copySources : kind == SyncDeletions ? &batches->deletions
                                                                               : &batches->replaced;
    *to = kind == SyncCopies ? &batches->temporaries : nullptr;
    (*from)->used = 0;
    if (*to) (*to)->used = 0;
    bool fits = true;
    for (uint32_t index = 0; fits && index < batches->plannedCount; ++index) {
        const PlannedFile& planned = batches->planned[index];
        const wchar_t* source = nullptr;
        const wchar_t* target = nullptr;
        if (!PendingIn(planned, kind) || !PathsOf(context, planned, &source, &target)) continue;
        if (kind == SyncCopies) {
            wchar_t temporary[MAX_PATH];
            fits = TemporaryPathOf(target, planned.temporaryName, temporary) && SyncPathListAppend(*from, source) &&
                   SyncPathListAppend(*to, temporary);
        } else {
            fits = SyncPathListAppend(*from, kind == SyncDeletions ? source : target);
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
DWORD OutcomeOf(const BatchContext* context, const PlannedFile& planned, SyncBatchKind kind, bool shellCompleted) {
    const DWORD notDone = shellCompleted ? kSyncNotCarriedOut : kSyncStoppedByShell;
    const wchar_t* source = nullptr;
    const wchar_t* target = nullptr;
    if (!PathsOf(context, planned, &source, &target)) return notDone;
    const TimeRule& rule = context->timeRule;
    if (kind == SyncDeletions) return MatchesSeen(source, SyncSeenFile{}, rule) ? ERROR_SUCCESS : notDone;
    if (kind == SyncReplacements)
        return MatchesSeen(target, SyncSeenFile{}, rule) ? ERROR_SUCCESS : kSyncReplacedNotRecycled;
    SyncSeenFile seenSource;
    SyncSeenFile seenTarget;
    SeenOfPlanned(context->items->items[planned.item], planned.action, &seenSource, &seenTarget);
    wchar_t temporary[MAX_PATH];
    const SyncSeenFile copy = TemporaryOf(context, planned, temporary) ? SeenNow(temporary) : SyncSeenFile{};
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
void Succeeded(PlannedFile* planned, SyncBatchKind kind) {
    if (kind == SyncReplacements) {
        planned->replacedGone = true;
    } else if (kind == SyncCopies) {
        planned->copied = true;
    } else {
        planned->result = ERROR_SUCCESS;
    }
}

// Runs the batch's pending operations through the shell until each is
// decided: when the shell stops at one it cannot do, that one is marked and
// the rest run again.
void RunSettled(const BatchContext* context, FileBatches* batches, SyncBatchKind kind) {
    const bool copies = kind == SyncCopies;
    FILEOP_FLAGS flags = (copies ? kSyncCopyFlags : kSyncDeleteFlags) | context->extraShellFlags;
    if (!copies && context->deleteWithoutRecycleBin) flags &= ~FOF_WANTNUKEWARNING;
    for (;;) {
        SyncPathList* from = nullptr;
        SyncPathList* to = nullptr;
        const bool listed = ListPending(context, batches, kind, &from, &to);
        if (listed && SyncPathListIsEmpty(from)) return;
        unsigned questions = 0;
        const bool completed = listed && RunShellBatch(copies ? FO_COPY : FO_DELETE, from, to, flags,
                                                       context->unattended, &questions);
        PlannedFile* stoppedAt = nullptr;
        for (uint32_t index = 0; index < batches->plannedCount; ++index) {
            PlannedFile& planned = batches->planned[index];
            if (!PendingIn(planned, kind)) continue;
            const DWORD outcome = listed ? OutcomeOf(context, planned, kind, completed) : ERROR_NOT_ENOUGH_MEMORY;
            if (outcome == ERROR_SUCCESS) {
                Succeeded(&planned, kind);
            } else if (completed || !listed) {
                MarkNotDone(context, &planned, outcome);
            } else if (!stoppedAt) {
                // The first one not done is where the shell stopped; the rest go again.
                stoppedAt = &planned;
                MarkNotDone(context, &planned, StoppedBecause(kind, outcome, questions));
            }
        }
        // Everything decided, or the shell stopped with nothing left undone.
        if (completed || !listed || !stoppedAt) return;
    }
}

// The files that the waiting copies replace, and the files to delete, go to
// the versioning folder one by one.
void MoveToVersioning(const BatchContext* context, FileBatches* batches, SyncBatchKind kind) {
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        PlannedFile& planned = batches->planned[index];
        const wchar_t* source = nullptr;
        const wchar_t* target = nullptr;
        if (!PendingIn(planned, kind) || !PathsOf(context, planned, &source, &target)) continue;
        const wchar_t* relative = context->items->items[planned.item].path + wcslen(context->currentRoot);
        const DWORD moved = MoveToVersions(context->versioning, kind == SyncDeletions ? source : target, relative);
        if (moved == ERROR_SUCCESS) {
            Succeeded(&planned, kind);
        } else if (moved == ERROR_FILENAME_EXCED_RANGE) {
            MarkNotDone(context, &planned, moved);
        } else {
            MarkNotDone(context, &planned, kind == SyncDeletions ? kSyncNotVersioned : kSyncReplacedNotVersioned);
        }
    }
}

// Sends the files of the batch where the run keeps what it removes.
void MoveAside(const BatchContext* context, FileBatches* batches, SyncBatchKind kind) {
    if (context->versioning) {
        MoveToVersioning(context, batches, kind);
        return;
    }
    if (kind == SyncReplacements && !batches->replaced.text &&
        !SyncPathListInit(&batches->replaced, batches->copyTargets.capacity)) {
        for (uint32_t index = 0; index < batches->plannedCount; ++index) {
            if (PendingIn(batches->planned[index], kind)) MarkNotDone(context, &batches->planned[index], ERROR_NOT_ENOUGH_MEMORY);
        }
        return;
    }
    RunSettled(context, batches, kind);
}

// The paths of a copy that waits under its temporary name (`temporary`, MAX_PATH units).
bool WaitingCopyPaths(const BatchContext* context, const PlannedFile& planned, const wchar_t** source,
                      const wchar_t** target, wchar_t* temporary) {
    return TemporaryOf(context, planned, temporary) && PathsOf(context, planned, source, target);
}

// Why a waiting copy cannot take its place: its source changed while it was
// copied, the copy is not whole, or the target changed or became a link.
DWORD CheckWaitingCopy(const BatchContext* context, const PlannedFile& planned) {
    const wchar_t* source = nullptr;
    const wchar_t* target = nullptr;
    wchar_t temporary[MAX_PATH];
    if (!WaitingCopyPaths(context, planned, &source, &target, temporary)) return kSyncNotCarriedOut;
    SyncSeenFile seenSource;
    SyncSeenFile seenTarget;
    SeenOfPlanned(context->items->items[planned.item], planned.action, &seenSource, &seenTarget);
    const TimeRule& rule = context->timeRule;
    if (!MatchesSeen(source, seenSource, rule)) return kSyncSourceChangedDuringCopy;
    const SyncSeenFile copy = SeenNow(temporary);
    if (!LooksLike(copy, seenSource, rule)) return copy.size != seenSource.size ? kSyncCopyIncomplete : kSyncNotCarriedOut;
    // A target that was not there needs no look: the rename never replaces a file made under its name meanwhile.
    if (!seenTarget.exists) return kSyncPending;
    if (!MatchesSeen(target, seenTarget, rule)) return kSyncChangedSinceAnalysis;
    const DWORD link = CheckNotLinkCached(target, context->targetLinks);
    return link == ERROR_SUCCESS ? kSyncPending : link;
}

DWORD RenameIntoPlace(const BatchContext* context, const PlannedFile& planned) {
    const wchar_t* source = nullptr;
    const wchar_t* target = nullptr;
    wchar_t temporary[MAX_PATH];
    if (!WaitingCopyPaths(context, planned, &source, &target, temporary)) return kSyncNotCarriedOut;
    return TakeRealName(temporary, target);
}

// The waiting copies, each checked again, their earlier versions moved aside
// in one batch, and each renamed into place.
void SettleCopies(const BatchContext* context, FileBatches* batches) {
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        PlannedFile& planned = batches->planned[index];
        if (planned.result != kSyncPending || !planned.copied) continue;
        const DWORD check = CheckWaitingCopy(context, planned);
        if (check != kSyncPending) MarkNotDone(context, &planned, check);
    }
    MoveAside(context, batches, SyncReplacements);
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        PlannedFile& planned = batches->planned[index];
        if (planned.result != kSyncPending || !planned.copied) continue;
        const DWORD renamed = RenameIntoPlace(context, planned);
        if (renamed == ERROR_SUCCESS) {
            planned.result = ERROR_SUCCESS;
            planned.temporaryName[0] = 0;
        } else {
            MarkNotDone(context, &planned, renamed);
        }
    }
}

// Counts the pending copies into the progress record.
void CountCopies(const BatchContext* context, const FileBatches* batches) {
    uint64_t files = 0;
    uint64_t bytes = 0;
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        const PlannedFile& planned = batches->planned[index];
        if (planned.result != kSyncPending || !IsCopy(planned.action)) continue;
        SyncSeenFile source;
        SyncSeenFile target;
        SeenOfPlanned(context->items->items[planned.item], planned.action, &source, &target);
        ++files;
        bytes += source.size;
    }
    SyncProgressAddTotal(context->progress, files, bytes);
}

// The shell copies every pending file onto a temporary name reserved beside its target.
void CopyThroughShell(const BatchContext* context, FileBatches* batches) {
    size_t units = 1;
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        PlannedFile& planned = batches->planned[index];
        const wchar_t* source = nullptr;
        const wchar_t* target = nullptr;
        if (planned.result != kSyncPending || !IsCopy(planned.action) || !PathsOf(context, planned, &source, &target))
            continue;
        wchar_t temporary[MAX_PATH];
        DWORD reserved = MakeFolderOf(context, target);
        if (reserved == ERROR_SUCCESS) reserved = ReserveTemporaryFile(target, temporary, planned.temporaryName);
        if (reserved != ERROR_SUCCESS) {
            MarkNotDone(context, &planned, reserved);
            continue;
        }
        units += wcslen(temporary) + 1;
    }
    if (!SyncPathListInit(&batches->temporaries, units)) {
        for (uint32_t index = 0; index < batches->plannedCount; ++index) {
            if (PendingIn(batches->planned[index], SyncCopies)) MarkNotDone(context, &batches->planned[index], ERROR_NOT_ENOUGH_MEMORY);
        }
        return;
    }
    RunSettled(context, batches, SyncCopies);
    SettleCopies(context, batches);
}

// The next group of pending copies from `*next` on, as engine copies with
// their paths in `paths` (two of MAX_PATH units each); the count.
uint32_t GatherGroup(const BatchContext* context, FileBatches* batches, uint32_t* next, EngineCopy* copies,
                     uint32_t* plannedOf, wchar_t* paths) {
    uint32_t count = 0;
    uint64_t bytes = 0;
    for (; *next < batches->plannedCount && count < kEngineGroupFiles && bytes < kEngineGroupBytes; ++*next) {
        PlannedFile& planned = batches->planned[*next];
        const wchar_t* source = nullptr;
        const wchar_t* target = nullptr;
        if (planned.result != kSyncPending || !IsCopy(planned.action) || !PathsOf(context, planned, &source, &target))
            continue;
        wchar_t* sourcePath = paths + size_t(count) * 2 * MAX_PATH;
        wchar_t* targetPath = sourcePath + MAX_PATH;
        // Copies come in path order: a folder is looked at once for its files.
        const wchar_t* folderEnd = wcsrchr(target, L'\\');
        const wchar_t* previous = count ? paths + size_t(count - 1) * 2 * MAX_PATH + MAX_PATH : nullptr;
        const size_t folderUnits = static_cast<size_t>(folderEnd - target) + 1;
        const bool sameFolder = previous && wcsncmp(previous, target, folderUnits) == 0 &&
                                !wcschr(previous + folderUnits, L'\\');
        const DWORD folder = sameFolder ? ERROR_SUCCESS : MakeFolderOf(context, target);
        if (folder != ERROR_SUCCESS) {
            MarkNotDone(context, &planned, folder);
            continue;
        }
        SyncSeenFile seenSource;
        SyncSeenFile seenTarget;
        SeenOfPlanned(context->items->items[planned.item], planned.action, &seenSource, &seenTarget);
        CopyText(sourcePath, MAX_PATH, source);
        CopyText(targetPath, MAX_PATH, target);
        copies[count] = EngineCopy{sourcePath, targetPath, seenSource, !planned.replaces, {}, kSyncPending};
        plannedOf[count++] = *next;
        bytes += seenSource.size;
    }
    return count;
}

// The engine copies the pending files a group at a time, places those that
// replace nothing as they come, and settles the rest of each group before the
// next begins; a stop drops the copies in flight.
void CopyWithEngine(const BatchContext* context, FileBatches* batches) {
    MemBlock<EngineCopy> copyBlock(kEngineGroupFiles);
    MemBlock<uint32_t> plannedBlock(kEngineGroupFiles);
    MemBlock<wchar_t> pathBlock(size_t(2) * MAX_PATH * kEngineGroupFiles);
    EngineCopy* copies = copyBlock.Get();
    uint32_t* plannedOf = plannedBlock.Get();
    wchar_t* paths = pathBlock.Get();
    const CopyEngineSettings settings = {context->copiesInFlight ? context->copiesInFlight : 1, context->verify,
                                         context->cancel, context->progress, context->timeRule};
    uint32_t next = 0;
    while (copies && plannedOf && paths && !StopRequested(context)) {
        const uint32_t count = GatherGroup(context, batches, &next, copies, plannedOf, paths);
        if (count == 0) break;
        RunEngineCopies(copies, count, settings);
        for (uint32_t index = 0; index < count; ++index) {
            PlannedFile& planned = batches->planned[plannedOf[index]];
            const EngineCopy& copy = copies[index];
            if (copy.result != kSyncPending) {
                planned.result = copy.result;
            } else if (StopRequested(context)) {
                // Stopped before any earlier version moved: the copy goes, the target stays.
                CopyText(planned.temporaryName, kTemporaryNameUnits, copy.temporaryName);
                MarkNotDone(context, &planned, kSyncCancelled);
            } else {
                CopyText(planned.temporaryName, kTemporaryNameUnits, copy.temporaryName);
                planned.copied = true;
            }
        }
        SettleCopies(context, batches);
    }
    const DWORD notRun = copies && plannedOf && paths ? kSyncCancelled : ERROR_NOT_ENOUGH_MEMORY;
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        PlannedFile& planned = batches->planned[index];
        if (planned.result == kSyncPending && IsCopy(planned.action)) MarkNotDone(context, &planned, notRun);
    }
}

}  // namespace

void RunFileBatches(const BatchContext* context, FileBatches* batches) {
    CountCopies(context, batches);
    if (context->copier == SyncCopyWithEngine) {
        CopyWithEngine(context, batches);
    } else {
        CopyThroughShell(context, batches);
    }
    if (StopRequested(context)) {
        for (uint32_t index = 0; index < batches->plannedCount; ++index) {
            PlannedFile& planned = batches->planned[index];
            if (planned.result == kSyncPending) planned.result = kSyncCancelled;
        }
        return;
    }
    // The copies may take minutes: the files to delete are checked again just before they go.
    RecheckPlannedFiles(context, batches, SyncDeletions);
    MoveAside(context, batches, SyncDeletions);
}

void AcceptPendingFiles(FileBatches* batches) {
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        PlannedFile& planned = batches->planned[index];
        if (planned.result == kSyncPending) planned.result = ERROR_SUCCESS;
    }
}
