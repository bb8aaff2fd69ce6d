// Commits and updates of real folder pairs through the real shell.
#include "analysis/skip_log.h"
#include "model/memory.h"
#include "tests/sync/sync_run.h"

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::wstring>;

// Left is the current location. Every state: New, Missing and Modified files;
// New and Missing folders, nested; a Modified file inside an identical folder.
class SyncTreeTest : public SyncTest {
protected:
    static const uint64_t kNewer = kTime + 10000000ull * 3600;

    void SetUp() override {
        SyncTest::SetUp();
        wchar_t token[32];
        swprintf(token, 32, L"%lu-%lu", GetCurrentProcessId(), GetTickCount());
        m_token = token;
        File(0, L"new-" + m_token + L".txt", "new");
        File(1, L"missing-" + m_token + L".txt", "missing");
        File(0, L"modified.txt", "left version", kNewer);
        File(1, L"modified.txt", "right");
        File(0, L"fresh\\inner\\deep-" + m_token + L".txt", "deep");
        File(0, L"fresh\\top.txt", "top");
        Folder(0, L"fresh\\empty");
        File(1, L"gone\\sub\\x-" + m_token + L".txt", "x");
        File(1, L"gone\\y-" + m_token + L".txt", "y");
        Folder(1, L"gone\\sub\\bare");
        FileInBoth(L"same\\equal.txt");
        File(0, L"same\\changed.txt", "left change");
        File(1, L"same\\changed.txt", "right", kNewer);
    }
    std::wstring m_token;
};

TEST_F(SyncTreeTest, CommitMakesTheOtherLocationLikeTheCurrentOne) {
    AnalyzeAndList(0);
    SyncRun run = Synchronize(SyncCommit);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.doneMessages, 1u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, L"File operations completed.");
    EXPECT_EQ(run.boxes[0].caption, L"Information");
    EXPECT_EQ(run.boxes[0].kind, SyncNoticeInformation);

    EXPECT_EQ(Differences(), Texts());
    EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "left version");
    EXPECT_EQ(ReadFileBytes(m_right + L"same\\changed.txt"), "left change");
    EXPECT_EQ(ReadFileBytes(m_right + L"fresh\\inner\\deep-" + m_token + L".txt"), "deep");
    EXPECT_TRUE(Exists(m_right + L"fresh\\empty\\"));
    EXPECT_FALSE(Exists(m_right + L"gone"));
    // The other side's files went to the Recycle Bin, not away.
    EXPECT_TRUE(InRecycleBin(L"missing-" + m_token + L".txt", m_right));
    EXPECT_TRUE(InRecycleBin(L"x-" + m_token + L".txt", m_right + L"gone\\sub"));
    EXPECT_TRUE(InRecycleBin(L"y-" + m_token + L".txt", m_right + L"gone"));
    // The current location is as it was.
    EXPECT_EQ(ReadFileBytes(m_left + L"new-" + m_token + L".txt"), "new");
}

TEST_F(SyncTreeTest, UpdateMakesTheCurrentLocationLikeTheOtherOne) {
    AnalyzeAndList(0);
    SyncRun run = Synchronize(SyncUpdate);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.doneMessages, 1u);
    EXPECT_EQ(TextsOf(run.boxes), Texts{L"File operations completed."});

    EXPECT_EQ(Differences(), Texts());
    EXPECT_EQ(ReadFileBytes(m_left + L"modified.txt"), "right");
    EXPECT_EQ(ReadFileBytes(m_left + L"same\\changed.txt"), "right");
    EXPECT_EQ(ReadFileBytes(m_left + L"gone\\sub\\x-" + m_token + L".txt"), "x");
    EXPECT_TRUE(Exists(m_left + L"gone\\sub\\bare\\"));
    EXPECT_FALSE(Exists(m_left + L"fresh"));
    EXPECT_TRUE(InRecycleBin(L"new-" + m_token + L".txt", m_left));
    EXPECT_TRUE(InRecycleBin(L"deep-" + m_token + L".txt", m_left + L"fresh\\inner"));
    EXPECT_EQ(ReadFileBytes(m_right + L"missing-" + m_token + L".txt"), "missing");
}

TEST_F(SyncTreeTest, TheSecondLocationAsTheCurrentOneTurnsTheDirectionsRound) {
    // Committing from the right is updating the left.
    AnalyzeAndList(1);
    SyncRun run = Synchronize(SyncCommit);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Differences(), Texts());
    EXPECT_EQ(ReadFileBytes(m_left + L"modified.txt"), "right");
    EXPECT_FALSE(Exists(m_left + L"fresh"));
}

TEST_F(SyncTreeTest, ListedInTheDialogsOrderWithoutModifiedFolders) {
    AnalyzeAndList(0);
    Texts listed;
    for (uint32_t i = 0; i < m_items->count; ++i) {
        const SyncItem& item = m_items->items[i];
        EXPECT_TRUE(item.checked);
        listed.push_back(std::wstring(item.path + m_left.size()) + (item.isFolder ? L"\\ " : L" ") +
                         SyncStateText(item.state));
    }
    Texts expected = {
        L"fresh\\ New",
        L"fresh\\empty\\ New",
        L"fresh\\inner\\ New",
        L"fresh\\inner\\deep-" + m_token + L".txt New",
        L"fresh\\top.txt New",
        L"gone\\ Missing",
        L"gone\\sub\\ Missing",
        L"gone\\sub\\bare\\ Missing",
        L"gone\\sub\\x-" + m_token + L".txt Missing",
        L"gone\\y-" + m_token + L".txt Missing",
        L"missing-" + m_token + L".txt Missing",
        L"modified.txt Modified",
        L"new-" + m_token + L".txt New",
        L"same\\changed.txt Modified",
    };
    EXPECT_EQ(listed, expected);
}

TEST_F(SyncTreeTest, UncheckedItemsAreLeftAlone) {
    AnalyzeAndList(0);
    Item(L"gone\\y-" + m_token + L".txt")->checked = false;
    Item(L"fresh\\inner\\deep-" + m_token + L".txt")->checked = false;
    Item(L"fresh\\top.txt")->checked = false;
    Item(L"modified.txt")->checked = false;
    SyncRun run = Synchronize(SyncCommit);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.doneMessages, 1u);
    // A checked Missing folder keeps the unchecked file inside it, and so stays.
    EXPECT_EQ(ReadFileBytes(m_right + L"gone\\y-" + m_token + L".txt"), "y");
    EXPECT_FALSE(Exists(m_right + L"gone\\sub"));
    // A checked New folder whose files are unchecked is created, empty.
    EXPECT_TRUE(Exists(m_right + L"fresh\\inner\\"));
    EXPECT_FALSE(Exists(m_right + L"fresh\\inner\\deep-" + m_token + L".txt"));
    EXPECT_FALSE(Exists(m_right + L"fresh\\top.txt"));
    EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "right");
    EXPECT_EQ(ReadFileBytes(m_right + L"same\\changed.txt"), "left change");
}

TEST_F(SyncTreeTest, AFileCheckedInsideAnUncheckedNewFolderGetsItsFolder) {
    AnalyzeAndList(0);
    for (uint32_t i = 0; i < m_items->count; ++i) m_items->items[i].checked = false;
    Item(L"fresh\\inner\\deep-" + m_token + L".txt")->checked = true;
    SyncRun run = Synchronize(SyncCommit);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(m_right + L"fresh\\inner\\deep-" + m_token + L".txt"), "deep");
    EXPECT_FALSE(Exists(m_right + L"fresh\\empty"));
    EXPECT_TRUE(Exists(m_right + L"gone\\sub\\bare\\"));
}

// Every early end before any file operation leaves both locations as they were.
class SyncEarlyEndTest : public SyncTreeTest {
protected:
    void ExpectUntouched() {
        EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "right");
        EXPECT_FALSE(Exists(m_right + std::wstring(100, L'm') + L".txt"));
        EXPECT_TRUE(Exists(m_right + L"missing-" + m_token + L".txt"));
        EXPECT_FALSE(Exists(m_right + L"fresh"));
        EXPECT_TRUE(Exists(m_right + L"gone\\sub\\bare\\"));
        wchar_t logPath[MAX_PATH];
        ASSERT_TRUE(SyncLogPath(logPath));
        EXPECT_FALSE(Exists(logPath));
    }
};

TEST_F(SyncEarlyEndTest, NoItems) {
    SyncRun run = RunSyncWorker(SyncCommit, nullptr, m_left, m_right);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.doneMessages, 1u);
    EXPECT_TRUE(run.boxes.empty());
}

TEST_F(SyncEarlyEndTest, MemoryForTheListsRunsOut) {
    AnalyzeAndList(0);
    for (long allowed = 0; allowed < 4; ++allowed) {
        MemFailAfter(allowed);
        SyncRun run = Synchronize(SyncCommit);
        MemFailAfter(-1);
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_EQ(run.doneMessages, 1u);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text, L"No enough memory!");
        EXPECT_EQ(run.boxes[0].caption, L"Error");
        EXPECT_EQ(run.boxes[0].kind, SyncNoticeError);
        ExpectUntouched();
    }
}

TEST_F(SyncEarlyEndTest, AListCannotGrowInTheFilePass) {
    // One item: its one path leaves less room than the lists keep free.
    std::wstring path = File(0, std::wstring(100, L'm') + L".txt");
    SyncItemList* items = nullptr;
    ASSERT_EQ(AppendSyncItem(&items, path.c_str(), DiffNew, false, true), 0u);
    // The path buffer, the three lists and the plan of file operations, then the first growth fails.
    MemFailAfter(5);
    SyncRun run = RunSyncWorker(SyncCommit, items, m_left, m_right);
    MemFailAfter(-1);
    FreeSyncItemList(items);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.doneMessages, 1u);
    EXPECT_EQ(TextsOf(run.boxes), Texts{L"No enough memory!"});
    ExpectUntouched();
}

TEST_F(SyncEarlyEndTest, TheLogCannotBeCreated) {
    AnalyzeAndList(0);
    // Another log is open, as during an analysis.
    std::wstring otherLog = m_folder.PathOf(L"other-log.txt");
    ASSERT_TRUE(SkipLogOpen(otherLog.c_str(), L"held"));
    SyncRun run = Synchronize(SyncCommit);
    SkipLogClose();
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.doneMessages, 1u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, L"Can not create error log file!");
    EXPECT_EQ(run.boxes[0].caption, L"Error");
    ExpectUntouched();
}

}  // namespace
