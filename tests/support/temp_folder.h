#pragma once
// A fresh folder under the temporary folder for one test, removed afterwards.
#include <windows.h>

#include <cstdint>
#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path, ending in a backslash.
    const std::wstring& Path() const { return m_path; }
    std::wstring PathOf(const std::wstring& relative) const { return m_path + relative; }

    // Creates the folder `relative` (and its parents); returns its path with a backslash.
    std::wstring MakeFolder(const std::wstring& relative) const;
    // Creates or replaces the file `relative` with `content`.
    std::wstring MakeFile(const std::wstring& relative, const std::string& content = std::string()) const;

private:
    std::wstring m_path;
};

// Sets a file's or folder's last-write time.
bool SetLastWriteTime(const std::wstring& path, uint64_t fileTime);
// Removes a folder with everything in it.
void RemoveFolderTree(const std::wstring& folderPath);
// The entry's last-write time as 100-ns units since 1601.
uint64_t FileTimeValue(const FILETIME& time);
