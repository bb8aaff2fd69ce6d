#include "cli/two_way_command.h"

#include "analysis/analyze_log.h"
#include "analysis/skip_log.h"
#include "cli/console.h"
#include "cli/locations.h"
#include "cli/output.h"
#include "cli/sync_command.h"
#include "cli/two_way_baseline.h"
#include "cli/two_way_rows.h"
#include "model/scan.h"
#include "model/system_error.h"

#include <windows.h>

#include <unordered_map>

namespace cli {

namespace {

// Set by Ctrl+C: the scans and the digests test the first, the copies the second.
volatile LONG g_cancelScan = 0;
BOOL g_cancelSync = FALSE;

BOOL WINAPI OnTwoWayControl(DWORD) {
    InterlockedExchange(&g_cancelScan, 1);
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&g_cancelSync), TRUE);
    return TRUE;
}

// The operations of one row, and how they went.
struct RowOutcome {
    uint8_t planned;
    uint8_t done;
};

// A run's items, each with its row, for the outcomes the worker tells.
struct PhaseItems {
    SyncItemList* list = nullptr;
    std::unordered_map<std::wstring, uint32_t> rowOf;  // by the item's path
    ~PhaseItems() { FreeSyncItemList(list); }
};

struct TwoWayRun {
    const Options* options;
    uint32_t foldersKept = 0;  // folders to remove that held what the run did not see
    std::wstring roots[2];  // full paths, each ending in a backslash
    TwoWayRows rows;
    std::vector<RowOutcome> outcomes;
    PhaseItems* phase = nullptr;  // the one running
};

void TellOutcome(void* context, SyncAction, const wchar_t* itemPath, DWORD result) {
    auto* run = static_cast<TwoWayRun*>(context);
    try {
        const auto found = run->phase->rowOf.find(itemPath);
        if (found != run->phase->rowOf.end() && result == ERROR_SUCCESS) ++run->outcomes[found->second].done;
        // A folder that keeps what the scan left out (or what was made since) leaves the sides apart.
        if (result == ERROR_DIR_NOT_EMPTY) ++run->foldersKept;
    } catch (...) {
        // Not counted as done: the row keeps its earlier record.
    }
}

SyncSeenFile SeenOfSide(const TwoWaySide& side) {
    if (side.kind != TwoWayFile) return SyncSeenFile{};
    return SyncSeenFile{true, side.size, side.time};
}

// The state that makes the item go to side `target` in a commit (to RIGHT) or
// an update (to LEFT), from what its source is and what its target holds.
DiffState StateTowards(int target, TwoWayKind source, TwoWayKind there) {
    if (source == TwoWayNone) return target == 1 ? DiffMissing : DiffNew;  // a deletion
    if (there != TwoWayNone) return DiffModified;  // a copy over a file
    return target == 1 ? DiffNew : DiffMissing;  // a copy or a folder made
}

// Adds the operation that takes `source` to side `target` in place of `there`.
DWORD AddOperation(TwoWayRun* run, PhaseItems* phase, uint32_t row, int target, TwoWayKind source, TwoWayKind there) {
    const TwoWayEntry& entry = run->rows.entries[row];
    SyncItem item = {};
    const std::wstring path = run->roots[0] + run->rows.paths[row];
    item.path = const_cast<wchar_t*>(path.c_str());
    item.state = StateTowards(target, source, there);
    item.isFolder = source == TwoWayNone ? there == TwoWayFolder : source == TwoWayFolder;
    item.checked = true;
    item.seenKnown = true;
    item.seenHere = target == 0 && there == TwoWayNone ? SyncSeenFile{} : SeenOfSide(entry.now[0]);
    item.seenThere = target == 1 && there == TwoWayNone ? SyncSeenFile{} : SeenOfSide(entry.now[1]);
    // Commit is the run's direction; what goes to LEFT goes the other way.
    item.reversed = target == 0;
    const DWORD added = AppendSyncItem(&phase->list, item);
    if (added != ERROR_SUCCESS) return added;
    phase->rowOf[path] = row;
    ++run->outcomes[row].planned;
    return ERROR_SUCCESS;
}

// The items of the first run, and those of the second: what waits for a kind change's earlier kind to go.
DWORD ListOperations(TwoWayRun* run, PhaseItems* first, PhaseItems* second) {
    for (uint32_t row = 0; row < run->rows.entries.size(); ++row) {
        const TwoWayEntry& entry = run->rows.entries[row];
        const int target = TwoWayTarget(entry);
        if (target < 0) continue;
        const TwoWayKind source = entry.now[1 - target].kind;
        const TwoWayKind there = entry.now[target].kind;
        DWORD added = ERROR_SUCCESS;
        if (entry.kindChange) {
            added = AddOperation(run, first, row, target, TwoWayNone, there);
            if (added == ERROR_SUCCESS) added = AddOperation(run, second, row, target, source, TwoWayNone);
        } else {
            added = AddOperation(run, entry.waitsFor == kNoTwoWayParent ? first : second, row, target, source, there);
        }
        if (added != ERROR_SUCCESS) return added;
    }
    return ERROR_SUCCESS;
}

// The second run takes only what waits for a kind change that the first run completed.
void DropWaitingOnFailures(TwoWayRun* run, PhaseItems* second, SyncOutcome* outcome) {
    if (!second->list) return;
    for (uint32_t index = 0; index < second->list->count; ++index) {
        SyncItem& item = second->list->items[index];
        const uint32_t row = second->rowOf[item.path];
        const uint32_t waited = run->rows.entries[row].waitsFor;
        // The kind change's first operation took the earlier kind away; its second is yet to come.
        if (run->outcomes[waited].done > 0) continue;
        item.checked = false;
        ++outcome->summary.notDone;
        outcome->notices += OperationText(DecideSyncAction(ItemDirection(SyncCommit, item), item.isFolder, item.state),
                                          item.path, (run->roots[1] + run->rows.paths[row]).c_str()) +
                            L": not done, since what stood in its place could not be removed\n";
    }
}

// A dry run cannot check what a kind change puts in place, where the earlier kind still stands: it is told.
void TellWaitingOperations(TwoWayRun* run, PhaseItems* second, SyncOutcome* outcome) {
    if (!second->list) return;
    for (uint32_t index = 0; index < second->list->count; ++index) {
        const SyncItem& item = second->list->items[index];
        const SyncAction action = DecideSyncAction(ItemDirection(SyncCommit, item), item.isFolder, item.state);
        const uint32_t row = second->rowOf[item.path];
        outcome->operations +=
            ToUtf8(OperationText(action, item.path, (run->roots[1] + run->rows.paths[row]).c_str())) +
            (run->options->nullTerminated ? '\0' : '\n');
        ++(item.isFolder ? outcome->summary.created : outcome->summary.copied);
    }
}

struct Counts {
    uint32_t deletions[2] = {};  // files and folders
    uint32_t replacements[2] = {};
    uint32_t present[2] = {};  // entries there now that could be acted on
    uint32_t recorded[2] = {};  // entries the baseline has of each side
    uint32_t conflicts = 0;
    uint32_t unknown = 0;
};

Counts CountRows(const TwoWayRows& rows) {
    Counts counts;
    for (const TwoWayEntry& entry : rows.entries) {
        for (int side = 0; side < 2; ++side) {
            if (entry.now[side].kind == TwoWayFile || entry.now[side].kind == TwoWayFolder) ++counts.present[side];
            if (entry.base[side].kind != TwoWayNone) ++counts.recorded[side];
        }
        if (entry.move == TwoWayConflict) ++counts.conflicts;
        if (entry.move == TwoWayUnknownSide) ++counts.unknown;
        const int target = TwoWayTarget(entry);
        if (target < 0) continue;
        const TwoWayKind source = entry.now[1 - target].kind;
        const TwoWayKind there = entry.now[target].kind;
        if (there != TwoWayNone && (source == TwoWayNone || entry.kindChange)) ++counts.deletions[target];
        if (there == TwoWayFile && source == TwoWayFile) ++counts.replacements[target];
    }
    return counts;
}

// Why the run is refused for what it would delete or replace; empty when it may run.
std::wstring RefuseTwoWayDeletions(const Counts& counts, const Options& options) {
    for (int side = 0; side < 2; ++side) {
        if (options.maxReplace >= 0 && counts.replacements[side] > options.maxReplace)
            return L"refused: the run would replace " + std::to_wstring(counts.replacements[side]) + L" files in " +
                   kSideNames[side] + L", more than --max-replace " + std::to_wstring(options.maxReplace) +
                   L"; nothing was changed";
    }
    const uint32_t deletions = counts.deletions[0] + counts.deletions[1];
    if (options.maxDelete >= 0 && deletions > options.maxDelete)
        return L"refused: the run would delete " + std::to_wstring(deletions) +
               L" files and folders, more than --max-delete " + std::to_wstring(options.maxDelete) +
               L"; nothing was changed";
    for (int side = 0; side < 2 && !options.allowDeleteAll; ++side) {
        // A side found empty (a drive not there, the wrong folder) empties the other, whatever conflicts stay.
        const int other = 1 - side;
        if (counts.present[other] == 0 && counts.recorded[other] > 0 && counts.deletions[side] > 0)
            return L"refused: " + std::wstring(kSideNames[other]) + L" is empty, and the run would delete " +
                   std::to_wstring(counts.deletions[side]) + L" files and folders of " + kSideNames[side] + L"; is " +
                   kSideNames[other] + L" the wrong folder? --allow-delete-all lets such a run go on; nothing was "
                                       L"changed";
        if (counts.deletions[side] > 0 && counts.deletions[side] >= counts.present[side])
            return L"refused: the run would delete every file and folder of " + std::wstring(kSideNames[side]) +
                   L", " + std::to_wstring(counts.deletions[side]) + L" in all; is " + kSideNames[1 - side] +
                   L" empty or the wrong folder? --allow-delete-all lets such a run go on; nothing was changed";
    }
    return std::wstring();
}

std::wstring ConflictRecords(const TwoWayRun& run) {
    std::wstring records;
    const wchar_t terminator = run.options->nullTerminated ? L'\0' : L'\n';
    for (uint32_t row = 0; row < run.rows.entries.size(); ++row) {
        const TwoWayEntry& entry = run.rows.entries[row];
        if (entry.move != TwoWayConflict) continue;
        const bool folder = entry.now[0].kind == TwoWayFolder ||
                            (entry.now[0].kind == TwoWayNone && entry.now[1].kind == TwoWayFolder);
        const char* reason = TwoWayReasonWord(entry.reason);
        records += std::wstring(L"CONFLICT\t") + (folder ? L"folder\t" : L"file\t") + run.rows.paths[row] + L"\t" +
                   std::wstring(reason, reason + strlen(reason)) + terminator;
    }
    return records;
}

SyncSettings SettingsOf(const Options& options, const RunLogs& logs, const std::wstring& backupFolder) {
    DWORD consoleMode = 0;
    return SyncSettings{SyncCommit,
                        options.dryRun,
                        options.nullTerminated ? '\0' : '\n',
                        logs.synchronize,
                        options.deleteWithoutRecycleBin,
                        true,  // the run's own guards have been applied to both sides
                        -1,
                        -1,
                        options.verify,
                        backupFolder,
                        &g_cancelSync,
                        GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &consoleMode) != FALSE};
}

// What the baseline is to record of each row after the run.
std::vector<RowRecord> RecordsAfter(const TwoWayRun& run) {
    std::vector<RowRecord> records(run.rows.entries.size());
    for (size_t row = 0; row < records.size(); ++row) {
        const RowOutcome& outcome = run.outcomes[row];
        records[row] = outcome.done == outcome.planned                               ? RecordAsNow
                       : run.rows.entries[row].kindChange && outcome.done == 1 ? RecordEarlierKindGone
                                                                                     : KeepRecord;
    }
    return records;
}

// Carries out the plan: what can go at once, then what waits for a kind change.
SyncOutcome CarryOutPlan(TwoWayRun* run, const SyncSettings& settings, const SyncPair& pair) {
    SyncOutcome outcome = {};
    PhaseItems first, second;
    if (ListOperations(run, &first, &second) != ERROR_SUCCESS) {
        outcome.notices = std::wstring(kNoMemoryText) + L"\n";
        outcome.endedEarly = true;
        return outcome;
    }
    run->phase = &first;
    SynchronizeItems(first.list, pair, settings, &outcome);
    if (outcome.endedEarly || outcome.summary.cancelled) return outcome;
    if (settings.dryRun) {
        TellWaitingOperations(run, &second, &outcome);
        return outcome;
    }
    DropWaitingOnFailures(run, &second, &outcome);
    run->phase = &second;
    SyncPair later = pair;
    later.addToLog = true;
    SynchronizeItems(second.list, later, settings, &outcome);
    return outcome;
}

}  // namespace

int RunTwoWay(const Options& options, const RunExclusions& exclusions) {
    TwoWayRun run;
    run.options = &options;
    const std::wstring folders[2] = {options.folders[0], options.folders[1]};
    LocationKind kinds[2];
    bool argumentProblem = false;
    std::wstring problem = CheckLocations(folders, run.roots, kinds, &argumentProblem);
    for (int side = 0; problem.empty() && side < 2; ++side) {
        if (kinds[side] == LocationKind::Catalog)
            problem = std::wstring(L"sync changes folders, and ") + kSideNames[side] + L" is a catalog: " +
                      folders[side] + L" (analyze compares with a catalog)";
    }
    if (!problem.empty()) return argumentProblem ? ArgumentTrouble(problem) : Trouble(problem);
    std::wstring backupFolder;
    if (!options.backupDir.empty()) {
        problem = CheckVersioningFolder(options.backupDir, run.roots, &backupFolder);
        if (!problem.empty()) return Trouble(problem);
    }
    RunLogs logs;
    problem = ChooseLogPaths(options.logFolder, &logs);
    if (!problem.empty()) return Trouble(problem);

    BaselineFile baseline(options, exclusions, run.roots);
    SourceEntries sources[3];
    problem = baseline.Load(&sources[0]);
    if (!problem.empty()) return Trouble(problem);

    SetConsoleCtrlHandler(OnTwoWayControl, TRUE);
    if (!SkipLogOpen(logs.analyze.c_str(), kAnalyzeLogHeader))
        return Trouble(L"Can not create error log file! <" + logs.analyze + L">");
    problem = ScanSides(run.roots, exclusions.List(), options.compareContent, &g_cancelScan, &sources[1]);
    const DWORD unread = SkipLogClose();
    if (unread > 0)
        WriteError(L"Some files/folders could not be accessed and are listed as UNKNOWN and left alone. "
                   L"A list of these files was saved to <" + logs.analyze + L">!\n");
    if (!problem.empty()) return Trouble(problem);

    MergeSources(sources, baseline.FirstRun(), &run.rows);
    for (SourceEntries& source : sources) SourceEntries().swap(source);
    PlanTwoWay(run.rows.entries.data(), static_cast<uint32_t>(run.rows.entries.size()), baseline.Rule());
    const Counts counts = CountRows(run.rows);
    problem = RefuseTwoWayDeletions(counts, options);
    if (!problem.empty()) return Trouble(problem);

    run.outcomes.assign(run.rows.entries.size(), RowOutcome{});
    const SyncSettings settings = SettingsOf(options, logs, backupFolder);
    const SyncPair pair = {run.roots[0].c_str(), run.roots[1].c_str(), baseline.Rule().time, exclusions.List(),
                           TellOutcome, &run, false};
    SyncOutcome outcome = CarryOutPlan(&run, settings, pair);
    outcome.summary.notDone += run.foldersKept;
    WriteOutput(outcome.operations);
    WriteOutput(ToUtf8(ConflictRecords(run)));
    WriteError(outcome.notices);
    // Even a run stopped or ended early records what it did, so that the next one does not take it for a change.
    if (!options.dryRun) {
        problem = baseline.Save(run.rows, RecordsAfter(run));
        if (!problem.empty()) return Trouble(problem);
    }
    if (outcome.endedEarly) return kExitTrouble;

    std::wstring summary = L"quillmar-cli: " + SyncSummaryText(outcome.summary, options.dryRun) + L"; conflicts " +
                           std::to_wstring(counts.conflicts);
    if (counts.unknown > 0) summary += L"; unknown " + std::to_wstring(counts.unknown);
    for (const std::wstring& folder : outcome.versionFolders) summary += L"; earlier versions in <" + folder + L">";
    if (GetFileAttributesW(logs.synchronize.c_str()) != INVALID_FILE_ATTRIBUTES)
        summary += L"; log <" + logs.synchronize + L">";
    WriteError(summary + L"\n");
    if (outcome.summary.cancelled) return Trouble(L"the synchronization was canceled");
    const bool agree = outcome.summary.notDone == 0 && counts.conflicts == 0 && counts.unknown == 0 && unread == 0;
    return agree ? kExitSame : kExitDiffers;
}

}  // namespace cli
