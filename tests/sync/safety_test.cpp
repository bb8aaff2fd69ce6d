// What the synchronization does when the files move under it: a file changed
// after the analysis, a file held open, a target volume without room, a shell
// that keeps what it should delete. Nothing the user did not choose is lost,
// and whatever was not done is reported, never called completed.
#include "analysis/skip_log.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"
#include "tests/support/companion.h"
#include "tests/support/tree_snapshot.h"
#include "tests/support/unix_side.h"
#include "tests/sync/sync_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

using Texts = std::vector<std::wstring>;

const uint64_t kLater = 132000000000000000ull + 10000000ull * 7200;

// Left is the current location; a commit copies three files, deletes one and
// leaves one identical file alone.
class SyncSafetyTest : public SyncTest {
protected:
    void SetUp() override {
        SyncTest::SetUp();
        ASSERT_TRUE(SyncLogPath(m_logPath));
        DeleteFileW(m_logPath);
        MakeCommitCase();
    }
    void TearDown() override {
        SyncSetSystemCalls(nullptr);
        DeleteFileW(m_logPath);
        SyncTest::TearDown();
    }
    // The results the worker reported, by the item's path below the current root.
    std::map<std::wstring, DWORD> Results(const SyncRun& run) const {
        std::map<std::wstring, DWORD> results;
        for (const ObservedOperation& operation : run.operations)
            results[operation.itemPath.substr(m_left.size())] = operation.result;
        return results;
    }
    std::wstring LogText() const {
        std::string bytes = ReadFileBytes(m_logPath);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    }

    wchar_t m_logPath[MAX_PATH] = {};
};

TEST_F(SyncSafetyTest, FilesChangedAfterTheAnalysisAreLeftAloneAndReported) {
    AnalyzeAndList(0);
    // Meanwhile: an edit of the file to be overwritten, of the file to be deleted,
    // of a source, and a file made where the analysis saw none.
    File(1, L"modified.txt", "edited on the right meanwhile", kLater);
    File(1, L"missing.txt", "edited before it could be deleted", kLater);
    File(0, L"sub\\also-new.txt", "the source grew meanwhile");
    File(1, L"new.txt", "made on the right meanwhile");
    TreeSnapshot left = SnapshotTree(m_left);
    TreeSnapshot right = SnapshotTree(m_right);

    SyncRun run = Synchronize(SyncCommit);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(TextsOf(run.boxes), Texts{kSyncNotAllDone});
    EXPECT_EQ(run.summary.notDone, 4u);
    // The folder was the user's choice and made; no file of the right changed.
    EXPECT_EQ(DescribeChanges(right, SnapshotTree(m_right)), "appeared: sub\\\n");
    // A commit writes only to the other location.
    EXPECT_EQ(DescribeChanges(left, SnapshotTree(m_left)), "");
    std::map<std::wstring, DWORD> expected = {{L"modified.txt", kSyncChangedSinceAnalysis},
                                              {L"missing.txt", kSyncChangedSinceAnalysis},
                                              {L"new.txt", kSyncChangedSinceAnalysis},
                                              {L"sub", ERROR_SUCCESS},
                                              {L"sub\\also-new.txt", kSyncChangedSinceAnalysis}};
    EXPECT_EQ(Results(run), expected);
    std::wstring log = LogText();
    // Each record says what was not done and to which path.
    EXPECT_NE(log.find(L"Copy from: " + m_left + L"modified.txt\r\nCopy to: " + m_right +
                       L"modified.txt\r\nThe file has changed since the analysis! Both files were skipped.\r\n\r\n"),
              std::wstring::npos);
    EXPECT_NE(log.find(L"\r\n\r\nDelete: " + m_right +
                       L"missing.txt\r\nThe file has changed since the analysis! Both files were skipped.\r\n\r\n"),
              std::wstring::npos);
}

TEST_F(SyncSafetyTest, FilesHeldOpenAreReportedAndTheRestIsDone) {
    AnalyzeAndList(0);
    TreeSnapshot left = SnapshotTree(m_left);
    // Held without sharing, as another program may hold them: a copy's source and a deletion.
    HANDLE source = CreateFileW((m_left + L"new.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE doomed = CreateFileW((m_right + L"missing.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE target = CreateFileW((m_right + L"modified.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(source, INVALID_HANDLE_VALUE);
    ASSERT_NE(doomed, INVALID_HANDLE_VALUE);
    ASSERT_NE(target, INVALID_HANDLE_VALUE);
    SyncRun run = Synchronize(SyncCommit);
    CloseHandle(source);
    CloseHandle(doomed);
    CloseHandle(target);

    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(TextsOf(run.boxes), Texts{kSyncNotAllDone});
    std::map<std::wstring, DWORD> results = Results(run);
    EXPECT_NE(results[L"new.txt"], ERROR_SUCCESS);
    EXPECT_NE(results[L"missing.txt"], ERROR_SUCCESS);
    EXPECT_EQ(ReadFileBytes(m_right + L"missing.txt"), "only on the right");
    EXPECT_FALSE(Exists(m_right + L"new.txt"));
    // The reason names what happened: the file to be replaced was held.
    EXPECT_EQ(results[L"modified.txt"], static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "right version");
    // Whatever the shell made of the rest of its batch, what it reported as done is on disk.
    for (const ObservedOperation& operation : run.operations) {
        if (operation.result == ERROR_SUCCESS && operation.action == SyncCopyToOther) {
            EXPECT_EQ(ReadFileBytes(operation.otherPath), ReadFileBytes(operation.itemPath)) << Utf8(operation.itemPath);
        }
    }
    EXPECT_EQ(run.summary.notDone, static_cast<uint32_t>(std::count_if(
                                       run.operations.begin(), run.operations.end(),
                                       [](const ObservedOperation& operation) { return operation.result != 0; })));
    EXPECT_NE(LogText().find(m_right + L"missing.txt"), std::wstring::npos);
    EXPECT_EQ(DescribeChanges(left, SnapshotTree(m_left)), "");
}

BOOL WINAPI NoRoom(const wchar_t*, ULARGE_INTEGER* available, ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    available->QuadPart = 4096;
    total->QuadPart = 1 << 20;
    totalFree->QuadPart = 4096;
    return TRUE;
}

TEST_F(SyncSafetyTest, CopiesThatDoNotFitAreRefusedWhole) {
    AnalyzeAndList(0);
    TreeSnapshot right = SnapshotTree(m_right);
    SyncSystemCalls calls = {SHFileOperationW, NoRoom};
    SyncSetSystemCalls(&calls);
    SyncRun run = Synchronize(SyncCommit);

    // Three files of a cluster each do not fit in one cluster: none is copied, not even a first one.
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].kind, SyncNoticeError);
    EXPECT_NE(run.boxes[0].text.find(L"12288 bytes, but only 4096 bytes are free"), std::wstring::npos)
        << Utf8(run.boxes[0].text);
    EXPECT_EQ(run.boxes[1].text, kSyncNotAllDone);
    EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "right version");
    EXPECT_FALSE(Exists(m_right + L"new.txt"));
    EXPECT_FALSE(Exists(m_right + L"sub\\also-new.txt"));
    std::map<std::wstring, DWORD> results = Results(run);
    EXPECT_EQ(results[L"new.txt"], kSyncNoRoomOnTarget);
    EXPECT_EQ(results[L"modified.txt"], kSyncNoRoomOnTarget);
    // The deletion needs no room and was the user's choice.
    EXPECT_EQ(results[L"missing.txt"], ERROR_SUCCESS);
    EXPECT_TRUE(InRecycleBin(L"missing.txt", m_right));
    // The new folder was the user's choice too, and needs no room for contents.
    EXPECT_EQ(DescribeChanges(right, SnapshotTree(m_right)), "gone: missing.txt\nappeared: sub\\\n");
}

// Where copies that do not fit stop the run (the companion's backups), nothing
// at all is done: no folder made, no file deleted or copied.
TEST_F(SyncSafetyTest, ARunThatStopsForRoomChangesNothing) {
    AnalyzeAndList(0);
    const TreeSnapshot before = SnapshotTree(m_folder.Path());
    SyncSystemCalls calls = {SHFileOperationW, NoRoom};
    SyncSetSystemCalls(&calls);
    for (SyncCopier copier : {SyncCopyThroughShell, SyncCopyWithEngine}) {
        SyncRunOptions options = {};
        options.copier = copier;
        options.stopWhenNoRoom = true;
        SyncRun run = Synchronize(SyncCommit, options);
        EXPECT_TRUE(run.summary.noRoom);
        EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
        const std::map<std::wstring, DWORD> expected = {{L"missing.txt", kSyncRunStoppedForRoom},
                                                        {L"modified.txt", kSyncNoRoomOnTarget},
                                                        {L"new.txt", kSyncNoRoomOnTarget},
                                                        {L"sub", kSyncRunStoppedForRoom},
                                                        {L"sub\\also-new.txt", kSyncNoRoomOnTarget}};
        EXPECT_EQ(Results(run), expected);
        ASSERT_EQ(run.boxes.size(), 2u);
        EXPECT_EQ(run.boxes[1].text, kSyncNotAllDone);
    }
}

// What the seam does once, at the first copy: folders of RIGHT swapped for links to a folder outside.
std::string g_swapScript;

void SwapFoldersOnce() {
    if (g_swapScript.empty()) return;
    EXPECT_EQ(RunUnixShell(g_swapScript), 0);
    g_swapScript.clear();
}

BOOL WINAPI CopyThenSwapFolders(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress, void* data,
                                BOOL* cancel, DWORD flags) {
    SwapFoldersOnce();
    return CopyFileExW(source, target, progress, data, cancel, flags);
}

// The shell's batch of copies, with the folders swapped as it begins.
int WINAPI ShellThatSwapsFolders(SHFILEOPSTRUCTW* operation) {
    if (operation->wFunc == FO_COPY) SwapFoldersOnce();
    return SHFileOperationW(operation);
}

// A folder of RIGHT that becomes a link to a folder outside both locations
// after the analysis leads nothing out of RIGHT, for either copier: neither the
// copy into it nor the deletion through it is done, not even of a file outside
// that is the very one the analysis saw, and the outside folder stays as it was.
TEST_F(SyncSafetyTest, AFolderThatBecomesALinkDuringTheRunLeadsNothingOut) {
    for (SyncCopier copier : {SyncCopyWithEngine, SyncCopyThroughShell}) {
        SCOPED_TRACE(copier);
        for (int side = 0; side < 2; ++side) {
            RemoveUnixTree(Root(side));
            CreateDirectoryW(Root(side).c_str(), nullptr);
        }
        MakeCommitCase();
        Folder(0, L"old");
        const std::wstring gone = File(1, L"old\\gone.txt", "the file the run is to delete");
        AnalyzeAndList(0);
        RemoveUnixTree(m_folder.PathOf(L"outside"));
        const std::wstring outside = m_folder.MakeFolder(L"outside");
        const std::wstring twin = m_folder.MakeFile(L"outside\\gone.txt", "the file the run is to delete");
        ASSERT_TRUE(SetLastWriteTime(twin, kTime));
        const TreeSnapshot outsideBefore = SnapshotTree(outside);
        const std::string right = UnixPathOf(m_right), target = UnixPathOf(outside);
        g_swapScript = "cd " + ShellQuote(right) + " && mv old old-moved && ln -s " + ShellQuote(target) +
                       " old && mv sub sub-moved && ln -s " + ShellQuote(target) + " sub";
        SyncSystemCalls calls = {ShellThatSwapsFolders, GetDiskFreeSpaceExW, CopyThenSwapFolders};
        SyncSetSystemCalls(&calls);
        SyncRunOptions options = {};
        options.copier = copier;
        options.copiesInFlight = 1;
        SyncRun run = Synchronize(SyncCommit, options);
        SyncSetSystemCalls(nullptr);
        EXPECT_TRUE(g_swapScript.empty()) << "the folders were not swapped";
        EXPECT_EQ(DescribeChanges(outsideBefore, SnapshotTree(outside)), "");
        std::map<std::wstring, DWORD> results = Results(run);
        EXPECT_EQ(results[L"sub\\also-new.txt"], kSyncFolderBecameLink);
        EXPECT_EQ(results[L"old\\gone.txt"], kSyncFolderBecameLink);
        EXPECT_EQ(results[L"modified.txt"], ERROR_SUCCESS);
        EXPECT_EQ(ReadFileBytes(m_right + L"old-moved\\gone.txt"), "the file the run is to delete");
        RemoveUnixTree(m_right);
    }
}

std::wstring g_cutSource;

// The real shell, after which the copy of one source is left short, as on a volume that filled up during the copy.
int WINAPI ShellThatFillsTheDisk(SHFILEOPSTRUCTW* operation) {
    int result = SHFileOperationW(operation);
    if (operation->wFunc != FO_COPY) return result;
    const wchar_t* to = operation->pTo;
    for (const wchar_t* from = operation->pFrom; *from; from += wcslen(from) + 1, to += wcslen(to) + 1) {
        if (g_cutSource != from) continue;
        HANDLE file = CreateFileW(to, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER half;
        half.QuadPart = 3;
        SetFilePointerEx(file, half, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
    }
    return result;
}

// The copy is made under a temporary name: a short one never takes the real name.
TEST_F(SyncSafetyTest, ACopyLeftShortIsReportedNotCalledDone) {
    AnalyzeAndList(0);
    g_cutSource = m_left + L"new.txt";
    SyncSystemCalls calls = {ShellThatFillsTheDisk, GetDiskFreeSpaceExW};
    SyncSetSystemCalls(&calls);
    TreeSnapshot before = SnapshotTree(m_right);
    SyncRun run = Synchronize(SyncCommit);
    EXPECT_EQ(TextsOf(run.boxes), Texts{kSyncNotAllDone});
    std::map<std::wstring, DWORD> results = Results(run);
    EXPECT_EQ(results[L"new.txt"], kSyncCopyIncomplete);
    EXPECT_EQ(results[L"modified.txt"], ERROR_SUCCESS);
    EXPECT_EQ(run.summary.notDone, 1u);
    // Nothing under the real name, and no temporary file left.
    EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_right)),
              "gone: missing.txt\nchanged: modified.txt\nappeared: sub\\\nappeared: sub\\also-new.txt\n");
    EXPECT_EQ(Run().exitCode, 0u);
    EXPECT_EQ(State(0, L"new.txt"), DiffNew);
}

FILEOP_FLAGS g_deleteFlags = 0;

// A shell on a volume without a Recycle Bin whose user declined to delete for good.
int WINAPI ShellThatKeepsDeletions(SHFILEOPSTRUCTW* operation) {
    if (operation->wFunc != FO_DELETE) return SHFileOperationW(operation);
    g_deleteFlags = operation->fFlags;
    operation->fAnyOperationsAborted = TRUE;
    return 0;
}

TEST_F(SyncSafetyTest, DeletionsAskBeforeTheyBypassTheRecycleBinAndKeptFilesAreReported) {
    AnalyzeAndList(0);
    SyncSystemCalls calls = {ShellThatKeepsDeletions, GetDiskFreeSpaceExW};
    SyncSetSystemCalls(&calls);
    SyncRun run = Synchronize(SyncCommit);
    EXPECT_EQ(g_deleteFlags, FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_WANTNUKEWARNING);
    EXPECT_EQ(ReadFileBytes(m_right + L"missing.txt"), "only on the right");
    EXPECT_EQ(Results(run)[L"missing.txt"], kSyncStoppedByShell);
    EXPECT_EQ(TextsOf(run.boxes), Texts{kSyncNotAllDone});
    EXPECT_EQ(ReadFileBytes(m_right + L"new.txt"), "new on the left");
}

std::wstring g_stopAt;

// The real shell, one operation at a time, that stops at the one it cannot do and leaves the rest of its batch.
int WINAPI ShellThatStopsAtOne(SHFILEOPSTRUCTW* operation) {
    const wchar_t* to = operation->pTo;
    for (const wchar_t* from = operation->pFrom; *from; from += wcslen(from) + 1) {
        if (g_stopAt == from) {
            operation->fAnyOperationsAborted = TRUE;
            return ERROR_ACCESS_DENIED;
        }
        std::wstring source = std::wstring(from) + L'\0';
        std::wstring target = to ? std::wstring(to) + L'\0' : std::wstring();
        SHFILEOPSTRUCTW one = *operation;
        one.pFrom = source.c_str();
        one.pTo = to ? target.c_str() : nullptr;
        SHFileOperationW(&one);
        if (to) to += wcslen(to) + 1;
    }
    return 0;
}

// One operation the shell cannot do costs that one alone: the rest of its batch runs again.
TEST_F(SyncSafetyTest, TheRestOfABatchStoppedByTheShellIsDone) {
    File(1, L"z-missing.txt", "also only on the right");
    const struct {
        const wchar_t* stopAt;
        bool inLeft;
    } kRows[] = {{L"new.txt", true}, {L"missing.txt", false}, {L"modified.txt", false}};
    for (const auto& row : kRows) {
        SCOPED_TRACE(Utf8(row.stopAt));
        AnalyzeAndList(0);
        g_stopAt = (row.inLeft ? m_left : m_right) + row.stopAt;
        SyncSystemCalls calls = {ShellThatStopsAtOne, GetDiskFreeSpaceExW};
        SyncSetSystemCalls(&calls);
        SyncRun run = Synchronize(SyncCommit);
        SyncSetSystemCalls(nullptr);
        EXPECT_EQ(run.summary.notDone, 1u);
        for (const auto& [path, result] : Results(run)) EXPECT_EQ(result != ERROR_SUCCESS, path == row.stopAt) << Utf8(path);
        EXPECT_EQ(ReadFileBytes(m_right + L"sub\\also-new.txt"), "second new");
        EXPECT_FALSE(Exists(m_right + L"z-missing.txt"));
        // Back to the start for the next row.
        File(1, L"z-missing.txt", "also only on the right");
        File(1, L"missing.txt", "only on the right");
        File(1, L"modified.txt", "right version");
        for (const wchar_t* made : {L"new.txt", L"sub\\also-new.txt"}) DeleteFileW((m_right + made).c_str());
        RemoveDirectoryW((m_right + L"sub").c_str());
    }
}

TEST_F(SyncSafetyTest, AnItemWithoutWhatTheAnalysisSawIsNeverActedOn) {
    SyncItemList* items = nullptr;
    ASSERT_EQ(AppendSyncItem(&items, (m_left + L"new.txt").c_str(), DiffNew, false, true), 0u);
    ASSERT_EQ(AppendSyncItem(&items, (m_left + L"missing.txt").c_str(), DiffMissing, false, true), 0u);
    SyncRun run = RunSyncWorker(SyncCommit, items, m_left, m_right);
    FreeSyncItemList(items);
    EXPECT_FALSE(Exists(m_right + L"new.txt"));
    EXPECT_TRUE(Exists(m_right + L"missing.txt"));
    EXPECT_EQ(run.summary.notDone, 2u);
    EXPECT_EQ(TextsOf(run.boxes), Texts{kSyncNotAllDone});
}


std::wstring g_editedDuringCopy;

// The real shell, while someone edits a file that the later deletion batch is to remove.
int WINAPI ShellDuringWhichAFileIsEdited(SHFILEOPSTRUCTW* operation) {
    int result = SHFileOperationW(operation);
    if (operation->wFunc == FO_COPY) {
        HANDLE file = CreateFileW(g_editedDuringCopy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, "edited during the copies", 24, &written, nullptr);
        CloseHandle(file);
    }
    return result;
}

TEST_F(SyncSafetyTest, AFileEditedWhileTheCopiesRunIsNotDeleted) {
    AnalyzeAndList(0);
    g_editedDuringCopy = m_right + L"missing.txt";
    SyncSystemCalls calls = {ShellDuringWhichAFileIsEdited, GetDiskFreeSpaceExW};
    SyncSetSystemCalls(&calls);
    SyncRun run = Synchronize(SyncCommit);
    EXPECT_EQ(ReadFileBytes(m_right + L"missing.txt"), "edited during the copies");
    EXPECT_EQ(Results(run)[L"missing.txt"], kSyncChangedSinceAnalysis);
    EXPECT_EQ(Results(run)[L"new.txt"], ERROR_SUCCESS);
    EXPECT_EQ(TextsOf(run.boxes), Texts{kSyncNotAllDone});
}

TEST_F(SyncSafetyTest, AFolderCannotBeMadeWhereAFileAppeared) {
    Folder(0, L"out");
    AnalyzeAndList(0);
    File(1, L"out", "a file made meanwhile");
    SyncRun run = Synchronize(SyncCommit);
    EXPECT_EQ(ReadFileBytes(m_right + L"out"), "a file made meanwhile");
    EXPECT_EQ(Results(run)[L"out"], static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(TextsOf(run.boxes), Texts{kSyncNotAllDone});
}

// With content comparison, two files may differ with the same size and time:
// a copy that did not happen then looks like one on disk.
TEST_F(SyncSafetyTest, AFailedCopyOverATargetOfTheSameSizeAndTimeIsReported) {
    File(0, L"same-look.txt", "AAAA");
    File(1, L"same-look.txt", "BBBB");
    AnalysisRunOptions options;
    options.compareContent = true;
    ASSERT_EQ(Run(options).exitCode, 0u);
    ASSERT_EQ(State(0, L"same-look.txt"), DiffModified);
    ASSERT_EQ(ListSyncItems(g_backgroundOps.slots[0].tree->root, m_left.c_str(), g_backgroundOps.slots[1].tree,
                            &m_items),
              0u);
    HANDLE held =
        CreateFileW((m_left + L"same-look.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SyncRun run = Synchronize(SyncCommit);
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(m_right + L"same-look.txt"), "BBBB");
    EXPECT_NE(Results(run)[L"same-look.txt"], ERROR_SUCCESS);
    EXPECT_EQ(TextsOf(run.boxes), Texts{kSyncNotAllDone});
}

}  // namespace
