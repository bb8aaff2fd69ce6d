#pragma once
// The content comparison engine: compares two open files chunk by chunk and
// says whether they are the same, stopping at the first chunk that differs. A
// pair that fits in one chunk is read on the caller's thread; a larger one by
// one reader thread per side, overlapped and unbuffered, into one of two
// buffers while the chunks read before are compared. The first reads of a
// pair are small and double up to 8 MiB, so that a pair that differs early
// costs little and an identical one soon reads whole chunks.
#include "analysis/cancel_poll.h"

#include <windows.h>

#include <cstdint>

const DWORD kIoChunkBytes = 8u * 1024 * 1024;
const DWORD kIoFirstReadBytes = 64u * 1024;

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
    BYTE overlapped;  // the attached file was opened for overlapped reads
    uint64_t offset;  // file offset of the next read
    // The size the file was listed with. A read asks for little more than
    // the rest of it, since a request costs in proportion to its length even
    // where the file ends sooner.
    uint64_t expectedSize;
    DWORD requested;  // bytes the last read asked for
    DWORD requestLimit;  // the most the next read may ask for: doubles from kIoFirstReadBytes
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

// `listedSize` is the size the file had when it was listed (it may have
// changed since); `overlapped` says how it was opened.
void IoChannelAttach(IoChannel* channel, HANDLE file, uint64_t listedSize, bool overlapped);
// Closes the attached file, if any.
void IoChannelDetach(IoChannel* channel);

// The read call of the engine; tests swap in one that fails or that reports
// the end of a file as an error. Null restores ReadFile. Set it only while no
// engine runs.
typedef BOOL(WINAPI* IoReadFunction)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
void IoEngineSetReadFunction(IoReadFunction read);

// Whether a pair listed with these sizes is read on the caller's thread.
bool PairFitsInOneChunk(uint64_t listedSize0, uint64_t listedSize1);
// Opens a file as the engine reads it, without the system cache: overlapped
// for the reader threads; synchronous for a pair read on the caller's thread,
// since under Wine every overlapped read costs one more server request.
HANDLE OpenFileForComparison(const wchar_t* path, bool overlapped);

// Called once per cycle with the running count of bytes compared.
typedef void (*CompareProgressFunction)(uint64_t bytesCompared, void* context);

// What the comparisons of one content phase share.
struct CompareRun {
    HANDLE cancelEvent;  // polled, never waited for, where there is no flag
    bool simultaneous;  // both reads of a cycle start before either is waited for
    CompareProgressFunction progress;
    void* progressContext;
    // Optional: a flag raised whenever the event is set (RequestCancel), tested
    // before every cycle instead of the event, at no cost.
    const volatile LONG* cancelRequested = nullptr;
    // Grows by the shorter chunk of each cycle, over every pair of the run.
    uint64_t bytesCompared = 0;
    // Pairs read on the caller's thread take well under a millisecond, so
    // without the flag they poll the event once per tick of the clock (and on
    // the first pair of a run); the readers' cycles poll every time.
    CancelPoll cancelPoll = {};
};

enum CompareOutcome {
    CompareSame,
    CompareDifferent,
    CompareCancelled,
    CompareReadError,
};

struct ReadFailure {
    unsigned side;  // the channel whose read failed
    DWORD code;
};

// Reads both attached files until one of them is exhausted or their chunks
// differ, and compares them, then detaches both. On a cancel or a
// read error the files stay attached; the engine is then only stopped, which
// closes them.
CompareOutcome CompareFilePair(IoEngine* engine, CompareRun* run, ReadFailure* failure);
