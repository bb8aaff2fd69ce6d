// What a synchronization puts under a real name is one whole version of a
// file: a copy's source is held against writers from before the copy until
// its check, and each file is checked against what the analysis saw of it to
// the tick. An earlier version kept in a versioning folder on another volume
// is written the same way before its original goes, and a placed copy keeps
// its time on a volume that drops it at the rename. Each row snapshots the
// folders before and after.
#include "sync/sync_results.h"
#include "sync/system_calls.h"
#include "sync/temporary_names.h"
#include "tests/support/companion.h"
#include "tests/support/tree_snapshot.h"
#include "tests/sync/sync_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace {

const uint64_t kSecond = 10000000;  // FILETIME ticks

// The file another program writes to while the seam's call runs, and the
// bytes it left there: its last state, which the run must not lose.
std::wstring g_writerPath;
bool g_writerKeepsTime = false;
std::string g_writerLeft;

// As a program that writes to the file opens it, letting others do anything.
HANDLE OpenForWriting(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Another program saves over the file in place: the same size, its time on by
// less than the allowance of two volumes, or not moved at all.
void Rewrite(const std::wstring& path, bool keepsTime) {
    std::string bytes = ReadFileBytes(path);
    std::transform(bytes.begin(), bytes.end(), bytes.begin(), [](char c) { return char(toupper(c)); });
    HANDLE file = OpenForWriting(path);
    if (file != INVALID_HANDLE_VALUE) {
        FILETIME time;
        GetFileTime(file, nullptr, nullptr, &time);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        const FILETIME moved = FileTimeOfTicks(FileTimeTicks(time) + (keepsTime ? 0 : kSecond));
        SetFileTime(file, nullptr, nullptr, &moved);
        CloseHandle(file);
    }
    g_writerLeft = ReadFileBytes(path);
}

BOOL WINAPI CopyWhileRewritten(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress, void* data,
                               BOOL* cancel, DWORD flags) {
    BOOL copied = CopyFileExW(source, target, progress, data, cancel, flags);
    if (g_writerPath == source) Rewrite(source, g_writerKeepsTime);
    return copied;
}

int WINAPI ShellWhileRewritten(SHFILEOPSTRUCTW* operation) {
    int result = SHFileOperationW(operation);
    if (operation->wFunc == FO_COPY) Rewrite(g_writerPath, g_writerKeepsTime);
    return result;
}

class HeldFilesTest : public SeamTest {};

// When another program writes a file of the run.
enum WriterTime { WritesWhileCopied, WroteAfterTheAnalysis, HoldsItOpen };

// A source rewritten while it is copied is held off, so that its copy is of
// one version; a file rewritten since the analysis within two seconds of its
// time, or that a writer holds open, is reported and copied over nothing.
TEST_F(HeldFilesTest, ACopyIsOfOneVersionOfItsSourceAsTheAnalysisSawIt) {
    const std::string kAllDone = "gone: missing.txt\nchanged: modified.txt\nappeared: new.txt\nappeared: sub\\\n"
                                 "appeared: sub\\also-new.txt\n";
    const std::string kAllButModified = "gone: missing.txt\nappeared: new.txt\nappeared: sub\\\n"
                                        "appeared: sub\\also-new.txt\n";
    const struct {
        const char* name;
        SyncCopier copier;
        WriterTime when;
        int side;  // whose modified.txt is written: 0 the source, 1 the file it replaces
        bool keepsTime;
        DWORD modifiedResult;
    } kRows[] = {
        {"the engine's source rewritten while copied", SyncCopyWithEngine, WritesWhileCopied, 0, false, ERROR_SUCCESS},
        {"the same, its time kept", SyncCopyWithEngine, WritesWhileCopied, 0, true, ERROR_SUCCESS},
        {"the shell's source rewritten while copied", SyncCopyThroughShell, WritesWhileCopied, 0, false, ERROR_SUCCESS},
        {"the engine's source rewritten after the analysis", SyncCopyWithEngine, WroteAfterTheAnalysis, 0, false,
         kSyncChangedSinceAnalysis},
        {"the shell's source rewritten after the analysis", SyncCopyThroughShell, WroteAfterTheAnalysis, 0, false,
         kSyncChangedSinceAnalysis},
        {"the replaced file rewritten after the analysis", SyncCopyWithEngine, WroteAfterTheAnalysis, 1, false,
         kSyncChangedSinceAnalysis},
        {"the engine's source held open by a writer", SyncCopyWithEngine, HoldsItOpen, 0, false, kSyncFileInUse},
        {"the shell's source held open by a writer", SyncCopyThroughShell, HoldsItOpen, 0, false, kSyncFileInUse},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        MakeLocations();
        AnalyzeAndList(0);
        const std::wstring written = Root(row.side) + L"modified.txt";
        g_writerPath = row.when == WritesWhileCopied ? written : L"";
        g_writerKeepsTime = row.keepsTime;
        if (row.when == WroteAfterTheAnalysis) Rewrite(written, row.keepsTime);
        const std::string earlierTarget = ReadFileBytes(m_right + L"modified.txt");
        HANDLE writer = row.when == HoldsItOpen ? OpenForWriting(written) : INVALID_HANDLE_VALUE;
        const SyncSystemCalls calls = {ShellWhileRewritten, nullptr, CopyWhileRewritten};
        if (row.when == WritesWhileCopied) SyncSetSystemCalls(&calls);
        TreeSnapshot left = SnapshotTree(m_left);
        TreeSnapshot right = SnapshotTree(m_right);
        SyncRun run = Synchronize(SyncCommit, SyncRunOptions{row.copier, false, nullptr, nullptr});
        SyncSetSystemCalls(nullptr);
        if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
        const bool replaced = row.modifiedResult == ERROR_SUCCESS;
        std::map<std::wstring, DWORD> notDone;
        if (!replaced) notDone[L"modified.txt"] = row.modifiedResult;
        EXPECT_EQ(Results(run), notDone);
        // Whatever the writer managed, the left keeps it; a copy made is of what the source holds.
        EXPECT_EQ(DescribeChanges(left, SnapshotTree(m_left)), "");
        EXPECT_EQ(DescribeChanges(right, SnapshotTree(m_right)), replaced ? kAllDone : kAllButModified);
        EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"),
                  replaced ? ReadFileBytes(m_left + L"modified.txt") : earlierTarget);
    }
}

// The versioning folder on another volume is written like any target: the
// earlier version copied under a temporary name there while its original is
// held, checked, renamed into place, and only then the original removed.
std::wstring g_killFolder;
TreeSnapshot g_atTheKill;

// The run is killed halfway through the copy of an earlier version: what is
// on disk then is what it leaves.
BOOL WINAPI CopyKilledHalfway(const wchar_t* source, const wchar_t* target, LPPROGRESS_ROUTINE progress, void* data,
                              BOOL* cancel, DWORD flags) {
    if (g_writerPath != source) return CopyFileExW(source, target, progress, data, cancel, flags);
    const std::string bytes = ReadFileBytes(source);
    HANDLE file = CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size() / 2), &written, nullptr);
    CloseHandle(file);
    g_atTheKill = SnapshotTree(g_killFolder);
    SetLastError(ERROR_REQUEST_ABORTED);
    return FALSE;
}

TEST_F(HeldFilesTest, AnEarlierVersionKeptOnAnotherVolumeIsWholeOrTheOriginalStays) {
    const wchar_t* otherDrive = _wgetenv(L"QUILLMAR_TEST_OTHER_FS_DRIVE");
    // scripts/test.sh maps one where the machine has a tmpfs.
    if (!otherDrive) GTEST_SKIP() << "no drive on another file system (QUILLMAR_TEST_OTHER_FS_DRIVE)";
    const std::wstring folder = std::wstring(otherDrive) + L"\\held-versions\\";
    const struct {
        const char* name;
        SyncSystemCalls calls;
        bool holdsItOpen;
        std::map<std::wstring, DWORD> notDone;
    } kRows[] = {
        {"a writer rewrites the original while it is copied", {nullptr, nullptr, CopyWhileRewritten}, false, {}},
        {"a writer holds the original open", {}, true, {{L"modified.txt", kSyncFileInUse}}},
        {"the run is killed while the original is copied", {nullptr, nullptr, CopyKilledHalfway}, false,
         {{L"modified.txt", kSyncReplacedNotVersioned}}},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        RemoveFolderTree(folder);
        MakeLocations();
        AnalyzeAndList(0);
        const std::wstring original = m_right + L"modified.txt";
        g_writerPath = original;
        g_writerKeepsTime = false;
        g_writerLeft = "right version";
        g_killFolder = folder;
        g_atTheKill.clear();
        HANDLE writer = row.holdsItOpen ? OpenForWriting(original) : INVALID_HANDLE_VALUE;
        SyncSetSystemCalls(&row.calls);
        TreeSnapshot right = SnapshotTree(m_right);
        SyncRun run = Synchronize(SyncCommit, SyncRunOptions{SyncCopyWithEngine, false, nullptr, folder.c_str()});
        SyncSetSystemCalls(nullptr);
        if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
        EXPECT_EQ(Results(run), row.notDone);
        const bool replaced = row.notDone.empty();
        EXPECT_EQ(DescribeChanges(right, SnapshotTree(m_right)),
                  replaced ? "gone: missing.txt\nchanged: modified.txt\nappeared: new.txt\nappeared: sub\\\n"
                             "appeared: sub\\also-new.txt\n"
                           : "gone: missing.txt\nappeared: new.txt\nappeared: sub\\\nappeared: sub\\also-new.txt\n");
        // The original's last state is where it was or kept, whole, under its own name.
        const TreeSnapshot kept = SnapshotTree(run.summary.versions);
        TreeSnapshot expected = {{L"missing.txt", "only on the right"}};
        if (replaced) expected[L"modified.txt"] = g_writerLeft;
        EXPECT_EQ(kept, expected);
        if (!replaced) EXPECT_EQ(ReadFileBytes(original), g_writerLeft);
        // A kill at that moment would have left no part of a file under a real name there.
        for (const auto& [path, content] : g_atTheKill) {
            const std::wstring name = path.substr(path.rfind(L'\\') + 1);
            if (!name.empty() && !IsTemporaryName(name.c_str()))
                ADD_FAILURE() << Utf8(path) << " holds \"" << content << "\"";
        }
        RemoveFolderTree(folder);
    }
}

// A volume whose driver drops a file's last-write time at the rename, as some
// FAT drivers do: the time is set again on the placed file, and a time that
// cannot be set is reported, the copy in its place.
std::wstring g_droppingFolder;

BOOL WINAPI RenameDroppingTheTime(const wchar_t* from, const wchar_t* to, DWORD flags) {
    if (!MoveFileExW(from, to, flags)) return FALSE;
    const std::wstring placed = to;
    if (placed.compare(0, g_droppingFolder.size(), g_droppingFolder) == 0) {
        HANDLE file = CreateFileW(to, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        SetFileTime(file, nullptr, nullptr, &now);
        CloseHandle(file);
    }
    return TRUE;
}

BOOL WINAPI SetFileTimeRefused(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST_F(HeldFilesTest, ATimeThatTheVolumeDropsAtTheRenameIsSetAgainOrReported) {
    const std::string kAllDone = "gone: missing.txt\nchanged: modified.txt\nappeared: new.txt\nappeared: sub\\\n"
                                 "appeared: sub\\also-new.txt\n";
    const std::map<std::wstring, DWORD> kTimesNotKept = {{L"modified.txt", kSyncTimeNotKept},
                                                         {L"new.txt", kSyncTimeNotKept},
                                                         {L"sub\\also-new.txt", kSyncTimeNotKept}};
    const struct {
        const char* name;
        SyncCopier copier;
        bool setRefused;
    } kRows[] = {
        {"the engine's copies", SyncCopyWithEngine, false},
        {"the shell's copies", SyncCopyThroughShell, false},
        {"the engine's copies, the time not settable", SyncCopyWithEngine, true},
        {"the shell's copies, the time not settable", SyncCopyThroughShell, true},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        MakeLocations();
        AnalyzeAndList(0);
        g_droppingFolder = m_right;
        SyncSystemCalls calls = {};
        calls.moveFile = RenameDroppingTheTime;
        calls.setFileTime = row.setRefused ? SetFileTimeRefused : nullptr;
        SyncSetSystemCalls(&calls);
        TreeSnapshot right = SnapshotTree(m_right);
        SyncRun run = Synchronize(SyncCommit, SyncRunOptions{row.copier, false, nullptr, nullptr});
        SyncSetSystemCalls(nullptr);
        EXPECT_EQ(Results(run), row.setRefused ? kTimesNotKept : decltype(kTimesNotKept){});
        EXPECT_EQ(DescribeChanges(right, SnapshotTree(m_right)), kAllDone);
        if (!row.setRefused) EXPECT_EQ(Differences(), std::vector<std::wstring>());
    }
}

}  // namespace
