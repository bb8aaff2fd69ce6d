#include "cli/console.h"

#include "cli/arguments.h"
#include "cli/output.h"
#include "model/system_error.h"
#include "model/text.h"

namespace cli {

std::string ToUtf8(const std::wstring& text) {
    size_t size = 0;
    if (WideToUtf8(text.data(), text.size(), nullptr, 0, &size) != ERROR_SUCCESS || size == 0) return std::string();
    std::string bytes(size, '\0');
    WideToUtf8(text.data(), text.size(), &bytes[0], size, &size);
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
