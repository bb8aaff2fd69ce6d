#include "cli/sync_command.h"

#include "cli/analysis_report.h"
#include "model/system_error.h"
#include "sync/file_batches.h"
#include "sync/synchronize_worker.h"

namespace cli {

namespace {

struct Output {
    std::string* operations;
    std::wstring* notices;
};

// The worker's notices become lines; the completion needs none, the exit code tells it.
void NoteNotice(void* context, SyncNoticeKind kind, const wchar_t* text) {
    auto* output = static_cast<Output*>(context);
    try {
        if (kind != SyncNoticeInformation) *output->notices += std::wstring(text) + L"\n";
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
        *output->notices += line + L": " + reason + L"\n";
        return;
    }
    *output->operations += ToUtf8(line) + "\n";
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

int SynchronizeAnalysedPair(const BackgroundOpsData* data, SyncDirection direction, HWND window,
                            std::string* operations, std::wstring* notices) {
    const LocationSlot* current = &data->slots[0];
    SyncItemList* items = nullptr;
    DWORD listed = ListSyncItems(current->tree->root, current->rootPath, data->slots[1].tree, &items);
    if (listed != ERROR_SUCCESS) {
        *notices += std::wstring(kSyncNoMemory) + L"\n";
        return 1;
    }
    Output output{operations, notices};
    SyncRequest request = {};
    request.direction = direction;
    request.items = items;
    request.currentRoot = current->rootPath;
    request.otherRoot = data->slots[1].rootPath;
    request.window = window;
    request.observer = NoteOperation;
    request.observerContext = &output;
    request.notice = NoteNotice;
    request.noticeContext = &output;
    SyncSummary summary = {};
    request.summary = &summary;
    request.shellWithoutErrorBoxes = true;
    // Nothing listed is a complete run with nothing to do.
    DWORD result = items ? RunSynchronization(&request) : 0;
    FreeSyncItemList(items);
    return result == 0 && summary.notDone == 0 ? 0 : 1;
}

}  // namespace cli
