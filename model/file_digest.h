#pragma once
// SHA-256 digests of whole files, computed by the system's cryptography
// (bcrypt.dll), so that a catalog can stand for a folder's content and a file
// can be checked against it when the file it was made from is out of reach.
#include <windows.h>

#include <cstdint>

const unsigned kDigestBytes = 32;
// The most a read asks for. A request costs in proportion to its length even
// where the file ends sooner, so a read asks for little more than the rest.
const DWORD kDigestReadBytes = 1u << 20;

struct FileDigest {
    BYTE bytes[kDigestBytes];
};

// What digesting takes, made once for many files: the algorithm, the room of
// its hash object and a page-aligned read buffer.
struct FileDigester {
    void* algorithm;  // BCRYPT_ALG_HANDLE
    BYTE* hashObject;
    DWORD hashObjectBytes;
    void* bufferBlock;  // as allocated
    BYTE* buffer;  // kDigestReadBytes inside it, page aligned for reads past the system cache
};

// 0, 8 when memory runs out, or the system's code; on a failure nothing is held.
DWORD OpenFileDigester(FileDigester* digester);
// Releases what it holds; a zeroed digester holds nothing.
void CloseFileDigester(FileDigester* digester);

// Reads the file once, from its start to its end, past the system cache (a
// backup is checked on its disk, not in memory), and digests its bytes.
// `listedSize` is the size it was listed with; the file is read to its end
// whatever its size now. `cancelRequested` (optional) is tested before each
// read. Adds the bytes read to `bytesRead`. Returns 0, ERROR_CANCELLED, or the
// code of the open or of a read: a digest stands for all of the file or for nothing.
DWORD DigestFile(FileDigester* digester, const wchar_t* path, uint64_t listedSize,
                 const volatile LONG* cancelRequested, FileDigest* digest, uint64_t* bytesRead);
