#pragma once
// The content comparison engine: one reader thread per location reads its file
// 8 MiB at a time, overlapped and unbuffered, into one of two buffers while
// the worker compares the chunks read before.
#include "analysis/background_ops.h"

#include <windows.h>

#include <cstdint>

const DWORD kIoChunkBytes = 8u * 1024 * 1024;
const DWORD kProgressIntervalMs = 1000;

struct IoChannel {
    HANDLE handle;  // the attached file, or INVALID_HANDLE_VALUE
    HANDLE goEvent;  // auto reset: start one read
    HANDLE quitEvent;  // manual reset: end the reader thread
    HANDLE doneEvent;  // auto reset: a read has ended
    HANDLE readEvent;  // manual reset: the reader's overlapped read has completed
    DWORD bytesTransferred;  // bytes of the last read, 0 at end of file
    DWORD bytesReady;  // length of the chunk in readyBuffer
    DWORD result;  // Win32 code of the last read
    BYTE active;  // 1 while a file is attached
    BYTE mode;  // 1 (read) while a file is attached
    uint64_t offset;  // file offset of the next read
    // The size the scan listed. A read asks for no more than the rest of it
    // (in whole pages), since a request costs in proportion to its length
    // even where the file ends sooner.
    uint64_t expectedSize;
    DWORD requested;  // bytes the last read asked for
    BYTE* fillBuffer;
    BYTE* readyBuffer;
    BYTE* bufferA;  // kIoChunkBytes, page aligned
    BYTE* bufferB;
};

struct IoEngine {
    HANDLE readerThreads[2];
    IoChannel* channels[2];
};

// Creates both channels and both reader threads; false after undoing what it made.
bool IoEngineStart(IoEngine* engine);
// Ends both reader threads, closes attached files and releases everything. Always true.
bool IoEngineStop(IoEngine* engine);
DWORD WINAPI ReaderThread(void* channel);

void IoChannelAttach(IoChannel* channel, HANDLE file);
// Closes the attached file, if any.
void IoChannelDetach(IoChannel* channel);

// The read call the reader threads use; tests swap in one that fails or that
// reports the end of a file as an error. Null restores ReadFile. Set it only
// while no engine runs.
typedef BOOL(WINAPI* IoReadFunction)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
void IoEngineSetReadFunction(IoReadFunction read);

// Opens a file as the engine reads it: overlapped, without the system cache.
HANDLE OpenFileForComparison(const wchar_t* path);

enum CompareOutcome {
    CompareCompared,
    CompareCancelled,
    CompareReadError,
};

struct ComparePairProgress {
    uint64_t bytesCompared;  // running count, updated
    DWORD lastReportTick;  // updated
    DWORD startTick;  // the worker's start
    uint64_t amountToCompare;  // commonBytes of slot 0
};

// Reads the two attached files to the end and compares them chunk by chunk;
// marks both nodes Modified (ancestors too) when they differ, then detaches
// both files. `node1` may be null. On a read error, `failedLocation` and
// `readError` say where and why; the files then stay attached.
CompareOutcome CompareFilePair(IoEngine* engine, BackgroundOpsData* data, FileNode* node0, FileNode* node1,
                               ComparePairProgress* progress, unsigned* failedLocation, DWORD* readError);
