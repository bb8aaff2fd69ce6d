#include "cli/exclusion_patterns.h"

#include "cli/console.h"
#include "model/system_error.h"
#include "model/text.h"
#include "model/win_guards.h"

#include <windows.h>

#include <algorithm>

namespace cli {

namespace {

// A pattern file is a short list typed by hand; anything larger is not one.
const LONGLONG kLargestPatternFile = 16 << 20;

// The whole file; an empty text when it was read, otherwise why not.
std::wstring ReadBytes(const std::wstring& path, std::string* bytes) {
    OwnedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) return SystemMessage(GetLastError());
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size)) return SystemMessage(GetLastError());
    if (size.QuadPart > kLargestPatternFile) return L"it is larger than 16 MiB";
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes->empty() && !ReadFile(file.Get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr))
        return SystemMessage(GetLastError());
    // A file cut short while it was read.
    return read == bytes->size() ? std::wstring() : SystemMessage(ERROR_HANDLE_EOF);
}

// False when the bytes are not UTF-8.
bool DecodeUtf8(const std::string& bytes, std::wstring* text) {
    const size_t start = Utf8ByteOrderMarkAt(bytes.data(), bytes.size());
    if (start == bytes.size()) return true;
    const size_t count = bytes.size() - start;
    size_t units = 0;
    if (Utf8ToWide(bytes.data() + start, count, nullptr, 0, &units) != ERROR_SUCCESS) return false;
    text->resize(units);
    return Utf8ToWide(bytes.data() + start, count, &(*text)[0], units, &units) == ERROR_SUCCESS;
}

bool IsBlank(const std::wstring& line) { return line.find_first_not_of(L" \t") == std::wstring::npos; }

// A slash is a backslash in a pattern: one text for one exclusion, however typed.
std::wstring WithBackslashes(std::wstring pattern) {
    std::replace(pattern.begin(), pattern.end(), L'/', L'\\');
    return pattern;
}

// The pattern as the run holds and records it.
std::wstring HeldPattern(const std::wstring& pattern) {
    const size_t end = pattern.find_last_not_of(L' ');
    return end == std::wstring::npos ? std::wstring() : WithBackslashes(pattern.substr(0, end + 1));
}

std::wstring CharacterName(wchar_t unit) {
    if (unit >= 0x20) return L"the character '" + std::wstring(1, unit) + L"'";
    char code[4];
    WriteHexDigits(code, unit, 4, true);
    return L"the control character U+" + std::wstring(code, code + 4);
}

// Why AddExclusion refused the pattern, and one like it that it takes.
std::wstring Refusal(const std::wstring& pattern) {
    // A NUL would end the pattern early: a control character as any other.
    const size_t nul = pattern.find(L'\0');
    size_t at = nul;
    const ExclusionFault fault =
        nul == std::wstring::npos ? CheckExclusion(pattern.c_str(), &at) : ExclusionForbiddenCharacter;
    std::wstring why;
    switch (fault) {
    case ExclusionEmptyComponent:
        why = L"two separators in a row hold no name between them";
        break;
    case ExclusionDotComponent:
        why = L"\".\" and \"..\" are no names within the folders compared";
        break;
    case ExclusionForbiddenCharacter:
        why = L"no name holds " + CharacterName(pattern[at]);
        break;
    case ExclusionTooLong:
        why = L"it is longer than any path";
        break;
    default:
        why = L"it holds no name";
        break;
    }
    std::wstring typed = pattern;
    std::replace(typed.begin(), typed.end(), L'\0', L'?');
    std::vector<wchar_t> corrected(typed.size() + 1);
    const size_t length = CorrectExclusion(typed.c_str(), corrected.data());
    if (length == 0) return why + L"; write a name or a path of names, such as *.tmp, build\\ or src\\**\\*.o";
    return why + L"; try \"" + std::wstring(corrected.data(), length) + L"\"" +
           (fault == ExclusionForbiddenCharacter ? L" (? stands for any one character)" : L"");
}

}  // namespace

std::wstring RunExclusions::Add(const std::wstring& pattern, const std::wstring& where) {
    // A pattern cut short by a NUL would match what the user did not write.
    DWORD added = pattern.find(L'\0') == std::wstring::npos ? AddExclusion(&m_list, pattern.c_str())
                                                             : DWORD(ERROR_INVALID_PARAMETER);
    if (added == ERROR_SUCCESS) {
        const std::wstring held = HeldPattern(pattern);
        const bool known = std::any_of(m_patterns.begin(), m_patterns.end(), [&held](const std::wstring& kept) {
            return SameExclusionPattern(kept.c_str(), held.c_str());
        });
        if (!known) m_patterns.push_back(held);
        return std::wstring();
    }
    if (added == ERROR_NOT_ENOUGH_MEMORY) return L"not enough memory for the patterns";
    return L"bad pattern \"" + pattern + L"\"" + where + L": " + Refusal(pattern);
}

DWORD RunExclusions::Remember(void* context, const wchar_t* pattern) {
    auto* run = static_cast<RunExclusions*>(context);
    try {
        const size_t before = run->m_patterns.size();
        if (!run->Add(pattern, std::wstring()).empty()) return ERROR_NOT_ENOUGH_MEMORY;
        if (run->m_patterns.size() > before)
            run->m_remembered += (run->m_remembered.empty() ? L"\"" : L" \"") + std::wstring(pattern) + L"\"";
        return ERROR_SUCCESS;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

std::wstring RunExclusions::TakeRemembered() {
    std::wstring remembered;
    remembered.swap(m_remembered);
    return remembered;
}

std::wstring RunExclusions::LoadFile(const std::wstring& path) {
    std::string bytes;
    std::wstring problem = ReadBytes(path, &bytes);
    if (!problem.empty()) return L"cannot read the pattern file " + path + L": " + problem;
    std::wstring text;
    if (!DecodeUtf8(bytes, &text)) return L"the pattern file " + path + L" is not UTF-8 text";
    unsigned lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (IsBlank(line) || line[0] == L'#') continue;
        problem = Add(line, L" (line " + std::to_wstring(lineNumber) + L" of " + path + L")");
        if (!problem.empty()) return problem;
    }
    return std::wstring();
}

std::wstring RunExclusions::Load(const Options& options, bool* usageError) {
    *usageError = false;
    for (const std::wstring& pattern : options.excludePatterns) {
        std::wstring problem = Add(pattern, std::wstring());
        if (!problem.empty()) {
            *usageError = true;
            return problem;
        }
    }
    for (const std::wstring& path : options.excludeFiles) {
        std::wstring problem = LoadFile(path);
        if (!problem.empty()) return problem;
    }
    if (options.skipLinks && AddLinkExclusion(&m_list) != ERROR_SUCCESS) return kNoMemoryText;
    return std::wstring();
}

std::wstring LeftOutText(const RunExclusions& exclusions, unsigned long excluded, unsigned long links) {
    std::wstring text;
    if (!exclusions.Patterns().empty()) text += L"; excluded " + std::to_wstring(excluded);
    if (ExcludesLinks(exclusions.List())) text += L"; links left out " + std::to_wstring(links);
    return text;
}

}  // namespace cli
