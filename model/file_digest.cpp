#include "model/file_digest.h"

#include "model/memory.h"
#include "model/sha256.h"
#include "model/system_error.h"
#include "model/win_guards.h"

#include <bcrypt.h>
#include <winternl.h>

#include <cstring>

struct DigestReader {
    void* bufferBlock;  // as allocated
    BYTE* buffers[2];  // kDigestReadBytes each, page aligned for reads past the system cache
    HANDLE thread;
    HANDLE goEvent;  // auto reset: read as asked below
    HANDLE doneEvent;  // auto reset: the read has ended
    // Set before goEvent; a null file ends the thread.
    HANDLE file;
    BYTE* target;
    DWORD request;
    // Valid once doneEvent is set.
    DWORD got;
    DWORD result;
};

namespace {

const uintptr_t kPageBytes = 4096;

bool g_systemSha256Forced = false;

DWORD CodeOf(NTSTATUS status) {
    if (status >= 0) return ERROR_SUCCESS;
    DWORD error = RtlNtStatusToDosError(status);
    return error != ERROR_SUCCESS ? error : ERROR_INVALID_FUNCTION;
}

// The rest of the listed size and at least one byte more, in whole pages
// (reads past the cache keep sector multiples), at most a buffer: a read that
// comes up short has met the end, with no further read to find it.
DWORD DigestRequestBytes(uint64_t listedSize, uint64_t offset) {
    if (listedSize < offset) return kDigestReadBytes;
    uint64_t rest = (listedSize - offset + kPageBytes) & ~static_cast<uint64_t>(kPageBytes - 1);
    return rest < kDigestReadBytes ? static_cast<DWORD>(rest) : kDigestReadBytes;
}

}  // namespace

DWORD ReadChunk(HANDLE file, BYTE* target, DWORD request, DWORD* got) {
    *got = 0;
    if (ReadFile(file, target, request, got, nullptr)) return ERROR_SUCCESS;
    const DWORD error = LastErrorOr(ERROR_READ_FAULT);
    return error == ERROR_HANDLE_EOF ? ERROR_SUCCESS : error;
}

namespace {

DWORD WINAPI ReadChunks(void* parameter) {
    auto* reader = static_cast<DigestReader*>(parameter);
    for (;;) {
        WaitForSingleObject(reader->goEvent, INFINITE);
        if (!reader->file) return 0;
        reader->result = ReadChunk(reader->file, reader->target, reader->request, &reader->got);
        SetEvent(reader->doneEvent);
    }
}

void StartRead(DigestReader* reader, HANDLE file, BYTE* target, DWORD request) {
    reader->file = file;
    reader->target = target;
    reader->request = request;
    SetEvent(reader->goEvent);
}

DWORD FinishRead(DigestReader* reader, DWORD* got) {
    WaitForSingleObject(reader->doneEvent, INFINITE);
    *got = reader->got;
    return reader->result;
}

void StopReader(DigestReader* reader) {
    if (!reader) return;
    if (reader->thread) {
        reader->file = nullptr;
        SetEvent(reader->goEvent);
        WaitForSingleObject(reader->thread, INFINITE);
        CloseHandle(reader->thread);
    }
    if (reader->goEvent) CloseHandle(reader->goEvent);
    if (reader->doneEvent) CloseHandle(reader->doneEvent);
    MemFree(reader->bufferBlock);
    MemFree(reader);
}

DigestReader* StartReader(DWORD* status) {
    auto* reader = static_cast<DigestReader*>(MemAllocZero(sizeof(DigestReader)));
    if (reader) reader->bufferBlock = MemAlloc(2 * kDigestReadBytes + kPageBytes);
    if (!reader || !reader->bufferBlock) {
        *status = ERROR_NOT_ENOUGH_MEMORY;
        StopReader(reader);
        return nullptr;
    }
    reader->buffers[0] = reinterpret_cast<BYTE*>(
        (reinterpret_cast<uintptr_t>(reader->bufferBlock) + kPageBytes - 1) & ~(kPageBytes - 1));
    reader->buffers[1] = reader->buffers[0] + kDigestReadBytes;
    reader->goEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    reader->doneEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (reader->goEvent && reader->doneEvent) reader->thread = StartCoreThread(ReadChunks, reader).Release();
    if (!reader->thread) {
        *status = LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
        StopReader(reader);
        return nullptr;
    }
    return reader;
}

DWORD OpenSystemSha256(FileDigester* digester) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    DWORD status = CodeOf(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
    if (status != ERROR_SUCCESS) return status;
    digester->algorithm = algorithm;
    DWORD objectBytes = 0, written = 0;
    status = CodeOf(BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectBytes),
                                      sizeof objectBytes, &written, 0));
    if (status != ERROR_SUCCESS) return status;
    digester->hashObject = static_cast<BYTE*>(MemAlloc(objectBytes ? objectBytes : 1));
    digester->hashObjectBytes = objectBytes;
    return digester->hashObject ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

// One file's digest as it is made, by the means of its digester.
struct RunningDigest {
    bool byProcessor;
    Sha256 processor;
    BCRYPT_HASH_HANDLE system;
};

DWORD AddToDigest(RunningDigest* digest, const BYTE* bytes, DWORD count) {
    if (digest->byProcessor) {
        Sha256Add(&digest->processor, bytes, count);
        return ERROR_SUCCESS;
    }
    return CodeOf(BCryptHashData(digest->system, const_cast<BYTE*>(bytes), count, 0));
}

// The first read is made on the caller's thread: a file that it reads whole
// costs no handing over. After it, the reader reads each chunk while the one
// before is digested.
DWORD DigestWholeFile(DigestReader* reader, HANDLE file, RunningDigest* digest, uint64_t listedSize,
                      const volatile LONG* cancelRequested, uint64_t* bytesRead) {
    if (cancelRequested && *cancelRequested) return ERROR_CANCELLED;
    unsigned current = 0;
    uint64_t offset = 0;
    DWORD request = DigestRequestBytes(listedSize, offset);
    DWORD got = 0;
    DWORD status = ReadChunk(file, reader->buffers[current], request, &got);
    while (status == ERROR_SUCCESS && got > 0) {
        offset += got;
        // A synchronous read of a file comes up short only at its end.
        const bool more = got == request;
        if (more) {
            if (cancelRequested && *cancelRequested) return ERROR_CANCELLED;
            request = DigestRequestBytes(listedSize, offset);
            StartRead(reader, file, reader->buffers[1 - current], request);
        }
        status = AddToDigest(digest, reader->buffers[current], got);
        if (status == ERROR_SUCCESS) *bytesRead += got;
        if (!more) return status;
        // The read in flight ends before the file is closed, whatever the digest's outcome.
        const DWORD read = FinishRead(reader, &got);
        if (status == ERROR_SUCCESS) status = read;
        current = 1 - current;
    }
    return status;
}

}  // namespace

void ForceSystemSha256(bool forced) { g_systemSha256Forced = forced; }

DWORD OpenFileDigester(FileDigester* digester) {
    memset(digester, 0, sizeof(*digester));
    digester->byProcessor = ProcessorHasShaInstructions() && !g_systemSha256Forced;
    DWORD status = digester->byProcessor ? ERROR_SUCCESS : OpenSystemSha256(digester);
    if (status == ERROR_SUCCESS) digester->reader = StartReader(&status);
    if (status != ERROR_SUCCESS) CloseFileDigester(digester);
    return status;
}

void CloseFileDigester(FileDigester* digester) {
    StopReader(digester->reader);
    if (digester->algorithm) BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(digester->algorithm), 0);
    MemFree(digester->hashObject);
    memset(digester, 0, sizeof(*digester));
}

DWORD DigestFile(FileDigester* digester, const wchar_t* path, uint64_t listedSize,
                 const volatile LONG* cancelRequested, FileDigest* digest, uint64_t* bytesRead) {
    // Shared for reading only, as the content comparison opens its files: a
    // file being written is not one whose content can be vouched for.
    OwnedHandle file(CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) return LastErrorOr(ERROR_OPEN_FAILED);
    RunningDigest running = {};
    running.byProcessor = digester->byProcessor;
    if (running.byProcessor) {
        Sha256Begin(&running.processor);
    } else {
        DWORD created = CodeOf(BCryptCreateHash(static_cast<BCRYPT_ALG_HANDLE>(digester->algorithm), &running.system,
                                                digester->hashObject, digester->hashObjectBytes, nullptr, 0, 0));
        if (created != ERROR_SUCCESS) return created;
    }
    DWORD status = DigestWholeFile(digester->reader, file.Get(), &running, listedSize, cancelRequested, bytesRead);
    if (running.byProcessor) {
        if (status == ERROR_SUCCESS) Sha256Finish(&running.processor, digest->bytes);
    } else {
        if (status == ERROR_SUCCESS) status = CodeOf(BCryptFinishHash(running.system, digest->bytes, kDigestBytes, 0));
        BCryptDestroyHash(running.system);
    }
    return status;
}
