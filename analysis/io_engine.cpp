#include "analysis/io_engine.h"

#include "analysis/analysis_worker.h"
#include "model/memory.h"

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
    channel->goEvent = CreateAnalysisEvent(false);
    channel->quitEvent = CreateAnalysisEvent(true);
    channel->doneEvent = CreateAnalysisEvent(false);
    // Made here rather than by the reader, so that a missing one fails the start.
    channel->readEvent = CreateAnalysisEvent(true);
    if (!channel->goEvent || !channel->quitEvent || !channel->doneEvent || !channel->readEvent) {
        ReleaseChannel(channel);
        return nullptr;
    }
    return channel;
}

// Whole chunks, but the rest of the listed size only rounded up to whole
// pages (unbuffered reads keep sector multiples). Past the listed size, whole
// chunks again: the file has grown since it was listed, or this read only
// finds its end.
DWORD ReadRequestBytes(uint64_t expectedSize, uint64_t offset) {
    const uint64_t kPage = 4096;
    if (expectedSize <= offset) return kIoChunkBytes;
    uint64_t rest = (expectedSize - offset + kPage - 1) & ~(kPage - 1);
    return rest < kIoChunkBytes ? static_cast<DWORD>(rest) : kIoChunkBytes;
}

// The last read came up short exactly at the listed size: the file ends there.
bool EndedAtListedSize(const IoChannel* channel) {
    const uint64_t start = channel->offset - channel->requested;
    return channel->bytesTransferred < channel->requested &&
           start + channel->bytesTransferred == channel->expectedSize;
}

bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

void MarkPairModified(FileNode* node0, FileNode* node1) {
    node0->state = DiffModified;
    MarkAncestorsModified(node0);
    if (node1) {
        node1->state = DiffModified;
        MarkAncestorsModified(node1);
    }
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

HANDLE OpenFileForComparison(const wchar_t* path) {
    return CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING, nullptr);
}

void IoChannelAttach(IoChannel* channel, HANDLE file) {
    channel->handle = file;
    channel->mode = 1;
    channel->active = 1;
}

void IoChannelDetach(IoChannel* channel) {
    if (channel->handle != INVALID_HANDLE_VALUE && channel->handle) CloseHandle(channel->handle);
    channel->handle = INVALID_HANDLE_VALUE;
    channel->mode = 0;
    channel->active = 0;
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
    engine->readerThreads[0] = CreateThread(nullptr, 0, ReaderThread, engine->channels[0], 0, nullptr);
    if (engine->readerThreads[0]) {
        engine->readerThreads[1] = CreateThread(nullptr, 0, ReaderThread, engine->channels[1], 0, nullptr);
        if (!engine->readerThreads[1]) {
            SetEvent(engine->channels[0]->quitEvent);
            WaitForSingleObject(engine->readerThreads[0], INFINITE);
            CloseHandle(engine->readerThreads[0]);
        }
    }
    if (!engine->readerThreads[0] || !engine->readerThreads[1]) {
        ReleaseChannel(engine->channels[0]);
        ReleaseChannel(engine->channels[1]);
        memset(engine, 0, sizeof(*engine));
        return false;
    }
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
    OVERLAPPED overlapped = {};
    // The go event comes first, so a go signalled together with quit is served.
    const HANDLE waits[2] = {channel->goEvent, channel->quitEvent};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        if (channel->active != 1 || channel->mode != 1) {
            channel->result = ERROR_INVALID_PARAMETER;
            SetEvent(channel->doneEvent);
            continue;
        }
        memset(&overlapped, 0, sizeof(overlapped));
        overlapped.hEvent = channel->readEvent;
        overlapped.Offset = static_cast<DWORD>(channel->offset);
        overlapped.OffsetHigh = static_cast<DWORD>(channel->offset >> 32);
        channel->bytesTransferred = 0;
        DWORD transferred = 0;
        DWORD result = ERROR_SUCCESS;
        // The count comes from GetOverlappedResult in every case: for an
        // overlapped handle ReadFile's own count is not reliable.
        const DWORD request = ReadRequestBytes(channel->expectedSize, channel->offset);
        if (!g_read(channel->handle, channel->fillBuffer, request, nullptr, &overlapped)) {
            result = GetLastError();
            if (result == ERROR_IO_PENDING) result = ERROR_SUCCESS;
        }
        if (result == ERROR_SUCCESS && !GetOverlappedResult(channel->handle, &overlapped, &transferred, TRUE)) {
            result = GetLastError();
        }
        if (result == ERROR_HANDLE_EOF) result = ERROR_SUCCESS;
        channel->bytesTransferred = transferred;
        channel->result = result;
        channel->requested = request;
        channel->offset += request;
        SetEvent(channel->doneEvent);
    }
    return 0;
}

CompareOutcome CompareFilePair(IoEngine* engine, BackgroundOpsData* data, FileNode* node0, FileNode* node1,
                               ComparePairProgress* progress, unsigned* failedLocation, DWORD* readError) {
    // The scan's step table also orders the two reads of each cycle.
    const AnalysisStep* steps = AnalysisSteps(data->simultaneous != 0);
    IoChannel* channels[2] = {engine->channels[0], engine->channels[1]};
    channels[0]->expectedSize = node0->size;
    channels[1]->expectedSize = node1 ? node1->size : node0->size;
    for (IoChannel* channel : channels) {
        channel->fillBuffer = channel->bufferA;
        channel->readyBuffer = nullptr;
        channel->bytesReady = 0;
        channel->offset = 0;
    }
    const BYTE* previous[2] = {nullptr, nullptr};
    DWORD previousLength[2] = {0, 0};
    do {
        if (IsSet(data->cancelEvent)) return CompareCancelled;
        unsigned startsSeen = 0;
        for (unsigned step = 0; step < 4; ++step) {
            IoChannel* channel = channels[steps[step].location];
            if (steps[step].start) {
                SetEvent(channel->goEvent);
                // The chunks read in the previous cycle are compared while these reads run.
                if (++startsSeen == 2 && previous[0] && previous[1] &&
                    ChunksDiffer(previous[0], previousLength[0], previous[1], previousLength[1]))
                    MarkPairModified(node0, node1);
            } else {
                WaitForSingleObject(channel->doneEvent, INFINITE);
                if (channel->result != ERROR_SUCCESS) {
                    *failedLocation = steps[step].location;
                    *readError = channel->result;
                    // The other channel may still be reading; it is ended by IoEngineStop.
                    return CompareReadError;
                }
            }
        }
        for (unsigned index = 0; index < 2; ++index) {
            IoChannel* channel = channels[index];
            channel->readyBuffer = channel->fillBuffer;
            channel->fillBuffer = channel->fillBuffer == channel->bufferA ? channel->bufferB : channel->bufferA;
            channel->bytesReady = channel->bytesTransferred;
            previous[index] = channel->readyBuffer;
            previousLength[index] = channel->bytesReady;
        }
        progress->bytesCompared += previousLength[0] < previousLength[1] ? previousLength[0] : previousLength[1];
        // Both files ended where they were listed to: the last chunks are
        // compared now instead of after one more read that finds only the end.
        const bool bothEnded = EndedAtListedSize(channels[0]) && EndedAtListedSize(channels[1]);
        if (bothEnded && ChunksDiffer(previous[0], previousLength[0], previous[1], previousLength[1]))
            MarkPairModified(node0, node1);
        DWORD now = GetTickCount();
        if (now - progress->lastReportTick > kProgressIntervalMs) {
            progress->lastReportTick = now;
            LocationSlot* slot = &data->slots[0];
            EnterCriticalSection(&slot->lock);
            slot->elapsedMs = now - progress->startTick;
            slot->totalBytes = progress->amountToCompare;
            slot->doneBytes = progress->bytesCompared;
            LeaveCriticalSection(&slot->lock);
            NotifyAnalysis(data, WM_ANALYSIS_PROGRESS, 0);
        }
        if (bothEnded) break;
    } while (previousLength[0] != 0 && previousLength[1] != 0);
    if (previousLength[0] != previousLength[1]) MarkPairModified(node0, node1);
    IoChannelDetach(channels[0]);
    IoChannelDetach(channels[1]);
    return CompareCompared;
}
