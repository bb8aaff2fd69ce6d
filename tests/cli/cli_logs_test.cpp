// Where the real quillmar-cli.exe writes its logs, runs side by side, and a
// cancel from the console.
#include "tests/cli/cli_fixture.h"
#include "tests/support/tree_snapshot.h"

#include <thread>

namespace {

const uint64_t kLongToRead = 2ull << 30;

std::wstring TempFolderPath() {
    wchar_t path[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, path);
    return std::wstring(path, length);
}

bool StartsWith(const std::wstring& text, const std::wstring& start) {
    return text.size() >= start.size() && CompareStringOrdinal(text.c_str(), static_cast<int>(start.size()),
                                                               start.c_str(), static_cast<int>(start.size()),
                                                               TRUE) == CSTR_EQUAL;
}

// Folders in the way of the logs' files, so that they cannot be created there.
class LogBlockers {
public:
    explicit LogBlockers(const std::wstring& folder) : m_folder(folder) {
        for (const wchar_t* name : kNames) EXPECT_TRUE(CreateDirectoryW((folder + name).c_str(), nullptr));
    }
    ~LogBlockers() {
        for (const wchar_t* name : kNames) RemoveDirectoryW((m_folder + name).c_str());
    }

private:
    static constexpr const wchar_t* kNames[] = {L"AnalyzeLog.txt", L"SynchronizeLog.txt"};
    std::wstring m_folder;
};

class CliLogTest : public CliTest {
protected:
    // A file that cannot be opened, so that the content comparison logs it.
    HANDLE LockedPair() {
        File(L"left\\locked.bin", "abc");
        m_locked = File(L"right\\locked.bin", "abc");
        return CreateFileW(m_locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }

    std::wstring m_locked;
};

TEST_F(CliLogTest, EachRunLogsToAFileOfItsOwnInTheTemporaryFolder) {
    HANDLE holder = LockedPair();
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    CompanionRun first = Run({L"analyze", L"--content", m_left, m_right});
    CompanionRun second = Run({L"analyze", L"--content", m_left, m_right});
    CloseHandle(holder);
    EXPECT_EQ(first.exitCode, 1u) << first.err;
    ASSERT_EQ(NamedLogs(first.err).size(), 1u) << first.err;
    ASSERT_EQ(NamedLogs(second.err).size(), 1u) << second.err;
    const std::wstring log = NamedLogs(first.err)[0];
    EXPECT_NE(log, NamedLogs(second.err)[0]);
    EXPECT_TRUE(StartsWith(log, TempFolderPath() + L"quillmar-cli-")) << Utf8(log);
    EXPECT_NE(log.find(L"-AnalyzeLog.txt"), std::wstring::npos) << Utf8(log);
    EXPECT_NE(LogText(log).find(m_locked), std::wstring::npos);
    EXPECT_EQ(GetFileAttributesW((ProgramFolder() + L"AnalyzeLog.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    // A run with nothing to log leaves no log behind and names none.
    CompanionRun clean = Run({L"analyze", L"--content", m_left, m_right});
    EXPECT_EQ(clean.exitCode, 0u) << clean.err;
    EXPECT_TRUE(NamedLogs(clean.err).empty()) << clean.err;
}

TEST_F(CliLogTest, LogOptionPutsTheLogsIntoTheFolderGiven) {
    std::wstring logs = m_output.MakeFolder(L"logs");
    HANDLE holder = LockedPair();
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    CompanionRun run = Run({L"analyze", L"--content", L"--log", logs, m_left, m_right});
    CloseHandle(holder);
    EXPECT_EQ(run.exitCode, 1u) << run.err;
    EXPECT_EQ(NamedLogs(run.err), std::vector<std::wstring>{logs + L"AnalyzeLog.txt"}) << run.err;
    EXPECT_NE(LogText(logs + L"AnalyzeLog.txt").find(m_locked), std::wstring::npos);
}

TEST_F(CliLogTest, ALogThatCannotBeCreatedIsTroubleAndChangesNothing) {
    std::wstring logs = m_output.MakeFolder(L"logs");
    LogBlockers blockers(logs);
    File(L"left\\new.txt");
    TreeSnapshot before = SnapshotTree(m_folder.Path());
    for (const wchar_t* command : {L"analyze", L"commit"}) {
        CompanionRun run = Run({command, L"--log", logs, m_left, m_right});
        EXPECT_EQ(run.exitCode, 2u) << run.err;
        EXPECT_NE(run.err.find("Can not create error log file!"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
}

// The window program's logs stand beside it; the companion's never need that folder.
TEST_F(CliLogTest, AProgramFolderThatTakesNoLogDoesNotStopTheCompanion) {
    File(L"left\\new.txt", "new");
    File(L"left\\sub\\deep.txt", "deep");
    File(L"right\\old.txt", "old");
    HANDLE holder = LockedPair();
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    CompanionRun analysed;
    CompanionRun committed;
    {
        LogBlockers blockers(ProgramFolder());
        analysed = Run({L"analyze", L"--content", m_left, m_right});
        committed = Run({L"commit", m_left, m_right});
    }
    CloseHandle(holder);
    EXPECT_EQ(analysed.exitCode, 1u) << analysed.err;
    EXPECT_NE(analysed.out.find("UNKNOWN\tfile\tlocked.bin\n"), std::string::npos) << analysed.out;
    EXPECT_EQ(NamedLogs(analysed.err).size(), 1u) << analysed.err;
    EXPECT_EQ(committed.exitCode, 0u) << committed.err;
    EXPECT_EQ(ReadWholeFile(m_right + L"sub\\deep.txt"), "deep");
    EXPECT_EQ(GetFileAttributesW((m_right + L"old.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CliLogTest, TwoRunsAtOnceBothSucceedWithLogsOfTheirOwn) {
    SparseFile(L"left\\big.bin", kLongToRead / 8);
    SparseFile(L"right\\big.bin", kLongToRead / 8);
    HANDLE holder = LockedPair();
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    TempFolder otherOutput;
    CompanionRun runs[2];
    std::thread second([&] { runs[1] = RunCompanion({L"analyze", L"--content", m_left, m_right}, otherOutput); });
    runs[0] = RunCompanion({L"analyze", L"--content", m_left, m_right}, m_output);
    second.join();
    CloseHandle(holder);
    for (const CompanionRun& run : runs) {
        EXPECT_EQ(run.exitCode, 1u) << run.err;
        EXPECT_EQ(run.out, "UNKNOWN\tfile\tlocked.bin\n");
        ASSERT_EQ(NamedLogs(run.err).size(), 1u) << run.err;
        m_logs.push_back(NamedLogs(run.err)[0]);
        EXPECT_NE(LogText(m_logs.back()).find(m_locked), std::wstring::npos);
    }
    EXPECT_NE(m_logs[0], m_logs[1]);
}

TEST_F(CliLogTest, ACancelIsTroubleAndSaysSo) {
    SparseFile(L"left\\big.bin", kLongToRead);
    SparseFile(L"right\\big.bin", kLongToRead);
    std::wstring logs = m_output.MakeFolder(L"logs");
    std::wstring command = L"\"" + ProgramFolder() + L"quillmar-cli.exe\" analyze --content --log \"" + logs +
                           L"\\\" \"" + m_left + L"\\\" \"" + m_right + L"\\\"";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE err = CreateFileW(m_output.PathOf(L"err.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE out = CreateFileW(m_output.PathOf(L"out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(out);
    CloseHandle(err);
    ASSERT_TRUE(started);
    // The log is opened once the companion listens for Ctrl+C, before its analysis starts.
    for (int waited = 0; waited < 60000 && GetFileAttributesW((logs + L"AnalyzeLog.txt").c_str()) ==
                                               INVALID_FILE_ATTRIBUTES;
         waited += 5)
        Sleep(5);
    EXPECT_EQ(PressCtrlC(process.dwProcessId), 0u);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(exitCode, 2u);
    EXPECT_EQ(ReadWholeFile(m_output.PathOf(L"out.txt")), "");
    EXPECT_NE(ReadWholeFile(m_output.PathOf(L"err.txt")).find("Operation canceled by user"), std::string::npos);
}

}  // namespace
