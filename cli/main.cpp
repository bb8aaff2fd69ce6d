// quillmar-cli: the analysis and the synchronization of the window program, run from a console.
#include "analysis/analysis_worker.h"
#include "analysis/analyze_log.h"
#include "analysis/skip_log.h"
#include "cli/analysis_report.h"
#include "cli/arguments.h"
#include "cli/catalog_command.h"
#include "cli/console.h"
#include "cli/exclusion_patterns.h"
#include "cli/json_listing.h"
#include "cli/leftovers.h"
#include "cli/plan_json.h"
#include "sync/system_calls.h"
#include "cli/locations.h"
#include "cli/output.h"
#include "cli/sync_command.h"
#include "cli/two_way_command.h"
#include "model/system_error.h"
#include "model/win_guards.h"
#include "quillmar_version.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

using cli::Command;
using cli::kExitDiffers;
using cli::kExitSame;
using cli::kExitTrouble;
using cli::Trouble;
using cli::UsageError;

// How often the scan's counts are shown on a console.
const DWORD kScanProgressMs = 250;

// Written by the worker's thread through the message observer, read after it ends;
// only `progressWaiting` is read while it runs.
struct RunState {
    bool done = false;
    bool failed = false;
    WPARAM failedLocation = 0;
    volatile LONG progressWaiting = 0;  // a progress report not yet shown
    bool consoleShowsProgress = false;  // standard error is a console
    bool progressOnConsole = false;  // and the content phase reports progress
    bool progressShown = false;  // a progress line waits for its line break
    bool scanShown = false;  // the scan's last counts were shown
    cli::ProgressEstimate estimate;
    std::wstring madeFolder;  // the folder to make like the other, made by this run; empty for none
    cli::JournalledRun* journalled = nullptr;  // commit and update: the run's journal of its temporary files
};

RunState g_run;
// Set once the analysis is over: Ctrl+C then stops the synchronization.
volatile LONG g_synchronizing = 0;
// Read by the copy engine between and during copies.
BOOL g_stopSynchronizing = FALSE;

bool ScanEnded(const LocationSlot* slot) { return WaitForSingleObject(slot->scanDoneEvent, 0) == WAIT_OBJECT_0; }

// The folders and files listed so far on each side, on one line that each call redraws.
void ShowScanProgress(const BackgroundOpsData* data) {
    if (g_run.scanShown) return;
    // Both scans over: the counts read next are final, and the line is ended once.
    const bool ended = ScanEnded(&data->slots[0]) && ScanEnded(&data->slots[1]);
    wchar_t text[160];
    swprintf(text, 160, L"\rListed: LEFT %ld folders, %ld files; RIGHT %ld folders, %ld files    ",
             static_cast<long>(data->slots[0].foldersListed), static_cast<long>(data->slots[0].filesListed),
             static_cast<long>(data->slots[1].foldersListed), static_cast<long>(data->slots[1].filesListed));
    g_run.scanShown = ended;
    cli::WriteError(std::wstring(text) + (g_run.scanShown ? L"\n" : L""));
    g_run.progressShown = !g_run.scanShown;
}

void ShowProgress() {
    // The content phase follows the scans: their final counts keep a line of their own.
    ShowScanProgress(&g_backgroundOps);
    const ProgressFigures figures = ReadProgress(&g_backgroundOps.slots[0]);
    cli::WriteError(L"\r" + g_run.estimate.Update(figures.elapsedMs, figures.totalBytes, figures.doneBytes) + L"    ");
    g_run.progressShown = true;
}

// The companion has no window: a window costs more to make than a small analysis
// takes. It follows the worker's messages on the worker's thread instead.
void OnAnalysisMessage(BackgroundOpsData*, UINT message, WPARAM wParam, void*) {
    switch (message) {
    case WM_ANALYSIS_DONE:
        g_run.done = true;
        break;
    case WM_ANALYSIS_FAILED:
        // The engine reports both locations; the first one names the end.
        if (!g_run.failed) g_run.failedLocation = wParam;
        g_run.failed = true;
        break;
    case WM_ANALYSIS_PROGRESS:
        InterlockedExchange(&g_run.progressWaiting, 1);
        break;
    default:
        break;
    }
}

BOOL WINAPI OnConsoleControl(DWORD) {
    if (InterlockedCompareExchange(&g_synchronizing, 0, 0)) {
        // Copies in flight are dropped; a copy between its earlier version's
        // move and its rename is finished first, so no name is left empty.
        InterlockedExchange(reinterpret_cast<volatile LONG*>(&g_stopSynchronizing), TRUE);
    } else {
        // Stops the analysis the way the dialog's Cancel does; it then reports its end.
        RequestCancel(&g_backgroundOps);
    }
    return TRUE;
}

std::wstring StatusOf(const LocationSlot* slot) {
    std::wstring text = slot->statusText;
    if (slot->statusCode != 0) {
        text += L": " + cli::SystemMessage(slot->statusCode);
    }
    return text;
}

void TellAnalysisLog(DWORD logEntries, const std::wstring& logPath) {
    if (logEntries > 0)
        cli::WriteError(L"Some files/folders could not be accessed and are listed as UNKNOWN and left alone. "
                        L"A list of these files was saved to <" + logPath + L">!\n");
}

// "; excluded N" for a run with exclusions, "; links left out N" with
// --skip-links: what both scans left out.
std::wstring ExcludedText(const BackgroundOpsData* data, const cli::RunExclusions& exclusions) {
    const LocationSlot* slots = data->slots;
    return cli::LeftOutText(exclusions,
                            static_cast<unsigned long>(slots[0].entriesExcluded + slots[1].entriesExcluded),
                            static_cast<unsigned long>(slots[0].linksLeftOut + slots[1].linksLeftOut));
}

// "; changed without a new time N" for a comparison by digests against a
// catalog: on a backup, content changed under the same size and time is damage.
std::wstring DamageText(const BackgroundOpsData* data) {
    if (!data->compareContent || (!data->slots[0].catalog && !data->slots[1].catalog)) return std::wstring();
    return L"; changed without a new time " + std::to_wstring(data->slots[0].changedWithoutNewTime);
}

int ReportAnalysis(const cli::Options& options, const BackgroundOpsData* data, const cli::RunExclusions& exclusions,
                   DWORD logEntries, const std::wstring& logPath) {
    const char terminator = options.nullTerminated ? '\0' : '\n';
    if (options.json) {
        cli::WriteOutput(cli::ListItemsAsJson(data, options.listAll, terminator));
    } else {
        cli::WriteOutput(options.listAll ? cli::ListAnalysedNodes(data, terminator)
                                         : cli::ListDifferences(data, terminator));
    }
    cli::StateCounts counts = cli::CountStates(data->slots[0].tree);
    wchar_t summary[256];
    swprintf(summary, 256,
             L"quillmar-cli: identical %lu, new %lu, missing %lu, modified %lu, unknown %lu; bytes compared %llu%ls%ls; "
             L"elapsed %lu ms\n",
             static_cast<unsigned long>(counts.of[DiffIdentical]), static_cast<unsigned long>(counts.of[DiffNew]),
             static_cast<unsigned long>(counts.of[DiffMissing]), static_cast<unsigned long>(counts.of[DiffModified]),
             static_cast<unsigned long>(counts.of[DiffUnknown]),
             static_cast<unsigned long long>(cli::BytesCompared(data)), DamageText(data).c_str(),
             ExcludedText(data, exclusions).c_str(),
             static_cast<unsigned long>(data->slots[0].elapsedMs));
    cli::WriteError(summary);
    TellAnalysisLog(logEntries, logPath);
    // An item that could not be read may differ: only a complete comparison says "the same".
    return cli::AnyDifference(counts) || logEntries > 0 ? kExitDiffers : kExitSame;
}

// verify: the analysis of CATALOG (LEFT) against FOLDER, told as differences of the folder.
int ReportVerification(const cli::Options& options, const BackgroundOpsData* data,
                       const cli::RunExclusions& exclusions, DWORD logEntries, const std::wstring& logPath) {
    cli::VerifyCounts counts;
    cli::WriteOutput(cli::ListVerification(data, options.json, options.nullTerminated ? '\0' : '\n', &counts));
    const bool byContent = data->compareContent != 0;
    std::wstring summary = byContent ? L"quillmar-cli: verified by content (the catalog's digests): intact "
                                     : L"quillmar-cli: verified by size and time (the catalog holds no digests, "
                                       L"so damage under the same size and time goes unseen): intact ";
    summary += std::to_wstring(counts.intact) + L", missing " + std::to_wstring(counts.of[cli::VerifyMissing]) +
               L", added " + std::to_wstring(counts.of[cli::VerifyAdded]);
    if (byContent) summary += L", damaged " + std::to_wstring(counts.of[cli::VerifyDamaged]);
    summary += L", changed " + std::to_wstring(counts.of[cli::VerifyChanged]) + L", unreadable " +
               std::to_wstring(counts.of[cli::VerifyUnreadable]);
    if (byContent) summary += L"; bytes compared " + std::to_wstring(cli::BytesCompared(data));
    summary += ExcludedText(data, exclusions) + L"; elapsed " +
               std::to_wstring(static_cast<unsigned long>(data->slots[0].elapsedMs)) + L" ms\n";
    cli::WriteError(summary);
    TellAnalysisLog(logEntries, logPath);
    bool differs = logEntries > 0;
    for (uint32_t count : counts.of) differs = differs || count > 0;
    return differs ? kExitDiffers : kExitSame;
}

int ReportSynchronization(const cli::Options& options, const BackgroundOpsData* data,
                          const cli::RunExclusions& exclusions, DWORD logEntries, const cli::RunLogs& logs,
                          const std::wstring& backupFolder) {
    TellAnalysisLog(logEntries, logs.analyze);
    cli::SyncSettings settings = {};
    settings.direction = options.command == Command::Commit ? SyncCommit : SyncUpdate;
    settings.dryRun = options.dryRun;
    settings.terminator = options.nullTerminated ? '\0' : '\n';
    settings.logPath = logs.synchronize;
    settings.deleteWithoutRecycleBin = options.deleteWithoutRecycleBin;
    settings.allowDeleteAll = options.allowDeleteAll;
    settings.maxDelete = options.maxDelete;
    settings.maxReplace = options.maxReplace;
    settings.verify = options.verify;
    settings.versioningFolder = backupFolder;
    settings.cancel = &g_stopSynchronizing;
    settings.showProgress = g_run.consoleShowsProgress;
    settings.json = options.json;
    settings.journal = g_run.journalled->Journal();
    settings.deleteExcluded = options.deleteExcluded;
    InterlockedExchange(&g_synchronizing, 1);
    cli::SyncOutcome outcome = cli::SynchronizeAnalysedPair(data, settings);
    g_run.journalled->End(!outcome.endedEarly && outcome.summary.notDone == 0 && !outcome.summary.cancelled);
    g_run.journalled->AddTo(&outcome.summary);
    if (!outcome.refused.empty()) return Trouble(outcome.refused);
    // Only what was done is printed (with --json, every operation); what was not done is in the notices.
    cli::WriteOutput(outcome.operations);
    cli::WriteError(outcome.notices);
    if (outcome.endedEarly) return kExitTrouble;
    if (options.json) cli::WriteOutput(cli::SummaryJson(outcome.summary, options.dryRun, -1, -1, settings.terminator));
    std::wstring summary =
        L"quillmar-cli: " + cli::SyncSummaryText(outcome.summary, options.dryRun) + ExcludedText(data, exclusions);
    if (outcome.summary.versions[0]) summary += L"; earlier versions in <" + std::wstring(outcome.summary.versions) + L">";
    summary += cli::RemoveEarlierRunsAfter(backupFolder, options.backupKeepDays, outcome.summary, options.dryRun);
    if (GetFileAttributesW(logs.synchronize.c_str()) != INVALID_FILE_ATTRIBUTES)
        summary += L"; log <" + logs.synchronize + L">";
    cli::WriteError(summary + L"\n");
    if (outcome.summary.cancelled) {
        cli::WriteError(L"quillmar-cli: the synchronization was canceled\n");
        return kExitTrouble;
    }
    // Nothing was backed up: not a file that was busy, but a run that could not begin.
    if (outcome.summary.noRoom) {
        // The folder this run made stays only with something in it.
        if (!g_run.madeFolder.empty()) SyncCalls().removeFolder(g_run.madeFolder.c_str());
        return kExitTrouble;
    }
    // Items that the analysis could not read were left as they are, unlike the folders around them.
    bool unread = logEntries > 0 || cli::CountStates(data->slots[0].tree).of[DiffUnknown] > 0;
    return outcome.summary.notDone > 0 || unread ? kExitDiffers : kExitSame;
}

// Runs the worker to its end; false when it could not be started.
bool RunWorker(BackgroundOpsData* data) {
    OwnedHandle thread = StartCoreThread(AnalysisWorker, data);
    if (!thread.IsValid()) return false;
    HANDLE worker = thread.Get();
    // Unlike the dialog, the companion keeps the handle: the worker's end
    // is the end of its messages.
    const DWORD wait = g_run.consoleShowsProgress ? kScanProgressMs : INFINITE;
    while (WaitForSingleObject(worker, wait) == WAIT_TIMEOUT) {
        if (g_run.progressOnConsole && InterlockedExchange(&g_run.progressWaiting, 0)) {
            ShowProgress();
        } else {
            ShowScanProgress(data);
        }
    }
    return true;
}

int RunAnalysis(const cli::Options& options, const std::wstring (&paths)[2], const cli::LocationKind (&kinds)[2],
                const cli::RunLogs& logs, cli::RunExclusions* exclusions, const std::wstring& backupFolder) {
    BackgroundOpsData* data = &g_backgroundOps;
    if (!BackgroundOpsInit(data)) return Trouble(L"Error initializing background operations data.");
    data->notifyWindow = nullptr;
    data->exclusions = exclusions->List();
    data->compareContent = options.compareContent;
    data->simultaneous = options.simultaneous;
    data->timeRule = options.timeRule;
    wcsncpy(data->slots[0].rootPath, paths[0].c_str(), kPathUnits - 1);
    wcsncpy(data->slots[1].rootPath, paths[1].c_str(), kPathUnits - 1);
    // A folder a dry run would make stands as empty.
    for (int side = 0; side < 2; ++side) data->slots[side].absent = kinds[side] == cli::LocationKind::NewFolder;
    // Only a run that deletes what the exclusions leave out of its target asks the target's scan to record it.
    if (options.deleteExcluded) data->slots[options.command == Command::Commit ? 1 : 0].recordLeftOut = true;
    // A damaged catalog ends the run before anything is scanned or logged.
    cli::CatalogSides catalogs;
    std::wstring problem = catalogs.Load(data, paths, kinds, exclusions);
    if (!problem.empty()) {
        BackgroundOpsFree(data);
        return Trouble(problem);
    }
    // verify compares by content when the catalog can: made with --content, it holds the digests.
    if (options.command == Command::Verify) data->compareContent = catalogs.HoldsDigests(0);
    // Before anything can be cancelled, so that a Ctrl+C always ends as a cancelled analysis.
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    if (!SkipLogOpen(logs.analyze.c_str(), kAnalyzeLogHeader)) {
        BackgroundOpsFree(data);
        return Trouble(L"Can not create error log file! <" + logs.analyze + L">");
    }
    DWORD consoleMode = 0;
    g_run.consoleShowsProgress = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &consoleMode) != FALSE;
    g_run.progressOnConsole = data->compareContent && g_run.consoleShowsProgress;
    SetAnalysisMessageObserver(OnAnalysisMessage, nullptr);
    bool ran = RunWorker(data);
    SetAnalysisMessageObserver(nullptr, nullptr);
    if (ran && g_run.consoleShowsProgress) ShowScanProgress(data);
    DWORD logEntries = SkipLogClose();
    if (g_run.progressShown) cli::WriteError(L"\n");

    int exitCode = kExitTrouble;
    if (!ran) {
        Trouble(L"Error starting worker thread.");
    } else if (!g_run.done || g_run.failed) {
        // A failure or a cancel: the location that ended the analysis tells why.
        cli::WriteError(StatusOf(&data->slots[g_run.failed ? g_run.failedLocation : 0]) + L"\n");
        TellAnalysisLog(logEntries, logs.analyze);
    } else if (options.command == Command::Analyze) {
        exitCode = ReportAnalysis(options, data, *exclusions, logEntries, logs.analyze);
    } else if (options.command == Command::Verify) {
        exitCode = ReportVerification(options, data, *exclusions, logEntries, logs.analyze);
    } else {
        exitCode = ReportSynchronization(options, data, *exclusions, logEntries, logs, backupFolder);
    }
    BackgroundOpsFree(data);
    return exitCode;
}

int Run(const std::vector<std::wstring>& arguments) {
    cli::Options options;
    std::wstring problem = cli::ParseArguments(arguments, &options);
    if (!problem.empty()) return UsageError(problem);
    if (options.command == Command::Help) {
        cli::WriteOutput(cli::ToUtf8(cli::HelpText()));
        return kExitSame;
    }
    if (options.command == Command::Version) {
        cli::WriteOutput("quillmar-cli " QUILLMAR_VERSION_TEXT "\n");
        return kExitSame;
    }
    // A bad pattern ends the run before any folder is read.
    cli::RunExclusions exclusions;
    bool usageError = false;
    problem = exclusions.Load(options, &usageError);
    if (!problem.empty()) return usageError ? UsageError(problem) : Trouble(problem);
    if (options.command == Command::Catalog) return cli::RunCatalogCommand(options, exclusions);
    if (options.command == Command::TwoWay) return cli::RunTwoWay(options, exclusions);
    const std::wstring folders[2] = {options.folders[0], options.folders[1]};
    std::wstring paths[2];
    cli::LocationKind kinds[2];
    // The folder made like the other may not be there yet.
    const int target = options.command == Command::Commit ? 1 : options.command == Command::Update ? 0 : -1;
    problem = cli::CheckLocations(folders, paths, kinds, &usageError, target);
    if (problem.empty()) problem = cli::RefuseCatalogs(options.command, folders, kinds);
    if (problem.empty() && options.command == Command::Verify) {
        problem = cli::CheckVerifiedPair(folders, kinds);
        usageError = !problem.empty();
    }
    if (!problem.empty()) return usageError ? cli::ArgumentTrouble(problem) : Trouble(problem);
    std::wstring backupFolder;
    if (!options.backupDir.empty()) {
        problem = cli::CheckVersioningFolder(options.backupDir, paths, &backupFolder);
        if (!problem.empty()) return Trouble(problem);
    }
    cli::RunLogs logs;
    problem = cli::ChooseLogPaths(options.logFolder, &logs);
    if (!problem.empty()) return Trouble(problem);
    if (target >= 0 && kinds[target] == cli::LocationKind::NewFolder && !options.dryRun) {
        if (!SyncCalls().makeFolder(paths[target].c_str(), nullptr))
            return Trouble((target ? L"RIGHT" : L"LEFT") + std::wstring(L" folder cannot be made: ") +
                           folders[target] + L": " + cli::SystemMessage(GetLastError()));
        kinds[target] = cli::LocationKind::Folder;
        g_run.madeFolder = paths[target];
    }
    // Before the analysis, so that no earlier run's leftover is taken for a file of the user's.
    cli::JournalledRun journalled;
    if (target >= 0) {
        problem = journalled.Begin(paths, backupFolder, options.dryRun);
        if (!problem.empty()) return Trouble(problem);
        g_run.journalled = &journalled;
    }
    return RunAnalysis(options, paths, kinds, logs, &exclusions, backupFolder);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetConsoleOutputCP(CP_UTF8);
    try {
        return Run(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (...) {
        // Out of memory for a listing or a text: the run says so rather than ending without a word.
        return Trouble(kNoMemoryText);
    }
}
