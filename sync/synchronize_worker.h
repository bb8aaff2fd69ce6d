#pragma once
// Carries out a plan: a commit or an update of the checked items of the
// Synchronize dialog's list, or a plan that the companion made. Renames and
// times' settings go first, then folders are made, then the files are copied and deleted (by the shell's batches or
// the copy engine), then folders are removed; over-long paths are logged to
// "SynchronizeLog.txt" (beside the executable unless the request names
// another place) and left out. What waits for another operation runs after
// all of that, the same way, when that operation was done.
#include "model/file_times.h"
#include "model/system_error.h"
#include "sync/sync_decision.h"
#include "sync/planned_files.h"
#include "sync/sync_items.h"
#include "sync/sync_progress.h"

#include <windows.h>

const UINT WM_SYNCHRONIZE_DONE = WM_USER + 5;  // both parameters 0

const wchar_t kSyncLogName[] = L"SynchronizeLog.txt";
const wchar_t kSyncLogHeader[] = L"The following files were sikpped during the synchronization process:";

const wchar_t* const kSyncNoMemory = kNoMemoryText;
const wchar_t kSyncCannotCreateLog[] = L"Can not create error log file!";
const wchar_t kSyncCannotSaveLog[] = L"Error log can not be saved!";
const wchar_t kSyncPathsSkipped[] =
    L"Some file paths are too long and will not be included in the synchronization process. "
    L"A list of these files was saved to <SynchronizeLog.txt>!";
// Followed by the system's message.
const wchar_t kSyncCannotMakeJournal[] =
    L"The journal of the run's temporary files cannot be made, so nothing was changed:";
const wchar_t kSyncCompleted[] = L"File operations completed.";
const wchar_t kSyncNotAllDone[] =
    L"Some file operations could not be completed. A list of these files was saved to <SynchronizeLog.txt>!";
const wchar_t kSyncNotAllDoneUnlisted[] = L"Some file operations could not be completed.";
// Followed by the bytes needed and the bytes free.
const wchar_t kSyncNoRoomFormat[] =
    L"There is not enough free space on the target volume! The files to copy need %llu bytes, "
    L"but only %llu bytes are free. No file was copied.";

// Told of every operation of the plan with the item path and the other path,
// once its outcome is known: 0 when it was done, otherwise why not (a system
// code or one of the worker's own, see DescribeSyncResult). Operations refused
// for their length are told first, in the plan's order; files after the copier
// has run, in the plan's order; folders as they are created and removed.
// It runs on the worker's thread and must not throw.
typedef void (*SyncObserver)(void* context, const SyncOperation& operation, const wchar_t* itemPath,
                             const wchar_t* otherPath, DWORD result);

// What the user is to be told, and how: the program's user interface shows
// it as a message box with the caption of the kind, a console prints it.
enum SyncNoticeKind : uint32_t { SyncNoticeError, SyncNoticeWarning, SyncNoticeInformation };
typedef void (*SyncNoticeSink)(void* context, SyncNoticeKind kind, const wchar_t* text);
// "Error", "Warning" or "Information".
const wchar_t* SyncNoticeCaption(SyncNoticeKind kind);

// How a run went, item by item.
struct SyncSummary {
    uint32_t copied;
    uint32_t deleted;
    uint32_t created;
    uint32_t removed;
    uint32_t notDone;  // checked file operations that were left out, skipped or failed
    uint32_t replaced;  // of the files copied, those that replaced a file, which went to the Recycle Bin
    uint32_t keptForExcluded;  // folders to remove that hold only what the exclusions leave out: kept, no failure
    uint32_t renamed;  // entries that took the other side's spelling of their name
    uint32_t timesSet;  // files that took the other side's last-write time
    bool cancelled;  // the run was stopped before all was done
    bool noRoom;  // the copies did not fit on their target volume, and none was made
    // Earlier runs' temporary files moved aside before the analysis (sync/run_journal.h); the caller's figure.
    uint32_t leftoversRemoved;
    // The run's folder in the versioning folder, where what it removed went; empty when nothing went there.
    wchar_t versions[MAX_PATH];
};

// The worker's whole input. The Synchronize dialog fills it at Start from its
// item records and their check boxes, and keeps it, with the item list,
// until WM_SYNCHRONIZE_DONE arrives.
struct SyncRequest {
    // The plan to carry out, built by the caller; the worker writes each
    // operation's outcome into it. Null to plan the checked items of `items`
    // in `direction` between the two roots, as the Synchronize dialog asks.
    SyncPlan* plan;
    SyncDirection direction;
    const SyncItemList* items;  // null for none
    const wchar_t* currentRoot;  // ends in a backslash; every item path begins with it
    const wchar_t* otherRoot;  // ends in a backslash
    HWND window;  // receives WM_SYNCHRONIZE_DONE; may be null
    SyncObserver observer;  // optional
    void* observerContext;
    SyncNoticeSink notice;  // optional
    void* noticeContext;
    SyncSummary* summary;  // optional; filled in by the run
    // Nobody is there to answer (a console, a script): the shell shows no
    // error boxes of its own, and a question it asks anyway is closed
    // unanswered, so a file that cannot go to the Recycle Bin stays. What it
    // could not do is reported all the same.
    bool unattended;
    // A file that cannot go to the Recycle Bin is deleted for good, without a question.
    bool deleteWithoutRecycleBin;
    // When two times are the same, as the analysis judged them (zeroed: the default).
    TimeRule timeRule;
    // The log's full path, at most MAX_PATH - 1 characters; null for the
    // window program's place beside the executable (SyncLogPath).
    const wchar_t* logPath;
    // Plans every operation as a run does and checks the room for the copies,
    // then reports the ones that would be carried out as done (result 0) and
    // counts them in the summary, but creates, copies, deletes and removes
    // nothing. It reads no file again: it follows its own analysis.
    bool dryRun;
    // Who copies (zeroed: the shell's batch, with its own progress and error
    // windows); how many copies the engine keeps in flight, and whether it
    // reads each copy back. Either way each copy is made under a temporary
    // name and renamed into place only once checked.
    SyncCopier copier;
    unsigned copiesInFlight;
    bool verify;
    // Where deleted and replaced files go instead of the Recycle Bin: a full
    // path ending in a backslash; null for the Recycle Bin.
    const wchar_t* versioningFolder;
    // Set to TRUE by another thread to stop the run: copies in flight are
    // dropped, nothing more is begun, and what was not done is reported. Null
    // for a run that cannot be stopped.
    BOOL* cancel;
    SyncProgress* progress;  // optional; the copies' progress, for another thread to show
    // The entries the analysis left out, so that a reason can name one that
    // stands in a copy's way. Null for none.
    const ExclusionList* exclusions;
    // Copies that do not fit stop the whole run before anything is done (a
    // backup that cannot be whole is not begun); otherwise only the copies are
    // refused, and the run's other operations go on.
    bool stopWhenNoRoom;
    // The run's journal of its temporary files (sync/run_journal.h), opened and
    // closed by the caller; null for one of the worker's own in the user's
    // local application data. A run whose journal cannot be made changes nothing.
    struct RunJournal* journal;
};

// Runs one synchronization to its end and sends WM_SYNCHRONIZE_DONE as its
// last use of the request. Returns 0 after a complete run (the summary tells
// whether every operation was done), 1 after an early end; every early end
// leaves both locations untouched.
DWORD RunSynchronization(const SyncRequest* request);

// Thread routine; the parameter is a SyncRequest that outlives the run.
// Exit code as RunSynchronization's.
DWORD WINAPI SynchronizeWorker(void* request);

// The log's path: the executable's folder and kSyncLogName, in `path` of
// MAX_PATH units. False when it cannot be formed within MAX_PATH.
bool SyncLogPath(wchar_t* path);
