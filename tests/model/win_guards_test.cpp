// The one way the program starts threads: the routine gets its parameter, and
// an exception ends the thread with code 1 instead of leaving through the system.
#include "model/win_guards.h"

#include <gtest/gtest.h>

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

}  // namespace
