// The length rule for file and folder paths and the log of refused pairs.
#include "analysis/skip_log.h"
#include "model/memory.h"
#include "tests/sync/sync_run.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::wstring>;

const wchar_t kLogEndWide[] = L"The path is too long! Both files were skipped.";

// Two locations whose roots have the same length, so that an item path and
// its other path are equally long.
class SyncLimitsTest : public testing::Test {
protected:
    void SetUp() override {
        m_baseline = MemOutstanding();
        ASSERT_TRUE(SyncLogPath(m_logPath));
        DeleteFileW(m_logPath);
    }
    void TearDown() override {
        FreeSyncItemList(m_items);
        SkipLogSetWriteFunction(nullptr);
        DeleteFileW(m_logPath);
        EXPECT_EQ(MemOutstanding(), m_baseline) << "blocks left behind";
    }

    // A path below `root` of `length` characters whose last backslash stands at `lastBackslash`.
    static std::wstring PathOf(const std::wstring& root, size_t length, size_t lastBackslash) {
        std::wstring path = root;
        while (path.size() < lastBackslash) {
            size_t part = std::min<size_t>(200, lastBackslash - path.size());
            path += std::wstring(part, L'f');
            if (path.size() < lastBackslash) path += L'\\';
        }
        path += L'\\';
        path += std::wstring(length - path.size(), L'n');
        return path;
    }
    std::wstring Below(const std::wstring& path) const { return path.substr(m_current.size()); }
    void Add(const std::wstring& path, DiffState state, bool isFolder = false) {
        AppendSeenItem(&m_items, path, state, isFolder, m_current, m_other);
    }
    SyncRun Synchronize(SyncDirection direction = SyncCommit) {
        return RunSyncWorker(direction, m_items, m_current, m_other);
    }
    std::wstring LogText() const {
        std::string bytes = ReadFileBytes(m_logPath);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    }

    TempFolder m_folder;
    std::wstring m_current = m_folder.MakeFolder(L"cur");
    std::wstring m_other = m_folder.MakeFolder(L"oth");
    SyncItemList* m_items = nullptr;
    wchar_t m_logPath[MAX_PATH] = {};
    long m_baseline = 0;
};

TEST_F(SyncLimitsTest, FilePathsAtTheBoundariesAndTheirLogRecords) {
    std::wstring accepted = PathOf(m_current, 259, 246);
    std::wstring lateBackslash = PathOf(m_current, 259, 247);
    std::wstring tooLong = PathOf(m_current, 260, m_current.size() + 5);
    std::wstring missingTooLong = PathOf(m_other, 260, m_other.size() + 6);
    ASSERT_TRUE(MakeLongFile(accepted, "accepted"));
    ASSERT_TRUE(MakeLongFile(lateBackslash));
    ASSERT_TRUE(MakeLongFile(tooLong));
    ASSERT_TRUE(MakeLongFile(missingTooLong));
    Add(accepted, DiffNew);
    Add(lateBackslash, DiffModified);
    Add(tooLong, DiffNew);
    Add(m_current + Below(missingTooLong), DiffMissing);

    SyncRun run = Synchronize();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.doneMessages, 1u);
    // The refused pairs were checked and not done; the warning told of them,
    // and a run that left nothing else undone completed.
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[1].text, kSyncCompleted);
    EXPECT_EQ(run.boxes[0].text,
              L"Some file paths are too long and will not be included in the synchronization process. "
              L"A list of these files was saved to <SynchronizeLog.txt>!");
    EXPECT_EQ(run.boxes[0].caption, L"Warning");
    EXPECT_EQ(run.boxes[0].kind, SyncNoticeWarning);
    EXPECT_EQ(run.summary.copied, 1u);
    EXPECT_EQ(run.summary.notDone, 3u);

    EXPECT_EQ(ReadFileBytes(m_other + Below(accepted)), "accepted");
    EXPECT_FALSE(Exists(m_other + Below(lateBackslash)));
    EXPECT_FALSE(Exists(m_other + Below(tooLong)));
    EXPECT_TRUE(Exists(missingTooLong));

    std::wstring expected = L"\xFEFF" L"The following files were sikpped during the synchronization process:\r\n\r\n";
    for (const std::wstring& path : {lateBackslash, tooLong, m_current + Below(missingTooLong)}) {
        expected += path + L"\r\n" + m_other + Below(path) + L"\r\n" +
                    L"The path is too long! Both files were skipped.\r\n\r\n";
    }
    EXPECT_EQ(LogText(), expected);
}

TEST_F(SyncLimitsTest, RefusedInUpdateAsWell) {
    std::wstring lateBackslash = PathOf(m_current, 259, 247);
    Add(lateBackslash, DiffMissing);
    SyncRun run = Synchronize(SyncUpdate);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(TextsOf(run.boxes), (Texts{kSyncPathsSkipped, kSyncCompleted}));
    std::wstring log = LogText();
    size_t header = log.find(L"\r\n\r\n");
    ASSERT_NE(header, std::wstring::npos);
    EXPECT_EQ(log.substr(header + 4), lateBackslash + L"\r\n" + m_other + Below(lateBackslash) + L"\r\n" +
                                          L"The path is too long! Both files were skipped.\r\n\r\n");
}

TEST_F(SyncLimitsTest, FolderPathsOf260OrMoreAreLeftOutAndReported) {
    std::wstring fits = PathOf(m_current, 259, 200);
    std::wstring tooLong = PathOf(m_current, 260, 200);
    std::wstring removable = PathOf(m_other, 261, 200);
    ASSERT_TRUE(MakeLongFolder(removable));
    Add(fits.substr(0, 200), DiffNew, true);
    Add(fits, DiffNew, true);
    Add(tooLong, DiffNew, true);
    Add(m_current + Below(removable), DiffMissing, true);
    // A file of its name keeps this one from being made: not done for another reason.
    std::wstring blocked = m_current + L"blocked";
    ASSERT_TRUE(MakeLongFolder(blocked));
    m_folder.MakeFile(L"oth\\blocked", "x");
    Add(blocked, DiffNew, true);

    SyncRun run = Synchronize();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.doneMessages, 1u);
    // The warning tells of the folders refused for their length, the last notice of the blocked one.
    EXPECT_EQ(TextsOf(run.boxes), (Texts{kSyncPathsSkipped, kSyncNotAllDone}));
    EXPECT_EQ(run.summary.created, 2u);
    EXPECT_EQ(run.summary.notDone, 3u);
    EXPECT_TRUE(Exists(m_other + Below(fits) + L"\\"));
    EXPECT_FALSE(Exists(m_other + Below(tooLong)));
    EXPECT_TRUE(Exists(removable));
    std::wstring log = LogText();
    EXPECT_NE(log.find(tooLong + L"\r\n" + m_other + Below(tooLong) + L"\r\n" + kLogEndWide), std::wstring::npos);
    EXPECT_NE(log.find(m_current + Below(removable) + L"\r\n" + removable + L"\r\n" + kLogEndWide),
              std::wstring::npos);
}

// A folder whose path is too long and the file in it, each refused once
// whichever pass would have acted on it: one record each, and one notice.
TEST_F(SyncLimitsTest, ATooLongFolderIsToldOnceByTheWarningAlone) {
    const std::wstring folder = PathOf(m_current, 260, 200);
    const std::wstring file = folder + L"\\inner.txt";
    std::wstring expected = std::wstring(L"\xFEFF") + kSyncLogHeader + L"\r\n\r\n";
    for (const std::wstring& path : {folder, file})
        expected += path + L"\r\n" + m_other + Below(path) + L"\r\n" + kLogEndWide + L"\r\n\r\n";
    const struct {
        SyncDirection direction;
        DiffState state;
    } rows[] = {{SyncCommit, DiffNew}, {SyncCommit, DiffMissing}, {SyncUpdate, DiffNew}, {SyncUpdate, DiffMissing}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "direction " << row.direction << ", state " << row.state);
        FreeSyncItemList(m_items);
        m_items = nullptr;
        Add(folder, row.state, true);
        Add(file, row.state);
        SyncRun run = Synchronize(row.direction);
        EXPECT_EQ(TextsOf(run.boxes), (Texts{kSyncPathsSkipped, kSyncCompleted}));
        EXPECT_EQ(run.summary.notDone, 2u);
        EXPECT_EQ(run.operations.size(), 2u);
        EXPECT_EQ(LogText(), expected);
    }
}

TEST_F(SyncLimitsTest, AnOlderLogIsRemovedByARunWithoutRefusals) {
    HANDLE old = CreateFileW(m_logPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(old, INVALID_HANDLE_VALUE);
    CloseHandle(old);
    std::wstring file = m_folder.MakeFile(L"cur\\a.txt", "a");
    Add(file, DiffNew);
    SyncRun run = Synchronize();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(TextsOf(run.boxes), Texts{L"File operations completed."});
    EXPECT_EQ(ReadFileBytes(m_other + L"a.txt"), "a");
    EXPECT_FALSE(Exists(m_logPath));
}

TEST_F(SyncLimitsTest, ItemsOutsideTheCurrentRootAreLeftAlone) {
    // Such an item has no place in the other location; updating must not delete it.
    std::wstring stranger = m_folder.MakeFile(L"stranger.txt", "mine");
    std::wstring strangerFolder = m_folder.MakeFolder(L"cur-not");
    Add(stranger, DiffNew);
    Add(strangerFolder, DiffNew, true);
    SyncRun run = Synchronize(SyncUpdate);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(TextsOf(run.boxes), Texts{L"File operations completed."});
    EXPECT_EQ(ReadFileBytes(stranger), "mine");
    EXPECT_TRUE(Exists(strangerFolder));
}

LONG g_writes = 0;

BOOL WINAPI HeaderOnlyWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    if (InterlockedIncrement(&g_writes) == 1) return WriteFile(file, bytes, size, written, overlapped);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST_F(SyncLimitsTest, ALogThatCannotBeWrittenIsReportedOnce) {
    g_writes = 0;
    SkipLogSetWriteFunction(HeaderOnlyWrite);
    std::wstring file = m_folder.MakeFile(L"cur\\a.txt", "a");
    Add(PathOf(m_current, 260, 100), DiffNew);
    Add(file, DiffNew);
    Add(PathOf(m_current, 259, 247), DiffModified);
    SyncRun run = Synchronize();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.doneMessages, 1u);
    // Told once, however many records are lost; the run is not called completed.
    EXPECT_EQ(TextsOf(run.boxes), (Texts{L"Error log can not be saved!", kSyncNotAllDoneUnlisted}));
    EXPECT_EQ(run.boxes[0].caption, L"Error");
    // The pair that fitted was still copied; the log held no record and is gone.
    EXPECT_EQ(ReadFileBytes(m_other + L"a.txt"), "a");
    EXPECT_FALSE(Exists(m_logPath));
}

}  // namespace
