#include "analysis/analysis_worker.h"
#include "model/memory.h"
#include "model/scan.h"
#include "analysis/skip_log.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

bool AllBytesAre(const BackgroundOpsData& data, unsigned char value) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&data);
    for (size_t i = 0; i < sizeof(data); ++i) {
        if (bytes[i] != value) return false;
    }
    return true;
}

class BackgroundOpsTest : public testing::Test {
protected:
    void SetUp() override {
        if (BackgroundOpsIsValid(&g_backgroundOps)) BackgroundOpsFree(&g_backgroundOps);
        m_baseline = MemOutstanding();
    }
    void TearDown() override {
        MemFailAfter(-1);
        BackgroundOpsFree(&g_backgroundOps);
        EXPECT_EQ(MemOutstanding(), m_baseline);
    }
    long m_baseline = 0;
};

TEST_F(BackgroundOpsTest, InitMakesAValidRecordAndFreeLeavesOnly0xFF) {
    ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
    EXPECT_TRUE(BackgroundOpsIsValid(&g_backgroundOps));
    for (const LocationSlot& slot : g_backgroundOps.slots) {
        ASSERT_NE(slot.tree, nullptr);
        EXPECT_STREQ(slot.tree->displayName, L"No Name");
        EXPECT_EQ(slot.tree->root->firstChild, nullptr);
        EXPECT_EQ(slot.cancelEvent, g_backgroundOps.cancelEvent);
        EXPECT_EQ(WaitForSingleObject(slot.scanDoneEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_EQ(slot.statusText[0], 0);
    }
    EXPECT_EQ(WaitForSingleObject(g_backgroundOps.cancelEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(BackgroundOpsFree(&g_backgroundOps));
    EXPECT_TRUE(AllBytesAre(g_backgroundOps, 0xFF));
    EXPECT_FALSE(BackgroundOpsIsValid(&g_backgroundOps));
    // Freeing an invalid record touches nothing.
    EXPECT_TRUE(BackgroundOpsFree(&g_backgroundOps));
    EXPECT_TRUE(AllBytesAre(g_backgroundOps, 0xFF));
}

TEST_F(BackgroundOpsTest, ValidityNeedsBothSignatureWords) {
    BackgroundOpsData* copy = new BackgroundOpsData();
    EXPECT_FALSE(BackgroundOpsIsValid(copy));
    copy->signature[0] = 0x6B636F6E;
    EXPECT_FALSE(BackgroundOpsIsValid(copy));
    copy->signature[1] = 0xA9206E65;
    EXPECT_TRUE(BackgroundOpsIsValid(copy));
    copy->signature[0] = 0;
    EXPECT_FALSE(BackgroundOpsIsValid(copy));
    delete copy;
}

TEST_F(BackgroundOpsTest, FailedInitKeepsNothingAndStaysInvalid) {
    // Each tree takes two blocks: the tree, then its root.
    for (long allowed = 0; allowed < 4; ++allowed) {
        MemFailAfter(allowed);
        EXPECT_FALSE(BackgroundOpsInit(&g_backgroundOps)) << allowed;
        MemFailAfter(-1);
        EXPECT_FALSE(BackgroundOpsIsValid(&g_backgroundOps));
        EXPECT_EQ(MemOutstanding(), m_baseline) << allowed;
    }
}

TEST_F(BackgroundOpsTest, AnEventThatCannotBeMadeFailsTheSetUpCleanly) {
    // The cancel event, then each slot's scan-done event.
    for (long allowed = 0; allowed < 3; ++allowed) {
        AnalysisEventsFailAfter(allowed);
        EXPECT_FALSE(BackgroundOpsInit(&g_backgroundOps)) << allowed;
        AnalysisEventsFailAfter(-1);
        EXPECT_FALSE(BackgroundOpsIsValid(&g_backgroundOps));
        EXPECT_EQ(MemOutstanding(), m_baseline) << allowed;
    }
    AnalysisEventsFailAfter(3);
    EXPECT_TRUE(BackgroundOpsInit(&g_backgroundOps));
    AnalysisEventsFailAfter(-1);
}

TEST_F(BackgroundOpsTest, ReinitAfterAnAnalysisReleasesBothTrees) {
    TempFolder folder;
    folder.MakeFile(L"a.txt", "a");
    folder.MakeFile(L"b.txt", "b");
    ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
    ScanContext context = {nullptr, SkipLogAppendLines};
    for (LocationSlot& slot : g_backgroundOps.slots)
        ASSERT_EQ(ScanLocation(slot.tree, folder.Path().c_str(), &context), 0u);
    EXPECT_GT(MemOutstanding(), m_baseline + 4);
    BackgroundOpsFree(&g_backgroundOps);
    EXPECT_EQ(MemOutstanding(), m_baseline);
    ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
    EXPECT_EQ(MemOutstanding(), m_baseline + 4);
}

struct LingeringScan {
    HANDLE cancelEvent;
    HANDLE scanDoneEvent;
    std::atomic<bool> finished{false};
};

DWORD WINAPI LingeringScanThread(void* parameter) {
    auto* scan = static_cast<LingeringScan*>(parameter);
    // Runs until asked to stop, like a scan of a large location.
    WaitForSingleObject(scan->cancelEvent, 30000);
    Sleep(100);
    scan->finished = true;
    SetEvent(scan->scanDoneEvent);
    return 0;
}

TEST_F(BackgroundOpsTest, FreeStopsAndWaitsForAScanThatStillRuns) {
    ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
    LocationSlot& slot = g_backgroundOps.slots[1];
    LingeringScan scan;
    scan.cancelEvent = slot.cancelEvent;
    scan.scanDoneEvent = slot.scanDoneEvent;
    slot.scanStarted = 1;
    HANDLE thread = CreateThread(nullptr, 0, LingeringScanThread, &scan, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(BackgroundOpsFree(&g_backgroundOps));
    EXPECT_TRUE(scan.finished);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

TEST_F(BackgroundOpsTest, SetLocationStatusCutsLongTexts) {
    ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
    std::wstring longText(3000, L'a');
    SetLocationStatus(&g_backgroundOps.slots[0], longText.c_str(), 5);
    EXPECT_EQ(wcslen(g_backgroundOps.slots[0].statusText), 2047u);
    EXPECT_EQ(g_backgroundOps.slots[0].statusCode, 5u);
}

}  // namespace
