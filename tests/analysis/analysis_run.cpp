#include "tests/analysis/analysis_run.h"

#include "analysis/skip_log.h"
#include "tests/support/message_window.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

const wchar_t kWindowClass[] = L"QuillmarAnalysisTestReceiver";
const DWORD kRunTimeoutMs = 120000;

struct RunState {
    AnalysisRun* run;
    const AnalysisRunOptions* options;
    std::mutex lock;
};

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_ANALYSIS_DONE && message <= WM_ANALYSIS_PROGRESS) {
        auto* state = reinterpret_cast<RunState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (state) {
            std::lock_guard<std::mutex> guard(state->lock);
            state->run->received.emplace_back(message, wParam);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Observe(BackgroundOpsData* data, UINT message, WPARAM wParam, void* context) {
    auto* state = static_cast<RunState*>(context);
    LocationSlot* slot = &data->slots[message == WM_ANALYSIS_STATUS || message == WM_ANALYSIS_FAILED ? wParam : 0];
    SentMessage sent{message, wParam, L"", 0};
    EnterCriticalSection(&slot->lock);
    sent.text = slot->statusText;
    sent.code = slot->statusCode;
    LeaveCriticalSection(&slot->lock);
    {
        std::lock_guard<std::mutex> guard(state->lock);
        state->run->sent.push_back(sent);
    }
    if (state->options->onMessage) state->options->onMessage(data, message, wParam);
}


}  // namespace

AnalysisRun RunAnalysis(const std::wstring& root0, const std::wstring& root1, const AnalysisRunOptions& options) {
    AnalysisRun run;
    RunState state{&run, &options, {}};
    if (BackgroundOpsIsValid(&g_backgroundOps)) BackgroundOpsFree(&g_backgroundOps);
    if (!BackgroundOpsInit(&g_backgroundOps)) {
        ADD_FAILURE() << "the record cannot be set up";
        return run;
    }
    HWND window = CreateMessageWindow(kWindowClass, ReceiverProc, &state);
    EXPECT_NE(window, nullptr);
    BackgroundOpsData* data = &g_backgroundOps;
    wcsncpy(data->slots[0].rootPath, root0.c_str(), kPathUnits - 1);
    wcsncpy(data->slots[1].rootPath, root1.c_str(), kPathUnits - 1);
    data->compareContent = options.compareContent;
    data->simultaneous = options.simultaneous;
    data->notifyWindow = window;
    if (!options.logPath.empty()) {
        EXPECT_TRUE(SkipLogOpen(options.logPath.c_str(), L"Test log"));
    }

    SetAnalysisMessageObserver(Observe, &state);
    HANDLE worker = CreateThread(nullptr, 0, AnalysisWorker, data, 0, nullptr);
    EXPECT_NE(worker, nullptr);
    if (worker) {
        DWORD started = GetTickCount();
        for (;;) {
            DWORD waited = MsgWaitForMultipleObjects(1, &worker, FALSE, 200, QS_ALLINPUT);
            PumpWaitingMessages();
            if (waited == WAIT_OBJECT_0) {
                run.ended = true;
                break;
            }
            if (GetTickCount() - started > kRunTimeoutMs) break;
        }
        if (!run.ended) {
            ADD_FAILURE() << "the analysis did not end; cancelling it";
            SetEvent(data->cancelEvent);
            WaitForSingleObject(worker, INFINITE);
        }
        // Everything sent before the thread ended is queued by now.
        PumpWaitingMessages();
        GetExitCodeThread(worker, &run.exitCode);
        CloseHandle(worker);
    }
    SetAnalysisMessageObserver(nullptr, nullptr);
    if (!options.logPath.empty()) run.logEntries = SkipLogClose();
    if (window) DestroyWindow(window);
    // Nothing may be left behind by the messages once the window is gone.
    data->notifyWindow = nullptr;
    return run;
}

std::vector<std::pair<UINT, WPARAM>> MessagesOf(const std::vector<SentMessage>& sent) {
    std::vector<std::pair<UINT, WPARAM>> messages;
    for (const SentMessage& one : sent) messages.emplace_back(one.message, one.wParam);
    return messages;
}

std::string Describe(const std::vector<SentMessage>& sent) {
    static const char* const kNames[] = {"DONE", "FAILED", "STATUS", "PROGRESS"};
    std::string text;
    for (const SentMessage& one : sent) {
        text += kNames[one.message - WM_ANALYSIS_DONE];
        text += '(';
        text += std::to_string(one.wParam);
        text += ") \"";
        for (wchar_t unit : one.text) text += unit < 128 ? static_cast<char>(unit) : '?';
        text += "\" ";
        text += std::to_string(one.code);
        text += '\n';
    }
    return text;
}

FileNode* NodeAt(const LocationTree* tree, const std::wstring& relative) {
    std::wstring path = L"Root\\";
    if (!relative.empty()) path += relative + L"\\";
    return FindNodeByPath(tree, path.c_str());
}

#include <tlhelp32.h>

unsigned CountProcessThreads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    unsigned count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}
