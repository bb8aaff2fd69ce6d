#include "cli/sync_command.h"

#include "cli/analysis_report.h"
#include "framework/message_box.h"
#include "model/system_error.h"
#include "sync/synchronize_worker.h"

namespace cli {

namespace {

struct Output {
    std::string* operations;
    std::wstring* notices;
};

// The worker's message boxes become lines of the notices; the completion
// needs none, the exit code tells it.
int NoteMessageBox(void* context, HWND, const wchar_t* text, const wchar_t*, UINT type) {
    auto* output = static_cast<Output*>(context);
    try {
        if ((type & MB_ICONMASK) != MB_ICONINFORMATION) *output->notices += std::wstring(text) + L"\n";
    } catch (...) {
        // Out of memory for the text: the exit code still tells how the run ended.
    }
    return IDOK;
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
        // A folder that stays (not empty, or already there) is told, not printed as done.
        wchar_t message[kSystemErrorUnits];
        FormatSystemError(result, message);
        std::wstring text = message;
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
        *output->notices += line + L": " + text + L"\n";
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
    DWORD listed = ListSyncItems(current->tree->root, current->rootPath, &items);
    if (listed != ERROR_SUCCESS) {
        *notices += L"No enough memory!\n";
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
    SetMessageBoxHandler(NoteMessageBox, &output);
    // Nothing listed is a complete run with nothing to do.
    DWORD result = items ? RunSynchronization(&request) : 0;
    SetMessageBoxHandler(nullptr, nullptr);
    FreeSyncItemList(items);
    return result == 0 ? 0 : 1;
}

}  // namespace cli
