#include "analysis/io_engine.h"
#include "model/system_error.h"
#include "tests/analysis/analysis_run.h"

#include <string>

namespace {

const size_t kChunk = kIoChunkBytes;

std::string Pattern(size_t length, unsigned seed = 1) {
    std::string bytes(length, '\0');
    uint32_t value = seed;
    for (size_t i = 0; i < length; ++i) {
        value = value * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(value >> 16);
    }
    return bytes;
}

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
    const std::string eight = Pattern(kChunk);
    const std::string ten = eight + Pattern(2 * 1024 * 1024, 7);
    std::string lastByte = Pattern(kChunk + 5, 3);
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
    const std::string base = Pattern(1024 * 1024 + 37, 5);
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

// The engine on its own, driven the way the worker drives it.
class EngineTest : public AnalysisTest {
protected:
    void SetUp() override {
        AnalysisTest::SetUp();
        ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
        ASSERT_TRUE(IoEngineStart(&m_engine));
        m_node0 = AddNode(0);
        m_node1 = AddNode(1);
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
    void Attach(int channel, const std::wstring& path) {
        HANDLE file = OpenFileForComparison(path.c_str());
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        IoChannelAttach(m_engine.channels[channel], file);
    }
    CompareOutcome Compare(const std::string& content0, const std::string& content1) {
        Attach(0, File(0, L"f", content0));
        Attach(1, File(1, L"f", content1));
        return CompareFilePair(&m_engine, &g_backgroundOps, m_node0, m_node1, &m_progress, &m_failedLocation,
                               &m_readError);
    }

    IoEngine m_engine = {};
    FileNode* m_node0 = nullptr;
    FileNode* m_node1 = nullptr;
    ComparePairProgress m_progress = {0, GetTickCount(), GetTickCount(), 0};
    unsigned m_failedLocation = 9;
    DWORD m_readError = 0;
};

TEST_F(EngineTest, CountsTheShorterLengthOfEveryPairAndDetaches) {
    const std::string eight = Pattern(kChunk);
    struct Pair {
        std::string a, b;
        bool differ;
    } pairs[] = {
        {"", "", false},
        {eight, eight, false},
        {eight, eight + Pattern(2 * 1024 * 1024), true},
        {Pattern(3 * kChunk + 17, 5), Pattern(3 * kChunk + 17, 5), false},
        {"abc", eight, true},
    };
    uint64_t expected = 0;
    for (const Pair& pair : pairs) {
        m_node0->state = m_node1->state = DiffIdentical;
        EXPECT_EQ(Compare(pair.a, pair.b), CompareCompared);
        EXPECT_EQ(m_node0->state, pair.differ ? DiffModified : DiffIdentical) << pair.a.size() << " " << pair.b.size();
        EXPECT_EQ(m_node1->state, m_node0->state);
        expected += std::min(pair.a.size(), pair.b.size());
        EXPECT_EQ(m_progress.bytesCompared, expected);
        for (IoChannel* channel : m_engine.channels) {
            EXPECT_EQ(channel->handle, INVALID_HANDLE_VALUE);
            EXPECT_EQ(channel->active, 0);
        }
    }
    // Closed: the files can be opened without sharing again.
    HANDLE reopened = CreateFileW((Root(0) + L"f").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reopened, INVALID_HANDLE_VALUE);
    CloseHandle(reopened);
}

TEST_F(EngineTest, DifferenceMarksBothNodesAndTheirAncestors) {
    EXPECT_EQ(Compare(Pattern(100), Pattern(100, 2)), CompareCompared);
    EXPECT_EQ(m_node0->state, DiffModified);
    EXPECT_EQ(m_node1->state, DiffModified);
    EXPECT_EQ(g_backgroundOps.slots[0].tree->root->state, DiffModified);
    EXPECT_EQ(g_backgroundOps.slots[1].tree->root->state, DiffModified);
}

TEST_F(EngineTest, AbsentCounterpartMarksOnlyTheFirstNode) {
    Attach(0, File(0, L"f", "one"));
    Attach(1, File(1, L"f", "two"));
    EXPECT_EQ(CompareFilePair(&m_engine, &g_backgroundOps, m_node0, nullptr, &m_progress, &m_failedLocation,
                              &m_readError),
              CompareCompared);
    EXPECT_EQ(m_node0->state, DiffModified);
    EXPECT_EQ(m_node1->state, DiffIdentical);
}

TEST_F(EngineTest, CancelledBeforeACycleLeavesTheFilesForStop) {
    RequestCancel(&g_backgroundOps);
    EXPECT_EQ(Compare("abc", "abd"), CompareCancelled);
    EXPECT_EQ(m_node0->state, DiffIdentical);
    EXPECT_EQ(m_engine.channels[0]->active, 1);
    EXPECT_EQ(m_engine.channels[1]->active, 1);
    IoEngineStop(&m_engine);
    HANDLE reopened = CreateFileW((Root(1) + L"f").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reopened, INVALID_HANDLE_VALUE);
    CloseHandle(reopened);
}

void CancelOnProgress(BackgroundOpsData* data, UINT message, WPARAM, void* count) {
    if (message != WM_ANALYSIS_PROGRESS) return;
    ++*static_cast<int*>(count);
    RequestCancel(data);
}

TEST_F(EngineTest, FilesThatChangedSinceTheyWereListedAreReadToTheirRealEnd) {
    const std::string base = Pattern(kChunk / 2 + 100, 9);
    std::string longer = base + Pattern(5000, 4);
    std::string longerChanged = longer;
    longerChanged.back() ^= 0x02;
    struct Case {
        uint64_t listed0, listed1;
        const std::string& content0;
        const std::string& content1;
        DiffState expected;
    } cases[] = {
        // Both grew by the same bytes past the listed size.
        {base.size(), base.size(), longer, longer, DiffIdentical},
        // Both grew, and differ only in what was added.
        {base.size(), base.size(), longer, longerChanged, DiffModified},
        // Listed larger than they are now.
        {longer.size(), longer.size(), base, base, DiffIdentical},
        {base.size(), base.size(), base, longer, DiffModified},
    };
    for (const Case& c : cases) {
        m_node0->state = m_node1->state = DiffIdentical;
        m_node0->size = c.listed0;
        m_node1->size = c.listed1;
        EXPECT_EQ(Compare(c.content0, c.content1), CompareCompared);
        EXPECT_EQ(m_node0->state, c.expected) << c.content0.size() << " against " << c.content1.size();
        EXPECT_EQ(m_node1->state, c.expected);
    }
}

TEST_F(EngineTest, CancelInsideALongFileStopsWithinOneCycle) {
    const std::string long0 = Pattern(3 * kChunk);
    // The last report lies far back, so the first cycle reports and the report cancels.
    m_progress.lastReportTick = GetTickCount() - 2 * kProgressIntervalMs;
    m_progress.amountToCompare = long0.size();
    int reports = 0;
    SetAnalysisMessageObserver(CancelOnProgress, &reports);
    CompareOutcome outcome = Compare(long0, long0);
    SetAnalysisMessageObserver(nullptr, nullptr);
    EXPECT_EQ(outcome, CompareCancelled);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(m_progress.bytesCompared, kChunk);
    const LocationSlot& slot = g_backgroundOps.slots[0];
    EXPECT_EQ(slot.doneBytes, kChunk);
    EXPECT_EQ(slot.totalBytes, long0.size());
}

TEST_F(EngineTest, ReadErrorNamesTheLocationAndCode) {
    for (bool simultaneous : {false, true}) {
        g_backgroundOps.simultaneous = simultaneous;
        Attach(0, File(0, L"f", "readable"));
        // Open for writing only: every read of it fails.
        std::wstring path = File(1, L"f", "unreadable");
        HANDLE writeOnly = CreateFileW(path.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(writeOnly, INVALID_HANDLE_VALUE);
        IoChannelAttach(m_engine.channels[1], writeOnly);
        EXPECT_EQ(CompareFilePair(&m_engine, &g_backgroundOps, m_node0, m_node1, &m_progress, &m_failedLocation,
                                  &m_readError),
                  CompareReadError);
        EXPECT_EQ(m_failedLocation, 1u);
        EXPECT_EQ(m_readError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
        // The files stay attached until they are detached or the engine stops.
        EXPECT_EQ(m_engine.channels[1]->active, 1);
        IoChannelDetach(m_engine.channels[0]);
        IoChannelDetach(m_engine.channels[1]);
    }
}

// Reads the way some systems report them: the end of a file as error 38, or
// every read as pending.
BOOL WINAPI ReadReportingEndOfFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    uint64_t offset = overlapped->Offset | (static_cast<uint64_t>(overlapped->OffsetHigh) << 32);
    if (offset >= static_cast<uint64_t>(size.QuadPart)) {
        SetLastError(ERROR_HANDLE_EOF);
        return FALSE;
    }
    return ReadFile(file, buffer, bytes, read, overlapped);
}

BOOL WINAPI ReadReportingPending(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
    if (!ReadFile(file, buffer, bytes, read, overlapped)) return FALSE;
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

TEST_F(EngineTest, EndOfFileErrorAndPendingReadsGiveTheSameAnswers) {
    const std::string eight = Pattern(kChunk);
    std::string changed = eight;
    changed.back() ^= 0x40;
    for (IoReadFunction read : {ReadReportingEndOfFile, ReadReportingPending}) {
        // The readers of the engine started by SetUp already use ReadFile; start new ones.
        IoEngineStop(&m_engine);
        IoEngineSetReadFunction(read);
        ASSERT_TRUE(IoEngineStart(&m_engine));
        m_progress.bytesCompared = 0;
        m_node0->state = m_node1->state = DiffIdentical;
        EXPECT_EQ(Compare("", ""), CompareCompared);
        EXPECT_EQ(Compare(eight, eight), CompareCompared);
        EXPECT_EQ(m_node0->state, DiffIdentical);
        EXPECT_EQ(Compare(eight, eight + "tail"), CompareCompared);
        EXPECT_EQ(m_node0->state, DiffModified);
        m_node0->state = m_node1->state = DiffIdentical;
        EXPECT_EQ(Compare(eight, changed), CompareCompared);
        EXPECT_EQ(m_node1->state, DiffModified);
        EXPECT_EQ(m_progress.bytesCompared, 3 * kChunk);
        IoEngineSetReadFunction(nullptr);
    }
}

TEST_F(EngineTest, GoWithoutAFileCompletesWithInvalidParameter) {
    IoChannel* channel = m_engine.channels[0];
    SetEvent(channel->goEvent);
    ASSERT_EQ(WaitForSingleObject(channel->doneEvent, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(channel->result, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(EngineTest, StartedEngineHasPageAlignedBuffersAndStopZeroesIt) {
    for (IoChannel* channel : m_engine.channels) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(channel->bufferA) % 4096, 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(channel->bufferB) % 4096, 0u);
        EXPECT_NE(channel->bufferA, channel->bufferB);
        EXPECT_EQ(channel->handle, INVALID_HANDLE_VALUE);
    }
    IoEngineStop(&m_engine);
    EXPECT_EQ(m_engine.channels[0], nullptr);
    EXPECT_EQ(m_engine.readerThreads[1], nullptr);
}

TEST(EngineStartTest, FailedChannelAllocationUndoesEverything) {
    long baseline = MemOutstanding();
    unsigned threads = CountProcessThreads();
    for (long allowed : {0L, 1L}) {
        IoEngine engine;
        MemFailAfter(allowed);
        EXPECT_FALSE(IoEngineStart(&engine));
        MemFailAfter(-1);
        EXPECT_EQ(engine.channels[0], nullptr);
        EXPECT_EQ(MemOutstanding(), baseline);
        EXPECT_EQ(CountProcessThreads(), threads);
    }
}

}  // namespace
