// Copies go to a temporary name and take the real one only once checked:
// whatever goes wrong between, by either copier, the real name keeps its
// earlier version, no temporary file stays, and the file is reported. Each
// row snapshots both locations before and after.
#include "sync/copy_engine.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"
#include "tests/support/companion.h"
#include "tests/support/tree_snapshot.h"
#include "tests/support/unix_side.h"
#include "tests/sync/sync_run.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>

namespace {

// What a seam does to the file at this path once it is copied, and what it was told.
std::wstring g_seamSource;
std::wstring g_seamPath;  // the path it acts on: the copy, the source or the target
BOOL* g_seamCancel = nullptr;

void WriteBytes(const std::wstring& path, const char* bytes, DWORD disposition) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes, static_cast<DWORD>(strlen(bytes)), &written, nullptr);
    CloseHandle(file);
}

// The first byte of the copy turned, as a failing disk or cable might; size and time stay.
BOOL WINAPI CopyThatDiffers(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress, void* data,
                            BOOL* cancel, DWORD flags) {
    BOOL copied = CopyFileExW(source, target, progress, data, cancel, flags);
    if (copied && g_seamSource == source) {
        FILETIME time;
        HANDLE file = CreateFileW(target, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        GetFileTime(file, nullptr, nullptr, &time);
        DWORD written = 0;
        WriteFile(file, "#", 1, &written, nullptr);
        SetFileTime(file, nullptr, nullptr, &time);
        CloseHandle(file);
    }
    return copied;
}

// Someone writes to the source while it is copied, from where the copier's
// hold on it does not reach (here the Linux side, as another machine on a share).
BOOL WINAPI CopyWhileTheSourceChanges(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress,
                                      void* data, BOOL* cancel, DWORD flags) {
    BOOL copied = CopyFileExW(source, target, progress, data, cancel, flags);
    if (g_seamSource == source) RunUnixShell("printf 'grown while it was copied' > " + ShellQuote(UnixPathOf(source)));
    return copied;
}

// Someone makes a file under the target's name while the copy is made.
BOOL WINAPI CopyWhileTheNameIsTaken(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress,
                                    void* data, BOOL* cancel, DWORD flags) {
    BOOL copied = CopyFileExW(source, target, progress, data, cancel, flags);
    if (g_seamSource == source) WriteBytes(g_seamPath, "made meanwhile", CREATE_NEW);
    return copied;
}

int WINAPI ShellWhileTheNameIsTaken(SHFILEOPSTRUCTW* operation) {
    int result = SHFileOperationW(operation);
    if (operation->wFunc == FO_COPY) WriteBytes(g_seamPath, "made meanwhile", CREATE_NEW);
    return result;
}

// The user stops the run while the copies are in flight.
BOOL WINAPI CopyThenStop(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress, void* data,
                         BOOL* cancel, DWORD flags) {
    BOOL copied = CopyFileExW(source, target, progress, data, cancel, flags);
    *g_seamCancel = TRUE;
    return copied;
}

class CopyPathTest : public SeamTest {};

TEST_F(CopyPathTest, AFailedCopyLeavesTheEarlierVersionAndNoTemporaryFile) {
    const std::string kAllDone = "gone: missing.txt\nchanged: modified.txt\nappeared: new.txt\nappeared: sub\\\n"
                                 "appeared: sub\\also-new.txt\n";
    const struct {
        const char* name;
        SyncCopier copier;
        bool verify;
        SyncSystemCalls calls;
        const wchar_t* seamFile;  // below left: the copy's source
        bool seamOnTarget;  // the seam acts on the right's file of that name, not on the source
        std::map<std::wstring, DWORD> notDone;
        const char* leftChanges;
        const char* rightChanges;
    } kRows[] = {
        {"read back, the copy differs", SyncCopyWithEngine, true, {nullptr, nullptr, CopyThatDiffers},
         L"modified.txt", false, {{L"modified.txt", kSyncCopyDiffers}}, "",
         "gone: missing.txt\nappeared: new.txt\nappeared: sub\\\nappeared: sub\\also-new.txt\n"},
        {"the source changes while it is copied", SyncCopyWithEngine, false,
         {nullptr, nullptr, CopyWhileTheSourceChanges}, L"modified.txt", false,
         {{L"modified.txt", kSyncSourceChangedDuringCopy}}, "changed: modified.txt\n",
         "gone: missing.txt\nappeared: new.txt\nappeared: sub\\\nappeared: sub\\also-new.txt\n"},
        // The rename never replaces: what was made meanwhile stays.
        {"a file is made under the name meanwhile", SyncCopyWithEngine, false,
         {nullptr, nullptr, CopyWhileTheNameIsTaken}, L"new.txt", true, {{L"new.txt", kSyncNameTaken}}, "",
         kAllDone.c_str()},
        {"the same with the shell's copies", SyncCopyThroughShell, false, {ShellWhileTheNameIsTaken, nullptr, nullptr},
         L"new.txt", true, {{L"new.txt", kSyncNameTaken}}, "", kAllDone.c_str()},
        {"nothing goes wrong, the shell's copies", SyncCopyThroughShell, false, {}, L"", false, {}, "",
         kAllDone.c_str()},
        {"nothing goes wrong, the engine's copies, read back", SyncCopyWithEngine, true, {}, L"", false, {}, "",
         kAllDone.c_str()},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        MakeLocations();
        AnalyzeAndList(0);
        g_seamSource = m_left + row.seamFile;
        g_seamPath = (row.seamOnTarget ? m_right : m_left) + row.seamFile;
        SyncSetSystemCalls(&row.calls);
        TreeSnapshot left = SnapshotTree(m_left);
        TreeSnapshot right = SnapshotTree(m_right);
        SyncRunOptions options = {row.copier, row.verify, nullptr, nullptr};
        SyncRun run = Synchronize(SyncCommit, options);
        SyncSetSystemCalls(nullptr);
        EXPECT_EQ(Results(run), row.notDone);
        EXPECT_EQ(DescribeChanges(left, SnapshotTree(m_left)), row.leftChanges);
        EXPECT_EQ(DescribeChanges(right, SnapshotTree(m_right)), row.rightChanges);
        const bool replaced = !row.notDone.count(L"modified.txt");
        EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), replaced ? "left version" : "right version");
        if (row.seamOnTarget) EXPECT_EQ(ReadFileBytes(m_right + row.seamFile), "made meanwhile");
        EXPECT_EQ(TextsOf(run.boxes), std::vector<std::wstring>{row.notDone.empty() ? kSyncCompleted : kSyncNotAllDone});
    }
}

// What a kill at any step would leave: every call that changes a file is
// watched, and before and after each one every real name of both folders
// holds its earlier version, its whole new one, or (between the earlier
// version's move to the Recycle Bin and the copy's rename) nothing. The item
// the user left unchecked keeps its file throughout.
struct StepWatch {
    std::mutex lock;
    std::wstring left;
    std::wstring right;
    TreeSnapshot leftBefore;
    // Each real name of RIGHT and the contents it may hold at any moment; "" for absent.
    std::map<std::wstring, std::set<std::string>> allowed;
    std::vector<std::string> faults;
    unsigned steps = 0;
};
StepWatch* g_watch = nullptr;

bool IsTemporaryPath(const std::wstring& relative) {
    const std::wstring name = relative.substr(relative.rfind(L'\\') + 1);
    return name.size() == 12 && name.compare(0, 3, L"~QM") == 0;
}

void CheckEveryName(const char* when) {
    std::lock_guard<std::mutex> hold(g_watch->lock);
    ++g_watch->steps;
    if (SnapshotTree(g_watch->left) != g_watch->leftBefore) g_watch->faults.push_back(std::string(when) + ": LEFT changed");
    const TreeSnapshot right = SnapshotTree(g_watch->right);
    for (const auto& [name, contents] : g_watch->allowed) {
        const auto found = right.find(name);
        const std::string now = found == right.end() ? "" : found->second;
        if (!contents.count(now)) g_watch->faults.push_back(std::string(when) + ": " + Utf8(name) + " holds \"" + now + "\"");
    }
    for (const auto& [name, content] : right) {
        if (!IsTemporaryPath(name) && !g_watch->allowed.count(name) && name.back() != L'\\')
            g_watch->faults.push_back(std::string(when) + ": " + Utf8(name) + " appeared");
    }
}

int WINAPI WatchedShell(SHFILEOPSTRUCTW* operation) {
    CheckEveryName(operation->wFunc == FO_COPY ? "before the shell's copies" : "before a shell deletion");
    int result = SHFileOperationW(operation);
    CheckEveryName(operation->wFunc == FO_COPY ? "after the shell's copies" : "after a shell deletion");
    return result;
}
BOOL WINAPI WatchedCopy(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress, void* data,
                        BOOL* cancel, DWORD flags) {
    CheckEveryName("before a copy");
    BOOL copied = CopyFileExW(source, target, progress, data, cancel, flags);
    CheckEveryName("after a copy");
    return copied;
}
BOOL WINAPI WatchedRename(const wchar_t* from, const wchar_t* to, DWORD flags) {
    CheckEveryName("before a rename");
    BOOL moved = MoveFileExW(from, to, flags);
    CheckEveryName("after a rename");
    return moved;
}

TEST_F(CopyPathTest, AtEveryStepEachRealNameHoldsAWholeVersionAndTheUncheckedItemStays) {
    for (SyncCopier copier : {SyncCopyThroughShell, SyncCopyWithEngine}) {
        SCOPED_TRACE(copier == SyncCopyWithEngine ? "engine" : "shell");
        MakeLocations();
        AnalyzeAndList(0);
        Item(L"missing.txt")->checked = false;
        StepWatch watch;
        watch.left = m_left;
        watch.right = m_right;
        watch.leftBefore = SnapshotTree(m_left);
        watch.allowed = {{L"new.txt", {"", "new on the left"}},
                         {L"modified.txt", {"right version", "", "left version"}},
                         {L"missing.txt", {"only on the right"}},
                         {L"same.txt", {"same"}},
                         {L"sub\\also-new.txt", {"", "second new"}}};
        g_watch = &watch;
        SyncSystemCalls calls = {WatchedShell, nullptr, WatchedCopy, WatchedRename};
        SyncSetSystemCalls(&calls);
        SyncRun run = Synchronize(SyncCommit, SyncRunOptions{copier, false, nullptr, nullptr});
        SyncSetSystemCalls(nullptr);
        CheckEveryName("after the run");
        g_watch = nullptr;
        EXPECT_EQ(watch.faults, std::vector<std::string>());
        // Copies, the earlier version's move and the renames were all watched.
        EXPECT_GE(watch.steps, 8u);
        EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "left version");
        EXPECT_EQ(ReadFileBytes(m_right + L"missing.txt"), "only on the right");
        EXPECT_TRUE(InRecycleBin(L"modified.txt", m_right));
        EXPECT_EQ(run.summary.notDone, 0u);
        EXPECT_EQ(TextsOf(run.boxes), std::vector<std::wstring>{kSyncCompleted});
    }
}

// A stop while copies are in flight drops them: every target keeps what it
// held, nothing more is begun, and each operation not done says why.
TEST_F(CopyPathTest, AStopDropsTheCopiesInFlight) {
    MakeLocations();
    AnalyzeAndList(0);
    BOOL stop = FALSE;
    g_seamCancel = &stop;
    SyncSystemCalls calls = {nullptr, nullptr, CopyThenStop};
    SyncSetSystemCalls(&calls);
    TreeSnapshot right = SnapshotTree(m_right);
    SyncRun run = Synchronize(SyncCommit, SyncRunOptions{SyncCopyWithEngine, false, &stop, nullptr});
    EXPECT_TRUE(run.summary.cancelled);
    // The folder was made before the copies began; nothing else changed.
    EXPECT_EQ(DescribeChanges(right, SnapshotTree(m_right)), "appeared: sub\\\n");
    const std::map<std::wstring, DWORD> expected = {{L"new.txt", kSyncCancelled},
                                                    {L"modified.txt", kSyncCancelled},
                                                    {L"missing.txt", kSyncCancelled},
                                                    {L"sub\\also-new.txt", kSyncCancelled}};
    EXPECT_EQ(Results(run), expected);
}

// What a run removes goes to FOLDER\<start>\<path below the location>, on
// the same volume by a rename and on another by a checked copy.
TEST_F(CopyPathTest, TheVersioningFolderKeepsWhatTheRunRemoves) {
    const wchar_t* otherDrive = _wgetenv(L"QUILLMAR_TEST_OTHER_FS_DRIVE");
    TempFolder beside;
    const struct {
        const char* name;
        std::wstring folder;
    } kRows[] = {
        {"on the same volume", beside.PathOf(L"versions\\")},
        {"on another file system", otherDrive ? std::wstring(otherDrive) + L"\\versions\\" : std::wstring()},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        // scripts/test.sh maps one where the machine has a tmpfs.
        if (row.folder.empty()) {
            printf("skipped: no drive on another file system (QUILLMAR_TEST_OTHER_FS_DRIVE)\n");
            continue;
        }
        MakeLocations();
        File(1, L"sub\\old.txt", "old one below");
        AnalyzeAndList(0);
        SyncRunOptions options = {SyncCopyWithEngine, false, nullptr, row.folder.c_str()};
        SyncRun run = Synchronize(SyncCommit, options);
        EXPECT_EQ(run.summary.notDone, 0u);
        EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "left version");
        EXPECT_FALSE(Exists(m_right + L"missing.txt"));
        const std::wstring versions = run.summary.versions;
        ASSERT_EQ(versions.substr(0, row.folder.size()), row.folder);
        // YYYY-MM-DD_HHMMSS
        const std::wstring stamp = versions.substr(row.folder.size());
        ASSERT_EQ(stamp.size(), 18u) << Utf8(stamp);
        EXPECT_EQ(stamp[4], L'-');
        EXPECT_EQ(stamp[10], L'_');
        EXPECT_EQ(SnapshotTree(versions), (TreeSnapshot{{L"missing.txt", "only on the right"},
                                                        {L"modified.txt", "right version"},
                                                        {L"sub\\", ""},
                                                        {L"sub\\old.txt", "old one below"}}));
        RemoveFolderTree(row.folder);
    }
}

// The analysis lists a stopped run's temporary file like any file, and the
// run deletes it like any other (to the Recycle Bin); a file of that pattern
// that is the same on both sides is the user's, and stays.
TEST_F(CopyPathTest, TemporaryFilesOfAStoppedRunGoLikeAnyDeletion) {
    MakeLocations();
    File(1, L"~QM0ABCD.TMP", "half a copy");
    FileInBoth(L"~QM12345.TMP", "the user's own");
    AnalyzeAndList(0);
    TreeSnapshot right = SnapshotTree(m_right);
    SyncRun run = Synchronize(SyncCommit, SyncRunOptions{SyncCopyWithEngine, false, nullptr, nullptr});
    EXPECT_EQ(run.summary.notDone, 0u);
    EXPECT_EQ(DescribeChanges(right, SnapshotTree(m_right)),
              "gone: missing.txt\nchanged: modified.txt\ngone: ~QM0ABCD.TMP\nappeared: new.txt\nappeared: sub\\\n"
              "appeared: sub\\also-new.txt\n");
    EXPECT_TRUE(InRecycleBin(L"~QM0ABCD.TMP", m_right));
}

// Every call that changes a file, as the seam saw it, with the test folder's
// path, temporary names, the versioning run's stamp and the run's journal made alike.
std::mutex g_callsLock;
std::vector<std::wstring> g_calls;
std::wstring g_callsBase;

std::wstring Plain(std::wstring path) {
    if (path.find(L"\\Quillmar\\journals\\run-") != std::wstring::npos) return L"journal";
    if (path.compare(0, g_callsBase.size(), g_callsBase) == 0) path.erase(0, g_callsBase.size());
    for (size_t at = path.find(L"~QM"); at != std::wstring::npos; at = path.find(L"~QM", at + 1)) path.replace(at, 8, L"~QM");
    const size_t stamp = path.find(L"versions\\");
    if (stamp != std::wstring::npos && path.size() >= stamp + 9 + 17) path.replace(stamp + 9, 17, L"RUN");
    return path;
}

void Record(const wchar_t* call, const wchar_t* path, const wchar_t* to = nullptr) {
    std::lock_guard<std::mutex> guard(g_callsLock);
    g_calls.push_back(std::wstring(call) + L" " + Plain(path) + (to ? L" > " + Plain(to) : L""));
}

BOOL WINAPI RecordedCopy(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress, void* data,
                         BOOL* cancel, DWORD flags) {
    Record(L"copy", source, target);
    return CopyFileExW(source, target, progress, data, cancel, flags);
}
BOOL WINAPI RecordedMove(const wchar_t* from, const wchar_t* to, DWORD flags) {
    Record(L"move", from, to);
    return MoveFileExW(from, to, flags);
}
BOOL WINAPI RecordedDelete(const wchar_t* path) {
    Record(L"delete", path);
    return DeleteFileW(path);
}
BOOL WINAPI RecordedMakeFolder(const wchar_t* path, SECURITY_ATTRIBUTES* security) {
    Record(L"mkdir", path);
    return CreateDirectoryW(path, security);
}
BOOL WINAPI RecordedRemoveFolder(const wchar_t* path) {
    Record(L"rmdir", path);
    return RemoveDirectoryW(path);
}

TEST_F(CopyPathTest, EveryFileChangeGoesThroughTheSeamInThePlansOrder) {
    MakeLocations();
    Folder(1, L"empty");
    AnalyzeAndList(0);
    g_calls.clear();
    g_callsBase = m_folder.Path();
    const SyncSystemCalls calls = {nullptr,     nullptr,        RecordedCopy,       RecordedMove,
                                   nullptr,     RecordedDelete, RecordedMakeFolder, RecordedRemoveFolder};
    SyncSetSystemCalls(&calls);
    const std::wstring versions = m_folder.PathOf(L"versions\\");
    SyncRunOptions options = {};
    options.copier = SyncCopyWithEngine;
    options.versioningFolder = versions.c_str();
    options.copiesInFlight = 1;
    const SyncRun run = Synchronize(SyncCommit, options);
    SyncSetSystemCalls(nullptr);
    EXPECT_EQ(Results(run), (std::map<std::wstring, DWORD>{}));
    const std::vector<std::wstring> expected = {
        L"mkdir right\\sub",
        L"copy left\\modified.txt > right\\~QM.TMP",
        L"copy left\\new.txt > right\\~QM.TMP",
        L"move right\\~QM.TMP > right\\new.txt",
        L"copy left\\sub\\also-new.txt > right\\sub\\~QM.TMP",
        L"move right\\sub\\~QM.TMP > right\\sub\\also-new.txt",
        L"mkdir versions\\",
        L"mkdir versions\\RUN\\",
        L"move right\\modified.txt > versions\\RUN\\modified.txt",
        L"move right\\~QM.TMP > right\\modified.txt",
        L"move right\\missing.txt > versions\\RUN\\missing.txt",
        L"rmdir right\\empty",
        L"delete journal",  // the run's end, every temporary file placed
    };
    EXPECT_EQ(g_calls, expected);
    EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "left version");
}

}  // namespace
