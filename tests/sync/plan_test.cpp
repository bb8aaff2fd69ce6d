// The plan of a synchronization as each planner builds it: operations with
// their kind, direction, paths and what was seen, decided once.
#include "model/memory.h"
#include "sync/sync_plan.h"
#include "sync/sync_results.h"
#include "sync/synchronize_worker.h"
#include "sync/system_calls.h"
#include "sync/two_way_plan.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t kLeft[] = L"C:\\left\\";
const wchar_t kRight[] = L"D:\\right\\";
const SyncSeenFile kSeen = {true, 5, {1, 2}};

// An operation as the tests read it: "kind action source>target result", a phase
// and the operation waited for when there is one.
// A rename reads "kind action target=>new path".
std::wstring Describe(const SyncPlan& plan, const SyncOperation& operation) {
    const wchar_t* source = SourceOf(&plan, operation);
    std::wstring text = std::to_wstring(operation.kind) + L" " + std::to_wstring(operation.action) + L" " +
                        (source ? std::wstring(source) + L">" : L"") + TargetOf(&plan, operation);
    wchar_t renamed[kPathUnits];
    if (operation.kind == SyncRename &&
        RenamedPath(TargetOf(&plan, operation), PlanText(&plan, operation.paths[1 - TargetSideOf(operation)]), renamed))
        text += std::wstring(L"=>") + renamed;
    if (operation.result == kSyncRefusedTooLong) text += L" refused";
    if (operation.phase) text += L" waits for " + std::to_wstring(operation.waitsFor);
    return text;
}

std::vector<std::wstring> DescribeAll(const SyncPlan& plan) {
    std::vector<std::wstring> all;
    for (uint32_t index = 0; index < plan.count; ++index) all.push_back(Describe(plan, plan.operations[index]));
    return all;
}

struct ItemRow {
    const char* what;
    SyncDirection direction;
    const wchar_t* path;
    DiffState state;
    bool isFolder;
    bool checked;
    bool seenThere;  // the analysis saw a file at the other path
    const wchar_t* expected;  // empty: the item takes no part
};

// Too long for a file, on both sides.
const std::wstring kLong = std::wstring(kLeft) + std::wstring(260, L'x');
const std::wstring kLongRight = std::wstring(kRight) + std::wstring(260, L'x');

TEST(SyncPlanTest, EachItemIsDecidedOnceWithItsKindPathsAndRefusals) {
    const std::wstring longFolder = kLong.substr(0, 258);  // too long for a file's folder part, not for a folder
    const ItemRow rows[] = {
        {"new file", SyncCommit, L"C:\\left\\a.txt", DiffNew, false, true, false, L"1 1 C:\\left\\a.txt>D:\\right\\a.txt"},
        {"modified, commit", SyncCommit, L"C:\\left\\m", DiffModified, false, true, true, L"2 1 C:\\left\\m>D:\\right\\m"},
        {"modified, update", SyncUpdate, L"C:\\left\\m", DiffModified, false, true, true, L"2 2 D:\\right\\m>C:\\left\\m"},
        {"missing file", SyncCommit, L"C:\\left\\gone", DiffMissing, false, true, true, L"3 4 D:\\right\\gone"},
        {"new file, update", SyncUpdate, L"C:\\left\\n", DiffNew, false, true, false, L"3 3 C:\\left\\n"},
        {"new folder", SyncCommit, L"C:\\left\\f", DiffNew, true, true, false, L"0 5 D:\\right\\f"},
        {"new folder, update", SyncUpdate, L"C:\\left\\f", DiffNew, true, true, false, L"4 8 C:\\left\\f"},
        {"missing folder", SyncCommit, L"C:\\left\\f", DiffMissing, true, true, false, L"4 7 D:\\right\\f"},
        {"unchecked", SyncCommit, L"C:\\left\\a.txt", DiffNew, false, false, false, L""},
        {"outside the root", SyncCommit, L"C:\\leftover\\a", DiffNew, false, true, false, L""},
        {"identical", SyncCommit, L"C:\\left\\same", DiffIdentical, false, true, false, L""},
        {"modified folder", SyncCommit, L"C:\\left\\f", DiffModified, true, true, false, L""},
        {"file too long", SyncCommit, kLong.c_str(), DiffNew, false, true, false, nullptr},
        {"identical, too long: only logged", SyncCommit, kLong.c_str(), DiffIdentical, false, true, false, nullptr},
        {"folder within its limit", SyncCommit, longFolder.c_str(), DiffNew, true, true, false, nullptr},
    };
    for (const ItemRow& row : rows) {
        SCOPED_TRACE(row.what);
        SyncItemList* items = nullptr;
        SyncItem item = {};
        item.path = const_cast<wchar_t*>(row.path);
        item.state = row.state;
        item.isFolder = row.isFolder;
        item.checked = row.checked;
        item.seenKnown = true;
        item.seenHere = kSeen;
        if (row.seenThere) item.seenThere = kSeen;
        ASSERT_EQ(AppendSyncItem(&items, item), 0u);
        SyncPlan plan;
        ASSERT_EQ(PlanSyncItems(row.direction, items, kLeft, kRight, &plan), 0u);
        const std::wstring other = std::wstring(kRight) + (row.path + wcslen(kLeft));
        std::wstring expected = row.expected ? row.expected : L"";
        if (row.path == kLong.c_str())
            expected = (row.state == DiffNew ? L"1 1 " + kLong + L">" + other : L"5 0 " + kLong) + L" refused";
        if (row.path == longFolder.c_str()) expected = L"0 5 " + other;
        EXPECT_EQ(DescribeAll(plan), expected.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{expected});
        if (plan.count == 1) {
            EXPECT_EQ(plan.operations[0].origin, 0u);
            EXPECT_EQ(SeenAtSource(plan.operations[0]).exists || !IsCopyOperation(plan.operations[0]), true);
        }
        SyncPlanFree(&plan);
        FreeSyncItemList(items);
    }
}

TEST(SyncPlanTest, GrowsWithoutLosingAPathAndGivesBackAllItTook) {
    const long baseline = MemOutstanding();
    SyncPlan plan;
    ASSERT_EQ(SyncPlanInit(&plan, kLeft, kRight, 1, 8), 0u);
    for (uint32_t index = 0; index < 300; ++index) {
        const std::wstring name = std::to_wstring(index) + std::wstring(index % 7 * 10, L'n');
        SyncOperation operation = SyncOperationOf(SyncCopyToOther, SyncBecauseNew, index, kSeen, SyncSeenFile{});
        ASSERT_EQ(SyncPlanAdd(&plan, operation, (kLeft + name).c_str(), (kRight + name).c_str()), 0u);
    }
    for (uint32_t index = 0; index < 300; ++index) {
        const std::wstring name = std::to_wstring(index) + std::wstring(index % 7 * 10, L'n');
        ASSERT_EQ(SourceOf(&plan, plan.operations[index]), kLeft + name);
        ASSERT_EQ(TargetOf(&plan, plan.operations[index]), kRight + name);
    }
    EXPECT_STREQ(CurrentRootOf(&plan), kLeft);
    EXPECT_STREQ(OtherRootOf(&plan), kRight);
    // A growth that fails leaves the plan as it was.
    MemFailAfter(0);
    const std::wstring huge(70000, L'h');
    EXPECT_EQ(SyncPlanAdd(&plan, plan.operations[0], huge.c_str(), huge.c_str()),
              static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    MemFailAfter(-1);
    EXPECT_EQ(plan.count, 300u);
    EXPECT_EQ(TargetOf(&plan, plan.operations[299]), kRight + std::wstring(L"299") + std::wstring(50, L'n'));
    SyncPlanFree(&plan);
    EXPECT_EQ(MemOutstanding(), baseline);
}

TwoWaySide Side(TwoWayKind kind) {
    TwoWaySide side = {};
    side.kind = kind;
    side.size = 5;
    return side;
}

struct TwoWayRow {
    const char* what;
    TwoWayKind left;
    TwoWayKind right;
    TwoWayMove move;
    bool kindChange;
    bool leftover;
    std::vector<std::wstring> expected;
    TwoWayMove rename = TwoWayNothing;
    TwoWayMove time = TwoWayNothing;
    const wchar_t* leftPath = L"C:\\left\\p";  // LEFT's spelling
};

TEST(TwoWayPlanTest, EachMoveBecomesItsOperationsInItsDirection) {
    const TwoWayRow rows[] = {
        {"new on LEFT", TwoWayFile, TwoWayNone, TwoWayToRight, false, false, {L"1 1 C:\\left\\p>D:\\right\\p"}},
        {"changed on RIGHT", TwoWayFile, TwoWayFile, TwoWayToLeft, false, false, {L"2 2 D:\\right\\p>C:\\left\\p"}},
        {"deleted on LEFT", TwoWayNone, TwoWayFile, TwoWayToRight, false, false, {L"3 4 D:\\right\\p"}},
        {"folder deleted on RIGHT", TwoWayFolder, TwoWayNone, TwoWayToLeft, false, false, {L"4 8 C:\\left\\p"}},
        {"folder made on RIGHT", TwoWayNone, TwoWayFolder, TwoWayToLeft, false, false, {L"0 6 C:\\left\\p"}},
        {"leftover on RIGHT", TwoWayNone, TwoWayFile, TwoWayToRight, false, true, {L"3 4 D:\\right\\p"}},
        {"file became a folder on LEFT",
         TwoWayFolder,
         TwoWayFile,
         TwoWayToRight,
         true,
         false,
         {L"3 4 D:\\right\\p", L"0 5 D:\\right\\p waits for 0"}},
        {"folder became a file on RIGHT",
         TwoWayFolder,
         TwoWayFile,
         TwoWayToLeft,
         true,
         false,
         {L"4 8 C:\\left\\p", L"1 2 D:\\right\\p>C:\\left\\p waits for 0"}},
        {"conflict", TwoWayFile, TwoWayFile, TwoWayConflict, false, false, {}},
        {"renamed on LEFT", TwoWayFile, TwoWayFile, TwoWayNothing, false, false,
         {L"6 1 D:\\right\\p=>D:\\right\\P"}, TwoWayToRight, TwoWayNothing, L"C:\\left\\P"},
        {"folder renamed on RIGHT", TwoWayFolder, TwoWayFolder, TwoWayNothing, false, false,
         {L"6 2 C:\\left\\P=>C:\\left\\p"}, TwoWayToLeft, TwoWayNothing, L"C:\\left\\P"},
        {"renamed on LEFT, changed on RIGHT: the copy comes from the new spelling",
         TwoWayFile,
         TwoWayFile,
         TwoWayToLeft,
         false,
         false,
         {L"6 1 D:\\right\\p=>D:\\right\\P", L"2 2 D:\\right\\P>C:\\left\\P"},
         TwoWayToRight,
         TwoWayNothing,
         L"C:\\left\\P"},
        {"renamed and changed on LEFT: the copy goes to the new spelling",
         TwoWayFile,
         TwoWayFile,
         TwoWayToRight,
         false,
         false,
         {L"6 1 D:\\right\\p=>D:\\right\\P", L"2 1 C:\\left\\P>D:\\right\\P"},
         TwoWayToRight,
         TwoWayNothing,
         L"C:\\left\\P"},
        {"time changed on LEFT", TwoWayFile, TwoWayFile, TwoWayNothing, false, false,
         {L"7 1 C:\\left\\p>D:\\right\\p"}, TwoWayNothing, TwoWayToRight},
        {"time changed on RIGHT", TwoWayFile, TwoWayFile, TwoWayNothing, false, false,
         {L"7 2 D:\\right\\p>C:\\left\\p"}, TwoWayNothing, TwoWayToLeft},
        {"unknown", TwoWayUnknown, TwoWayFile, TwoWayUnknownSide, false, false, {}},
    };
    for (const TwoWayRow& row : rows) {
        SCOPED_TRACE(row.what);
        TwoWayEntry entry = {};
        entry.now[0] = Side(row.left);
        entry.now[1] = Side(row.right);
        entry.move = row.move;
        entry.kindChange = row.kindChange;
        entry.leftover = row.leftover;
        entry.rename = row.rename;
        entry.time = row.time;
        entry.parent = kNoTwoWayParent;
        entry.waitsFor = row.kindChange ? 0 : kNoTwoWayParent;
        SyncPlan plan;
        ASSERT_EQ(SyncPlanInit(&plan, kLeft, kRight, 0, 0), 0u);
        ASSERT_EQ(PlanTwoWayEntry(&entry, 0, row.leftPath, L"D:\\right\\p", &plan), 0u);
        EXPECT_EQ(DescribeAll(plan), row.expected);
        for (uint32_t index = 0; index < plan.count; ++index) {
            const SyncOperation& operation = plan.operations[index];
            EXPECT_EQ(operation.result, operation.phase ? kSyncWaiting : kSyncPending);
            const SyncReason reason = row.leftover                     ? SyncBecauseLeftover
                                      : TargetSideOf(operation) == 1 ? SyncBecauseLeftChanged
                                                                       : SyncBecauseRightChanged;
            EXPECT_EQ(operation.reason, reason);
            // What a kind change puts in place finds nothing there, once the earlier kind has gone.
            EXPECT_TRUE(!operation.phase || !SeenAtTarget(operation).exists);
        }
        SyncPlanFree(&plan);
    }
}

TEST(TwoWayPlanTest, WhatAFolderKindChangeHoldsWaitsForItsFirstOperationAndLongPathsAreRefused) {
    TwoWayEntry entries[3] = {};
    // A file on RIGHT became a folder on LEFT holding a new file; an unrelated long path follows.
    entries[0].now[0] = Side(TwoWayFolder);
    entries[0].now[1] = Side(TwoWayFile);
    entries[1].now[0] = Side(TwoWayFile);
    entries[2].now[0] = Side(TwoWayFile);
    for (TwoWayEntry& entry : entries) {
        entry.move = TwoWayToRight;
        entry.parent = kNoTwoWayParent;
        entry.waitsFor = kNoTwoWayParent;
    }
    entries[0].kindChange = true;
    entries[0].waitsFor = 0;
    entries[1].parent = 0;
    entries[1].waitsFor = 0;
    SyncPlan plan;
    ASSERT_EQ(SyncPlanInit(&plan, kLeft, kRight, 0, 0), 0u);
    ASSERT_EQ(PlanTwoWayEntry(entries, 0, L"C:\\left\\d", L"D:\\right\\d", &plan), 0u);
    ASSERT_EQ(PlanTwoWayEntry(entries, 1, L"C:\\left\\d\\f", L"D:\\right\\d\\f", &plan), 0u);
    ASSERT_EQ(PlanTwoWayEntry(entries, 2, kLong.c_str(), kLongRight.c_str(), &plan), 0u);
    EXPECT_EQ(DescribeAll(plan), (std::vector<std::wstring>{
                                     L"3 4 D:\\right\\d",
                                     L"0 5 D:\\right\\d waits for 0",
                                     L"1 1 C:\\left\\d\\f>D:\\right\\d\\f waits for 0",
                                     L"1 1 " + kLong + L">" + kLongRight + L" refused",
                                 }));
    EXPECT_EQ(plan.operations[2].origin, 1u);
    SyncPlanFree(&plan);
}

// A name's case and a file's time alone: which side's entry takes the other's,
// from what each side did since the baseline, and where neither moves.
TEST(TwoWayDecisionTest, ACaseOnlyRenameOrATimeOnlyChangeGoesFromTheSideThatMadeIt) {
    const uint64_t kBase = 132000000000000000ull;
    const uint64_t kHour = 3600ull * 10000000;
    const struct {
        const char* what;
        TwoWayKind kind;  // of every side that has the entry
        bool recorded;  // the baseline has it on both sides
        bool rightDeleted;
        uint8_t spelling;
        uint64_t times[2];  // LEFT's and RIGHT's now; both were kBase at the last run
        TwoWayContents contents;
        TwoWayMove move, rename, time;
    } rows[] = {
        {"LEFT respelt", TwoWayFile, true, false, TwoWayLeftRespelt | TwoWaySidesSpeltApart, {kBase, kBase},
         TwoWayContentsUnread, TwoWayNothing, TwoWayToRight, TwoWayNothing},
        {"a folder respelt on RIGHT", TwoWayFolder, true, false, TwoWayRightRespelt | TwoWaySidesSpeltApart,
         {kBase, kBase}, TwoWayContentsUnread, TwoWayNothing, TwoWayToLeft, TwoWayNothing},
        {"both respelt apart: each keeps its own", TwoWayFile, true, false,
         TwoWayLeftRespelt | TwoWayRightRespelt | TwoWaySidesSpeltApart, {kBase, kBase}, TwoWayContentsUnread,
         TwoWayNothing, TwoWayNothing, TwoWayNothing},
        {"spelt apart on a first run", TwoWayFile, false, false, TwoWaySidesSpeltApart, {kBase, kBase},
         TwoWayContentsUnread, TwoWayNothing, TwoWayNothing, TwoWayNothing},
        {"LEFT respelt, RIGHT deleted: LEFT's goes", TwoWayFile, true, true, TwoWayLeftRespelt, {kBase, kBase},
         TwoWayContentsUnread, TwoWayToLeft, TwoWayNothing, TwoWayNothing},
        {"LEFT respelt and edited: renamed, then copied", TwoWayFile, true, false,
         TwoWayLeftRespelt | TwoWaySidesSpeltApart, {kBase + kHour, kBase}, TwoWayOtherContents, TwoWayToRight,
         TwoWayToRight, TwoWayNothing},
        {"LEFT respelt, both edited: a conflict, left alone", TwoWayFile, true, false,
         TwoWayLeftRespelt | TwoWaySidesSpeltApart, {kBase + kHour, kBase + 2 * kHour}, TwoWayOtherContents,
         TwoWayConflict, TwoWayNothing, TwoWayNothing},
        {"LEFT's time alone changed", TwoWayFile, true, false, 0, {kBase + kHour, kBase}, TwoWaySameContents,
         TwoWayNothing, TwoWayNothing, TwoWayToRight},
        {"RIGHT's time alone changed", TwoWayFile, true, false, 0, {kBase, kBase + kHour}, TwoWaySameContents,
         TwoWayNothing, TwoWayNothing, TwoWayToLeft},
        {"a time within the window needs nothing", TwoWayFile, true, false, 0, {kBase + 10000000, kBase},
         TwoWayContentsUnread, TwoWayNothing, TwoWayNothing, TwoWayNothing},
        {"both times changed: settled as they are", TwoWayFile, true, false, 0, {kBase + kHour, kBase + 2 * kHour},
         TwoWaySameContents, TwoWayNothing, TwoWayNothing, TwoWayNothing},
        {"times apart on a first run: settled as they are", TwoWayFile, false, false, 0, {kBase + kHour, kBase},
         TwoWaySameContents, TwoWayNothing, TwoWayNothing, TwoWayNothing},
        {"LEFT's time changed, RIGHT's bytes too: a conflict", TwoWayFile, true, false, 0,
         {kBase + kHour, kBase + 2 * kHour}, TwoWayOtherContents, TwoWayConflict, TwoWayNothing, TwoWayNothing},
    };
    const TwoWayRule rule = {TimeRule{}, false, TwoWayPreferNone};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TwoWayEntry entry = {};
        for (int side = 0; side < 2; ++side) {
            entry.now[side] = Side(row.kind);
            entry.now[side].time = FileTimeOfTicks(row.times[side]);
            if (row.recorded) {
                entry.base[side] = Side(row.kind);
                entry.base[side].time = FileTimeOfTicks(kBase);
            }
        }
        if (row.rightDeleted) entry.now[1] = TwoWaySide{};
        entry.spelling = row.spelling;
        entry.contents = row.contents;
        entry.parent = kNoTwoWayParent;
        PlanTwoWay(&entry, nullptr, 1, rule);
        EXPECT_EQ(entry.move, row.move);
        EXPECT_EQ(entry.rename, row.rename);
        EXPECT_EQ(entry.time, row.time);
    }
}

BOOL WINAPI RefuseMove(const wchar_t*, const wchar_t*, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI RefuseTime(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// The worker carries out a planned rename or time through the seam, and tells
// one that could not be made, or whose file changed since the plan, as not done.
TEST(TwoWayTouchTest, ARenameOrATimeIsMadeOrToldAsNotDone) {
    const uint64_t kBase = 132000000000000000ull;
    const uint64_t kChanged = kBase + 3600ull * 10000000;
    const struct {
        const char* what;
        bool rename;  // else a time
        SyncSystemCalls calls;
        bool rewritten;  // RIGHT's file written again after the plan
        DWORD result;
        const wchar_t* rightName;
        uint64_t rightTime;
    } rows[] = {
        {"renamed", true, {}, false, 0, L"A.txt", kBase},
        {"a rename refused", true, {nullptr, nullptr, nullptr, RefuseMove}, false, ERROR_ACCESS_DENIED, L"a.txt", kBase},
        {"time set", false, {}, false, 0, L"a.txt", kChanged},
        {"a time refused", false, {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, RefuseTime},
         false, ERROR_ACCESS_DENIED, L"a.txt", kBase},
        {"a time for a file changed since", false, {}, true, kSyncChangedSinceAnalysis, L"a.txt", kBase + 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder folder;
        const std::wstring roots[2] = {folder.MakeFolder(L"left"), folder.MakeFolder(L"right")};
        folder.MakeFile(L"left\\" + std::wstring(row.rename ? L"A.txt" : L"a.txt"), "same");
        folder.MakeFile(L"right\\a.txt", "same");
        ASSERT_TRUE(SetLastWriteTime(roots[0] + L"a.txt", row.rename ? kBase : kChanged));
        ASSERT_TRUE(SetLastWriteTime(roots[1] + L"a.txt", kBase));
        TwoWayEntry entry = {};
        for (int side = 0; side < 2; ++side) {
            entry.now[side] = Side(TwoWayFile);
            entry.now[side].size = 4;
            entry.now[side].time = FileTimeOfTicks(side == 0 && !row.rename ? kChanged : kBase);
        }
        (row.rename ? entry.rename : entry.time) = TwoWayToRight;
        entry.parent = kNoTwoWayParent;
        SyncPlan plan;
        ASSERT_EQ(SyncPlanInit(&plan, roots[0].c_str(), roots[1].c_str(), 0, 0), 0u);
        ASSERT_EQ(PlanTwoWayEntry(&entry, 0, (roots[0] + (row.rename ? L"A.txt" : L"a.txt")).c_str(),
                                  (roots[1] + L"a.txt").c_str(), &plan),
                  0u);
        if (row.rewritten) ASSERT_TRUE(SetLastWriteTime(roots[1] + L"a.txt", kBase + 1));
        SyncSetSystemCalls(&row.calls);
        const std::wstring log = folder.PathOf(L"log.txt");
        SyncSummary summary = {};
        SyncRequest request = {};
        request.plan = &plan;
        request.currentRoot = roots[0].c_str();
        request.otherRoot = roots[1].c_str();
        request.summary = &summary;
        request.unattended = true;
        request.logPath = log.c_str();
        request.copier = SyncCopyWithEngine;
        RunSynchronization(&request);
        SyncSetSystemCalls(nullptr);
        EXPECT_EQ(plan.operations[0].result, row.result);
        EXPECT_EQ(summary.notDone, row.result ? 1u : 0u);
        EXPECT_EQ(summary.renamed + summary.timesSet, row.result ? 0u : 1u);
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((roots[1] + L"a.txt").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        FindClose(search);
        EXPECT_STREQ(found.cFileName, row.rightName);
        EXPECT_EQ(FileTimeTicks(found.ftLastWriteTime), row.rightTime);
        SyncPlanFree(&plan);
    }
}

}  // namespace
