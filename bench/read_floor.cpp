// read_floor: the floor of `quillmar-cli catalog --content`, which reads one
// folder's files once each. It walks FOLDER and reads every file once, in
// plain reads sized to fit it past the system cache, as the probe's `tree
// --engine sync --fit` reads a pair's files (the probe has no mode that reads
// one side); with --sha256 it digests each file's bytes with the system's
// cryptography, as the catalog does. No catalog, no checks: only the work the
// platform cannot spare.
//
// usage: read_floor [--sha256] FOLDER      (Windows path, or a Linux path under Wine)
#include <windows.h>

#include <bcrypt.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const DWORD kChunk = 8u << 20;

std::wstring WindowsPath(std::wstring path) {
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    for (wchar_t& unit : path) {
        if (unit == L'/') unit = L'\\';
    }
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

struct Totals {
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t failures = 0;
};

void ReadFileOnce(const std::wstring& path, uint64_t size, BYTE* buffer, BCRYPT_ALG_HANDLE algorithm,
                  Totals* totals) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ++totals->failures;
        return;
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (algorithm) BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    for (uint64_t offset = 0;;) {
        uint64_t rest = (size - (offset < size ? offset : size) + 4096) & ~uint64_t(4095);
        DWORD request = static_cast<DWORD>(rest < kChunk ? rest : kChunk);
        DWORD got = 0;
        if (!ReadFile(file, buffer, request, &got, nullptr) || got == 0) break;
        if (hash) BCryptHashData(hash, buffer, got, 0);
        offset += got;
        totals->bytes += got;
        if (got < request) break;
    }
    if (hash) {
        BYTE digest[32];
        BCryptFinishHash(hash, digest, sizeof digest, 0);
        BCryptDestroyHash(hash);
    }
    CloseHandle(file);
    ++totals->files;
}

void Walk(const std::wstring& root, BYTE* buffer, BCRYPT_ALG_HANDLE algorithm, Totals* totals) {
    std::vector<std::wstring> pending = {root};
    while (!pending.empty()) {
        std::wstring folder = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (search == INVALID_HANDLE_VALUE) {
            ++totals->failures;
            continue;
        }
        do {
            const wchar_t* name = found.cFileName;
            if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                pending.push_back(path);
            } else {
                uint64_t size = (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
                ReadFileOnce(path, size, buffer, algorithm, totals);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool digest = argc == 3 && std::wstring(argv[1]) == L"--sha256";
    if (argc != 2 && !digest) {
        fwprintf(stderr, L"usage: read_floor [--sha256] FOLDER\n");
        return 2;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (digest && BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return 2;
    auto* buffer = static_cast<BYTE*>(VirtualAlloc(nullptr, kChunk, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    Totals totals;
    Walk(WindowsPath(argv[argc - 1]), buffer, algorithm, &totals);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    QueryPerformanceCounter(&end);
    wprintf(L"read_floor files=%llu MiB=%.1f failures=%llu sha256=%d s=%.3f\n",
            static_cast<unsigned long long>(totals.files), totals.bytes / 1048576.0,
            static_cast<unsigned long long>(totals.failures), digest ? 1 : 0,
            double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    return totals.failures ? 1 : 0;
}
