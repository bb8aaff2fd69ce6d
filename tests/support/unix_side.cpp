#include "tests/support/unix_side.h"

#include <windows.h>

#include <cstdio>

namespace {

LONG g_scripts = 0;

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL done = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return done && written == bytes.size();
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    char buffer[64] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer) - 1, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

}  // namespace

std::string UnixPathOf(const std::wstring& windowsPath) {
    typedef char*(CDECL * UnixName)(const wchar_t*);
    auto toUnix = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return std::string();
    char* name = toUnix(windowsPath.c_str());
    if (!name) return std::string();
    std::string path = name;
    HeapFree(GetProcessHeap(), 0, name);
    if (!windowsPath.empty() && windowsPath.back() == L'\\' && (path.empty() || path.back() != '/')) path += '/';
    return path;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int RunUnixShell(const std::string& script) {
    wchar_t folder[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, folder);
    wchar_t name[64];
    swprintf(name, 64, L"quillmar-sh-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&g_scripts));
    const std::wstring scriptPath = std::wstring(folder) + name + L".sh";
    const std::wstring statusPath = std::wstring(folder) + name + L".status";
    const std::string unixScript = UnixPathOf(scriptPath);
    const std::string unixStatus = UnixPathOf(statusPath);
    if (unixScript.empty() || unixStatus.empty()) return -1;
    // The status file appears whole, by a rename, only after the script has ended.
    const std::string body = "( " + script + "\n)\necho $? > " + ShellQuote(unixStatus + ".part") + "\nmv " +
                             ShellQuote(unixStatus + ".part") + " " + ShellQuote(unixStatus) + "\n";
    if (!WriteBytes(scriptPath, body)) return -1;
    std::wstring commandLine = L"Z:\\bin\\sh " + std::wstring(unixScript.begin(), unixScript.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    int status = -1;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        if (process.hThread) CloseHandle(process.hThread);
        if (process.hProcess) CloseHandle(process.hProcess);
        for (int waited = 0; waited < 60000; waited += 20) {
            if (GetFileAttributesW(statusPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
                std::string text = ReadBytes(statusPath);
                if (!text.empty()) status = atoi(text.c_str());
                break;
            }
            Sleep(20);
        }
    }
    DeleteFileW(scriptPath.c_str());
    DeleteFileW(statusPath.c_str());
    return status;
}

bool RemoveUnixTree(const std::wstring& windowsFolder) {
    std::string path = UnixPathOf(windowsFolder);
    if (path.empty() || path == "/") return false;
    return RunUnixShell("rm -rf " + ShellQuote(path)) == 0;
}

std::vector<std::string> FolderChainNames(size_t rootLength, size_t tailLength) {
    // Steps of 100-byte names; the last name takes 150 to 250 bytes to land exactly.
    const size_t kStep = 101;
    std::vector<std::string> names;
    if (tailLength < rootLength + 250) return names;
    size_t rest = tailLength - rootLength;
    size_t steps = rest / kStep;
    size_t last = rest - steps * kStep;
    if (last + 2 * kStep <= 250) {
        steps -= 2;
        last += 2 * kStep;
    } else {
        steps -= 1;
        last += kStep;
    }
    for (size_t i = 0; i < steps; ++i) names.push_back(std::string(100, static_cast<char>('a' + i % 26)));
    names.push_back(std::string(last, 'z'));
    return names;
}

bool MakeFolderChain(const std::wstring& windowsRoot, const std::vector<std::string>& names,
                     const std::string& tailScript, const std::string& stamp) {
    const std::string root = UnixPathOf(windowsRoot);
    if (root.empty() || names.empty()) return false;
    std::string script = "cd " + ShellQuote(root) + " && mkdir chain-stage && cd chain-stage && mkdir " +
                         ShellQuote(names.back()) + " && (cd " + ShellQuote(names.back()) + " && " + tailScript +
                         " && find . -type f -exec touch -t " + stamp + " {} +) || exit 1\n";
    for (size_t i = names.size() - 1; i-- > 0;) {
        script += "mkdir next && mv " + ShellQuote(names[i + 1]) + " next/ && mv next " + ShellQuote(names[i]) +
                  " || exit 1\n";
    }
    script += "mv " + ShellQuote(names.front()) + " .. && cd .. && rmdir chain-stage\n";
    return RunUnixShell(script) == 0;
}

std::wstring ChainPath(const std::vector<std::string>& names) {
    std::wstring path;
    for (const std::string& name : names) path += (path.empty() ? L"" : L"\\") + std::wstring(name.begin(), name.end());
    return path;
}
