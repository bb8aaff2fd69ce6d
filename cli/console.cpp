#include "cli/console.h"

#include "cli/arguments.h"
#include "cli/output.h"
#include "model/system_error.h"

namespace cli {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::wstring SystemMessage(DWORD code) {
    wchar_t text[kSystemErrorUnits];
    FormatSystemErrorLine(code, text);
    return text;
}

int UsageError(const std::wstring& problem) {
    WriteError(L"quillmar-cli: " + problem + L"\n" + kUsageSynopsis);
    return kExitTrouble;
}

int ArgumentTrouble(const std::wstring& problem) {
    WriteError(L"quillmar-cli: " + problem + L"\nTry 'quillmar-cli --help'\n");
    return kExitTrouble;
}

int Trouble(const std::wstring& problem) {
    WriteError(L"quillmar-cli: " + problem + L"\n");
    return kExitTrouble;
}

}  // namespace cli
