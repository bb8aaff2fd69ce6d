#pragma once
// What every command of the companion says on the console alike: its texts
// in UTF-8, the system's messages, the lines that end a run in trouble and
// the exit statuses.
#include <windows.h>

#include <string>

namespace cli {

const int kExitSame = 0;  // analyze: no difference; commit, update: every operation done; catalog: all read
const int kExitDiffers = 1;  // analyze: differences; commit, update: something not done; catalog: something unread
const int kExitTrouble = 2;

// UTF-16 as UTF-8, a surrogate without its other half as U+FFFD.
std::string ToUtf8(const std::wstring& text);
// The system's text for a code, without its line end.
std::wstring SystemMessage(DWORD code);

// A command line that cannot be read: the problem, then the usage synopsis; kExitTrouble.
int UsageError(const std::wstring& problem);
// A command line that reads well but names what cannot be used (a folder
// that is not there): the problem, then where the help is; kExitTrouble.
int ArgumentTrouble(const std::wstring& problem);
// Trouble that ends a run: the problem alone; kExitTrouble.
int Trouble(const std::wstring& problem);

}  // namespace cli
