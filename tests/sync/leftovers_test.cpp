// A run stopped during its copies leaves its temporary files and its journal;
// the next changing command over the same folders moves those files to the
// Recycle Bin before its analysis, whatever its kind, and touches neither a
// user's file that only looks like one nor a live run's.
#include "sync/run_journal.h"
#include "sync/temporary_names.h"
#include "tests/sync/cli_sync.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The copy is made, then the run ends as a killed process would: the
// temporary file stays, since the run never gets to remove it.
BOOL WINAPI CopyThenStop(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE, void*, BOOL*, DWORD flags) {
    if (!CopyFileExW(source, target, nullptr, nullptr, nullptr, flags)) return FALSE;
    SetLastError(ERROR_REQUEST_ABORTED);
    return FALSE;
}

BOOL WINAPI DeleteAllButTemporaries(const wchar_t* path) {
    const wchar_t* name = wcsrchr(path, L'\\');
    if (name && IsTemporaryName(name + 1)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return DeleteFileW(path);
}

// The names of the files in `folder` (ending in a backslash) that match `pattern`.
std::vector<std::wstring> Matching(const std::wstring& folder, const wchar_t* pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + pattern).c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found) != FALSE)
        names.push_back(found.cFileName);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

const wchar_t kLookAlike[] = L"~QM12345.TMP";  // the user's own, in no journal
const wchar_t kLiveTemporary[] = L"~QMABCDE.TMP";  // recorded by a run that is still going

class LeftoversTest : public CliSyncTest {
protected:
    void SetUp() override {
        CliSyncTest::SetUp();
        // The journals of this test's runs, its own and the companion's, apart from any other.
        m_savedAppData.resize(MAX_PATH);
        m_savedAppData.resize(GetEnvironmentVariableW(L"LOCALAPPDATA", &m_savedAppData[0], MAX_PATH));
        SetEnvironmentVariableW(L"LOCALAPPDATA", m_appData.substr(0, m_appData.size() - 1).c_str());
        wchar_t folder[MAX_PATH];
        ASSERT_TRUE(DefaultJournalFolder(folder));
        m_journals = folder;
    }
    void TearDown() override {
        SyncSetSystemCalls(nullptr);
        // The killed runs' logs, beside the program as the window program's are.
        wchar_t log[MAX_PATH];
        if (SyncLogPath(log)) DeleteFileW(log);
        SetEnvironmentVariableW(L"LOCALAPPDATA", m_savedAppData.empty() ? nullptr : m_savedAppData.c_str());
        CliSyncTest::TearDown();
    }

    // Commits LEFT's new files to RIGHT in process, stopped as a kill would
    // stop it after each copy was made: the names of its temporary files.
    std::vector<std::wstring> KilledCommit() {
        AnalyzeAndList();
        SyncSystemCalls calls = {};
        calls.copyFile = CopyThenStop;
        calls.deleteFile = DeleteAllButTemporaries;
        SyncSetSystemCalls(&calls);
        SyncRunOptions options = {};
        options.copier = SyncCopyWithEngine;
        Synchronize(SyncCommit, options);
        SyncSetSystemCalls(nullptr);
        std::vector<std::wstring> left = Matching(m_right, L"~QM?????.TMP");
        left.erase(std::remove_if(left.begin(), left.end(),
                                  [](const std::wstring& name) { return name == kLookAlike || name == kLiveTemporary; }),
                   left.end());
        return left;
    }

    std::wstring m_savedAppData;
    std::wstring m_appData = m_output.MakeFolder(L"appdata");
    std::wstring m_journals;
};

TEST_F(LeftoversTest, TheNextRunOfEveryKindMovesAKilledRunsTemporaryFilesToTheRecycleBin) {
    const std::wstring baseline = m_output.Path() + L"pair.baseline";
    struct Row {
        const char* name;
        std::vector<std::wstring> command;
        bool baselineFirst;  // a two-way run recorded the pair before the killed run
        bool keepsNewFiles;  // LEFT's new files are on both sides after the run (update deletes them from LEFT)
        bool windowProgram;  // the next run is the window program's: a commit from RIGHT, its current location
    };
    const Row rows[] = {
        {"commit", {L"commit"}, false, true},
        {"update", {L"update"}, false, false},
        {"first two-way sync", {L"sync", L"--baseline", baseline}, false, true},
        {"two-way sync with a baseline", {L"sync", L"--baseline", baseline}, true, true},
        // Its analysis lists the leftovers as RIGHT's new files, which a commit from RIGHT copies to LEFT.
        {"the window program's commit from RIGHT", {}, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (int side = 0; side < 2; ++side) {
            RemoveFolderTree(Root(side));
            CreateDirectoryW(Root(side).c_str(), nullptr);
        }
        DeleteFileW(baseline.c_str());
        FileInBoth(L"same.txt", "same");
        FileInBoth(kLookAlike, "the user's own");
        FileInBoth(kLiveTemporary, "another run's copy");
        if (row.baselineFirst) ASSERT_EQ(RunCli(L"sync", {L"--baseline", baseline}).exitCode, 0u);
        File(0, L"new1.txt", "first");
        File(0, L"new2.txt", "second");
        const std::vector<std::wstring> leftovers = KilledCommit();
        ASSERT_EQ(leftovers.size(), 2u);
        ASSERT_EQ(Matching(m_journals, L"run-*.journal").size(), 1u) << "the killed run's journal";

        RunJournal live = {};
        const wchar_t* const locations[] = {m_left.c_str(), m_right.c_str(), nullptr};
        ASSERT_EQ(RunJournalOpen(&live, m_journals.c_str(), locations, 3), 0u);
        ASSERT_EQ(RecordTemporary(&live, (m_right + kLiveTemporary).c_str(), SeenOnDisk(m_right + kLiveTemporary)), 0u);
        const std::wstring liveName = live.path + m_journals.size();

        const std::vector<std::wstring> binBefore = RecycleBinEntries();
        const TreeSnapshot leftBefore = SnapshotTree(m_left);
        if (row.windowProgram) {
            AnalyzeAndList(1);
            const SyncRun next = Synchronize(SyncCommit);
            EXPECT_EQ(next.summary.leftoversRemoved, 2u);
            // The leftovers' items are no longer as the analysis saw them: not done, and said so.
            EXPECT_EQ(next.summary.notDone, 2u);
            ASSERT_FALSE(next.boxes.empty());
            EXPECT_NE(TextsOf(next.boxes).back(), std::wstring(kSyncCompleted));
        } else {
            std::vector<std::wstring> arguments = row.command;
            CompanionRun next =
                RunCli(arguments[0].c_str(), std::vector<std::wstring>(arguments.begin() + 1, arguments.end()));
            EXPECT_EQ(next.exitCode, 0u) << next.err;
            EXPECT_NE(next.err.find("leftovers removed 2"), std::string::npos) << next.err;
        }

        TreeSnapshot expected = {{L"same.txt", "same"}, {kLookAlike, "the user's own"},
                                 {kLiveTemporary, "another run's copy"}};
        if (row.keepsNewFiles) expected.insert({{L"new1.txt", "first"}, {L"new2.txt", "second"}});
        EXPECT_EQ(DescribeChanges(expected, SnapshotTree(m_left)), "");
        EXPECT_EQ(DescribeChanges(expected, SnapshotTree(m_right)), "");
        std::vector<std::wstring> binNew;
        std::vector<std::wstring> earlier = binBefore;  // an earlier row may have binned a file of the same path
        for (const std::wstring& entry : RecycleBinEntries()) {
            // The bin is shared with other tests' runs: only this test's folders count.
            if (entry.compare(0, m_folder.Path().size(), m_folder.Path()) != 0) continue;
            const auto seen = std::find(earlier.begin(), earlier.end(), entry);
            if (seen == earlier.end())
                binNew.push_back(entry);
            else
                earlier.erase(seen);
        }
        std::vector<std::wstring> binExpected;
        for (const std::wstring& name : leftovers) binExpected.push_back(m_right + name);
        if (!row.keepsNewFiles)
            for (const auto& file : leftBefore)
                if (file.first.compare(0, 3, L"new") == 0) binExpected.push_back(m_left + file.first);
        std::sort(binNew.begin(), binNew.end());
        std::sort(binExpected.begin(), binExpected.end());
        EXPECT_EQ(binNew, binExpected);
        // The killed run's journal is done with; the live run's is not touched.
        EXPECT_EQ(Matching(m_journals, L"run-*.journal"), std::vector<std::wstring>{liveName});
        RunJournalClose(&live, true);
        EXPECT_EQ(Matching(m_journals, L"run-*.journal"), std::vector<std::wstring>{});
    }
}

}  // namespace
