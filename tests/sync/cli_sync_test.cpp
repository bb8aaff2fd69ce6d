// The console companion's commit and update: the real quillmar-cli.exe over real folders.
#include "tests/support/companion.h"
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
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.err.find("Some file paths are too long and will not be included in the synchronization process."),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFileBytes(m_right + L"fits.txt"), "x");
    EXPECT_FALSE(Exists(m_right + refused.substr(m_left.size())));
    DeleteFileW((ProgramFolder() + L"SynchronizeLog.txt").c_str());
}

}  // namespace
