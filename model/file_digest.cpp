#include "model/file_digest.h"

#include "model/memory.h"
#include "model/system_error.h"
#include "model/win_guards.h"

#include <bcrypt.h>
#include <winternl.h>

#include <cstring>

namespace {

const uintptr_t kPageBytes = 4096;

DWORD CodeOf(NTSTATUS status) {
    if (status >= 0) return ERROR_SUCCESS;
    DWORD error = RtlNtStatusToDosError(status);
    return error != ERROR_SUCCESS ? error : ERROR_INVALID_FUNCTION;
}

// The rest of the listed size and at least one byte more, in whole pages
// (reads past the cache keep sector multiples), at most a buffer: a read that
// comes up short has met the end, with no further read to find it.
DWORD ReadRequestBytes(uint64_t listedSize, uint64_t offset) {
    if (listedSize < offset) return kDigestReadBytes;
    uint64_t rest = (listedSize - offset + kPageBytes) & ~static_cast<uint64_t>(kPageBytes - 1);
    return rest < kDigestReadBytes ? static_cast<DWORD>(rest) : kDigestReadBytes;
}

DWORD HashWholeFile(FileDigester* digester, HANDLE file, BCRYPT_HASH_HANDLE hash, uint64_t listedSize,
                    const volatile LONG* cancelRequested, uint64_t* bytesRead) {
    uint64_t offset = 0;
    for (;;) {
        if (cancelRequested && *cancelRequested) return ERROR_CANCELLED;
        const DWORD request = ReadRequestBytes(listedSize, offset);
        DWORD got = 0;
        if (!ReadFile(file, digester->buffer, request, &got, nullptr)) {
            const DWORD error = LastErrorOr(ERROR_READ_FAULT);
            return error == ERROR_HANDLE_EOF ? ERROR_SUCCESS : error;
        }
        if (got == 0) return ERROR_SUCCESS;
        DWORD hashed = CodeOf(BCryptHashData(hash, digester->buffer, got, 0));
        if (hashed != ERROR_SUCCESS) return hashed;
        offset += got;
        *bytesRead += got;
        // A synchronous read of a file comes up short only at its end.
        if (got < request) return ERROR_SUCCESS;
    }
}

}  // namespace

DWORD OpenFileDigester(FileDigester* digester) {
    memset(digester, 0, sizeof(*digester));
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    DWORD status = CodeOf(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
    if (status != ERROR_SUCCESS) return status;
    digester->algorithm = algorithm;
    DWORD objectBytes = 0, written = 0;
    status = CodeOf(BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectBytes),
                                      sizeof objectBytes, &written, 0));
    if (status == ERROR_SUCCESS) {
        digester->hashObject = static_cast<BYTE*>(MemAlloc(objectBytes ? objectBytes : 1));
        digester->hashObjectBytes = objectBytes;
        digester->bufferBlock = MemAlloc(kDigestReadBytes + kPageBytes);
        if (!digester->hashObject || !digester->bufferBlock) status = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (status != ERROR_SUCCESS) {
        CloseFileDigester(digester);
        return status;
    }
    digester->buffer = reinterpret_cast<BYTE*>(
        (reinterpret_cast<uintptr_t>(digester->bufferBlock) + kPageBytes - 1) & ~(kPageBytes - 1));
    return ERROR_SUCCESS;
}

void CloseFileDigester(FileDigester* digester) {
    if (digester->algorithm) BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(digester->algorithm), 0);
    MemFree(digester->hashObject);
    MemFree(digester->bufferBlock);
    memset(digester, 0, sizeof(*digester));
}

DWORD DigestFile(FileDigester* digester, const wchar_t* path, uint64_t listedSize,
                 const volatile LONG* cancelRequested, FileDigest* digest, uint64_t* bytesRead) {
    // Shared for reading only, as the content comparison opens its files: a
    // file being written is not one whose content can be vouched for.
    OwnedHandle file(CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) return LastErrorOr(ERROR_OPEN_FAILED);
    BCRYPT_HASH_HANDLE hash = nullptr;
    DWORD status = CodeOf(BCryptCreateHash(static_cast<BCRYPT_ALG_HANDLE>(digester->algorithm), &hash,
                                           digester->hashObject, digester->hashObjectBytes, nullptr, 0, 0));
    if (status != ERROR_SUCCESS) return status;
    status = HashWholeFile(digester, file.Get(), hash, listedSize, cancelRequested, bytesRead);
    if (status == ERROR_SUCCESS) status = CodeOf(BCryptFinishHash(hash, digest->bytes, kDigestBytes, 0));
    BCryptDestroyHash(hash);
    return status;
}
