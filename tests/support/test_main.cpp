#include <gtest/gtest.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    // As the program itself does: a drive without a medium fails quietly.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
