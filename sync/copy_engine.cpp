#include "sync/copy_engine.h"

#include "model/file_digest.h"
#include "model/memory.h"
#include "model/system_error.h"
#include "model/win_guards.h"
#include "sync/file_checks.h"
#include "sync/run_journal.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"

#include <cstring>

namespace {

const DWORD kCompareChunk = 1 << 20;
const unsigned kMaxInFlight = 16;

// What the threads of one run of the engine share.
struct EngineRun {
    EngineCopy* copies;
    uint32_t count;
    const CopyEngineSettings* settings;
    volatile LONG next;  // the index of the next copy to take, less one
};

// One copy's bytes seen so far through the system's progress calls.
struct CopyTicker {
    SyncProgress* progress;
    uint64_t reported;
};

DWORD CALLBACK TickProgress(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                            HANDLE, HANDLE, void* data) {
    auto* ticker = static_cast<CopyTicker*>(data);
    const uint64_t done = static_cast<uint64_t>(transferred.QuadPart);
    if (done > ticker->reported) {
        SyncProgressAddDone(ticker->progress, 0, done - ticker->reported);
        ticker->reported = done;
    }
    return PROGRESS_CONTINUE;
}

bool Cancelled(const CopyEngineSettings& settings) { return settings.cancel && *settings.cancel; }

DWORD OpenForReading(const wchar_t* path, OwnedHandle* file) {
    *file = OwnedHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return file->IsValid() ? ERROR_SUCCESS : LastErrorOr(ERROR_OPEN_FAILED);
}

// The copy's source, held since before the copy, still as the analysis saw it
// to the tick; the copy read back with `verify`; and a copy that replaces
// nothing renamed into place. kSyncPending for a copy that waits whole, 0 (or
// kSyncTimeNotKept) for one placed, otherwise why not, its file removed.
DWORD CheckAndPlace(const EngineCopy* copy, const wchar_t* temporary, HANDLE heldSource,
                    const CopyEngineSettings& settings) {
    DWORD result = LooksLike(SeenThrough(heldSource), copy->seenSource, kSameFileRule) ? kSyncPending
                                                                                      : kSyncSourceChangedDuringCopy;
    if (result == kSyncPending && settings.verify) {
        result = CompareFileContents(copy->source, temporary);
        if (result == ERROR_SUCCESS) result = kSyncPending;
    }
    // A stop between the copy and its rename drops the copy: the name keeps what it held.
    if (result == kSyncPending && Cancelled(settings)) result = kSyncCancelled;
    if (result == kSyncPending && copy->placeNow) result = CheckStaysInside(settings.guard, copy->target);
    if (result == ERROR_SUCCESS) result = kSyncPending;
    if (result == kSyncPending && copy->placeNow) {
        result = TakeRealName(temporary, copy->target);
        if (result == ERROR_SUCCESS || result == kSyncTimeNotKept) return result;
    }
    if (result != kSyncPending) SyncCalls().deleteFile(temporary);
    return result;
}

// As the system's copy opens a source, sharing it with whoever else has it open.
bool CanOpenSource(const wchar_t* source) {
    OwnedHandle file(CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    return file.IsValid();
}

// Copies one file onto a fresh temporary name; 0 or why not, with nothing
// left behind. Its source is held against writers from before the copy until
// its check, so that the copy is of one version of it.
DWORD CopyOne(EngineCopy* copy, const CopyEngineSettings& settings) {
    if (Cancelled(settings)) return kSyncCancelled;
    CopyTicker ticker = {settings.progress, 0};
    wchar_t temporary[MAX_PATH];
    OwnedHandle heldSource;
    DWORD result = HoldAsSeen(copy->source, copy->seenSource, 0, &heldSource);
    if (result == ERROR_SUCCESS) result = CheckStaysInside(settings.guard, copy->target);
    if (result == ERROR_SUCCESS)
        result = CopyOntoTemporary(copy->source, copy->seenSource, copy->target, temporary, copy->temporaryName,
                                   TickProgress, &ticker, settings.cancel, settings.journal);
    if (result == ERROR_REQUEST_ABORTED || (result != ERROR_SUCCESS && Cancelled(settings))) result = kSyncCancelled;
    if (result == ERROR_SUCCESS) result = CheckAndPlace(copy, temporary, heldSource.Get(), settings);
    // The system may not report progress within a file: what is left of it counts now.
    const uint64_t size = copy->seenSource.size;
    SyncProgressAddDone(settings.progress, 1, size > ticker.reported ? size - ticker.reported : 0);
    return result;
}

DWORD WINAPI CopyThread(void* parameter) {
    auto* run = static_cast<EngineRun*>(parameter);
    for (;;) {
        const LONG index = InterlockedIncrement(&run->next);
        if (index < 0 || static_cast<uint32_t>(index) >= run->count) return 0;
        EngineCopy* copy = &run->copies[index];
        copy->result = CopyOne(copy, *run->settings);
    }
}

}  // namespace

DWORD CopyOntoTemporary(const wchar_t* source, const SyncSeenFile& seenSource, const wchar_t* target,
                        wchar_t* temporary, wchar_t* name, LPPROGRESS_ROUTINE progress, void* data, BOOL* cancel,
                        RunJournal* journal) {
    DWORD result = ERROR_FILE_EXISTS;
    for (unsigned attempt = 0; attempt < kTemporaryNameAttempts && result == ERROR_FILE_EXISTS; ++attempt) {
        if (!NextTemporaryPath(target, temporary, name)) return ERROR_FILENAME_EXCED_RANGE;
        const DWORD recorded = RecordTemporary(journal, temporary, seenSource);
        if (recorded != ERROR_SUCCESS) return recorded;
        // Never onto an existing file: a name taken meanwhile is passed over.
        if (SyncCalls().copyFile(source, temporary, progress, data, cancel, COPY_FILE_FAIL_IF_EXISTS))
            return ERROR_SUCCESS;
        result = LastErrorOr(ERROR_OPEN_FAILED);
        if (result == ERROR_ALREADY_EXISTS) result = ERROR_FILE_EXISTS;
        // A file of that name that was there before is not ours to remove.
        if (result == ERROR_FILE_EXISTS) continue;
        // The system's copy opens its source before it makes the copy: a
        // source that cannot be opened made nothing, and a file of that
        // name that stood there (left out by the exclusions, say) stays.
        if (CanOpenSource(source)) SyncCalls().deleteFile(temporary);
    }
    return result;
}

DWORD CompareFileContents(const wchar_t* first, const wchar_t* second) {
    OwnedHandle files[2];
    DWORD result = OpenForReading(first, &files[0]);
    if (result == ERROR_SUCCESS) result = OpenForReading(second, &files[1]);
    if (result != ERROR_SUCCESS) return result;
    MemBlock<BYTE> block(2 * size_t(kCompareChunk));
    BYTE* buffers = block.Get();
    if (!buffers) return ERROR_NOT_ENOUGH_MEMORY;
    for (;;) {
        DWORD read[2] = {0, 0};
        result = ReadChunk(files[0].Get(), buffers, kCompareChunk, &read[0]);
        if (result == ERROR_SUCCESS) result = ReadChunk(files[1].Get(), buffers + kCompareChunk, kCompareChunk, &read[1]);
        if (result != ERROR_SUCCESS) break;
        if (read[0] != read[1] || std::memcmp(buffers, buffers + kCompareChunk, read[0]) != 0) {
            result = kSyncCopyDiffers;
            break;
        }
        if (read[0] < kCompareChunk) break;
    }
    return result;
}

void RunEngineCopies(EngineCopy* copies, uint32_t count, const CopyEngineSettings& settings) {
    EngineRun run = {copies, count, &settings, -1};
    unsigned helpers = settings.inFlight > kMaxInFlight ? kMaxInFlight - 1 : settings.inFlight - 1;
    if (settings.inFlight == 0) helpers = 0;
    if (helpers >= count) helpers = count ? count - 1 : 0;
    OwnedHandle threads[kMaxInFlight];
    // A thread that cannot be started leaves its share to the others.
    for (unsigned index = 0; index < helpers; ++index) threads[index] = StartCoreThread(CopyThread, &run);
    CopyThread(&run);
    for (unsigned index = 0; index < helpers; ++index) JoinThread(&threads[index]);
}
