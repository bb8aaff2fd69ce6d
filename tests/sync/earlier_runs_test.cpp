// The earlier runs' folders of a versioning folder go once older than the
// days kept: only folders named as the runs name them, every deletion
// through the system-call seam, and never anything a link leads to.
#include "sync/sync_results.h"
#include "sync/system_calls.h"
#include "sync/versioning.h"
#include "tests/cli/companion_output.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tree_snapshot.h"
#include "tests/support/unix_side.h"
#include "tests/sync/cli_sync.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// 2026-03-15 12:00:00, local time as the names are.
const SYSTEMTIME kNow = {2026, 3, 0, 15, 12, 0, 0, 0};

// The paths deleted through the seam, and a name whose deletion fails.
std::set<std::wstring> g_gone;
const wchar_t* g_refused = nullptr;

BOOL WINAPI DeleteSeen(const wchar_t* path) {
    if (g_refused && wcsstr(path, g_refused)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    g_gone.insert(path);
    return DeleteFileW(path);
}

BOOL WINAPI RemoveSeen(const wchar_t* path) {
    g_gone.insert(path);
    return RemoveDirectoryW(path);
}

// A file below folders of `folder` that are made first.
std::wstring Put(const TempFolder& folder, const std::wstring& relative, const std::string& content) {
    folder.MakeFolder(relative.substr(0, relative.rfind(L'\\')));
    return folder.MakeFile(relative, content);
}

class EarlierRunsTest : public ::testing::Test {
protected:
    EarlierRunsRemoval Remove(unsigned keepDays, const wchar_t* refused = nullptr) {
        g_gone.clear();
        g_refused = refused;
        SyncSystemCalls calls = {};
        calls.deleteFile = DeleteSeen;
        calls.removeFolder = RemoveSeen;
        SyncSetSystemCalls(&calls);
        EarlierRunsRemoval removal;
        RemoveEarlierRuns(m_versions.c_str(), keepDays, kNow, &removal);
        SyncSetSystemCalls(nullptr);
        return removal;
    }
    // The snapshot of the versioning folder without what lies in the folders `gone`.
    TreeSnapshot Without(TreeSnapshot tree, const std::set<std::wstring>& gone) {
        for (auto entry = tree.begin(); entry != tree.end();) {
            const std::wstring top = entry->first.substr(0, entry->first.find(L'\\'));
            entry = gone.count(top) ? tree.erase(entry) : std::next(entry);
        }
        return tree;
    }
    std::set<std::wstring> GoneBelowVersions() {
        std::set<std::wstring> relative;
        for (const std::wstring& path : g_gone) relative.insert(path.substr(m_versions.size()));
        return relative;
    }

    TempFolder m_folder;
    std::wstring m_versions = m_folder.MakeFolder(L"versions");
};

// Kept 30 days: only names of the runs' own pattern, dated more than 30 days
// before now, go, and with them everything inside, read-only files too.
TEST_F(EarlierRunsTest, OnlyRunFoldersOlderThanTheDaysKeptGo) {
    const struct {
        const wchar_t* name;
        bool folder;
        bool removed;
    } kRows[] = {
        {L"2026-02-13_115959", true, true},  // a second more than 30 days
        {L"2026-02-13_120000", true, false},  // 30 days to the second
        {L"2026-03-14_080000", true, false},
        {L"2030-01-01_000000", true, false},  // after now: a clock set back
        {L"2024-02-29_000000", true, true},  // a leap day
        {L"2020-01-01_000000_2", true, true},
        {L"2020-01-01_000000_17", true, true},
        {L"2020-01-01_000000_1", true, false},  // never made: the second run is _2
        {L"2020-01-01_000000_02", true, false},
        {L"2020-01-01_000000-mine", true, false},
        {L"2020-01-01_000000_", true, false},
        {L"2020-02-30_000000", true, false},  // no such day
        {L"2019-12-31_235960", true, false},
        {L"2020-1-01_0000000", true, false},
        {L"2020-01-01_000001", false, false},  // a file of the pattern
        {L"old", true, false},
    };
    std::set<std::wstring> gone;
    std::set<std::wstring> expectedCalls;
    for (const auto& row : kRows) {
        const std::wstring name = row.name;
        if (!row.folder) {
            m_folder.MakeFile(L"versions\\" + name, "a file");
            continue;
        }
        Put(m_folder, L"versions\\" + name + L"\\a.txt", "a");
        const std::wstring readOnly = Put(m_folder, L"versions\\" + name + L"\\sub\\b.txt", "b");
        ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
        m_folder.MakeFolder(L"versions\\" + name + L"\\empty");
        if (!row.removed) continue;
        gone.insert(name);
        for (const wchar_t* below : {L"\\", L"\\a.txt", L"\\sub\\", L"\\sub\\b.txt", L"\\empty\\"})
            expectedCalls.insert(name + below);
    }
    const TreeSnapshot before = SnapshotTree(m_versions);
    const EarlierRunsRemoval removal = Remove(30);
    EXPECT_EQ(removal.removed, gone.size());
    EXPECT_EQ(removal.left, 0u);
    EXPECT_EQ(removal.firstError, 0u);
    EXPECT_EQ(DescribeChanges(Without(before, gone), SnapshotTree(m_versions)), "");
    // Each entry removed through the seam, once.
    EXPECT_EQ(GoneBelowVersions(), expectedCalls);
}

// A folder whose removal fails is left with what could not go, told first;
// the others go. A versioning folder not made yet holds nothing to remove.
TEST_F(EarlierRunsTest, AFolderThatCannotGoIsToldAndTheOthersGo) {
    Put(m_folder, L"versions\\2020-01-01_000000\\locked.txt", "held");
    Put(m_folder, L"versions\\2020-01-02_000000\\a.txt", "a");
    Put(m_folder, L"versions\\2020-01-03_000000\\locked.txt", "held");
    const EarlierRunsRemoval removal = Remove(1, L"locked.txt");
    EXPECT_EQ(removal.removed, 1u);
    EXPECT_EQ(removal.left, 2u);
    EXPECT_EQ(removal.firstError, DWORD(ERROR_SHARING_VIOLATION));
    // Either of the two, as the folder lists them.
    const std::wstring first = removal.firstLeft;
    EXPECT_TRUE(first == m_versions + L"2020-01-01_000000\\" || first == m_versions + L"2020-01-03_000000\\")
        << Utf8(first);
    EXPECT_EQ(ReadFileBytes(m_versions + L"2020-01-01_000000\\locked.txt"), "held");
    EXPECT_EQ(ReadFileBytes(m_versions + L"2020-01-03_000000\\locked.txt"), "held");
    EXPECT_FALSE(Exists(m_versions + L"2020-01-02_000000"));

    m_versions = m_folder.PathOf(L"not-made\\");
    const EarlierRunsRemoval none = Remove(1);
    EXPECT_EQ(none.removed + none.left + none.firstError, 0u);
}

// A run folder that holds a link anywhere is left whole, and a link named as
// a run folder is not a run folder: nothing behind either is touched.
TEST_F(EarlierRunsTest, FoldersWithLinksAreLeftWhole) {
    const std::string unix = UnixPathOf(m_folder.Path());
    if (unix.empty()) GTEST_SKIP() << "links are made from the Linux side";
    Put(m_folder, L"outside\\keep.txt", "kept");
    Put(m_folder, L"versions\\2020-01-01_000000\\inner\\a.txt", "a");
    Put(m_folder, L"versions\\2020-01-02_000000\\a.txt", "a");
    Put(m_folder, L"versions\\2020-01-04_000000\\b.txt", "b");
    // A link to a folder, a link to a file (listed as a plain file), and a link named as a run folder.
    ASSERT_EQ(RunUnixShell("cd " + ShellQuote(unix + "versions") +
                           " && ln -s ../../../outside 2020-01-01_000000/inner/out"
                           " && ln -s ../../outside/keep.txt 2020-01-04_000000/keep.txt"
                           " && ln -s ../outside 2020-01-03_000000"),
              0);
    const TreeSnapshot before = SnapshotTree(m_folder.Path());
    const EarlierRunsRemoval removal = Remove(1);
    EXPECT_EQ(removal.removed, 1u);
    EXPECT_EQ(removal.left, 2u);
    EXPECT_EQ(removal.firstError, kSyncHoldsLink);
    TreeSnapshot expected = before;
    expected.erase(L"versions\\2020-01-02_000000\\");
    expected.erase(L"versions\\2020-01-02_000000\\a.txt");
    EXPECT_EQ(DescribeChanges(expected, SnapshotTree(m_folder.Path())), "");
    EXPECT_EQ(GoneBelowVersions(), (std::set<std::wstring>{L"2020-01-02_000000\\", L"2020-01-02_000000\\a.txt"}));
    RemoveUnixTree(m_versions);
}

// The companion removes them after a run that did every operation, and says
// how many; a dry run, or a run with an operation not done, removes none.
TEST_F(CliSyncTest, EarlierRunsGoOnlyAfterARunThatDidEverything) {
    const struct {
        const wchar_t* command;
        bool dryRun;
        bool held;
        bool removed;
    } kRows[] = {
        {L"commit", true, false, false},
        {L"commit", false, true, false},
        {L"update", false, false, true},
        {L"sync", false, false, true},
    };
    const std::wstring versions = m_folder.PathOf(L"versions\\");
    for (const auto& row : kRows) {
        SCOPED_TRACE(Utf8(row.command) + (row.dryRun ? " --dry-run" : "") + (row.held ? " held" : ""));
        for (const wchar_t* name : {L"2020-01-01_000000", L"2020-01-01_000000_2", L"2020-01-01_000000-mine"})
            Put(m_folder, L"versions\\" + std::wstring(name) + L"\\a.txt", "a");
        SYSTEMTIME now;
        GetLocalTime(&now);
        wchar_t recent[32];
        swprintf(recent, 32, L"%04u-%02u-%02u_000000", now.wYear, now.wMonth, now.wDay);
        Put(m_folder, L"versions\\" + std::wstring(recent) + L"\\a.txt", "a");
        File(row.command == std::wstring(L"update") ? 1 : 0, L"held.txt", "held");
        const TreeSnapshot before = SnapshotTree(versions);
        std::vector<std::wstring> options = {L"--backup-dir", versions, L"--backup-keep-days", L"2"};
        if (row.dryRun) options.push_back(L"--dry-run");
        if (row.command == std::wstring(L"sync")) {
            options.push_back(L"--baseline");
            options.push_back(m_output.PathOf(L"pair.baseline"));
        }
        HANDLE held = row.held ? CreateFileW((m_left + L"held.txt").c_str(), GENERIC_READ, 0, nullptr,
                                             OPEN_EXISTING, 0, nullptr)
                               : INVALID_HANDLE_VALUE;
        CompanionRun run = RunCli(row.command, options);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(run.exitCode, row.held ? 1u : 0u) << run.err;
        EXPECT_EQ(SummaryOf(run).find(row.removed ? "; earlier runs removed 2" : "earlier runs") != std::string::npos,
                  row.removed)
            << run.err;
        TreeSnapshot expected = before;
        if (row.removed) {
            for (const wchar_t* name : {L"2020-01-01_000000", L"2020-01-01_000000_2"}) {
                expected.erase(std::wstring(name) + L"\\");
                expected.erase(std::wstring(name) + L"\\a.txt");
            }
        }
        EXPECT_EQ(DescribeChanges(expected, SnapshotTree(versions)), "");
        size_t named = run.err.find("; log <");
        if (named != std::string::npos)
            DeleteFileW(Wide(run.err.substr(named + 7, run.err.find('>', named) - named - 7)).c_str());
    }
}

}  // namespace
