#pragma once
// The commit and update commands: after an analysis, synchronizes every listed
// item of the whole first location (the current one) through the worker of
// the window program, all checked.
#include "analysis/background_ops.h"
#include "sync/synchronize_worker.h"

#include <string>
#include <vector>

namespace cli {

struct SyncSettings {
    SyncDirection direction;
    bool dryRun;
    char terminator;  // ends each operation record
    std::wstring logPath;  // where the synchronization's log goes
    bool deleteWithoutRecycleBin;  // a file that cannot go to the Recycle Bin is deleted for good
    bool allowDeleteAll;  // a run may delete every entry of the folder made to match
    long long maxDelete;  // the most files and folders a run may delete; -1 for no limit
    long long maxReplace;  // the most files a run may replace; -1 for no limit
    bool verify;  // each copy read back and compared with its source before it takes its place
    std::wstring versioningFolder;  // where removed files go instead of the Recycle Bin; empty for the bin
    BOOL* cancel;  // set by the console's Ctrl+C
    bool showProgress;  // a progress line on standard error, rewritten once a second
    bool json;  // each operation, done or not, as a JSON record (cli/plan_json.h)
    struct RunJournal* journal;  // the run's journal of its temporary files (cli/leftovers.h)
    // What the target's scan left out (recorded in its slot) is deleted too.
    bool deleteExcluded;
};

struct SyncOutcome {
    std::string operations;  // one record per operation done (or, in a dry run, to do), UTF-8
    std::wstring notices;  // lines for standard error: operations not done, the worker's notices
    SyncSummary summary;
    bool endedEarly;  // nothing was changed: no memory, or the log could not be created
    std::wstring refused;  // why the run was refused before it changed anything; empty when it ran
    std::vector<std::wstring> versionFolders;  // each run's folder in the versioning folder that received files
};

// The two locations of a run of prepared items, and what the run needs of the analysis.
struct SyncPair {
    const wchar_t* currentRoot;  // LEFT: every item's path begins with it
    const wchar_t* otherRoot;
    TimeRule timeRule;
    const ExclusionList* exclusions;
    // Optional: told each operation's outcome, on the worker's thread.
    void (*told)(void* context, const SyncOperation& operation, DWORD result);
    void* toldContext;
};

// Carries out the plan (nothing to do when it is empty), each operation's
// outcome written into it, adding what was done and told to `outcome`.
void SynchronizePlan(SyncPlan* plan, const SyncPair& pair, const SyncSettings& settings, SyncOutcome* outcome);
// An operation's record: "copy<TAB>SOURCE<TAB>TARGET", "delete<TAB>PATH",
// "mkdir<TAB>PATH", "rmdir<TAB>PATH", "rename<TAB>PATH<TAB>NEW-PATH" or
// "set-time<TAB>SOURCE<TAB>TARGET"; empty for no operation.
std::wstring OperationText(const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath);
// A rename's new path; empty for any other operation.
std::wstring RenamedPathText(const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath);
void AddSyncSummary(const SyncSummary& part, SyncSummary* whole);

// Runs the synchronization over the analysed pair in `data`.
SyncOutcome SynchronizeAnalysedPair(const BackgroundOpsData* data, const SyncSettings& settings);

// "files copied C, deleted D; folders created M, removed R; not done N", or
// what a dry run would do.
std::wstring SyncSummaryText(const SyncSummary& summary, bool dryRun);

// With --backup-keep-days (`keepDays` above 0), after a run that did every
// operation (none not done, not cancelled, not a dry run): removes the
// earlier runs' folders of `versioningFolder` older than that, tells on
// standard error the first one left and why, and returns the summary's part,
// "; earlier runs removed N" (", left M" when some were left). A folder left
// does not change the exit status. Otherwise nothing, and an empty text.
std::wstring RemoveEarlierRunsAfter(const std::wstring& versioningFolder, unsigned keepDays,
                                    const SyncSummary& summary, bool dryRun);


}  // namespace cli
