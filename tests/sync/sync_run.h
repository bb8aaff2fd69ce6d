#pragma once
// Runs a synchronization the way the Synchronize dialog does (the worker on
// its own thread, its end reported to a window) over real folders, and
// captures the notices that the dialog would show as message boxes.
#include "sync/synchronize_worker.h"
#include "sync/system_calls.h"
#include "tests/analysis/analysis_run.h"

#include <map>
#include <string>
#include <vector>

struct CapturedBox {
    std::wstring text;
    std::wstring caption;
    SyncNoticeKind kind;
};

// An operation as the worker reported it.
struct ObservedOperation {
    SyncAction action;
    std::wstring itemPath;
    std::wstring otherPath;
    DWORD result;
};

struct SyncRun {
    DWORD exitCode = STILL_ACTIVE;
    unsigned doneMessages = 0;  // WM_SYNCHRONIZE_DONE received by the window
    std::vector<CapturedBox> boxes;
    std::vector<ObservedOperation> operations;
    SyncSummary summary = {};
    unsigned shellWindows = 0;  // windows the shell opened on the worker's thread, closed as a user would
};

// How the run copies and what it is told besides the items; zeroed: as the window program runs.
struct SyncRunOptions {
    SyncCopier copier;
    bool verify;
    BOOL* cancel;
    const wchar_t* versioningFolder;
    unsigned copiesInFlight;  // the engine's; 0 for 2
    bool stopWhenNoRoom;
};

// Runs SynchronizeWorker on a new thread to its end.
SyncRun RunSyncWorker(SyncDirection direction, const SyncItemList* items, const std::wstring& currentRoot,
                      const std::wstring& otherRoot, const SyncRunOptions& options = {});

// What the analysis would have seen of the file at `path` now.
SyncSeenFile SeenOnDisk(const std::wstring& path);
// Appends a checked item with what is on disk now at its two places.
void AppendSeenItem(SyncItemList** items, const std::wstring& path, DiffState state, bool isFolder,
                    const std::wstring& currentRoot, const std::wstring& otherRoot);

// The texts of the boxes, for comparing with an expected list.
std::vector<std::wstring> TextsOf(const std::vector<CapturedBox>& boxes);

// True when the Recycle Bin holds an item of this name deleted from this folder
// (`folder` with or without its final backslash).
bool InRecycleBin(const std::wstring& name, const std::wstring& folder);
// The full paths that the Recycle Bin's items were deleted from.
std::vector<std::wstring> RecycleBinEntries();

bool Exists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
// Creates every folder on the way and the file; works beyond MAX_PATH.
bool MakeLongFile(const std::wstring& path, const std::string& content = "x");
bool MakeLongFolder(const std::wstring& path);

// Two fresh locations analysed like the window program does, then synchronized.
class SyncTest : public AnalysisTest {
protected:
    void TearDown() override {
        FreeSyncItemList(m_items);
        m_items = nullptr;
        AnalysisTest::TearDown();
    }

    // Left is the current location: a commit copies new.txt, modified.txt
    // (replacing right's) and sub\also-new.txt, deletes missing.txt, and
    // leaves the identical same.txt alone.
    void MakeCommitCase() {
        File(0, L"new.txt", "new on the left");
        File(0, L"modified.txt", "left version", kTime + 10000000);
        File(1, L"modified.txt", "right version");
        File(1, L"missing.txt", "only on the right");
        File(0, L"sub\\also-new.txt", "second new");
        FileInBoth(L"same.txt", "same");
    }

    // Analyses the pair and lists the items of location `current` as the dialog does, all checked.
    void AnalyzeAndList(int current = 0) {
        FreeSyncItemList(m_items);
        m_items = nullptr;
        m_current = current;
        AnalysisRun run = Run();
        ASSERT_EQ(run.exitCode, 0u);
        ASSERT_EQ(ListSyncItems(g_backgroundOps.slots[current].tree->root, Root(current).c_str(),
                                g_backgroundOps.slots[1 - current].tree, &m_items),
                  0u);
        ASSERT_NE(m_items, nullptr);
    }
    // The listed item at `relative` below the current root; fails the test when there is none.
    SyncItem* Item(const std::wstring& relative) {
        std::wstring path = Root(m_current) + relative;
        for (uint32_t i = 0; m_items && i < m_items->count; ++i) {
            if (path == m_items->items[i].path) return &m_items->items[i];
        }
        ADD_FAILURE() << "not listed";
        static SyncItem none;
        none = SyncItem{};
        return &none;
    }
    SyncRun Synchronize(SyncDirection direction, const SyncRunOptions& options = {}) {
        return RunSyncWorker(direction, m_items, Root(m_current), Root(1 - m_current), options);
    }
    // After a fresh analysis: the relative paths of every node of either
    // location that is not Identical, with its location and state.
    std::vector<std::wstring> Differences();

    SyncItemList* m_items = nullptr;
    int m_current = 0;
};

// Runs with system calls that a test puts in place, restored after each test.
class SeamTest : public SyncTest {
protected:
    void TearDown() override {
        SyncSetSystemCalls(nullptr);
        SyncTest::TearDown();
    }
    // The commit case in two fresh locations.
    void MakeLocations() {
        for (int side = 0; side < 2; ++side) {
            RemoveFolderTree(Root(side));
            CreateDirectoryW(Root(side).c_str(), nullptr);
        }
        MakeCommitCase();
    }
    // The operations not done, by the item's path below the current root, with why.
    std::map<std::wstring, DWORD> Results(const SyncRun& run) const {
        std::map<std::wstring, DWORD> results;
        for (const ObservedOperation& operation : run.operations)
            if (operation.result != ERROR_SUCCESS) results[operation.itemPath.substr(m_left.size())] = operation.result;
        return results;
    }
};
