#pragma once
#include <windows.h>

const unsigned kSystemErrorUnits = 2048;

// The program's own words when memory runs out, in a message box or on a console.
const wchar_t kNoMemoryText[] = L"No enough memory!";

// Why an entry was left alone: it is a link (a symbolic link, a junction, a
// mount point, or a reparse point of a kind that cannot be told), which leads
// to another place than its own, and what lies behind it is not the
// location's. A code of the program's own (bit 29), with a text of its own.
const DWORD kEntryIsLink = 0x20000100;
const wchar_t kEntryIsLinkText[] =
    L"The item is a link to another place (a symbolic link, junction or mount point): it is not followed, "
    L"and nothing is copied onto, from or through it, nor deleted through it.";

// Why a file compared with a catalog is Unknown: the catalog holds no digest
// of it, since it could not be read when the catalog was made.
const DWORD kCatalogHasNoDigest = 0x20000101;
const wchar_t kCatalogHasNoDigestText[] =
    L"The catalog holds no digest of the file: its content could not be read when the catalog was made.";

// Fills `text` (kSystemErrorUnits) with the system's message for `code`, the
// text of one of the program's own codes, or a text of our own naming the code
// when the system has none.
void FormatSystemError(DWORD code, wchar_t* text);
// The same without the line break the system's messages end in, for a line
// of a log or of a console, which adds its own.
void FormatSystemErrorLine(DWORD code, wchar_t* text);

// The calling thread's last error, or `fallback` when a call failed without
// setting one, so that a failure is never taken for a success.
DWORD LastErrorOr(DWORD fallback);

// Writes lines to the skipped-items log as one item; false when they could not be written.
typedef bool (*SkipLineWriter)(const wchar_t* const* lines, unsigned count);
// Logs `path` with the system's text for `code` as one skipped item; false
// when there is no writer or the lines could not be written.
bool LogSkippedPath(SkipLineWriter write, const wchar_t* path, DWORD code);
