#include "analysis/skip_log.h"
#include "analysis/structure_compare.h"
#include "model/scan.h"
#include "tests/analysis/analysis_run.h"

namespace {

class OutOfMemoryTest : public AnalysisTest {
protected:
    void SetUp() override {
        AnalysisTest::SetUp();
        // Both passes add Missing copies, two levels deep, and compare common files.
        FileInBoth(L"common\\same.txt");
        File(0, L"left-only\\deeper\\a.txt");
        File(1, L"common\\right-only.txt");
        File(1, L"right-folder\\b.txt");
    }
};

TEST_F(OutOfMemoryTest, EveryAllocationOfTheStructureComparisonCanFailCleanly) {
    ScanContext context = {nullptr, SkipLogAppendLines};
    long failures = 0;
    for (long allowed = 0; allowed < 200; ++allowed) {
        ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
        LocationSlot* slots = g_backgroundOps.slots;
        ASSERT_EQ(ScanLocation(slots[0].tree, Root(0).c_str(), &context), 0u);
        ASSERT_EQ(ScanLocation(slots[1].tree, Root(1).c_str(), &context), 0u);
        MemFailAfter(allowed);
        const TimeRule rule = {};
        DWORD first = CompareStructure(slots[1].tree->root, L"Root\\", &slots[0], &rule);
        DWORD second = first == 0 ? CompareStructure(slots[0].tree->root, L"Root\\", &slots[1], &rule) : first;
        EXPECT_TRUE(second == 0 || second == DWORD(ERROR_NOT_ENOUGH_MEMORY)) << second;
        bool done = second == 0;
        MemFailAfter(-1);
        if (done) {
            EXPECT_EQ(State(0, L"left-only\\deeper\\a.txt"), DiffNew);
            EXPECT_EQ(State(1, L"left-only\\deeper\\a.txt"), DiffMissing);
            EXPECT_EQ(State(0, L"right-folder\\b.txt"), DiffMissing);
        }
        BackgroundOpsFree(&g_backgroundOps);
        EXPECT_EQ(MemOutstanding(), m_baseline) << "after " << allowed << " allocations";
        if (done) break;
        ++failures;
    }
    // Path buffers of five folder levels and the nodes and names of six copies.
    EXPECT_GE(failures, 10);
}

TEST_F(OutOfMemoryTest, WorkerReportsEveryStructureAllocationFailure) {
    for (long allowed = 0; allowed < 200; ++allowed) {
        SCOPED_TRACE(allowed);
        AnalysisRunOptions options;
        options.onMessage = [allowed](BackgroundOpsData* data, UINT message, WPARAM wParam) {
            if (message == WM_ANALYSIS_STATUS && wParam == 1 &&
                wcscmp(data->slots[1].statusText, L"Analyzing files and folders structure...") == 0)
                MemFailAfter(allowed);
        };
        AnalysisRun run = Run(options);
        MemFailAfter(-1);
        ASSERT_FALSE(run.sent.empty());
        const SentMessage& last = run.sent.back();
        BackgroundOpsFree(&g_backgroundOps);
        EXPECT_EQ(MemOutstanding(), m_baseline);
        if (last.message == WM_ANALYSIS_DONE) break;
        EXPECT_EQ(last.message, WM_ANALYSIS_FAILED);
        EXPECT_EQ(last.text, L"Failed to analyze files and folders structure");
        EXPECT_EQ(run.exitCode, 1u);
    }
}

TEST_F(OutOfMemoryTest, ScanOutOfMemoryIsAParseFailureWithCode8) {
    AnalysisRunOptions options;
    options.onMessage = [](BackgroundOpsData* data, UINT message, WPARAM wParam) {
        if (message == WM_ANALYSIS_STATUS && wParam == 0 &&
            wcscmp(data->slots[0].statusText, L"Parsing files and folders...") == 0)
            MemFailAfter(1);
    };
    AnalysisRun run = Run(options);
    MemFailAfter(-1);
    ASSERT_FALSE(run.sent.empty());
    EXPECT_EQ(run.sent.back().message, WM_ANALYSIS_FAILED) << Describe(run.sent);
    EXPECT_EQ(run.sent.back().text, L"Failed to parse files and folders");
    EXPECT_EQ(run.sent.back().code, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(OutOfMemoryTest, ContentPhaseReportsAFolderItCannotRemember) {
    File(0, L"common\\deeper\\changed.txt", "left");
    File(1, L"common\\deeper\\changed.txt", "righ");
    bool sawFolderFailure = false;
    for (long allowed = 0; allowed < 40; ++allowed) {
        SCOPED_TRACE(allowed);
        AnalysisRunOptions options;
        options.compareContent = true;
        options.onMessage = [allowed](BackgroundOpsData* data, UINT message, WPARAM wParam) {
            if (message == WM_ANALYSIS_STATUS && wParam == 1 &&
                wcscmp(data->slots[1].statusText, L"Analyzing common files content...") == 0)
                MemFailAfter(allowed);
        };
        AnalysisRun run = Run(options);
        MemFailAfter(-1);
        ASSERT_FALSE(run.sent.empty());
        const SentMessage last = run.sent.back();
        if (last.message == WM_ANALYSIS_DONE) {
            // Completion means every common pair was read.
            EXPECT_EQ(State(0, L"common\\deeper\\changed.txt"), DiffModified);
            BackgroundOpsFree(&g_backgroundOps);
            break;
        }
        BackgroundOpsFree(&g_backgroundOps);
        EXPECT_EQ(MemOutstanding(), m_baseline);
        EXPECT_EQ(last.message, WM_ANALYSIS_FAILED);
        EXPECT_EQ(last.code, DWORD(ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_EQ(run.exitCode, 1u);
        if (last.text == L"Error reading file content") {
            sawFolderFailure = true;
        } else {
            EXPECT_EQ(last.text, L"Failed to initialize IO engine");
        }
    }
    EXPECT_TRUE(sawFolderFailure);
}

TEST_F(OutOfMemoryTest, AnEngineEventThatCannotBeMadeFailsTheAnalysis) {
    const unsigned threads = CountProcessThreads();
    // Four events for each of the two channels.
    for (long allowed = 0; allowed < 8; ++allowed) {
        SCOPED_TRACE(allowed);
        AnalysisRunOptions options;
        options.compareContent = true;
        options.onMessage = [allowed](BackgroundOpsData* data, UINT message, WPARAM wParam) {
            if (message == WM_ANALYSIS_STATUS && wParam == 1 &&
                wcscmp(data->slots[1].statusText, L"Analyzing common files content...") == 0)
                AnalysisEventsFailAfter(allowed);
        };
        AnalysisRun run = Run(options);
        AnalysisEventsFailAfter(-1);
        ASSERT_GE(run.sent.size(), 2u);
        for (WPARAM location = 0; location < 2; ++location) {
            const SentMessage& failed = run.sent[run.sent.size() - 2 + location];
            EXPECT_EQ(failed.message, WM_ANALYSIS_FAILED);
            EXPECT_EQ(failed.wParam, location);
            EXPECT_EQ(failed.text, L"Failed to initialize IO engine");
        }
        BackgroundOpsFree(&g_backgroundOps);
        EXPECT_EQ(MemOutstanding(), m_baseline);
    }
    EXPECT_EQ(CountProcessThreads(), threads);
}

}  // namespace
