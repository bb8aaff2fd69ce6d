#pragma once
// What carrying out a plan's file operations needs: the run's settings by
// name, the plan itself, and the shell's path lists, which the window
// program's copier fills from the plan just before each batch.
#include "model/exclusions.h"
#include "model/file_times.h"
#include "model/scan_checks.h"
#include "sync/path_list.h"
#include "sync/sync_plan.h"
#include "sync/sync_progress.h"
#include "sync/versioning.h"

#include <windows.h>
#include <shellapi.h>

// Who copies: the shell's batch with its own progress and error windows
// (the window program), or the copy engine (the console companion).
enum SyncCopier : uint32_t { SyncCopyThroughShell = 0, SyncCopyWithEngine = 1 };

// The shell's lists: each batch's paths, rebuilt from the plan's pending operations.
struct FileBatches {
    SyncPathList copySources;
    SyncPathList copyTargets;
    SyncPathList deletions;
    SyncPathList replaced;  // the targets of the copies that replace files
    SyncPathList temporaries;  // the temporary names the shell copies onto
};

// Allocates the copies' and the deletions' lists of `capacity` characters;
// false (nothing held) when memory runs out.
bool FileBatchesInit(FileBatches* batches, size_t capacity);
void FileBatchesFree(FileBatches* batches);

struct BatchContext {
    SyncPlan* plan;  // the operations, carried out in its order; each outcome is written into it
    FileBatches* batches;
    FILEOP_FLAGS extraShellFlags;  // added to every batch's flags
    // Nobody can answer the shell: its questions are closed unanswered, so a
    // file that cannot go to the Recycle Bin stays where it is.
    bool unattended;
    // A file that cannot go to the Recycle Bin is deleted for good, without a question.
    bool deleteWithoutRecycleBin;
    TimeRule timeRule;  // when a copy's time is its source's, on another volume
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
    // Checks right before each write that it stays inside its location; null for none.
    const struct LocationGuard* guard;
    struct RunJournal* journal;  // records each temporary file before it is made
};

bool StopRequested(const BatchContext* context);
