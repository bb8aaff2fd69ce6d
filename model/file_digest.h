#pragma once
// SHA-256 digests of whole files, so that a catalog can stand for a folder's
// content and a file can be checked against it when the file it was made from
// is out of reach. Computed by the processor's SHA instructions where it has
// them, by the system's cryptography (bcrypt.dll) otherwise: the digests are
// the same.
#include <windows.h>

#include <cstdint>

const unsigned kDigestBytes = 32;
// The most a read asks for. A request costs in proportion to its length even
// where the file ends sooner, so a read asks for little more than the rest.
const DWORD kDigestReadBytes = 1u << 20;

struct FileDigest {
    BYTE bytes[kDigestBytes];
};

// The thread that reads a file's next chunk while the one before is digested.
struct DigestReader;

// What digesting takes, made once for many files.
struct FileDigester {
    bool byProcessor;  // the processor's SHA instructions, else the system's SHA-256
    void* algorithm;  // BCRYPT_ALG_HANDLE of the system's SHA-256
    BYTE* hashObject;  // the room of its hash object
    DWORD hashObjectBytes;
    DigestReader* reader;
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

// For tests on a processor with SHA instructions: digesters opened while it
// is set use the system's SHA-256.
void ForceSystemSha256(bool forced);

// Reads up to `request` bytes on at the file's position into `target`; fewer
// only at the end of the file, where a read of nothing is no failure. 0 or
// the system's code.
DWORD ReadChunk(HANDLE file, BYTE* target, DWORD request, DWORD* got);
