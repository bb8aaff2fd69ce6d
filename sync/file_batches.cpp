#include "sync/file_batches.h"

#include "model/memory.h"
#include "model/scan_checks.h"
#include "model/system_error.h"
#include "model/text.h"
#include "sync/shell_questions.h"

#include <cwchar>

namespace {

const uint64_t kAllocationUnit = 4096;  // a file takes whole clusters; this is the common size

SyncSystemCalls g_calls = {SHFileOperationW, GetDiskFreeSpaceExW};

bool IsCopy(SyncAction action) { return action == SyncCopyToOther || action == SyncCopyFromOther; }

// True when the path holds just what was seen: the same file, or nothing when nothing was seen.
bool MatchesSeen(const wchar_t* path, const SyncSeenFile& seen, const TimeRule& rule) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        DWORD error = GetLastError();
        return !seen.exists && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    }
    if (!seen.exists || IsFolderAttributes(data.dwFileAttributes)) return false;
    uint64_t size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size == seen.size && SameFileTime(data.ftLastWriteTime, seen.lastWriteTime, rule);
}

// kSyncPending when the file can be opened as the shell will open it: for
// reading as a copy's source, or to be moved to the Recycle Bin; otherwise the
// system's code (a file held open by another program, say), which names what
// happened better than the shell's stop would.
DWORD CheckOpenable(const wchar_t* path, DWORD access) {
    HANDLE file = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error ? error : ERROR_OPEN_FAILED;
    }
    CloseHandle(file);
    return kSyncPending;
}

// What was seen at the source and at the target of a copy, or at the path of a deletion.
void SeenOfPlanned(const SyncItem& item, SyncAction action, SyncSeenFile* source, SyncSeenFile* target) {
    const bool fromHere = action == SyncCopyToOther || action == SyncDeleteItem;
    *source = fromHere ? item.seenHere : item.seenThere;
    *target = fromHere ? item.seenThere : item.seenHere;
}

// Paths of a planned operation; false when its other path cannot be formed.
bool PathsOf(const BatchContext* context, const PlannedFile& planned, const wchar_t** source,
             const wchar_t** target) {
    const SyncItem& item = context->items->items[planned.item];
    if (BuildOtherPath(item.path, context->currentRoot, context->otherRoot, context->otherPath, kPathUnits) !=
        ERROR_SUCCESS)
        return false;
    PlannedPaths(planned, item.path, context->otherPath, source, target);
    return true;
}

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
    const bool completed = g_calls.fileOperation(&operation) == 0 && !operation.fAnyOperationsAborted;
    *questions += guard.Closed();
    return completed;
}

// Copies keep the source's time, to the resolution of the target's file system.
bool LooksLike(const SyncSeenFile& file, const SyncSeenFile& model, const TimeRule& rule) {
    return file.exists && model.exists && file.size == model.size &&
           SameFileTime(file.lastWriteTime, model.lastWriteTime, rule);
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

// The volume that holds `path` and its cluster size; false when the system cannot tell.
bool VolumeOf(const wchar_t* path, wchar_t* root, uint64_t* cluster) {
    if (!GetVolumePathNameW(path, root, MAX_PATH)) return false;
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    *cluster = GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)
                   ? uint64_t(sectorsPerCluster) * bytesPerSector
                   : 0;
    if (*cluster == 0) *cluster = kAllocationUnit;
    return true;
}

// What the copies need on each volume they write to.
struct VolumeNeed {
    wchar_t root[MAX_PATH];
    uint64_t cluster;
    uint64_t needed;
};
const unsigned kMaxTargetVolumes = 16;

}  // namespace

void SyncSetSystemCalls(const SyncSystemCalls* calls) {
    g_calls = calls ? *calls : SyncSystemCalls{SHFileOperationW, GetDiskFreeSpaceExW};
}

bool FileBatchesInit(FileBatches* batches, size_t capacity, uint32_t itemCount) {
    *batches = FileBatches{};
    bool allocated = SyncPathListInit(&batches->copySources, capacity);
    allocated = SyncPathListInit(&batches->copyTargets, capacity) && allocated;
    allocated = SyncPathListInit(&batches->deletions, capacity) && allocated;
    if (allocated) {
        batches->planned = static_cast<PlannedFile*>(MemAlloc(sizeof(PlannedFile) * (itemCount ? itemCount : 1)));
        allocated = batches->planned != nullptr;
    }
    if (!allocated) FileBatchesFree(batches);
    return allocated;
}

void FileBatchesFree(FileBatches* batches) {
    SyncPathListFree(&batches->copySources);
    SyncPathListFree(&batches->copyTargets);
    SyncPathListFree(&batches->deletions);
    MemFree(batches->planned);
    batches->planned = nullptr;
    batches->plannedCount = 0;
}

void FileBatchesAdd(FileBatches* batches, uint32_t item, SyncAction action, const wchar_t* itemPath,
                    const wchar_t* otherPath) {
    const wchar_t* source = nullptr;
    const wchar_t* target = nullptr;
    PlannedFile planned = {item, action, kSyncPending, true, false, false};
    PlannedPaths(planned, itemPath, otherPath, &source, &target);
    if (!source) return;
    if (target) {
        SyncPathListAppend(&batches->copySources, source);
        SyncPathListAppend(&batches->copyTargets, target);
    } else {
        SyncPathListAppend(&batches->deletions, source);
    }
    batches->planned[batches->plannedCount++] = planned;
}

bool FileBatchesKeepRoom(FileBatches* batches, size_t step) {
    return SyncPathListKeepRoom(&batches->copySources, step) && SyncPathListKeepRoom(&batches->copyTargets, step) &&
           SyncPathListKeepRoom(&batches->deletions, step);
}

void FileBatchesClose(FileBatches* batches) {
    SyncPathListClose(&batches->copySources);
    SyncPathListClose(&batches->copyTargets);
    SyncPathListClose(&batches->deletions);
}

void PlannedPaths(const PlannedFile& planned, const wchar_t* itemPath, const wchar_t* otherPath,
                  const wchar_t** source, const wchar_t** target) {
    *source = nullptr;
    *target = nullptr;
    switch (planned.action) {
    case SyncCopyToOther:
        *source = itemPath;
        *target = otherPath;
        break;
    case SyncCopyFromOther:
        *source = otherPath;
        *target = itemPath;
        break;
    case SyncDeleteItem:
        *source = itemPath;
        break;
    case SyncDeleteOther:
        *source = otherPath;
        break;
    default:
        break;
    }
}

void DescribeSyncResult(DWORD result, wchar_t* text) {
    const wchar_t* own = nullptr;
    switch (result) {
    case kSyncRefusedTooLong:
        own = L"The path is too long! Both files were skipped.";
        break;
    case kSyncChangedSinceAnalysis:
        own = L"The file has changed since the analysis! Both files were skipped.";
        break;
    case kSyncNoRoomOnTarget:
        own = L"There is not enough free space on the target volume! The file was not copied.";
        break;
    case kSyncNotCarriedOut:
        own = L"The file operation could not be completed!";
        break;
    case kSyncStoppedByShell:
        own = L"The file operation failed or was canceled!";
        break;
    case kSyncCopyIncomplete:
        own = L"The copy is incomplete: its size differs from the source!";
        break;
    case kSyncNotRecycled:
        own = L"The file could not be moved to the Recycle Bin, so it was not deleted!";
        break;
    case kSyncReplacedNotRecycled:
        own = L"The file to be replaced could not be moved to the Recycle Bin, so it was not replaced!";
        break;
    case kSyncTargetUntouched:
        own = L"The file could not be copied; the target was left as it was!";
        break;
    default:
        FormatSystemErrorLine(result, text);
        return;
    }
    CopyText(text, kSystemErrorUnits, own);
}

void RecheckPlannedFiles(const BatchContext* context, FileBatches* batches, SyncBatchKind kind) {
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        PlannedFile& planned = batches->planned[index];
        if (planned.result != kSyncPending || IsCopy(planned.action) != (kind == SyncCopies)) continue;
        const SyncItem& item = context->items->items[planned.item];
        const wchar_t* source = nullptr;
        const wchar_t* target = nullptr;
        SyncSeenFile seenSource;
        SyncSeenFile seenTarget;
        SeenOfPlanned(item, planned.action, &seenSource, &seenTarget);
        const TimeRule& rule = context->timeRule;
        bool unchanged = item.seenKnown && PathsOf(context, planned, &source, &target) && seenSource.exists &&
                         MatchesSeen(source, seenSource, rule) && (!target || MatchesSeen(target, seenTarget, rule));
        if (!unchanged) {
            planned.result = kSyncChangedSinceAnalysis;
            continue;
        }
        // Nothing is copied from, onto or through a link, nor deleted through one.
        DWORD link = CheckNotLink(source);
        if (link == ERROR_SUCCESS && target) link = CheckNotLink(target);
        if (link != ERROR_SUCCESS) planned.result = link;
        planned.replaces = target && seenTarget.exists;
        // A file is not sent to the Recycle Bin for a copy whose source cannot be read.
        if (planned.result == kSyncPending && planned.replaces) planned.result = CheckOpenable(source, GENERIC_READ);
        // What goes to the Recycle Bin must be free to go.
        const wchar_t* leaving = target ? (planned.replaces ? target : nullptr) : source;
        if (planned.result == kSyncPending && leaving) planned.result = CheckOpenable(leaving, DELETE);
    }
}

bool CheckRoomForCopies(const BatchContext* context, FileBatches* batches, uint64_t* needed, uint64_t* available) {
    *needed = 0;
    *available = 0;
    VolumeNeed volumes[kMaxTargetVolumes];
    wchar_t folder[kPathUnits];
    bool fits = true;
    unsigned volumeCount = 0;
    unsigned current = kMaxTargetVolumes;  // the volume of the folder last looked up
    folder[0] = 0;
    for (uint32_t index = 0; fits && index < batches->plannedCount; ++index) {
        const PlannedFile& planned = batches->planned[index];
        const wchar_t* source = nullptr;
        const wchar_t* target = nullptr;
        if (planned.result != kSyncPending || !IsCopy(planned.action) || !PathsOf(context, planned, &source, &target))
            continue;
        const wchar_t* lastBackslash = wcsrchr(target, L'\\');
        size_t folderLength = lastBackslash ? static_cast<size_t>(lastBackslash - target) + 1 : 0;
        // Copies come in path order, so a folder's files are looked up once.
        if (current == kMaxTargetVolumes || wcsncmp(folder, target, folderLength) != 0 || folder[folderLength] != 0) {
            wmemcpy(folder, target, folderLength);
            folder[folderLength] = 0;
            wchar_t root[MAX_PATH];
            uint64_t cluster = kAllocationUnit;
            if (!VolumeOf(folder, root, &cluster)) CopyText(root, MAX_PATH, folder);
            for (current = 0; current < volumeCount && wcscmp(volumes[current].root, root) != 0; ++current) {}
            if (current == volumeCount) {
                // More volumes than any real run writes to: too many to vouch for.
                if (volumeCount == kMaxTargetVolumes) fits = false;
                if (!fits) break;
                CopyText(volumes[current].root, MAX_PATH, root);
                volumes[current].cluster = cluster;
                ++volumeCount;
            }
        }
        SyncSeenFile seenSource;
        SyncSeenFile seenTarget;
        SeenOfPlanned(context->items->items[planned.item], planned.action, &seenSource, &seenTarget);
        uint64_t cluster = volumes[current].cluster;
        volumes[current].needed += (seenSource.size + cluster - 1) / cluster * cluster;
    }
    for (unsigned index = 0; fits && index < volumeCount; ++index) {
        ULARGE_INTEGER free = {};
        ULARGE_INTEGER total = {};
        ULARGE_INTEGER totalFree = {};
        // A volume that cannot tell its free space is not refused: the copies are checked afterwards all the same.
        if (!g_calls.freeSpace(volumes[index].root, &free, &total, &totalFree)) continue;
        if (volumes[index].needed <= free.QuadPart) continue;
        *needed = volumes[index].needed;
        *available = free.QuadPart;
        fits = false;
    }
    if (fits) return true;
    for (uint32_t index = 0; index < batches->plannedCount; ++index) {
        PlannedFile& planned = batches->planned[index];
        if (planned.result == kSyncPending && IsCopy(planned.action)) planned.result = kSyncNoRoomOnTarget;
    }
    return false;
}

namespace {

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
