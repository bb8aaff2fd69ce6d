#include "model/replacing_file.h"

#include "model/location_tree.h"
#include "model/memory.h"
#include "model/system_error.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

const size_t kOutputBytes = 1u << 20;

}  // namespace

ReplacingFile::~ReplacingFile() {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    // A file cut short never takes the place of a whole one.
    if (m_temporaryPath && !m_renamed) DeleteFileW(m_temporaryPath);
    MemFree(m_temporaryPath);
    MemFree(m_path);
    MemFree(m_output);
}

// The temporary file stands beside the file, on its volume, so that the rename replaces it at once.
DWORD ReplacingFile::Open(const wchar_t* path) {
    m_output = static_cast<char*>(MemAlloc(kOutputBytes));
    m_path = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    MemBlock<wchar_t> temporaryPath(kPathUnits);
    if (!m_output || !m_path || !temporaryPath.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    const int length = swprintf(temporaryPath.Get(), kPathUnits, L"%ls.%lu.partial", path,
                                static_cast<unsigned long>(GetCurrentProcessId()));
    if (length < 0) return ERROR_FILENAME_EXCED_RANGE;
    wcscpy(m_path, path);
    m_file = CreateFileW(temporaryPath.Get(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    // Nothing was made, so nothing is to be deleted.
    if (m_file == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_OPEN_FAILED);
    m_temporaryPath = temporaryPath.Release();
    return ERROR_SUCCESS;
}

DWORD ReplacingFile::Append(const char* bytes, size_t count) {
    while (count > 0) {
        if (m_used == kOutputBytes) {
            DWORD status = Flush();
            if (status != ERROR_SUCCESS) return status;
        }
        const size_t taken = std::min(count, kOutputBytes - m_used);
        memcpy(m_output + m_used, bytes, taken);
        m_used += taken;
        bytes += taken;
        count -= taken;
    }
    return ERROR_SUCCESS;
}

DWORD ReplacingFile::Reserve(size_t count) {
    if (count > kOutputBytes) return ERROR_INVALID_PARAMETER;
    return kOutputBytes - m_used < count ? Flush() : ERROR_SUCCESS;
}

DWORD ReplacingFile::Flush() {
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(m_used);
    if (size > 0 && (!WriteFile(m_file, m_output, size, &written, nullptr) || written != size))
        return LastErrorOr(ERROR_WRITE_FAULT);
    m_used = 0;
    return ERROR_SUCCESS;
}

// On its disk before it takes the name, so that a failure of power cannot leave a file of nothing in its place.
DWORD ReplacingFile::Finish() {
    DWORD status = Flush();
    if (status == ERROR_SUCCESS && !FlushFileBuffers(m_file)) status = LastErrorOr(ERROR_WRITE_FAULT);
    if (status != ERROR_SUCCESS) return status;
    CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    if (!MoveFileExW(m_temporaryPath, m_path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return LastErrorOr(ERROR_WRITE_FAULT);
    m_renamed = true;
    return ERROR_SUCCESS;
}
