#include "analysis/io_engine.h"

#include "analysis/background_ops.h"  // CreateAnalysisEvent
#include "analysis/step_table.h"
#include "model/memory.h"
#include "model/win_guards.h"

#include <emmintrin.h>
#include <cstring>

namespace {

IoReadFunction g_read = ReadFile;

void ReleaseChannel(IoChannel* channel) {
    if (!channel) return;
    if (channel->goEvent) CloseHandle(channel->goEvent);
    if (channel->quitEvent) CloseHandle(channel->quitEvent);
    if (channel->doneEvent) CloseHandle(channel->doneEvent);
    if (channel->readEvent) CloseHandle(channel->readEvent);
    if (channel->bufferA) VirtualFree(channel->bufferA, 0, MEM_RELEASE);
    if (channel->bufferB) VirtualFree(channel->bufferB, 0, MEM_RELEASE);
    MemFree(channel);
}

BYTE* AllocateChunkBuffer() {
    return static_cast<BYTE*>(VirtualAlloc(nullptr, kIoChunkBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

IoChannel* CreateChannel() {
    auto* channel = static_cast<IoChannel*>(MemAllocZero(sizeof(IoChannel)));
    if (!channel) return nullptr;
    channel->bufferA = AllocateChunkBuffer();
    if (channel->bufferA) channel->bufferB = AllocateChunkBuffer();
    if (!channel->bufferB) {
        ReleaseChannel(channel);
        return nullptr;
    }
    OwnedHandle go(CreateAnalysisEvent(false));
    OwnedHandle quit(CreateAnalysisEvent(true));
    OwnedHandle done(CreateAnalysisEvent(false));
    // Made here rather than by the reader, so that a missing one fails the start.
    OwnedHandle read(CreateAnalysisEvent(true));
    if (!go.IsValid() || !quit.IsValid() || !done.IsValid() || !read.IsValid()) {
        ReleaseChannel(channel);
        return nullptr;
    }
    channel->goEvent = go.Release();
    channel->quitEvent = quit.Release();
    channel->doneEvent = done.Release();
    channel->readEvent = read.Release();
    return channel;
}

// A request costs in proportion to its length even where the file ends
// sooner (under Wine about a millisecond for a whole chunk), so a read asks
// for the rest of the listed size plus at least one byte, in whole pages
// (unbuffered reads keep sector multiples), at most a chunk: coming up short
// then shows the end without another read. At the listed end one page finds
// the end that is most likely there; a file that has grown since it was listed
// is read on in whole chunks.
DWORD ReadRequestBytes(uint64_t expectedSize, uint64_t offset) {
    const uint64_t kPage = 4096;
    if (expectedSize <= offset) return offset - expectedSize < kPage ? kPage : kIoChunkBytes;
    uint64_t rest = (expectedSize - offset + kPage) & ~(kPage - 1);
    return rest < kIoChunkBytes ? static_cast<DWORD>(rest) : kIoChunkBytes;
}

// The last read came up short exactly at the listed size: the file ends there.
bool EndedAtListedSize(const IoChannel* channel) {
    const uint64_t start = channel->offset - channel->requested;
    return channel->bytesTransferred < channel->requested &&
           start + channel->bytesTransferred == channel->expectedSize;
}

// Without a completion event a read still in flight is waited for on the file itself.
DWORD ReadOverlapped(IoChannel* channel, DWORD request, HANDLE completion, DWORD* transferred) {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = completion;
    overlapped.Offset = static_cast<DWORD>(channel->offset);
    overlapped.OffsetHigh = static_cast<DWORD>(channel->offset >> 32);
    // The count comes from GetOverlappedResult in every case: for an
    // overlapped handle ReadFile's own count is not reliable.
    if (!g_read(channel->handle, channel->fillBuffer, request, nullptr, &overlapped)) {
        DWORD result = GetLastError();
        if (result != ERROR_IO_PENDING) return result;
    }
    return GetOverlappedResult(channel->handle, &overlapped, transferred, TRUE) ? ERROR_SUCCESS : GetLastError();
}

// A synchronous file reads at its position, which is 0 right after the open;
// later reads move it first.
DWORD ReadSynchronously(IoChannel* channel, DWORD request, DWORD* transferred) {
    if (channel->offset != 0) {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(channel->offset);
        if (!SetFilePointerEx(channel->handle, position, nullptr, FILE_BEGIN)) return GetLastError();
    }
    return g_read(channel->handle, channel->fillBuffer, request, transferred, nullptr) ? ERROR_SUCCESS
                                                                                       : GetLastError();
}

// Reads the channel's next chunk into its fill buffer.
void IssueChunkRead(IoChannel* channel, HANDLE completion) {
    channel->bytesTransferred = 0;
    DWORD transferred = 0;
    DWORD request = ReadRequestBytes(channel->expectedSize, channel->offset);
    if (channel->requestLimit != 0 && request > channel->requestLimit) request = channel->requestLimit;
    if (channel->requestLimit < kIoChunkBytes) channel->requestLimit *= 2;
    DWORD result = channel->overlapped ? ReadOverlapped(channel, request, completion, &transferred)
                                       : ReadSynchronously(channel, request, &transferred);
    if (result == ERROR_HANDLE_EOF) result = ERROR_SUCCESS;
    channel->bytesTransferred = transferred;
    channel->result = result;
    channel->requested = request;
    channel->offset += request;
}

// Compares 64 bytes a step with SSE2; the chunks start on page boundaries.
bool BytesEqual(const BYTE* a, const BYTE* b, DWORD length) {
    DWORD done = 0;
    for (; done + 64 <= length; done += 64) {
        const __m128i* x = reinterpret_cast<const __m128i*>(a + done);
        const __m128i* y = reinterpret_cast<const __m128i*>(b + done);
        __m128i same = _mm_and_si128(
            _mm_and_si128(_mm_cmpeq_epi8(_mm_load_si128(x), _mm_load_si128(y)),
                          _mm_cmpeq_epi8(_mm_load_si128(x + 1), _mm_load_si128(y + 1))),
            _mm_and_si128(_mm_cmpeq_epi8(_mm_load_si128(x + 2), _mm_load_si128(y + 2)),
                          _mm_cmpeq_epi8(_mm_load_si128(x + 3), _mm_load_si128(y + 3))));
        if (_mm_movemask_epi8(same) != 0xFFFF) return false;
    }
    return memcmp(a + done, b + done, length - done) == 0;
}

bool ChunksDiffer(const BYTE* chunk0, DWORD length0, const BYTE* chunk1, DWORD length1) {
    return length0 != length1 || !BytesEqual(chunk0, chunk1, length0);
}

}  // namespace

void IoEngineSetReadFunction(IoReadFunction read) { g_read = read ? read : ReadFile; }

bool PairFitsInOneChunk(uint64_t listedSize0, uint64_t listedSize1) {
    return listedSize0 <= kIoChunkBytes && listedSize1 <= kIoChunkBytes;
}

HANDLE OpenFileForComparison(const wchar_t* path, bool overlapped) {
    const DWORD flags = FILE_FLAG_NO_BUFFERING | (overlapped ? FILE_FLAG_OVERLAPPED : 0);
    return CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
}

void IoChannelAttach(IoChannel* channel, HANDLE file, uint64_t listedSize, bool overlapped) {
    channel->handle = file;
    channel->expectedSize = listedSize;
    channel->requestLimit = kIoFirstReadBytes;
    channel->overlapped = overlapped ? 1 : 0;
    channel->mode = 1;
    channel->active = 1;
}

void IoChannelDetach(IoChannel* channel) {
    if (channel->handle != INVALID_HANDLE_VALUE && channel->handle) CloseHandle(channel->handle);
    channel->handle = INVALID_HANDLE_VALUE;
    channel->mode = 0;
    channel->active = 0;
    channel->overlapped = 0;
}

bool IoEngineStart(IoEngine* engine) {
    if (!engine) return false;
    memset(engine, 0, sizeof(*engine));
    engine->channels[0] = CreateChannel();
    if (!engine->channels[0]) return false;
    engine->channels[1] = CreateChannel();
    if (!engine->channels[1]) {
        ReleaseChannel(engine->channels[0]);
        memset(engine, 0, sizeof(*engine));
        return false;
    }
    engine->channels[0]->handle = INVALID_HANDLE_VALUE;
    engine->channels[1]->handle = INVALID_HANDLE_VALUE;
    OwnedHandle first = StartCoreThread(ReaderThread, engine->channels[0]);
    OwnedHandle second;
    if (first.IsValid()) second = StartCoreThread(ReaderThread, engine->channels[1]);
    if (!second.IsValid()) {
        if (first.IsValid()) SetEvent(engine->channels[0]->quitEvent);
        JoinThread(&first);
        ReleaseChannel(engine->channels[0]);
        ReleaseChannel(engine->channels[1]);
        memset(engine, 0, sizeof(*engine));
        return false;
    }
    // The engine keeps both handles until it stops and joins the readers.
    engine->readerThreads[0] = first.Release();
    engine->readerThreads[1] = second.Release();
    return true;
}

bool IoEngineStop(IoEngine* engine) {
    if (!engine || !engine->channels[0]) return true;
    SetEvent(engine->channels[0]->quitEvent);
    SetEvent(engine->channels[1]->quitEvent);
    // A reader in the middle of a read finishes it first.
    WaitForMultipleObjects(2, engine->readerThreads, TRUE, INFINITE);
    for (unsigned index = 0; index < 2; ++index) {
        CloseHandle(engine->readerThreads[index]);
        IoChannelDetach(engine->channels[index]);
        ReleaseChannel(engine->channels[index]);
    }
    memset(engine, 0, sizeof(*engine));
    return true;
}

DWORD WINAPI ReaderThread(void* parameter) {
    auto* channel = static_cast<IoChannel*>(parameter);
    // The go event comes first, so a go signalled together with quit is served.
    const HANDLE waits[2] = {channel->goEvent, channel->quitEvent};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        if (channel->active != 1 || channel->mode != 1) {
            channel->result = ERROR_INVALID_PARAMETER;
        } else {
            IssueChunkRead(channel, channel->readEvent);
        }
        SetEvent(channel->doneEvent);
    }
    return 0;
}

namespace {

// One pair's comparison: the channels and the chunks of the last cycle.
struct PairComparison {
    IoChannel* channels[2];
    bool readHere;  // on the caller's thread rather than by the readers
    const BYTE* previous[2];
    DWORD previousLength[2];
    bool differ;
};

bool PreviousChunksDiffer(const PairComparison& pair) {
    return ChunksDiffer(pair.previous[0], pair.previousLength[0], pair.previous[1], pair.previousLength[1]);
}

// The reads of one cycle in the order of the step table; the chunks of the
// previous cycle are compared while the second read runs. False on a read error.
bool ReadBothChunks(PairComparison* pair, bool simultaneous, ReadFailure* failure) {
    const AnalysisStep* steps = AnalysisSteps(simultaneous);
    unsigned startsSeen = 0;
    for (unsigned step = 0; step < 4; ++step) {
        IoChannel* channel = pair->channels[steps[step].location];
        if (steps[step].start) {
            if (pair->readHere) {
                IssueChunkRead(channel, nullptr);
            } else {
                SetEvent(channel->goEvent);
            }
            if (++startsSeen == 2 && pair->previous[0] && pair->previous[1] && PreviousChunksDiffer(*pair))
                pair->differ = true;
            continue;
        }
        if (!pair->readHere) WaitForSingleObject(channel->doneEvent, INFINITE);
        if (channel->result != ERROR_SUCCESS) {
            failure->side = steps[step].location;
            failure->code = channel->result;
            // The other channel may still be reading; it is ended by IoEngineStop.
            return false;
        }
    }
    for (unsigned index = 0; index < 2; ++index) {
        IoChannel* channel = pair->channels[index];
        channel->readyBuffer = channel->fillBuffer;
        channel->fillBuffer = channel->fillBuffer == channel->bufferA ? channel->bufferB : channel->bufferA;
        channel->bytesReady = channel->bytesTransferred;
        pair->previous[index] = channel->readyBuffer;
        pair->previousLength[index] = channel->bytesReady;
    }
    return true;
}

}  // namespace

CompareOutcome CompareFilePair(IoEngine* engine, CompareRun* run, ReadFailure* failure) {
    PairComparison pair = {{engine->channels[0], engine->channels[1]}, false, {nullptr, nullptr}, {0, 0}, false};
    // Most pairs fit in one chunk: handing their reads to the readers would
    // cost more than the reads themselves.
    pair.readHere = PairFitsInOneChunk(pair.channels[0]->expectedSize, pair.channels[1]->expectedSize);
    for (IoChannel* channel : pair.channels) {
        channel->fillBuffer = channel->bufferA;
        channel->readyBuffer = nullptr;
        channel->bytesReady = 0;
        channel->offset = 0;
        channel->requestLimit = kIoFirstReadBytes;
    }
    do {
        if (run->cancelPoll.Requested(run->cancelEvent, run->cancelRequested, !pair.readHere))
            return CompareCancelled;
        if (!ReadBothChunks(&pair, run->simultaneous, failure)) return CompareReadError;
        const DWORD* lengths = pair.previousLength;
        run->bytesCompared += lengths[0] < lengths[1] ? lengths[0] : lengths[1];
        // Both files ended where they were listed to: the last chunks are
        // compared now instead of after one more read that finds only the end.
        const bool bothEnded = EndedAtListedSize(pair.channels[0]) && EndedAtListedSize(pair.channels[1]);
        if (bothEnded && PreviousChunksDiffer(pair)) pair.differ = true;
        if (run->progress) run->progress(run->bytesCompared, run->progressContext);
        // No read in flight now: a difference found while these were read ends the pair.
        if (bothEnded || pair.differ) break;
    } while (pair.previousLength[0] != 0 && pair.previousLength[1] != 0);
    if (pair.previousLength[0] != pair.previousLength[1]) pair.differ = true;
    IoChannelDetach(pair.channels[0]);
    IoChannelDetach(pair.channels[1]);
    return pair.differ ? CompareDifferent : CompareSame;
}
