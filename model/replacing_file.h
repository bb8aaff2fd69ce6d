#pragma once
// A file of the program's own (a catalog, a baseline) written through a
// buffer into a temporary file beside it, which takes its name only once
// whole and on its disk: an interrupted run leaves the earlier file as it was.
#include <windows.h>

#include <cstddef>

class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Makes the temporary file beside `path`; 0, 8, 206 or the code of the create.
    DWORD Open(const wchar_t* path);
    DWORD Append(const char* bytes, size_t count);
    // Room for `count` more bytes at once, at Tail(); Grow(count) takes them.
    DWORD Reserve(size_t count);
    char* Tail() { return m_output + m_used; }
    void Grow(size_t count) { m_used += count; }
    // Writes the rest, puts the file on its disk and renames it over `path`;
    // 0 or the code of the failed write or rename.
    DWORD Finish();

private:
    DWORD Flush();

    HANDLE m_file = INVALID_HANDLE_VALUE;
    wchar_t* m_path = nullptr;
    wchar_t* m_temporaryPath = nullptr;
    bool m_renamed = false;
    char* m_output = nullptr;
    size_t m_used = 0;
};
