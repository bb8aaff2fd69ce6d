#include "model/system_error.h"

#include "model/text.h"

#include <cwchar>

void FormatSystemError(DWORD code, wchar_t* text) {
    if (code == kEntryIsLink || code == kCatalogHasNoDigest) {
        // Same shape as the system's texts, line ending included.
        swprintf(text, kSystemErrorUnits, L"%ls\r\n",
                 code == kEntryIsLink ? kEntryIsLinkText : kCatalogHasNoDigestText);
        return;
    }
    wchar_t* message = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length == 0 || !message) {
        // Same shape as the system's texts, line ending included.
        swprintf(text, kSystemErrorUnits, L"Unknown error %lu (0x%08lX).\r\n", static_cast<unsigned long>(code),
                 static_cast<unsigned long>(code));
        return;
    }
    CopyText(text, kSystemErrorUnits, message);
    LocalFree(message);
}

void FormatSystemErrorLine(DWORD code, wchar_t* text) {
    FormatSystemError(code, text);
    for (size_t length = wcslen(text); length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r');)
        text[--length] = 0;
}

DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

bool LogSkippedPath(SkipLineWriter write, const wchar_t* path, DWORD code) {
    if (!write) return false;
    wchar_t message[kSystemErrorUnits];
    FormatSystemError(code, message);
    const wchar_t* lines[2] = {path, message};
    return write(lines, 2);
}
