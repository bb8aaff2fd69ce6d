#include "cli/sync_command.h"

#include "cli/analysis_report.h"
#include "cli/copy_progress.h"
#include "cli/console.h"
#include "cli/output.h"
#include "cli/plan_json.h"
#include "model/names.h"
#include "model/system_error.h"
#include "model/text.h"
#include "model/win_guards.h"
#include "sync/sync_results.h"
#include "sync/synchronize_worker.h"
#include "sync/versioning.h"

#include <cwchar>

namespace cli {

namespace {

const wchar_t kLogNameInNotices[] = L"<SynchronizeLog.txt>";
// Copies at once: each small file's copy waits on the system more than on its
// disk, and others go on meanwhile. Measured on 8,000 files of 2 KB against the
// one-at-a-time loop of system copies: 2.25 x with one, 1.6 x with two, about
// 1.35 x with four and with eight.
const unsigned kCopiesInFlight = 4;

struct Output {
    SyncOutcome* outcome;
    const SyncSettings* settings;
    const SyncPair* pair;
};

// The worker's notices become lines; the completion needs none, the exit code tells it.
// The window program's log stands beside it, the companion's may not: its notices name the real place.
void NoteNotice(void* context, SyncNoticeKind kind, const wchar_t* text) {
    auto* output = static_cast<Output*>(context);
    try {
        if (kind == SyncNoticeInformation) return;
        std::wstring line = text;
        size_t name = line.find(kLogNameInNotices);
        if (name != std::wstring::npos)
            line.replace(name, wcslen(kLogNameInNotices), L"<" + output->settings->logPath + L">");
        if (line == kSyncCannotCreateLog) line += L" <" + output->settings->logPath + L">";
        output->outcome->notices += line + L"\n";
    } catch (...) {
        // Out of memory for the text: the exit code still tells how the run ended.
    }
}

void NoteOperationLine(Output* output, const SyncOperation& operation, const wchar_t* itemPath,
                       const wchar_t* otherPath, DWORD result) {
    const SyncSettings& settings = *output->settings;
    if (settings.json)
        output->outcome->operations +=
            OperationJson(operation, itemPath, otherPath, result, settings.dryRun, settings.terminator);
    const std::wstring line = OperationText(operation, itemPath, otherPath);
    if (line.empty()) return;
    // A folder the exclusions keep is counted in the summary, not told as a trouble.
    if (result == kSyncKeptForExcluded) return;
    if (result != ERROR_SUCCESS) {
        // What was not done (a folder that stays, a file left out or refused by the shell) is told, not printed.
        wchar_t reason[kSystemErrorUnits];
        DescribeSyncResult(result, reason);
        output->outcome->notices += line + L": " + reason + L"\n";
        return;
    }
    if (!settings.json) output->outcome->operations += ToUtf8(line) + settings.terminator;
}

void NoteOperation(void* context, const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath,
                   DWORD result) {
    auto* output = static_cast<Output*>(context);
    if (output->pair->told) output->pair->told(output->pair->toldContext, operation, result);
    try {
        NoteOperationLine(output, operation, itemPath, otherPath, result);
    } catch (...) {
        // The worker must not see an exception; a line is lost, not the run.
    }
}

// The files and folders that the plan deletes, and the files it copies over
// a file the analysis saw.
uint32_t CountDeletions(const SyncPlan* plan) {
    uint32_t deletions = 0;
    for (uint32_t index = 0; index < plan->count; ++index) {
        const SyncOperationKind kind = plan->operations[index].kind;
        if (kind == SyncDeleteFile || kind == SyncRemoveFolder) ++deletions;
    }
    return deletions;
}

uint32_t CountReplacements(const SyncPlan* plan) {
    uint32_t replacements = 0;
    for (uint32_t index = 0; index < plan->count; ++index) {
        if (plan->operations[index].kind == SyncReplace) ++replacements;
    }
    return replacements;
}

// The entries below `root` that stand on disk and could be acted on: neither
// the images of the other side's entries nor entries whose state is unknown.
uint32_t CountEntriesOnDisk(const FileNode* root) {
    uint32_t entries = 0;
    const FileNode* node = root->firstChild;
    while (node) {
        const bool counted = !IsDotOrDotDot(node->name) && node->state != DiffMissing && node->state != DiffUnknown;
        if (counted) ++entries;
        if (counted && node->firstChild) {
            node = node->firstChild;
            continue;
        }
        while (node && !node->nextSibling && node != root) node = node->parent;
        node = node && node != root ? node->nextSibling : nullptr;
    }
    return entries;
}

// Why a run that deletes this much is refused; empty when it may run.
std::wstring RefuseDeletions(const BackgroundOpsData* data, const SyncPlan* plan, const SyncSettings& settings) {
    const bool commit = settings.direction == SyncCommit;
    const wchar_t* name = commit ? L"RIGHT" : L"LEFT";
    // Many files replaced at once may be the sign of a source damaged or encrypted.
    const uint32_t replacements = CountReplacements(plan);
    if (settings.maxReplace >= 0 && replacements > settings.maxReplace)
        return L"refused: the run would replace " + std::to_wstring(replacements) + L" files in " + name +
               L", more than --max-replace " + std::to_wstring(settings.maxReplace) + L"; nothing was changed";
    const uint32_t deletions = CountDeletions(plan);
    if (deletions == 0) return std::wstring();
    if (settings.maxDelete >= 0 && deletions > settings.maxDelete)
        return L"refused: the run would delete " + std::to_wstring(deletions) + L" files and folders from " + name +
               L", more than --max-delete " + std::to_wstring(settings.maxDelete) + L"; nothing was changed";
    const LocationSlot* target = &data->slots[commit ? 1 : 0];
    // What the exclusions left out stands on disk too, when the run deletes it.
    const uint32_t leftOut = settings.deleteExcluded ? target->leftOut.count : 0;
    if (!settings.allowDeleteAll && deletions >= CountEntriesOnDisk(target->tree->root) + leftOut)
        return L"refused: the run would delete every file and folder of " + std::wstring(name) + L", " +
               std::to_wstring(deletions) + L" in all; is " + (commit ? L"LEFT" : L"RIGHT") +
               L" empty or the wrong folder? --allow-delete-all lets such a run go on; nothing was changed";
    return std::wstring();
}

const DWORD kProgressEveryMs = 1000;

DWORD WINAPI SynchronizeRequest(void* request) { return RunSynchronization(static_cast<const SyncRequest*>(request)); }

// Runs the request; with a progress line, on a thread of its own while this
// one redraws the line at most once a second.
DWORD RunShowingProgress(const SyncRequest* request, SyncProgress* progress) {
    const DWORD start = GetTickCount();
    OwnedHandle worker = StartCoreThread(SynchronizeRequest, const_cast<SyncRequest*>(request));
    if (!worker.IsValid()) return RunSynchronization(request);
    bool shown = false;
    while (WaitForSingleObject(worker.Get(), kProgressEveryMs) == WAIT_TIMEOUT) {
        const SyncProgressFigures figures = SyncProgressRead(progress);
        if (figures.filesTotal == 0) continue;
        WriteError(L"\r" + SyncProgressText(figures, GetTickCount() - start) + L"   ");
        shown = true;
    }
    if (shown) WriteError(L"\r" + SyncProgressText(SyncProgressRead(progress), GetTickCount() - start) + L"   \n");
    DWORD exitCode = 1;
    GetExitCodeThread(worker.Get(), &exitCode);
    return exitCode;
}

}  // namespace

std::wstring RenamedPathText(const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath) {
    if (operation.kind != SyncRename) return std::wstring();
    const bool toOther = TargetSideOf(operation) == 1;
    std::vector<wchar_t> path(kPathUnits);
    if (!RenamedPath(toOther ? otherPath : itemPath, toOther ? itemPath : otherPath, path.data())) return std::wstring();
    return path.data();
}

std::wstring OperationText(const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath) {
    const SyncAction action = operation.action;
    const bool toOther = TargetSideOf(operation) == 1;
    if (operation.kind == SyncRename)
        return std::wstring(L"rename\t") + (toOther ? otherPath : itemPath) + L"\t" +
               RenamedPathText(operation, itemPath, otherPath);
    if (operation.kind == SyncSetTime)
        return std::wstring(L"set-time\t") + (toOther ? itemPath : otherPath) + L"\t" + (toOther ? otherPath : itemPath);
    switch (action) {
    case SyncCopyToOther:
        return std::wstring(L"copy\t") + itemPath + L"\t" + otherPath;
    case SyncCopyFromOther:
        return std::wstring(L"copy\t") + otherPath + L"\t" + itemPath;
    case SyncDeleteItem:
        return std::wstring(L"delete\t") + itemPath;
    case SyncDeleteOther:
        return std::wstring(L"delete\t") + otherPath;
    case SyncCreateOther:
    case SyncCreateItem:
        return std::wstring(L"mkdir\t") + (action == SyncCreateOther ? otherPath : itemPath);
    case SyncRemoveOther:
    case SyncRemoveItem:
        return std::wstring(L"rmdir\t") + (action == SyncRemoveOther ? otherPath : itemPath);
    default:
        return std::wstring();
    }
}

void SynchronizePlan(SyncPlan* plan, const SyncPair& pair, const SyncSettings& settings, SyncOutcome* outcome) {
    SyncSummary summary = {};
    Output output{outcome, &settings, &pair};
    SyncRequest request = {};
    request.plan = plan;
    request.direction = settings.direction;
    request.currentRoot = pair.currentRoot;
    request.otherRoot = pair.otherRoot;
    request.observer = NoteOperation;
    request.observerContext = &output;
    request.notice = NoteNotice;
    request.noticeContext = &output;
    request.summary = &summary;
    request.unattended = true;
    request.deleteWithoutRecycleBin = settings.deleteWithoutRecycleBin;
    request.timeRule = pair.timeRule;
    request.logPath = settings.logPath.c_str();
    request.dryRun = settings.dryRun;
    request.copier = SyncCopyWithEngine;
    request.copiesInFlight = kCopiesInFlight;
    request.verify = settings.verify;
    request.versioningFolder = settings.versioningFolder.empty() ? nullptr : settings.versioningFolder.c_str();
    request.cancel = settings.cancel;
    request.exclusions = pair.exclusions;
    request.stopWhenNoRoom = true;
    request.journal = settings.journal;
    SyncProgress progress;
    SyncProgressInit(&progress);
    request.progress = &progress;
    // Nothing planned is a complete run with nothing to do.
    if (plan && plan->count > 0) {
        const DWORD exitCode =
            settings.showProgress && !settings.dryRun ? RunShowingProgress(&request, &progress) : RunSynchronization(&request);
        outcome->endedEarly = outcome->endedEarly || exitCode != 0;
    }
    SyncProgressFree(&progress);
    AddSyncSummary(summary, &outcome->summary);
    if (summary.versions[0]) outcome->versionFolders.push_back(summary.versions);
}

void AddSyncSummary(const SyncSummary& part, SyncSummary* whole) {
    whole->copied += part.copied;
    whole->deleted += part.deleted;
    whole->created += part.created;
    whole->removed += part.removed;
    whole->notDone += part.notDone;
    whole->replaced += part.replaced;
    whole->cancelled = whole->cancelled || part.cancelled;
    whole->noRoom = whole->noRoom || part.noRoom;
    whole->keptForExcluded += part.keptForExcluded;
    whole->renamed += part.renamed;
    whole->timesSet += part.timesSet;
    if (part.versions[0]) CopyText(whole->versions, MAX_PATH, part.versions);
}

SyncOutcome SynchronizeAnalysedPair(const BackgroundOpsData* data, const SyncSettings& settings) {
    SyncOutcome outcome = {};
    const LocationSlot* current = &data->slots[0];
    SyncItemList* items = nullptr;
    SyncPlan plan = {};
    DWORD planned = ListSyncItems(current->tree->root, current->rootPath, data->slots[1].tree, &items);
    if (planned == ERROR_SUCCESS)
        planned = PlanSyncItems(settings.direction, items, current->rootPath, data->slots[1].rootPath, &plan);
    if (planned == ERROR_SUCCESS && settings.deleteExcluded)
        planned = PlanExcludedDeletions(settings.direction, &data->slots[settings.direction == SyncCommit ? 1 : 0].leftOut,
                                        &plan);
    // The plan holds all the run needs of the items.
    FreeSyncItemList(items);
    if (planned != ERROR_SUCCESS) {
        SyncPlanFree(&plan);
        outcome.notices = std::wstring(kSyncNoMemory) + L"\n";
        outcome.endedEarly = true;
        return outcome;
    }
    outcome.refused = RefuseDeletions(data, &plan, settings);
    if (outcome.refused.empty()) {
        const SyncPair pair = {current->rootPath, data->slots[1].rootPath, data->timeRule, data->exclusions, nullptr,
                               nullptr};
        SynchronizePlan(&plan, pair, settings, &outcome);
    }
    SyncPlanFree(&plan);
    return outcome;
}

std::wstring SyncSummaryText(const SyncSummary& summary, bool dryRun) {
    wchar_t text[256];
    if (dryRun) {
        swprintf(text, 256,
                 L"dry run, nothing was changed; files to copy %lu (%lu to replace), to delete %lu; folders to "
                 L"create %lu, to remove %lu; would not be done %lu",
                 static_cast<unsigned long>(summary.copied), static_cast<unsigned long>(summary.replaced),
                 static_cast<unsigned long>(summary.deleted), static_cast<unsigned long>(summary.created),
                 static_cast<unsigned long>(summary.removed), static_cast<unsigned long>(summary.notDone));
    } else {
        swprintf(text, 256,
                 L"files copied %lu (%lu replaced), deleted %lu; folders created %lu, removed %lu; not done %lu",
                 static_cast<unsigned long>(summary.copied), static_cast<unsigned long>(summary.replaced),
                 static_cast<unsigned long>(summary.deleted), static_cast<unsigned long>(summary.created),
                 static_cast<unsigned long>(summary.removed), static_cast<unsigned long>(summary.notDone));
    }
    std::wstring line = text;
    // Only the runs that have them name renames and times, so that the figures of before stay as they were.
    if (summary.renamed > 0) line += (dryRun ? L"; to rename " : L"; renamed ") + std::to_wstring(summary.renamed);
    if (summary.timesSet > 0)
        line += (dryRun ? L"; times to set " : L"; times set ") + std::to_wstring(summary.timesSet);
    if (summary.leftoversRemoved > 0) line += L"; leftovers removed " + std::to_wstring(summary.leftoversRemoved);
    if (summary.keptForExcluded > 0)
        line += (dryRun ? L"; folders to keep for what the exclusions leave out in them " : L"; folders kept for what the exclusions leave out in them ") +
                std::to_wstring(summary.keptForExcluded);
    return line;
}

std::wstring RemoveEarlierRunsAfter(const std::wstring& versioningFolder, unsigned keepDays,
                                    const SyncSummary& summary, bool dryRun) {
    if (keepDays == 0 || versioningFolder.empty() || dryRun || summary.cancelled || summary.noRoom ||
        summary.notDone > 0)
        return std::wstring();
    SYSTEMTIME now;
    GetLocalTime(&now);
    EarlierRunsRemoval removal;
    RemoveEarlierRuns(versioningFolder.c_str(), keepDays, now, &removal);
    std::wstring text = L"; earlier runs removed " + std::to_wstring(removal.removed);
    if (removal.left > 0) text += L", left " + std::to_wstring(removal.left);
    if (removal.firstError != ERROR_SUCCESS) {
        wchar_t reason[kSystemErrorUnits];
        DescribeSyncResult(removal.firstError, reason);
        std::wstring notice = L"quillmar-cli: an earlier run's folder was left: " + std::wstring(removal.firstLeft) +
                              L": " + reason;
        if (removal.left > 1) notice += L" (and " + std::to_wstring(removal.left - 1) + L" more)";
        WriteError(notice + L"\n");
    }
    return text;
}

}  // namespace cli
