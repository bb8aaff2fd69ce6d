#include "tests/support/tree_snapshot.h"

#include "tests/support/companion.h"

#include <windows.h>

#include <vector>

namespace {

std::string ReadForSnapshot(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<unreadable>";
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    CloseHandle(file);
    return content;
}

}  // namespace

TreeSnapshot SnapshotTree(const std::wstring& folder) {
    TreeSnapshot snapshot;
    std::vector<std::wstring> pending = {L""};
    while (!pending.empty()) {
        std::wstring relative = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW entry;
        HANDLE search = FindFirstFileW((folder + relative + L"*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                snapshot[relative + name + L"\\"] = std::string();
                // A folder reached through a link is recorded, not entered.
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) pending.push_back(relative + name + L"\\");
            } else {
                snapshot[relative + name] = ReadForSnapshot(folder + relative + name);
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    return snapshot;
}

std::string DescribeChanges(const TreeSnapshot& before, const TreeSnapshot& after) {
    std::string changes;
    for (const auto& [path, content] : before) {
        auto found = after.find(path);
        if (found == after.end()) {
            changes += "gone: " + Utf8(path) + "\n";
        } else if (found->second != content) {
            changes += "changed: " + Utf8(path) + "\n";
        }
    }
    for (const auto& [path, content] : after) {
        if (!before.count(path)) changes += "appeared: " + Utf8(path) + "\n";
    }
    return changes;
}
