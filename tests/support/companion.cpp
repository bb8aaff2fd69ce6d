#include "tests/support/companion.h"

#include <gtest/gtest.h>

namespace {

HANDLE InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &security, CREATE_ALWAYS, 0, nullptr);
}

}  // namespace

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.rfind(L'\\') + 1);
}

RunningCompanion StartCompanion(const std::vector<std::wstring>& arguments, const TempFolder& outputFolder,
                                bool ownConsole) {
    RunningCompanion running;
    running.outPath = outputFolder.PathOf(L"out.txt");
    running.errPath = outputFolder.PathOf(L"err.txt");
    HANDLE out = InheritableFile(running.outPath);
    HANDLE err = InheritableFile(running.errPath);
    std::wstring command = L"\"" + ProgramFolder() + L"quillmar-cli.exe\"";
    for (const std::wstring& argument : arguments) {
        // A backslash before the closing quote is doubled, or it would escape the quote.
        std::wstring quoted = argument;
        if (!quoted.empty() && quoted.back() == L'\\') quoted += L'\\';
        command += L" \"" + quoted + L"\"";
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | (ownConsole ? STARTF_USESHOWWINDOW : 0);
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = ownConsole ? nullptr : GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, ownConsole ? CREATE_NEW_CONSOLE : 0,
                                  nullptr, nullptr, &startup, &running.process);
    CloseHandle(out);
    CloseHandle(err);
    EXPECT_TRUE(started) << "cannot start quillmar-cli.exe";
    if (!started) running.process = PROCESS_INFORMATION{};
    return running;
}

CompanionRun FinishCompanion(RunningCompanion* running) {
    CompanionRun result;
    if (!running->process.hProcess) return result;
    if (WaitForSingleObject(running->process.hProcess, 120000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "quillmar-cli.exe did not end";
        TerminateProcess(running->process.hProcess, 99);
        WaitForSingleObject(running->process.hProcess, INFINITE);
    }
    GetExitCodeProcess(running->process.hProcess, &result.exitCode);
    CloseHandle(running->process.hProcess);
    CloseHandle(running->process.hThread);
    running->process = PROCESS_INFORMATION{};
    result.out = ReadWholeFile(running->outPath);
    result.err = ReadWholeFile(running->errPath);
    return result;
}

CompanionRun RunCompanion(const std::vector<std::wstring>& arguments, const TempFolder& outputFolder) {
    RunningCompanion running = StartCompanion(arguments, outputFolder, false);
    return FinishCompanion(&running);
}

DWORD PressCtrlC(DWORD processId) {
    std::wstring command = L"\"" + ProgramFolder() + L"send_ctrl_c.exe\" " + std::to_wstring(processId);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION helper = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &helper))
        return GetLastError();
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(helper.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(helper.hProcess, &exitCode);
    CloseHandle(helper.hProcess);
    CloseHandle(helper.hThread);
    return exitCode;
}

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], size, nullptr, nullptr);
    return bytes;
}
