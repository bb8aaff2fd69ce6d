#include "sync/file_checks.h"

#include "model/memory.h"
#include "model/names.h"
#include "model/scan_checks.h"
#include "model/system_error.h"
#include "model/text.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"

#include <cwchar>

namespace {

const uint64_t kAllocationUnit = 4096;  // a file takes whole clusters; this is the common size

// kSyncPending when the file can be opened as the shell will open it: for
// reading as a copy's source, or to be moved to the Recycle Bin; otherwise the
// system's code (a file held open by another program, say), which names what
// happened better than the shell's stop would.
DWORD CheckOpenable(const wchar_t* path, DWORD access) {
    HANDLE file = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_OPEN_FAILED);
    CloseHandle(file);
    return kSyncPending;
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

// Why a planned operation's files are not as the analysis saw them: a
// folder where a copy was to make a file (one the exclusions hid from the
// analysis, or one made since) says so; any other change is a change.
DWORD WhyChanged(const BatchContext* context, const SyncOperation& operation) {
    const SyncPlan* plan = context->plan;
    const wchar_t* target = TargetOf(plan, operation);
    if (!IsCopyOperation(operation) || SeenAtTarget(operation).exists) return kSyncChangedSinceAnalysis;
    const DWORD attributes = GetFileAttributesW(target);
    if (attributes == INVALID_FILE_ATTRIBUTES || !IsFolderAttributes(attributes)) return kSyncChangedSinceAnalysis;
    const wchar_t* root = PlanText(plan, plan->roots[TargetSideOf(operation)]);
    const wchar_t* name = wcsrchr(target, L'\\') + 1;
    wchar_t folder[MAX_PATH];
    const size_t rootUnits = wcslen(root);
    const size_t folderUnits = static_cast<size_t>(name - target) - rootUnits;
    if (folderUnits >= MAX_PATH) return kSyncFolderInTheWay;
    wmemcpy(folder, target + rootUnits, folderUnits);
    folder[folderUnits] = 0;
    return IsExcluded(context->exclusions, folder, name, true) ? kSyncExcludedFolderInTheWay : kSyncFolderInTheWay;
}

}  // namespace

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

bool LooksLike(const SyncSeenFile& file, const SyncSeenFile& model, const TimeRule& rule) {
    return file.exists && model.exists && file.size == model.size &&
           SameFileTime(file.lastWriteTime, model.lastWriteTime, rule);
}

SyncSeenFile SeenNow(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data) || IsFolderAttributes(data.dwFileAttributes))
        return SyncSeenFile{};
    return SyncSeenFile{true, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow, data.ftLastWriteTime};
}

// Not GetFileInformationByHandle: the volume's serial number it also gives
// costs a round trip to the volume's driver on some systems, for every file.
SyncSeenFile SeenThrough(HANDLE file) {
    FILE_BASIC_INFO basic;
    LARGE_INTEGER size;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
        IsFolderAttributes(basic.FileAttributes) || !GetFileSizeEx(file, &size))
        return SyncSeenFile{};
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart);
    written.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(basic.LastWriteTime.QuadPart) >> 32);
    return SyncSeenFile{true, static_cast<uint64_t>(size.QuadPart), written};
}

DWORD HoldAsSeen(const wchar_t* path, const SyncSeenFile& seen, DWORD share, OwnedHandle* held) {
    return OpenAsSeen(path, seen, GENERIC_READ, share, held);
}

DWORD OpenAsSeen(const wchar_t* path, const SyncSeenFile& seen, DWORD access, DWORD share, OwnedHandle* held) {
    *held = OwnedHandle(CreateFileW(path, access, FILE_SHARE_READ | share, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!held->IsValid()) {
        const DWORD error = LastErrorOr(ERROR_OPEN_FAILED);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return kSyncChangedSinceAnalysis;
        return error == ERROR_SHARING_VIOLATION ? kSyncFileInUse : error;
    }
    if (LooksLike(SeenThrough(held->Get()), seen, kSameFileRule)) return ERROR_SUCCESS;
    held->Close();
    return kSyncChangedSinceAnalysis;
}

void LocationGuardInit(LocationGuard* guard, const wchar_t* currentRoot, const wchar_t* otherRoot) {
    *guard = LocationGuard{{currentRoot, otherRoot}};
}

DWORD CheckStaysInside(const LocationGuard* guard, const wchar_t* path) {
    if (!guard) return ERROR_SUCCESS;
    int side = -1;
    for (int index = 0; index < 2 && side < 0; ++index) {
        if (guard->roots[index] && wcsncmp(path, guard->roots[index], wcslen(guard->roots[index])) == 0) side = index;
    }
    if (side < 0) return ERROR_SUCCESS;
    const size_t rootUnits = wcslen(guard->roots[side]);
    const wchar_t* lastBackslash = wcsrchr(path, L'\\');
    const size_t folderUnits = lastBackslash ? static_cast<size_t>(lastBackslash - path) : 0;
    // A file right in the root: the root is the user's own choice, resolved once.
    if (folderUnits <= rootUnits) return ERROR_SUCCESS;
    MemBlock<wchar_t> buffer(kPathUnits);
    if (!buffer.Get() || folderUnits >= kPathUnits) return ERROR_NOT_ENOUGH_MEMORY;
    wchar_t* folder = buffer.Get();
    wmemcpy(folder, path, folderUnits);
    folder[folderUnits] = 0;
    // Each folder from the root down to the one acted in, looked at now: a link
    // among them would lead the call elsewhere. Its attributes tell of a reparse
    // point; only then is its tag read, since not every one leads elsewhere.
    for (size_t at = rootUnits; at <= folderUnits; ++at) {
        if (at < folderUnits && folder[at] != L'\\') continue;
        const wchar_t kept = folder[at];
        folder[at] = 0;
        const DWORD attributes = GetFileAttributesW(folder);
        DWORD result = ERROR_SUCCESS;
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            // Not there: nothing can be written through it, and the call fails by itself.
            result = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
            folder[at] = kept;
            return result;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW(folder, &found);
            if (search == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_OPEN_FAILED);
            FindClose(search);
            if (IsLinkEntry(found)) return kSyncFolderBecameLink;
        }
        folder[at] = kept;
    }
    return ERROR_SUCCESS;
}

void RecheckPlannedFiles(const BatchContext* context, SyncBatchKind kind) {
    SyncPlan* plan = context->plan;
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        const bool copy = IsCopyOperation(operation);
        if (operation.result != kSyncPending || (copy ? kind != SyncCopies : operation.kind != SyncDeleteFile ||
                                                                                kind != SyncDeletions))
            continue;
        const wchar_t* source = SourceOf(plan, operation);
        const wchar_t* target = TargetOf(plan, operation);
        const SyncSeenFile& seenSource = SeenAtSource(operation);
        const SyncSeenFile& seenTarget = SeenAtTarget(operation);
        // A deletion's file is its target: it must be there as seen, each file to the tick. A copy's
        // source is checked so when it is held, just before it is copied (HoldAsSeen).
        const TimeRule& rule = kSameFileRule;
        const bool unchanged = operation.seenKnown &&
                               (copy ? seenSource.exists && MatchesSeen(target, seenTarget, rule)
                                     : seenTarget.exists && MatchesSeen(target, seenTarget, rule));
        if (!unchanged) {
            operation.result = WhyChanged(context, operation);
            continue;
        }
        // Nothing is copied from, onto or through a link, nor deleted through one.
        DWORD link = copy ? CheckNotLinkCached(source, context->sourceLinks) : CheckNotLinkCached(target, context->targetLinks);
        // A target that is not there (just checked) is no link.
        if (link == ERROR_SUCCESS && copy && seenTarget.exists) link = CheckNotLinkCached(target, context->targetLinks);
        if (link != ERROR_SUCCESS) operation.result = link;
        const bool replaces = operation.kind == SyncReplace;
        // A file is not sent to the Recycle Bin for a copy whose source cannot be read.
        if (operation.result == kSyncPending && replaces) operation.result = CheckOpenable(source, GENERIC_READ);
        // What goes to the Recycle Bin must be free to go.
        if (operation.result == kSyncPending && (replaces || !copy)) operation.result = CheckOpenable(target, DELETE);
    }
}

bool CheckRoomForCopies(const BatchContext* context, uint64_t* needed, uint64_t* available) {
    *needed = 0;
    *available = 0;
    SyncPlan* plan = context->plan;
    VolumeNeed volumes[kMaxTargetVolumes] = {};
    wchar_t folder[kPathUnits];
    bool fits = true;
    unsigned volumeCount = 0;
    unsigned current = kMaxTargetVolumes;  // the volume of the folder last looked up
    folder[0] = 0;
    for (uint32_t index = 0; fits && index < plan->count; ++index) {
        const SyncOperation& operation = plan->operations[index];
        if (operation.result != kSyncPending || !IsCopyOperation(operation)) continue;
        const wchar_t* target = TargetOf(plan, operation);
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
        uint64_t cluster = volumes[current].cluster;
        volumes[current].needed += (SeenAtSource(operation).size + cluster - 1) / cluster * cluster;
    }
    for (unsigned index = 0; fits && index < volumeCount; ++index) {
        ULARGE_INTEGER free = {};
        ULARGE_INTEGER total = {};
        ULARGE_INTEGER totalFree = {};
        // A volume that cannot tell its free space is not refused: the copies are checked afterwards all the same.
        if (!SyncCalls().freeSpace(volumes[index].root, &free, &total, &totalFree)) continue;
        if (volumes[index].needed <= free.QuadPart) continue;
        *needed = volumes[index].needed;
        *available = free.QuadPart;
        fits = false;
    }
    if (fits) return true;
    for (uint32_t index = 0; index < plan->count; ++index) {
        SyncOperation& operation = plan->operations[index];
        if (operation.result == kSyncPending && IsCopyOperation(operation)) operation.result = kSyncNoRoomOnTarget;
    }
    return false;
}
