#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

LONG g_counter = 0;

}  // namespace

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, base);
    wchar_t name[64];
    swprintf(name, 64, L"quillmar-test-%lu-%ld-%lu\\", GetCurrentProcessId(), InterlockedIncrement(&g_counter),
             GetTickCount());
    m_path = std::wstring(base) + name;
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveFolderTree(m_path); }

std::wstring TempFolder::MakeFolder(const std::wstring& relative) const {
    std::wstring path = m_path;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos) end = relative.size();
        path += relative.substr(start, end - start) + L"\\";
        CreateDirectoryW(path.c_str(), nullptr);
        start = end + 1;
    }
    return path;
}

std::wstring TempFolder::MakeFile(const std::wstring& relative, const std::string& content) const {
    std::wstring path = m_path + relative;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot create a test file";
    if (file == INVALID_HANDLE_VALUE) return path;
    DWORD written = 0;
    if (!content.empty()) WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

bool SetLastWriteTime(const std::wstring& path, uint64_t fileTime) {
    std::wstring target = path;
    HANDLE file = CreateFileW(target.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(fileTime);
    time.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    BOOL done = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return done != FALSE;
}

void RemoveFolderTree(const std::wstring& folderPath) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folderPath + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folderPath + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveFolderTree(path + L"\\");
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folderPath.c_str());
}

uint64_t FileTimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
