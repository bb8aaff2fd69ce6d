// The companion's copies as a user runs them: stopped by a kill or by Ctrl+C
// midway, its guards at their edges, a folder it makes new. Each case is the
// real companion over real folders, the folders compared before and after.
#include "tests/cli/companion_output.h"
#include "tests/sync/cli_sync.h"

#include <gtest/gtest.h>

namespace {

const uint64_t kNewer = 132000000000000000ull + 7200ull * 10000000;

class EngineCliTest : public CliSyncTest {
protected:
    // The temporary files in the folder and its subfolders.
    static std::vector<std::wstring> TemporaryFiles(const std::wstring& folder) {
        std::vector<std::wstring> found;
        for (const auto& [path, content] : SnapshotTree(folder)) {
            const std::wstring name = path.substr(path.rfind(L'\\') + 1);
            if (name.size() == 12 && name.compare(0, 3, L"~QM") == 0) found.push_back(path);
        }
        return found;
    }
    // Starts the companion on the two locations.
    RunningCompanion Start(const wchar_t* command, bool ownConsole) {
        return StartCompanion({command, m_left.substr(0, m_left.size() - 1), m_right.substr(0, m_right.size() - 1)},
                              m_output, ownConsole);
    }
    // Waits until a file of RIGHT matches `match`; false when the run ended first.
    bool WaitInRight(const RunningCompanion& running, const wchar_t* match) {
        const std::wstring pattern = m_right + match;
        for (int waited = 0; waited < 120000; ++waited) {
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW(pattern.c_str(), &found);
            if (search != INVALID_HANDLE_VALUE) {
                FindClose(search);
                return true;
            }
            if (WaitForSingleObject(running.process.hProcess, 1) == WAIT_OBJECT_0) return false;
        }
        return false;
    }
};

// A run killed while it copies a big file leaves the earlier version under
// the real name; the next run completes and leaves no temporary file.
TEST_F(EngineCliTest, AKilledRunLeavesNoHalfWrittenFileUnderARealName) {
    const uint64_t kBig = 256ull << 20;
    File(1, L"big.bin", "the earlier version");
    HANDLE file = CreateFileW((m_left + L"big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(kBig);
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    ASSERT_TRUE(SetLastWriteTime(m_left + L"big.bin", kNewer));
    RunningCompanion running = Start(L"commit", false);
    ASSERT_TRUE(WaitInRight(running, L"~QM?????.TMP")) << "the copy was not caught under way";
    TerminateProcess(running.process.hProcess, 9);
    FinishCompanion(&running);
    EXPECT_EQ(ReadFileBytes(m_right + L"big.bin"), "the earlier version");
    EXPECT_EQ(TemporaryFiles(m_right).size(), 1u);

    CompanionRun again = RunCli(L"commit");
    EXPECT_EQ(again.exitCode, 0u) << again.err;
    EXPECT_EQ(SeenOnDisk(m_right + L"big.bin").size, kBig);
    EXPECT_EQ(TemporaryFiles(m_right), std::vector<std::wstring>());
    EXPECT_EQ(RunCli(L"analyze").exitCode, 0u);
}

// Ctrl+C during the copies drops those in flight: every real name holds its
// earlier version or the whole new one, no temporary file stays, and the run
// ends as a cancel with what was not done reported.
TEST_F(EngineCliTest, CtrlCStopsTheCopiesAndEveryNameIsWhole) {
    const int kFiles = 4000;
    for (int index = 0; index < kFiles; ++index) {
        const std::wstring name = L"f" + std::to_wstring(index) + L".txt";
        File(0, name, "new content of " + Utf8(name), kNewer);
        if (index % 100 == 0) File(1, name, "earlier");
    }
    RunningCompanion running = Start(L"commit", true);
    // f10.txt to f19.txt: none of them was there before.
    ASSERT_TRUE(WaitInRight(running, L"f1?.txt")) << "the copies were not caught under way";
    EXPECT_EQ(PressCtrlC(running.process.dwProcessId), 0u);
    CompanionRun run = FinishCompanion(&running);
    EXPECT_EQ(run.exitCode, 2u) << run.err;
    EXPECT_NE(run.err.find("quillmar-cli: the synchronization was canceled\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(": The synchronization was canceled before this operation!"), std::string::npos);
    EXPECT_EQ(TemporaryFiles(m_right), std::vector<std::wstring>());
    unsigned copied = 0;
    for (const auto& [path, content] : SnapshotTree(m_right)) {
        const std::string whole = "new content of " + Utf8(path);
        EXPECT_TRUE(content == whole || content == "earlier") << Utf8(path) << ": " << content;
        copied += content == whole;
    }
    EXPECT_LT(copied, unsigned(kFiles));
    for (const std::wstring& log : NamedLogs(run.err)) DeleteFileW(log.c_str());
}

// --max-replace at its edge, and the versioning folder's place: each row's
// refusal changes nothing.
TEST_F(EngineCliTest, GuardsOnReplacementsAndTheVersioningFolder) {
    const struct {
        std::vector<std::wstring> options;
        DWORD status;
        const char* says;
    } kRows[] = {
        {{L"--max-replace", L"1"}, 2, "refused: the run would replace 2 files in RIGHT, more than --max-replace 1"},
        {{L"--backup-dir", L"right\\versions"}, 2, "the versioning folder lies inside RIGHT"},
        {{L"--backup-dir", L"nowhere\\versions"}, 2, "versioning folder not found, nor a folder to make it in"},
        {{L"--max-replace", L"2", L"--backup-dir", L"versions"}, 0, "; earlier versions in <"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(Utf8(row.options[1]));
        File(0, L"a.txt", "newer a", kNewer);
        File(1, L"a.txt", "older a");
        File(0, L"b.txt", "newer b", kNewer);
        File(1, L"b.txt", "older b");
        std::vector<std::wstring> options = row.options;
        for (std::wstring& option : options)
            if (option.find(L"versions") != std::wstring::npos) option = m_folder.PathOf(option);
        TreeSnapshot before = SnapshotTree(m_folder.Path());
        CompanionRun run = RunCli(L"commit", options);
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
        if (row.status != 0) {
            EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
            continue;
        }
        EXPECT_EQ(ReadFileBytes(m_right + L"a.txt"), "newer a");
        const size_t start = run.err.find("versions\\") + 9;
        const std::wstring stamp = Wide(run.err.substr(start, 17));
        EXPECT_EQ(ReadFileBytes(m_folder.PathOf(L"versions\\" + stamp + L"\\b.txt")), "older b");
    }
}

// commit makes a RIGHT that is not there yet when its parent is (update a
// LEFT); a dry run makes nothing; without the parent the run is refused.
TEST_F(EngineCliTest, ATargetThatIsNotThereYetIsMade) {
    File(0, L"sub\\a.txt", "a");
    const struct {
        const wchar_t* command;
        const wchar_t* target;
        bool dryRun;
        DWORD status;
        bool made;
    } kRows[] = {
        {L"commit", L"new-right", false, 0, true},
        {L"commit", L"dry-right", true, 0, false},
        {L"commit", L"no-parent\\new-right", false, 2, false},
        {L"update", L"new-left", false, 0, true},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(Utf8(row.target));
        const std::wstring target = m_folder.PathOf(row.target);
        const bool update = row.command == std::wstring(L"update");
        std::vector<std::wstring> arguments = {row.command};
        if (row.dryRun) arguments.push_back(L"--dry-run");
        arguments.push_back(update ? target : m_left);
        arguments.push_back(update ? m_left : target);
        TreeSnapshot before = SnapshotTree(m_folder.Path());
        CompanionRun run = RunCompanion(arguments, m_output);
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        EXPECT_EQ(Exists(target + L"\\sub\\a.txt"), row.made);
        if (!row.made) EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
        if (row.dryRun) EXPECT_NE(run.out.find("copy\t"), std::string::npos) << run.out;
    }
}

// A file against a folder that the exclusions hide: the file is not copied,
// and the reason says what stands there.
TEST_F(EngineCliTest, AFileAgainstAnExcludedFolderIsToldWhatStandsThere) {
    File(0, L"cache", "a file on the left");
    File(1, L"cache\\kept.bin", "in the excluded folder");
    TreeSnapshot before = SnapshotTree(m_folder.Path());
    CompanionRun run = RunCli(L"commit", {L"--exclude", L"cache\\"});
    EXPECT_EQ(run.exitCode, 1u) << run.err;
    EXPECT_NE(run.err.find(": A folder that the exclusions leave out stands where the file was to be copied!"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
    for (const std::wstring& log : NamedLogs(run.err)) DeleteFileW(log.c_str());
}

}  // namespace
