// The floor of a synchronization's copies: every file of a tree copied by the
// system's file copy, one at a time, into a tree of the same folders, as the
// plainest program a user could write would copy it.
//
// usage: copy_floor SOURCE TARGET    (TARGET exists; SOURCE's folders are made in it)
#include <windows.h>

#include <string>

namespace {

bool CopyTree(const std::wstring& from, const std::wstring& to) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((from + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool copied = true;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            copied = CreateDirectoryW((to + L"\\" + name).c_str(), nullptr) &&
                     CopyTree(from + L"\\" + name, to + L"\\" + name) && copied;
        } else {
            copied = CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), TRUE) && copied;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return copied;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    return CopyTree(argv[1], argv[2]) ? 0 : 1;
}
