#include "tests/analysis/analysis_run.h"

#include "analysis/skip_log.h"
#include "model/system_error.h"
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
    data->timeRule = options.timeRule;
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
            RequestCancel(data);
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

std::vector<std::wstring> ReadLogEntries(const std::wstring& path) {
    std::vector<std::wstring> lines;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    std::wstring text(bytes.size() / 2, L'\0');
    if (!text.empty()) memcpy(&text[0], bytes.data(), text.size() * 2);
    size_t start = text.empty() || text[0] != 0xFEFF ? 0 : 1;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        // The system's messages end in a line break of their own: the blank lines are left out.
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    // The header.
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
}

std::wstring SystemMessage(DWORD code) {
    wchar_t message[kSystemErrorUnits];
    FormatSystemError(code, message);
    std::wstring text = message;
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text;
}

std::string BytePattern(size_t length, unsigned seed) {
    std::string bytes(length, '\0');
    uint32_t value = seed;
    for (size_t i = 0; i < length; ++i) {
        value = value * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(value >> 16);
    }
    return bytes;
}
