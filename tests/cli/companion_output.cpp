#include "tests/cli/companion_output.h"

#include "tests/support/companion.h"

#include <sstream>

std::wstring Wide(const std::string& utf8) {
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(size > 0 ? size : 0, L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], size);
    return text;
}

std::vector<std::wstring> NamedLogs(const std::string& err) {
    std::vector<std::wstring> logs;
    for (size_t open = err.find('<'); open != std::string::npos; open = err.find('<', open + 1)) {
        size_t close = err.find('>', open);
        if (close == std::string::npos) break;
        logs.push_back(Wide(err.substr(open + 1, close - open - 1)));
    }
    return logs;
}

std::wstring LogText(const std::wstring& path) {
    std::string bytes = ReadWholeFile(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}
