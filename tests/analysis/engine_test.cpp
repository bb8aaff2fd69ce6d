#include "analysis/io_engine.h"
#include "model/memory.h"
#include "tests/analysis/analysis_run.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const size_t kChunk = kIoChunkBytes;

// The engine on its own: two open files, no tree.
class EngineTest : public testing::Test {
protected:
    void SetUp() override {
        m_baseline = MemOutstanding();
        ASSERT_TRUE(IoEngineStart(&m_engine));
    }
    void TearDown() override {
        IoEngineStop(&m_engine);
        IoEngineSetReadFunction(nullptr);
        CloseHandle(m_cancel);
        EXPECT_EQ(MemOutstanding(), m_baseline) << "blocks left behind";
    }
    // After a cancel or a read error the engine is only stopped; tests go on with a new one.
    void Restart() {
        IoEngineStop(&m_engine);
        ASSERT_TRUE(IoEngineStart(&m_engine));
    }
    void RestartReadingWith(IoReadFunction read) {
        IoEngineStop(&m_engine);
        IoEngineSetReadFunction(read);
        ASSERT_TRUE(IoEngineStart(&m_engine));
    }
    std::wstring PathOf(int side) const { return m_folder.PathOf(side == 0 ? L"a.bin" : L"b.bin"); }
    HANDLE Attach(int side, const std::string& content, uint64_t listed, bool overlapped) {
        m_folder.MakeFile(side == 0 ? L"a.bin" : L"b.bin", content);
        HANDLE file = OpenFileForComparison(PathOf(side).c_str(), overlapped);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        IoChannelAttach(m_engine.channels[side], file, listed, overlapped);
        return file;
    }
    // Both files opened the way the worker opens them for these listed sizes,
    // or always overlapped.
    CompareOutcome CompareListed(const std::string& content0, uint64_t listed0, const std::string& content1,
                                 uint64_t listed1) {
        const bool overlapped = m_alwaysOverlapped || !PairFitsInOneChunk(listed0, listed1);
        Attach(0, content0, listed0, overlapped);
        Attach(1, content1, listed1, overlapped);
        return CompareFilePair(&m_engine, &m_run, &m_failure);
    }
    // Both files listed at the size they have.
    CompareOutcome Compare(const std::string& content0, const std::string& content1) {
        return CompareListed(content0, content0.size(), content1, content1.size());
    }
    bool BothDetached() const {
        for (const IoChannel* channel : m_engine.channels) {
            if (channel->active != 0 || channel->handle != INVALID_HANDLE_VALUE) return false;
        }
        return true;
    }
    // Whether the file can be opened without sharing: nobody holds it open.
    bool Closed(int side) const {
        HANDLE file = CreateFileW(PathOf(side).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        CloseHandle(file);
        return true;
    }
    static void RecordProgress(uint64_t bytesCompared, void* context) {
        static_cast<EngineTest*>(context)->m_reports.push_back(bytesCompared);
    }

    TempFolder m_folder;
    long m_baseline = 0;
    IoEngine m_engine = {};
    HANDLE m_cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CompareRun m_run = {m_cancel, false, RecordProgress, this};
    ReadFailure m_failure = {9, 0};
    std::vector<uint64_t> m_reports;
    bool m_alwaysOverlapped = false;
};

// Sizes on both sides of the small-file path's limit and of the pages a read asks for.
const size_t kSizes[] = {0, 1, 100, 4096, 5000, kChunk - 1, kChunk, kChunk + 1, 2 * kChunk + 17};

TEST_F(EngineTest, SameOrDifferentAtEverySizeInBothReadOrders) {
    for (bool simultaneous : {false, true}) {
        m_run.simultaneous = simultaneous;
        for (size_t size : kSizes) {
            SCOPED_TRACE(std::to_string(size) + (simultaneous ? " simultaneous" : " one after the other"));
            const std::string bytes = BytePattern(size, static_cast<unsigned>(size));
            uint64_t before = m_run.bytesCompared;
            size_t reportsBefore = m_reports.size();
            EXPECT_EQ(Compare(bytes, bytes), CompareSame);
            EXPECT_TRUE(BothDetached());
            EXPECT_EQ(m_run.bytesCompared, before + size);
            // At least one report per pair, the last one with the count so far.
            ASSERT_GT(m_reports.size(), reportsBefore);
            EXPECT_EQ(m_reports.back(), m_run.bytesCompared);
            if (size == 0) continue;
            for (size_t offset : {size_t(0), size / 2, size - 1}) {
                std::string changed = bytes;
                changed[offset] ^= 0x10;
                EXPECT_EQ(Compare(bytes, changed), CompareDifferent) << offset;
                EXPECT_TRUE(BothDetached());
            }
            // One file the other's prefix: different, and only the shorter length counts.
            before = m_run.bytesCompared;
            EXPECT_EQ(Compare(bytes + "z", bytes), CompareDifferent);
            EXPECT_EQ(m_run.bytesCompared, before + size);
        }
    }
    EXPECT_TRUE(Closed(0));
    EXPECT_TRUE(Closed(1));
}

DWORD g_testThread = 0;
volatile LONG g_readsHere = 0;
volatile LONG g_readsElsewhere = 0;

BOOL WINAPI CountThreadOfRead(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
    InterlockedIncrement(GetCurrentThreadId() == g_testThread ? &g_readsHere : &g_readsElsewhere);
    return ReadFile(file, buffer, bytes, read, overlapped);
}

TEST_F(EngineTest, OnlyPairsThatFitInOneChunkAreReadWithoutTheReaders) {
    RestartReadingWith(CountThreadOfRead);
    g_testThread = GetCurrentThreadId();
    const std::string chunk = BytePattern(kChunk);
    struct Case {
        size_t size0, size1;
        bool here;
    } cases[] = {{10, 20, true}, {kChunk, kChunk, true}, {kChunk, kChunk + 1, false}, {kChunk + 1, 10, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size0) + " and " + std::to_string(c.size1));
        g_readsHere = 0;
        g_readsElsewhere = 0;
        const std::string bytes = chunk + "tail";
        EXPECT_EQ(Compare(bytes.substr(0, c.size0), bytes.substr(0, c.size1)),
                  c.size0 == c.size1 ? CompareSame : CompareDifferent);
        EXPECT_EQ(g_readsHere > 0, c.here);
        EXPECT_EQ(g_readsElsewhere > 0, !c.here);
    }
}

// Where a read starts: the OVERLAPPED's offset, or a synchronous file's position.
uint64_t ReadOffset(HANDLE file, const OVERLAPPED* overlapped) {
    if (overlapped) return overlapped->Offset | (static_cast<uint64_t>(overlapped->OffsetHigh) << 32);
    LARGE_INTEGER position = {};
    SetFilePointerEx(file, position, &position, FILE_CURRENT);
    return static_cast<uint64_t>(position.QuadPart);
}

HANDLE g_failingFile = nullptr;
uint64_t g_failingFrom = 0;

// Reads of one file fail from the given offset on, as if its device had gone.
BOOL WINAPI FailOneFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
    if (file == g_failingFile && ReadOffset(file, overlapped) >= g_failingFrom) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    return ReadFile(file, buffer, bytes, read, overlapped);
}

TEST_F(EngineTest, ReadErrorNamesTheSideAndCodeAndKeepsTheFilesForStop) {
    RestartReadingWith(FailOneFile);
    const std::string small = BytePattern(3000);
    const std::string large = BytePattern(2 * kChunk);
    std::string largeChanged = large;
    largeChanged[5] ^= 0x01;
    struct Case {
        const std::string& content;
        const std::string& changed;
        uint64_t failingFrom;
    } cases[] = {
        {small, small, 0},
        // A read in flight when a difference shows still counts its error.
        {large, largeChanged, kIoFirstReadBytes},
    };
    for (bool simultaneous : {false, true}) {
        m_run.simultaneous = simultaneous;
        for (const Case& c : cases) {
            for (unsigned side = 0; side < 2; ++side) {
                SCOPED_TRACE(std::to_string(c.content.size()) + " side " + std::to_string(side) +
                             (simultaneous ? " simultaneous" : ""));
                Restart();
                const bool overlapped = !PairFitsInOneChunk(c.content.size(), c.changed.size());
                HANDLE files[2] = {Attach(0, c.content, c.content.size(), overlapped),
                                   Attach(1, c.changed, c.changed.size(), overlapped)};
                g_failingFile = files[side];
                g_failingFrom = c.failingFrom;
                m_failure = {9, 0};
                EXPECT_EQ(CompareFilePair(&m_engine, &m_run, &m_failure), CompareReadError);
                EXPECT_EQ(m_failure.side, side);
                EXPECT_EQ(m_failure.code, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
                EXPECT_EQ(m_engine.channels[0]->active, 1);
                EXPECT_EQ(m_engine.channels[1]->active, 1);
                IoEngineStop(&m_engine);
                EXPECT_TRUE(Closed(0));
                EXPECT_TRUE(Closed(1));
            }
        }
    }
    g_failingFile = nullptr;
}

TEST_F(EngineTest, ReadErrorOfTheSystemIsPassedOn) {
    for (bool simultaneous : {false, true}) {
        m_run.simultaneous = simultaneous;
        // A small pair read in place from files opened overlapped.
        Attach(0, "readable", 8, true);
        // Open for writing only: every read of it fails.
        std::wstring path = m_folder.MakeFile(L"b.bin", "unreadable");
        HANDLE writeOnly = CreateFileW(path.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(writeOnly, INVALID_HANDLE_VALUE);
        IoChannelAttach(m_engine.channels[1], writeOnly, 10, true);
        EXPECT_EQ(CompareFilePair(&m_engine, &m_run, &m_failure), CompareReadError);
        EXPECT_EQ(m_failure.side, 1u);
        EXPECT_EQ(m_failure.code, static_cast<DWORD>(ERROR_ACCESS_DENIED));
        Restart();
    }
}

TEST_F(EngineTest, CancelStopsBeforeTheNextCycleAndKeepsTheFilesForStop) {
    // Set before the first pair of a run: nothing is read.
    SetEvent(m_cancel);
    for (size_t size : {size_t(3), 3 * kChunk}) {
        SCOPED_TRACE(size);
        Restart();
        m_run = {m_cancel, false, RecordProgress, this};
        const std::string bytes = BytePattern(size);
        EXPECT_EQ(Compare(bytes, bytes), CompareCancelled);
        EXPECT_EQ(m_engine.channels[0]->active, 1);
        EXPECT_EQ(m_engine.channels[1]->active, 1);
        IoEngineStop(&m_engine);
        EXPECT_TRUE(Closed(0));
        EXPECT_TRUE(Closed(1));
    }
    EXPECT_EQ(m_run.bytesCompared, 0u);

    // Set between two small pairs: seen once the clock has moved on.
    ResetEvent(m_cancel);
    Restart();
    EXPECT_EQ(Compare("abc", "abc"), CompareSame);
    SetEvent(m_cancel);
    const DWORD compared = GetTickCount();
    while (GetTickCount() == compared) Sleep(1);
    EXPECT_EQ(Compare("abc", "abc"), CompareCancelled);
}

// The analysis raises a flag with the event: the engine tests the flag before
// every cycle, also between two small pairs, without waiting for the clock.
TEST_F(EngineTest, CancelFlagStopsBeforeTheNextCycle) {
    volatile LONG requested = 0;
    m_run.cancelRequested = &requested;
    EXPECT_EQ(Compare("abc", "abc"), CompareSame);
    InterlockedExchange(&requested, 1);
    EXPECT_EQ(Compare("abc", "abc"), CompareCancelled);
    IoEngineStop(&m_engine);
    Restart();
    m_run.cancelRequested = &requested;
    const std::string bytes = BytePattern(3 * kChunk);
    EXPECT_EQ(Compare(bytes, bytes), CompareCancelled);
    EXPECT_EQ(m_run.bytesCompared, 3u) << "only the first small pair was compared";
}

void CancelOnReport(uint64_t, void* cancel) { SetEvent(static_cast<HANDLE>(cancel)); }

TEST_F(EngineTest, CancelInsideALongFileStopsWithinOneCycle) {
    m_run.progress = CancelOnReport;
    m_run.progressContext = m_cancel;
    const std::string bytes = BytePattern(3 * kChunk);
    EXPECT_EQ(Compare(bytes, bytes), CompareCancelled);
    EXPECT_EQ(m_run.bytesCompared, kIoFirstReadBytes);
}

// A pair of big files that differ early costs a few small reads, wherever the difference lies in them.
TEST_F(EngineTest, ABigPairThatDiffersEarlyStopsAfterAFewSmallReads) {
    const std::string bytes = BytePattern(3 * kChunk);
    for (size_t at : {size_t(0), size_t(kIoFirstReadBytes - 1), size_t(kIoFirstReadBytes)}) {
        SCOPED_TRACE(at);
        std::string changed = bytes;
        changed[at] ^= 0x01;
        m_run.bytesCompared = 0;
        EXPECT_EQ(Compare(bytes, changed), CompareDifferent);
        EXPECT_LE(m_run.bytesCompared, 7u * kIoFirstReadBytes);
    }
}

TEST_F(EngineTest, FilesThatChangedSinceTheyWereListedAreReadToTheirRealEnd) {
    const std::string base = BytePattern(kChunk / 2 + 100, 9);
    const std::string longer = base + BytePattern(5000, 4);
    std::string longerChanged = longer;
    longerChanged.back() ^= 0x02;
    // Listed small, now larger than a chunk: read past the chunk all the same.
    const std::string grownPastAChunk = BytePattern(2 * kChunk + 3, 6);
    std::string grownChanged = grownPastAChunk;
    grownChanged.back() ^= 0x02;
    struct Case {
        uint64_t listed0, listed1;
        const std::string& content0;
        const std::string& content1;
        CompareOutcome expected;
    } cases[] = {
        // Both grew by the same bytes past the listed size.
        {base.size(), base.size(), longer, longer, CompareSame},
        // Both grew, and differ only in what was added.
        {base.size(), base.size(), longer, longerChanged, CompareDifferent},
        {100, 100, grownPastAChunk, grownPastAChunk, CompareSame},
        {0, 0, grownPastAChunk, grownChanged, CompareDifferent},
        // Listed larger than they are now.
        {longer.size(), longer.size(), base, base, CompareSame},
        {3 * kChunk, 3 * kChunk, base, base, CompareSame},
        {base.size(), base.size(), base, longer, CompareDifferent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.listed0) + " listed, " + std::to_string(c.content0.size()) + " against " +
                     std::to_string(c.content1.size()));
        uint64_t before = m_run.bytesCompared;
        EXPECT_EQ(CompareListed(c.content0, c.listed0, c.content1, c.listed1), c.expected);
        EXPECT_EQ(m_run.bytesCompared - before, std::min(c.content0.size(), c.content1.size()));
    }
}

// Reads the way some systems report them: the end of a file as error 38, or
// every read as pending.
BOOL WINAPI ReadReportingEndOfFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    if (ReadOffset(file, overlapped) >= static_cast<uint64_t>(size.QuadPart)) {
        SetLastError(ERROR_HANDLE_EOF);
        return FALSE;
    }
    return ReadFile(file, buffer, bytes, read, overlapped);
}

BOOL WINAPI ReadReportingPending(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
    // Only an overlapped read can be pending.
    if (!ReadFile(file, buffer, bytes, read, overlapped)) return FALSE;
    if (!overlapped) return TRUE;
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

TEST_F(EngineTest, EndOfFileErrorAndPendingReadsGiveTheSameAnswers) {
    const std::string eight = BytePattern(kChunk);
    std::string changed = eight;
    changed.back() ^= 0x40;
    for (IoReadFunction read : {ReadReportingEndOfFile, ReadReportingPending}) {
        for (bool alwaysOverlapped : {false, true}) {
            SCOPED_TRACE(alwaysOverlapped ? "always overlapped" : "opened as the worker does");
            m_alwaysOverlapped = alwaysOverlapped;
            RestartReadingWith(read);
            m_run.bytesCompared = 0;
            EXPECT_EQ(Compare("", ""), CompareSame);
            EXPECT_EQ(Compare("short", "short"), CompareSame);
            EXPECT_EQ(Compare("short", "shorter"), CompareDifferent);
            // Listed empty, but not empty: the small path reads on past the listed end.
            EXPECT_EQ(CompareListed("grown", 0, "grown", 0), CompareSame);
            EXPECT_EQ(Compare(eight, eight), CompareSame);
            EXPECT_EQ(Compare(eight, eight + "tail"), CompareDifferent);
            EXPECT_EQ(Compare(eight + "tail", eight + "tail"), CompareSame);
            EXPECT_EQ(Compare(eight, changed), CompareDifferent);
            EXPECT_EQ(m_run.bytesCompared, 5 + 5 + 5 + 4 * kChunk + 4);
        }
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
