// quillmar-cli: the analysis and the synchronization of the window program, run from a console.
#include "analysis/analysis_worker.h"
#include "analysis/analyze_log.h"
#include "analysis/skip_log.h"
#include "cli/analysis_report.h"
#include "cli/sync_command.h"
#include "model/location_paths.h"
#include "model/system_error.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

const int kExitCompleted = 0;
const int kExitFailed = 1;
const int kExitUsage = 2;

const wchar_t kUsage[] =
    L"usage: quillmar-cli.exe analyze [--content] [--simultaneous] LEFT RIGHT\n"
    L"       quillmar-cli.exe commit [--content] [--simultaneous] LEFT RIGHT   (make RIGHT like LEFT)\n"
    L"       quillmar-cli.exe update [--content] [--simultaneous] LEFT RIGHT   (make LEFT like RIGHT)\n";
const wchar_t kWindowClass[] = L"QuillmarCliAnalysis";

struct RunState {
    bool done = false;
    bool failed = false;
    WPARAM failedLocation = 0;
    bool progressOnConsole = false;
    bool progressShown = false;
    cli::ProgressEstimate estimate;
};

RunState g_run;

void WriteBytes(HANDLE output, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1 << 20));
        DWORD done = 0;
        if (!WriteFile(output, bytes.data() + written, chunk, &done, nullptr) || done == 0) return;
        written += done;
    }
}

void WriteError(const std::wstring& text) { WriteBytes(GetStdHandle(STD_ERROR_HANDLE), cli::ToUtf8(text)); }

int UsageError(const std::wstring& problem) {
    WriteError(L"quillmar-cli: " + problem + L"\n" + kUsage);
    return kExitUsage;
}

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ANALYSIS_DONE:
        g_run.done = true;
        return 0;
    case WM_ANALYSIS_FAILED:
        // The engine reports both locations; the first one names the end.
        if (!g_run.failed) g_run.failedLocation = wParam;
        g_run.failed = true;
        return 0;
    case WM_ANALYSIS_STATUS:
        return 0;
    case WM_ANALYSIS_PROGRESS: {
        if (!g_run.progressOnConsole) return 0;
        LocationSlot* slot = &g_backgroundOps.slots[0];
        EnterCriticalSection(&slot->lock);
        DWORD elapsed = slot->elapsedMs;
        uint64_t total = slot->totalBytes;
        uint64_t done = slot->doneBytes;
        LeaveCriticalSection(&slot->lock);
        WriteError(L"\r" + g_run.estimate.Update(elapsed, total, done) + L"    ");
        g_run.progressShown = true;
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

BOOL WINAPI OnConsoleControl(DWORD) {
    // Stops the analysis the way the dialog's Cancel does; it then reports its end.
    SetEvent(g_backgroundOps.cancelEvent);
    return TRUE;
}

// Full folder path ending in a backslash; empty when it cannot be formed.
std::wstring FolderPath(const wchar_t* argument) {
    std::vector<wchar_t> full(kPathUnits);
    DWORD length = GetFullPathNameW(argument, kPathUnits, full.data(), nullptr);
    if (length == 0 || length >= kPathUnits - 1) return std::wstring();
    std::wstring path(full.data(), length);
    if (path.back() != L'\\') path += L'\\';
    return path;
}

bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HWND CreateReceiver() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ReceiverProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

std::wstring StatusOf(const LocationSlot* slot) {
    std::wstring text = slot->statusText;
    if (slot->statusCode != 0) {
        wchar_t message[kSystemErrorUnits];
        FormatSystemError(slot->statusCode, message);
        text += L": ";
        text += message;
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    }
    return text;
}

enum class Command { Analyze, Commit, Update };

int RunAnalysis(Command command, const std::wstring& left, const std::wstring& right, bool compareContent,
                bool simultaneous) {
    BackgroundOpsData* data = &g_backgroundOps;
    if (!BackgroundOpsInit(data)) {
        WriteError(L"Error initializing background operations data.\n");
        return kExitFailed;
    }
    HWND window = CreateReceiver();
    data->notifyWindow = window;
    data->compareContent = compareContent;
    data->simultaneous = simultaneous;
    wcsncpy(data->slots[0].rootPath, left.c_str(), kPathUnits - 1);
    wcsncpy(data->slots[1].rootPath, right.c_str(), kPathUnits - 1);

    wchar_t logPath[MAX_PATH];
    if (!window || !AnalyzeLogPath(logPath) || !SkipLogOpen(logPath, kAnalyzeLogHeader)) {
        WriteError(window ? L"Can not create error log file!\n" : L"Error starting worker thread.\n");
        if (window) DestroyWindow(window);
        BackgroundOpsFree(data);
        return kExitFailed;
    }
    DWORD consoleMode = 0;
    g_run.progressOnConsole = compareContent && GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &consoleMode);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    HANDLE worker = CreateThread(nullptr, 0, AnalysisWorker, data, 0, nullptr);
    if (!worker) {
        SetConsoleCtrlHandler(OnConsoleControl, FALSE);
        SkipLogClose();
        DestroyWindow(window);
        BackgroundOpsFree(data);
        WriteError(L"Error starting worker thread.\n");
        return kExitFailed;
    }
    // Unlike the dialog, the companion keeps the handle: it waits for the
    // worker to end so that every message it sent has arrived.
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) PumpMessages();
    PumpMessages();
    CloseHandle(worker);
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    DWORD logEntries = SkipLogClose();
    if (g_run.progressShown) WriteError(L"\n");

    int exitCode = kExitCompleted;
    if (g_run.done && !g_run.failed && command != Command::Analyze) {
        if (logEntries > 0)
            WriteError(L"Some files/folders could not be accessed and will not be added to the analysis report. "
                       L"A list of these files was saved to <" + std::wstring(logPath) + L">!\n");
        std::string operations;
        std::wstring notices;
        exitCode = cli::SynchronizeAnalysedPair(data, command == Command::Commit ? SyncCommit : SyncUpdate, window,
                                                &operations, &notices);
        // Only what was done is printed; what was not done is in the notices.
        WriteBytes(GetStdHandle(STD_OUTPUT_HANDLE), operations);
        WriteError(notices);
    } else if (g_run.done && !g_run.failed) {
        WriteBytes(GetStdHandle(STD_OUTPUT_HANDLE), cli::ListAnalysedNodes(data));
        wchar_t summary[256];
        swprintf(summary, 256, L"elapsed %lu ms, nodes %lu and %lu, bytes compared %llu, skipped items %lu\n",
                 static_cast<unsigned long>(data->slots[0].elapsedMs),
                 static_cast<unsigned long>(cli::CountNodes(data->slots[0].tree)),
                 static_cast<unsigned long>(cli::CountNodes(data->slots[1].tree)),
                 static_cast<unsigned long long>(cli::BytesCompared(data)),
                 static_cast<unsigned long>(logEntries / 2));
        WriteError(summary);
        if (logEntries > 0)
            WriteError(L"Some files/folders could not be accessed and will not be added to the analysis report. "
                       L"A list of these files was saved to <" + std::wstring(logPath) + L">!\n");
    } else {
        WriteError(StatusOf(&data->slots[g_run.failed ? g_run.failedLocation : 0]) + L"\n");
        exitCode = kExitFailed;
    }
    DestroyWindow(window);
    BackgroundOpsFree(data);
    return exitCode;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetConsoleOutputCP(CP_UTF8);
    if (argc < 2) return UsageError(L"no command given");
    Command command = Command::Analyze;
    if (wcscmp(argv[1], L"commit") == 0) {
        command = Command::Commit;
    } else if (wcscmp(argv[1], L"update") == 0) {
        command = Command::Update;
    } else if (wcscmp(argv[1], L"analyze") != 0) {
        return UsageError(std::wstring(L"unknown command \"") + argv[1] + L"\"");
    }
    bool compareContent = false;
    bool simultaneous = false;
    std::vector<const wchar_t*> folders;
    for (int index = 2; index < argc; ++index) {
        const wchar_t* argument = argv[index];
        if (wcscmp(argument, L"--content") == 0) {
            compareContent = true;
        } else if (wcscmp(argument, L"--simultaneous") == 0) {
            simultaneous = true;
        } else if (argument[0] == L'-' && argument[1] == L'-') {
            return UsageError(std::wstring(L"unknown option \"") + argument + L"\"");
        } else {
            folders.push_back(argument);
        }
    }
    if (folders.size() != 2)
        return UsageError(L"two folders are needed, LEFT and RIGHT; " + std::to_wstring(folders.size()) + L" given");
    std::wstring paths[2];
    for (int side = 0; side < 2; ++side) {
        const wchar_t* name = side == 0 ? L"LEFT" : L"RIGHT";
        paths[side] = FolderPath(folders[side]);
        if (paths[side].empty())
            return UsageError(std::wstring(name) + L" folder path is not valid or too long: " + folders[side]);
        if (IsRawDevicePath(folders[side]))
            return UsageError(std::wstring(name) + L" folder path in the \\\\?\\ or \\\\.\\ form is not supported: " +
                              folders[side]);
        if (!IsFolder(paths[side])) return UsageError(std::wstring(name) + L" folder not found: " + folders[side]);
    }
    // A synchronization between them would copy a location into itself or delete its own root.
    if (LocationsOverlap(paths[0].c_str(), paths[1].c_str()))
        return UsageError(L"LEFT and RIGHT overlap: one lies inside the other, or both are the same folder");
    return RunAnalysis(command, paths[0], paths[1], compareContent, simultaneous);
}
