#include "cli/sync_command.h"

#include "cli/analysis_report.h"
#include "model/system_error.h"
#include "sync/file_batches.h"
#include "sync/synchronize_worker.h"

#include <cwchar>

namespace cli {

namespace {

const wchar_t kLogNameInNotices[] = L"<SynchronizeLog.txt>";

struct Output {
    SyncOutcome* outcome;
    const SyncSettings* settings;
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

void NoteOperationLine(Output* output, SyncAction action, const wchar_t* itemPath, const wchar_t* otherPath,
                       DWORD result) {
    std::wstring line;
    switch (action) {
    case SyncCopyToOther:
        line = std::wstring(L"copy\t") + itemPath + L"\t" + otherPath;
        break;
    case SyncCopyFromOther:
        line = std::wstring(L"copy\t") + otherPath + L"\t" + itemPath;
        break;
    case SyncDeleteItem:
        line = std::wstring(L"delete\t") + itemPath;
        break;
    case SyncDeleteOther:
        line = std::wstring(L"delete\t") + otherPath;
        break;
    case SyncCreateOther:
    case SyncCreateItem:
        line = std::wstring(L"mkdir\t") + (action == SyncCreateOther ? otherPath : itemPath);
        break;
    case SyncRemoveOther:
    case SyncRemoveItem:
        line = std::wstring(L"rmdir\t") + (action == SyncRemoveOther ? otherPath : itemPath);
        break;
    default:
        return;
    }
    if (result != ERROR_SUCCESS) {
        // What was not done (a folder that stays, a file left out or refused by the shell) is told, not printed.
        wchar_t reason[kSystemErrorUnits];
        DescribeSyncResult(result, reason);
        output->outcome->notices += line + L": " + reason + L"\n";
        return;
    }
    output->outcome->operations += ToUtf8(line) + output->settings->terminator;
}

void NoteOperation(void* context, SyncAction action, const wchar_t* itemPath, const wchar_t* otherPath,
                   DWORD result) {
    try {
        NoteOperationLine(static_cast<Output*>(context), action, itemPath, otherPath, result);
    } catch (...) {
        // The worker must not see an exception; a line is lost, not the run.
    }
}

}  // namespace

SyncOutcome SynchronizeAnalysedPair(const BackgroundOpsData* data, const SyncSettings& settings) {
    SyncOutcome outcome = {};
    const LocationSlot* current = &data->slots[0];
    SyncItemList* items = nullptr;
    DWORD listed = ListSyncItems(current->tree->root, current->rootPath, data->slots[1].tree, &items);
    if (listed != ERROR_SUCCESS) {
        outcome.notices = std::wstring(kSyncNoMemory) + L"\n";
        outcome.endedEarly = true;
        return outcome;
    }
    Output output{&outcome, &settings};
    SyncRequest request = {};
    request.direction = settings.direction;
    request.items = items;
    request.currentRoot = current->rootPath;
    request.otherRoot = data->slots[1].rootPath;
    request.observer = NoteOperation;
    request.observerContext = &output;
    request.notice = NoteNotice;
    request.noticeContext = &output;
    request.summary = &outcome.summary;
    request.shellWithoutErrorBoxes = true;
    request.logPath = settings.logPath.c_str();
    request.dryRun = settings.dryRun;
    // Nothing listed is a complete run with nothing to do.
    outcome.endedEarly = items && RunSynchronization(&request) != 0;
    FreeSyncItemList(items);
    return outcome;
}

std::wstring SyncSummaryText(const SyncSummary& summary, bool dryRun) {
    wchar_t text[256];
    if (dryRun) {
        swprintf(text, 256,
                 L"dry run, nothing was changed; files to copy %lu, to delete %lu; folders to create %lu, "
                 L"to remove %lu; would not be done %lu",
                 static_cast<unsigned long>(summary.copied), static_cast<unsigned long>(summary.deleted),
                 static_cast<unsigned long>(summary.created), static_cast<unsigned long>(summary.removed),
                 static_cast<unsigned long>(summary.notDone));
    } else {
        swprintf(text, 256, L"files copied %lu, deleted %lu; folders created %lu, removed %lu; not done %lu",
                 static_cast<unsigned long>(summary.copied), static_cast<unsigned long>(summary.deleted),
                 static_cast<unsigned long>(summary.created), static_cast<unsigned long>(summary.removed),
                 static_cast<unsigned long>(summary.notDone));
    }
    return text;
}

}  // namespace cli
