#include "analysis/content_pair.h"
#include "model/system_error.h"
#include "tests/analysis/analysis_run.h"

#include <string>

namespace {

const size_t kChunk = kIoChunkBytes;

std::wstring ReadWholeText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return L"<missing>";
    std::wstring text(GetFileSize(file, nullptr) / 2, L'\0');
    DWORD read = 0;
    if (!text.empty()) ReadFile(file, &text[0], static_cast<DWORD>(text.size() * 2), &read, nullptr);
    CloseHandle(file);
    return text;
}

class ContentTest : public AnalysisTest {
protected:
    AnalysisRun RunWithContent(bool simultaneous = false) {
        AnalysisRunOptions options;
        options.compareContent = true;
        options.simultaneous = simultaneous;
        options.logPath = m_log;
        AnalysisRun run = Run(options);
        EXPECT_FALSE(run.sent.empty());
        if (!run.sent.empty()) {
            EXPECT_EQ(run.sent.back().message, WM_ANALYSIS_DONE) << Describe(run.sent);
        }
        return run;
    }
    std::wstring m_log = m_folder.PathOf(L"AnalyzeLog.txt");
};

TEST_F(ContentTest, PairsOfChunkEdgesAreJudgedByTheirBytes) {
    const std::string eight = BytePattern(kChunk);
    const std::string ten = eight + BytePattern(2 * 1024 * 1024, 7);
    std::string lastByte = BytePattern(kChunk + 5, 3);
    std::string lastByteChanged = lastByte;
    lastByteChanged.back() ^= 0x01;

    FileInBoth(L"empty.bin", "");
    FileInBoth(L"eight.bin", eight);
    File(0, L"prefix\\eight-ten.bin", eight);
    File(1, L"prefix\\eight-ten.bin", ten);
    File(0, L"last\\tail.bin", lastByte);
    File(1, L"last\\tail.bin", lastByteChanged);
    File(0, L"times\\same.bin", "same bytes", kTime);
    File(1, L"times\\same.bin", "same bytes", kTime + 10000000);
    File(0, L"sizes\\grown.txt", "short", kTime);
    File(1, L"sizes\\grown.txt", "much longer", kTime);

    for (bool simultaneous : {false, true}) {
        SCOPED_TRACE(simultaneous ? "simultaneous" : "one after the other");
        RunWithContent(simultaneous);
        for (int side = 0; side < 2; ++side) {
            EXPECT_EQ(State(side, L"empty.bin"), DiffIdentical);
            EXPECT_EQ(State(side, L"eight.bin"), DiffIdentical);
            EXPECT_EQ(State(side, L"prefix\\eight-ten.bin"), DiffModified);
            EXPECT_EQ(State(side, L"prefix"), DiffModified);
            EXPECT_EQ(State(side, L"last\\tail.bin"), DiffModified);
            EXPECT_EQ(State(side, L"last"), DiffModified);
            EXPECT_EQ(State(side, L"times\\same.bin"), DiffIdentical);
            EXPECT_EQ(State(side, L"times"), DiffIdentical);
            EXPECT_EQ(State(side, L"sizes\\grown.txt"), DiffModified);
            EXPECT_EQ(State(side, L""), DiffModified);
        }
        EXPECT_EQ(g_backgroundOps.slots[0].commonBytes, 0 + kChunk + kChunk + (kChunk + 5) + 10 + 5);
    }
}

TEST_F(ContentTest, OneFlippedBitAnywhereInAChunkMakesThePairModified) {
    // Wherever the difference lies in a block of the comparison, and in the tail.
    const std::string base = BytePattern(1024 * 1024 + 37, 5);
    const size_t offsets[] = {0, 17, 63, 64 + 31, 512 * 1024 + 48, 1024 * 1024 - 1, 1024 * 1024 + 36};
    FileInBoth(L"flip\\same.bin", base);
    for (size_t offset : offsets) {
        std::string changed = base;
        changed[offset] ^= 0x40;
        std::wstring name = L"flip\\" + std::to_wstring(offset) + L".bin";
        File(0, name, base);
        File(1, name, changed);
    }
    RunWithContent();
    EXPECT_EQ(State(0, L"flip\\same.bin"), DiffIdentical);
    for (size_t offset : offsets) {
        std::wstring name = L"flip\\" + std::to_wstring(offset) + L".bin";
        EXPECT_EQ(State(0, name), DiffModified) << offset;
        EXPECT_EQ(State(1, name), DiffModified) << offset;
    }
}

TEST_F(ContentTest, LockedFileIsUnknownInBothTreesAndLogged) {
    FileInBoth(L"dir\\inner\\locked.bin", "locked content");
    FileInBoth(L"dir\\fine.bin", "fine");
    std::wstring lockedPath = Root(1) + L"dir\\inner\\locked.bin";
    HANDLE holder = CreateFileW(lockedPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    AnalysisRun run = RunWithContent();
    CloseHandle(holder);

    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(State(side, L"dir\\inner\\locked.bin"), DiffUnknown);
        EXPECT_EQ(State(side, L"dir\\inner"), DiffModified);
        EXPECT_EQ(State(side, L"dir"), DiffModified);
        EXPECT_EQ(State(side, L""), DiffModified);
        EXPECT_EQ(State(side, L"dir\\fine.bin"), DiffIdentical);
    }
    EXPECT_EQ(run.logEntries, 2u);
    wchar_t message[kSystemErrorUnits];
    FormatSystemError(ERROR_SHARING_VIOLATION, message);
    EXPECT_EQ(ReadWholeText(m_log), L"\xFEFFTest log\r\n\r\n" + lockedPath + L"\r\n" + message + L"\r\n");
}

// The worker's side of one pair: what the engine's answer does to the two
// trees, and the progress it reports.
class NodePairTest : public AnalysisTest {
protected:
    void SetUp() override {
        AnalysisTest::SetUp();
        ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
        ASSERT_TRUE(IoEngineStart(&m_engine));
        m_node0 = AddNode(0);
        m_node1 = AddNode(1);
        m_run.cancelEvent = g_backgroundOps.cancelEvent;
    }
    void TearDown() override {
        IoEngineStop(&m_engine);
        AnalysisTest::TearDown();
    }
    FileNode* AddNode(int side) {
        NodeRecord record = {};
        wcscpy(record.name, L"f");
        return AddChildNode(&record, g_backgroundOps.slots[side].tree->root);
    }
    void Attach(int channel, const std::wstring& path, uint64_t listed, bool overlapped) {
        HANDLE file = OpenFileForComparison(path.c_str(), overlapped);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        IoChannelAttach(m_engine.channels[channel], file, listed, overlapped);
    }
    CompareOutcome Compare(const std::string& content0, const std::string& content1, FileNode* node1) {
        const bool overlapped = !PairFitsInOneChunk(content0.size(), content1.size());
        Attach(0, File(0, L"f", content0), content0.size(), overlapped);
        Attach(1, File(1, L"f", content1), content1.size(), overlapped);
        return CompareNodePair(&m_engine, &m_run, m_node0, node1, &m_failure);
    }

    IoEngine m_engine = {};
    FileNode* m_node0 = nullptr;
    FileNode* m_node1 = nullptr;
    ContentProgress m_progress = {&g_backgroundOps, GetTickCount(), GetTickCount(), 0};
    CompareRun m_run = {nullptr, false, ReportContentProgress, &m_progress};
    ReadFailure m_failure = {9, 0};
};

TEST_F(NodePairTest, DifferenceMarksBothNodesAndTheirAncestors) {
    EXPECT_EQ(Compare(BytePattern(100), BytePattern(100), m_node1), CompareSame);
    EXPECT_EQ(m_node0->state, DiffIdentical);
    EXPECT_EQ(g_backgroundOps.slots[0].tree->root->state, DiffIdentical);
    EXPECT_EQ(Compare(BytePattern(100), BytePattern(100, 2), m_node1), CompareDifferent);
    EXPECT_EQ(m_node0->state, DiffModified);
    EXPECT_EQ(m_node1->state, DiffModified);
    EXPECT_EQ(g_backgroundOps.slots[0].tree->root->state, DiffModified);
    EXPECT_EQ(g_backgroundOps.slots[1].tree->root->state, DiffModified);
}

TEST_F(NodePairTest, AbsentCounterpartMarksOnlyTheFirstNode) {
    EXPECT_EQ(Compare("one", "two", nullptr), CompareDifferent);
    EXPECT_EQ(m_node0->state, DiffModified);
    EXPECT_EQ(m_node1->state, DiffIdentical);
}

void CancelOnProgress(BackgroundOpsData* data, UINT message, WPARAM, void* count) {
    if (message != WM_ANALYSIS_PROGRESS) return;
    ++*static_cast<int*>(count);
    RequestCancel(data);
}

TEST_F(NodePairTest, ProgressReportInsideALongFileCanCancelWithinOneCycle) {
    const std::string long0 = BytePattern(3 * kChunk);
    // The last report lies far back, so the first cycle reports and the report cancels.
    m_progress.lastReportTick = GetTickCount() - 2 * kProgressIntervalMs;
    m_progress.amountToCompare = long0.size();
    int reports = 0;
    SetAnalysisMessageObserver(CancelOnProgress, &reports);
    CompareOutcome outcome = Compare(long0, long0, m_node1);
    SetAnalysisMessageObserver(nullptr, nullptr);
    EXPECT_EQ(outcome, CompareCancelled);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(m_run.bytesCompared, kIoFirstReadBytes);
    const LocationSlot& slot = g_backgroundOps.slots[0];
    EXPECT_EQ(slot.doneBytes, kIoFirstReadBytes);
    EXPECT_EQ(slot.totalBytes, long0.size());
    EXPECT_EQ(m_node0->state, DiffIdentical);
}

}  // namespace
