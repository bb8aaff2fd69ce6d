// The decision table, the path rules and the shell-form path lists.
#include "model/memory.h"
#include "sync/path_list.h"
#include "sync/sync_decision.h"
#include "sync/sync_items.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DecisionRow {
    bool isFolder;
    DiffState state;
    SyncAction commit;
    SyncAction update;
};

const DecisionRow kDecisionTable[] = {
    {false, DiffNew, SyncCopyToOther, SyncDeleteItem},
    {false, DiffModified, SyncCopyToOther, SyncCopyFromOther},
    {false, DiffMissing, SyncDeleteOther, SyncCopyFromOther},
    {true, DiffNew, SyncCreateOther, SyncRemoveItem},
    {true, DiffMissing, SyncRemoveOther, SyncCreateItem},
    // Everything else is left alone.
    {false, DiffIdentical, SyncNoAction, SyncNoAction},
    {false, DiffUnknown, SyncNoAction, SyncNoAction},
    {true, DiffIdentical, SyncNoAction, SyncNoAction},
    {true, DiffModified, SyncNoAction, SyncNoAction},
    {true, DiffUnknown, SyncNoAction, SyncNoAction},
};

TEST(SyncDecisionTest, EveryKindAndStateInBothDirections) {
    for (const DecisionRow& row : kDecisionTable) {
        SCOPED_TRACE(testing::Message() << (row.isFolder ? "folder" : "file") << " in state " << row.state);
        EXPECT_EQ(DecideSyncAction(SyncCommit, row.isFolder, row.state), row.commit);
        EXPECT_EQ(DecideSyncAction(SyncUpdate, row.isFolder, row.state), row.update);
    }
    EXPECT_EQ(DecideSyncAction(static_cast<SyncDirection>(2), false, DiffNew), SyncNoAction);
}

TEST(SyncDecisionTest, StateTextsAreComparedExactly) {
    EXPECT_EQ(SyncStateFromText(L"New"), DiffNew);
    EXPECT_EQ(SyncStateFromText(L"Modified"), DiffModified);
    EXPECT_EQ(SyncStateFromText(L"Missing"), DiffMissing);
    for (const wchar_t* text : {L"new", L"MISSING", L"Modified ", L"", L"Identical"}) {
        EXPECT_EQ(SyncStateFromText(text), DiffUnknown);
    }
    EXPECT_EQ(SyncStateFromText(nullptr), DiffUnknown);
    for (DiffState state : {DiffNew, DiffModified, DiffMissing}) {
        EXPECT_EQ(SyncStateFromText(SyncStateText(state)), state);
    }
}

// A path of `length` characters whose last backslash stands at `lastBackslash`.
std::wstring PathOf(size_t length, size_t lastBackslash) {
    std::wstring path = L"C:\\" + std::wstring(length - 3, L'a');
    path[lastBackslash] = L'\\';
    return path;
}

TEST(SyncDecisionTest, UsablePathsLeaveRoomForAShortNameWithin260) {
    EXPECT_TRUE(IsPathUsable(PathOf(259, 246).c_str()));
    EXPECT_FALSE(IsPathUsable(PathOf(259, 247).c_str()));
    EXPECT_FALSE(IsPathUsable(PathOf(260, 100).c_str()));
    EXPECT_FALSE(IsPathUsable(PathOf(40000, 2).c_str()));
    EXPECT_TRUE(IsPathUsable(PathOf(250, 246).c_str()));
    EXPECT_TRUE(IsPathUsable(L"C:\\a"));
    EXPECT_FALSE(IsPathUsable(L"no backslash"));
    EXPECT_FALSE(IsPathUsable(nullptr));
}

TEST(SyncDecisionTest, OtherPathKeepsThePlaceBelowTheRoot) {
    wchar_t other[64];
    EXPECT_EQ(BuildOtherPath(L"C:\\one\\a\\b.txt", L"C:\\one\\", L"D:\\second\\", other, 64), 0u);
    EXPECT_STREQ(other, L"D:\\second\\a\\b.txt");
    // An item outside the current root has no place in the other location.
    EXPECT_EQ(BuildOtherPath(L"C:\\onex\\b.txt", L"C:\\one\\", L"D:\\", other, 64),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_STREQ(other, L"");
    EXPECT_EQ(BuildOtherPath(L"C:\\one\\abcdefgh", L"C:\\one\\", L"D:\\", other, 8),
              static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_STREQ(other, L"D:\\abcd");
}

std::wstring ListText(const SyncPathList& list) { return std::wstring(list.text, list.used + 1); }

TEST(SyncPathListTest, ShellFormWithStartCapacityAndGrowthByItemCount) {
    const long baseline = MemOutstanding();
    EXPECT_EQ(SyncPathListStartCapacity(1), 340u);
    EXPECT_EQ(SyncPathListStartCapacity(10), 1060u);
    EXPECT_EQ(SyncPathListGrowthStep(10), 660u);
    EXPECT_EQ(SyncPathListStartCapacity(0xFFFFFFFFu), sizeof(size_t) == 4 ? 0u : 343597383860u);

    SyncPathList list;
    ASSERT_TRUE(SyncPathListInit(&list, SyncPathListStartCapacity(1)));
    EXPECT_TRUE(SyncPathListIsEmpty(&list));
    std::wstring first(70, L'a');
    ASSERT_TRUE(SyncPathListAppend(&list, first.c_str()));
    // 269 free: no growth yet.
    ASSERT_TRUE(SyncPathListKeepRoom(&list, SyncPathListGrowthStep(1)));
    EXPECT_EQ(list.capacity, 340u);
    ASSERT_TRUE(SyncPathListAppend(&list, L"b"));
    // 267 free, then 265 and 263 stay; a path that leaves 261 triggers one step.
    ASSERT_TRUE(SyncPathListAppend(&list, L"c"));
    ASSERT_TRUE(SyncPathListAppend(&list, L"d"));
    ASSERT_TRUE(SyncPathListKeepRoom(&list, SyncPathListGrowthStep(1)));
    EXPECT_EQ(list.capacity, 340u);
    ASSERT_TRUE(SyncPathListAppend(&list, L"e"));
    ASSERT_TRUE(SyncPathListKeepRoom(&list, SyncPathListGrowthStep(1)));
    EXPECT_EQ(list.capacity, 640u);
    SyncPathListClose(&list);
    EXPECT_EQ(ListText(list), first + std::wstring(L"\0b\0c\0d\0e\0\0", 10));
    std::wstring walked;
    for (const wchar_t* path = SyncPathListNext(&list, nullptr); path; path = SyncPathListNext(&list, path)) {
        walked += path;
        walked += L'|';
    }
    EXPECT_EQ(walked, first + L"|b|c|d|e|");

    // A growth that fails leaves the list whole.
    MemFailAfter(0);
    list.used = list.capacity - 261;
    EXPECT_FALSE(SyncPathListKeepRoom(&list, SyncPathListGrowthStep(1)));
    MemFailAfter(-1);
    EXPECT_EQ(list.capacity, 640u);
    // An append that would not leave room for the closing zero is refused.
    std::wstring tooLong(260, L'z');
    EXPECT_FALSE(SyncPathListAppend(&list, tooLong.c_str()));
    EXPECT_EQ(list.used, 640u - 261);
    SyncPathListFree(&list);
    EXPECT_EQ(MemOutstanding(), baseline);
}

TEST(SyncItemListTest, GrowsByDoublingAndFreesEveryPath) {
    const long baseline = MemOutstanding();
    SyncItemList* list = nullptr;
    for (int i = 0; i < 250; ++i) {
        ASSERT_EQ(AppendSyncItem(&list, (L"C:\\x\\" + std::to_wstring(i)).c_str(), DiffNew, i % 2 == 0, i % 3 == 0),
                  0u);
    }
    EXPECT_EQ(list->count, 250u);
    EXPECT_EQ(list->capacity, 400u);
    EXPECT_STREQ(list->items[249].path, L"C:\\x\\249");
    EXPECT_FALSE(list->items[249].isFolder);
    EXPECT_TRUE(list->items[249].checked);
    MemFailAfter(0);
    EXPECT_EQ(AppendSyncItem(&list, L"C:\\y", DiffNew, false, true), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    MemFailAfter(-1);
    EXPECT_EQ(list->count, 250u);
    FreeSyncItemList(list);
    EXPECT_EQ(MemOutstanding(), baseline);
}

}  // namespace
