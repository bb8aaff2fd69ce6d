// The guards of the core's resources: each frees what it holds exactly once,
// and nothing it handed over. And the one way the program starts threads: the
// routine gets its parameter, and an exception ends the thread with code 1
// instead of leaving through the system.
#include "model/win_guards.h"

#include <gtest/gtest.h>

#include "model/memory.h"
#include "tests/support/temp_folder.h"

namespace {

DWORD WINAPI CountUp(void* parameter) {
    InterlockedIncrement(static_cast<LONG*>(parameter));
    return 5;
}

DWORD WINAPI Throws(void*) { throw 1; }

TEST(StartCoreThread, RunsTheRoutineAndKeepsItsExceptionsInside) {
    LONG count = 0;
    const struct {
        LPTHREAD_START_ROUTINE routine;
        DWORD exitCode;
    } kRows[] = {{CountUp, 5}, {Throws, 1}};
    for (const auto& row : kRows) {
        OwnedHandle thread = StartCoreThread(row.routine, &count);
        ASSERT_TRUE(thread.IsValid());
        ASSERT_EQ(WaitForSingleObject(thread.Get(), 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeThread(thread.Get(), &code);
        EXPECT_EQ(code, row.exitCode);
        JoinThread(&thread);
        EXPECT_FALSE(thread.IsValid());
    }
    EXPECT_EQ(count, 1);
}

TEST(MemBlock, FreesWhatItHoldsOnceAndNothingItHandedOver) {
    const struct {
        const char* name;
        void (*act)(MemBlock<int>* guard, int** handedOver);
        long heldAfter;  // blocks of the guard's still allocated once it is gone
    } kRows[] = {
        {"kept to the end", [](MemBlock<int>*, int**) {}, 0},
        {"released", [](MemBlock<int>* guard, int** handedOver) { *handedOver = guard->Release(); }, 1},
        {"reset to another", [](MemBlock<int>* guard, int**) { guard->Reset(static_cast<int*>(MemAlloc(8))); }, 0},
        {"reset to nothing", [](MemBlock<int>* guard, int**) { guard->Reset(); }, 0},
        {"reset to its own", [](MemBlock<int>* guard, int**) { guard->Reset(guard->Get()); }, 0},
    };
    for (const auto& row : kRows) {
        const long before = MemOutstanding();
        int* handedOver = nullptr;
        {
            MemBlock<int> guard(4);
            ASSERT_NE(guard.Get(), nullptr);
            row.act(&guard, &handedOver);
            if (handedOver) {
                EXPECT_EQ(guard.Get(), nullptr) << row.name;
            }
        }
        EXPECT_EQ(MemOutstanding() - before, row.heldAfter) << row.name;
        MemFree(handedOver);
    }
    MemBlock<int> empty;
    EXPECT_EQ(empty.Get(), nullptr);
}

// A search holds its folder open: while it lasts, nobody opens the folder alone.
TEST(OwnedFindHandle, EndsItsSearchOnceWhenItGoesOrIsReset) {
    TempFolder folder;
    const std::wstring first = folder.MakeFolder(L"first"), second = folder.MakeFolder(L"second");
    folder.MakeFile(L"first\\a.txt");
    folder.MakeFile(L"second\\b.txt");
    WIN32_FIND_DATAW found;
    auto searched = [](const std::wstring& path) {
        OwnedHandle alone(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return alone.IsValid() ? 0 : GetLastError() == ERROR_SHARING_VIOLATION ? 1 : -1;
    };
    const struct {
        const char* name;
        void (*act)(OwnedFindHandle* guard, const wchar_t* secondPattern);
        int firstSearched, secondSearched;
    } kRows[] = {
        {"kept to the end", [](OwnedFindHandle*, const wchar_t*) {}, 1, 0},
        {"closed", [](OwnedFindHandle* guard, const wchar_t*) { guard->Close(); }, 0, 0},
        {"reset to nothing", [](OwnedFindHandle* guard, const wchar_t*) { guard->Reset(); }, 0, 0},
        {"reset to another",
         [](OwnedFindHandle* guard, const wchar_t* secondPattern) {
             WIN32_FIND_DATAW data;
             guard->Reset(FindFirstFileW(secondPattern, &data));
         },
         0, 1},
        {"reset to its own", [](OwnedFindHandle* guard, const wchar_t*) { guard->Reset(guard->Get()); }, 1, 0},
    };
    for (const auto& row : kRows) {
        {
            OwnedFindHandle guard(FindFirstFileW((first + L"*").c_str(), &found));
            ASSERT_TRUE(guard.IsValid());
            ASSERT_EQ(searched(first), 1) << "a search does not hold its folder here";
            row.act(&guard, (second + L"*").c_str());
            EXPECT_EQ(searched(first), row.firstSearched) << row.name;
            EXPECT_EQ(searched(second), row.secondSearched) << row.name;
            EXPECT_EQ(guard.IsValid(), row.firstSearched + row.secondSearched == 1) << row.name;
            if (guard.IsValid()) {
                EXPECT_TRUE(FindNextFileW(guard.Get(), &found)) << row.name;
            }
        }
        EXPECT_EQ(searched(first), 0) << row.name;
        EXPECT_EQ(searched(second), 0) << row.name;
    }
    EXPECT_FALSE(OwnedFindHandle().IsValid());
    EXPECT_FALSE(OwnedFindHandle(INVALID_HANDLE_VALUE).IsValid());
}

}  // namespace
