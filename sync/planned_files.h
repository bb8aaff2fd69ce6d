#pragma once
// The file operations that the first pass of a synchronization plans: the
// shell's path lists and, beside them, each operation with its item and
// what has become of it.
#include "model/exclusions.h"
#include "model/file_times.h"
#include "model/scan_checks.h"
#include "sync/path_list.h"
#include "sync/sync_decision.h"
#include "sync/sync_items.h"
#include "sync/sync_progress.h"
#include "sync/temporary_names.h"
#include "sync/versioning.h"

#include <windows.h>
#include <shellapi.h>

// One file operation that pass 1 accepted, with the item it came from.
struct PlannedFile {
    uint32_t item;
    SyncAction action;
    DWORD result;  // kSyncPending until decided, then 0 or why it was not done
    bool replaces;  // a copy onto a file the analysis saw: that file goes to the Recycle Bin first
    bool replacedGone;  // the file it replaces has gone to the Recycle Bin (or the versioning folder)
    bool copied;  // a complete copy waits under the temporary name, to be put in its place
    wchar_t temporaryName[kTemporaryNameUnits];  // beside the target; empty for none
};

struct FileBatches {
    SyncPathList copySources;
    SyncPathList copyTargets;
    SyncPathList deletions;
    SyncPathList replaced;  // the targets of the copies that replace files, made just before they go
    SyncPathList temporaries;  // the temporary names the shell copies onto, made just before it runs
    PlannedFile* planned;  // in the order of the lists
    uint32_t plannedCount;
};

// Allocates the three lists of `capacity` characters and room for `itemCount`
// planned operations; false (nothing held) when memory runs out.
bool FileBatchesInit(FileBatches* batches, size_t capacity, uint32_t itemCount);
void FileBatchesFree(FileBatches* batches);
// Adds the operation's paths to the lists and plans it. The caller keeps room
// in the lists (SyncPathListKeepRoom) after each one.
void FileBatchesAdd(FileBatches* batches, uint32_t item, SyncAction action, const wchar_t* itemPath,
                    const wchar_t* otherPath);
bool FileBatchesKeepRoom(FileBatches* batches, size_t step);
void FileBatchesClose(FileBatches* batches);

bool IsCopy(SyncAction action);

// The source and the target of a copy, or the path of a deletion (target null).
void PlannedPaths(const PlannedFile& planned, const wchar_t* itemPath, const wchar_t* otherPath,
                  const wchar_t** source, const wchar_t** target);

// Who copies: the shell's batch with its own progress and error windows
// (the window program), or the copy engine (the console companion).
enum SyncCopier : uint32_t { SyncCopyThroughShell = 0, SyncCopyWithEngine = 1 };

// What the operations of a run need from it: the items and the paths of each.
struct BatchContext {
    const SyncItemList* items;
    const wchar_t* currentRoot;
    const wchar_t* otherRoot;
    wchar_t* otherPath;  // a buffer of kPathUnits
    FILEOP_FLAGS extraShellFlags;  // added to every batch's flags
    // Nobody can answer the shell: its questions are closed unanswered, so a
    // file that cannot go to the Recycle Bin stays where it is.
    bool unattended;
    // A file that cannot go to the Recycle Bin is deleted for good, without a question.
    bool deleteWithoutRecycleBin;
    TimeRule timeRule;  // when a file's time is still the one the analysis saw, or a copy's its source's
    SyncCopier copier;
    unsigned copiesInFlight;  // the engine's copies at once
    bool verify;  // the engine reads each copy back and compares it with its source
    Versioning* versioning;  // where deleted and replaced files go; null for the Recycle Bin
    BOOL* cancel;  // set to TRUE to stop; null for a run that cannot be stopped
    SyncProgress* progress;  // the copies' progress; may be null
    const ExclusionList* exclusions;  // entries the analysis left out, to name one in a copy's way
    // The link checks' resolved folders, kept between files: one for the
    // sources of copies, one for their targets and for deletions.
    LinkCheckCache* sourceLinks;
    LinkCheckCache* targetLinks;
};

bool StopRequested(const BatchContext* context);

// Paths of a planned operation, the other path built in the context's
// buffer; false when its other path cannot be formed.
bool PathsOf(const BatchContext* context, const PlannedFile& planned, const wchar_t** source,
             const wchar_t** target);
// What was seen at the source and at the target of a copy, or at the path of a deletion.
void SeenOfPlanned(const SyncItem& item, SyncAction action, SyncSeenFile* source, SyncSeenFile* target);
