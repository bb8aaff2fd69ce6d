// The console companion's commit and update: the real quillmar-cli.exe over real folders.
#include "tests/sync/sync_run.h"

#include <gtest/gtest.h>

namespace {

struct CliRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.rfind(L'\\') + 1);
}

HANDLE InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &security, CREATE_ALWAYS, 0, nullptr);
}

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], size, nullptr, nullptr);
    return bytes;
}

class CliSyncTest : public SyncTest {
protected:
    CliRun RunCli(const wchar_t* command) {
        CliRun result;
        std::wstring outPath = m_output.PathOf(L"out.txt");
        std::wstring errPath = m_output.PathOf(L"err.txt");
        HANDLE out = InheritableFile(outPath);
        HANDLE err = InheritableFile(errPath);
        // Trailing backslashes are left off so that none escapes a closing quote.
        std::wstring line = L"\"" + ProgramFolder() + L"quillmar-cli.exe\" " + command + L" \"" +
                            m_left.substr(0, m_left.size() - 1) + L"\" \"" + m_right.substr(0, m_right.size() - 1) +
                            L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION process = {};
        BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
        CloseHandle(out);
        CloseHandle(err);
        EXPECT_TRUE(started) << "cannot start quillmar-cli.exe";
        if (!started) return result;
        if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "quillmar-cli.exe did not end";
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        result.out = ReadFileBytes(outPath);
        result.err = ReadFileBytes(errPath);
        return result;
    }

    TempFolder m_output;
};

TEST_F(CliSyncTest, CommitPrintsEveryOperationAndLeavesNoDifference) {
    File(0, L"new.txt", "new");
    File(0, L"modified.txt", "left", kTime + 10000000);
    File(1, L"modified.txt", "right");
    File(0, L"fresh\\inner.txt");
    Folder(1, L"gone\\deeper");
    CliRun run = RunCli(L"commit");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err, "");
    std::string expected = "copy\t" + Utf8(m_left + L"fresh\\inner.txt") + "\t" + Utf8(m_right + L"fresh\\inner.txt") +
                           "\ncopy\t" + Utf8(m_left + L"modified.txt") + "\t" + Utf8(m_right + L"modified.txt") +
                           "\ncopy\t" + Utf8(m_left + L"new.txt") + "\t" + Utf8(m_right + L"new.txt") +
                           "\nmkdir\t" + Utf8(m_right + L"fresh") + "\nrmdir\t" + Utf8(m_right + L"gone\\deeper") +
                           "\nrmdir\t" + Utf8(m_right + L"gone") + "\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(Differences(), std::vector<std::wstring>());
    EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "left");
}

TEST_F(CliSyncTest, UpdateRestoresTheCurrentLocation) {
    File(1, L"restored.txt", "restored");
    File(0, L"extra.txt");
    Folder(0, L"busy");
    CliRun run = RunCli(L"update");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ReadFileBytes(m_left + L"restored.txt"), "restored");
    EXPECT_FALSE(Exists(m_left + L"extra.txt"));
    EXPECT_FALSE(Exists(m_left + L"busy"));
    EXPECT_NE(run.out.find("delete\t" + Utf8(m_left + L"extra.txt") + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rmdir\t" + Utf8(m_left + L"busy") + "\n"), std::string::npos) << run.out;
}

TEST_F(CliSyncTest, RefusedPathsAreToldOnTheErrorStream) {
    std::wstring folder = m_left + std::wstring(247 - m_left.size(), L'f');
    std::wstring refused = folder + L"\\" + std::wstring(259 - folder.size() - 1, L'n');
    ASSERT_TRUE(MakeLongFile(refused));
    File(0, L"fits.txt");
    CliRun run = RunCli(L"commit");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.err.find("Some file paths are too long and will not be included in the synchronization process."),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFileBytes(m_right + L"fits.txt"), "x");
    EXPECT_FALSE(Exists(m_right + refused.substr(m_left.size())));
    DeleteFileW((ProgramFolder() + L"SynchronizeLog.txt").c_str());
}

}  // namespace
