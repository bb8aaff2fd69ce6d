#include "cli/two_way_command.h"

#include "analysis/analyze_log.h"
#include "analysis/skip_log.h"
#include "cli/console.h"
#include "cli/leftovers.h"
#include "cli/locations.h"
#include "cli/output.h"
#include "cli/plan_json.h"
#include "cli/sync_command.h"
#include "cli/two_way_baseline.h"
#include "model/scan.h"
#include "model/system_error.h"
#include "model/text.h"
#include "sync/sync_results.h"
#include "sync/two_way_plan.h"

#include <windows.h>


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

struct TwoWayRun {
    const Options* options;
    uint32_t foldersKept = 0;  // folders to remove that held what the run did not see
    std::wstring roots[2];  // full paths, each ending in a backslash
    TwoWayRows rows = {};
    TwoWayLeftOut leftOut = {};  // what both scans left out
    ~TwoWayRun() { TwoWayRowsFree(&rows); }
    // A row's path below the roots as side `side` spells it now; empty when it does not fit in a path.
    std::wstring PathOf(uint32_t row, int side = 0) const {
        std::vector<wchar_t> path(kPathUnits);
        const size_t length = TwoWayRowPath(&rows, row, side, TwoWaySpeltNow, path.data(), kPathUnits);
        return std::wstring(path.data(), length);
    }
    std::vector<RowOutcome> outcomes;
};

void TellOutcome(void* context, const SyncOperation& operation, DWORD result) {
    auto* run = static_cast<TwoWayRun*>(context);
    // A folder kept for what the exclusions leave out in it is as the user's exclusions ask.
    if (result == ERROR_SUCCESS || result == kSyncKeptForExcluded) ++run->outcomes[operation.origin].done;
    // A folder that keeps what the scan left out (or what was made since) leaves the sides apart.
    if (result == ERROR_DIR_NOT_EMPTY) ++run->foldersKept;
}

// The plan of every row's move, in the rows' order.
DWORD PlanRows(TwoWayRun* run, SyncPlan* plan) {
    DWORD result = SyncPlanInit(plan, run->roots[0].c_str(), run->roots[1].c_str(), 0, 0);
    try {
        std::wstring paths[2];
        for (uint32_t row = 0; result == ERROR_SUCCESS && row < run->rows.count; ++row) {
            const TwoWayEntry& entry = run->rows.entries[row];
            if (TwoWayTarget(entry) < 0 && entry.rename == TwoWayNothing && entry.time == TwoWayNothing) continue;
            // Each side's path as it spells it: a rename's is the one it has, a copy's new file takes its source's.
            for (int side = 0; side < 2; ++side) paths[side] = run->roots[side] + run->PathOf(row, side);
            const uint32_t before = plan->count;
            result = PlanTwoWayEntry(run->rows.entries, row, paths[0].c_str(), paths[1].c_str(), plan);
            run->outcomes[row].planned = static_cast<uint8_t>(plan->count - before);
        }
    } catch (...) {
        result = ERROR_NOT_ENOUGH_MEMORY;
    }
    return result;
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
    for (uint32_t row = 0; row < rows.count; ++row) {
        const TwoWayEntry& entry = rows.entries[row];
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
    // Both guards count both sides: a run is one run, whichever way its files go.
    const uint32_t replacements = counts.replacements[0] + counts.replacements[1];
    if (options.maxReplace >= 0 && replacements > options.maxReplace)
        return L"refused: the run would replace " + std::to_wstring(replacements) +
               L" files in LEFT and RIGHT, more than --max-replace " + std::to_wstring(options.maxReplace) +
               L"; nothing was changed";
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

// Scans LEFT and RIGHT into the rows, leaving out what the exclusions match;
// by content, every file is digested. Returns an empty text, or why the run ends.
std::wstring ScanSides(TwoWayRun* run, const ExclusionList* exclusions, bool content) {
    FileDigester digester = {};
    if (content) {
        const DWORD opened = OpenFileDigester(&digester);
        if (opened != ERROR_SUCCESS) return L"the digests cannot be made: " + SystemMessage(opened);
    }
    std::wstring problem;
    for (int side = 0; problem.empty() && side < 2; ++side) {
        const DWORD status = ScanTwoWaySide(&run->rows, side, run->roots[side].c_str(), exclusions,
                                            content ? &digester : nullptr, &g_cancelScan, &run->leftOut);
        if (status == ERROR_CANCELLED) {
            problem = L"Operation canceled by user; nothing was changed";
        } else if (status == ERROR_NOT_ENOUGH_MEMORY) {
            problem = kNoMemoryText;
        } else if (status == ERROR_INTERNAL_ERROR || status == ERROR_LOG_FILE_FULL) {
            problem = L"Error log can not be saved";
        } else if (status != ERROR_SUCCESS) {
            problem = std::wstring(kSideNames[side]) + L" folder cannot be read: " + SystemMessage(status);
        }
    }
    CloseFileDigester(&digester);
    return problem;
}

// A side's size and time as two fields of a conflict line: "-" for what it lacks.
std::string SideFields(const TwoWaySide& side) {
    if (side.kind != TwoWayFile && side.kind != TwoWayFolder) return "-\t-";
    char time[kIsoTimeBytes + 1];
    time[FormatIsoTime(FileTimeTicks(side.time), time)] = 0;
    return (side.kind == TwoWayFile ? std::to_string(side.size) : std::string("-")) + "\t" + time;
}

// Which side was written last: "left", "right", or "same" within the time window.
const char* NewerSide(const TwoWayEntry& entry, const TimeRule& rule) {
    const TwoWaySide& left = entry.now[0];
    const TwoWaySide& right = entry.now[1];
    const bool both = left.kind != TwoWayNone && right.kind != TwoWayNone;
    if (!both) return left.kind != TwoWayNone ? "left" : "right";
    if (SameFileTime(left.time, right.time, rule)) return "same";
    return CompareFileTime(&left.time, &right.time) > 0 ? "left" : "right";
}

// The conflicts, as lines or as JSON records, in UTF-8: after the kind, the
// path and the reason, each side's size and time and which side is newer.
std::string ConflictRecords(const TwoWayRun& run, const TimeRule& rule) {
    std::string records;
    const char terminator = run.options->nullTerminated ? '\0' : '\n';
    for (uint32_t row = 0; row < run.rows.count; ++row) {
        const TwoWayEntry& entry = run.rows.entries[row];
        if (entry.move != TwoWayConflict) continue;
        const bool folder = entry.now[0].kind == TwoWayFolder ||
                            (entry.now[0].kind == TwoWayNone && entry.now[1].kind == TwoWayFolder);
        const wchar_t* kind = folder ? L"folder" : L"file";
        const char* reason = TwoWayReasonWord(entry.reason);
        const char* newer = NewerSide(entry, rule);
        if (run.options->json) {
            records += ConflictJson(kind, run.PathOf(row), reason, entry.now, newer, terminator);
            continue;
        }
        records += ToUtf8(std::wstring(L"CONFLICT\t") + kind + L"\t" + run.PathOf(row) + L"\t") + reason + "\t" +
                   SideFields(entry.now[0]) + "\t" + SideFields(entry.now[1]) + "\t" + newer + terminator;
    }
    return records;
}

SyncSettings SettingsOf(const Options& options, const RunLogs& logs, const std::wstring& backupFolder) {
    DWORD consoleMode = 0;
    SyncSettings settings = {};
    settings.direction = SyncCommit;
    settings.dryRun = options.dryRun;
    settings.terminator = options.nullTerminated ? '\0' : '\n';
    settings.logPath = logs.synchronize;
    settings.deleteWithoutRecycleBin = options.deleteWithoutRecycleBin;
    settings.allowDeleteAll = true;  // the run's own guards have been applied to both sides
    settings.maxDelete = -1;
    settings.maxReplace = -1;
    settings.verify = options.verify;
    settings.versioningFolder = backupFolder;
    settings.cancel = &g_cancelSync;
    settings.showProgress = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &consoleMode) != FALSE;
    settings.json = options.json;
    return settings;
}

// What the baseline is to record of each row after the run.
std::vector<RowRecord> RecordsAfter(const TwoWayRun& run) {
    std::vector<RowRecord> records(run.rows.count);
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
    SyncPlan plan = {};
    if (PlanRows(run, &plan) != ERROR_SUCCESS) {
        outcome.notices = std::wstring(kNoMemoryText) + L"\n";
        outcome.endedEarly = true;
    } else {
        SynchronizePlan(&plan, pair, settings, &outcome);
    }
    SyncPlanFree(&plan);
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
    // Before the scans, first run included, so that no earlier run's leftover is taken for a file of the user's.
    JournalledRun journalled;
    problem = journalled.Begin(run.roots, backupFolder, options.dryRun);
    if (!problem.empty()) return Trouble(problem);

    BaselineFile baseline(options, exclusions, run.roots);
    if (TwoWayRowsInit(&run.rows, options.compareContent) != ERROR_SUCCESS) return Trouble(kNoMemoryText);
    problem = baseline.Load(&run.rows);
    if (!problem.empty()) return Trouble(problem);

    SetConsoleCtrlHandler(OnTwoWayControl, TRUE);
    if (!SkipLogOpen(logs.analyze.c_str(), kAnalyzeLogHeader))
        return Trouble(L"Can not create error log file! <" + logs.analyze + L">");
    problem = ScanSides(&run, exclusions.List(), options.compareContent);
    const DWORD unread = SkipLogClose();
    if (unread > 0)
        WriteError(L"Some files/folders could not be accessed and are listed as UNKNOWN and left alone. "
                   L"A list of these files was saved to <" + logs.analyze + L">!\n");
    if (!problem.empty()) return Trouble(problem);

    if (TwoWayRowsFinish(&run.rows, baseline.FirstRun()) != ERROR_SUCCESS) return Trouble(kNoMemoryText);
    // Two files of one size that the times would take for alike, or apart, are told by their bytes.
    const wchar_t* const roots[2] = {run.roots[0].c_str(), run.roots[1].c_str()};
    const DWORD compared = CompareTwoWayContents(&run.rows, roots, baseline.Rule(), &g_cancelScan);
    if (compared == ERROR_CANCELLED) return Trouble(L"Operation canceled by user; nothing was changed");
    if (compared != ERROR_SUCCESS) return Trouble(kNoMemoryText);
    PlanTwoWay(run.rows.entries, run.rows.digests, run.rows.count, baseline.Rule());
    const Counts counts = CountRows(run.rows);
    problem = RefuseTwoWayDeletions(counts, options);
    if (!problem.empty()) return Trouble(problem);

    run.outcomes.assign(run.rows.count, RowOutcome{});
    SyncSettings settings = SettingsOf(options, logs, backupFolder);
    settings.journal = journalled.Journal();
    const SyncPair pair = {run.roots[0].c_str(), run.roots[1].c_str(), baseline.Rule().time, exclusions.List(),
                           TellOutcome, &run};
    SyncOutcome outcome = CarryOutPlan(&run, settings, pair);
    journalled.End(!outcome.endedEarly && outcome.summary.notDone == 0 && !outcome.summary.cancelled);
    journalled.AddTo(&outcome.summary);
    outcome.summary.notDone += run.foldersKept;
    WriteOutput(outcome.operations);
    WriteOutput(ConflictRecords(run, baseline.Rule().time));
    WriteError(outcome.notices);
    // Even a run stopped or ended early records what it did, so that the next one does not take it for a change.
    if (!options.dryRun) {
        problem = baseline.Save(run.rows, RecordsAfter(run));
        if (!problem.empty()) return Trouble(problem);
    }
    if (outcome.endedEarly) return kExitTrouble;
    if (options.json)
        WriteOutput(SummaryJson(outcome.summary, options.dryRun, counts.conflicts, counts.unknown,
                                options.nullTerminated ? '\0' : '\n'));

    std::wstring summary = L"quillmar-cli: " + SyncSummaryText(outcome.summary, options.dryRun) + L"; conflicts " +
                           std::to_wstring(counts.conflicts);
    if (counts.unknown > 0) summary += L"; unknown " + std::to_wstring(counts.unknown);
    summary += LeftOutText(exclusions, static_cast<unsigned long>(run.leftOut.excluded),
                           static_cast<unsigned long>(run.leftOut.links));
    for (const std::wstring& folder : outcome.versionFolders) summary += L"; earlier versions in <" + folder + L">";
    summary += RemoveEarlierRunsAfter(backupFolder, options.backupKeepDays, outcome.summary, options.dryRun);
    if (GetFileAttributesW(logs.synchronize.c_str()) != INVALID_FILE_ATTRIBUTES)
        summary += L"; log <" + logs.synchronize + L">";
    WriteError(summary + L"\n");
    if (outcome.summary.cancelled) return Trouble(L"the synchronization was canceled");
    // Nothing was done: the copies did not fit.
    if (outcome.summary.noRoom) return kExitTrouble;
    const bool agree = outcome.summary.notDone == 0 && counts.conflicts == 0 && counts.unknown == 0 && unread == 0;
    return agree ? kExitSame : kExitDiffers;
}

}  // namespace cli
