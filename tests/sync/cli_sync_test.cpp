// The console companion's commit and update: the real quillmar-cli.exe over real folders.
#include "tests/support/companion.h"
#include "tests/support/tree_snapshot.h"
#include "tests/sync/sync_run.h"

#include <gtest/gtest.h>

namespace {

class CliSyncTest : public SyncTest {
protected:
    // Trailing backslashes are left off the locations, as a user would type them.
    CompanionRun RunCli(const wchar_t* command) {
        return RunCompanion({command, m_left.substr(0, m_left.size() - 1), m_right.substr(0, m_right.size() - 1)},
                            m_output);
    }

    TempFolder m_output;
};

TEST_F(CliSyncTest, CommitPrintsEveryOperationAndLeavesNoDifference) {
    File(0, L"new.txt", "new");
    File(0, L"modified.txt", "left", kTime + 10000000);
    File(1, L"modified.txt", "right");
    File(0, L"fresh\\inner.txt");
    Folder(1, L"gone\\deeper");
    CompanionRun run = RunCli(L"commit");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err, "");
    // In the order they were carried out: folders made, files copied, folders removed.
    std::string expected = "mkdir\t" + Utf8(m_right + L"fresh") + "\ncopy\t" + Utf8(m_left + L"fresh\\inner.txt") +
                           "\t" + Utf8(m_right + L"fresh\\inner.txt") + "\ncopy\t" + Utf8(m_left + L"modified.txt") +
                           "\t" + Utf8(m_right + L"modified.txt") + "\ncopy\t" + Utf8(m_left + L"new.txt") + "\t" +
                           Utf8(m_right + L"new.txt") + "\nrmdir\t" + Utf8(m_right + L"gone\\deeper") + "\nrmdir\t" +
                           Utf8(m_right + L"gone") + "\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(Differences(), std::vector<std::wstring>());
    EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "left");
}

TEST_F(CliSyncTest, UpdateRestoresTheCurrentLocation) {
    File(1, L"restored.txt", "restored");
    File(0, L"extra.txt");
    Folder(0, L"busy");
    CompanionRun run = RunCli(L"update");
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
    CompanionRun run = RunCli(L"commit");
    // The refused file was a checked operation that was not done.
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("copy\t" + Utf8(refused) + "\t" + Utf8(m_right + refused.substr(m_left.size())) +
                           ": The path is too long! Both files were skipped.\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Some file paths are too long and will not be included in the synchronization process."),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFileBytes(m_right + L"fits.txt"), "x");
    EXPECT_FALSE(Exists(m_right + refused.substr(m_left.size())));
    DeleteFileW((ProgramFolder() + L"SynchronizeLog.txt").c_str());
}

TEST_F(CliSyncTest, AFileThatCannotBeCopiedIsToldAndTheStatusIsOne) {
    File(0, L"held.txt", "held");
    File(0, L"free.txt", "free");
    TreeSnapshot left = SnapshotTree(m_left);
    // Held without sharing for the whole run, as another program may hold it.
    HANDLE held = CreateFileW((m_left + L"held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CompanionRun run = RunCli(L"commit");
    CloseHandle(held);
    EXPECT_EQ(run.exitCode, 1u) << run.err;
    EXPECT_NE(run.err.find("copy\t" + Utf8(m_left + L"held.txt") + "\t" + Utf8(m_right + L"held.txt") + ": "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Some file operations could not be completed."), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("held.txt"), std::string::npos) << run.out;
    EXPECT_FALSE(Exists(m_right + L"held.txt"));
    EXPECT_EQ(DescribeChanges(left, SnapshotTree(m_left)), "");
    DeleteFileW((ProgramFolder() + L"SynchronizeLog.txt").c_str());
}

// Locations inside each other would have a synchronization copy a location
// into itself or delete its own root; raw device paths the shell cannot take.
TEST_F(CliSyncTest, OverlappingLocationsAndRawPathsAreRefusedBeforeAnything) {
    File(0, L"sub\\keep.txt", "keep");
    File(0, L"top.txt", "top");
    TreeSnapshot left = SnapshotTree(m_left);
    std::wstring leftRoot = m_left.substr(0, m_left.size() - 1);
    std::wstring upper = leftRoot;
    for (wchar_t& c : upper) c = towupper(c);
    const std::vector<std::vector<std::wstring>> refused = {
        {L"update", leftRoot, leftRoot + L"\\sub"},
        {L"commit", leftRoot + L"\\sub", leftRoot},
        {L"update", leftRoot, upper + L"\\."},
        {L"commit", leftRoot + L"\\sub\\..", leftRoot},
        {L"update", L"\\\\?\\" + leftRoot, m_right},
        {L"analyze", leftRoot, L"\\\\?\\" + m_right},
    };
    for (const auto& arguments : refused) {
        CompanionRun run = RunCompanion(arguments, m_output);
        EXPECT_EQ(run.exitCode, 2u) << Utf8(arguments[1]) << " " << Utf8(arguments[2]);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("quillmar-cli: "), std::string::npos) << run.err;
    }
    EXPECT_EQ(DescribeChanges(left, SnapshotTree(m_left)), "");
    // A sibling whose name begins like the other location's is no overlap.
    std::wstring sibling = m_folder.MakeFolder(L"left-more");
    CompanionRun run = RunCompanion({L"analyze", leftRoot, sibling}, m_output);
    EXPECT_NE(run.exitCode, 2u) << run.err;
}

}  // namespace
