// Last-write times on volumes that keep them coarsely: a copy onto FAT, exFAT
// or a share compares equal to its source, and a second run has nothing to do.
#include "sync/sync_results.h"
#include "sync/system_calls.h"
#include "tests/sync/sync_run.h"

#include <gtest/gtest.h>

namespace {

const uint64_t kSecond = 10000000;  // FILETIME ticks
const uint64_t kHour = 3600 * kSecond;

// Each row: how far apart the two times are, the rule, and whether they are the same.
TEST_F(AnalysisTest, TimesWithinTheWindowAreTheSameAndSizesStillCount) {
    const struct {
        uint64_t apart;
        TimeRule rule;
        bool same;
    } kRows[] = {
        {kSecond / 2, {}, true},          {kSecond, {}, true},
        {2 * kSecond, {}, true},          {2 * kSecond + kSecond / 10, {}, false},
        {kHour, {}, false},               {kHour, {0, true}, true},
        {kHour + 2 * kSecond, {0, true}, true}, {kHour + 3 * kSecond, {0, true}, false},
        {kHour - kSecond, {0, true}, true}, {10 * kSecond, {10, false}, true},
        {11 * kSecond, {10, false}, false},
        // Exact: equal to the tick, an hour shift still allowed when asked for.
        {0, {0, false, true}, true},      {1, {0, false, true}, false},
        {kHour, {0, true, true}, true},   {kHour + 1, {0, true, true}, false},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(std::to_string(row.apart) + " ticks apart, window " + std::to_string(row.rule.windowSeconds) +
                     (row.rule.ignoreHourShift ? ", hour shifts ignored" : "") + (row.rule.exact ? ", exact" : ""));
        File(0, L"f.txt", "same size", kTime);
        File(1, L"f.txt", "same size", kTime + row.apart);
        File(0, L"sized.txt", "four", kTime);
        File(1, L"sized.txt", "five!", kTime + row.apart);
        AnalysisRunOptions options;
        options.timeRule = row.rule;
        ASSERT_EQ(Run(options).exitCode, 0u);
        EXPECT_EQ(State(0, L"f.txt"), row.same ? DiffIdentical : DiffModified);
        EXPECT_EQ(State(0, L"sized.txt"), DiffModified);
    }
}

// As FAT does, the shell's copies get their times rounded up to even seconds.
int WINAPI ShellOntoEvenSeconds(SHFILEOPSTRUCTW* operation) {
    int result = SHFileOperationW(operation);
    if (operation->wFunc != FO_COPY) return result;
    for (const wchar_t* to = operation->pTo; *to; to += wcslen(to) + 1) {
        HANDLE file = CreateFileW(to, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME time;
        if (GetFileTime(file, nullptr, nullptr, &time)) {
            uint64_t ticks = ((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) + 2 * kSecond - 1;
            ticks -= ticks % (2 * kSecond);
            time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
            SetFileTime(file, nullptr, nullptr, &time);
        }
        CloseHandle(file);
    }
    return result;
}

// After a commit or an update onto a target that keeps even seconds, neither mode finds a difference.
TEST_F(SyncTest, CopiesOntoCoarseTimesConverge) {
    for (SyncDirection direction : {SyncCommit, SyncUpdate}) {
        SCOPED_TRACE(direction == SyncCommit ? "commit" : "update");
        const int target = direction == SyncCommit ? 1 : 0;
        File(1 - target, L"odd.txt", "an odd second", kTime + kSecond + kSecond / 3);
        File(1 - target, L"modified.txt", "newer", kTime + 7 * kSecond);
        File(target, L"modified.txt", "older");
        AnalyzeAndList(0);
        SyncSystemCalls calls = {ShellOntoEvenSeconds, GetDiskFreeSpaceExW};
        SyncSetSystemCalls(&calls);
        SyncRun run = Synchronize(direction);
        SyncSetSystemCalls(nullptr);
        EXPECT_EQ(run.summary.notDone, 0u);
        EXPECT_EQ(run.summary.copied, 2u);
        EXPECT_EQ(Differences(), std::vector<std::wstring>());
        AnalysisRunOptions content;
        content.compareContent = true;
        ASSERT_EQ(Run(content).exitCode, 0u);
        EXPECT_EQ(State(0, L"odd.txt"), DiffIdentical);
        EXPECT_EQ(State(0, L"modified.txt"), DiffIdentical);
        for (int side = 0; side < 2; ++side) {
            DeleteFileW((Root(side) + L"odd.txt").c_str());
            DeleteFileW((Root(side) + L"modified.txt").c_str());
        }
    }
}

}  // namespace
