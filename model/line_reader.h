#pragma once
// Reading a text file of the program's own (a catalog, a baseline) line by line.
#include "model/memory.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

const size_t kLongestLineBytes = 1u << 20;  // a block of the file

// Opens the file to be read from start to end, others reading it too;
// INVALID_HANDLE_VALUE with the last error set when it cannot be.
inline HANDLE OpenToReadLines(const wchar_t* path) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// The lines of a file, read a block at a time; each line without its line end.
class LineReader {
public:
    explicit LineReader(HANDLE file) : m_file(file) {}
    ~LineReader() { MemFree(m_buffer); }
    // 0 with the next line; ERROR_HANDLE_EOF after the last; ERROR_INVALID_DATA
    // for a last line without its line end or a line longer than a block
    // (`Cut` tells which); the code of a failed read; 8.
    DWORD Next(const char** line, size_t* length);
    uint64_t Number() const { return m_number; }
    bool Cut() const { return m_cut; }

private:
    HANDLE m_file;
    char* m_buffer = nullptr;
    size_t m_start = 0;
    size_t m_end = 0;
    bool m_atEnd = false;
    bool m_cut = false;
    uint64_t m_number = 0;
};
